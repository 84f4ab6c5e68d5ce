// The clipboard on systems without a system clipboard we can rely on: one
// process-wide text buffer. Like the system clipboard, it has one holder at a
// time: open fails while it is open and not yet closed.

#include <mutex>

#include "hostrt/clipboard.h"
#include "clipboard_platform.h"

namespace hostrt {

namespace {
struct Buffer {
  std::mutex mutex;
  std::string text;  // what the last setBuffer stored
  bool open = false; // opened and not yet closed
};
Buffer& buffer() {
  static auto* b = new Buffer;  // lives as long as the process
  return *b;
}
}  // namespace

bool clipboardOpen() {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  if (buffer().open) return false;
  buffer().open = true;
  return true;
}

void clipboardEmpty() {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  buffer().text.clear();
}

bool clipboardSetText(std::string_view text) {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  buffer().text.assign(text);
  return true;
}

void clipboardClose() {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  buffer().open = false;
}

std::string clipboardRead() {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  return buffer().text;
}

}  // namespace hostrt

// The clipboard on systems without a system clipboard we can rely on: one
// process-wide text buffer.

#include <mutex>

#include "hostrt/clipboard.h"

namespace hostrt {

namespace {
struct Buffer {
  std::mutex mutex;
  std::string text;  // what the last setBuffer stored
};
Buffer& buffer() {
  static auto* b = new Buffer;  // lives as long as the process
  return *b;
}
}  // namespace

bool clipboardOpen() { return true; }

void clipboardEmpty() {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  buffer().text.clear();
}

bool clipboardSetText(std::string_view text) {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  buffer().text.assign(text);
  return true;
}

void clipboardClose() {}

std::string clipboardRead() {
  std::lock_guard<std::mutex> lock(buffer().mutex);
  return buffer().text;
}

}  // namespace hostrt

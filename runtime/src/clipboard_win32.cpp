// The clipboard on Windows: the system clipboard, holding the text as
// CF_TEXT (bytes in the application's ANSI code page, NUL-terminated).
//
// The clipboard is opened for a message-only window made for the purpose and
// destroyed when the clipboard is closed: opened without any window,
// EmptyClipboard would leave the clipboard without an owner, and Windows then
// refuses SetClipboardData. The text stays on the clipboard after the window
// is gone. The system admits one opener at a time, across all processes; a
// process-wide mutex also keeps this process's threads from interleaving
// their calls.
//
// CF_TEXT ends at the first NUL byte, so a text holding one is cut there when
// it is read back.

#include <windows.h>

#include <cstring>
#include <mutex>

#include "hostrt/clipboard.h"

namespace hostrt {

namespace {

std::mutex& clipboardMutex() {
  static auto* mutex = new std::mutex;  // lives as long as the process
  return *mutex;
}

thread_local HWND owner = nullptr;  // the window this thread holds the clipboard for

HWND newOwnerWindow() {
  return ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

bool clipboardOpen() {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  HWND window = newOwnerWindow();
  if (window && ::OpenClipboard(window)) {
    owner = window;
    return true;
  }
  if (window) ::DestroyWindow(window);
  return false;
}

void clipboardEmpty() {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  ::EmptyClipboard();
}

void clipboardSetText(std::string_view text) {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!memory) return;
  char* bytes = static_cast<char*>(::GlobalLock(memory));
  if (!bytes) {
    ::GlobalFree(memory);
    return;
  }
  std::memcpy(bytes, text.data(), text.size());
  bytes[text.size()] = '\0';
  ::GlobalUnlock(memory);
  // On success the clipboard owns the memory; otherwise it is still ours.
  if (!::SetClipboardData(CF_TEXT, memory)) ::GlobalFree(memory);
}

void clipboardClose() {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  ::CloseClipboard();
  if (owner) ::DestroyWindow(owner);
  owner = nullptr;
}

std::string clipboardRead() {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  if (!::OpenClipboard(nullptr)) return "";
  std::string text;
  if (HANDLE memory = ::GetClipboardData(CF_TEXT)) {
    if (const char* bytes = static_cast<const char*>(::GlobalLock(memory))) {
      // Never past the block, even if it lacks its terminating NUL.
      size_t size = ::GlobalSize(memory);
      text.assign(bytes, strnlen(bytes, size));
      ::GlobalUnlock(memory);
    }
  }
  ::CloseClipboard();
  return text;
}

}  // namespace hostrt

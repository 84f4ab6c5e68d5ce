// The clipboard on Windows: the system clipboard, holding the text three
// ways: as CF_UNICODETEXT, converted from the application's code page; as
// CF_TEXT, 8-bit text; and as CF_LOCALE, the locale whose ANSI code page the
// CF_TEXT bytes are in. Without CF_LOCALE, Windows would read CF_TEXT in the
// code page of the active keyboard language, and a Unicode program would
// paste "ü" as "ь" while a Russian layout is active.
//
// CF_TEXT holds the string's own bytes when the application's code page is
// the ANSI code page of a locale (1252: German); for any other code page
// (UTF-8, an OEM or ISO code page) it holds the text in the system's ANSI
// code page, marked with the system's locale.
//
// The clipboard is opened for a message-only window made for the purpose and
// destroyed when the clipboard is closed: opened without any window,
// EmptyClipboard would leave the clipboard without an owner, and Windows then
// refuses SetClipboardData. The text stays on the clipboard after the window
// is gone. The system admits one opener at a time, across all processes; an
// open that finds it held tries again for a bounded time, since clipboard
// managers and the remote-desktop clipboard hold it briefly after every
// change. A process-wide mutex also keeps this process's threads from
// interleaving their calls.
//
// CF_TEXT ends at the first NUL byte, so a text holding one is cut there when
// it is read back.

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

#include "hostrt/clipboard.h"
#include "clipboard_platform.h"
#include "text_encoding.h"

namespace hostrt {

namespace {

// How long an open waits for another program to let go, and the longest
// pause between two tries (they start at 1 ms and double).
constexpr ULONGLONG kOpenWaitMs = 1000;
constexpr DWORD kOpenRetryMaxMs = 16;

std::mutex& clipboardMutex() {
  static auto* mutex = new std::mutex;  // lives as long as the process
  return *mutex;
}

thread_local HWND owner = nullptr;  // the window this thread holds the clipboard for

HWND newOwnerWindow() {
  return ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

bool tryOpen(HWND window) {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  return ::OpenClipboard(window);
}

// A locale whose ANSI code page is `codePage`; 0 when none is known.
LCID localeOfAnsiCodePage(UINT codePage) {
  switch (codePage) {
    case 874: return 0x041E;   // Thai
    case 932: return 0x0411;   // Japanese
    case 936: return 0x0804;   // Chinese (PRC)
    case 949: return 0x0412;   // Korean
    case 950: return 0x0404;   // Chinese (Taiwan)
    case 1250: return 0x0405;  // Czech
    case 1251: return 0x0419;  // Russian
    case 1252: return 0x0407;  // German
    case 1253: return 0x0408;  // Greek
    case 1254: return 0x041F;  // Turkish
    case 1255: return 0x040D;  // Hebrew
    case 1256: return 0x0401;  // Arabic
    case 1257: return 0x0425;  // Estonian
    case 1258: return 0x042A;  // Vietnamese
    default: return 0;
  }
}

// Puts `size` bytes on the clipboard in `format`. On success the clipboard
// owns the memory; otherwise it is freed here.
bool setData(UINT format, const void* data, size_t size) {
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return false;
  void* bytes = ::GlobalLock(memory);
  if (!bytes) {
    ::GlobalFree(memory);
    return false;
  }
  std::memcpy(bytes, data, size);
  ::GlobalUnlock(memory);
  if (::SetClipboardData(format, memory)) return true;
  ::GlobalFree(memory);
  return false;
}

// The text in the system's ANSI code page; characters it lacks become its
// default character.
std::string toAnsi(const std::wstring& wide) {
  if (wide.empty() || wide.size() > size_t(INT_MAX)) return "";
  int count = int(wide.size());
  int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "";
  std::string out(size_t(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), count, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

bool clipboardOpen() {
  HWND window = newOwnerWindow();
  if (!window) return false;
  const ULONGLONG start = ::GetTickCount64();
  for (DWORD pause = 1;; pause = std::min(2 * pause, kOpenRetryMaxMs)) {
    if (tryOpen(window)) {
      owner = window;
      return true;
    }
    if (::GetTickCount64() - start >= kOpenWaitMs) break;
    ::Sleep(pause);
  }
  ::DestroyWindow(window);
  return false;
}

void clipboardEmpty() {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  ::EmptyClipboard();
}

bool clipboardSetText(std::string_view text) {
  std::lock_guard<std::mutex> lock(clipboardMutex());
  std::string bytes(text.substr(0, text.find('\0')));  // all that CF_TEXT can hold
  std::wstring wide;
  if (!toUtf16(bytes, &wide)) return false;  // no text in the application's code page
  bool ok = setData(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  LCID locale = localeOfAnsiCodePage(applicationCodePage());
  if (!locale) {
    bytes = toAnsi(wide);
    locale = ::GetSystemDefaultLCID();
  }
  ok &= setData(CF_TEXT, bytes.c_str(), bytes.size() + 1);
  ok &= setData(CF_LOCALE, &locale, sizeof locale);
  return ok;
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

// Windows: the standard streams of velmoran-send carry bytes, as on POSIX.
// The C runtime opens them in text mode, which would add a carriage return
// before every line feed of the result message and end standard input at a
// Ctrl-Z byte. Set before main runs. A console gets characters instead
// (console.h).

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "host/console.h"

namespace velmoran::host {

namespace {

const bool kBinaryStdio = [] {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return true;
}();

// The console behind a stream; null when it is redirected.
HANDLE consoleOf(std::FILE* stream) {
  auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// The text as UTF-16; bytes without a character in the code page show as the
// replacement character.
std::wstring toUtf16(std::string_view text, UINT codePage) {
  std::wstring wide;
  if (text.empty() || text.size() > size_t(INT_MAX)) return wide;
  const int size = int(text.size());
  int count = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (count <= 0) return wide;
  wide.resize(size_t(count));
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), count);
  return wide;
}

}  // namespace

void writeText(std::FILE* stream, std::string_view text, uint32_t codePage) {
  HANDLE console = consoleOf(stream);
  if (!console) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  std::fflush(stream);
  const std::wstring wide = toUtf16(text, codePage);
  constexpr size_t kChunk = 8192;  // consoles take modest writes
  for (size_t at = 0; at < wide.size(); at += kChunk) {
    DWORD written = 0;
    DWORD n = DWORD(std::min(kChunk, wide.size() - at));
    if (!WriteConsoleW(console, wide.data() + at, n, &written, nullptr)) break;
  }
}

}  // namespace velmoran::host

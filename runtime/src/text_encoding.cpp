// The application's code page and the conversion to UTF-16.

#include "text_encoding.h"

#include <atomic>
#include <climits>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace hostrt {

namespace {
std::atomic<uint32_t> codePage{1252};
}  // namespace

uint32_t applicationCodePage() { return codePage.load(std::memory_order_relaxed); }

void setApplicationCodePage(uint32_t cp) { codePage.store(cp, std::memory_order_relaxed); }

#if defined(_WIN32)
bool toUtf16(std::string_view text, uint32_t codePage, std::wstring* out) {
  out->clear();
  if (text.empty()) return true;
  if (text.size() > size_t(INT_MAX)) return false;  // the system counts in int
  const UINT cp = codePage;
  const int size = int(text.size());
  // A few code pages (UTF-7, the ISO-2022 ones, Symbol) take no flags at all.
  DWORD flags = MB_ERR_INVALID_CHARS;
  int count = ::MultiByteToWideChar(cp, flags, text.data(), size, nullptr, 0);
  if (count <= 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    count = ::MultiByteToWideChar(cp, flags, text.data(), size, nullptr, 0);
  }
  if (count <= 0) return false;
  out->resize(size_t(count));
  return ::MultiByteToWideChar(cp, flags, text.data(), size, out->data(), count) == count;
}
#endif

}  // namespace hostrt

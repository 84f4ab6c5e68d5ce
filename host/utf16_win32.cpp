// UTF-8 and UTF-16 through MultiByteToWideChar and WideCharToMultiByte.

#include "host/utf16_win32.h"

#include <windows.h>

#include <climits>

namespace velmoran::host {

bool utf8ToUtf16(std::string_view utf8, std::wstring* out) {
  out->clear();
  if (utf8.empty()) return true;
  if (utf8.size() > size_t(INT_MAX)) return false;
  const int size = int(utf8.size());
  int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (count <= 0) return false;
  out->resize(size_t(count));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, out->data(),
                             count) == count;
}

bool utf16ToUtf8(std::wstring_view utf16, std::string* out) {
  out->clear();
  if (utf16.empty()) return true;
  if (utf16.size() > size_t(INT_MAX)) return false;
  const int count = int(utf16.size());
  int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), count, nullptr, 0,
                                 nullptr, nullptr);
  if (size <= 0) return false;
  out->resize(size_t(size));
  return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), count, out->data(),
                             size, nullptr, nullptr) == size;
}

}  // namespace velmoran::host

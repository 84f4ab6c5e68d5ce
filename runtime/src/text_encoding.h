// The application's code page, and on Windows the conversion of the
// application's 8-bit strings to the UTF-16 that the system's wide functions
// take (file names, the clipboard).
//
// The code page is process-wide: the embedding application sets it once
// (embed::setCodePage), before it sends anything. 1252 until then.
//
// Thread safety: the code page is read and set atomically; the conversion
// keeps no state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hostrt {

// The Windows code page of the application's strings (65001 for UTF-8).
uint32_t applicationCodePage();
void setApplicationCodePage(uint32_t codePage);

#if defined(_WIN32)
// Converts text in code page cp (by default the application's) to UTF-16.
// False when a byte sequence has no character there (invalid UTF-8, say),
// when the code page is not installed, or when the text is too long for the
// system's calls.
bool toUtf16(std::string_view text, uint32_t cp, std::wstring* out);
inline bool toUtf16(std::string_view text, std::wstring* out) {
  return toUtf16(text, applicationCodePage(), out);
}
#endif

}  // namespace hostrt

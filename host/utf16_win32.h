// UTF-8, the host's own text, to and from the UTF-16 of the Windows wide
// functions (command line, file names, console).
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace velmoran::host {

// False when the text is not valid UTF-8 (UTF-16) or too long for the
// system's int counts; *out is then unspecified.
bool utf8ToUtf16(std::string_view utf8, std::wstring* out);
bool utf16ToUtf8(std::wstring_view utf16, std::string* out);

}  // namespace velmoran::host

// Text out of velmoran-send onto its standard streams.
//
// A stream carries bytes: redirected to a file or a pipe, exactly the bytes of
// the text, on every system. On Windows a stream that is a console shows
// characters, so the text is converted from its code page and written
// through WriteConsoleW; written as bytes, it would show in the console's
// OEM code page ("ü" as "³").
//
// Thread safety: as the C streams it writes to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace velmoran::host {

// Writes text, in the Windows code page `codePage` (65001 for UTF-8), to a
// standard stream.
void writeText(std::FILE* stream, std::string_view text, uint32_t codePage);

}  // namespace velmoran::host

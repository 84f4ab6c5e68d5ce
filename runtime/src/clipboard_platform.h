// The platform clipboard beneath the clipboard class.
//
// open reports whether this process now holds it, having waited a bounded
// time for another holder to let go; the other calls do nothing while it does
// not. setText reports whether the clipboard took the text.
//
// Thread safety: guarded by a process-wide mutex.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hostrt {

bool clipboardOpen();
void clipboardEmpty();
bool clipboardSetText(std::string_view text);
void clipboardClose();
// The text on the clipboard, "" when there is none.
std::string clipboardRead();
// How often a clipboard object of this thread failed to put text there.
uint64_t clipboardFailureCount();

}  // namespace hostrt

// The clipboard: the runtime's class SYSCLIPBOARD and the platform clipboard
// beneath it.
//
// SYSCLIPBOARD is a class function: it returns the clipboard class, whose
// objects take `New`, `create`, `open`, `clear`, `setBuffer` (one string,
// stored as text), `close` and `destroy`. On Windows the object drives the
// system clipboard; on other systems the clipboard is a process-wide text
// buffer, held by one opener at a time as the system clipboard is, that the
// embedding application reads back with clipboardRead.
//
// Thread safety: the platform clipboard is guarded by a process-wide mutex;
// clipboard objects themselves are not shared between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostrt/export.h"
#include "hostrt/item.h"

namespace hostrt {

extern "C" HOSTRT_API void SYSCLIPBOARD(Item* result, int argc, const Item* argv);

// The platform clipboard. open reports whether this process now holds it,
// having waited a bounded time for another holder to let go; the other calls
// do nothing while it does not. setText reports whether the clipboard took
// the text.
HOSTRT_API bool clipboardOpen();
HOSTRT_API void clipboardEmpty();
HOSTRT_API bool clipboardSetText(std::string_view text);
HOSTRT_API void clipboardClose();
// The text on the clipboard, "" when there is none.
HOSTRT_API std::string clipboardRead();
// How often a clipboard object of this thread failed to put text there
// (embed::clipboardFailures).
HOSTRT_API uint64_t clipboardFailureCount();

}  // namespace hostrt

// The clipboard: the runtime's class SYSCLIPBOARD.
//
// SYSCLIPBOARD (declared with C linkage in hostrt/hostrt.h) is a class
// function: it returns the clipboard class, whose objects take `New`,
// `create`, `open`, `clear`, `setBuffer` (one string, stored as text),
// `close` and `destroy`. On Windows the object drives the system clipboard;
// on other systems the clipboard is a process-wide text buffer, held by one
// opener at a time as the system clipboard is, that the embedding application
// reads back with embed::clipboardText.
//
// Thread safety: the platform clipboard is guarded by a process-wide mutex;
// clipboard objects themselves are not shared between threads.
#pragma once

#include "hostrt/hostrt.h"

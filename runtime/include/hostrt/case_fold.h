// How the runtime compares names: class, member, method and function names
// match without regard to the case of ASCII letters. Programs that match
// names the way the runtime does (the command-line host reading an order
// file) fold them with the same function rather than a copy of the rule.
//
// Thread safety: a pure function.
#pragma once

#include <stddef.h>

#include "hostrt/export.h"

namespace hostrt {

extern "C" {
// Writes the `size` bytes of `text` to `out` with ASCII letters in lower
// case; every other byte is kept. `out` may be `text` itself.
HOSTRT_API void rtFoldCase(const char* text, size_t size, char* out);
}

}  // namespace hostrt

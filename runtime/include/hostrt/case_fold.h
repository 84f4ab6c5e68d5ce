// How the runtime compares names: class, member, method and function names
// match without regard to the case of ASCII letters. Programs that match
// names the way the runtime does (the command-line host reading an order
// file) fold them with the same function rather than a copy of the rule.
//
// Thread safety: a pure function.
#pragma once

// rtFoldCase: declared with the rest of the C interface.
#include "hostrt/hostrt.h"

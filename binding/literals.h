// The literal items of the library: every constant that a method uses (nil,
// numbers, logicals, strings) is a runtime item in the library's static data.
// They are built at compile time without an operation table; the load handler
// gives each its table before any class function or method runs.
//
// Each layer keeps its literals in one list, a macro LIST(X) that calls
// X(name, value) once per literal. VELMORAN_DECLARE_LITERALS and
// VELMORAN_DEFINE_LITERALS make from that one list the items and the function
// that loads them all, so no literal can be defined and left unloaded. A
// layer's load function loads the literals of the layers below it first.
//
// This file's own list holds the literals that every layer uses.
//
// Thread safety: written once by the load handler, read-only afterwards.
#pragma once

#include <initializer_list>

#include "binding/host_runtime.h"

#define VELMORAN_DECLARE_LITERAL(name, value) extern constinit ::hostrt::Item name;
#define VELMORAN_DEFINE_LITERAL(name, value) \
  constinit ::hostrt::Item name{::hostrt::kLiteral, value};
#define VELMORAN_LITERAL_ADDRESS(name, value) &name,

// Declares the literals of LIST and `load`, which gives them (and those of the
// layers below) their operation tables.
#define VELMORAN_DECLARE_LITERALS(LIST, load) \
  LIST(VELMORAN_DECLARE_LITERAL)              \
  void load();

// Defines the literals of LIST and `load`, which first calls `below` (the
// load function of the layer below, or nothing for the lowest layer).
#define VELMORAN_DEFINE_LITERALS(LIST, load, below)               \
  LIST(VELMORAN_DEFINE_LITERAL)                                   \
  void load() {                                                   \
    below;                                                        \
    ::velmoran::lit::loadEach({LIST(VELMORAN_LITERAL_ADDRESS)}); \
  }

#define VELMORAN_COMMON_LITERALS(X) \
  X(kNil, nullptr)                  \
  X(kFalse, false)                  \
  X(kTrue, true)                    \
  X(kZero, 0)                       \
  X(kOne, 1)                        \
  X(kMinusOne, -1)                  \
  X(kEmpty, "")                     \
  X(kBlank, " ")

namespace velmoran::lit {

// Gives each of the items its operation table.
void loadEach(std::initializer_list<Item*> items);

VELMORAN_DECLARE_LITERALS(VELMORAN_COMMON_LITERALS, loadCommonLiterals)

}  // namespace velmoran::lit

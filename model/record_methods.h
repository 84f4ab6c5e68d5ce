// Method bodies shared by classes whose methods only hand back their receiver.
#pragma once

#include "binding/class_builder.h"

namespace velmoran {

// Runs a frame under the procedure name and returns the receiver: the
// instance for `init`, the class object for a class-level `initClass`.
void returnReceiver(const char* procedure, int frameKind, Item* result, int argc,
                    const Item* argv);

// `init` and `initClass` of a class whose lifecycle methods do nothing else,
// each under its own procedure name, for a class declaration's method list.
template <ProcedureName kProcedure>
void returnInstance(Item* result, int argc, const Item* argv) {
  returnReceiver(kProcedure.chars, hostrt::kFrameInstanceMethod, result, argc, argv);
}

template <ProcedureName kProcedure>
void returnClass(Item* result, int argc, const Item* argv) {
  returnReceiver(kProcedure.chars, hostrt::kFrameClassMethod, result, argc, argv);
}

}  // namespace velmoran

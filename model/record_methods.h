// Method bodies shared by classes whose methods only hand back their receiver.
#pragma once

#include "binding/host_runtime.h"

namespace velmoran {

// Runs a frame under the procedure name and returns the receiver: the
// instance for `init`, the class object for a class-level `initClass`.
void returnReceiver(const char* procedure, int frameKind, Item* result, int argc,
                    const Item* argv);

}  // namespace velmoran

// The method that rtSend is about to run on this thread, handed to the
// frame that the method enters first.
#pragma once

namespace hostrt {

struct MethodDef;

const MethodDef* takeDispatchedMethod();

}  // namespace hostrt

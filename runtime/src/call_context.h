// The calling context of this thread, as the runtime's own code sees it: the
// method that rtSend is about to run, handed to the frame that the method
// enters first, and the innermost frame, read inline on the paths that every
// operation takes.
#pragma once

#include "hostrt/export.h"
#include "hostrt/frame.h"

namespace hostrt {

struct MethodDef;

const MethodDef* takeDispatchedMethod();

// The innermost frame of this thread (rtCurrentFrame), null outside any.
// Constant-initialised, so that reading it needs no per-thread init check.
extern constinit HOSTRT_THREAD_LOCAL Frame* innermostFrame;

// noteLine for the runtime's own operations.
inline void noteLineHere(int line) {
  if (Frame* frame = innermostFrame) frame->line = line;
}

}  // namespace hostrt

// The per-thread frame stack.

#include "hostrt/frame.h"

#include "call_context.h"
#include "hostrt/error.h"
#include "hostrt/object.h"
#include "object_internal.h"

namespace hostrt {

constinit HOSTRT_THREAD_LOCAL Frame* innermostFrame = nullptr;

extern "C" void rtNoteLine(int line) { noteLineHere(line); }

extern "C" void rtFrameEnter(Frame* frame) {
  const MethodDef* method = takeDispatchedMethod();
  if (method) {
    frame->context = method;
    frame->owner = method->owner;
  }
  frame->previous = innermostFrame;
  innermostFrame = frame;
}

extern "C" void rtFrameExit(Frame* frame) { innermostFrame = frame->previous; }

extern "C" Frame* rtCurrentFrame() { return innermostFrame; }

extern "C" void rtBindParameters(const Item** slots, int count, int argc, const Item* argv,
                                 const Item* nil) {
  for (int i = 0; i < count; ++i) slots[i] = i < argc ? &argv[i] : nil;
}

extern "C" void rtReturnItem(Item* result, const Item* value) { *result = *value; }

extern "C" void rtReturnNil(Item* result) { *result = Item(); }

}  // namespace hostrt

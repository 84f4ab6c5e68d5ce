// The per-thread frame stack and the C++ method frame.

#include "hostrt/frame.h"

#include <string>

#include "call_context.h"
#include "hostrt/error.h"
#include "hostrt/object.h"
#include "object_internal.h"

namespace hostrt {

HOSTRT_THREAD_LOCAL Frame* innermostFrame = nullptr;

void noteLine(int line) { noteLineHere(line); }

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

MethodFrame::MethodFrame(int kind, const char* procedure, int params, int argc,
                         const Item* argv, Where where)
    : passed_(argc > 0 ? argc - 1 : 0) {
  record_.kind = kind;
  record_.procedure = procedure;
  record_.line = int(where.line());
  rtFrameEnter(&record_);
  try {
    bind(params, argc, argv);
  } catch (...) {
    rtFrameExit(&record_);  // no destructor runs for a constructor that throws
    throw;
  }
}

void MethodFrame::bind(int params, int argc, const Item* argv) {
  int count = params + 1;
  if (params < 0 || count > kMaxSlots) {
    raiseError(kErrorArgument,
               "a method frame holds at most " + std::to_string(kMaxSlots - 1) +
                   " parameters, not " + std::to_string(params),
               "method frame");
    count = params < 0 ? 1 : kMaxSlots;
  }
  for (int i = 0; i < kMaxSlots; ++i) slots_[i] = i < count && i < argc ? &argv[i] : &nil_;
  if (record_.kind == kFrameClassMethod && self().isObject()) {
    classSelf_ = Item::object(self().object()->cls);
    slots_[0] = &classSelf_;
  }
}

const Item& MethodFrame::slotError(int i) const {
  resumed_ = raiseError(kErrorArgument,
                        "parameter " + std::to_string(i) + " is beyond the frame's " +
                            std::to_string(kMaxSlots - 1) + " parameters",
                        "param");
  return resumed_;
}

MethodFrame::~MethodFrame() { rtFrameExit(&record_); }

FunctionFrame::FunctionFrame(const char* publicName, int line) {
  record_.kind = kFrameClassFunction;
  record_.procedure = publicName;
  record_.line = line;
  rtFrameEnter(&record_);
}

FunctionFrame::~FunctionFrame() { rtFrameExit(&record_); }

}  // namespace hostrt

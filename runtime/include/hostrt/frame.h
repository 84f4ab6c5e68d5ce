// Method frames.
//
// Every class function and every method runs inside a frame record that it
// registers with the runtime on entry and unlinks on exit. The records of one
// thread form a stack. The runtime reads the innermost record to tell which
// procedure and line was executing when an error is raised, and which class's
// code is running when an internal member or method is used.
//
// The rule for method bodies: construct the MethodFrame before any other
// runtime call. rtFrameEnter takes the method that rtSend is dispatching from
// the thread's dispatch slot, and the next send (or anything that sends, such
// as an operation whose error handler runs code) overwrites that slot; a frame
// entered after it would run as the wrong method's code, with the wrong
// class's access to internal members and methods.
//
// MethodFrame is the C++ form of a method's frame: its constructor enters the
// frame and binds the parameters (slot 0 the receiver, slot i the i-th
// parameter, nil for every parameter the caller did not pass); a class-level
// method's receiver becomes the receiver's class object. A method declares at
// most kMaxSlots - 1 parameters; declaring more, or asking param(i) for a slot
// the frame does not have, is a runtime error (a resuming handler's value then
// stands for the parameter). Its destructor unlinks the record on every path,
// the unwinding of a runtime error included, and the method's locals, being
// C++ objects, are released with it. Both frames are inline code over the C
// operations of hostrt/hostrt.h.
//
// Thread safety: each thread has its own frame stack.
#pragma once

#include <string>

#include "hostrt/error.h"
#include "hostrt/hostrt.h"
#include "hostrt/item.h"
#include "hostrt/where.h"

namespace hostrt {

// Frame kinds.
constexpr int kFrameClassFunction = RT_FRAME_CLASS_FUNCTION;
constexpr int kFrameInstanceMethod = RT_FRAME_INSTANCE_METHOD;
constexpr int kFrameClassMethod = RT_FRAME_CLASS_METHOD;

using Frame = RtFrame;

class MethodFrame {
 public:
  static constexpr int kMaxSlots = 8;

  // kind: kFrameInstanceMethod or kFrameClassMethod. params: declared parameters.
  MethodFrame(int kind, const char* procedure, int params, int argc, const Item* argv,
              Where where = Where::current())
      : record_{kind, procedure, int(where.line()), nullptr, nullptr, nullptr},
        passed_(argc > 0 ? argc - 1 : 0) {
    rtFrameEnter(&record_);
    try {
      bind(params, argc, argv);
    } catch (...) {
      rtFrameExit(&record_);  // no destructor runs for a constructor that throws
      throw;
    }
  }
  ~MethodFrame() { rtFrameExit(&record_); }
  MethodFrame(const MethodFrame&) = delete;
  MethodFrame& operator=(const MethodFrame&) = delete;

  // The receiver: the instance, or the class object in a class-level method.
  const Item& self() const { return *slots_[0]; }
  // Parameter i (1-based); nil when the caller did not pass it.
  const Item& param(int i) const {
    return unsigned(i) < unsigned(kMaxSlots) ? *slots_[i] : slotError(i);
  }
  // Number of arguments the caller passed, the receiver not counted.
  int passed() const { return passed_; }

 private:
  const Item& slotError(int i) const {
    resumed_ = raiseError(kErrorArgument,
                          "parameter " + std::to_string(i) + " is beyond the frame's " +
                              std::to_string(kMaxSlots - 1) + " parameters",
                          "param");
    return resumed_;
  }
  void bind(int params, int argc, const Item* argv) {
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
      rtReturnObject(&classSelf_, rtClassOf(&self()));
      checkUnwind();
      slots_[0] = &classSelf_;
    }
  }

  Frame record_;                  // the frame record linked into this thread's stack
  Item nil_;                      // the nil that missing parameters refer to
  Item classSelf_;                // the class object, for class-level methods
  mutable Item resumed_;          // a handler's value for a slot the frame lacks
  const Item* slots_[kMaxSlots];  // receiver and parameters
  int passed_;                    // arguments passed, without the receiver
};

// A class function's frame: entered in the constructor, unlinked in the destructor.
class FunctionFrame {
 public:
  FunctionFrame(const char* publicName, int line)
      : record_{kFrameClassFunction, publicName, line, nullptr, nullptr, nullptr} {
    rtFrameEnter(&record_);
  }
  ~FunctionFrame() { rtFrameExit(&record_); }
  FunctionFrame(const FunctionFrame&) = delete;
  FunctionFrame& operator=(const FunctionFrame&) = delete;

 private:
  Frame record_;  // the frame record linked into this thread's stack
};

}  // namespace hostrt

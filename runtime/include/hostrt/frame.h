// Method frames.
//
// Every class function and every method runs inside a frame record that it
// registers with the runtime on entry and unlinks on exit. The records of one
// thread form a stack. The runtime reads the innermost record to tell which
// procedure and line was executing when an error is raised, and which class's
// code is running when an internal member or method is used.
//
// MethodFrame is the C++ form of a method's frame: its constructor enters the
// frame and binds the parameters (slot 0 the receiver, slot i the i-th
// parameter, nil for every parameter the caller did not pass); a class-level
// method's receiver becomes the receiver's class object. A method declares at
// most kMaxSlots - 1 parameters; declaring more, or asking param(i) for a slot
// the frame does not have, is a runtime error (a resuming handler's value then
// stands for the parameter). Its destructor unlinks
// the record on every path, the unwinding of a runtime error included, and the
// method's locals, being C++ objects, are released with it.
//
// Thread safety: each thread has its own frame stack.
#pragma once

#include "hostrt/export.h"
#include "hostrt/item.h"
#include "hostrt/ops.h"

namespace hostrt {

class Class;

// Frame kinds.
constexpr int kFrameClassFunction = 0;
constexpr int kFrameInstanceMethod = 1;
constexpr int kFrameClassMethod = 0x401;

struct Frame {
  int kind = 0;                   // kFrameClassFunction, kFrameInstanceMethod or kFrameClassMethod
  const char* procedure = "";     // "@VELMORANORDER@I@SEND", or a class function's public name
  int line = 0;                   // line of the statement being executed
  const void* context = nullptr;  // call context the runtime passed in (the method being run)
  const Class* owner = nullptr;   // class whose code runs in this frame, null for none
  Frame* previous = nullptr;      // the next frame out on this thread
};

extern "C" {
// Links the record as the innermost frame of this thread. Its context and
// owner are taken from the call the runtime is dispatching.
HOSTRT_API void rtFrameEnter(Frame* frame);
// Unlinks the record; it must be the innermost one.
HOSTRT_API void rtFrameExit(Frame* frame);
// The innermost frame of this thread, or null.
HOSTRT_API Frame* rtCurrentFrame();
// Binds the parameters: fills `slots` with count pointers, slot 0 the
// receiver, then the arguments passed, then `nil` for each one missing.
HOSTRT_API void rtBindParameters(const Item** slots, int count, int argc, const Item* argv,
                                 const Item* nil);
// Writes a method's return value.
HOSTRT_API void rtReturnItem(Item* result, const Item* value);
HOSTRT_API void rtReturnNil(Item* result);
}

class HOSTRT_API MethodFrame {
 public:
  static constexpr int kMaxSlots = 8;

  // kind: kFrameInstanceMethod or kFrameClassMethod. params: declared parameters.
  MethodFrame(int kind, const char* procedure, int params, int argc, const Item* argv,
              Where where = Where::current());
  ~MethodFrame();
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
  const Item& slotError(int i) const;
  void bind(int params, int argc, const Item* argv);

  Frame record_;                  // the frame record linked into this thread's stack
  Item nil_;                      // the nil that missing parameters refer to
  Item classSelf_;                // the class object, for class-level methods
  mutable Item resumed_;          // a handler's value for a slot the frame lacks
  const Item* slots_[kMaxSlots];  // receiver and parameters
  int passed_;                    // arguments passed, without the receiver
};

// A class function's frame: entered in the constructor, unlinked in the destructor.
class HOSTRT_API FunctionFrame {
 public:
  FunctionFrame(const char* publicName, int line);
  ~FunctionFrame();
  FunctionFrame(const FunctionFrame&) = delete;
  FunctionFrame& operator=(const FunctionFrame&) = delete;

 private:
  Frame record_;  // the frame record linked into this thread's stack
};

}  // namespace hostrt

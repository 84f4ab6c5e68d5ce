// The runtime's side of errors and unwinding.
//
// Inside the runtime an unwinding error travels as RuntimeError (error.h).
// Every extern "C" entry point runs its body through atBoundary, which turns
// whatever escapes into the thread's unwind state, so no exception leaves the
// runtime. After calling code of another module (a method, a class function,
// a load handler) the runtime calls checkUnwind to carry an unwind that the
// code left under way on through its own C++ frames.
//
// Thread safety: the unwind state is per thread; raise is as safe as the
// handler it calls.
#pragma once

#include <type_traits>
#include <utility>

#include "hostrt/error.h"
#include "hostrt/export.h"

namespace hostrt {

// Hands the error to the current handler (filling in the innermost frame's
// procedure and line): the value to resume with, or throws RuntimeError.
Item raise(ErrorObject error);

// Makes the exception being handled the thread's unwind under way.
void unwindFromException() noexcept;

// How many C entry points of the runtime this thread is inside, since it last
// left for another module's code (a method, a class function, a handler).
// Constant-initialised, so that reading it needs no per-thread init check.
extern constinit HOSTRT_THREAD_LOCAL int runtimeDepth;

// Runs the body of a C entry point. Called from outside the runtime, it turns
// an exception into the unwind state and returns a value-initialised result;
// called from the runtime's own code, it lets the exception travel on. The
// body has one call site, so that the compiler puts it in line: the nested
// case pays for its rethrow only when there is an exception.
template <class Body>
auto atBoundary(Body&& body) -> decltype(body()) {
  struct Inside {
    Inside() : outermost(runtimeDepth++ == 0) {}
    ~Inside() { --runtimeDepth; }
    const bool outermost;  // no entry point of the runtime was under way
  };
  bool outermost = true;
  try {
    Inside inside;
    outermost = inside.outermost;
    return body();
  } catch (...) {
    if (!outermost) throw;
    unwindFromException();
    if constexpr (!std::is_void_v<decltype(body())>) return {};
  }
}

// The scope of a call into another module's code: C entry points reached from
// it are boundaries again. The caller runs checkUnwind after it.
class ForeignCall {
 public:
  ForeignCall() : saved_(runtimeDepth) { runtimeDepth = 0; }
  ~ForeignCall() { runtimeDepth = saved_; }
  ForeignCall(const ForeignCall&) = delete;
  ForeignCall& operator=(const ForeignCall&) = delete;

 private:
  int saved_;  // the depth to return to
};

}  // namespace hostrt

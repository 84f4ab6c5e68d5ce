// Runtime errors and the replaceable error handler, in C++.
//
// Whenever an operation cannot do its work (an operand of the wrong kind, an
// index out of bounds, an unknown or internal method), the runtime builds an
// error and hands it to the current error handler at the point of failure,
// before anything is unwound. The handler decides:
//
//   - Resume with a value: the failed operation yields that value and the code
//     that called it goes on directly after it.
//   - Unwind: the operation returns with an unwind under way on the thread
//     (rtIsError, hostrt/hostrt.h). Across the C interface an unwind is that
//     state, never an exception. Within one module C++ code carries it as a
//     RuntimeError: checkUnwind() turns the state into the exception after a
//     call into the runtime, and passUnwind() turns the exception back into
//     the state before control returns across the interface (the catch of a
//     method's or class function's thunk). Every frame on the way releases
//     what it holds (C++ destructors), and the error reaches the outermost
//     caller, usually the application, as RuntimeError.
//
// The default handler unwinds. The application installs its own with
// setErrorHandler; the handler is process-wide.
//
// Everything here is inline code over the C interface, compiled into each
// module that uses it; no C++ type crosses between modules.
//
// Thread safety: the handler may be replaced while other threads raise errors;
// each raise uses the handler current at that moment.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "hostrt/hostrt.h"
#include "hostrt/item.h"

namespace hostrt {

// Error codes of the runtime.
enum ErrorCode : int {
  kErrorWrongKind = RT_ERROR_WRONG_KIND,
  kErrorBound = RT_ERROR_BOUND,
  kErrorNoMethod = RT_ERROR_NO_METHOD,
  kErrorNoMember = RT_ERROR_NO_MEMBER,
  kErrorAccess = RT_ERROR_ACCESS,
  kErrorAbstract = RT_ERROR_ABSTRACT,
  kErrorNotLoaded = RT_ERROR_NOT_LOADED,
  kErrorClassDefinition = RT_ERROR_CLASS_DEFINITION,
  kErrorNoFunction = RT_ERROR_NO_FUNCTION,
  kErrorArgument = RT_ERROR_ARGUMENT,
  kErrorInternal = RT_ERROR_INTERNAL,
  kErrorUser = RT_ERROR_USER,
};

struct ErrorObject {
  int code = 0;                // one of ErrorCode
  std::string description;     // what went wrong, for people
  std::string operation;       // the failed operation ("+", "PADR", "send quantity", ...)
  std::vector<Item> arguments; // the operation's operands as they were
  std::string procedure;       // procedure name of the innermost frame, "" outside any
  int line = 0;                // line that frame was executing, 0 outside any
  bool resumable = true;       // false where going on is impossible (class creation)

  // A copy of a runtime error's contents.
  static ErrorObject from(const RtError* error) {
    ErrorObject e;
    e.code = rtErrorCode(error);
    e.description = rtErrorDescription(error);
    e.operation = rtErrorOperation(error);
    e.procedure = rtErrorProcedure(error);
    e.line = rtErrorLine(error);
    e.resumable = rtErrorResumable(error) != 0;
    int count = rtErrorArgumentCount(error);
    e.arguments.resize(size_t(count));
    for (int i = 0; i < count; ++i) rtErrorArgument(&e.arguments[size_t(i)], error, i);
    return e;
  }
};

// What an error handler decides.
struct ErrorDecision {
  bool resume = false;  // true: the failed operation yields `value`; false: unwind
  Item value;           // the value to resume with

  static ErrorDecision unwind() { return {}; }
  static ErrorDecision resumeWith(Item v) { return {true, std::move(v)}; }
};

using ErrorHandler = std::function<ErrorDecision(const ErrorObject&)>;

// The exception by which an unwinding runtime error travels through the C++
// code of one module. It holds the runtime's error and a copy of its contents.
class RuntimeError : public std::exception {
 public:
  // Takes over the caller's reference to the error.
  explicit RuntimeError(RtError* error)
      : handle_(error, rtErrorRelease),
        error_(std::make_shared<const ErrorObject>(ErrorObject::from(error))),
        message_(describe(*error_)) {}
  const ErrorObject& error() const { return *error_; }
  const char* what() const noexcept override { return message_.c_str(); }
  // A new reference to the runtime's error, to unwind with it again.
  RtError* handle() const { return rtErrorRetain(handle_.get()); }

 private:
  static std::string describe(const ErrorObject& e) {
    std::string text = e.description;
    if (!e.procedure.empty()) {
      text += " (" + e.procedure + ", line " + std::to_string(e.line) + ")";
    }
    return text;
  }

  std::shared_ptr<RtError> handle_;           // the runtime's error
  std::shared_ptr<const ErrorObject> error_;  // its contents as the handler saw them
  std::string message_;                       // "DESCRIPTION (PROCEDURE, line N)"
};

inline void checkUnwind() {
  if (rtIsError()) throw RuntimeError(rtTakeError());
}

// Called in a catch (...) at the C interface: turns the exception being
// handled into an unwind under way, so that nothing but that state leaves the
// module. A RuntimeError carries on as the same error; anything else becomes
// an internal error.
inline void passUnwind() noexcept {
  try {
    throw;
  } catch (const RuntimeError& e) {
    rtUnwind(e.handle());
  } catch (const std::exception& e) {
    Item ignored;
    rtRaiseError(&ignored, kErrorInternal, e.what(), "internal", 0, nullptr);
  } catch (...) {
    Item ignored;
    rtRaiseError(&ignored, kErrorInternal, "unknown failure", "internal", 0, nullptr);
  }
}

// A method or class function as the runtime calls it: F runs with every
// exception it lets out turned into the unwind state, so none reaches the
// runtime. Register guarded<F> wherever the runtime is to call F.
template <RtFunction F>
void guarded(RtItem* result, int argc, const RtItem* argv) noexcept {
  try {
    F(result, argc, argv);
  } catch (...) {
    passUnwind();
  }
}

// Hands an error about an operation and its operands to the handler: returns
// the value to resume with, or throws RuntimeError.
inline Item raiseError(int code, const std::string& description, const std::string& operation,
                       const std::vector<Item>& arguments = {}) {
  Item result;
  rtRaiseError(&result, code, description.c_str(), operation.c_str(), int(arguments.size()),
               arguments.data());
  checkUnwind();
  return result;
}

namespace detail {

// A C++ handler behind the C interface's handler pointer.
inline int callHandler(void* user, const RtError* error, RtItem* value) {
  try {
    ErrorDecision decision = (*static_cast<ErrorHandler*>(user))(ErrorObject::from(error));
    if (!decision.resume) return 0;
    *value = std::move(decision.value);
    return 1;
  } catch (...) {
    return 0;  // a handler that fails unwinds
  }
}
inline void disposeHandler(void* user) { delete static_cast<ErrorHandler*>(user); }

// A handler that setErrorHandler replaced, held so that it can be installed
// again. Called directly it unwinds: it answers through the runtime only.
struct HeldHandler {
  std::shared_ptr<RtHandlerRef> ref;
  ErrorDecision operator()(const ErrorObject&) const { return ErrorDecision::unwind(); }
};

}  // namespace detail

// GCC 12 at -O2 takes std::function::target() inlined here for a read of
// uninitialised storage (-Wmaybe-uninitialized); the read is guarded by the
// stored type's check, so the warning is silenced for this function alone.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Installs a handler and returns the one it replaces. An empty handler
// restores the default, which unwinds.
inline ErrorHandler setErrorHandler(ErrorHandler handler) {
  RtHandlerRef* previous = nullptr;
  if (!handler) {
    previous = rtSetErrorHandler(nullptr, nullptr, nullptr);
  } else if (const auto* held = handler.target<detail::HeldHandler>()) {
    previous = rtRestoreErrorHandler(rtRetainHandler(held->ref.get()));
  } else {
    previous = rtSetErrorHandler(detail::callHandler, new ErrorHandler(std::move(handler)),
                                 detail::disposeHandler);
  }
  if (!previous) return {};
  return detail::HeldHandler{std::shared_ptr<RtHandlerRef>(previous, rtReleaseHandler)};
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace hostrt

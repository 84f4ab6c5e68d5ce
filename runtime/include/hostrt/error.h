// Runtime errors and the replaceable error handler.
//
// Whenever an operation cannot do its work (an operand of the wrong kind, an
// index out of bounds, an unknown or internal method), the runtime builds an
// ErrorObject and hands it to the current error handler at the point of failure,
// before anything is unwound. The handler decides:
//
//   - Resume with a value: the failed operation yields that value and the code
//     that called it goes on directly after it.
//   - Unwind: the runtime throws RuntimeError, which carries the error object.
//     Every method frame on the way releases what it holds (C++ destructors)
//     and the exception reaches the outermost caller, usually the application.
//
// The default handler unwinds. The application installs its own with
// rtSetErrorHandler; the handler is process-wide.
//
// Thread safety: the handler may be replaced while other threads raise errors;
// each raise uses the handler current at that moment.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostrt/export.h"
#include "hostrt/item.h"

namespace hostrt {

// Error codes of the runtime.
enum ErrorCode : int {
  kErrorWrongKind = 1,       // an operand or argument of the wrong kind
  kErrorBound = 2,           // array index out of bounds
  kErrorNoMethod = 3,        // no method of that name
  kErrorNoMember = 4,        // no member of that name
  kErrorAccess = 5,          // an internal member or method used from outside its class
  kErrorAbstract = 6,        // an abstract method that nothing implements
  kErrorNotLoaded = 7,       // a literal item used before its library was loaded
  kErrorClassDefinition = 8, // a class could not be defined
  kErrorNoFunction = 9,      // no public function of that name
  kErrorArgument = 10,       // an argument value out of range
  kErrorUser = 100,          // raised by library code for its own reasons
};

struct ErrorObject {
  int code = 0;                // one of ErrorCode
  std::string description;     // what went wrong, for people
  std::string operation;       // the failed operation ("+", "PADR", "send quantity", ...)
  std::vector<Item> arguments; // the operation's operands as they were
  std::string procedure;       // procedure name of the innermost frame, "" outside any
  int line = 0;                // line that frame was executing, 0 outside any
  bool resumable = true;       // false where going on is impossible (class creation)
};

// What an error handler decides.
struct ErrorDecision {
  bool resume = false;  // true: the failed operation yields `value`; false: unwind
  Item value;           // the value to resume with

  static ErrorDecision unwind() { return {}; }
  static ErrorDecision resumeWith(Item v) { return {true, std::move(v)}; }
};

using ErrorHandler = std::function<ErrorDecision(const ErrorObject&)>;

// The one exception type by which an unwinding runtime error travels.
class HOSTRT_API RuntimeError : public std::exception {
 public:
  explicit RuntimeError(std::shared_ptr<const ErrorObject> error);
  const ErrorObject& error() const { return *error_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::shared_ptr<const ErrorObject> error_;  // the error as the handler saw it
  std::string message_;                       // "DESCRIPTION (PROCEDURE, line N)"
};

// Installs a handler and returns the one it replaces. An empty handler
// restores the default, which unwinds.
HOSTRT_API ErrorHandler rtSetErrorHandler(ErrorHandler handler);

// Hands an error to the handler. Fills in the procedure and line of the
// innermost frame. Returns the value to resume with, or throws RuntimeError.
HOSTRT_API Item rtRaiseError(ErrorObject error);

// Starts the unwinding of an error: throws the RuntimeError that carries it
// past every frame to the outermost caller.
[[noreturn]] HOSTRT_API void rtUnwind(std::shared_ptr<const ErrorObject> error);

// Shorthand for raising an error about an operation and its operands.
HOSTRT_API Item raiseError(int code, std::string description, std::string operation,
                           std::vector<Item> arguments = {});

}  // namespace hostrt

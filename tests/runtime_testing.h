// Helpers for tests of the runtime: catching runtime errors and installing a
// resuming error handler for the length of a scope.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "hostrt/error.h"
#include "hostrt/item.h"

namespace hostrt::testing {

// Runs f and returns the runtime error it raised, or an ErrorObject with
// code 0 when it raised none.
template <class F>
ErrorObject raisedBy(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const RuntimeError& e) {
    return e.error();
  }
  return ErrorObject{};
}

// Installs a handler that resumes every error with `value`; the previous
// handler comes back at the end of the scope.
class ResumeWith {
 public:
  explicit ResumeWith(Item value)
      : previous_(setErrorHandler([value](const ErrorObject& e) {
          ++raised();
          last() = e;
          return ErrorDecision::resumeWith(value);
        })) {
    raised() = 0;
  }
  ~ResumeWith() { setErrorHandler(std::move(previous_)); }
  ResumeWith(const ResumeWith&) = delete;
  ResumeWith& operator=(const ResumeWith&) = delete;

  // Errors resumed so far, and the last of them.
  static int& raised() {
    static int count = 0;
    return count;
  }
  static ErrorObject& last() {
    static ErrorObject error;
    return error;
  }

 private:
  ErrorHandler previous_;
};

inline Item str(std::string_view bytes) { return Item::string(bytes); }
inline Item num(int64_t n) { return Item::integer(n); }
inline Item real(double x) { return Item::real(x); }

}  // namespace hostrt::testing

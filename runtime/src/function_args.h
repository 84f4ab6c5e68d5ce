// Argument checking for the runtime's functions.
//
// FunctionArgs reads the arguments of one call and raises a runtime error that
// names the function when one is missing or of the wrong kind. Because the
// error handler may resume, every check returns false after storing the
// resumed value in the call's result item; the function then returns at once,
// so that value becomes its result.
//
// Thread safety: one FunctionArgs belongs to one call on one thread.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hostrt/error.h"
#include "hostrt/item.h"
#include "object_internal.h"

namespace hostrt {

class FunctionArgs {
 public:
  FunctionArgs(const char* function, int argc, const Item* argv, Item* result)
      : function_(function), argc_(argc > 0 && argv ? argc : 0), argv_(argv), result_(result) {}

  int count() const { return argc_; }

  // Argument i (1-based); nil when the caller did not pass it.
  const Item& at(int i) const { return i >= 1 && i <= argc_ ? argv_[i - 1] : missing(); }

  // True when every argument has its operation table; a literal item of a
  // library that was never loaded is a kErrorNotLoaded error.
  bool loaded() {
    for (int i = 0; i < argc_; ++i) {
      if (!argv_[i].hasOps()) [[unlikely]] return notLoaded(i + 1);
    }
    return true;
  }

  bool string(int i, std::string_view* out) {
    if (!at(i).isString()) return wrongKind(i, "a string");
    *out = ItemAccess::str(at(i));
    return true;
  }

  bool number(int i, double* out) {
    if (!at(i).isNumber()) return wrongKind(i, "a number");
    *out = at(i).asNumber();
    return true;
  }

  // A whole number from 0 to max; a fraction is cut off. A negative value,
  // NaN or one above max is a kErrorArgument error.
  bool count(int i, int64_t max, int64_t* out) {
    const Item& a = at(i);
    if (!a.isNumber()) return wrongKind(i, "a number");
    if (a.isInteger()) {
      if (a.asInteger() < 0 || a.asInteger() > max) return outOfRange(i, max);
      *out = a.asInteger();
      return true;
    }
    double x = std::trunc(a.asNumber());
    if (!(x >= 0 && x < 0x1p63) || int64_t(x) > max) return outOfRange(i, max);
    *out = int64_t(x);
    return true;
  }

  // As count, but nil (or an argument not passed) gives `fallback`.
  bool optionalCount(int i, int64_t fallback, int64_t max, int64_t* out) {
    if (at(i).isNil()) {
      *out = fallback;
      return true;
    }
    return count(i, max, out);
  }

  // Raises a kErrorWrongKind error about argument i; always false.
  bool wrongKind(int i, const char* wanted) {
    std::string why = i > argc_ ? std::string("is missing: ") + wanted + " is needed"
                                : std::string("must be ") + wanted + ", not " + at(i).kindName();
    return fail(kErrorWrongKind, describe(i, why));
  }

  // Raises an error with this function as the operation; always false.
  bool fail(int code, const std::string& description) {
    *result_ = raiseError(code, description, function_,
                          std::vector<Item>(argv_, argv_ + argc_));
    return false;
  }

 private:
  std::string describe(int i, const std::string& why) const {
    return std::string(function_) + ": argument " + std::to_string(i) + " " + why;
  }

  [[gnu::noinline]] bool notLoaded(int i) {
    *result_ = raiseError(kErrorNotLoaded,
                          describe(i, "is a literal item used before its library was loaded"),
                          function_);
    return false;
  }

  bool outOfRange(int i, int64_t max) {
    return fail(kErrorArgument,
                describe(i, "must be a whole number from 0 to " + std::to_string(max)));
  }

  const char* function_;  // the function's public name, for error messages
  int argc_;              // arguments passed
  const Item* argv_;      // the arguments
  Item* result_;          // where a resumed error's value goes

  // Stands in for arguments not passed.
  static const Item& missing() {
    static const Item nil;
    return nil;
  }
};

}  // namespace hostrt

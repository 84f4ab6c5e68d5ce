// Operations on items: copy, add or concatenate, append in place, increment,
// compare, exact equality, negation and array element.
//
// An operation on items of the wrong kind raises a runtime error (error.h)
// naming the operation and its operands. If the error handler resumes, the
// operation yields the handler's value (comparisons yield its logical truth).
//
// Each operation takes the caller's source location and records its line in
// the innermost method frame first, so that an error names the statement that
// failed.
//
// Thread safety: as for Item.
#pragma once

#include "hostrt/export.h"
#include "hostrt/item.h"

namespace hostrt {

// The caller's source line, taken where an operation is called: as a default
// argument, Where::current() evaluates at the call site. (The compiler
// built-in serves where std::source_location is not available.)
class Where {
 public:
  static constexpr Where current(unsigned line = __builtin_LINE()) { return Where(line); }
  constexpr unsigned line() const { return line_; }

 private:
  constexpr explicit Where(unsigned line) : line_(line) {}
  unsigned line_;  // 1-based line in the caller's source file
};

// Records the line in the innermost frame of this thread, if there is one.
HOSTRT_API void noteLine(int line);

// a + b: sum of two numbers (integer when both are integers and the sum fits),
// or concatenation of two strings.
HOSTRT_API Item add(const Item& a, const Item& b, Where where = Where::current());

// target += tail, in place: appends a string to a string.
HOSTRT_API void appendInPlace(Item& target, const Item& tail, Where where = Where::current());

// ++target for a number.
HOSTRT_API void increment(Item& target, Where where = Where::current());

// Comparisons of two numbers, two strings (bytewise) or two logicals (false <
// true); equal also accepts nil on both sides.
HOSTRT_API bool equal(const Item& a, const Item& b, Where where = Where::current());
HOSTRT_API bool lessOrEqual(const Item& a, const Item& b, Where where = Where::current());
HOSTRT_API bool greater(const Item& a, const Item& b, Where where = Where::current());

// Exact equality: same kind family and same value, the same array or object.
// Never an error.
HOSTRT_API bool exactlyEqual(const Item& a, const Item& b, Where where = Where::current());

// Logical negation.
HOSTRT_API Item negate(const Item& a, Where where = Where::current());

// array[index], 1-based, bound-checked.
HOSTRT_API Item element(const Item& array, const Item& index, Where where = Where::current());

// Truth of a logical item; any other kind is a runtime error.
HOSTRT_API bool isTrue(const Item& a, Where where = Where::current());

extern "C" {
HOSTRT_API void rtAssign(Item* target, const Item* source);
HOSTRT_API void rtNot(Item* result, const Item* operand);
HOSTRT_API int rtExactlyEqual(const Item* a, const Item* b);
HOSTRT_API void rtGetElement(Item* result, const Item* array, const Item* index);
}

}  // namespace hostrt

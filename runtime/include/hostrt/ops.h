// Operations on items: copy, add or concatenate, append in place, increment,
// compare, exact equality, negation and array element.
//
// An operation on items of the wrong kind raises a runtime error (error.h)
// naming the operation and its operands. If the error handler resumes, the
// operation yields the handler's value (comparisons yield its logical truth).
//
// Each operation takes the caller's source location and records its line in
// the innermost method frame first, so that an error names the statement that
// failed. These are the C++ forms of the C operations in hostrt/hostrt.h.
//
// Thread safety: as for Item.
#pragma once

#include "hostrt/error.h"
#include "hostrt/hostrt.h"
#include "hostrt/item.h"
#include "hostrt/where.h"

namespace hostrt {

// Records the line in the innermost frame of this thread, if there is one.
inline void noteLine(int line) { rtNoteLine(line); }

// a + b: sum of two numbers (integer when both are integers and the sum fits),
// or concatenation of two strings.
inline Item add(const Item& a, const Item& b, Where where = Where::current()) {
  Item result;
  rtAdd(&result, &a, &b, int(where.line()));
  checkUnwind();
  return result;
}

// target += tail, in place: appends a string to a string.
inline void appendInPlace(Item& target, const Item& tail, Where where = Where::current()) {
  rtAppendInPlace(&target, &tail, int(where.line()));
  checkUnwind();
}

// ++target for a number.
inline void increment(Item& target, Where where = Where::current()) {
  rtIncrement(&target, int(where.line()));
  checkUnwind();
}

// Comparisons of two numbers, two strings (bytewise) or two logicals (false <
// true); equal also accepts nil on both sides.
inline bool equal(const Item& a, const Item& b, Where where = Where::current()) {
  int truth = rtEqual(&a, &b, int(where.line()));
  checkUnwind();
  return truth != 0;
}
inline bool lessOrEqual(const Item& a, const Item& b, Where where = Where::current()) {
  int truth = rtLessOrEqual(&a, &b, int(where.line()));
  checkUnwind();
  return truth != 0;
}
inline bool greater(const Item& a, const Item& b, Where where = Where::current()) {
  int truth = rtGreater(&a, &b, int(where.line()));
  checkUnwind();
  return truth != 0;
}

// Exact equality: same kind family and same value, the same array or object.
// Never an error.
inline bool exactlyEqual(const Item& a, const Item& b, Where where = Where::current()) {
  rtNoteLine(int(where.line()));
  return rtExactlyEqual(&a, &b) != 0;
}

// Logical negation.
inline Item negate(const Item& a, Where where = Where::current()) {
  rtNoteLine(int(where.line()));
  Item result;
  rtNot(&result, &a);
  checkUnwind();
  return result;
}

// array[index], 1-based, bound-checked.
inline Item element(const Item& array, const Item& index, Where where = Where::current()) {
  rtNoteLine(int(where.line()));
  Item result;
  rtGetElement(&result, &array, &index);
  checkUnwind();
  return result;
}

// Truth of a logical item; any other kind is a runtime error.
inline bool isTrue(const Item& a, Where where = Where::current()) {
  int truth = rtIsTrue(&a, int(where.line()));
  checkUnwind();
  return truth != 0;
}

}  // namespace hostrt

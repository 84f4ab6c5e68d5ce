// Operations on items. Each checks the kinds of its operands and raises a
// runtime error naming itself and its operands when they do not fit.

#include "hostrt/ops.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "call_context.h"
#include "hostrt/error.h"
#include "hostrt/frame.h"
#include "object_internal.h"

namespace hostrt {

namespace {

Item wrongKinds(const char* operation, std::vector<Item> operands) {
  std::string description = std::string("wrong kind of operand for ") + operation + ":";
  for (const Item& operand : operands) description += std::string(" ") + operand.kindName();
  return raiseError(kErrorWrongKind, std::move(description), operation, std::move(operands));
}

[[gnu::noinline]] void notLoaded(const char* operation) {
  raiseError(kErrorNotLoaded, "literal item used before its library was loaded", operation);
}

inline void requireLoaded(const Item& a, const char* operation) {
  if (!a.hasOps()) [[unlikely]] notLoaded(operation);
}

bool truthOfResumed(const Item& value) { return value.isLogical() && value.asLogical(); }

// -1, 0 or 1 for two items of comparable kinds; nullopt-like 2 when not comparable.
int compareItems(const Item& a, const Item& b) {
  if (a.isNumber() && b.isNumber()) {
    if (a.isInteger() && b.isInteger()) {
      return a.asInteger() < b.asInteger() ? -1 : a.asInteger() > b.asInteger() ? 1 : 0;
    }
    double x = a.asNumber(), y = b.asNumber();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a.isString() && b.isString()) {
    int c = ItemAccess::str(a).compare(ItemAccess::str(b));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  if (a.isLogical() && b.isLogical()) return int(a.asLogical()) - int(b.asLogical());
  if (a.isNil() && b.isNil()) return 0;
  return 2;
}

// compare's general case: the checks, then any two comparable kinds.
template <class Test>
[[gnu::noinline]] bool compareChecked(const Item& a, const Item& b, const char* operation,
                                      Test test) {
  requireLoaded(a, operation);
  requireLoaded(b, operation);
  int c = compareItems(a, b);
  if (c == 2) return truthOfResumed(wrongKinds(operation, {a, b}));
  return test(c);
}

// The common case, two integers, before the checks.
template <class Test>
bool compare(const Item& a, const Item& b, const char* operation, Test test) {
  if (a.isInteger() && b.isInteger() && a.hasOps() && b.hasOps()) {
    return test(a.asInteger() < b.asInteger() ? -1 : a.asInteger() > b.asInteger() ? 1 : 0);
  }
  return compareChecked(a, b, operation, test);
}

}  // namespace

Item add(const Item& a, const Item& b, Where where) {
  noteLineHere(int(where.line()));
  requireLoaded(a, "+");
  requireLoaded(b, "+");
  if (a.isInteger() && b.isInteger()) {
    int64_t sum;
    if (!__builtin_add_overflow(a.asInteger(), b.asInteger(), &sum)) return Item::integer(sum);
    return Item::real(a.asNumber() + b.asNumber());
  }
  if (a.isNumber() && b.isNumber()) return Item::real(a.asNumber() + b.asNumber());
  if (a.isString() && b.isString()) {
    std::string_view head = ItemAccess::str(a), tail = ItemAccess::str(b);
    if (head.size() + tail.size() <= Item::kInlineCapacity) {
      char joined[Item::kInlineCapacity];
      std::memcpy(joined, head.data(), head.size());
      std::memcpy(joined + head.size(), tail.data(), tail.size());
      Item sum;
      ItemAccess::setInline(sum, joined, head.size() + tail.size());
      return sum;
    }
    std::string joined;
    joined.reserve(head.size() + tail.size());
    joined.append(head).append(tail);
    return Item::string(std::move(joined));
  }
  return wrongKinds("+", {a, b});
}

void appendInPlace(Item& target, const Item& tail, Where where) {
  noteLineHere(int(where.line()));
  // The common case, a text of its own growing by a string, before the checks.
  if (StringBuffer* own = ItemAccess::ownBuffer(target); own && tail.isString() && tail.hasOps()) {
    own->bytes.append(ItemAccess::str(tail));
    return;
  }
  requireLoaded(target, "+=");
  requireLoaded(tail, "+=");
  if (target.isString() && tail.isString()) {
    target.appendBytes(ItemAccess::str(tail));
    return;
  }
  target = add(target, tail, where);
}

void increment(Item& target, Where where) {
  noteLineHere(int(where.line()));
  requireLoaded(target, "++");
  int64_t next;
  if (target.isInteger() && !__builtin_add_overflow(target.asInteger(), 1, &next)) {
    ItemAccess::setInteger(target, next);
    return;
  }
  target = add(target, Item::integer(1), where);
}

bool equal(const Item& a, const Item& b, Where where) {
  noteLineHere(int(where.line()));
  return compare(a, b, "=", [](int c) { return c == 0; });
}

bool lessOrEqual(const Item& a, const Item& b, Where where) {
  noteLineHere(int(where.line()));
  return compare(a, b, "<=", [](int c) { return c <= 0; });
}

bool greater(const Item& a, const Item& b, Where where) {
  noteLineHere(int(where.line()));
  return compare(a, b, ">", [](int c) { return c > 0; });
}

bool exactlyEqual(const Item& a, const Item& b, Where where) {
  noteLineHere(int(where.line()));
  if (!a.hasOps() || !b.hasOps()) return false;
  if (a.isString() && b.isString()) return ItemAccess::str(a) == ItemAccess::str(b);
  if (a.kind() != b.kind()) {
    return a.isNumber() && b.isNumber() && a.asNumber() == b.asNumber();
  }
  switch (a.kind()) {
    case Kind::Nil: return true;
    case Kind::Logical: return a.asLogical() == b.asLogical();
    case Kind::Integer: return a.asInteger() == b.asInteger();
    case Kind::Float: return a.asNumber() == b.asNumber();
    case Kind::Array: return a.arrayData() == b.arrayData();
    case Kind::Object: return a.object() == b.object();
    default: return false;
  }
}

Item negate(const Item& a, Where where) {
  noteLineHere(int(where.line()));
  requireLoaded(a, ".NOT.");
  if (a.isLogical()) return Item::logical(!a.asLogical());
  return wrongKinds(".NOT.", {a});
}

bool isTrue(const Item& a, Where where) {
  noteLineHere(int(where.line()));
  requireLoaded(a, "IF");
  if (a.isLogical()) return a.asLogical();
  return truthOfResumed(wrongKinds("IF", {a}));
}

namespace {

[[gnu::noinline]] Item elementSlow(const Item& array, const Item& index) {
  requireLoaded(array, "[]");
  requireLoaded(index, "[]");
  if (!array.isArray() || !index.isNumber()) return wrongKinds("[]", {array, index});
  const std::vector<Item>& elements = array.arrayData()->elements;
  double position = index.asNumber();
  if (position < 1 || position > double(elements.size()) || position != std::floor(position)) {
    return raiseError(kErrorBound, "array index out of bounds", "[]", {array, index});
  }
  return elements[size_t(position) - 1];
}

}  // namespace

Item element(const Item& array, const Item& index, Where where) {
  noteLineHere(int(where.line()));
  // The common case, an integer index within the array, before the checks.
  if (array.isArray() && array.hasOps() && index.isInteger() && index.hasOps()) {
    const std::vector<Item>& elements = array.arrayData()->elements;
    int64_t at = index.asInteger();
    if (at >= 1 && uint64_t(at) <= elements.size()) return elements[size_t(at) - 1];
  }
  return elementSlow(array, index);
}

extern "C" void rtAssign(Item* target, const Item* source) { *target = *source; }

extern "C" void rtNot(Item* result, const Item* operand) { *result = negate(*operand); }

extern "C" int rtExactlyEqual(const Item* a, const Item* b) { return exactlyEqual(*a, *b); }

extern "C" void rtGetElement(Item* result, const Item* array, const Item* index) {
  *result = element(*array, *index);
}

}  // namespace hostrt

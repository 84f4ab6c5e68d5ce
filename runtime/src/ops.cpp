// Operations on items. Each checks the kinds of its operands and raises a
// runtime error naming itself and its operands when they do not fit.

#include "hostrt/ops.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "call_context.h"
#include "error_internal.h"
#include "hostrt/error.h"
#include "hostrt/frame.h"
#include "item_storage.h"

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

Item addItems(const Item& a, const Item& b) {
  requireLoaded(a, "+");
  requireLoaded(b, "+");
  if (a.isInteger() && b.isInteger()) {
    int64_t sum;
    if (!__builtin_add_overflow(a.asInteger(), b.asInteger(), &sum)) return Item::integer(sum);
    return Item::real(a.asNumber() + b.asNumber());
  }
  if (a.isNumber() && b.isNumber()) return Item::real(a.asNumber() + b.asNumber());
  if (a.isString() && b.isString()) {
    return ItemAccess::joined(ItemAccess::str(a), ItemAccess::str(b));
  }
  return wrongKinds("+", {a, b});
}

void appendItem(Item& target, const Item& tail) {
  // The common case, a text of its own growing by a string, before the checks.
  if (tail.isString() && tail.hasOps() &&
      ItemAccess::appendToOwnBuffer(target, ItemAccess::str(tail))) {
    return;
  }
  requireLoaded(target, "+=");
  requireLoaded(tail, "+=");
  if (target.isString() && tail.isString()) {
    target.appendBytes(ItemAccess::str(tail));
    return;
  }
  target = addItems(target, tail);
}

void incrementItem(Item& target) {
  requireLoaded(target, "++");
  int64_t next;
  if (target.isInteger() && !__builtin_add_overflow(target.asInteger(), 1, &next)) {
    ItemAccess::setInteger(target, next);
    return;
  }
  target = addItems(target, Item::integer(1));
}

bool equalItems(const Item& a, const Item& b) {
  return compare(a, b, "=", [](int c) { return c == 0; });
}

bool lessOrEqualItems(const Item& a, const Item& b) {
  return compare(a, b, "<=", [](int c) { return c <= 0; });
}

bool greaterItems(const Item& a, const Item& b) {
  return compare(a, b, ">", [](int c) { return c > 0; });
}

bool exactlyEqualItems(const Item& a, const Item& b) {
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

Item negateItem(const Item& a) {
  requireLoaded(a, ".NOT.");
  if (a.isLogical()) return Item::logical(!a.asLogical());
  return wrongKinds(".NOT.", {a});
}

bool truthOf(const Item& a) {
  requireLoaded(a, "IF");
  if (a.isLogical()) return a.asLogical();
  return truthOfResumed(wrongKinds("IF", {a}));
}

[[gnu::noinline]] Item elementSlow(const Item& array, const Item& index) {
  requireLoaded(array, "[]");
  requireLoaded(index, "[]");
  if (!array.isArray() || !index.isNumber()) return wrongKinds("[]", {array, index});
  const ItemArray& elements = array.arrayData()->elements;
  double position = index.asNumber();
  if (position < 1 || position > double(elements.size()) || position != std::floor(position)) {
    return raiseError(kErrorBound, "array index out of bounds", "[]", {array, index});
  }
  return elements[size_t(position) - 1];
}

// How much of an object prefetchNext asks for, in cache lines: the header
// and the first fifteen members.
constexpr size_t kCacheLineBytes = 64;
constexpr size_t kPrefetchedObjectLines = 4;

// Asks for the object of the element after the one read, when it is one:
// an array of objects is mostly walked in order, and an object that has
// fallen out of the cache would otherwise stall the first read of it.
void prefetchNext(const ItemArray& elements, size_t next) {
  if (next >= elements.size() || !elements[next].isObject()) return;
  const char* object = reinterpret_cast<const char*>(elements[next].object());
  for (size_t line = 0; line < kPrefetchedObjectLines; ++line) {
    __builtin_prefetch(object + line * kCacheLineBytes);
  }
}

Item elementOf(const Item& array, const Item& index) {
  // The common case, an integer index within the array, before the checks.
  if (array.isArray() && array.hasOps() && index.isInteger() && index.hasOps()) {
    const ItemArray& elements = array.arrayData()->elements;
    int64_t at = index.asInteger();
    if (at >= 1 && uint64_t(at) <= elements.size()) {
      prefetchNext(elements, size_t(at));
      return elements[size_t(at) - 1];
    }
  }
  return elementSlow(array, index);
}

}  // namespace

extern "C" void rtAssign(Item* target, const Item* source) {
  atBoundary([&] { *target = *source; });
}

extern "C" void rtAdd(Item* result, const Item* a, const Item* b, int line) {
  if (line) noteLineHere(line);
  atBoundary([&] { *result = addItems(*a, *b); });
}

extern "C" void rtAppendInPlace(Item* target, const Item* tail, int line) {
  if (line) noteLineHere(line);
  atBoundary([&] { appendItem(*target, *tail); });
}

extern "C" void rtIncrement(Item* target, int line) {
  if (line) noteLineHere(line);
  atBoundary([&] { incrementItem(*target); });
}

extern "C" int rtEqual(const Item* a, const Item* b, int line) {
  if (line) noteLineHere(line);
  return atBoundary([&] { return int(equalItems(*a, *b)); });
}

extern "C" int rtLessOrEqual(const Item* a, const Item* b, int line) {
  if (line) noteLineHere(line);
  return atBoundary([&] { return int(lessOrEqualItems(*a, *b)); });
}

extern "C" int rtGreater(const Item* a, const Item* b, int line) {
  if (line) noteLineHere(line);
  return atBoundary([&] { return int(greaterItems(*a, *b)); });
}

extern "C" int rtExactlyEqual(const Item* a, const Item* b) { return exactlyEqualItems(*a, *b); }

extern "C" void rtNot(Item* result, const Item* operand) {
  atBoundary([&] { *result = negateItem(*operand); });
}

extern "C" void rtGetElement(Item* result, const Item* array, const Item* index) {
  atBoundary([&] { *result = elementOf(*array, *index); });
}

extern "C" int rtIsTrue(const Item* a, int line) {
  if (line) noteLineHere(line);
  return atBoundary([&] { return int(truthOf(*a)); });
}

}  // namespace hostrt

// Items and their operations: copying and sharing, strings with NUL bytes,
// append in place, arithmetic, comparison, exact equality, negation, array
// elements, and literal items before and after they get their table.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "item_storage.h"  // white-box: the array storage
#include "hostrt/ops.h"
#include "runtime_testing.h"

namespace hostrt {
namespace {

using namespace hostrt::testing;
using namespace std::string_literals;

const std::string kLong(40, 'x');  // longer than an inline string holds

TEST(ItemCopy, StringsShareUntilOneSideAppends) {
  for (const std::string& text : {"short"s, kLong}) {
    Item a = str(text);
    Item b = a;
    appendInPlace(b, str("!"));
    EXPECT_EQ(a.str(), text);
    EXPECT_EQ(b.str(), text + "!");
    appendInPlace(a, str("?"));
    EXPECT_EQ(a.str(), text + "?");
    EXPECT_EQ(b.str(), text + "!");
  }
}

TEST(ItemCopy, ArraysAreSharedByReference) {
  Item a = Item::array({num(1)});
  Item b = a;
  b.appendElement(num(2));
  EXPECT_EQ(a.arrayData()->elements.size(), 2u);
  EXPECT_TRUE(exactlyEqual(a, b));
  EXPECT_FALSE(exactlyEqual(a, Item::array({num(1), num(2)})));
}

TEST(ItemCopy, MovedFromItemIsNil) {
  Item a = str(kLong);
  Item b = std::move(a);
  EXPECT_TRUE(a.isNil());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(b.str(), kLong);

  std::vector<Item> elements{str(kLong), Item::array({num(1)})};
  Item taken = Item::array(std::move(elements));
  EXPECT_TRUE(elements.empty());  // NOLINT(bugprone-use-after-move)
  ASSERT_EQ(taken.arrayData()->elements.size(), 2u);
  EXPECT_EQ(taken.arrayData()->elements[0].str(), kLong);
  EXPECT_TRUE(taken.arrayData()->elements[1].isArray());
}

TEST(ItemArray, AppendingTakesEachElementOverAndKeepsAllAsTheArrayGrows) {
  Item array = Item::array({});
  constexpr int kCount = 300000;  // past the size from which the elements' block is mapped
  for (int i = 0; i < kCount; ++i) {
    Item element = i % 1000 ? num(i) : str(kLong + std::to_string(i));
    array.appendElement(std::move(element));
    ASSERT_TRUE(element.isNil());  // NOLINT(bugprone-use-after-move)
  }
  const auto& elements = array.arrayData()->elements;
  ASSERT_EQ(elements.size(), size_t(kCount));
  for (int i = 0; i < kCount; i += 1000) {
    EXPECT_EQ(elements[size_t(i)].str(), kLong + std::to_string(i));
    EXPECT_EQ(elements[size_t(i) + 1].asInteger(), i + 1);
  }
  Item number = num(1);
  EXPECT_EQ(raisedBy([&] { number.appendElement(num(2)); }).code, kErrorArgument);
}

TEST(ItemString, InlineAndHeapStringsAreOneKindToCallers) {
  std::string limit(Item::kInlineCapacity, 'a');
  Item small = str(limit);
  Item big = str(limit + "a");
  EXPECT_EQ(small.kind(), Kind::StringInline);
  EXPECT_EQ(big.kind(), Kind::StringRef);
  EXPECT_TRUE(small.isString() && big.isString());
  appendInPlace(small, str("a"));
  EXPECT_TRUE(exactlyEqual(small, big));
  EXPECT_TRUE(equal(small, big));
}

TEST(ItemString, KeepsNulBytes) {
  Item a = str("a\0b"s);
  Item b = str("\0c"s);
  EXPECT_EQ(a.str().size(), 3u);
  EXPECT_EQ(add(a, b).str(), "a\0b\0c"s);
  Item grown = str(kLong);
  appendInPlace(grown, a);
  EXPECT_EQ(grown.str(), kLong + "a\0b"s);
  EXPECT_TRUE(lessOrEqual(str("a"s), str("a\0"s)));
  EXPECT_FALSE(equal(str("a"s), str("a\0"s)));
  EXPECT_TRUE(greater(str("a\0c"s), str("a\0b"s)));
}

// Guards against quadratic appending only; bench/append_bench gives the figure.
TEST(ItemString, MillionAppendsStayLinear) {
  const Item piece = str("abcdefgh");
  Item text = str("");
  Item early;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000000; ++i) {
    appendInPlace(text, piece);
    if (i == 1000) early = text;  // a copy taken midway must not change
  }
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 15.0);
  EXPECT_EQ(text.str().size(), 8000000u);
  EXPECT_EQ(text.str().substr(7999992), "abcdefgh");
  EXPECT_EQ(early.str().size(), 8008u);
}

TEST(ItemOps, AddAndIncrement) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  struct Case {
    Item a, b, sum;
  } cases[] = {
      {num(2), num(3), num(5)},
      {num(-2), real(0.5), real(-1.5)},
      {num(max), num(1), real(double(max) + 1)},  // overflows into a float
      {str("ab"), str(kLong), str("ab" + kLong)},
      {str(""), str(""), str("")},
  };
  for (const Case& c : cases) {
    Item sum = add(c.a, c.b);
    EXPECT_TRUE(exactlyEqual(sum, c.sum)) << c.a.kindName() << " + " << c.b.kindName();
    EXPECT_EQ(sum.kind() == Kind::Integer, c.sum.kind() == Kind::Integer);
  }
  Item n = num(41);
  increment(n);
  EXPECT_EQ(n.asInteger(), 42);
  Item x = real(0.5);
  increment(x);
  EXPECT_EQ(x.asNumber(), 1.5);
}

TEST(ItemOps, WrongKindsRaiseErrorNamingTheOperation) {
  struct Case {
    const char* operation;
    std::function<void()> run;
  } cases[] = {
      {"+", [] { add(num(1), str("1")); }},
      {"+", [] { add(Item(), Item()); }},
      // Append to a non-string and increment fall back on addition.
      {"+", [] { Item a = Item::array({}); appendInPlace(a, str("x")); }},
      {"+", [] { Item a = str("1"); increment(a); }},
      {"=", [] { equal(num(1), str("1")); }},
      {"<=", [] { lessOrEqual(Item(), num(0)); }},
      {">", [] { greater(Item::logical(true), num(1)); }},
      {".NOT.", [] { negate(num(0)); }},
      {"[]", [] { element(str("abc"), num(1)); }},
      {"[]", [] { element(Item::array({num(1)}), str("1")); }},
  };
  for (const Case& c : cases) {
    ErrorObject e = raisedBy(c.run);
    EXPECT_EQ(e.code, kErrorWrongKind) << c.operation;
    EXPECT_EQ(e.operation, c.operation);
    EXPECT_FALSE(e.arguments.empty()) << c.operation;
  }
  ErrorObject e = raisedBy([] { add(num(1), str("one")); });
  ASSERT_EQ(e.arguments.size(), 2u);
  EXPECT_EQ(e.arguments[1].str(), "one");
}

TEST(ItemOps, CompareTable) {
  struct Case {
    Item a, b;
    bool eq, le, gt;
  } cases[] = {
      {num(1), num(1), true, true, false},
      {num(1), num(2), false, true, false},
      {num(2), num(1), false, false, true},
      {num(1), real(1.0), true, true, false},
      {real(-0.5), num(0), false, true, false},
      {str("a"), str("b"), false, true, false},
      {str("b"), str("a"), false, false, true},
      {str(""), str(""), true, true, false},
      {str("\xff"), str("a"), false, false, true},  // bytes compare unsigned
      {Item::logical(false), Item::logical(true), false, true, false},
      {Item(), Item(), true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a.kindName()) + " vs " + c.b.kindName());
    EXPECT_EQ(equal(c.a, c.b), c.eq);
    EXPECT_EQ(lessOrEqual(c.a, c.b), c.le);
    EXPECT_EQ(greater(c.a, c.b), c.gt);
  }
}

TEST(ItemOps, ExactEqualityTable) {
  Item arr = Item::array({});
  struct Case {
    Item a, b;
    bool same;
  } cases[] = {
      {num(1), num(1), true},
      {num(1), real(1.0), true},
      {num(1), str("1"), false},
      {str("abc"), str("abc"), true},
      {str("abc"), str("abd"), false},
      {str("a\0b"s), str("a\0c"s), false},
      {Item(), Item(), true},
      {Item(), Item::logical(false), false},
      {Item::logical(true), Item::logical(true), true},
      {arr, arr, true},
      {arr, Item::array({}), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(exactlyEqual(c.a, c.b), c.same) << c.a.kindName() << " vs " << c.b.kindName();
    EXPECT_EQ(exactlyEqual(c.b, c.a), c.same);
  }
}

TEST(ItemOps, Negate) {
  EXPECT_FALSE(negate(Item::logical(true)).asLogical());
  EXPECT_TRUE(negate(Item::logical(false)).asLogical());
}

TEST(ItemOps, ElementIsOneBasedAndBoundChecked) {
  Item a = Item::array({str("first"), str("second")});
  EXPECT_EQ(element(a, num(1)).str(), "first");
  EXPECT_EQ(element(a, real(2.0)).str(), "second");
  for (const Item& index : {num(0), num(3), num(-1), real(1.5), real(NAN)}) {
    ErrorObject e = raisedBy([&] { element(a, index); });
    EXPECT_EQ(e.code, kErrorBound) << index.asNumber();
  }
  EXPECT_EQ(raisedBy([] { element(Item::array({}), num(1)); }).code, kErrorBound);
}

TEST(ItemOps, ResumedErrorYieldsTheHandlersValue) {
  ResumeWith resume(str("resumed"));
  EXPECT_EQ(add(num(1), str("x")).str(), "resumed");
  EXPECT_EQ(element(Item::array({}), num(5)).str(), "resumed");
  EXPECT_FALSE(equal(num(1), str("x")));  // a string is not true
  EXPECT_EQ(ResumeWith::raised(), 3);
  ResumeWith yes(Item::logical(true));
  EXPECT_TRUE(greater(num(1), str("x")));
}

TEST(ItemLiteral, UnloadedLiteralFailsLoudly) {
  Item texts[] = {Item(kLiteral, "hello"), Item(kLiteral, "a literal longer than the inline part")};
  Item number(kLiteral, 5);
  for (Item& lit : texts) {
    EXPECT_FALSE(lit.hasOps());
    EXPECT_EQ(raisedBy([&] { Item copy = lit; }).code, kErrorNotLoaded);
    EXPECT_EQ(raisedBy([&] { add(lit, str("x")); }).code, kErrorNotLoaded);
    EXPECT_EQ(raisedBy([&] { appendInPlace(lit, str("x")); }).code, kErrorNotLoaded);
    EXPECT_EQ(raisedBy([&] { equal(str("x"), lit); }).code, kErrorNotLoaded);
    std::vector<Item> moved;
    moved.push_back(std::move(lit));  // a move does not look at the item
    EXPECT_EQ(raisedBy([&] { Item::array(std::move(moved)); }).code, kErrorNotLoaded);
  }
  EXPECT_EQ(raisedBy([&] { increment(number); }).code, kErrorNotLoaded);
  EXPECT_FALSE(exactlyEqual(number, num(5)));
}

TEST(ItemLiteral, LoadedLiteralBehavesAsAnyItem) {
  static const char kText[] = "a literal longer than the inline part";
  Item lit(kLiteral, kText);
  Item number(kLiteral, 5);
  Item yes(kLiteral, true);
  for (Item* item : {&lit, &number, &yes}) rtInitLiteral(item);
  EXPECT_TRUE(lit.isString());
  EXPECT_EQ(add(number, num(1)).asInteger(), 6);
  EXPECT_FALSE(negate(yes).asLogical());
  Item copy = lit;
  appendInPlace(copy, str("!"));
  EXPECT_EQ(lit.str(), kText);  // the static bytes are never written
  EXPECT_EQ(copy.str(), std::string(kText) + "!");
}

}  // namespace
}  // namespace hostrt

// The string and array functions, table by table: PADR, STRZERO, STRTRAN,
// LEN, EMPTY, CHR and ACREATE, and the errors they raise for bad arguments.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "item_storage.h"  // white-box: the array storage
#include "hostrt/embed.h"
#include "hostrt/functions.h"
#include "runtime_testing.h"

namespace hostrt {
namespace {

using namespace hostrt::testing;
using namespace std::string_literals;

// Calls a function with a list of arguments.
Item call(RtFunction fn, std::vector<Item> args) {
  Item result;
  fn(&result, int(args.size()), args.data());
  checkUnwind();
  return result;
}

std::string text(const Item& item) { return item.isString() ? std::string(item.str()) : "<not a string>"; }

struct StringCase {
  std::vector<Item> args;
  std::string want;
};

void expectStrings(const char* name, RtFunction fn, const std::vector<StringCase>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(text(call(fn, cases[i].args)), cases[i].want) << name << " case " << i;
  }
}

struct ErrorCase {
  std::vector<Item> args;
  int code;
};

void expectErrors(const char* name, RtFunction fn, const std::vector<ErrorCase>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    ErrorObject e = raisedBy([&] { call(fn, cases[i].args); });
    EXPECT_EQ(e.code, cases[i].code) << name << " case " << i;
    EXPECT_EQ(e.operation, name);
    EXPECT_NE(e.description.find(name), std::string::npos) << e.description;
    EXPECT_EQ(e.arguments.size(), cases[i].args.size());
  }
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const std::string kLong(30, 'x');

TEST(Padr, PadsAndCuts) {
  expectStrings("PADR", PADR,
                {
                    {{str("abc"), num(5)}, "abc  "},
                    {{str("abcdef"), num(3)}, "abc"},
                    {{str("abc"), num(3)}, "abc"},
                    {{str(""), num(2)}, "  "},
                    {{str("abc"), num(0)}, ""},
                    {{str("abc"), real(4.9)}, "abc "},  // a fraction is cut off
                    {{str("a\0b"s), num(4)}, "a\0b "s},
                    {{str("a\0b"s), num(2)}, "a\0"s},
                    {{str(kLong), num(32)}, kLong + "  "},
                    {{str(kLong + "yz"), num(30)}, kLong},
                    {{str("1234567890ABCDEFGHIJ"), num(15)}, "1234567890ABCDE"},
                });
}

TEST(Padr, BadArguments) {
  expectErrors("PADR", PADR,
               {
                   {{num(1), num(5)}, kErrorWrongKind},
                   {{str("a")}, kErrorWrongKind},
                   {{}, kErrorWrongKind},
                   {{str("a"), str("5")}, kErrorWrongKind},
                   {{str("a"), num(-1)}, kErrorArgument},
                   {{str("a"), real(kNaN)}, kErrorArgument},
                   {{str("a"), real(1e300)}, kErrorArgument},
                   {{str("a"), num(std::numeric_limits<int64_t>::max())}, kErrorArgument},
               });
}

TEST(Strzero, WholeNumbersAndSigns) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t min = std::numeric_limits<int64_t>::min();
  expectStrings("STRZERO", STRZERO,
                {
                    {{num(5), num(7)}, "0000005"},
                    {{num(-5), num(7)}, "-000005"},
                    {{num(0), num(3)}, "000"},
                    {{num(1234567), num(7)}, "1234567"},
                    {{num(-123456), num(7)}, "-123456"},
                    {{num(5), num(6), Item()}, "000005"},
                    {{num(5), num(6), num(0)}, "000005"},
                    {{num(42), real(6.7)}, "000042"},
                    {{num(max), num(19)}, "9223372036854775807"},
                    {{num(min), num(20)}, "-9223372036854775808"},
                    {{num(9007199254740993), num(16)}, "9007199254740993"},  // 2^53 + 1
                    {{real(1152921504606846976.0), num(19)}, "1152921504606846976"},  // 2^60
                    {{real(-1e20), num(22)}, "-100000000000000000000"},
                });
}

TEST(Strzero, RoundsHalfAwayFromZero) {
  expectStrings("STRZERO", STRZERO,
                {
                    {{real(2.5), num(3)}, "003"},
                    {{real(-2.5), num(3)}, "-03"},
                    {{real(0.5), num(1)}, "1"},
                    {{real(-0.5), num(2)}, "-1"},
                    {{real(1.5), num(2)}, "02"},
                    {{real(2.4999), num(2)}, "02"},
                    {{real(0.4), num(1)}, "0"},
                    {{real(-0.4), num(3)}, "000"},  // rounds to zero: no sign
                    {{real(-0.0), num(3)}, "000"},
                    {{real(1e-320), num(3)}, "000"},
                    {{real(99.4), num(2)}, "99"},
                    {{real(999999.5), num(7)}, "1000000"},
                });
}

TEST(Strzero, Decimals) {
  expectStrings("STRZERO", STRZERO,
                {
                    {{real(3.14159), num(8), num(2)}, "00003.14"},
                    {{num(5), num(6), num(2)}, "005.00"},
                    {{real(0.125), num(5), num(2)}, "00.13"},
                    {{real(-0.125), num(5), num(2)}, "-0.13"},
                    {{real(1.005), num(6), num(2)}, "001.01"},  // as written, not as stored
                    {{real(2.675), num(4), num(2)}, "2.68"},
                    {{real(0.1 + 0.2), num(4), num(2)}, "0.30"},
                    {{real(0.004), num(4), num(2)}, "0.00"},
                    {{real(-0.004), num(5), num(2)}, "00.00"},
                    {{real(-0.005), num(5), num(2)}, "-0.01"},
                    {{real(123.456), num(10), num(5)}, "0123.45600"},
                    {{real(0.5), num(4), num(2)}, "0.50"},
                    {{num(1), num(30), num(20)}, "000000001." + std::string(20, '0')},
                    {{real(1e-7), num(12), num(10)}, "0.0000001000"},
                    {{real(2.5), num(3), real(0.9)}, "003"},  // decimals are cut to 0
                });
}

TEST(Strzero, AsterisksWhenItDoesNotFit) {
  expectStrings("STRZERO", STRZERO,
                {
                    {{num(12345678), num(7)}, "*******"},
                    {{num(-1234567), num(7)}, "*******"},
                    {{real(99.5), num(2)}, "**"},
                    {{real(9.995), num(4), num(2)}, "****"},
                    {{num(1), num(2), num(2)}, "**"},
                    {{num(5), num(0)}, ""},
                    {{num(5), num(3), num(1000000)}, "***"},
                    {{real(kNaN), num(5)}, "*****"},
                    {{real(kInf), num(3)}, "***"},
                    {{real(-kInf), num(3), num(1)}, "***"},
                    {{real(1e300), num(5)}, "*****"},
                    {{real(-std::numeric_limits<double>::max()), num(8), num(2)}, "********"},
                });
  // The largest double written out in full, 309 digits.
  std::string full = text(call(STRZERO, {real(std::numeric_limits<double>::max()), num(309)}));
  EXPECT_EQ(full.size(), 309u);
  EXPECT_EQ(full.substr(0, 6), "179769");
}

TEST(Strzero, BadArguments) {
  expectErrors("STRZERO", STRZERO,
               {
                   {{str("5"), num(3)}, kErrorWrongKind},
                   {{num(5)}, kErrorWrongKind},
                   {{Item(), num(3)}, kErrorWrongKind},
                   {{num(5), num(-1)}, kErrorArgument},
                   {{num(5), num(3), num(-1)}, kErrorArgument},
                   {{num(5), num(3), str("2")}, kErrorWrongKind},
                   {{num(5), real(kInf)}, kErrorArgument},
               });
}

TEST(Strtran, ReplacesEveryOccurrence) {
  expectStrings("STRTRAN", STRTRAN,
                {
                    {{str("a-b-c"), str("-"), str("")}, "abc"},
                    {{str("aaa"), str("a"), str("bb")}, "bbbbbb"},
                    {{str("abcabc"), str("bc"), str("X")}, "aXaX"},
                    {{str("aaaa"), str("aa"), str("a")}, "aa"},  // no overlapping matches
                    {{str("aaa"), str("aa"), str("")}, "a"},
                    {{str("abc"), str(""), str("X")}, "abc"},
                    {{str(""), str("a"), str("b")}, ""},
                    {{str("abc"), str("abcd"), str("")}, "abc"},
                    {{str("abc"), str("abc"), str("")}, ""},
                    {{str("a\0b\0c"s), str("\0"s), str("-")}, "a-b-c"},
                    {{str("Gr\xc3\xbc\xc3\x9f" "e"), str("\xc3\xbc"), str("ue")}, "Grue\xc3\x9f" "e"},
                    {{str("A-12/34 56"), str(" "), str("")}, "A-12/3456"},
                    {{str(kLong + "yx"), str("x"), str("")}, "y"},
                });
}

TEST(Strtran, EmptySearchReturnsTheSameText) {
  Item text = str(kLong);
  Item out = call(STRTRAN, {text, str(""), str("X")});
  EXPECT_TRUE(exactlyEqual(out, text));
}

TEST(Strtran, BadArguments) {
  expectErrors("STRTRAN", STRTRAN,
               {
                   {{num(1), str("a"), str("b")}, kErrorWrongKind},
                   {{str("a"), num(1), str("b")}, kErrorWrongKind},
                   {{str("a"), str("a"), Item()}, kErrorWrongKind},
                   {{str("a"), str("a")}, kErrorWrongKind},
               });
  // 2^20 matches, each growing by 300 bytes: too long, refused before building it.
  ErrorObject e = raisedBy(
      [] { call(STRTRAN, {str(std::string(1 << 20, 'a')), str("a"), str(std::string(301, 'b'))}); });
  EXPECT_EQ(e.code, kErrorArgument);
}

TEST(Len, StringsAndArrays) {
  struct Case {
    Item arg;
    int64_t want;
  } cases[] = {
      {str(""), 0},
      {str("abc"), 3},
      {str("a\0b"s), 3},
      {str(std::string(100, 'z')), 100},
      {Item::array({}), 0},
      {Item::array({num(1), Item(), str("x")}), 3},
  };
  for (const Case& c : cases) EXPECT_EQ(call(LEN, {c.arg}).asInteger(), c.want);
  expectErrors("LEN", LEN,
               {{{Item()}, kErrorWrongKind},
                {{num(3)}, kErrorWrongKind},
                {{Item::logical(true)}, kErrorWrongKind},
                {{}, kErrorWrongKind}});
}

TEST(Empty, EveryKind) {
  Item classObject = embed::callFunction("SYSCLIPBOARD");
  struct Case {
    Item arg;
    bool want;
  } cases[] = {
      {Item(), true},
      {Item::logical(false), true},
      {Item::logical(true), false},
      {num(0), true},
      {num(1), false},
      {num(-1), false},
      {real(0.0), true},
      {real(-0.0), true},
      {real(0.1), false},
      {real(kNaN), false},
      {str(""), true},
      {str(" \t\r\n "), true},
      {str(std::string(40, ' ')), true},
      {str(" x "), false},
      {str("\0"s), false},  // NUL is not a blank
      {str("\f"), false},
      {Item::array({}), true},
      {Item::array({Item()}), false},
      {classObject, false},
  };
  for (const Case& c : cases) EXPECT_EQ(call(EMPTY, {c.arg}).asLogical(), c.want) << c.arg.kindName();
  EXPECT_TRUE(call(EMPTY, {}).asLogical());  // a missing argument is nil
}

TEST(Chr, OneByte) {
  expectStrings("CHR", CHR,
                {{{num(65)}, "A"},
                 {{num(0)}, "\0"s},
                 {{num(13)}, "\r"},
                 {{num(255)}, "\xff"},
                 {{real(65.9)}, "A"}});
  expectErrors("CHR", CHR,
               {{{num(256)}, kErrorArgument},
                {{num(-1)}, kErrorArgument},
                {{str("A")}, kErrorWrongKind},
                {{}, kErrorWrongKind}});
  Item crlf = call(CHR, {num(13)});
  EXPECT_EQ(add(add(crlf, call(CHR, {num(10)})), call(CHR, {num(10)})).str(), "\r\n\n");
}

TEST(Acreate, HoldsItsArgumentsInOrder) {
  Item empty = call(ACREATE, {});
  ASSERT_TRUE(empty.isArray());
  EXPECT_TRUE(empty.arrayData()->elements.empty());

  Item inner = Item::array({});
  Item a = call(ACREATE, {num(1), str("two"), Item(), inner});
  ASSERT_EQ(a.arrayData()->elements.size(), 4u);
  EXPECT_EQ(element(a, num(1)).asInteger(), 1);
  EXPECT_EQ(element(a, num(2)).str(), "two");
  EXPECT_TRUE(element(a, num(3)).isNil());
  EXPECT_TRUE(exactlyEqual(element(a, num(4)), inner));  // shared, not copied
  EXPECT_FALSE(exactlyEqual(call(ACREATE, {}), empty));   // a new array each time
}

TEST(Functions, CallableByPublicNameInAnyCase) {
  EXPECT_EQ(embed::callFunction("padr", {str("ab"), num(3)}).str(), "ab ");
  EXPECT_EQ(embed::callFunction("StrZero", {num(7), num(3)}).str(), "007");
  EXPECT_EQ(call(STRTRAN)(str("a.b"), str("."), str("")).str(), "ab");
}

TEST(Functions, ResumedErrorBecomesTheResult) {
  ResumeWith resume(str("resumed"));
  for (RtFunction fn : {PADR, STRZERO, STRTRAN, LEN, CHR}) {
    EXPECT_EQ(text(call(fn, {Item::logical(true), Item::logical(true), Item::logical(true)})),
              "resumed");
  }
  EXPECT_EQ(ResumeWith::raised(), 5);
  EXPECT_EQ(ResumeWith::last().operation, "CHR");
}

TEST(Functions, UnloadedLiteralArgumentIsAnError) {
  Item lit(kLiteral, "not loaded");
  for (RtFunction fn : {PADR, STRZERO, STRTRAN, LEN, EMPTY, CHR, ACREATE}) {
    Item result;
    ErrorObject e = raisedBy([&] {
      fn(&result, 1, &lit);
      checkUnwind();
    });
    EXPECT_EQ(e.code, kErrorNotLoaded);
  }
}

}  // namespace
}  // namespace hostrt

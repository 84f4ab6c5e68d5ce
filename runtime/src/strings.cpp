// The string and array functions: PADR, STRZERO, STRTRAN, LEN, EMPTY, CHR
// and ACREATE.
//
// Choices beyond what functions.h states:
//   - A length (PADR, STRZERO) or decimal count is a whole number; a fraction
//     is cut off. A negative one, NaN, or one above kMaxResult is a
//     kErrorArgument error, never an empty or truncated string.
//   - STRZERO rounds a floating-point number as it is written in its shortest
//     decimal form (the form that reads back as the same double). So 1.005
//     with 2 decimals gives "1.01", as whoever typed 1.005 expects, although
//     the double nearest 1.005 lies just below it. Numbers of 2^53 and more
//     are whole numbers and are written exactly, as are all integer items.
//     NaN and infinities do not fit any width: len asterisks.
//   - CHR takes a whole number from 0 to 255; others are a kErrorArgument error.
//   - A STRTRAN result longer than kMaxResult bytes is a kErrorArgument error.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "function_args.h"
#include "hostrt/functions.h"
#include "error_internal.h"
#include "item_storage.h"

namespace hostrt {

namespace {

// The longest string these functions build, so that a wild length is an
// error and not an exhausted heap.
constexpr int64_t kMaxResult = int64_t(1) << 28;

// 2^53: from here on every double is a whole number.
constexpr double kExactWhole = 9007199254740992.0;

// A number rounded to some decimals, as the digits of its magnitude scaled
// by 10^decimals ("314" for 3.14159 to 2 decimals) and its sign.
struct Scaled {
  std::string digits;
  bool negative = false;
};

// Adds one to a string of decimal digits.
void incrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

Scaled scaleInteger(int64_t n, int64_t dec) {
  Scaled s;
  s.negative = n < 0;
  uint64_t magnitude = s.negative ? 0 - uint64_t(n) : uint64_t(n);
  s.digits = std::to_string(magnitude);
  s.digits.append(size_t(dec), '0');
  return s;
}

// A whole double of 2^53 or more: its exact value.
Scaled scaleWhole(double x, int64_t dec) {
  char buf[400];
  auto end = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::fixed, 0).ptr;
  Scaled s;
  s.negative = x < 0;
  s.digits.assign(buf, end);
  s.digits.append(size_t(dec), '0');
  return s;
}

// A double below 2^53 in magnitude, rounded half away from zero in its
// shortest decimal form.
Scaled scaleFraction(double x, int64_t dec) {
  char buf[64];
  auto end = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific).ptr;
  std::string_view text(buf, size_t(end - buf));
  size_t e = text.find('e');
  std::string mantissa;  // the significant digits, without the point
  for (char c : text.substr(0, e)) {
    if (c != '.') mantissa += c;
  }
  std::string_view exp = text.substr(e + 1);
  if (exp[0] == '+') exp.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exp.data(), exp.data() + exp.size(), exponent);

  // The scaled value has `keep` digits before its point.
  int64_t keep = int64_t(exponent) + 1 + dec;
  Scaled s;
  s.negative = x < 0;
  if (keep <= 0) {
    s.digits.assign(1, keep == 0 && mantissa[0] >= '5' ? '1' : '0');
    return s;
  }
  s.digits = mantissa.substr(0, size_t(std::min<int64_t>(keep, int64_t(mantissa.size()))));
  s.digits.append(size_t(keep - int64_t(s.digits.size())), '0');
  if (keep < int64_t(mantissa.size()) && mantissa[size_t(keep)] >= '5') incrementDigits(s.digits);
  return s;
}

std::string formatZeros(const Scaled& s, int64_t len, int64_t dec) {
  std::string body = s.digits;
  if (body.size() < size_t(dec) + 1) body.insert(0, size_t(dec) + 1 - body.size(), '0');
  if (dec > 0) body.insert(body.size() - size_t(dec), 1, '.');
  bool zero = s.digits.find_first_not_of('0') == std::string::npos;
  bool sign = s.negative && !zero;
  int64_t width = int64_t(body.size()) + (sign ? 1 : 0);
  if (width > len) return std::string(size_t(len), '*');
  std::string out;
  out.reserve(size_t(len));
  if (sign) out += '-';
  out.append(size_t(len - width), '0');
  out += body;
  return out;
}

std::string strZero(const Item& n, int64_t len, int64_t dec) {
  // Whatever the number, it needs a digit before the point and dec after it.
  if (1 + (dec > 0 ? dec + 1 : 0) > len) return std::string(size_t(len), '*');
  if (n.isInteger()) return formatZeros(scaleInteger(n.asInteger(), dec), len, dec);
  double x = n.asNumber();
  if (!std::isfinite(x)) return std::string(size_t(len), '*');
  // At most 309 digits before the point, so spelling a number out is cheap.
  if (std::fabs(x) >= kExactWhole) return formatZeros(scaleWhole(x, dec), len, dec);
  return formatZeros(scaleFraction(x, dec), len, dec);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isEmpty(const Item& a) {
  switch (a.kind()) {
    case Kind::Nil: return true;
    case Kind::Logical: return !a.asLogical();
    case Kind::Integer: return a.asInteger() == 0;
    case Kind::Float: return a.asNumber() == 0;
    case Kind::StringRef:
    case Kind::StringInline: {
      std::string_view s = a.str();
      return std::all_of(s.begin(), s.end(), isBlank);
    }
    case Kind::Array: return a.arrayData()->elements.empty();
    case Kind::Object: return false;
  }
  return false;
}

}  // namespace

extern "C" void PADR(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("PADR", argc, argv, result);
    std::string_view text;
    int64_t len = 0;
    if (!args.loaded() || !args.string(1, &text) || !args.count(2, kMaxResult, &len)) return;
    std::string out(text.substr(0, size_t(len)));
    out.resize(size_t(len), ' ');
    *result = ItemAccess::adoptString(std::move(out));
  });
}

extern "C" void STRZERO(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("STRZERO", argc, argv, result);
    double value = 0;
    int64_t len = 0, dec = 0;
    if (!args.loaded() || !args.number(1, &value) || !args.count(2, kMaxResult, &len) ||
        !args.optionalCount(3, 0, kMaxResult, &dec)) {
      return;
    }
    *result = Item::string(strZero(args.at(1), len, dec));
  });
}

extern "C" void STRTRAN(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("STRTRAN", argc, argv, result);
    std::string_view text, search, replace;
    if (!args.loaded() || !args.string(1, &text) || !args.string(2, &search) ||
        !args.string(3, &replace)) {
      return;
    }
    if (search.empty()) {
      *result = args.at(1);
      return;
    }
    size_t hits = 0;
    for (size_t at = text.find(search); at != text.npos; at = text.find(search, at + search.size())) {
      ++hits;
    }
    if (hits == 0) {  // nothing to replace: the text itself, without a copy
      *result = args.at(1);
      return;
    }
    double size = double(text.size()) + double(hits) * (double(replace.size()) - double(search.size()));
    if (size > double(kMaxResult)) {
      args.fail(kErrorArgument, "STRTRAN: the result would be longer than " +
                                    std::to_string(kMaxResult) + " bytes");
      return;
    }
    std::string out;
    out.reserve(size_t(size));
    size_t from = 0;
    for (size_t at = text.find(search); at != text.npos; at = text.find(search, from)) {
      out.append(text, from, at - from).append(replace);
      from = at + search.size();
    }
    out.append(text, from);
    *result = ItemAccess::adoptString(std::move(out));
  });
}

extern "C" void LEN(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("LEN", argc, argv, result);
    if (!args.loaded()) return;
    const Item& a = args.at(1);
    if (a.isString()) {
      *result = Item::integer(int64_t(a.str().size()));
    } else if (a.isArray()) {
      *result = Item::integer(int64_t(a.arrayData()->elements.size()));
    } else {
      args.wrongKind(1, "a string or an array");
    }
  });
}

extern "C" void EMPTY(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("EMPTY", argc, argv, result);
    if (!args.loaded()) return;
    *result = Item::logical(isEmpty(args.at(1)));
  });
}

extern "C" void CHR(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("CHR", argc, argv, result);
    int64_t code = 0;
    if (!args.loaded() || !args.count(1, 255, &code)) return;
    char byte = char(static_cast<unsigned char>(code));
    *result = Item::string(std::string_view(&byte, 1));
  });
}

extern "C" void ACREATE(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("ACREATE", argc, argv, result);
    if (!args.loaded()) return;
    std::vector<Item> elements;
    elements.reserve(size_t(args.count()));
    for (int i = 1; i <= args.count(); ++i) elements.push_back(args.at(i));
    *result = ItemAccess::array(std::move(elements));
  });
}

}  // namespace hostrt

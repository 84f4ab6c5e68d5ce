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
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
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

// STRZERO of a whole number to no decimals in a short width, formatted on
// the stack: the common case, and the same text as formatZeros gives.
bool shortStrZero(const Item& n, int64_t len, int64_t dec, Item* result) {
  constexpr size_t kShort = Item::kInlineCapacity;
  if (!n.isInteger() || dec != 0 || len < 0 || len > int64_t(kShort)) return false;
  const int64_t value = n.asInteger();
  const bool sign = value < 0;  // a zero magnitude is never negative
  uint64_t magnitude = sign ? 0 - uint64_t(value) : uint64_t(value);
  const size_t width = size_t(len);
  // The digits from the last column leftwards, then zeros, then the sign in
  // the first column; asterisks when the number does not fit. Byte by byte:
  // a field is a few columns, fewer than the calls to lay it out would cost.
  char out[kShort] = {};
  size_t at = width;
  for (bool first = true; at > 0 && (first || magnitude != 0); first = false) {
    out[--at] = char('0' + magnitude % 10);
    magnitude /= 10;
  }
  const bool fits = magnitude == 0 && (!sign || at > 0);
  for (size_t i = 0; i < width; ++i) {
    if (!fits) {
      out[i] = '*';
    } else if (i < at) {
      out[i] = sign && i == 0 ? '-' : '0';
    }
  }
  ItemAccess::setInline(*result, out, width);
  return true;
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
      std::string_view s = ItemAccess::str(a);
      return std::all_of(s.begin(), s.end(), isBlank);
    }
    case Kind::Array: return a.arrayData()->elements.empty();
    case Kind::Object: return false;
  }
  return false;
}

// The first byte `wanted` in p[0, n), or n. Eight bytes at a time: a byte of
// w ^ pattern is zero where w holds the byte, and the lowest flag that
// (x - ones) & ~x & highs raises marks the first such byte exactly.
size_t findByte(const char* p, size_t n, char wanted) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    const uint64_t pattern = kOnes * uint8_t(wanted);
    for (; i + 8 <= n; i += 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      uint64_t x = w ^ pattern;
      if (uint64_t hit = (x - kOnes) & ~x & kHighs) return i + size_t(std::countr_zero(hit) / 8);
    }
  }
  for (; i < n; ++i) {
    if (p[i] == wanted) return i;
  }
  return n;
}

// The first occurrence of search in text at or after `from`, or npos. Most
// searches are one byte in a short text: those are scanned in place.
[[gnu::noinline]] size_t findString(std::string_view text, std::string_view search, size_t from) {
  return text.find(search, from);
}

inline size_t findFrom(std::string_view text, std::string_view search, size_t from) {
  if (search.size() != 1) return findString(text, search, from);
  if (from >= text.size()) return text.npos;
  size_t at = from + findByte(text.data() + from, text.size() - from, search[0]);
  return at < text.size() ? at : text.npos;
}

// The fast paths of the functions below take arguments that need no check
// beyond their kind: loaded strings and whole numbers. Anything else goes
// the checked way, which raises the errors.
bool plainString(const Item& a, std::string_view* out) {
  if (!a.isString() || !a.hasOps()) return false;
  *out = ItemAccess::str(a);
  return true;
}

// A loaded integer from 0 to max.
bool plainCount(const Item& a, int64_t max, int64_t* out) {
  if (!a.isInteger() || !a.hasOps() || a.asInteger() < 0 || a.asInteger() > max) return false;
  *out = a.asInteger();
  return true;
}

// Writes the text with every occurrence of search (the first at `first`)
// replaced into out, which has room for the result; returns its length.
size_t replaceAll(std::string_view text, std::string_view search, std::string_view replace,
                  size_t first, char* out) {
  char* to = out;
  size_t from = 0;
  for (size_t at = first; at != text.npos; at = findFrom(text, search, from)) {
    std::memcpy(to, text.data() + from, at - from);
    to += at - from;
    std::memcpy(to, replace.data(), replace.size());
    to += replace.size();
    from = at + search.size();
  }
  std::memcpy(to, text.data() + from, text.size() - from);
  to += text.size() - from;
  return size_t(to - out);
}

}  // namespace

extern "C" void PADR(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    std::string_view text;
    int64_t len = 0;
    if (argc != 2 || !argv || !plainString(argv[0], &text) ||
        !plainCount(argv[1], kMaxResult, &len)) {
      FunctionArgs args("PADR", argc, argv, result);
      if (!args.loaded() || !args.string(1, &text) || !args.count(2, kMaxResult, &len)) return;
    }
    size_t width = size_t(len), kept = std::min(text.size(), width);
    ItemAccess::writeString(*result, width, [&](char* out) {
      std::memcpy(out, text.data(), kept);
      std::memset(out + kept, ' ', width - kept);
      return width;
    });
  });
}

extern "C" void STRZERO(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    int64_t width = 0, noDecimals = 0;
    if ((argc == 2 || argc == 3) && argv && argv[0].isInteger() && argv[0].hasOps() &&
        plainCount(argv[1], kMaxResult, &width) &&
        (argc == 2 || (argv[2].isNil() && argv[2].hasOps()) ||
         plainCount(argv[2], 0, &noDecimals)) &&
        shortStrZero(argv[0], width, 0, result)) {
      return;
    }
    FunctionArgs args("STRZERO", argc, argv, result);
    double value = 0;
    int64_t len = 0, dec = 0;
    if (!args.loaded() || !args.number(1, &value) || !args.count(2, kMaxResult, &len) ||
        !args.optionalCount(3, 0, kMaxResult, &dec)) {
      return;
    }
    if (shortStrZero(args.at(1), len, dec, result)) return;
    *result = Item::string(strZero(args.at(1), len, dec));
  });
}

extern "C" void STRTRAN(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    std::string_view text, search, replace;
    if (argc != 3 || !argv || !plainString(argv[0], &text) || !plainString(argv[1], &search) ||
        !plainString(argv[2], &replace)) {
      FunctionArgs args("STRTRAN", argc, argv, result);
      if (!args.loaded() || !args.string(1, &text) || !args.string(2, &search) ||
          !args.string(3, &replace)) {
        return;
      }
    }
    size_t first = search.empty() ? text.npos : findFrom(text, search, 0);
    if (first == text.npos) {  // nothing to replace: the text itself, without a copy
      *result = argv[0];
      return;
    }
    // The result is no longer than the text when the replacement is no longer
    // than the search string; only a longer one needs the hits counted first.
    size_t size = text.size();
    if (replace.size() > search.size() || size > size_t(kMaxResult)) {
      size_t hits = 0;
      for (size_t at = first; at != text.npos; at = findFrom(text, search, at + search.size())) {
        ++hits;
      }
      double grown =
          double(text.size()) + double(hits) * (double(replace.size()) - double(search.size()));
      if (grown > double(kMaxResult)) {
        FunctionArgs args("STRTRAN", argc, argv, result);
        args.fail(kErrorArgument, "STRTRAN: the result would be longer than " +
                                      std::to_string(kMaxResult) + " bytes");
        return;
      }
      size = size_t(grown);
    }
    ItemAccess::writeString(
        *result, size, [&](char* out) { return replaceAll(text, search, replace, first, out); });
  });
}

extern "C" void LEN(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    if (argc == 1 && argv && argv[0].hasOps() && (argv[0].isString() || argv[0].isArray())) {
      const Item& a = argv[0];
      size_t n = a.isString() ? ItemAccess::str(a).size() : a.arrayData()->elements.size();
      ItemAccess::setInteger(*result, int64_t(n));
      return;
    }
    FunctionArgs args("LEN", argc, argv, result);
    if (!args.loaded()) return;
    const Item& a = args.at(1);
    if (a.isString()) {
      ItemAccess::setInteger(*result, int64_t(ItemAccess::str(a).size()));
    } else if (a.isArray()) {
      ItemAccess::setInteger(*result, int64_t(a.arrayData()->elements.size()));
    } else {
      args.wrongKind(1, "a string or an array");
    }
  });
}

extern "C" void EMPTY(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    if (argc == 1 && argv && argv[0].hasOps()) {
      ItemAccess::setLogical(*result, isEmpty(argv[0]));
      return;
    }
    FunctionArgs args("EMPTY", argc, argv, result);
    if (!args.loaded()) return;
    ItemAccess::setLogical(*result, isEmpty(args.at(1)));
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
    ArrayData* data = newArrayData();
    Item array;
    ItemAccess::setArray(array, data);  // released with the item should a copy fail
    data->elements.reserve(size_t(args.count()));
    for (int i = 1; i <= args.count(); ++i) data->elements.push_back(args.at(i));
    *result = std::move(array);
  });
}

}  // namespace hostrt

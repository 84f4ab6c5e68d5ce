// parseJson: RapidJSON's reader over a JsonInput, its events handed on to a
// target of ours. Private to the reader (json_reader.cpp and json_ahead.cpp).
//
// The reader checks the text strictly: RFC 8259's grammar, nothing after
// the document; a UTF-8 byte order mark before it is passed over. That the
// text is UTF-8, JsonInput has made sure. The reader gives numbers as their
// text, read here into what a JsonHandler takes: a whole number in the range
// of int64_t (negative) or uint64_t (otherwise) as that number, any other as
// a double with its text; a double that overflows is an error.
//
// The target has these members, each false to stop the reading:
//   null(), boolean(bool), number_integer(int64_t), number_unsigned(uint64_t),
//   number_float(double, std::string_view text), string(std::string_view),
//   key(std::string_view), start_object(), end_object(), start_array(),
//   end_array(); and syntaxError(std::string message), which takes the
//   message of an error in the text and stops.
//
// Thread safety: one parse per input and target.
#pragma once

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "host/json_input.h"

namespace velmoran::host {

namespace json_parse_detail {

// RapidJSON's handler: hands each event on to the target.
template <class Target>
class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler<Target>> {
 public:
  using SizeType = rapidjson::SizeType;
  Handler(const JsonInput& input, Target& target) : input_(input), target_(target) {}

  bool Null() { return target_.null(); }
  bool Bool(bool v) { return target_.boolean(v); }
  bool RawNumber(const char* text, SizeType n, bool) { return number({text, n}); }
  bool String(const char* text, SizeType n, bool) { return target_.string({text, n}); }
  bool Key(const char* text, SizeType n, bool) { return target_.key({text, n}); }
  bool StartObject() { return deeper() && target_.start_object(); }
  bool EndObject(SizeType) { return --depth_, target_.end_object(); }
  bool StartArray() { return deeper() && target_.start_array(); }
  bool EndArray(SizeType) { return --depth_, target_.end_array(); }

 private:
  // The parser recurses once for each level, so the depth limit is kept
  // here, for every target, with the place of the bracket just taken.
  bool deeper() {
    if (depth_ < kMaxJsonDepth) return ++depth_, true;
    return target_.syntaxError(tooDeepMessage(input_));
  }

  bool number(std::string_view text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (text.find_first_of(".eE") == std::string_view::npos) {
      if (text.front() == '-') {
        int64_t v;
        if (std::from_chars(first, last, v).ec == std::errc()) return target_.number_integer(v);
      } else {
        uint64_t v;
        if (std::from_chars(first, last, v).ec == std::errc()) return target_.number_unsigned(v);
      }
    }
    double v = 0;
    if (std::from_chars(first, last, v).ec == std::errc::result_out_of_range) {
      v = outOfRange(text);
    }
    if (!std::isfinite(v)) {
      return target_.syntaxError(input_.at(input_.offset()) + "number overflow parsing '" +
                                 std::string(text) + "'");
    }
    return target_.number_float(v, text);
  }

  // A number beyond a double's range: infinite when too large, else zero
  // (or the nearest subnormal), as the C library rounds it. The program
  // keeps the C locale, whose decimal point is JSON's.
  static double outOfRange(std::string_view text) {
    return std::strtod(std::string(text).c_str(), nullptr);
  }

  const JsonInput& input_;
  Target& target_;
  size_t depth_ = 0;  // objects and arrays open
};

// The reason of a message: RapidJSON's own, begun in lower case and
// without its full stop.
inline std::string reason(rapidjson::ParseErrorCode code) {
  std::string r = rapidjson::GetParseError_En(code);
  if (!r.empty() && r.back() == '.') r.pop_back();
  if (!r.empty() && r[0] >= 'A' && r[0] <= 'Z') r[0] = char(r[0] - 'A' + 'a');
  return r;
}

}  // namespace json_parse_detail

// Takes the byte order mark that a Windows editor may put before UTF-8;
// false when the text begins with another character whose UTF-8 begins
// with the same byte (U+F000 to U+FFFF), which is no JSON either.
inline bool takeByteOrderMark(JsonInput::Stream& stream) {
  if (stream.Peek() != '\xEF') return true;
  stream.Take();
  return stream.Take() == '\xBB' && stream.Take() == '\xBF';
}

// Parses the input's text and gives its events to the target; true when the
// whole text was read. An error in the text goes to target.syntaxError; a
// target that stops has its own reason.
template <class Target>
bool parseJson(JsonInput& input, Target& target) {
  constexpr unsigned kFlags = rapidjson::kParseNumbersAsStringsFlag;
  JsonInput::Stream stream{&input};
  if (!takeByteOrderMark(stream)) {
    target.syntaxError(input.at(0) + json_parse_detail::reason(rapidjson::kParseErrorValueInvalid));
    return false;
  }
  json_parse_detail::Handler<Target> handler(input, target);
  rapidjson::Reader reader;
  const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, handler);
  if (!result.IsError()) return true;
  if (result.Code() != rapidjson::kParseErrorTermination) {
    target.syntaxError(
        parseErrorMessage(input, result.Offset(), json_parse_detail::reason(result.Code())));
  }
  return false;
}

}  // namespace velmoran::host

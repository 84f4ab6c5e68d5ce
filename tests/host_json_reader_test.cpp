// The order file's reader on its own: the text comes in chunks, and every
// position in a message must come out as if the text were read whole,
// wherever the chunks begin and however little the source gives at a time.
// A text of more than one chunk is parsed on a thread of its own, so the
// small chunks here compare that thread's results with the reading in one.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/json_reader.h"

namespace {

using velmoran::host::JsonHandler;
using velmoran::host::Status;
using velmoran::host::TextSource;

// The checks that every reader keeps, and nothing more.
class Checker : public JsonHandler {
 public:
  bool null() override { return scalar(); }
  bool boolean(bool) override { return scalar(); }
  bool number_integer(number_integer_t) override { return scalar(); }
  bool number_unsigned(number_unsigned_t) override { return scalar(); }
  bool number_float(number_float_t, std::string_view) override { return scalar(); }
  bool string(std::string_view) override { return scalar(); }
  bool start_object() override { return open(true); }
  bool start_array() override { return open(false); }
  bool end_object() override { return frames_.close(), true; }
  bool end_array() override { return frames_.close(), true; }
  bool key(std::string_view key) override {
    Status s = frames_.key(key);
    return s.ok() || stop(s);
  }

 private:
  bool scalar() { return frames_.value(), true; }
  bool open(bool object) {
    frames_.value();
    frames_.open(object);
    return true;
  }
};

// The text, then a read error where it would end.
class FailingSource : public TextSource {
 public:
  using TextSource::TextSource;
  Status read(char* buf, size_t size, size_t* got) override {
    Status s = TextSource::read(buf, size, got);
    return *got > 0 ? s : Status::invalidInput("cannot read x: Input/output error");
  }
};

template <class Source>
std::string readWith(const std::string& text, size_t chunk, size_t piece) {
  Source source(text, piece);
  Checker checker;
  return velmoran::host::readJson(source, &checker, chunk).toString();
}

TEST(HostJsonReader, MessagesDoNotDependOnWhereTheChunksBeginNorOnTheParsingThread) {
  const std::string deep = std::string(101, '[') + std::string(101, ']');
  const struct {
    bool failing;  // the source fails where the text ends
    std::string text;
    const char* begins;  // how the message begins
  } cases[] = {
      {false, "{\"a\": [1, 2,\n  3, x]}", "invalid JSON at line 2, column 6: "},
      {false, "[1,\n\n\n]", "invalid JSON at line 4, column 1: "},
      {false, "[12345x]", "invalid JSON at line 1, column 7: "},
      {false, "{\"a\":\n ", "invalid JSON at line 2, column 2: "},
      {false, "", "invalid JSON at line 1, column 1: "},
      {false, "[\"a\nb\"]", "invalid JSON at line 1, column 4: "},
      {false, " \n" + deep, "invalid JSON at line 2, column 101: objects and arrays nested"},
      {false, "{\"a\": \"[[[{\",\n\"b\":" + deep + "}",
       "invalid JSON at line 2, column 104: objects and arrays nested"},
      {false, "[1,,\n 2" + std::string(1, '\0') + "]", "invalid JSON at line 2, column 3: a NUL byte"},
      {false, "[1]\n\n" + std::string(1, '\0'), "invalid JSON at line 3, column 1: a NUL byte"},
      {false, deep + std::string(1, '\0'), "invalid JSON at line 1, column 203: a NUL byte"},
      {false, "{\"a\": 1, \"A\": 2}", "A: duplicate key"},
      {false, "[1, 2]", "ok"},
      {true, "[x" + std::string(100, ' '), "cannot read x: Input/output error"},
      {true, "[" + std::string(1, '\0'), "cannot read x: Input/output error"},
  };
  for (const auto& c : cases) {
    const std::string whole = c.failing ? readWith<FailingSource>(c.text, 1 << 20, SIZE_MAX)
                                        : readWith<TextSource>(c.text, 1 << 20, SIZE_MAX);
    EXPECT_EQ(whole.rfind(c.begins, 0), 0u) << c.text << "\n" << whole;
    for (size_t chunk : {1, 2, 3, 5, 16, 17, 100}) {
      for (size_t piece : {size_t(1), size_t(3), SIZE_MAX}) {
        std::string got = c.failing ? readWith<FailingSource>(c.text, chunk, piece)
                                    : readWith<TextSource>(c.text, chunk, piece);
        EXPECT_EQ(got, whole) << c.text << "\nchunk " << chunk << ", piece " << piece;
      }
    }
  }
}

// A text of many chunks is parsed ahead on a thread of its own. A handler
// that stops, or throws, early stops that thread too, even when it has
// filled every block it may; the rest of the source is still read for its
// error, which comes first.
TEST(HostJsonReader, AHandlerThatStopsOrThrowsEarlyEndsTheParsingThread) {
  std::string numbers;
  for (int i = 0; i < 400000; ++i) numbers += "1,";
  const std::string text = "{\"a\": 1, \"A\": [" + numbers + "1], \"b\": 2}";
  EXPECT_EQ(readWith<TextSource>(text, 4096, SIZE_MAX).rfind("A: duplicate key", 0), 0u);
  EXPECT_EQ(readWith<FailingSource>(text, 4096, SIZE_MAX), "cannot read x: Input/output error");

  struct Throwing : Checker {
    bool key(std::string_view key) override {
      if (key == "A") throw std::runtime_error("handler failed");
      return Checker::key(key);
    }
  } throwing;
  TextSource source(text);
  EXPECT_THROW(velmoran::host::readJson(source, &throwing, 4096), std::runtime_error);
}

// Texts pass between the threads with a length of one byte up to 254 and of
// nine from 255; a text longer than a block makes its block grow. Each must
// reach the handler whole, in its place among the numbers around it.
TEST(HostJsonReader, TextsOfEveryLengthReachTheHandlerWholeFromTheParsingThread) {
  struct Recorder : Checker {
    std::vector<std::string> seen;
    bool string(std::string_view s) override { return seen.emplace_back(s), Checker::string(s); }
    bool key(std::string_view k) override {
      return seen.push_back("key " + std::string(k)), Checker::key(k);
    }
    bool number_float(number_float_t v, std::string_view s) override {
      return seen.push_back(std::to_string(v) + " " + std::string(s)), Checker::number_float(v, s);
    }
  };
  std::string text = "[";
  std::vector<std::string> expected;
  for (size_t length : {0, 1, 254, 255, 256, 70000, 200000}) {
    std::string s;
    for (size_t i = 0; i < length; ++i) s += char('a' + i % 26);
    text += "{\"" + s + "\": \"" + s + "\", \"f\": 2.5e0}, ";
    expected.insert(expected.end(), {"key " + s, s, "key f", "2.500000 2.5e0"});
  }
  text += "0]";
  for (size_t chunk : {size_t(4096), size_t(1) << 30}) {
    TextSource source(text);
    Recorder recorder;
    ASSERT_TRUE(velmoran::host::readJson(source, &recorder, chunk).ok());
    EXPECT_EQ(recorder.seen, expected) << "chunk " << chunk;
  }
}

// An object's keys are compared as a short list up to 16, then in a hash
// set; a key given again in any letter case is found either way, and only
// ASCII letters are folded.
TEST(HostJsonReader, DuplicateKeysAreFoundInLongObjects) {
  auto numbered = [](int count, std::string last) {
    std::vector<std::string> keys;
    for (int i = 1; i <= count; ++i) keys.push_back("key" + std::to_string(i));
    keys.push_back(std::move(last));
    return keys;
  };
  const struct {
    std::vector<std::string> keys;
    const char* message;
  } cases[] = {
      {numbered(15, "KEY15"), "x.KEY15: duplicate key"},
      {numbered(16, "KEY1"), "x.KEY1: duplicate key"},
      {numbered(16, "Key16"), "x.Key16: duplicate key"},
      {numbered(20, "kEy17"), "x.kEy17: duplicate key"},
      {numbered(20, "key2"), "x.key2: duplicate key"},
      {numbered(20, "key21"), "ok"},
      {{"ab", "abc", "a", "b", "ba", "Ab"}, "x.Ab: duplicate key"},
      {{"", "a", "A "}, "ok"},
      {{"\u00c4", "\u00e4", "\u00e4"}, "x.\xc3\xa4: duplicate key"},
  };
  for (const auto& c : cases) {
    std::string text = "{\"x\": {";
    for (const std::string& key : c.keys) text += "\"" + key + "\": 1, ";
    text += "\"end\": 1}}";
    const std::string got = readWith<TextSource>(text, 1 << 20, SIZE_MAX);
    EXPECT_EQ(got.rfind(c.message, 0), 0u) << text << "\n" << got;
  }
}

// Each object at a depth is compared with the keys of the object before it
// there, which are known to be distinct; a key given twice is still found
// whether this object spells its keys as that one did up to it or not, and
// a message names the key as this object spells it.
TEST(HostJsonReader, DuplicateKeysAreFoundInObjectsThatFollowOneAnother) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {R"([{"a": 1, "b": 2}, {"a": 1, "B": 2}, {"a": 1}, {"a": 1, "b": 2, "c": 3}])", "ok"},
      {R"([{"a": 1, "b": 2}, {"a": 1, "A": 2}])", "[2].A: duplicate key"},
      {R"([{"a": 1, "b": 2}, {"a": 1, "b": 2, "a": 3}])", "[2].a: duplicate key"},
      {R"([{"a": 1, "b": 2}, {"b": 1, "a": 2, "B": 3}])", "[2].B: duplicate key"},
      {R"([{"a": 1, "b": 2, "c": 3}, {"a": 1, "b": 2}, {"a": 1, "b": 2, "c": 3, "A": 4}])",
       "[3].A: duplicate key"},
      {R"([{"a": 1, "k": {"x": 1}}, {"a": 1, "k": {"x": 1, "X": 2}}])", "[2].k.X: duplicate key"},
      {R"([{"kEy": [{"x": 1}]}, {"kEy": [{"x": 1}, {"x": 1, "x": 2}]}])",
       "[2].kEy[2].x: duplicate key"},
  };
  for (const auto& c : cases) {
    const std::string got = readWith<TextSource>(c.text, 1 << 20, SIZE_MAX);
    EXPECT_EQ(got.rfind(c.message, 0), 0u) << c.text << "\n" << got;
  }
}

// The parser gives numbers as text; the reader makes them integers only
// where a 64-bit integer holds them, and refuses a double that overflows.
// The input is screened for UTF-8 as it is read, a sequence cut by the end
// of a chunk finished with the next; a byte that is not UTF-8 comes first
// among errors, as a NUL byte does. A UTF-8 byte order mark is passed over.
TEST(HostJsonReader, NumbersComeAsIntegersWhereTheyFitAndTheTextMustBeUtf8) {
  struct Recorder : Checker {
    std::string seen;
    bool number_integer(number_integer_t v) override {
      return seen += "i" + std::to_string(v) + " ", Checker::number_integer(v);
    }
    bool number_unsigned(number_unsigned_t v) override {
      return seen += "u" + std::to_string(v) + " ", Checker::number_unsigned(v);
    }
    bool number_float(number_float_t v, std::string_view s) override {
      char shown[32];
      std::snprintf(shown, sizeof shown, "%g", v);
      return seen += "f" + std::string(shown) + "(" + std::string(s) + ") ",
             Checker::number_float(v, s);
    }
    bool string(std::string_view s) override {
      return seen += "s" + std::string(s) + " ", Checker::string(s);
    }
  };
  const struct {
    std::string text;
    const char* seen;  // or how the message begins
  } cases[] = {
      {"[0, -0, 9223372036854775807, -9223372036854775808, 18446744073709551615]",
       "u0 i0 u9223372036854775807 i-9223372036854775808 u18446744073709551615 "},
      {"[-9223372036854775809, 18446744073709551616, 1.5, 2E1, 1e-400]",
       "f-9.22337e+18(-9223372036854775809) f1.84467e+19(18446744073709551616) f1.5(1.5) "
       "f20(2E1) f0(1e-400) "},
      {"[1, 1.8e308]", "invalid JSON at line 1, column 12: number overflow parsing '1.8e308'"},
      {"[1, 1e400]", "invalid JSON at line 1, column 5: number too big"},
      {"\xEF\xBB\xBF[\"\xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80 \xED\x9F\xBF \xF4\x8F\xBF\xBF\"]",
       "s\xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80 \xED\x9F\xBF \xF4\x8F\xBF\xBF "},
      {"\xEF\xBF\xBF[1]", "invalid JSON at line 1, column 1: invalid value"},
      {"\xEF\xBB[1]", "invalid JSON at line 1, column 1: bytes that are not UTF-8"},
      {"[\"a\xC3\"]", "invalid JSON at line 1, column 4: bytes that are not UTF-8"},
      {"[\"\xC0\xAF\"]", "invalid JSON at line 1, column 3: bytes that are not UTF-8"},
      {"[\"\xE0\x9F\xBF\"]", "invalid JSON at line 1, column 3: bytes that are not UTF-8"},
      {"[\"\xED\xA0\x80\"]", "invalid JSON at line 1, column 3: bytes that are not UTF-8"},
      {"[\"\xF0\x8F\xBF\xBF\"]", "invalid JSON at line 1, column 3: bytes that are not UTF-8"},
      {"[\"\xF4\x90\x80\x80\"]", "invalid JSON at line 1, column 3: bytes that are not UTF-8"},
      {"[\"\xF5\x80\x80\x80\"]", "invalid JSON at line 1, column 3: bytes that are not UTF-8"},
      {"[\"abcdefgh\x80\"]", "invalid JSON at line 1, column 11: bytes that are not UTF-8"},
      {"[1,, \"\xE2\x82\xAC\", 2]\n\xE2\x82",
       "invalid JSON at line 2, column 1: bytes that are not"},
  };
  for (const auto& c : cases) {
    for (size_t chunk : {size_t(1), size_t(2), size_t(1) << 20}) {  // parsed ahead, and not
      TextSource source(c.text);
      Recorder recorder;
      const Status s = velmoran::host::readJson(source, &recorder, chunk);
      const std::string got = s.ok() ? recorder.seen : s.toString();
      EXPECT_EQ(got.rfind(c.seen, 0), 0u) << c.text << ", chunk " << chunk << "\n" << got;
    }
  }
}

}  // namespace

// readJsonFast: a JSON reader for well-formed text, several times faster
// than nlohmann's parser, which copies every byte into a token buffer and
// keeps the text of each token for its messages.
//
// It gives the handler the very events nlohmann's parser gives, at the same
// points (a container's start before the token after it is read, a key
// before its colon), with the same values: strings decoded alike, numbers
// of the same kind (non-negative integers unsigned, negative ones signed,
// out of range or with a fraction or exponent floats, both correctly
// rounded). Whatever it does not read exactly as that parser would (any
// malformed JSON, a byte order mark, a number that does not fit a double)
// it declines, and the text is read again by the parser, whose messages
// name the error.

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/json_reader.h"

namespace velmoran::host {

namespace {

// The bytes that stand for themselves in a string: printable ASCII but the
// quote and the backslash.
constexpr auto kPlain = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[size_t(c)] = c != '"' && c != '\\';
  return plain;
}();

class Scanner {
 public:
  Scanner(std::string_view text, JsonHandler* handler)
      : p_(text.data()), end_(text.data() + text.size()), sax_(handler) {}

  // kDone: read to the end; kStopped: the handler stopped; kDeclined.
  enum Outcome { kDone, kStopped, kDeclined };
  Outcome run();

 private:
  enum Step { kValue, kNext, kKey };
  Outcome value(Step* next);
  Outcome next(Step* step);
  Outcome key();
  Outcome string(bool isKey);
  bool stringBody();
  bool escape();
  bool utf8();
  Outcome number();
  Outcome literal(const char* word, size_t size);

  void skipBlanks() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }
  bool at(char c) const { return p_ < end_ && *p_ == c; }
  static Outcome outcome(bool accepted) { return accepted ? kDone : kStopped; }

  const char* p_;
  const char* end_;
  JsonHandler* sax_;
  std::vector<bool> open_;  // the open containers, outermost first: true for an object
  std::string text_;        // the string or number being read
};

Scanner::Outcome Scanner::run() {
  skipBlanks();
  if (p_ < end_ && uint8_t(*p_) == 0xEF) return kDeclined;  // a byte order mark, maybe
  for (Step step = kValue;;) {
    Outcome o = kDone;
    if (step == kKey) {
      o = key();
      step = kValue;
    } else {
      o = step == kValue ? value(&step) : next(&step);
    }
    if (o != kDone) return o;
    if (step == kNext && open_.empty()) {
      skipBlanks();
      return p_ == end_ ? kDone : kDeclined;
    }
  }
}

// One value, or the start of a container; *next says what comes after it.
Scanner::Outcome Scanner::value(Step* next) {
  skipBlanks();
  if (p_ == end_) return kDeclined;
  *next = kNext;
  switch (*p_) {
    case '{':
    case '[': {
      const bool object = *p_++ == '{';
      if (!(object ? sax_->start_object(size_t(-1)) : sax_->start_array(size_t(-1)))) {
        return kStopped;
      }
      skipBlanks();
      if (at(object ? '}' : ']')) {
        ++p_;
        return outcome(object ? sax_->end_object() : sax_->end_array());
      }
      open_.push_back(object);
      *next = object ? kKey : kValue;
      return kDone;
    }
    case '"': return string(false);
    case 't': return literal("true", 4);
    case 'f': return literal("false", 5);
    case 'n': return literal("null", 4);
    default: return number();
  }
}

// After a value: a comma and the next member or element, or the end of the
// innermost container.
Scanner::Outcome Scanner::next(Step* step) {
  skipBlanks();
  if (p_ == end_) return kDeclined;
  const bool object = open_.back();
  if (*p_ == ',') {
    ++p_;
    *step = object ? kKey : kValue;
    return kDone;
  }
  if (*p_ != (object ? '}' : ']')) return kDeclined;
  ++p_;
  open_.pop_back();
  *step = kNext;
  return outcome(object ? sax_->end_object() : sax_->end_array());
}

// A key and its colon; the value follows.
Scanner::Outcome Scanner::key() {
  skipBlanks();
  if (!at('"')) return kDeclined;
  Outcome o = string(true);
  if (o != kDone) return o;
  skipBlanks();
  if (!at(':')) return kDeclined;
  ++p_;
  return kDone;
}

Scanner::Outcome Scanner::string(bool isKey) {
  ++p_;  // the opening quote
  text_.clear();
  if (!stringBody()) return kDeclined;
  return outcome(isKey ? sax_->key(text_) : sax_->string(text_));
}

// The characters of a string up to its closing quote, decoded into text_.
bool Scanner::stringBody() {
  for (;;) {
    const char* run = p_;
    while (p_ < end_ && kPlain[uint8_t(*p_)]) ++p_;
    text_.append(run, size_t(p_ - run));
    if (p_ == end_) return false;
    const uint8_t c = uint8_t(*p_);
    if (c == '"') {
      ++p_;
      return true;
    }
    if (c < 0x20) return false;  // a control character, NUL included
    if (!(c == '\\' ? escape() : utf8())) return false;
  }
}

// Four hex digits at p, as a number; -1 when they are not.
long hex4(const char* p, const char* end) {
  if (end - p < 4) return -1;
  long n = 0;
  for (int i = 0; i < 4; ++i) {
    char c = p[i];
    int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return -1;
    n = n * 16 + digit;
  }
  return n;
}

void appendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    *out += char(cp);
  } else if (cp < 0x800) {
    *out += char(0xC0 | (cp >> 6));
    *out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += char(0xE0 | (cp >> 12));
    *out += char(0x80 | ((cp >> 6) & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  } else {
    *out += char(0xF0 | (cp >> 18));
    *out += char(0x80 | ((cp >> 12) & 0x3F));
    *out += char(0x80 | ((cp >> 6) & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  }
}

// An escape sequence at the backslash; a \u surrogate pair as one character.
bool Scanner::escape() {
  if (end_ - p_ < 2) return false;
  const char c = p_[1];
  p_ += 2;
  const char* simple = std::strchr("\"\\/bfnrt", c);
  if (c != '\0' && simple) {
    text_ += "\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"];
    return true;
  }
  if (c != 'u') return false;
  long cp = hex4(p_, end_);
  if (cp < 0 || (cp >= 0xDC00 && cp <= 0xDFFF)) return false;
  p_ += 4;
  if (cp >= 0xD800 && cp <= 0xDBFF) {
    if (end_ - p_ < 6 || p_[0] != '\\' || p_[1] != 'u') return false;
    long low = hex4(p_ + 2, end_);
    if (low < 0xDC00 || low > 0xDFFF) return false;
    p_ += 6;
    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
  }
  appendUtf8(&text_, uint32_t(cp));
  return true;
}

// One well-formed UTF-8 sequence of two to four bytes (RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF).
bool Scanner::utf8() {
  const uint8_t c = uint8_t(*p_);
  int extra = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
  if (extra == 0 || end_ - p_ <= extra) return false;
  uint8_t lo = 0x80, hi = 0xBF;  // the second byte's range
  if (c == 0xE0) lo = 0xA0;
  if (c == 0xED) hi = 0x9F;
  if (c == 0xF0) lo = 0x90;
  if (c == 0xF4) hi = 0x8F;
  if (uint8_t(p_[1]) < lo || uint8_t(p_[1]) > hi) return false;
  for (int i = 2; i <= extra; ++i) {
    if ((uint8_t(p_[i]) & 0xC0) != 0x80) return false;
  }
  text_.append(p_, size_t(extra + 1));
  p_ += extra + 1;
  return true;
}

Scanner::Outcome Scanner::number() {
  const char* start = p_;
  auto digits = [&] {
    const char* from = p_;
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    return p_ > from;
  };
  if (at('-')) ++p_;
  if (at('0')) {
    ++p_;
  } else if (!digits()) {
    return kDeclined;
  }
  bool isFloat = false;
  if (at('.')) {
    ++p_, isFloat = true;
    if (!digits()) return kDeclined;
  }
  if (at('e') || at('E')) {
    ++p_, isFloat = true;
    if (at('+') || at('-')) ++p_;
    if (!digits()) return kDeclined;
  }
  if (!isFloat && *start == '-') {
    int64_t n = 0;
    if (std::from_chars(start, p_, n).ec == std::errc()) return outcome(sax_->number_integer(n));
  } else if (!isFloat) {
    uint64_t n = 0;
    if (std::from_chars(start, p_, n).ec == std::errc()) return outcome(sax_->number_unsigned(n));
  }
  double d = 0;
  if (std::from_chars(start, p_, d).ec != std::errc() || !std::isfinite(d)) return kDeclined;
  text_.assign(start, p_);
  return outcome(sax_->number_float(d, text_));
}

Scanner::Outcome Scanner::literal(const char* word, size_t size) {
  if (size_t(end_ - p_) < size || std::memcmp(p_, word, size) != 0) return kDeclined;
  p_ += size;
  switch (*word) {
    case 't': return outcome(sax_->boolean(true));
    case 'f': return outcome(sax_->boolean(false));
    default: return outcome(sax_->null());
  }
}

}  // namespace

bool readJsonFast(std::string_view text, JsonHandler* handler, Status* status) {
  switch (Scanner(text, handler).run()) {
    case Scanner::kDone: *status = Status(); return true;
    case Scanner::kStopped: *status = handler->stopped(); return true;
    case Scanner::kDeclined: return false;
  }
  return false;
}

}  // namespace velmoran::host

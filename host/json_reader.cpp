// readJson: RapidJSON's reader, fed a chunk at a time through a stream of
// our own (json_parse.h), with the strict checks kept in JsonFrames by every
// handler (a document built by a parser would keep the last of two equal
// keys without a word).

#include "host/json_reader.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "host/field_names.h"
#include "host/json_ahead.h"
#include "host/json_input.h"
#include "host/json_parse.h"

namespace velmoran::host {

namespace {

// The runtime's case folding as a table of the 256 bytes, made once by
// rtFoldCase itself. The rule folds each byte on its own, so the table folds
// a key exactly as the runtime does, without a call into it for every key.
struct FoldTable {
  char to[256];
  FoldTable() {
    for (int i = 0; i < 256; ++i) to[i] = char(i);
    hostrt::rtFoldCase(to, sizeof to, to);
  }
};

// Writes the key as spelled and case-folded.
void copyAndFold(std::string_view key, char* spelled, char* folded) {
  static const FoldTable table;
  for (size_t i = 0; i < key.size(); ++i) {
    spelled[i] = key[i];
    folded[i] = table.to[static_cast<unsigned char>(key[i])];
  }
}

}  // namespace

// A key spelled as the one in its place in the object before, after keys
// that all were, is new: the object before had no key twice. Otherwise the
// keys of the object before are dropped from the first that differs, and the
// key is written behind this object's keys, folded and then as spelled; it
// is kept only when it is new.
bool JsonFrames::KeySet::insert(std::string_view key) {
  const size_t n = key.size();
  if (count_ < ends_.size()) {
    const size_t at = begin(count_);
    if (ends_[count_] - at == 2 * n && std::memcmp(keys_.data() + at + n, key.data(), n) == 0) {
      last_ = at, lastSize_ = n, ++count_;
      return true;
    }
    ends_.resize(count_);
  }
  last_ = begin(ends_.size());
  lastSize_ = n;
  const size_t end = last_ + 2 * n;
  if (keys_.size() < end) keys_.resize(2 * end);
  copyAndFold(key, keys_.data() + last_ + n, keys_.data() + last_);
  if (ends_.size() == kFew) return many_.emplace(folded()).second;
  if (amongFew(folded())) return false;
  ends_.push_back(end);
  count_ = ends_.size();
  if (ends_.size() == kFew) {
    for (size_t i = 0; i < kFew; ++i) many_.emplace(keys_, begin(i), (ends_[i] - begin(i)) / 2);
  }
  return true;
}

bool JsonFrames::KeySet::amongFew(std::string_view folded) const {
  for (size_t i = 0; i < ends_.size(); ++i) {
    const size_t at = begin(i);
    if (ends_[i] - at == 2 * folded.size() &&
        std::memcmp(keys_.data() + at, folded.data(), folded.size()) == 0) {
      return true;
    }
  }
  return false;
}

void JsonFrames::open(bool object) {
  if (depth_ == frames_.size()) frames_.emplace_back();
  Frame& f = frames_[depth_++];
  f.object = object;
  f.elements = 0;
  if (object) f.keys.clear();
}

Status JsonFrames::key(std::string_view key) {
  if (frames_[depth_ - 1].keys.insert(key)) return Status();
  return Status::invalidInput(
      path() + ": duplicate key (a name may be given once, in whatever letter case)");
}

std::string JsonFrames::path(std::string_view root) const {
  std::string p;
  for (size_t i = 0; i < depth_; ++i) {
    const Frame& f = frames_[i];
    if (!f.object) {
      p = elementPath(p, f.elements - 1);
    } else {
      p = memberPath(p, i == 0 && !root.empty() ? root : f.keys.spelled());
    }
  }
  return p;
}

namespace {

// The length of the UTF-8 sequence that begins at p, of which `left` bytes
// are there: 0 when it is ill-formed (an overlong form, a surrogate, beyond
// U+10FFFF, a stray continuation byte), more than `left` when the bytes
// there begin a well-formed one.
size_t utf8Sequence(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  for (size_t i = 1; i < n && i < left; ++i) {
    if (p[i] < (i == 1 ? low : 0x80) || p[i] > (i == 1 ? high : 0xBF)) return 0;
  }
  return n;
}

// Eight bytes, none of them NUL or above 0x7F: NUL borrows into the high bit.
bool plainAscii(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return ((w | (w - 0x0101010101010101)) & 0x8080808080808080) == 0;
}

}  // namespace

// Reads the next chunk behind the last bytes of this one, and the sequence
// this one left unfinished.
void JsonInput::fill() {
  if (ended_ || !error_.ok()) return;
  char* buf = buf_.get();
  const size_t have = size_t(end_ - buf) + tail_, keep = std::min(have, kKept);
  pass(buf, have - keep);
  std::memmove(buf, buf + have - keep, keep);
  size_t got = 0;
  error_ = source_->read(buf + keep, bufSize_ - keep, &got);
  if (!error_.ok()) got = 0;
  ended_ = got == 0;
  next_ = buf + keep - tail_;
  end_ = buf + keep + got;
  tail_ = 0;
  if (badByte_.empty()) screen();
}

// Ends the parser's input at the first NUL byte or byte that is not UTF-8,
// or holds back a UTF-8 sequence that the next chunk is to finish.
void JsonInput::screen() {
  const char* p = next_;
  while (p < end_) {
    const auto c = static_cast<unsigned char>(*p);
    if (end_ - p >= 8 && plainAscii(p)) {
      p += 8;
    } else if (c == 0) {
      break;
    } else if (c < 0x80) {
      ++p;
    } else {
      const size_t left = size_t(end_ - p);
      const size_t n = utf8Sequence(reinterpret_cast<const unsigned char*>(p), left);
      if (n == 0 || (n > left && ended_)) break;
      if (n > left) {
        tail_ = left, end_ = p;
        return;
      }
      p += n;
    }
  }
  if (p == end_) return;
  badByte_ =
      at(base_ + uint64_t(p - buf_.get())) + (*p == 0 ? "a NUL byte" : "bytes that are not UTF-8");
  end_ = p;
}

// Moves the start of the buffer past n bytes that it no longer keeps.
void JsonInput::pass(const char* bytes, size_t n) {
  const char* end = bytes + n;
  for (const char* p = bytes; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p))));
       ++p) {
    ++line_;
    lineStart_ = base_ + uint64_t(p + 1 - bytes);
  }
  base_ += n;
}

// "invalid JSON at line L, column C: " for the byte at offset, counting
// from the start of the buffer.
std::string JsonInput::at(uint64_t offset) const {
  offset = std::clamp(offset, base_, base_ + uint64_t(end_ - buf_.get()) + tail_);
  uint64_t line = line_, lineStart = lineStart_;
  for (uint64_t i = base_; i < offset; ++i) {
    if (buf_[size_t(i - base_)] == '\n') ++line, lineStart = i + 1;
  }
  return "invalid JSON at line " + std::to_string(line) + ", column " +
         std::to_string(offset - lineStart + 1) + ": ";
}

// Errors of the source, NUL bytes and bytes that are not UTF-8 come first
// wherever they are, so the rest of the input is read when the parser
// stopped short of it.
Status JsonInput::finish() {
  while (!ended_ && error_.ok()) {
    next_ = end_;
    fill();
  }
  if (!error_.ok()) return error_;
  if (!badByte_.empty()) return Status::invalidInput(badByte_);
  return Status();
}

std::string tooDeepMessage(const JsonInput& input) {
  return input.at(input.offset() - 1) + "objects and arrays nested more than " +
         std::to_string(kMaxJsonDepth) + " levels deep";
}

Status TextSource::read(char* buf, size_t size, size_t* got) {
  *got = std::min({size, piece_, text_.size()});
  if (*got > 0) std::memcpy(buf, text_.data(), *got);
  text_.remove_prefix(*got);
  return Status();
}

// Counting from 1. The parser counts the bytes it has taken in a size_t,
// which a 32-bit build wraps past 4 GiB, so the byte is found by its distance
// behind what the input has given the parser.
std::string parseErrorMessage(const JsonInput& input, size_t position, std::string_view reason) {
  const uint64_t given = input.offset();
  const auto behind = int64_t(std::make_signed_t<size_t>(size_t(given) - position));
  return input.at(given - uint64_t(behind)) + std::string(reason);
}

// parseJson's target for a handler.
class HandlerTarget {
 public:
  explicit HandlerTarget(JsonHandler* handler) : h_(*handler) {}

  bool null() { return h_.null(); }
  bool boolean(bool v) { return h_.boolean(v); }
  bool number_integer(int64_t v) { return h_.number_integer(v); }
  bool number_unsigned(uint64_t v) { return h_.number_unsigned(v); }
  bool number_float(double v, std::string_view text) { return h_.number_float(v, text); }
  bool string(std::string_view text) { return h_.string(text); }
  bool key(std::string_view text) { return h_.key(text); }
  bool start_object() { return h_.start_object(); }
  bool end_object() { return h_.end_object(); }
  bool start_array() { return h_.start_array(); }
  bool end_array() { return h_.end_array(); }
  bool syntaxError(std::string message) {
    return h_.stop(Status::invalidInput(std::move(message)));
  }

 private:
  JsonHandler& h_;
};

Status readJson(JsonSource& source, JsonHandler* handler, size_t chunkSize) {
  JsonInput input(&source, chunkSize);
  if (worthReadingAhead(source.knownSize(), chunkSize) && input.firstChunkFull()) {
    if (std::optional<Status> s = readAhead(input, handler)) return *s;
  }
  HandlerTarget target(handler);
  bool parsed = parseJson(input, target);
  Status s = input.finish();
  return readingOutcome(s, parsed, *handler);
}

Status readingOutcome(const Status& input, bool parsed, const JsonHandler& handler) {
  if (!input.ok()) return input;
  if (parsed) return Status();
  return handler.stopped().ok() ? Status::invalidInput("invalid JSON") : handler.stopped();
}

Status skipJson(JsonSource& source) {
  std::vector<char> buf(kJsonChunkSize);
  size_t got = 1;
  Status s;
  while (s.ok() && got > 0) s = source.read(buf.data(), buf.size(), &got);
  return s;
}

}  // namespace velmoran::host

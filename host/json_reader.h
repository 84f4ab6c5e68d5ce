// Reads the JSON of an order file strictly, as a stream of events that a
// handler turns into what it needs; no document is built, and the text is
// read from its source in chunks of bounded size, never held whole. Besides
// malformed JSON, reported with its line and column, a key that an object
// holds twice, in the same or another letter case, is an error: a reader
// would otherwise keep one of the two values silently. So are objects and
// arrays nested more than kMaxJsonDepth deep, refused while parsing, text
// that is not UTF-8, and any byte after the document, a NUL byte included.
// The parser recurses once for each level, kMaxJsonDepth at most; nothing in
// reading copies in proportion to the size of the input.
//
// A text of several chunks is parsed on a thread of its own while the
// handler works on what has been parsed (json_ahead.h).
//
// Thread safety: one reader per document; nothing is shared. The handler
// runs on the thread that calls readJson, whichever thread parses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/status.h"

namespace velmoran::host {

// How deep objects and arrays may nest in an order file.
constexpr size_t kMaxJsonDepth = 100;

// How many bytes of the text are read from its source at a time.
constexpr size_t kJsonChunkSize = size_t(64) << 10;

// Where the text of a document comes from.
class JsonSource {
 public:
  virtual ~JsonSource() = default;
  // Reads up to `size` bytes into `buf`, at least one unless the text has
  // ended (*got 0). An error (the input cannot be read, or is too large)
  // ends the reading.
  virtual Status read(char* buf, size_t size, size_t* got) = 0;
  // The size of the text when the source knows it before reading (a file,
  // a text in memory), else 0.
  virtual uint64_t knownSize() const { return 0; }
};

// A text in memory as a source, given out at most `piece` bytes at a time.
class TextSource : public JsonSource {
 public:
  explicit TextSource(std::string_view text, size_t piece = SIZE_MAX)
      : text_(text), size_(text.size()), piece_(piece) {}
  Status read(char* buf, size_t size, size_t* got) override;
  uint64_t knownSize() const override { return size_; }

 private:
  std::string_view text_;  // what is still to be read
  uint64_t size_;          // the whole text
  size_t piece_;
};

// The objects and arrays open at the point a document has been read to,
// outermost first: the strict checks on them and the path of the value
// being read ("order.orderPos[2].remark", elements counted from 1).
class JsonFrames {
 public:
  // A value begins in the innermost container (or is the document).
  void value() {
    if (depth_ > 0 && !frames_[depth_ - 1].object) ++frames_[depth_ - 1].elements;
  }
  // An object or array begins, after value(). The parser refuses to nest
  // deeper than kMaxJsonDepth, so the frames stay as few.
  void open(bool object);
  void close() { --depth_; }
  // A key of the innermost object; an error when the object has it already.
  Status key(std::string_view key);
  // The key just given, case-folded.
  std::string_view foldedKey() const { return frames_[depth_ - 1].keys.folded(); }

  // The path of the value being read; `root`, when given, stands for the
  // outermost key as the document spells it.
  std::string path(std::string_view root = {}) const;

 private:
  // The keys of one object: the key being read, as spelled and case-folded,
  // and the keys so far, case-folded. Objects mostly have a few keys, which
  // one buffer holds end to end more cheaply than a hash set; a long object
  // gets one. Objects at one depth mostly spell the same keys in the same
  // order (the positions of an order), so the keys of the object before are
  // kept: a key spelled as the one in its place there, after keys that all
  // were, is known to be new without folding or comparing it again.
  class KeySet {
   public:
    // Takes the key being read; false when the object has it already.
    bool insert(std::string_view key);
    // The key being read, as spelled and case-folded.
    std::string_view spelled() const { return {keys_.data() + last_ + lastSize_, lastSize_}; }
    std::string_view folded() const { return {keys_.data() + last_, lastSize_}; }
    // A new object begins; the keys of the one before stay for comparison.
    void clear() {
      if (ends_.size() == kFew) ends_.clear(), many_.clear();
      count_ = last_ = lastSize_ = 0;
    }

   private:
    bool amongFew(std::string_view folded) const;
    size_t begin(size_t i) const { return i == 0 ? 0 : ends_[i - 1]; }

    static constexpr size_t kFew = 16;
    // Up to kFew keys end to end, each case-folded and then as spelled, then
    // the key being read when it is not among them. It only grows, so that a
    // key is written straight into it, with no call to copy it.
    std::string keys_;
    // Where each of those keys ends in keys_: this object's first count_,
    // then those of the object before that follow the ones this object
    // has spelled alike so far.
    std::vector<size_t> ends_;
    size_t count_ = 0;                // keys of this object so far, up to kFew
    size_t last_ = 0, lastSize_ = 0;  // where the key being read begins, its size
    std::unordered_set<std::string> many_;  // every key, once there are kFew
  };

  // An open object or array. Frames are reused as containers open and
  // close, so that reading allocates nothing for a container like the last.
  struct Frame {
    bool object = false;
    KeySet keys;          // objects: the key being read and those before
    size_t elements = 0;  // arrays: elements begun so far
  };

  std::vector<Frame> frames_;  // frames_[0, depth_) are open
  size_t depth_ = 0;
};

// A parser event handler that reads strictly with JsonFrames; its events
// return false to stop, with the reason in stopped_. A number comes as an
// integer when it is whole and in the range of int64_t (negative) or
// uint64_t, otherwise as a double with its text. A text is the parser's
// own, valid for the call only.
class JsonHandler {
 public:
  using number_integer_t = int64_t;
  using number_unsigned_t = uint64_t;
  using number_float_t = double;

  virtual ~JsonHandler() = default;
  virtual bool null() = 0;
  virtual bool boolean(bool value) = 0;
  virtual bool number_integer(number_integer_t value) = 0;
  virtual bool number_unsigned(number_unsigned_t value) = 0;
  virtual bool number_float(number_float_t value, std::string_view text) = 0;
  virtual bool string(std::string_view text) = 0;
  virtual bool start_object() = 0;
  virtual bool end_object() = 0;
  virtual bool start_array() = 0;
  virtual bool end_array() = 0;
  virtual bool key(std::string_view key) = 0;

  const Status& stopped() const { return stopped_; }

 protected:
  bool stop(Status s) {
    stopped_ = std::move(s);
    return false;
  }

  JsonFrames frames_;
  Status stopped_;

 private:
  friend class HandlerTarget;  // gives it the parser's events (json_reader.cpp)
  friend class EventReader;    // replays events parsed ahead (json_ahead.cpp)
};

// Parses the text that the source gives, reading `chunkSize` bytes at a
// time, and gives its events to the handler; the error that stopped it, if
// one did. Errors come as if the whole text were read before parsing: an
// error of the source first (even when it comes after a syntax error), then
// a NUL byte, then what the parser or the handler found.
Status readJson(JsonSource& source, JsonHandler* handler, size_t chunkSize = kJsonChunkSize);

// Reads the rest of the source and drops it: the source's error, if it has
// one. An error found before the text is parsed yields to the source's own,
// as it would if the whole text were read first.
Status skipJson(JsonSource& source);

}  // namespace velmoran::host

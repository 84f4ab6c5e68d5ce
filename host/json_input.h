// The text of a JSON document on its way to the parser (RapidJSON's
// reader, json_parse.h), and the messages that name a place in it. Private
// to the reader (json_reader.cpp and json_ahead.cpp).
//
// Thread safety: one thread at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/json_reader.h"

namespace velmoran::host {

// The text on its way to the parser: read from the source a chunk at a time
// into one buffer, which keeps the last few bytes of the chunk before, so
// that an error just behind the parser still has its line and column. Each
// chunk is screened as it comes in, eight bytes at a time where they are
// ASCII: the parser's input ends at the first NUL byte (which it would take
// for the end) or byte that is not UTF-8, so the parser never checks the
// encoding itself.
class JsonInput {
 public:
  JsonInput(JsonSource* source, size_t chunkSize)
      : source_(source),
        bufSize_(std::max<size_t>(chunkSize, 1) + kKept),
        buf_(std::make_unique_for_overwrite<char[]>(bufSize_)) {
    next_ = end_ = buf_.get();
  }

  // The parser's input, as RapidJSON reads a stream: the next byte, or NUL
  // at the end of the text. Taking the bytes straight from the buffer,
  // inline, is what keeps reading a chunk at a time as cheap as reading a
  // whole text in memory. The parser only reads; the Put functions, for
  // parsing in place, are never called.
  struct Stream {
    using Ch = char;
    Ch Peek() {
      if (in->next_ == in->end_ && !in->more()) [[unlikely]] {
        return '\0';
      }
      return *in->next_;
    }
    Ch Take() {
      if (in->next_ == in->end_ && !in->more()) [[unlikely]] {
        return '\0';
      }
      return *in->next_++;
    }
    // Bytes taken so far, in the parser's own size_t (which a 32-bit build
    // wraps past 4 GiB; the messages go by distances from it).
    size_t Tell() const { return size_t(in->offset()); }
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }
    JsonInput* in;
  };

  // Reads the first chunk: true when it filled the buffer, so that the text
  // is likely to go on.
  bool firstChunkFull() {
    fill();
    return size_t(end_ - buf_.get()) + tail_ == bufSize_;
  }

  // Bytes given to the parser so far.
  uint64_t offset() const { return base_ + uint64_t(next_ - buf_.get()); }
  std::string at(uint64_t offset) const;
  // Reads what the parser left; the first error of the source, else the
  // first NUL byte or byte that is not UTF-8, else ok.
  Status finish();

 private:
  // Bytes of one chunk kept when the next is read: at least as many as the
  // parser may have read past the byte it reports an error at (a string's
  // escaped surrogate pair, twelve bytes).
  static constexpr size_t kKept = 16;

  // Reads on until the parser has a byte or the text ends: a chunk may
  // hold no more than the start of a UTF-8 sequence.
  bool more() {
    while (next_ == end_ && badByte_.empty() && !ended_ && error_.ok()) fill();
    return next_ != end_;
  }
  void fill();
  void screen();
  void pass(const char* bytes, size_t n);

  JsonSource* source_;
  size_t bufSize_;  // bytes in buf_
  // The chunk being parsed, left unwritten when made: a short text touches
  // only the pages it fills.
  std::unique_ptr<char[]> buf_;
  const char* next_;  // [next_, end_): read, not yet given to the parser
  const char* end_;
  size_t tail_ = 0;         // bytes from end_ on: a UTF-8 sequence the next chunk finishes
  uint64_t base_ = 0;       // the offset of buf_[0]
  uint64_t line_ = 1;       // the line of buf_[0]
  uint64_t lineStart_ = 0;  // the offset at which that line begins
  bool ended_ = false;      // the source has no more
  Status error_;            // the source's error, which ended the reading
  std::string badByte_;     // the message for the first NUL byte or byte not UTF-8, once found
};

// "invalid JSON at line L, column C: reason" for the parser's error at
// `position` (Stream::Tell's count of the bytes taken).
std::string parseErrorMessage(const JsonInput& input, size_t position, std::string_view reason);

// What a reading ends with: the input's own error first, else ok when the
// parser read the whole text, else why the handler or the parser stopped.
Status readingOutcome(const Status& input, bool parsed, const JsonHandler& handler);

// The error for the object or array that opens one level too deep: the
// byte the parser has just read.
std::string tooDeepMessage(const JsonInput& input);

}  // namespace velmoran::host

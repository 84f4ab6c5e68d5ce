// readAhead: the parser on a thread of its own, its events handed over in
// blocks of bytes. An event is a tag byte and its payload: a number's 8
// bytes; a text's length, one byte below 255, else 255 and 8 bytes, then
// its bytes.

#include "host/json_ahead.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "host/json_input.h"
#include "host/json_parse.h"

namespace velmoran::host {

namespace {

enum class Event : char {
  kNull,
  kFalse,
  kTrue,
  kInteger,
  kUnsigned,
  kFloat,
  kString,
  kKey,
  kStartObject,
  kEndObject,
  kStartArray,
  kEndArray,
  kStop,  // the parser stopped the reading: the error's message
};

// A block is handed over once it holds this many bytes. It is made with room
// for twice that, so that the last event rarely makes it grow.
constexpr size_t kBlockBytes = size_t(64) << 10;
// Blocks written and not yet read back, at most.
constexpr size_t kMaxWaiting = 4;
// A text's length up to this fits the one byte before the text.
constexpr size_t kShortText = 254;
constexpr unsigned char kLongText = 255;

// Events in bytes: written by the parser's thread through a pointer (a
// string's append would check and update its size at every field), then
// read back by the handler's.
struct Block {
  std::unique_ptr<char[]> bytes;
  size_t size = 0;      // bytes [0, size) are written
  size_t capacity = 0;  // bytes allocated

  // At least `more` bytes of room behind the written ones.
  char* room(size_t more) {
    if (capacity - size < more) grow(more);
    return bytes.get() + size;
  }
  void grow(size_t more) {
    const size_t wanted = std::max(size + more, 2 * kBlockBytes);
    std::unique_ptr<char[]> larger(new char[wanted]);
    if (size > 0) std::memcpy(larger.get(), bytes.get(), size);
    bytes = std::move(larger);
    capacity = wanted;
  }
  std::string_view written() const { return {bytes.get(), size}; }
};

// The blocks between the two threads, and how the parsing ended.
class Blocks {
 public:
  // The parser's side: hands the block over, waiting while kMaxWaiting
  // wait, and gets an empty one back. Dropped once the reader has stopped.
  void hand(Block& block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return waiting_.size() < kMaxWaiting || !wanted(); });
    if (wanted()) waiting_.push_back(std::move(block));
    block = Block();
    if (!spare_.empty()) {
      block = std::move(spare_.back());
      spare_.pop_back();
    }
    block.size = 0;
    changed_.notify_all();
  }
  // False once the reader wants no more events.
  bool wanted() const { return !stopped_.load(std::memory_order_relaxed); }
  // The parsing has ended: its result, the input's, or what it threw.
  void end(bool parsed, Status finished, std::exception_ptr thrown) {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    parsed_ = parsed;
    finished_ = std::move(finished);
    thrown_ = std::move(thrown);
    changed_.notify_all();
  }

  // The reader's side: the next block into *block (whose bytes are kept for
  // reuse); false when the parsing has ended and every block was taken.
  bool take(Block* block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !waiting_.empty() || ended_; });
    if (waiting_.empty()) return false;
    if (block->bytes) spare_.push_back(std::move(*block));
    *block = std::move(waiting_.front());
    waiting_.pop_front();
    changed_.notify_all();
    return true;
  }
  // No more events are wanted: the parser stops at its next event.
  void stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_.store(true, std::memory_order_relaxed);
    waiting_.clear();
    changed_.notify_all();
  }
  // After the parser's thread has ended.
  bool parsed() const { return parsed_; }
  const Status& finished() const { return finished_; }
  void rethrow() const {
    if (thrown_) std::rethrow_exception(thrown_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;  // a block was handed or taken, or the reading stopped or ended
  std::deque<Block> waiting_;        // written, not yet taken
  std::vector<Block> spare_;         // taken and read, for the parser to fill again
  // The reader wants no more: set under the lock, read by the parser also without it.
  std::atomic<bool> stopped_{false};
  bool ended_ = false;         // the parser's thread has put its last block
  bool parsed_ = false;        // the parser read the whole text
  Status finished_;            // the input's own error, or its NUL byte
  std::exception_ptr thrown_;  // what the parser's thread threw
};

// parseJson's target on the parser's thread: writes each event into the block.
class EventWriter {
 public:
  explicit EventWriter(Blocks& blocks) : blocks_(blocks) {}

  bool null() { return put(Event::kNull); }
  bool boolean(bool v) { return put(v ? Event::kTrue : Event::kFalse); }
  bool number_integer(int64_t v) { return put(Event::kInteger, v); }
  bool number_unsigned(uint64_t v) { return put(Event::kUnsigned, v); }
  bool number_float(double v, std::string_view text) { return putText(Event::kFloat, text, v); }
  bool string(std::string_view text) { return putText(Event::kString, text); }
  bool key(std::string_view text) { return putText(Event::kKey, text); }
  bool start_object() { return put(Event::kStartObject); }
  bool start_array() { return put(Event::kStartArray); }
  bool end_object() { return put(Event::kEndObject); }
  bool end_array() { return put(Event::kEndArray); }
  bool syntaxError(const std::string& message) { return stopWith(message); }

  // Hands over what is written.
  void flush() {
    if (block_.size > 0) blocks_.hand(block_);
  }

 private:
  bool stopWith(const std::string& message) {
    putText(Event::kStop, message);
    return false;
  }
  template <class T>
  static char* write(char* at, const T& value) {
    std::memcpy(at, &value, sizeof value);
    return at + sizeof value;
  }
  template <class... Payload>
  bool put(Event e, const Payload&... payload) {
    char* at = block_.room(1 + (sizeof(Payload) + ... + 0));
    *at++ = char(e);
    ((at = write(at, payload)), ...);
    return written(at);
  }
  // The tag, the payload (a float's value), the text's length and the text.
  template <class... Payload>
  bool putText(Event e, std::string_view text, const Payload&... payload) {
    const size_t n = text.size();
    char* at = block_.room(1 + (sizeof(Payload) + ... + 0) + 1 + sizeof(uint64_t) + n);
    *at++ = char(e);
    ((at = write(at, payload)), ...);
    if (n <= kShortText) {
      *at++ = char(n);
    } else {
      *at++ = char(kLongText);
      at = write(at, uint64_t(n));
    }
    std::memcpy(at, text.data(), n);
    return written(at + n);
  }
  // The event is written up to `end`.
  bool written(char* end) {
    block_.size = size_t(end - block_.bytes.get());
    if (block_.size >= kBlockBytes) blocks_.hand(block_);
    return blocks_.wanted();
  }

  Blocks& blocks_;
  Block block_;  // events not yet handed over
};

// The parser's thread: parses the text, then reads the rest of the source
// for its errors, as readJson does.
void parseAhead(JsonInput& input, Blocks& blocks) {
  bool parsed = false;
  Status finished;
  std::exception_ptr thrown;
  try {
    EventWriter writer(blocks);
    parsed = parseJson(input, writer);
    writer.flush();
    finished = input.finish();
  } catch (...) {
    thrown = std::current_exception();
  }
  blocks.end(parsed, std::move(finished), std::move(thrown));
}

}  // namespace

// Gives the events of blocks to the handler, as the parser would.
class EventReader {
 public:
  explicit EventReader(JsonHandler* handler) : handler_(handler) {}

  // Gives the block's events to the handler; false when it stopped.
  bool replay(std::string_view block) {
    at_ = block.data();
    const char* end = at_ + block.size();
    while (at_ < end) {
      if (!replayOne(Event(*at_++))) return false;
    }
    return true;
  }

 private:
  bool replayOne(Event e) {
    JsonHandler& h = *handler_;
    switch (e) {
      case Event::kNull:
        return h.null();
      case Event::kFalse:
        return h.boolean(false);
      case Event::kTrue:
        return h.boolean(true);
      case Event::kInteger:
        return h.number_integer(read<JsonHandler::number_integer_t>());
      case Event::kUnsigned:
        return h.number_unsigned(read<JsonHandler::number_unsigned_t>());
      case Event::kFloat: {
        const auto v = read<JsonHandler::number_float_t>();
        return h.number_float(v, readText());
      }
      case Event::kString:
        return h.string(readText());
      case Event::kKey:
        return h.key(readText());
      case Event::kStartObject:
        return h.start_object();
      case Event::kEndObject:
        return h.end_object();
      case Event::kStartArray:
        return h.start_array();
      case Event::kEndArray:
        return h.end_array();
      case Event::kStop:
        return h.stop(Status::invalidInput(std::string(readText())));
    }
    return false;
  }
  template <class T>
  T read() {
    T value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  std::string_view readText() {
    size_t size = static_cast<unsigned char>(*at_++);
    if (size == kLongText) size = size_t(read<uint64_t>());
    const std::string_view text(at_, size);
    at_ += size;
    return text;
  }

  JsonHandler* handler_;
  const char* at_ = nullptr;  // the next event's tag or payload
};

bool worthReadingAhead(uint64_t size, size_t chunkSize) {
  constexpr uint64_t kChunks = 4;
  static const bool severalCores = std::thread::hardware_concurrency() > 1;
  return severalCores && (size == 0 || size / kChunks >= chunkSize);
}

std::optional<Status> readAhead(JsonInput& input, JsonHandler* handler) {
  Blocks blocks;
  std::thread parser;
  try {
    parser = std::thread(parseAhead, std::ref(input), std::ref(blocks));
  } catch (const std::system_error&) {
    return std::nullopt;  // the caller parses on its own thread
  }
  // However the reading ends, the parser is stopped and waited for.
  struct Join {
    Blocks& blocks;
    std::thread& parser;
    ~Join() {
      blocks.stop();
      parser.join();
    }
  };
  bool going = true;
  {
    Join join{blocks, parser};
    EventReader reader(handler);
    Block block;
    while (going && blocks.take(&block)) going = reader.replay(block.written());
  }
  blocks.rethrow();
  return readingOutcome(blocks.finished(), going && blocks.parsed(), *handler);
}

}  // namespace velmoran::host

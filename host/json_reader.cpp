// readJson: nlohmann's SAX parser with a handler that builds the document
// itself, so that it sees every key (the parser's own DOM builder keeps the
// last of two equal keys without a word) and stays linear in the input.

#include "host/json_reader.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/field_names.h"

namespace velmoran::host {

namespace {

// The keys of one object, case-folded. Objects mostly have a few keys, which
// a short list holds more cheaply than a hash set; a long object gets one.
class KeySet {
 public:
  // False when the key, in whatever letter case, is there already.
  bool insert(std::string_view key) {
    std::string folded = foldCase(key);
    if (!many_.empty()) return many_.insert(std::move(folded)).second;
    if (std::find(few_.begin(), few_.end(), folded) != few_.end()) return false;
    few_.push_back(std::move(folded));
    if (few_.size() > kFew) many_.insert(few_.begin(), few_.end());
    return true;
  }

 private:
  static constexpr size_t kFew = 16;
  std::vector<std::string> few_;          // up to kFew keys
  std::unordered_set<std::string> many_;  // every key, once there are more
};

class DocumentBuilder : public nlohmann::json_sax<Json> {
 public:
  Json& document() { return document_; }
  const std::string& error() const { return error_; }
  DocumentBuilder(std::string_view text, PositionSink* sink) : text_(text), sink_(sink) {}

  bool null() override { return add(Json(nullptr)); }
  bool boolean(bool v) override { return add(Json(v)); }
  bool number_integer(number_integer_t v) override { return add(Json(v)); }
  bool number_unsigned(number_unsigned_t v) override { return add(Json(v)); }
  bool number_float(number_float_t v, const string_t&) override { return add(Json(v)); }
  bool string(string_t& v) override { return add(Json(std::move(v))); }
  bool binary(binary_t&) override { return false; }  // JSON text has none

  bool start_object(size_t) override { return open(Json::object()); }
  bool start_array(size_t) override { return open(Json::array()); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool key(string_t& key) override;
  bool parse_error(size_t position, const std::string&, const Json::exception& e) override;

 private:
  // An object or array still being read.
  struct Frame {
    Json* value;                           // where it lives in the document
    std::string key;                       // the key being read (objects)
    KeySet seen;                           // its keys so far (objects)
    bool streamed = false;                 // the positions array: elements go to the sink
    size_t elements = 0;                   // elements begun so far (streamed array)
  };

  bool add(Json&& v) {
    if (!place(std::move(v))) return false;
    if (underStream()) finishElement();
    return true;
  }
  bool open(Json&& container) {
    if (frames_.size() >= kMaxJsonDepth) {
      error_ = tooDeep(text_);
      return false;
    }
    bool streamed = container.is_array() && startsStream();
    Json* placed = place(std::move(container));
    frames_.push_back({placed, {}, {}, streamed, 0});
    if (streamed) sink_->begin(frames_[1].key);
    return true;
  }
  bool close() {
    frames_.pop_back();
    if (underStream()) finishElement();
    return true;
  }
  // The array being opened is "order"."orderPos", and a sink takes its elements.
  bool startsStream() const {
    return sink_ && frames_.size() == 2 && frames_[0].value->is_object() &&
           frames_[1].value->is_object() && sameName(frames_[0].key, "order") &&
           sameName(frames_[1].key, "orderPos");
  }
  // The innermost open container is the streamed array.
  bool underStream() const { return !frames_.empty() && frames_.back().streamed; }
  void finishElement() {
    sink_->position(frames_.back().elements - 1, std::move(element_));
    element_ = Json();
  }
  Json* place(Json&& v);
  std::string path() const;
  static std::string tooDeep(std::string_view text);

  std::string_view text_;      // the whole input, for line and column
  PositionSink* sink_;         // takes the positions, or null
  Json document_;              // the document read so far
  Json element_;               // the streamed element being read
  std::vector<Frame> frames_;  // open objects and arrays, outermost first
  std::string error_;          // why reading stopped
};

// "invalid JSON at line L, column C: " for the byte at offset, counting from 1.
std::string at(std::string_view text, size_t offset) {
  size_t end = std::min(offset, text.size());
  size_t line = 1, column = 1;
  for (size_t i = 0; i < end; ++i) {
    column = text[i] == '\n' ? 1 : column + 1;
    line += text[i] == '\n';
  }
  return "invalid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
         ": ";
}

// The error for the first object or array that opens one level too deep,
// found by a scan that skips strings.
std::string DocumentBuilder::tooDeep(std::string_view text) {
  size_t depth = 0, i = 0;
  for (bool inString = false; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      inString = c != '"';
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) break;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return at(text, i) + "objects and arrays nested more than " + std::to_string(kMaxJsonDepth) +
         " levels deep";
}

// Appends a value to the innermost open container (or makes it the document).
// Keys were checked already, so an object gets its member appended directly
// rather than looked up. Only the innermost container grows, so the frames'
// pointers into the document stay valid.
Json* DocumentBuilder::place(Json&& v) {
  if (frames_.empty()) {
    document_ = std::move(v);
    return &document_;
  }
  Frame& top = frames_.back();
  if (top.streamed) {
    ++top.elements;
    element_ = std::move(v);
    return &element_;
  }
  if (top.value->is_array()) {
    auto& array = *top.value->get_ptr<Json::array_t*>();
    return &array.emplace_back(std::move(v));
  }
  auto& members = static_cast<Json::object_t::Container&>(*top.value->get_ptr<Json::object_t*>());
  if (members.size() == members.capacity()) {
    // The vector itself would copy every member's value when it grows (its
    // elements, with their const keys, cannot promise a move without
    // throwing); moved one by one, only the keys are copied.
    Json::object_t::Container bigger;
    bigger.reserve(std::max<size_t>(4, members.size() * 2));
    for (auto& member : members) bigger.emplace_back(std::move(member));
    members.swap(bigger);
  }
  return &members.emplace_back(top.key, std::move(v)).second;
}

bool DocumentBuilder::key(string_t& key) {
  Frame& top = frames_.back();
  top.key = key;
  if (top.seen.insert(key)) return true;
  error_ = path() + ": duplicate key (a name may be given once, in whatever letter case)";
  return false;
}

// The path of the value being read, as errors name fields.
std::string DocumentBuilder::path() const {
  std::string p;
  for (const Frame& f : frames_) {
    if (f.streamed) {
      p = elementPath(p, f.elements - 1);
    } else {
      p = f.value->is_object() ? memberPath(p, f.key) : elementPath(p, f.value->size() - 1);
    }
  }
  return p;
}

// The parser's message without its exception tag and its own position.
std::string reason(std::string what) {
  if (what.rfind("[json.exception.", 0) == 0) what.erase(0, what.find("] ") + 2);
  if (what.rfind("parse error", 0) == 0) what.erase(0, what.find(": ") + 2);
  return what;
}

// "invalid JSON at line L, column C: reason", counting from 1.
bool DocumentBuilder::parse_error(size_t position, const std::string&, const Json::exception& e) {
  error_ = at(text_, position > 0 ? position - 1 : 0) + reason(e.what());
  return false;
}

}  // namespace

Status readJson(std::string_view text, PositionSink* sink, Json* out) {
  // The parser takes a NUL byte for the end of the input and would ignore
  // whatever follows; JSON text holds none.
  if (size_t nul = text.find('\0'); nul != text.npos) {
    return Status::invalidInput(at(text, nul) + "a NUL byte");
  }
  DocumentBuilder builder(text, sink);
  if (!Json::sax_parse(text.begin(), text.end(), &builder)) {
    return Status::invalidInput(builder.error().empty() ? "invalid JSON" : builder.error());
  }
  *out = std::move(builder.document());
  return Status();
}

}  // namespace velmoran::host

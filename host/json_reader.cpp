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

class DocumentBuilder : public nlohmann::json_sax<Json> {
 public:
  Json& document() { return document_; }
  const std::string& error() const { return error_; }
  explicit DocumentBuilder(std::string_view text) : text_(text) {}

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
    std::unordered_set<std::string> seen;  // its keys so far, case-folded (objects)
  };

  bool add(Json&& v) { return place(std::move(v)) != nullptr; }
  bool open(Json&& container) {
    if (frames_.size() >= kMaxJsonDepth) {
      error_ = tooDeep(text_);
      return false;
    }
    Json* placed = place(std::move(container));
    frames_.push_back({placed, {}, {}});
    return true;
  }
  bool close() {
    frames_.pop_back();
    return true;
  }
  Json* place(Json&& v);
  std::string path() const;
  static std::string tooDeep(std::string_view text);

  std::string_view text_;      // the whole input, for line and column
  Json document_;              // the document read so far
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
  if (top.seen.insert(foldCase(key)).second) return true;
  error_ = path() + ": duplicate key (a name may be given once, in whatever letter case)";
  return false;
}

// The path of the value being read, as errors name fields.
std::string DocumentBuilder::path() const {
  std::string p;
  for (const Frame& f : frames_) {
    p = f.value->is_object() ? memberPath(p, f.key) : elementPath(p, f.value->size() - 1);
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

JsonRead readJson(std::string_view text) {
  JsonRead read;
  // The parser takes a NUL byte for the end of the input and would ignore
  // whatever follows; JSON text holds none.
  if (size_t nul = text.find('\0'); nul != text.npos) {
    read.error = at(text, nul) + "a NUL byte";
    return read;
  }
  DocumentBuilder builder(text);
  if (Json::sax_parse(text.begin(), text.end(), &builder)) {
    read.value = std::move(builder.document());
  } else {
    read.error = builder.error().empty() ? "invalid JSON" : builder.error();
  }
  return read;
}

}  // namespace velmoran::host

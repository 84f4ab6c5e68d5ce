// readJson: nlohmann's SAX parser with a handler that builds the document
// itself, so that it sees every key (the parser's own DOM builder keeps the
// last of two equal keys without a word) and stays linear in the input.

#include "host/json_reader.h"

#include <algorithm>
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

  std::string_view text_;      // the whole input, for line and column
  Json document_;              // the document read so far
  std::vector<Frame> frames_;  // open objects and arrays, outermost first
  std::string error_;          // why reading stopped
};

// Appends a value to the innermost open container (or makes it the document).
// Keys were checked already, so an object gets its member appended directly
// rather than looked up.
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
  size_t end = std::min(position > 0 ? position - 1 : 0, text_.size());
  size_t line = 1, column = 1;
  for (size_t i = 0; i < end; ++i) {
    column = text_[i] == '\n' ? 1 : column + 1;
    line += text_[i] == '\n';
  }
  error_ = "invalid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
           ": " + reason(e.what());
  return false;
}

}  // namespace

JsonRead readJson(std::string_view text) {
  DocumentBuilder builder(text);
  JsonRead read;
  if (Json::sax_parse(text.begin(), text.end(), &builder)) {
    read.value = std::move(builder.document());
  } else {
    read.error = builder.error().empty() ? "invalid JSON" : builder.error();
  }
  return read;
}

}  // namespace velmoran::host

// readJson: nlohmann's SAX parser, with the strict checks kept in JsonFrames
// by every handler (the parser's own DOM builder would keep the last of two
// equal keys without a word).

#include "host/json_reader.h"

#include <algorithm>

#include "host/field_names.h"

namespace velmoran::host {

bool JsonFrames::KeySet::insert(const std::string& folded) {
  if (!many_.empty()) return many_.insert(folded).second;
  if (std::find(few_.begin(), few_.end(), folded) != few_.end()) return false;
  few_.push_back(folded);
  if (few_.size() > kFew) many_.insert(few_.begin(), few_.end());
  return true;
}

Status JsonFrames::open(bool object) {
  if (depth_ >= kMaxJsonDepth) return Status::invalidInput(tooDeep());
  if (depth_ == frames_.size()) frames_.emplace_back();
  Frame& f = frames_[depth_++];
  f.object = object;
  f.elements = 0;
  if (object) f.seen.clear();
  return Status();
}

Status JsonFrames::key(const std::string& key) {
  Frame& top = frames_[depth_ - 1];
  top.key = key;
  top.folded = key;
  hostrt::rtFoldCase(top.folded.data(), top.folded.size(), top.folded.data());
  if (top.seen.insert(top.folded)) return Status();
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
      p = memberPath(p, i == 0 && !root.empty() ? root : std::string_view(f.key));
    }
  }
  return p;
}

std::string JsonFrames::at(size_t offset) const {
  size_t end = std::min(offset, text_.size());
  size_t line = 1, column = 1;
  for (size_t i = 0; i < end; ++i) {
    column = text_[i] == '\n' ? 1 : column + 1;
    line += text_[i] == '\n';
  }
  return "invalid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
         ": ";
}

// The error for the first object or array that opens one level too deep,
// found by a scan that skips strings.
std::string JsonFrames::tooDeep() const {
  size_t depth = 0, i = 0;
  for (bool inString = false; i < text_.size(); ++i) {
    char c = text_[i];
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
  return at(i) + "objects and arrays nested more than " + std::to_string(kMaxJsonDepth) +
         " levels deep";
}

namespace {

// The parser's message without its exception tag and its own position.
std::string reason(std::string what) {
  if (what.rfind("[json.exception.", 0) == 0) what.erase(0, what.find("] ") + 2);
  if (what.rfind("parse error", 0) == 0) what.erase(0, what.find(": ") + 2);
  return what;
}

}  // namespace

// "invalid JSON at line L, column C: reason", counting from 1.
bool JsonHandler::parse_error(size_t position, const std::string&, const Json::exception& e) {
  return stop(Status::invalidInput(frames_.at(position > 0 ? position - 1 : 0) + reason(e.what())));
}

Status readJson(std::string_view text, JsonHandler* handler) {
  // The parser takes a NUL byte for the end of the input and would ignore
  // whatever follows; JSON text holds none.
  if (size_t nul = text.find('\0'); nul != text.npos) {
    return Status::invalidInput(JsonFrames(text).at(nul) + "a NUL byte");
  }
  if (Json::sax_parse(text.begin(), text.end(), handler)) return Status();
  return handler->stopped().ok() ? Status::invalidInput("invalid JSON") : handler->stopped();
}

}  // namespace velmoran::host

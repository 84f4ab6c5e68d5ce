// Reads the JSON of an order file strictly. Besides malformed JSON, reported
// with its line and column, a key that an object holds twice, in the same or
// another letter case, is an error: the parser would otherwise keep one of
// the two values silently. So are objects and arrays nested more than
// kMaxJsonDepth deep, refused while parsing, and any byte after the document,
// a NUL byte included. Nothing in reading recurses or copies in proportion to
// the depth or size of the input.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace velmoran::host {

// Objects keep their keys in document order, so errors come in that order.
using Json = nlohmann::ordered_json;

struct JsonRead {
  Json value;
  std::string error;  // empty on success
};

// How deep objects and arrays may nest in an order file.
constexpr size_t kMaxJsonDepth = 100;

JsonRead readJson(std::string_view text);

}  // namespace velmoran::host

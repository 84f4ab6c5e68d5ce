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

#include "host/status.h"

namespace velmoran::host {

// Objects keep their keys in document order, so errors come in that order.
using Json = nlohmann::ordered_json;

// How deep objects and arrays may nest in an order file.
constexpr size_t kMaxJsonDepth = 100;


// Receives the positions of an order one by one while the document is read
// (the elements of "order"."orderPos" when that is an array), so that they
// never stand in the document together. The document holds an empty array
// in their place.
class PositionSink {
 public:
  virtual ~PositionSink() = default;
  // The array of positions begins; key: its key as the document spells it.
  virtual void begin(const std::string& key) = 0;
  // Element `index` (from 0) of the array, complete.
  virtual void position(size_t index, Json&& element) = 0;
};

// Reads the document into *out; sink: null to keep the positions in it.
Status readJson(std::string_view text, PositionSink* sink, Json* out);

}  // namespace velmoran::host

// Parsing ahead: a text longer than one chunk is parsed on a thread of its
// own, ahead of the handler. The parser's events are written into blocks of
// bytes, which the handler's thread reads back and gives to the handler in
// their order. Parsing and the handler's work (for an order, building its
// records) then run side by side, on two cores where there are two.
//
// The handler sees what it would see if it parsed itself: the same events,
// the same errors at the same places (the parser's thread words them, as it
// holds the text), and when it stops, the parser stops soon after. The rest
// of the source is then read on the parser's thread, as readJson reads it.
// A few blocks wait at most, so memory stays bounded whatever the text.
//
// Thread safety: the handler runs on the calling thread only; the parser's
// thread touches the input and the blocks, nothing of the handler's.
#pragma once

#include <optional>

#include "host/json_reader.h"

namespace velmoran::host {

class JsonInput;

// Whether a text of `size` bytes (0 when not known) read `chunkSize` bytes
// at a time is worth a thread: a text of a few chunks is parsed before the
// thread would have paid for itself, and on a single core the two threads
// would only take turns. The text must also fill its first chunk.
bool worthReadingAhead(uint64_t size, size_t chunkSize);

// readJson's work, with the parser on a thread of its own; nothing when no
// thread could be started (nothing is read then).
std::optional<Status> readAhead(JsonInput& input, JsonHandler* handler);

}  // namespace velmoran::host

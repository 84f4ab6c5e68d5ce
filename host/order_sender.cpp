// sendOrder: one send through the embedding API.

#include "host/order_sender.h"

#include "hostrt/embed.h"

namespace velmoran::host {

namespace embed = hostrt::embed;
using hostrt::Item;

ExitStatus exitStatusOf(const Status& status) {
  return status.code() == Status::Code::kRuntime ? kExitRuntimeError : kExitInputError;
}

SendOutcome sendOrder(const OrderRecords& records) {
  // The runtime converts file names and clipboard text from this code page.
  if (records.codePage != 0) embed::setCodePage(records.codePage);
  try {
    Item exporter = embed::newInstance(embed::callFunction("VELMORANORDER"));
    const uint64_t clipboardFailures = embed::clipboardFailures();
    Item result = embed::send(exporter, "send", {records.order, records.param});
    const bool clipboardFailed = embed::clipboardFailures() != clipboardFailures;
    // Read at once: the file functions' error of this thread's last call.
    Item error = embed::callFunction("FERROR");
    Item message = embed::send(exporter, "getResultMessage");
    std::string text(message.isString() ? message.str() : "");
    if (result.isNil()) return {kExitNoPositions, text};
    if (result.isLogical() && result.asLogical()) return {kExitWritten, text, 0, clipboardFailed};
    if (result.isLogical()) {
      return {kExitNotWritten, text, error.isInteger() ? int(error.asInteger()) : 0};
    }
    return {kExitRuntimeError, std::string("send returned a ") + result.kindName() +
                                   " instead of a logical value or nil"};
  } catch (const hostrt::RuntimeError& error) {
    return {kExitRuntimeError, error.what()};
  }
}

}  // namespace velmoran::host

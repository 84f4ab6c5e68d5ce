// Sends built records to a new exporter, as the application does, and turns
// the outcome into the command's exit status and its one line of output.
#pragma once

#include <string>

#include "host/order_json.h"
#include "host/status.h"

namespace velmoran::host {

// The command's exit statuses.
enum ExitStatus : int {
  kExitWritten = 0,       // send returned true: the order file was written
  kExitNotWritten = 1,    // send returned false: the file could not be written
  kExitInputError = 2,    // usage or input error; nothing was sent
  kExitNoPositions = 3,   // send returned nil: the order has no positions
  kExitRuntimeError = 4,  // a runtime error unwound out of the plug-in
  kExitOutputError = 5,   // standard output could not be written
};

struct SendOutcome {
  ExitStatus status;
  std::string text;     // the result message; for kExitRuntimeError the error
  int systemError = 0;  // kExitNotWritten: FERROR after the send, why the file was not written
  bool clipboardFailed = false;  // kExitWritten: the path did not get onto the clipboard
};

// Creates a VelmoranOrder, sends it the records and reads its result
// message. Runtime errors are caught and become kExitRuntimeError. The
// records' code page, when they have one, becomes the runtime's.
SendOutcome sendOrder(const OrderRecords& records);

// The exit status for an error of the host: kExitRuntimeError for a runtime
// error, kExitInputError for the others.
ExitStatus exitStatusOf(const Status& status);

}  // namespace velmoran::host

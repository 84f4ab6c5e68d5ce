// The command line of velmoran-send.
#pragma once

#include <cstdint>
#include <string>

#include "host/order_json.h"
#include "host/status.h"

namespace velmoran::host {

// The largest order file read unless --max-input-size says otherwise.
constexpr uint64_t kDefaultMaxInputSize = uint64_t(256) << 20;

enum class Command {
  kSend,     // options are complete: send the order
  kHelp,     // --help
  kVersion,  // --version
};

struct Options {
  Command command = Command::kSend;
  std::string input;       // the order file, "-" for standard input
  uint64_t maxInputSize = kDefaultMaxInputSize;  // bytes; larger input is an error
  std::string pluginPath;  // empty: found beside the executable
  OrderOptions order;      // export directory and code page
};

// Fills *options from the command line, or returns the usage error.
Status parseOptions(int argc, char** argv, Options* options);

// The text that --help prints.
std::string usageText();

}  // namespace velmoran::host

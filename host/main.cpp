// velmoran-send: sends an order, given as JSON, to the Velmoran plug-in the
// way the dealer application does, and reports the outcome by exit status.
//
// stdout gets the plug-in's result message (statuses 0, 1, 3); stderr gets
// one line for a usage or input error (2) or a runtime error (4). Input is
// checked completely before anything is sent.

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/options.h"
#include "host/order_json.h"
#include "host/order_sender.h"
#include "host/plugin_loader.h"
#include "hostrt/embed.h"

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

using namespace velmoran::host;

// One line on stderr; control characters from the input become blanks.
int fail(int status, std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  std::fprintf(stderr, "velmoran-send: %s\n", text.c_str());
  return status;
}

int succeed(int status, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  return status;
}

// Reads the whole file, or standard input for "-".
bool readInput(const std::string& name, std::string* text, std::string* error) {
  int fd = name == "-" ? STDIN_FILENO : open(name.c_str(), O_RDONLY | O_BINARY | O_CLOEXEC);
  const std::string shown = name == "-" ? "standard input" : name;
  if (fd < 0) {
    *error = "cannot read " + shown + ": " + std::strerror(errno);
    return false;
  }
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text->append(buf, size_t(n));
  }
  int readErrno = errno;
  if (fd != STDIN_FILENO) close(fd);
  if (n < 0) *error = "cannot read " + shown + ": " + std::strerror(readErrno);
  return n == 0;
}

int run(const Options& options) {
  std::string text, error;
  if (!readInput(options.input, &text, &error)) return fail(kExitInputError, error);
  std::string plugin = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  if (!loadPlugin(plugin, &error)) return fail(kExitInputError, error);
  hostrt::embed::setErrorHandler(
      [](const hostrt::ErrorObject&) { return hostrt::ErrorDecision::unwind(); });
  try {
    OrderBuild build = buildOrder(text, options.order);
    if (!build.ok()) return fail(kExitInputError, build.error);
    std::string().swap(text);  // the records hold all the order; the input may go
    SendOutcome outcome = sendOrder(build.records);
    if (outcome.status == kExitRuntimeError) return fail(outcome.status, outcome.text);
    return succeed(outcome.status, outcome.text);
  } catch (const hostrt::RuntimeError& e) {
    return fail(kExitRuntimeError, describe(e));
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  switch (parseOptions(argc, argv, &options, &error)) {
    case Command::kHelp: return std::fputs(usageText().c_str(), stdout), 0;
    case Command::kVersion: return succeed(0, "velmoran-send " VELMORAN_VERSION);
    case Command::kError: return fail(kExitInputError, error);
    case Command::kSend: break;
  }
  try {
    return run(options);
  } catch (const std::exception& e) {
    return fail(kExitRuntimeError, std::string("internal error: ") + e.what());
  }
}

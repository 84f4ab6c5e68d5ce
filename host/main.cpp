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

#include "host/console.h"
#include "host/options.h"
#include "host/order_json.h"
#include "host/order_sender.h"
#include "host/plugin_loader.h"
#include "hostrt/embed.h"

#if defined(_WIN32)
#include <vector>

#include "host/utf16_win32.h"
#endif

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

using namespace velmoran::host;

constexpr uint32_t kUtf8 = 65001;  // the host's own texts are UTF-8

// One line on stderr; control characters from the input become blanks.
void warn(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  writeText(stderr, "velmoran-send: " + text + "\n", kUtf8);
}

int fail(int status, std::string text) {
  warn(std::move(text));
  return status;
}

// The plug-in's message, in the application's code page.
int succeed(int status, const std::string& text) {
  writeText(stdout, text + "\n", hostrt::embed::codePage());
  return status;
}

// Opens the order file, named in UTF-8, for reading.
int openInput(const std::string& name) {
#if defined(_WIN32)
  std::wstring wide;
  if (!utf8ToUtf16(name, &wide)) {
    errno = EINVAL;
    return -1;
  }
  return _wopen(wide.c_str(), O_RDONLY | O_BINARY);
#else
  return open(name.c_str(), O_RDONLY | O_BINARY | O_CLOEXEC);
#endif
}

// Reads the whole file, or standard input for "-".
bool readInput(const std::string& name, std::string* text, std::string* error) {
  int fd = name == "-" ? STDIN_FILENO : openInput(name);
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
    SendOutcome outcome = sendOrder(build.records);
    if (outcome.status == kExitRuntimeError) return fail(outcome.status, outcome.text);
    if (outcome.status == kExitWritten && outcome.clipboardFailed) {
      warn("the order file is written, but the path is not on the clipboard: "
           "the clipboard could not be opened or did not take the text");
    }
    return succeed(outcome.status, outcome.text);
  } catch (const hostrt::RuntimeError& e) {
    return fail(kExitRuntimeError, describe(e));
  }
}

}  // namespace

static int velmoranSend(int argc, char** argv) {
  Options options;
  std::string error;
  switch (parseOptions(argc, argv, &options, &error)) {
    case Command::kHelp: return writeText(stdout, usageText(), kUtf8), 0;
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

#if defined(_WIN32)

// The arguments as the user typed them, in UTF-16, then UTF-8 like every
// other text of the host: the narrow arguments of main would be in the ANSI
// code page, with best-fit substitutes for what it lacks ("ł" as "l").
extern "C" int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args(size_t(argc > 0 ? argc : 0));
  std::vector<char*> argv;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!utf16ToUtf8(wargv[i], &args[i])) {
      return fail(kExitInputError, "argument " + std::to_string(i) + " is not valid Unicode");
    }
    argv.push_back(args[i].data());
  }
  argv.push_back(nullptr);
  return velmoranSend(argc, argv.data());
}

#else

int main(int argc, char** argv) { return velmoranSend(argc, argv); }

#endif

// velmoran-send: sends an order, given as JSON, to the Velmoran plug-in the
// way the dealer application does, and reports the outcome by exit status.
//
// stdout gets the plug-in's result message (statuses 0, 1, 3); stderr gets
// one line for a usage or input error (2) or a runtime error (4), the
// system's reason when the order file was not written (1), a warning when
// "lines" sends fewer positions than the order holds, a warning when the
// file is written but its path is not on the clipboard (0), and the reason
// when stdout itself cannot be written (5). Input is checked completely
// before anything is sent.

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/console.h"
#include "host/json_reader.h"
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
int fail(int status, std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  writeText(stderr, "velmoran-send: " + text + "\n", kUtf8);
  return status;
}

int fail(const Status& status) { return fail(exitStatusOf(status), status.toString()); }

// Standard output is flushed before the status is final: a failure to
// write it is an error of its own.
int finish(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  int error = errno;
  fail(0, std::string("cannot write standard output: ") + std::strerror(error));
  return kExitOutputError;
}

// The plug-in's message, in the application's code page.
int succeed(int status, const std::string& text) {
  writeText(stdout, text + "\n", hostrt::embed::codePage());
  return finish(status);
}

// The system's text for an error code that FERROR gave.
std::string systemReason(int code) {
  if (code == 0) return "no reason given by the system";
#if defined(_WIN32)
  wchar_t buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           DWORD(code), 0, buf, 512, nullptr);
  while (n > 0 && (buf[n - 1] == L'\n' || buf[n - 1] == L'\r' || buf[n - 1] == L'.')) --n;
  std::string reason;
  if (n > 0 && utf16ToUtf8(std::wstring_view(buf, n), &reason)) return reason;
  return "system error " + std::to_string(code);
#else
  return std::strerror(code);
#endif
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

// The order file, or standard input for "-", read a chunk at a time as the
// order is built. More than `limit` bytes is an input error, found when the
// reading passes the limit; a regular file larger than that is refused as
// it is opened, before anything is read.
class InputFile : public JsonSource {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() override {
    if (fd_ >= 0 && fd_ != STDIN_FILENO) close(fd_);
  }

  Status open(const std::string& name, uint64_t limit);
  Status read(char* buf, size_t size, size_t* got) override;
  uint64_t knownSize() const override { return size_; }

 private:
  Status tooLarge() const {
    return Status::invalidInput(shown_ + ": larger than " + std::to_string(limit_) +
                                " bytes (see --max-input-size)");
  }

  int fd_ = -1;
  std::string shown_;  // the name in messages
  uint64_t limit_ = 0;
  uint64_t total_ = 0;  // bytes read so far
  uint64_t size_ = 0;   // a regular file's size, else 0
};

Status InputFile::open(const std::string& name, uint64_t limit) {
  fd_ = name == "-" ? STDIN_FILENO : openInput(name);
  shown_ = name == "-" ? "standard input" : name;
  limit_ = limit;
  if (fd_ < 0) return Status::invalidInput("cannot read " + shown_ + ": " + std::strerror(errno));
  struct stat st {};
  if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = uint64_t(st.st_size);
  if (size_ > limit) return tooLarge();
  return Status();
}

Status InputFile::read(char* buf, size_t size, size_t* got) {
  ssize_t n;
  do {
    n = ::read(fd_, buf, unsigned(std::min<size_t>(size, INT_MAX)));
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Status::invalidInput("cannot read " + shown_ + ": " + std::strerror(errno));
  if (uint64_t(n) > limit_ - total_) return tooLarge();
  total_ += uint64_t(n);
  *got = size_t(n);
  return Status();
}

// The order's records, left to the system when the process ends: releasing
// a large order's positions one by one costs more than the rest of the
// ending (30 ms at a million positions) and gives back nothing that anything
// here would use again. Held here, they stay reachable to leak checkers.
OrderRecords* recordsLeftToTheSystem = nullptr;

int run(const Options& options) {
  InputFile input;
  Status s = input.open(options.input, options.maxInputSize);
  if (!s.ok()) return fail(s);
  std::string plugin = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  s = loadPlugin(plugin);
  if (!s.ok()) {
    Status read = skipJson(input);  // an unreadable order file is reported first
    return fail(read.ok() ? s : read);
  }
  hostrt::embed::setErrorHandler(
      [](const hostrt::ErrorObject&) { return hostrt::ErrorDecision::unwind(); });
  try {
    OrderRecords& records = *(recordsLeftToTheSystem = new OrderRecords);
    s = buildOrder(input, options.order, &records);
    if (!s.ok()) return fail(s);
    for (const std::string& warning : records.warnings) fail(0, warning);
    SendOutcome outcome = sendOrder(records);
    if (outcome.status == kExitRuntimeError) return fail(outcome.status, outcome.text);
    if (outcome.status == kExitNotWritten) {
      fail(0, "cannot write " + records.orderFile + ": " + systemReason(outcome.systemError));
    }
    if (outcome.status == kExitWritten && outcome.clipboardFailed) {
      fail(0, "the order file is written, but the path is not on the clipboard: "
              "the clipboard could not be opened or did not take the text");
    }
    return succeed(outcome.status, outcome.text);
  } catch (const hostrt::RuntimeError& e) {
    return fail(Status::runtime(e.what()));
  }
}

}  // namespace

static int velmoranSend(int argc, char** argv) {
  Options options;
  if (Status s = parseOptions(argc, argv, &options); !s.ok()) return fail(s);
  switch (options.command) {
    case Command::kHelp: return writeText(stdout, usageText(), kUtf8), finish(0);
    case Command::kVersion: return succeed(0, "velmoran-send " VELMORAN_VERSION);
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

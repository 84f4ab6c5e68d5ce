// The file functions on POSIX: FERASE, FCREATE, FWRITE, FCLOSE and FERROR.
//
// A handle is a number from a process-wide table, never a raw descriptor.
// Numbers count up from 1 and are never handed out twice, so a handle kept
// after FCLOSE cannot reach a file opened later. Each open file has its own
// mutex: a write and a close of the same handle on two threads do not
// interleave, and a descriptor is never written after it was closed (the
// system may have reused its number by then).
//
// Choices beyond what functions.h states:
//   - FCREATE's attribute: bit 0 (read-only) creates the file with mode 0444,
//     otherwise 0666, both less the umask. Other bits mean nothing here; nil
//     is the plain attribute 0.
//   - FWRITE's count is clamped to the text's length; a negative count is a
//     kErrorArgument error. An unknown handle writes nothing: 0, and FERROR
//     gives EBADF.
//   - A name holding a NUL byte names no file: the function fails with
//     EINVAL.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "function_args.h"
#include "hostrt/functions.h"

namespace hostrt {

namespace {

struct OpenFile {
  std::mutex mutex;  // held for each write and for the close
  int fd = -1;       // -1 once closed
};

struct HandleTable {
  std::mutex mutex;                                            // guards the members below
  std::unordered_map<int64_t, std::shared_ptr<OpenFile>> open; // handle -> file
  int64_t next = 1;                                            // the next handle to give out
};

HandleTable& handles() {
  static auto* table = new HandleTable;  // lives as long as the process
  return *table;
}

HOSTRT_THREAD_LOCAL int lastError = 0;  // FERROR of this thread

int64_t addHandle(int fd) {
  HandleTable& t = handles();
  std::lock_guard<std::mutex> lock(t.mutex);
  int64_t handle = t.next++;
  auto file = std::make_shared<OpenFile>();
  file->fd = fd;
  t.open.emplace(handle, std::move(file));
  return handle;
}

// The open file of a handle item, or null for a number that is no handle.
std::shared_ptr<OpenFile> findHandle(const Item& handle, bool remove) {
  double n = handle.asNumber();
  if (!(n >= 1 && n < 9e18) || n != std::floor(n)) return nullptr;
  int64_t key = handle.isInteger() ? handle.asInteger() : int64_t(n);
  HandleTable& t = handles();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.open.find(key);
  if (it == t.open.end()) return nullptr;
  std::shared_ptr<OpenFile> file = it->second;
  if (remove) t.open.erase(it);
  return file;
}

// The POSIX path of an application file name: every backslash becomes a
// slash. False when the name cannot be a path (it holds a NUL byte).
bool toPath(std::string_view name, std::string* path) {
  if (name.find('\0') != name.npos) return false;
  path->assign(name);
  for (char& c : *path) {
    if (c == '\\') c = '/';
  }
  return true;
}

// Writes all `size` bytes unless an error stops it; the count written.
// Sets lastError to 0 after a complete write, to errno otherwise.
size_t writeAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      lastError = n < 0 ? errno : EIO;
      return done;
    }
    done += size_t(n);
  }
  lastError = 0;
  return done;
}

}  // namespace

extern "C" void FERASE(Item* result, int argc, const Item* argv) {
  FunctionArgs args("FERASE", argc, argv, result);
  std::string_view name;
  if (!args.loaded() || !args.string(1, &name)) return;
  std::string path;
  if (!toPath(name, &path)) {
    lastError = EINVAL;
  } else {
    lastError = ::unlink(path.c_str()) == 0 ? 0 : errno;
  }
  *result = Item::integer(lastError == 0 ? 0 : -1);
}

extern "C" void FCREATE(Item* result, int argc, const Item* argv) {
  FunctionArgs args("FCREATE", argc, argv, result);
  std::string_view name;
  double attr = 0;
  if (!args.loaded() || !args.string(1, &name)) return;
  if (!args.at(2).isNil() && !args.number(2, &attr)) return;
  std::string path;
  if (!toPath(name, &path)) {
    lastError = EINVAL;
    *result = Item::integer(-1);
    return;
  }
  bool readOnly = attr >= 0 && attr < 8 && (int(attr) & 1);
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, readOnly ? 0444 : 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    lastError = errno;
    *result = Item::integer(-1);
    return;
  }
  lastError = 0;
  *result = Item::integer(addHandle(fd));
}

extern "C" void FWRITE(Item* result, int argc, const Item* argv) {
  FunctionArgs args("FWRITE", argc, argv, result);
  double handle = 0;
  std::string_view text;
  int64_t count = 0;
  if (!args.loaded() || !args.number(1, &handle) || !args.string(2, &text) ||
      !args.optionalCount(3, int64_t(text.size()), INT64_MAX, &count)) {
    return;
  }
  size_t size = std::min(size_t(count), text.size());
  std::shared_ptr<OpenFile> file = findHandle(args.at(1), false);
  size_t written = 0;
  if (!file) {
    lastError = EBADF;
  } else {
    std::lock_guard<std::mutex> lock(file->mutex);
    if (file->fd < 0) {
      lastError = EBADF;  // closed by another thread meanwhile
    } else {
      written = writeAll(file->fd, text.data(), size);
    }
  }
  *result = Item::integer(int64_t(written));
}

extern "C" void FCLOSE(Item* result, int argc, const Item* argv) {
  FunctionArgs args("FCLOSE", argc, argv, result);
  double handle = 0;
  if (!args.loaded() || !args.number(1, &handle)) return;
  std::shared_ptr<OpenFile> file = findHandle(args.at(1), true);
  if (!file) {
    lastError = EBADF;
    *result = Item::logical(false);
    return;
  }
  std::lock_guard<std::mutex> lock(file->mutex);
  // The descriptor is released even when close reports an error (EINTR
  // included), so it is never closed twice.
  lastError = ::close(file->fd) == 0 ? 0 : errno;
  file->fd = -1;
  *result = Item::logical(lastError == 0);
}

extern "C" void FERROR(Item* result, int, const Item*) { *result = Item::integer(lastError); }

}  // namespace hostrt

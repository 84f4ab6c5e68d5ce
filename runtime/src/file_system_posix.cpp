// File operations on POSIX.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "file_system.h"

namespace hostrt::fs {

const NativeFile kNoFile = -1;
const int kBadHandle = EBADF;

namespace {

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

}  // namespace

int erase(std::string_view name) {
  std::string path;
  if (!toPath(name, &path)) return EINVAL;
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int create(std::string_view name, int attributes, NativeFile* file) {
  std::string path;
  if (!toPath(name, &path)) return EINVAL;
  mode_t mode = (attributes & 1) ? 0444 : 0666;
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  *file = fd;
  return 0;
}

int writeAll(NativeFile file, const char* data, size_t size, size_t* written) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(int(file), data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *written = done;
      return n < 0 ? errno : EIO;
    }
    done += size_t(n);
  }
  *written = done;
  return 0;
}

int close(NativeFile file) {
  // Never retried: after EINTR the descriptor is already released.
  return ::close(int(file)) == 0 ? 0 : errno;
}

}  // namespace hostrt::fs

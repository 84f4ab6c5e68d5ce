// File operations on POSIX.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "file_system.h"

namespace hostrt::fs {

const NativeFile kNoFile = -1;
const int kBadHandle = EBADF;
const int kExists = EEXIST;

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

int openFile(std::string_view name, int flags, mode_t mode, NativeFile* file) {
  std::string path;
  if (!toPath(name, &path)) return EINVAL;
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  *file = fd;
  return 0;
}

// The directory part of a path: "." when it has none.
std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int erase(std::string_view name) {
  std::string path;
  if (!toPath(name, &path)) return EINVAL;
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int create(std::string_view name, int attributes, NativeFile* file) {
  mode_t mode = (attributes & 1) ? 0444 : 0666;
  return openFile(name, O_WRONLY | O_CREAT | O_TRUNC, mode, file);
}

int createNew(std::string_view name, NativeFile* file) {
  return openFile(name, O_WRONLY | O_CREAT | O_EXCL, 0666, file);
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

int flush(NativeFile file) {
  int r;
  do {
    r = ::fsync(int(file));
  } while (r < 0 && errno == EINTR);
  return r == 0 ? 0 : errno;
}

// rename() replaces the target in one step. The directory is synced after it
// so that the new name survives a crash. Once renamed, the file is in place
// and complete, so a directory that cannot be synced is no failure.
int replace(std::string_view from, std::string_view to) {
  std::string source, target;
  if (!toPath(from, &source) || !toPath(to, &target)) return EINVAL;
  if (::rename(source.c_str(), target.c_str()) != 0) return errno;
  NativeFile dir = kNoFile;
  if (openFile(directoryOf(target), O_RDONLY | O_DIRECTORY, 0, &dir) == 0) {
    (void)flush(dir);
    ::close(int(dir));
  }
  return 0;
}

unsigned long processId() { return (unsigned long)(::getpid()); }

}  // namespace hostrt::fs

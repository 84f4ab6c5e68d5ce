// File operations on Windows. Names go to the system as they are, in the
// application's ANSI code page; files are written as bytes.

#include <windows.h>

#include <algorithm>
#include <string>

#include "file_system.h"

namespace hostrt::fs {

const NativeFile kNoFile = reinterpret_cast<NativeFile>(INVALID_HANDLE_VALUE);
const int kBadHandle = ERROR_INVALID_HANDLE;
const int kExists = ERROR_FILE_EXISTS;

namespace {

HANDLE native(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

bool toPath(std::string_view name, std::string* path) {
  if (name.find('\0') != name.npos) return false;
  path->assign(name);
  return true;
}

}  // namespace

int erase(std::string_view name) {
  std::string path;
  if (!toPath(name, &path)) return ERROR_INVALID_NAME;
  return ::DeleteFileA(path.c_str()) ? 0 : int(::GetLastError());
}

int create(std::string_view name, int attributes, NativeFile* file) {
  std::string path;
  if (!toPath(name, &path)) return ERROR_INVALID_NAME;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (attributes & 7) {
    flags = ((attributes & 1) ? FILE_ATTRIBUTE_READONLY : 0) |
            ((attributes & 2) ? FILE_ATTRIBUTE_HIDDEN : 0) |
            ((attributes & 4) ? FILE_ATTRIBUTE_SYSTEM : 0);
  }
  // Not inherited by child processes, like O_CLOEXEC on POSIX.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return int(::GetLastError());
  *file = reinterpret_cast<NativeFile>(h);
  return 0;
}

int createNew(std::string_view name, NativeFile* file) {
  std::string path;
  if (!toPath(name, &path)) return ERROR_INVALID_NAME;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return int(::GetLastError());
  *file = reinterpret_cast<NativeFile>(h);
  return 0;
}

int writeAll(NativeFile file, const char* data, size_t size, size_t* written) {
  size_t done = 0;
  while (done < size) {
    DWORD chunk = DWORD(std::min<size_t>(size - done, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(native(file), data + done, chunk, &n, nullptr)) {
      *written = done + n;
      return int(::GetLastError());
    }
    if (n == 0) {
      *written = done;
      return ERROR_WRITE_FAULT;
    }
    done += n;
  }
  *written = done;
  return 0;
}

int close(NativeFile file) { return ::CloseHandle(native(file)) ? 0 : int(::GetLastError()); }

int flush(NativeFile file) {
  return ::FlushFileBuffers(native(file)) ? 0 : int(::GetLastError());
}

// MoveFileEx replaces the target in one step; write-through returns only
// once the move is on the disk.
int replace(std::string_view from, std::string_view to) {
  std::string source, target;
  if (!toPath(from, &source) || !toPath(to, &target)) return ERROR_INVALID_NAME;
  if (::MoveFileExA(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return int(::GetLastError());
}

unsigned long processId() { return ::GetCurrentProcessId(); }

}  // namespace hostrt::fs

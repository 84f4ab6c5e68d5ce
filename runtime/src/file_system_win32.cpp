// File operations on Windows. Names are converted from the application's
// code page to UTF-16 and go to the wide functions, so that a name means the
// same file whatever the system's ANSI code page is; files are written as
// bytes.

#include <windows.h>

#include <algorithm>
#include <string>

#include "file_system.h"
#include "text_encoding.h"

namespace hostrt::fs {

const NativeFile kNoFile = reinterpret_cast<NativeFile>(INVALID_HANDLE_VALUE);
const int kBadHandle = ERROR_INVALID_HANDLE;
const int kExists = ERROR_FILE_EXISTS;

namespace {

HANDLE native(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

// A path from MAX_PATH characters on is handed over in its extended form
// ("\\?\C:\...", "\\?\UNC\server\share\..."), which the system takes up to
// 32767 characters long. That form is used as it stands, so the path is made
// full and normal first. Shorter paths go as they are.
int extendLongPath(std::wstring* path) {
  if (path->size() < MAX_PATH) return 0;
  if (path->rfind(L"\\\\?\\", 0) == 0 || path->rfind(L"\\\\.\\", 0) == 0) return 0;  // already a system form
  DWORD size = ::GetFullPathNameW(path->c_str(), 0, nullptr, nullptr);
  if (size == 0) return int(::GetLastError());
  std::wstring full(size, L'\0');
  size = ::GetFullPathNameW(path->c_str(), DWORD(full.size()), full.data(), nullptr);
  if (size == 0 || size >= full.size()) return ERROR_FILENAME_EXCED_RANGE;
  full.resize(size);
  if (full.rfind(L"\\\\", 0) == 0) {
    *path = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    *path = L"\\\\?\\" + full;
  }
  return 0;
}

// The name as the wide functions take it, or the error that it names no file.
int toPath(std::string_view name, std::wstring* path) {
  if (name.find('\0') != name.npos) return ERROR_INVALID_NAME;
  if (!toUtf16(name, path)) return ERROR_NO_UNICODE_TRANSLATION;
  return extendLongPath(path);
}

// Runs a file operation again while another process holds the file for a
// moment: a second sender that is deleting or replacing the same order file
// makes it refuse access until its own step is done. Gives up after about a
// second with the last error.
template <class Operation>
int whileBusy(Operation operation) {
  int error = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    error = operation() ? 0 : int(::GetLastError());
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return error;
    ::Sleep(10);
  }
  return error;
}

}  // namespace

int erase(std::string_view name) {
  std::wstring path;
  if (int error = toPath(name, &path)) return error;
  return whileBusy([&] { return ::DeleteFileW(path.c_str()); });
}

int create(std::string_view name, int attributes, NativeFile* file) {
  std::wstring path;
  if (int error = toPath(name, &path)) return error;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (attributes & 7) {
    flags = ((attributes & 1) ? FILE_ATTRIBUTE_READONLY : 0) |
            ((attributes & 2) ? FILE_ATTRIBUTE_HIDDEN : 0) |
            ((attributes & 4) ? FILE_ATTRIBUTE_SYSTEM : 0);
  }
  // Not inherited by child processes, like O_CLOEXEC on POSIX.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return int(::GetLastError());
  *file = reinterpret_cast<NativeFile>(h);
  return 0;
}

int createNew(std::string_view name, NativeFile* file) {
  std::wstring path;
  if (int error = toPath(name, &path)) return error;
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
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
  std::wstring source, target;
  if (int error = toPath(from, &source)) return error;
  if (int error = toPath(to, &target)) return error;
  return whileBusy([&] {
    return ::MoveFileExW(source.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  });
}

unsigned long processId() { return ::GetCurrentProcessId(); }

}  // namespace hostrt::fs

// The file functions on Windows: FERASE, FCREATE, FWRITE, FCLOSE and FERROR.
//
// A handle is a number from a process-wide table, never a raw Win32 HANDLE.
// Numbers count up from 1 and are never handed out twice, so a handle kept
// after FCLOSE cannot reach a file opened later. Each open file has its own
// mutex: a write and a close of the same handle on two threads do not
// interleave, and a HANDLE is never written after it was closed.
//
// Names are the application's paths in its ANSI code page and go to the
// system as they are (backslashes and slashes alike). Files are written as
// bytes: no line-end translation, nothing added.
//
// FERROR reports the Win32 error code (GetLastError) of the last file
// function on this thread, 0 after success.
//
// Choices beyond what functions.h states:
//   - FCREATE's attribute: bits 0, 1 and 2 are the read-only, hidden and
//     system attributes of the new file; other bits mean nothing here; nil is
//     the plain attribute 0.
//   - FWRITE's count is clamped to the text's length; a negative count is a
//     kErrorArgument error. An unknown handle writes nothing: 0, and FERROR
//     gives ERROR_INVALID_HANDLE.
//   - A name holding a NUL byte names no file: the function fails with
//     ERROR_INVALID_NAME.

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "function_args.h"
#include "hostrt/functions.h"

namespace hostrt {

namespace {

struct OpenFile {
  std::mutex mutex;                      // held for each write and for the close
  HANDLE file = INVALID_HANDLE_VALUE;    // INVALID_HANDLE_VALUE once closed
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

thread_local DWORD lastError = 0;  // FERROR of this thread

int64_t addHandle(HANDLE file) {
  HandleTable& t = handles();
  std::lock_guard<std::mutex> lock(t.mutex);
  int64_t handle = t.next++;
  auto entry = std::make_shared<OpenFile>();
  entry->file = file;
  t.open.emplace(handle, std::move(entry));
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

// The name as a NUL-terminated path. False when it cannot be one (it holds a
// NUL byte).
bool toPath(std::string_view name, std::string* path) {
  if (name.find('\0') != name.npos) return false;
  path->assign(name);
  return true;
}

// Writes all `size` bytes unless an error stops it; the count written.
// Sets lastError to 0 after a complete write, to the system's error otherwise.
size_t writeAll(HANDLE file, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    DWORD chunk = DWORD(std::min<size_t>(size - done, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(file, data + done, chunk, &n, nullptr)) {
      lastError = ::GetLastError();
      return done + n;
    }
    if (n == 0) {
      lastError = ERROR_WRITE_FAULT;
      return done;
    }
    done += n;
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
    lastError = ERROR_INVALID_NAME;
  } else {
    lastError = ::DeleteFileA(path.c_str()) ? 0 : ::GetLastError();
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
    lastError = ERROR_INVALID_NAME;
    *result = Item::integer(-1);
    return;
  }
  int bits = attr >= 0 && attr < 8 ? int(attr) : 0;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  if (bits != 0) {
    attributes = ((bits & 1) ? FILE_ATTRIBUTE_READONLY : 0) |
                 ((bits & 2) ? FILE_ATTRIBUTE_HIDDEN : 0) |
                 ((bits & 4) ? FILE_ATTRIBUTE_SYSTEM : 0);
  }
  // Not inherited by child processes, like O_CLOEXEC on POSIX.
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    lastError = ::GetLastError();
    *result = Item::integer(-1);
    return;
  }
  lastError = 0;
  *result = Item::integer(addHandle(file));
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
  size_t size = std::min<uint64_t>(uint64_t(count), text.size());
  std::shared_ptr<OpenFile> file = findHandle(args.at(1), false);
  size_t written = 0;
  if (!file) {
    lastError = ERROR_INVALID_HANDLE;
  } else {
    std::lock_guard<std::mutex> lock(file->mutex);
    if (file->file == INVALID_HANDLE_VALUE) {
      lastError = ERROR_INVALID_HANDLE;  // closed by another thread meanwhile
    } else {
      written = writeAll(file->file, text.data(), size);
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
    lastError = ERROR_INVALID_HANDLE;
    *result = Item::logical(false);
    return;
  }
  std::lock_guard<std::mutex> lock(file->mutex);
  lastError = ::CloseHandle(file->file) ? 0 : ::GetLastError();
  file->file = INVALID_HANDLE_VALUE;
  *result = Item::logical(lastError == 0);
}

extern "C" void FERROR(Item* result, int, const Item*) {
  *result = Item::integer(int64_t(lastError));
}

}  // namespace hostrt

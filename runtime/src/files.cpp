// The file functions: FERASE, FCREATE, FCREATETEMP, FWRITE, FCOMMIT, FCLOSE
// and FERROR, over the platform's file operations (file_system.h).
//
// A handle is a number from a process-wide table, never a raw descriptor or
// HANDLE. Numbers count up from 1 and are never handed out twice, so a handle
// kept after FCLOSE cannot reach a file opened later. Each open file has its
// own mutex: a write and a close of the same handle on two threads do not
// interleave, and a file is never written after it was closed (the system
// may have reused its descriptor by then).
//
// FERROR reports the system's error code (errno, or GetLastError on Windows)
// of this thread's last file function, 0 after success.
//
// Choices beyond what functions.h states:
//   - FCREATE's attribute: bit 0 read-only (mode 0444 on POSIX), bits 1 and
//     2 hidden and system where the platform has them; other bits mean
//     nothing; nil is the plain attribute 0.
//   - FWRITE's count is clamped to the text's length; a negative count is a
//     kErrorArgument error. An unknown handle writes nothing: 0, and FERROR
//     gives the platform's bad-handle error.
//   - A name holding a NUL byte names no file: the function fails.
//   - A temporary file (FCREATETEMP) remembers the first failed write to it;
//     FCOMMIT then puts nothing in place. Until FCOMMIT puts it in place it
//     is removed when it is closed or cannot be put in place, so only a
//     process killed in between leaves one behind (NAME.<pid>.<n>.tmp).

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "file_system.h"
#include "function_args.h"
#include "hostrt/functions.h"
#include "error_internal.h"
#include "item_storage.h"

namespace hostrt {

namespace {

struct OpenFile {
  std::mutex mutex;                  // held for each write and for the close
  fs::NativeFile file = fs::kNoFile; // kNoFile once closed
  std::string tempName;              // a temporary file's own name, else empty
  std::string target;                // the name FCOMMIT gives a temporary file
  int writeError = 0;                // the first failed write's error
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

int64_t addHandle(std::shared_ptr<OpenFile> file) {
  HandleTable& t = handles();
  std::lock_guard<std::mutex> lock(t.mutex);
  int64_t handle = t.next++;
  t.open.emplace(handle, std::move(file));
  return handle;
}

int64_t addHandle(fs::NativeFile native) {
  auto file = std::make_shared<OpenFile>();
  file->file = native;
  return addHandle(std::move(file));
}

// Closes an open file; a temporary one is removed. The close's error.
int closeFile(OpenFile& file) {
  int error = fs::close(file.file);
  file.file = fs::kNoFile;
  if (!file.tempName.empty()) (void)fs::erase(file.tempName);
  return error;
}

// Flushes a temporary file, closes it and renames it over its target; the
// first error. The file is removed when it could not be put in place.
int commitFile(OpenFile& file) {
  int error = file.writeError;
  if (error == 0) error = fs::flush(file.file);
  int closed = fs::close(file.file);
  file.file = fs::kNoFile;
  if (error == 0) error = closed;
  if (error == 0) error = fs::replace(file.tempName, file.target);
  if (error != 0) (void)fs::erase(file.tempName);
  return error;
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

}  // namespace

extern "C" void FERASE(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("FERASE", argc, argv, result);
    std::string_view name;
    if (!args.loaded() || !args.string(1, &name)) return;
    lastError = fs::erase(name);
    *result = Item::integer(lastError == 0 ? 0 : -1);
  });
}

extern "C" void FCREATE(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("FCREATE", argc, argv, result);
    std::string_view name;
    double attr = 0;
    if (!args.loaded() || !args.string(1, &name)) return;
    if (!args.at(2).isNil() && !args.number(2, &attr)) return;
    int attributes = attr >= 0 && attr < 8 ? int(attr) : 0;
    fs::NativeFile file = fs::kNoFile;
    lastError = fs::create(name, attributes, &file);
    *result = Item::integer(lastError == 0 ? addHandle(file) : -1);
  });
}

extern "C" void FCREATETEMP(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    FunctionArgs args("FCREATETEMP", argc, argv, result);
    std::string_view name;
    if (!args.loaded() || !args.string(1, &name)) return;
    static std::atomic<uint64_t> counter{0};
    const std::string prefix = std::string(name) + "." + std::to_string(fs::processId()) + ".";
    auto file = std::make_shared<OpenFile>();
    int error = fs::kExists;
    // A name left by a killed process with the same number is skipped.
    for (int attempt = 0; attempt < 100 && error == fs::kExists; ++attempt) {
      file->tempName = prefix + std::to_string(++counter) + ".tmp";
      error = fs::createNew(file->tempName, &file->file);
    }
    lastError = error;
    if (error != 0) {
      *result = Item::integer(-1);
      return;
    }
    file->target.assign(name);
    *result = Item::integer(addHandle(std::move(file)));
  });
}

extern "C" void FWRITE(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
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
      lastError = fs::kBadHandle;
    } else {
      std::lock_guard<std::mutex> lock(file->mutex);
      if (file->file == fs::kNoFile) {
        lastError = fs::kBadHandle;  // closed by another thread meanwhile
      } else {
        lastError = fs::writeAll(file->file, text.data(), size, &written);
        if (file->writeError == 0) file->writeError = lastError;
      }
    }
    *result = Item::integer(int64_t(written));
  });
}


namespace {

// The ending functions FCLOSE and FCOMMIT: the handle leaves the table, then
// `finish` closes the file under its lock and gives the error code that
// FERROR reports. The result is true when that code is 0.
template <typename Finish>
void endFile(const char* function, Item* result, int argc, const Item* argv, Finish finish) {
  FunctionArgs args(function, argc, argv, result);
  double handle = 0;
  if (!args.loaded() || !args.number(1, &handle)) return;
  std::shared_ptr<OpenFile> file = findHandle(args.at(1), true);
  if (!file) {
    lastError = fs::kBadHandle;
  } else {
    std::lock_guard<std::mutex> lock(file->mutex);
    lastError = finish(*file);
  }
  *result = Item::logical(lastError == 0);
}

}  // namespace

extern "C" void FCLOSE(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    endFile("FCLOSE", result, argc, argv, closeFile);
  });
}

extern "C" void FCOMMIT(Item* result, int argc, const Item* argv) {
  atBoundary([&] {
    endFile("FCOMMIT", result, argc, argv, [](OpenFile& file) {
      if (!file.tempName.empty()) return commitFile(file);
      int flushed = fs::flush(file.file);
      int closed = closeFile(file);
      return flushed != 0 ? flushed : closed;
    });
  });
}

extern "C" void FERROR(Item* result, int, const Item*) {
  atBoundary([&] {
    *result = Item::integer(lastError);
  });
}

}  // namespace hostrt

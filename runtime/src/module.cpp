// Module registration: walking a library's module record.

#include "hostrt/module.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "hostrt/embed.h"
#include "hostrt/error.h"
#include "object_internal.h"
#include "error_internal.h"
#include "item_storage.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <link.h>
#endif

namespace hostrt {

namespace {

struct Modules {
  std::mutex mutex;
  std::vector<const ModuleRecord*> inserted;  // records between insert and remove
};

Modules& modules() {
  static auto* m = new Modules;  // lives as long as the process
  return *m;
}

uintptr_t readAddress(uintptr_t at) {
  uintptr_t value;
  std::memcpy(&value, reinterpret_cast<const void*>(at), sizeof value);
  return value;
}

uint32_t readWord(uintptr_t at) {
  uint32_t value;
  std::memcpy(&value, reinterpret_cast<const void*>(at), sizeof value);
  return value;
}

struct TableEntry {
  const char* name;  // public name
  RtFunction fn;     // class function
};

// The entries of the public function table between words 7 and 8.
std::vector<TableEntry> tableEntries(const ModuleRecord& record) {
  std::vector<TableEntry> entries;
  uintptr_t at = record.words[6], end = record.words[7];
  const uintptr_t header = 4 + sizeof(uintptr_t) + 4 + 4;
  while (at + header < end) {
    uint32_t size = readWord(at);
    if (size <= header || at + size > end) break;
    auto fn = reinterpret_cast<RtFunction>(readAddress(at + 4));
    entries.push_back({reinterpret_cast<const char*>(at + header), fn});
    at += size;
  }
  return entries;
}

void callLoadHandler(const ModuleRecord& record) {
  uintptr_t start = record.words[2], end = record.words[3];
  if (end < start + sizeof(uintptr_t)) return;
  if (uintptr_t handler = readAddress(start)) {
    {
      ForeignCall call;
      reinterpret_cast<LoadHandler>(handler)(0);
    }
    checkUnwind();
  }
}

// The addresses [first, last) of the module's image, read from the headers the
// loader mapped at the module handle (its load base). Reading them takes no
// loader lock, so this is safe inside the loader's own unload call.
struct ImageRange {
  uintptr_t first = 0, last = 0;
  bool holds(RtFunction fn) const {
    auto at = reinterpret_cast<uintptr_t>(fn);
    return at >= first && at < last;
  }
};

#if defined(_WIN32)
ImageRange imageOf(uintptr_t handle) {
  if (!handle) return {};
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(handle);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return {};
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(handle + uintptr_t(dos->e_lfanew));
  if (nt->Signature != IMAGE_NT_SIGNATURE) return {};
  return {handle, handle + nt->OptionalHeader.SizeOfImage};
}
#else
ImageRange imageOf(uintptr_t handle) {
  if (!handle) return {};
  auto* header = reinterpret_cast<const ElfW(Ehdr)*>(handle);
  if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0) return {};
  auto* segments = reinterpret_cast<const ElfW(Phdr)*>(handle + header->e_phoff);
  ImageRange range{UINTPTR_MAX, 0};
  for (int i = 0; i < header->e_phnum; ++i) {
    if (segments[i].p_type != PT_LOAD) continue;
    range.first = std::min<uintptr_t>(range.first, handle + segments[i].p_vaddr);
    range.last = std::max<uintptr_t>(range.last, handle + segments[i].p_vaddr + segments[i].p_memsz);
  }
  return range.last ? range : ImageRange{};
}
#endif

}  // namespace

extern "C" int rtRequireVersion_2_00() {
  return atBoundary([&]() -> int {
    return 0x0200;
  });
}

extern "C" int rtModuleInsert(const ModuleRecord* record) {
  return atBoundary([&]() -> int {
    Modules& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (std::find(m.inserted.begin(), m.inserted.end(), record) != m.inserted.end()) return 1;
    callLoadHandler(*record);
    for (const TableEntry& e : tableEntries(*record)) rtRegisterFunction(e.name, e.fn);
    m.inserted.push_back(record);
    return 1;
  });
}

extern "C" int rtModuleRemove(const ModuleRecord* record) {
  return atBoundary([&]() -> int {
    Modules& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    auto it = std::find(m.inserted.begin(), m.inserted.end(), record);
    if (it == m.inserted.end()) return 0;
    for (const TableEntry& e : tableEntries(*record)) rtUnregisterFunction(e.name, e.fn);
    // The module's code may be unmapped next: its classes go with it, so that a
    // later load builds them afresh and old instances cannot run code that is gone.
    ImageRange image = imageOf(record->words[9]);
    withdrawClasses([image](RtFunction fn) { return image.holds(fn); });
    m.inserted.erase(it);
    return 1;
  });
}

extern "C" int rtModuleCount() {
  return atBoundary([&]() -> int {
    Modules& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    return int(m.inserted.size());
  });
}

}  // namespace hostrt

namespace hostrt {
extern "C" const ModuleRecord* rtModuleAt(int index) {
  return atBoundary([&]() -> const ModuleRecord* {
    Modules& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    return index >= 0 && size_t(index) < m.inserted.size() ? m.inserted[size_t(index)] : nullptr;
  });
}
}  // namespace hostrt

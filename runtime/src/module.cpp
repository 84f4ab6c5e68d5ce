// Module registration: walking a library's module record.

#include "hostrt/module.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "hostrt/embed.h"
#include "hostrt/error.h"

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
  if (uintptr_t handler = readAddress(start)) reinterpret_cast<LoadHandler>(handler)(0);
}

}  // namespace

extern "C" int rtRequireVersion_2_00() { return 0x0200; }

extern "C" int rtModuleInsert(const ModuleRecord* record) {
  Modules& m = modules();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (std::find(m.inserted.begin(), m.inserted.end(), record) != m.inserted.end()) return 1;
  callLoadHandler(*record);
  for (const TableEntry& e : tableEntries(*record)) rtRegisterFunction(e.name, e.fn);
  m.inserted.push_back(record);
  return 1;
}

extern "C" int rtModuleRemove(const ModuleRecord* record) {
  Modules& m = modules();
  std::lock_guard<std::mutex> lock(m.mutex);
  auto it = std::find(m.inserted.begin(), m.inserted.end(), record);
  if (it == m.inserted.end()) return 0;
  for (const TableEntry& e : tableEntries(*record)) rtUnregisterFunction(e.name, e.fn);
  m.inserted.erase(it);
  return 1;
}

extern "C" int rtModuleCount() {
  Modules& m = modules();
  std::lock_guard<std::mutex> lock(m.mutex);
  return int(m.inserted.size());
}

}  // namespace hostrt

namespace hostrt {
extern "C" const ModuleRecord* rtModuleAt(int index) {
  Modules& m = modules();
  std::lock_guard<std::mutex> lock(m.mutex);
  return index >= 0 && size_t(index) < m.inserted.size() ? m.inserted[size_t(index)] : nullptr;
}
}  // namespace hostrt

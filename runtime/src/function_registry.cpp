// The public function registry: plug-ins' class functions and the runtime's
// own functions, by public name, and calling them by name.

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "error_internal.h"
#include "hostrt/error.h"
#include "hostrt/hostrt.h"
#include "hostrt/object.h"

namespace hostrt {

namespace {

struct FunctionTable {
  std::mutex mutex;
  std::unordered_map<uint32_t, RtFunction> byName;  // symbol of the public name -> function
};

void registerRuntimeFunctions(FunctionTable& table) {
  const std::pair<const char*, RtFunction> builtins[] = {
      {"PADR", PADR},     {"STRZERO", STRZERO}, {"STRTRAN", STRTRAN}, {"LEN", LEN},
      {"EMPTY", EMPTY},   {"CHR", CHR},         {"ACREATE", ACREATE}, {"FERASE", FERASE},
      {"FCREATE", FCREATE}, {"FWRITE", FWRITE}, {"FCLOSE", FCLOSE},   {"FERROR", FERROR},
      {"FCREATETEMP", FCREATETEMP}, {"FCOMMIT", FCOMMIT},
      {"SYSCLIPBOARD", SYSCLIPBOARD},
  };
  for (const auto& [name, fn] : builtins) table.byName[internName(name)] = fn;
}

FunctionTable& functions() {
  static FunctionTable* table = [] {
    auto* t = new FunctionTable;  // lives as long as the process
    registerRuntimeFunctions(*t);
    return t;
  }();
  return *table;
}

}  // namespace

extern "C" void rtRegisterFunction(const char* publicName, RtFunction fn) {
  atBoundary([&] {
    FunctionTable& table = functions();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.byName[internName(publicName)] = fn;
  });
}

extern "C" void rtUnregisterFunction(const char* publicName, RtFunction fn) {
  atBoundary([&] {
    FunctionTable& table = functions();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.byName.find(internName(publicName));
    if (it != table.byName.end() && it->second == fn) table.byName.erase(it);
  });
}

extern "C" RtFunction rtFindFunction(const char* publicName) {
  return atBoundary([&]() -> RtFunction {
    FunctionTable& table = functions();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.byName.find(internName(publicName));
    return it == table.byName.end() ? nullptr : it->second;
  });
}

extern "C" void rtCallFunction(Item* result, const char* publicName, int argc,
                               const Item* argv) {
  atBoundary([&] {
    RtFunction fn = rtFindFunction(publicName);
    if (!fn) {
      *result = raiseError(kErrorNoFunction, std::string("no public function ") + publicName,
                           std::string("call ") + publicName);
      return;
    }
    Item out;
    {
      ForeignCall call;
      fn(&out, argc, argv);
    }
    checkUnwind();
    *result = std::move(out);
  });
}

}  // namespace hostrt

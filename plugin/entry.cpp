// The library's frame: its public section, module record, load handler and
// entry point.
//
// When the library is loaded, the entry point is called with reason 1: it
// calls the runtime's version marker, fills the module record so that it
// points into the public section, and hands it to rtModuleInsert. The runtime
// then calls the load handler, which gives every literal item its operation
// table, and registers the class functions of the table under their public
// names. At unload (reason 0) the entry point withdraws the record and does
// nothing else; on Windows, not when the process is exiting. The loader calls
// the entry point under its own lock, so it calls nothing but the three
// module operations.
//
// On Windows the loader calls DllMain; on other systems a load-time
// constructor and an unload-time destructor call the same entry function, with
// the library's load base as its module handle.

#include "plugin/entry.h"

#include "exporter/literals.h"
#include "plugin/public_section.h"
#include "hostrt/module.h"
#include "plugin/class_functions.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace velmoran {

namespace {

int loadHandler(uint32_t) {
  lit::loadExporterLiterals();
  return 1;
}

using Section = PublicSection<hostrt::LoadHandler, hostrt::RtFunction>;

// The functions of the class function table, in its order.
constexpr auto kFunctions = [] {
  PublicFunctions<hostrt::RtFunction> functions{};
  for (size_t i = 0; i < kClassFunctionCount; ++i) functions[i] = kClassFunctions[i].function;
  return functions;
}();

// The public section itself. Its address fields are absolute, so the loader
// relocates them when the library lands at another base. Aligned to 4, not
// the compiler's default for large objects, so the section is exactly its size.
__attribute__((section(".hostpub"), used, aligned(4))) constinit Section publicSection =
    makePublicSection(&loadHandler, kFunctions);

// Zero until the library is attached.
hostrt::ModuleRecord moduleRecord = {};

}  // namespace

}  // namespace velmoran

// Nothing throws out of the entry point: the loader that calls it cannot
// take an exception. An attach that fails reports 0, and the load fails.
extern "C" int velmoranEntry(void* moduleHandle, uint32_t reason, void*) {
  using namespace velmoran;
  try {
    switch (reason) {
      case kReasonAttach:
        hostrt::rtRequireVersion_2_00();
        fillModuleRecord<uintptr_t, Section>(moduleRecord.words,
                                             reinterpret_cast<uintptr_t>(&publicSection),
                                             reinterpret_cast<uintptr_t>(moduleHandle));
        hostrt::rtModuleInsert(&moduleRecord);
        return 1;
      case kReasonDetach:
        hostrt::rtModuleRemove(&moduleRecord);
        return 1;
      default:
        return 0;
    }
  } catch (...) {
    return 0;
  }
}

#if defined(_WIN32)

// A detach with a non-null `reserved` comes at process exit. The other
// threads are gone by then, perhaps in the middle of a runtime call holding
// one of its locks, and the process ends anyway: nothing is withdrawn. Thread
// attach and detach (the library never asks to be spared them) change nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) return TRUE;
  if (reason != DLL_PROCESS_ATTACH && reason != DLL_PROCESS_DETACH) return TRUE;
  return velmoranEntry(instance, reason, reserved);
}

#else

namespace {

void* loadBase() {
  Dl_info info{};
  return dladdr(reinterpret_cast<void*>(&velmoranEntry), &info) ? info.dli_fbase : nullptr;
}

__attribute__((constructor)) void attachOnLoad() {
  velmoranEntry(loadBase(), velmoran::kReasonAttach, nullptr);
}

__attribute__((destructor)) void detachOnUnload() {
  velmoranEntry(loadBase(), velmoran::kReasonDetach, nullptr);
}

}  // namespace

#endif

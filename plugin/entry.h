// The library's entry point and what tests may look at of its frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostrt/module.h"
#include "plugin/class_functions.h"

namespace velmoran {

constexpr uint32_t kReasonDetach = 0;
constexpr uint32_t kReasonAttach = 1;
constexpr uint32_t kReasonThreadAttach = 2;
constexpr uint32_t kReasonThreadDetach = 3;

}  // namespace velmoran

// The entry function: reason 1 attaches, 0 detaches (both return 1); any
// other reason does nothing and returns 0. On Windows DllMain calls it and the
// DLL exports nothing but the six class functions.
#if defined(_WIN32)
extern "C" int velmoranEntry(void* moduleHandle, uint32_t reason, void* reserved);
#else
VELMORAN_PUBLIC int velmoranEntry(void* moduleHandle, uint32_t reason, void* reserved);
#endif

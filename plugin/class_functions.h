// The plug-in library: the top layer, over the model and the exporter. It
// holds the library's entry point, its public section and module record and,
// here, the one table of the class functions that the library publishes.
//
// Each class function returns its class object, building and registering the
// class on the first call; the application reaches them through the runtime
// by their public names. The table below is the only list of them: the public
// section's entries, the Windows DLL's export list (plugin/CMakeLists.txt
// reads it, so keep one entry per line) and the tests' lists of names are made
// from it, in its order, which is also the order of the export ordinals.
#pragma once

#include <array>
#include <cstddef>

#include "exporter/velmoran_order.h"
#include "model/model.h"

namespace velmoran {

struct ClassFunction {
  const char* name;            // the public name, in upper case
  hostrt::RtFunction function;
};

inline constexpr ClassFunction kClassFunctions[] = {
    {"SENDORDERINTERFACE", SENDORDERINTERFACE},
    {"ORDER_STRUCTURE", ORDER_STRUCTURE},
    {"ORDERPOSITION_STRUCTURE", ORDERPOSITION_STRUCTURE},
    {"SUPPLIER_STRUCTURE", SUPPLIER_STRUCTURE},
    {"PARAM_STRUCTURE", PARAM_STRUCTURE},
    {"VELMORANORDER", VELMORANORDER},
};

inline constexpr size_t kClassFunctionCount = std::size(kClassFunctions);

// The public names in table order, taken at compile time, so that code which
// must not reference the functions (a test that loads the library at run
// time) can use them.
consteval std::array<const char*, kClassFunctionCount> publicNames() {
  std::array<const char*, kClassFunctionCount> names{};
  for (size_t i = 0; i < kClassFunctionCount; ++i) names[i] = kClassFunctions[i].name;
  return names;
}

}  // namespace velmoran

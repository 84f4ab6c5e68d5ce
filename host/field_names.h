// Names of fields in an order file: matching keys to member names without
// regard to letter case, and the dotted paths by which errors name a field
// ("order.orderPos[2].remark", positions counted from 1).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "hostrt/hostrt.h"

namespace velmoran::host {

// The name case-folded by the runtime's own rule, as it compares names.
inline std::string foldCase(std::string_view name) {
  std::string folded(name);
  hostrt::rtFoldCase(folded.data(), folded.size(), folded.data());
  return folded;
}

inline std::string memberPath(std::string_view parent, std::string_view key) {
  std::string path(parent);
  if (!path.empty()) path += '.';
  return path.append(key);
}

// index counts from 0; the path counts from 1 like the runtime's arrays.
inline std::string elementPath(std::string_view parent, size_t index) {
  return std::string(parent) + '[' + std::to_string(index + 1) + ']';
}

}  // namespace velmoran::host

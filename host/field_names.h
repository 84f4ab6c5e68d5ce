// Names of fields in an order file: matching keys to member names without
// regard to letter case, and the dotted paths by which errors name a field
// ("order.orderPos[2].remark", positions counted from 1).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmoran::host {

// The name with ASCII letters in lower case, as the runtime compares names.
inline std::string foldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return folded;
}

inline bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
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

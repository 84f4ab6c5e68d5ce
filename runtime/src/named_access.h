// Sends and member access by a name given as text, shared by the embedding
// API and the inspection calls.
//
// Thread safety: as rtSend, rtGetMember and rtSetMember.
#pragma once

#include <string>
#include <string_view>

#include "hostrt/object.h"
#include "object_internal.h"

namespace hostrt {

// The class of a class object or instance, or null for any other item.
inline const Class* classOf(const Item& classObject) {
  return classObject.isObject() ? classObject.object()->cls : nullptr;
}

// "a,b,c" from the names of the definitions that pass the filter.
template <class Defs, class Filter>
std::string joinNames(const Defs& defs, Filter keep) {
  std::string names;
  for (const auto& d : defs) {
    if (keep(d)) names += (names.empty() ? "" : ",") + d.name;
  }
  return names;
}

}  // namespace hostrt

// Privileged inspection for tests and diagnostic tools.
//
// These calls look inside objects past the access rules: they read and assign
// internal members and call internal methods, which the application path
// (embed.h) refuses. The privilege covers only the one access made by the
// call itself, not what the called method does in turn. Never use them to
// drive a plug-in as an application would. Inline C++ forms of the
// rtInspect... entry points of hostrt/hostrt.h.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "hostrt/embed.h"
#include "hostrt/error.h"
#include "hostrt/hostrt.h"
#include "hostrt/item.h"

namespace hostrt::inspect {

inline Item send(const Item& receiver, std::string_view message,
                 std::initializer_list<Item> args = {}) {
  return embed::detail::send(rtInspectSend, receiver, message, args);
}
inline Item getMember(const Item& object, std::string_view member) {
  return embed::detail::getMember(rtInspectGetMember, object, member);
}
inline void setMember(const Item& object, std::string_view member, const Item& value) {
  embed::detail::setMember(rtInspectSetMember, object, member, value);
}

// The registry flags of a class's own member or method, 0 when it has none.
inline unsigned memberFlags(const Item& classObject, std::string_view member) {
  return rtInspectMemberFlags(&classObject, std::string(member).c_str());
}
inline unsigned methodFlags(const Item& classObject, std::string_view method) {
  return rtInspectMethodFlags(&classObject, std::string(method).c_str());
}
// A class's own member and method names in declaration order: "a,b,c".
inline std::string memberNames(const Item& classObject) {
  Item names;
  rtInspectMemberNames(&names, &classObject);
  checkUnwind();
  return embed::detail::text(names);
}
inline std::string methodNames(const Item& classObject) {
  Item names;
  rtInspectMethodNames(&names, &classObject);
  checkUnwind();
  return embed::detail::text(names);
}

// Makes the next method definition of the named class fail with a runtime error.
inline void failNextMethodDefinition(const std::string& className) {
  rtInspectFailNextMethodDefinition(className.c_str());
}

}  // namespace hostrt::inspect

// Privileged inspection for tests and diagnostic tools.
//
// These calls look inside objects past the access rules: they read and assign
// internal members and call internal methods, which the application path
// (embed.h) refuses. The privilege covers only the one access made by the
// call itself, not what the called method does in turn. Never use them to
// drive a plug-in as an application would.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "hostrt/export.h"
#include "hostrt/item.h"

namespace hostrt::inspect {

HOSTRT_API Item send(const Item& receiver, std::string_view message,
                     std::initializer_list<Item> args = {});
HOSTRT_API Item getMember(const Item& object, std::string_view member);
HOSTRT_API void setMember(const Item& object, std::string_view member, const Item& value);

// The registry flags of a class's own member or method, 0 when it has none.
HOSTRT_API unsigned memberFlags(const Item& classObject, std::string_view member);
HOSTRT_API unsigned methodFlags(const Item& classObject, std::string_view method);
// A class's own member and method names in declaration order.
HOSTRT_API std::string memberNames(const Item& classObject);  // "a,b,c"
HOSTRT_API std::string methodNames(const Item& classObject);

// Makes the next method definition of the named class fail with a runtime error.
HOSTRT_API void failNextMethodDefinition(const std::string& className);

}  // namespace hostrt::inspect

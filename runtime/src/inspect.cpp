// Privileged inspection: access past the access rules, and the class
// registry's declarations, for tests and diagnostic tools.

#include "hostrt/inspect.h"

#include <string>

#include "error_internal.h"
#include "hostrt/object.h"
#include "named_access.h"

namespace hostrt {

namespace {

template <class Defs>
unsigned flagsOf(const Defs& defs, const char* name) {
  uint32_t symbol = internName(name);
  for (const auto& d : defs) {
    if (d.symbol == symbol) return d.flags;
  }
  return 0;
}

constexpr auto kEvery = [](const auto&) { return true; };

}  // namespace

extern "C" void rtInspectSend(Item* result, const char* message, int argc, const Item* argv) {
  atBoundary([&] {
    grantPrivilegeOnce();
    rtSendNamed(result, message, argc, argv);
  });
}

extern "C" void rtInspectGetMember(Item* result, const Item* object, const char* member) {
  atBoundary([&] {
    grantPrivilegeOnce();
    rtGetMemberNamed(result, object, member);
  });
}

extern "C" void rtInspectSetMember(const Item* object, const char* member, const Item* value) {
  atBoundary([&] {
    grantPrivilegeOnce();
    rtSetMemberNamed(object, member, value);
  });
}

extern "C" unsigned rtInspectMemberFlags(const Item* classObject, const char* member) {
  return atBoundary([&]() -> unsigned {
    const Class* cls = classOf(*classObject);
    return cls ? flagsOf(cls->members, member) : 0;
  });
}

extern "C" unsigned rtInspectMethodFlags(const Item* classObject, const char* method) {
  return atBoundary([&]() -> unsigned {
    const Class* cls = classOf(*classObject);
    return cls ? flagsOf(cls->methods, method) : 0;
  });
}

extern "C" void rtInspectMemberNames(Item* result, const Item* classObject) {
  atBoundary([&] {
    const Class* cls = classOf(*classObject);
    *result = Item::string(cls ? joinNames(cls->members, kEvery) : "");
  });
}

extern "C" void rtInspectMethodNames(Item* result, const Item* classObject) {
  atBoundary([&] {
    const Class* cls = classOf(*classObject);
    *result = Item::string(cls ? joinNames(cls->methods, kEvery) : "");
  });
}

}  // namespace hostrt

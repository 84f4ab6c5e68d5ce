// Classes, objects and message sending.
//
// A class is built at run time in the runtime's class registry: created with
// its name, member and method counts and superclasses, given its members and
// methods one by one with their registry flags, ended, registered and
// initialised. The class object that results is itself an object: it holds
// the class-level members and answers class-level methods.
//
// Registry flags. The low two bits give the access: 1 internal (usable only by
// the methods of the class that defines it), 3 public. For methods 0x20 marks
// a class-level method and 0x80 an abstract one (no implementation). For
// members 0x100 marks a member and 0x200 a class-level one, stored once in the
// class object and reached through it and through every instance.
//
// Names of members and methods match without regard to letter case. Each name
// is interned once into a symbol (Name caches it), so a send costs one hash
// look-up, not a string comparison per member.
//
// Sending: rtSend looks the message up in the receiver's class, then in its
// superclasses in order. The receiver is argument 0; a class-level method
// reached through an instance runs with the class object as its receiver. A
// class object also answers `New`, which creates an instance and runs its
// `init` with the arguments, when the class defines no method of that name.
// A class object reaches its superclass part through a member named after the
// superclass.
//
// Thread safety: rtClassLock is a recursive process-wide lock that serialises
// class creation; the thread that holds it may take it again. The definition
// of a registered class is immutable. A class-level member, though, is one
// value shared by the class object and every instance, whichever thread reaches
// it: it is read and assigned under its class's own mutex, so any thread may
// read or assign it at any time and gets the old or the new value whole (the
// last assignment wins). Instance members are not locked: an instance is used
// by one thread at a time, and sends to different instances may run on
// different threads, sharing nothing but their class-level members.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "hostrt/export.h"
#include "hostrt/functions.h"
#include "hostrt/item.h"
#include "hostrt/ops.h"

namespace hostrt {

class Class;
struct Object;

// Registry flags.
constexpr uint32_t kAccessInternal = 0x1;
constexpr uint32_t kAccessPublic = 0x3;
constexpr uint32_t kMethodClassLevel = 0x20;
constexpr uint32_t kMethodAbstract = 0x80;
constexpr uint32_t kMemberFlag = 0x100;
constexpr uint32_t kMemberClassLevel = 0x200;

constexpr uint32_t kPublicMember = 0x133;
constexpr uint32_t kInternalMember = 0x131;
constexpr uint32_t kPublicClassMember = 0x333;
constexpr uint32_t kPublicMethod = 0x3;
constexpr uint32_t kInternalMethod = 0x1;
constexpr uint32_t kPublicClassMethod = 0x23;
constexpr uint32_t kInternalClassMethod = 0x21;
constexpr uint32_t kAbstractMethod = 0x83;

// A member or method name with its interned symbol, computed on first use.
class HOSTRT_API Name {
 public:
  constexpr explicit Name(const char* text) : text_(text), symbol_(0) {}
  const char* text() const { return text_; }
  uint32_t symbol() const;

 private:
  const char* text_;                        // the name as written
  mutable std::atomic<uint32_t> symbol_;    // interned symbol, 0 until first use
};

// The symbol of a name, case-folded; equal for names that differ only in case.
HOSTRT_API uint32_t internName(std::string_view name);

extern "C" {
// Class registry.
HOSTRT_API void rtClassLock();
HOSTRT_API void rtClassUnlock();
HOSTRT_API Class* rtFindClass(const char* name);
// Creates an unregistered class. supers: superCount classes as rtClassOf returns them.
HOSTRT_API Class* rtCreateClass(const char* name, int instanceMembers, int allMembers,
                                int methods, int superCount, Class* const* supers, int, int,
                                int);
HOSTRT_API void rtDefineMember(Class* cls, const char* name, uint32_t flags);
HOSTRT_API void rtDefineMethod(Class* cls, const char* name, RtFunction impl, uint32_t flags);
HOSTRT_API void rtEndClassDefinition(Class* cls);
HOSTRT_API void rtRegisterClass(Class* cls);
HOSTRT_API void rtCallInitClass(Class* cls);
HOSTRT_API void rtReturnObject(Item* result, Class* cls);

// Objects.
HOSTRT_API void rtSend(Item* result, const Name* message, int argc, const Item* argv);
HOSTRT_API void rtGetMember(Item* result, const Item* object, const Name* member);
HOSTRT_API void rtSetMember(const Item* object, const Name* member, const Item* value);
HOSTRT_API Class* rtClassOf(const Item* object);
HOSTRT_API Class* rtSelfClass();
HOSTRT_API Item* rtNewNil();
HOSTRT_API void rtRelease(Item* item);
HOSTRT_API void rtNewInstance(Item* result, Class* cls, int argc, const Item* argv);
// The class's registered name, as declared.
HOSTRT_API const char* rtClassName(const Class* cls);
}

// C++ forms that record the caller's line first.
HOSTRT_API Item send(const Item& receiver, const Name& message,
                     std::initializer_list<Item> args = {}, Where where = Where::current());
// A send whose receiver and arguments are already laid out: argv[0] the
// receiver, then the argc - 1 arguments.
HOSTRT_API Item send(const Name& message, int argc, const Item* argv,
                     Where where = Where::current());
HOSTRT_API Item getMember(const Item& object, const Name& member,
                          Where where = Where::current());
HOSTRT_API void setMember(const Item& object, const Name& member, const Item& value,
                          Where where = Where::current());

}  // namespace hostrt

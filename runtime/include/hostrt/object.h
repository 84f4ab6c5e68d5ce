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
// These are the C++ forms of the C operations in hostrt/hostrt.h.
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
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "hostrt/error.h"
#include "hostrt/export.h"
#include "hostrt/functions.h"
#include "hostrt/hostrt.h"
#include "hostrt/item.h"
#include "hostrt/ops.h"
#include "hostrt/where.h"

namespace hostrt {

struct Object;

// Registry flags.
constexpr uint32_t kAccessInternal = RT_ACCESS_INTERNAL;
constexpr uint32_t kAccessPublic = RT_ACCESS_PUBLIC;
constexpr uint32_t kMethodClassLevel = RT_METHOD_CLASS_LEVEL;
constexpr uint32_t kMethodAbstract = RT_METHOD_ABSTRACT;
constexpr uint32_t kMemberFlag = RT_MEMBER;
constexpr uint32_t kMemberClassLevel = RT_MEMBER_CLASS_LEVEL;

constexpr uint32_t kPublicMember = 0x133;
constexpr uint32_t kInternalMember = 0x131;
constexpr uint32_t kPublicClassMember = 0x333;
constexpr uint32_t kPublicMethod = 0x3;
constexpr uint32_t kInternalMethod = 0x1;
constexpr uint32_t kPublicClassMethod = 0x23;
constexpr uint32_t kInternalClassMethod = 0x21;
constexpr uint32_t kAbstractMethod = 0x83;

// The symbol of a name, case-folded; equal for names that differ only in case.
inline uint32_t internName(std::string_view name) {
  return rtInternName(name.data(), name.size());
}

// A member or method name with its interned symbol, computed on first use.
// Its layout is the C struct RtName: the text, then the symbol (0 until known).
class Name {
 public:
  constexpr explicit Name(const char* text) : text_(text), symbol_(0) {}
  const char* text() const { return text_; }
  uint32_t symbol() const {
    std::atomic_ref<uint32_t> cached(symbol_);
    uint32_t s = cached.load(std::memory_order_relaxed);
    if (s == 0) {
      s = rtInternName(text_, std::strlen(text_));
      cached.store(s, std::memory_order_relaxed);
    }
    return s;
  }
  // The symbol when it is known already, else 0; never interns.
  uint32_t knownSymbol() const {
    return std::atomic_ref<uint32_t>(symbol_).load(std::memory_order_relaxed);
  }

 private:
  const char* text_;         // the name as written
  mutable uint32_t symbol_;  // interned symbol, 0 until first use
};

// Holds the class lock (rtClassLock) for its scope: a find-or-create runs
// under it so that two threads never build the same class.
class ClassLockGuard {
 public:
  ClassLockGuard() { rtClassLock(); }
  ~ClassLockGuard() { rtClassUnlock(); }
  ClassLockGuard(const ClassLockGuard&) = delete;
  ClassLockGuard& operator=(const ClassLockGuard&) = delete;
};

// Calls call(argc, argv) with the receiver followed by the arguments, laid
// out for the C interface: lent (BorrowedItems) when they are few.
template <class Call>
void withReceiver(const Item& receiver, std::initializer_list<Item> args, Call&& call) {
  constexpr size_t kSmall = 8;
  if (args.size() < kSmall) {
    BorrowedItems<kSmall> argv;
    argv.push(receiver);
    for (const Item& a : args) argv.push(a);
    call(argv.size(), argv.data());
    return;
  }
  std::vector<Item> argv;
  argv.reserve(args.size() + 1);
  argv.push_back(receiver);
  argv.insert(argv.end(), args.begin(), args.end());
  call(int(argv.size()), argv.data());
}

// C++ forms that record the caller's line first.
// A send whose receiver and arguments are already laid out: argv[0] the
// receiver, then the argc - 1 arguments.
inline Item send(const Name& message, int argc, const Item* argv,
                 Where where = Where::current()) {
  rtNoteLine(int(where.line()));
  Item result;
  rtSend(&result, &message, argc, argv);
  checkUnwind();
  return result;
}
inline Item send(const Item& receiver, const Name& message,
                 std::initializer_list<Item> args = {}, Where where = Where::current()) {
  rtNoteLine(int(where.line()));
  Item result;
  withReceiver(receiver, args,
               [&](int argc, const Item* argv) { rtSend(&result, &message, argc, argv); });
  checkUnwind();
  return result;
}
inline Item getMember(const Item& object, const Name& member, Where where = Where::current()) {
  rtNoteLine(int(where.line()));
  Item result;
  rtGetMember(&result, &object, &member);
  checkUnwind();
  return result;
}
inline void setMember(const Item& object, const Name& member, const Item& value,
                      Where where = Where::current()) {
  rtNoteLine(int(where.line()));
  rtSetMember(&object, &member, &value);
  checkUnwind();
}

}  // namespace hostrt

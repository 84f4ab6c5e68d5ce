// The runtime's own view of objects and classes; nothing outside runtime/src
// sees these structures.
#pragma once

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hostrt/functions.h"
#include "hostrt/item.h"
#include "item_storage.h"
#include "symbol_map.h"

namespace hostrt {

class Class;

// An instance, or the object part of a class. An instance and its members
// are one allocation (newInstanceStorage): the header is two words and the
// members follow it, as many as its class's instanceSlots. What only a class
// needs lives in Class.
struct alignas(Item) Object {
  std::atomic<int32_t> refs{1};  // items referring to this instance (unused for classes)
  Class* cls = nullptr;          // the instance's class; for a class object, the class itself

  // A class object, which lives as long as the process (its class is itself).
  inline bool isClass() const;
  // An instance's members.
  Item* members() { return reinterpret_cast<Item*>(this + 1); }
};
static_assert(sizeof(Object) == 2 * sizeof(void*), "an instance header is two words");
static_assert(sizeof(Object) % alignof(Item) == 0, "members follow the header aligned");

// A new instance of cls with its instanceSlots nil members and no references yet.
Object* newInstanceStorage(Class* cls);
// Releases an instance's members and frees it.
void deleteInstanceStorage(Object* o);

struct MemberDef {
  uint32_t symbol;     // interned name
  std::string name;    // the name as declared
  uint32_t flags;      // registry flags
  Class* owner;        // the class that declares it
  uint32_t ownIndex;   // index among the owner's instance or class-level members

  bool classLevel() const { return flags & 0x200; }
  bool internal() const { return (flags & 3) == 1; }
};

struct MethodDef {
  uint32_t symbol;     // interned name
  std::string name;    // the name as registered
  RtFunction impl;     // implementation, null for an abstract method
  uint32_t flags;      // registry flags
  Class* owner;        // the class that defines it

  bool classLevel() const { return flags & 0x20; }
  bool internal() const { return (flags & 3) == 1; }
};

// A member as seen from one class: where its value lives.
struct MemberSlot {
  const MemberDef* def;  // the declaration
  uint32_t slot;         // index in the instance's slots, or in def->owner's class slots
};

class Class : public Object {
 public:
  std::string name;                   // registered name, as declared
  int declaredInstanceMembers = 0;    // counts given at creation, checked at the end
  int declaredAllMembers = 0;
  int declaredMethods = 0;
  std::vector<Class*> supers;         // superclasses, in order
  std::vector<MemberDef> members;     // own members, in declaration order
  std::vector<MethodDef> methods;     // own methods, in registration order
  SymbolMap<MemberSlot> memberIndex;         // own and inherited
  SymbolMap<const MethodDef*> methodIndex;   // own and inherited
  SymbolMap<Class*> superIndex;              // superclass parts by name
  uint32_t instanceSlots = 0;         // slots of an instance, inherited ones included
  uint32_t ownInstanceMembers = 0;    // instance members declared so far
  uint32_t ownClassMembers = 0;       // class-level members declared so far
  std::atomic<bool> ended{false};     // definition ended: indexes are built
  bool registered = false;            // findable by name
  std::atomic<bool> withdrawn{false}; // its library was unloaded: no more sends
  std::vector<Item> slots;           // class-level members, in declaration order
  std::mutex classMembersMutex;       // guards the class-level members in slots
};

inline bool Object::isClass() const { return cls == this; }

inline void retainObjectStorage(Object* o) {
  if (!o->isClass()) o->refs.fetch_add(1, std::memory_order_relaxed);
}
inline void releaseObjectStorage(Object* o) {
  if (!o->isClass() && o->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    deleteInstanceStorage(o);
  }
}

// Withdraws every class that runs code for which codeIsGone is true (its own
// methods or inherited ones): it can no longer be found by name, and its
// instances and class object answer every message with a runtime error.
void withdrawClasses(const std::function<bool(RtFunction)>& codeIsGone);

// Privileged access for tests and tools: the next member access or send on
// this thread skips the access check.
void grantPrivilegeOnce();

}  // namespace hostrt

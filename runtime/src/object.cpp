// The class registry, class definition, instances, members and message sending.

#include "hostrt/object.h"

#include <mutex>
#include <new>
#include <shared_mutex>

#include "call_context.h"
#include "hostrt/hostrt.h"
#include "hostrt/error.h"
#include "hostrt/frame.h"
#include "hostrt/inspect.h"
#include "object_internal.h"
#include "error_internal.h"
#include "item_storage.h"
#include "pool.h"

namespace hostrt {

// ---------------------------------------------------------------- symbols

namespace {

// Hashes a name given as any string type, so that look-ups need no std::string.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct SymbolTable {
  std::shared_mutex mutex;
  std::unordered_map<std::string, uint32_t, NameHash, std::equal_to<>> ids;  // case-folded -> symbol
};

SymbolTable& symbols() {
  static auto* table = new SymbolTable;  // lives until the process ends
  return *table;
}

}  // namespace

extern "C" void rtFoldCase(const char* text, size_t size, char* out) {
  for (size_t i = 0; i < size; ++i) {
    char c = text[i];
    out[i] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
  }
}

namespace {

uint32_t intern(std::string_view name) {
  SymbolTable& table = symbols();
  // Names are short: fold them on the stack for the look-up of a known name.
  char buffer[64];
  if (name.size() <= sizeof buffer) {
    rtFoldCase(name.data(), name.size(), buffer);
    std::shared_lock<std::shared_mutex> lock(table.mutex);
    auto it = table.ids.find(std::string_view(buffer, name.size()));
    if (it != table.ids.end()) return it->second;
  }
  std::string folded(name);
  rtFoldCase(folded.data(), folded.size(), folded.data());
  std::unique_lock<std::shared_mutex> lock(table.mutex);
  auto [it, added] = table.ids.emplace(std::move(folded), uint32_t(table.ids.size() + 1));
  return it->second;
}

}  // namespace

extern "C" uint32_t rtInternName(const char* text, size_t len) {
  return atBoundary([&] { return intern(std::string_view(text, len)); });
}

// ------------------------------------------------------- dispatch context

namespace {
HOSTRT_THREAD_LOCAL const MethodDef* dispatched = nullptr;
HOSTRT_THREAD_LOCAL bool privilegeOnce = false;

bool takePrivilege() {
  bool granted = privilegeOnce;
  privilegeOnce = false;
  return granted;
}

// Sets the method being dispatched for the frame it enters, and clears it
// again on every path, so that code without a frame cannot inherit it.
struct DispatchScope {
  explicit DispatchScope(const MethodDef* m) { dispatched = m; }
  ~DispatchScope() { dispatched = nullptr; }
};

const Class* callerClass() {
  const Frame* frame = innermostFrame;
  return frame ? frame->owner : nullptr;
}
}  // namespace


const MethodDef* takeDispatchedMethod() {
  const MethodDef* m = dispatched;
  dispatched = nullptr;
  return m;
}

void grantPrivilegeOnce() { privilegeOnce = true; }

// --------------------------------------------------------------- registry

namespace {

struct Registry {
  std::recursive_mutex classLock;               // rtClassLock
  std::mutex mutex;                             // guards the maps below
  std::unordered_map<uint32_t, Class*> byName;  // registered classes
  std::vector<Class*> all;                      // every class ever created
  std::string failNextDefinitionOf;             // test hook, see inspect.h
};

Registry& registry() {
  static auto* r = new Registry;  // classes live as long as the process
  return *r;
}

[[noreturn]] void classError(const std::string& description, const char* operation) {
  ErrorObject error;
  error.code = kErrorClassDefinition;
  error.description = description;
  error.operation = operation;
  error.resumable = false;
  raise(std::move(error));
  throw;  // not reached: a non-resumable error always unwinds
}

void requireOpen(Class* cls, const char* operation) {
  if (!cls) classError("no class given", operation);
  if (cls->ended) classError("class " + cls->name + " is already defined", operation);
}

void checkCounts(const Class* cls) {
  int all = int(cls->ownInstanceMembers + cls->ownClassMembers);
  if (int(cls->ownInstanceMembers) != cls->declaredInstanceMembers ||
      all != cls->declaredAllMembers || int(cls->methods.size()) != cls->declaredMethods) {
    classError("class " + cls->name + " does not hold the members and methods it declared",
               "rtEndClassDefinition");
  }
}

void buildIndexes(Class* cls) {
  for (const MemberDef& m : cls->members) cls->memberIndex.emplace(m.symbol, MemberSlot{&m, m.ownIndex});
  for (const MethodDef& m : cls->methods) cls->methodIndex.emplace(m.symbol, &m);
  uint32_t offset = cls->ownInstanceMembers;
  for (Class* super : cls->supers) {
    for (const auto& [symbol, slot] : super->memberIndex) {
      uint32_t at = slot.def->classLevel() ? slot.slot : slot.slot + offset;
      cls->memberIndex.emplace(symbol, MemberSlot{slot.def, at});
    }
    for (const auto& entry : super->methodIndex) cls->methodIndex.insert(entry);
    cls->superIndex.emplace(internName(super->name), super);
    for (const auto& entry : super->superIndex) cls->superIndex.insert(entry);
    offset += super->instanceSlots;
  }
  cls->instanceSlots = offset;
}

Item classItem(Class* cls) { return ItemAccess::object(cls); }

// A message to an object whose class was withdrawn with its library: the
// methods' code is gone, so the send is a runtime error instead.
bool withdrawn(const Object* object) {
  return object->cls->withdrawn.load(std::memory_order_acquire);
}

Item withdrawnError(const Item& receiver, const std::string& operation) {
  return raiseError(kErrorNoMethod,
                    "class " + receiver.object()->cls->name +
                        " was withdrawn when its library was unloaded",
                    operation, {receiver});
}

}  // namespace

extern "C" void rtClassLock() {
  atBoundary([&] {
    registry().classLock.lock();
  });
}

extern "C" void rtClassUnlock() {
  atBoundary([&] {
    registry().classLock.unlock();
  });
}

extern "C" Class* rtFindClass(const char* name) {
  return atBoundary([&]() -> Class* {
    uint32_t symbol = internName(name);
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.byName.find(symbol);
    return it == r.byName.end() ? nullptr : it->second;
  });
}

extern "C" Class* rtCreateClass(const char* name, int instanceMembers, int allMembers,
                                int methods, int superCount, Class* const* supers, int, int,
                                int) {
  return atBoundary([&]() -> Class* {
    if (!name || !*name) classError("a class needs a name", "rtCreateClass");
    if (instanceMembers < 0 || allMembers < instanceMembers || methods < 0 || superCount < 0) {
      classError(std::string("impossible counts for class ") + name, "rtCreateClass");
    }
    auto* cls = new Class;
    cls->cls = cls;
    cls->name = name;
    cls->declaredInstanceMembers = instanceMembers;
    cls->declaredAllMembers = allMembers;
    cls->declaredMethods = methods;
    {
      Registry& r = registry();
      std::lock_guard<std::mutex> lock(r.mutex);
      r.all.push_back(cls);
    }
    for (int i = 0; i < superCount; ++i) {
      if (!supers[i] || !supers[i]->ended) {
        classError(std::string("class ") + name + " names a superclass that is not defined",
                   "rtCreateClass");
      }
      cls->supers.push_back(supers[i]);
    }
    return cls;
  });
}

extern "C" void rtDefineMember(Class* cls, const char* name, uint32_t flags) {
  atBoundary([&] {
    requireOpen(cls, "rtDefineMember");
    if (!(flags & kMemberFlag)) classError(std::string("bad member flags for ") + name, "rtDefineMember");
    uint32_t symbol = internName(name);
    for (const MemberDef& m : cls->members) {
      if (m.symbol == symbol) classError(std::string("member defined twice: ") + name, "rtDefineMember");
    }
    if (cls->members.size() >= size_t(cls->declaredAllMembers)) {
      classError("class " + cls->name + " defines more members than it declared", "rtDefineMember");
    }
    bool classLevel = flags & kMemberClassLevel;
    uint32_t index = classLevel ? cls->ownClassMembers++ : cls->ownInstanceMembers++;
    cls->members.push_back(MemberDef{symbol, name, flags, cls, index});
    if (classLevel) cls->slots.emplace_back();
  });
}

extern "C" void rtDefineMethod(Class* cls, const char* name, RtFunction impl, uint32_t flags) {
  atBoundary([&] {
    requireOpen(cls, "rtDefineMethod");
    bool injectedFailure = false;
    {
      Registry& r = registry();
      std::lock_guard<std::mutex> lock(r.mutex);
      injectedFailure = !r.failNextDefinitionOf.empty() && r.failNextDefinitionOf == cls->name;
      if (injectedFailure) r.failNextDefinitionOf.clear();
    }
    // Raised with no lock held: the error handler may use the registry itself.
    if (injectedFailure) classError("injected failure while defining " + cls->name, "rtDefineMethod");
    bool abstract = flags & kMethodAbstract;
    if (abstract != (impl == nullptr)) {
      classError(std::string("method ") + name + ": abstract methods and only they have no code",
                 "rtDefineMethod");
    }
    uint32_t symbol = internName(name);
    for (const MethodDef& m : cls->methods) {
      if (m.symbol == symbol) classError(std::string("method defined twice: ") + name, "rtDefineMethod");
    }
    if (cls->methods.size() >= size_t(cls->declaredMethods)) {
      classError("class " + cls->name + " defines more methods than it declared", "rtDefineMethod");
    }
    cls->methods.push_back(MethodDef{symbol, name, impl, flags, cls});
  });
}

extern "C" void rtEndClassDefinition(Class* cls) {
  atBoundary([&] {
    requireOpen(cls, "rtEndClassDefinition");
    checkCounts(cls);
    buildIndexes(cls);
    cls->ended = true;
  });
}

extern "C" void rtRegisterClass(Class* cls) {
  atBoundary([&] {
    if (!cls || !cls->ended) classError("only a defined class can be registered", "rtRegisterClass");
    bool taken = false;
    {
      Registry& r = registry();
      std::lock_guard<std::mutex> lock(r.mutex);
      auto [it, added] = r.byName.emplace(internName(cls->name), cls);
      taken = !added && it->second != cls;
    }
    if (taken) classError("a class named " + cls->name + " is already registered", "rtRegisterClass");
    cls->registered = true;
  });
}

extern "C" void rtCallInitClass(Class* cls) {
  atBoundary([&] {
    static const Name kInitClass("INITCLASS");
    Item receiver = classItem(cls);
    Item ignored;
    rtSend(&ignored, &kInitClass, 1, &receiver);
  });
}

extern "C" void rtReturnObject(Item* result, Class* cls) {
  atBoundary([&] {
    *result = classItem(cls);
  });
}

extern "C" const char* rtClassName(const Class* cls) {
  return atBoundary([&]() -> const char* {
    return cls->name.c_str();
  });
}

void withdrawClasses(const std::function<bool(RtFunction)>& codeIsGone) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (Class* cls : r.all) {
    // Only a defined class can be registered; its index holds every method
    // it runs, its own and the inherited ones.
    if (!cls->ended) continue;
    bool gone = false;
    for (const auto& [symbol, method] : cls->methodIndex) {
      if (method->impl && codeIsGone(method->impl)) gone = true;
    }
    if (!gone) continue;
    cls->withdrawn.store(true, std::memory_order_release);
    auto it = r.byName.find(internName(cls->name));
    if (it != r.byName.end() && it->second == cls) r.byName.erase(it);
  }
}

// ---------------------------------------------------------------- objects

extern "C" Class* rtClassOf(const Item* object) {
  return atBoundary([&]() -> Class* {
    if (!object->isObject()) {
      // A handler that resumes with an object stands in for the operand.
      Item resumed = raiseError(kErrorWrongKind, std::string("a ") + object->kindName() + " has no class",
                                "rtClassOf", {*object});
      return resumed.isObject() ? resumed.object()->cls : nullptr;
    }
    return object->object()->cls;
  });
}

extern "C" Class* rtSelfClass() {
  return atBoundary([&]() -> Class* {
    return const_cast<Class*>(callerClass());
  });
}

extern "C" Item* rtNewNil() {
  return atBoundary([&]() -> Item* {
    return new Item;
  });
}

extern "C" void rtRelease(Item* item) {
  atBoundary([&] {
    delete item;
  });
}

Object* newInstanceStorage(Class* cls) {
  uint32_t count = cls->instanceSlots;
  void* memory = poolAllocate(sizeof(Object) + count * sizeof(Item));
  auto* object = new (memory) Object;
  object->refs = 0;
  object->cls = cls;
  for (uint32_t i = 0; i < count; ++i) new (&object->members()[i]) Item();
  return object;
}

void deleteInstanceStorage(Object* o) {
  const size_t bytes = sizeof(Object) + o->cls->instanceSlots * sizeof(Item);
  for (uint32_t i = o->cls->instanceSlots; i-- > 0;) o->members()[i].~Item();
  o->~Object();
  poolFree(o, bytes);
}

extern "C" void rtNewInstance(Item* result, Class* cls, int argc, const Item* argv) {
  atBoundary([&] {
    static const Name kInit("INIT");
    if (!cls || !cls->ended) {
      *result = raiseError(kErrorClassDefinition, "instance of an undefined class", "New");
      return;
    }
    if (cls->withdrawn.load(std::memory_order_acquire)) {
      *result = withdrawnError(classItem(cls), "New");
      return;
    }
    Object* object = newInstanceStorage(cls);
    Item instance = ItemAccess::object(object);
    if (cls->methodIndex.count(kInit.symbol())) {
      Item ignored;
      if (argc == 0) {
        rtSend(&ignored, &kInit, 1, &instance);
      } else {
        std::vector<Item> args;
        args.reserve(size_t(argc) + 1);
        args.push_back(instance);
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        rtSend(&ignored, &kInit, int(args.size()), args.data());
      }
    }
    *result = std::move(instance);
  });
}

namespace {

std::string describeReceiver(const Item& receiver) {
  if (!receiver.isObject()) return std::string("a ") + receiver.kindName();
  const Object* o = receiver.object();
  return (o->isClass() ? "class " : "an instance of ") + o->cls->name;
}

// The member's slot, after the access checks; null after a runtime error,
// the value a handler resumed with then left in *resumed.
// found: the entry of the receiver's member index, or null when it has none.
const MemberSlot* checkMember(const Item& object, const Name& member, const MemberSlot* found,
                              const char* operation, bool privileged, Item* resumed) {
  if (!found) {
    *resumed = raiseError(kErrorNoMember,
                          std::string("no member ") + member.text() + " in " + describeReceiver(object),
                          operation, {object});
    return nullptr;
  }
  const MemberDef* def = found->def;
  if (def->internal() && !privileged && callerClass() != def->owner) {
    *resumed = raiseError(kErrorAccess,
                          std::string("internal member ") + def->name + " of class " +
                              def->owner->name + " used from outside its class",
                          operation, {object});
    return nullptr;
  }
  if (!def->classLevel() && object.object()->isClass()) {
    *resumed = raiseError(kErrorNoMember,
                          std::string("instance member ") + def->name +
                              " read through the class object",
                          operation, {object});
    return nullptr;
  }
  return found;
}

const MemberSlot* lookUpMember(const Class* cls, const Name& member) {
  return cls->memberIndex.get(member.symbol());
}

// A class-level member is one item shared by every thread that reaches the
// class: it is read and replaced only under its class's mutex, so a reader
// gets the old value or the new one whole. The value a replacement drops is
// released after the mutex is given back.
Item readMember(const Item& object, const MemberSlot& slot) {
  if (!slot.def->classLevel()) return object.object()->members()[slot.slot];
  Class* owner = slot.def->owner;
  std::lock_guard<std::mutex> lock(owner->classMembersMutex);
  return owner->slots[slot.slot];
}

void writeMember(const Item& object, const MemberSlot& slot, const Item& value) {
  Item replacing(value);
  if (!slot.def->classLevel()) {
    object.object()->members()[slot.slot] = std::move(replacing);
    return;
  }
  Class* owner = slot.def->owner;
  {
    std::lock_guard<std::mutex> lock(owner->classMembersMutex);
    std::swap(owner->slots[slot.slot], replacing);
  }
}

// The common case of reading or assigning a member, which the entry points
// try before they set up their boundary: an instance's own member, when
// nothing in copying `copied` into or out of it can fail. That needs the
// name's symbol known already (interning may fail) and the item copied loaded
// (copying an item of a library never loaded is an error). Null otherwise:
// the caller goes the checked way.
Item* plainMemberItem(const Item& object, const Name& member, bool privileged,
                      const Item* copied) {
  if (!object.isObject() || !object.hasOps() || !member.knownSymbol()) return nullptr;
  Object* o = object.object();
  const MemberSlot* found = o->cls->memberIndex.get(member.knownSymbol());
  if (!found || found->def->classLevel() || o->isClass()) return nullptr;
  if (found->def->internal() && !privileged && callerClass() != found->def->owner) return nullptr;
  Item* item = &o->members()[found->slot];
  return (copied ? copied : item)->hasOps() ? item : nullptr;
}

// The checked ways of reading and assigning a member, kept out of line so
// that the entry points' short ways save and restore no more than they use.
[[gnu::noinline]] void checkedGetMember(Item* result, const Item* object, const Name* member,
                                        bool privileged) {
  atBoundary([&] {
    if (!object->isObject()) {
      *result = raiseError(kErrorNoMember,
                           std::string("member ") + member->text() + " of " + describeReceiver(*object),
                           "get member", {*object});
      return;
    }
    const Class* cls = object->object()->cls;
    const MemberSlot* found = lookUpMember(cls, *member);
    if (!found) {
      auto super = cls->superIndex.find(member->symbol());
      if (super != cls->superIndex.end()) {
        *result = classItem(super->second);
        return;
      }
    }
    Item value;
    if (const MemberSlot* slot = checkMember(*object, *member, found, "get member", privileged,
                                             &value)) {
      value = readMember(*object, *slot);
    }
    *result = std::move(value);
  });
}

[[gnu::noinline]] void checkedSetMember(const Item* object, const Name* member, const Item* value,
                                        bool privileged) {
  atBoundary([&] {
    if (!object->isObject()) {
      raiseError(kErrorNoMember,
                 std::string("member ") + member->text() + " of " + describeReceiver(*object),
                 "set member", {*object});
      return;
    }
    Item ignored;
    if (const MemberSlot* slot = checkMember(*object, *member,
                                             lookUpMember(object->object()->cls, *member),
                                             "set member", privileged, &ignored)) {
      writeMember(*object, *slot, *value);
    }
  });
}

}  // namespace

extern "C" void rtGetMember(Item* result, const Item* object, const Name* member) {
  const bool privileged = takePrivilege();
  if (const Item* item = plainMemberItem(*object, *member, privileged, nullptr)) {
    *result = *item;
    return;
  }
  checkedGetMember(result, object, member, privileged);
}

extern "C" void rtSetMember(const Item* object, const Name* member, const Item* value) {
  const bool privileged = takePrivilege();
  if (Item* item = plainMemberItem(*object, *member, privileged, value)) {
    *item = *value;
    return;
  }
  checkedSetMember(object, member, value, privileged);
}

namespace {
// The operation an error of a send names; built only when there is one.
std::string sendOperation(const Name* message) { return std::string("send ") + message->text(); }
}  // namespace

extern "C" void rtSend(Item* result, const Name* message, int argc, const Item* argv) {
  atBoundary([&] {
    static const Name kNew("New");
    bool privileged = takePrivilege();
    if (argc < 1 || !argv[0].isObject()) {
      Item receiver = argc > 0 ? argv[0] : Item();
      *result = raiseError(kErrorNoMethod,
                           std::string("message ") + message->text() + " sent to " +
                               describeReceiver(receiver),
                           sendOperation(message), {receiver});
      return;
    }
    const Object* object = argv[0].object();
    if (withdrawn(object)) {
      *result = withdrawnError(argv[0], sendOperation(message));
      return;
    }
    const Class* cls = object->cls;
    const MethodDef* const* found = cls->methodIndex.get(message->symbol());
    if (!found) {
      if (object->isClass() && message->symbol() == kNew.symbol()) {
        rtNewInstance(result, const_cast<Class*>(cls), argc - 1, argv + 1);
        return;
      }
      *result = raiseError(kErrorNoMethod,
                           std::string("no method ") + message->text() + " in " +
                               describeReceiver(argv[0]),
                           sendOperation(message), {argv[0]});
      return;
    }
    const MethodDef* method = *found;
    if (method->internal() && !privileged && callerClass() != method->owner) {
      *result = raiseError(kErrorAccess,
                           "internal method " + method->name + " of class " + method->owner->name +
                               " called from outside its class",
                           sendOperation(message), {argv[0]});
      return;
    }
    if (!method->impl) {
      *result = raiseError(kErrorAbstract,
                           "abstract method " + method->name + " of class " + method->owner->name +
                               " is not implemented by " + cls->name,
                           sendOperation(message), {argv[0]});
      return;
    }
    Item out;
    {
      DispatchScope scope(method);
      ForeignCall call;
      method->impl(&out, argc, argv);
    }
    checkUnwind();
    *result = std::move(out);
  });
}

extern "C" void rtInspectFailNextMethodDefinition(const char* className) {
  atBoundary([&] {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.failNextDefinitionOf = className;
  });
}

}  // namespace hostrt

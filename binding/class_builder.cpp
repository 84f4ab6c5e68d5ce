#include "binding/class_builder.h"

namespace velmoran {

namespace {

// Holds the class lock and a temporary item for the length of one class
// function, giving both back on every path.
class CreationScope {
 public:
  CreationScope() { hostrt::rtClassLock(); }
  ~CreationScope() {
    if (temporary_) hostrt::rtRelease(temporary_);
    hostrt::rtClassUnlock();
  }
  CreationScope(const CreationScope&) = delete;
  CreationScope& operator=(const CreationScope&) = delete;

  Item* newTemporary() { return temporary_ = hostrt::rtNewNil(); }
  void releaseTemporary() {
    hostrt::rtRelease(temporary_);
    temporary_ = nullptr;
  }

 private:
  Item* temporary_ = nullptr;  // the nil item made for the superclass look-up
};

hostrt::Class* defineClass(const ClassSpec& spec, hostrt::Class* superclass) {
  int superCount = superclass ? 1 : 0;
  hostrt::Class* cls = hostrt::rtCreateClass(
      spec.className, spec.instanceMembers, spec.allMembers, spec.methods,
      superCount, &superclass, 0, 0, 0);
  for (const MemberSpec& m : spec.members) hostrt::rtDefineMember(cls, m.name, m.flags);
  for (const MethodSpec& m : spec.methodList) hostrt::rtDefineMethod(cls, m.name, m.impl, m.flags);
  return cls;
}

}  // namespace

void findOrCreateClass(Item* result, hostrt::Class*& handle, const ClassSpec& spec) {
  CreationScope scope;
  if (hostrt::Class* found = hostrt::rtFindClass(spec.className)) {
    hostrt::rtReturnObject(result, found);
    return;
  }
  hostrt::FunctionFrame frame(spec.publicName, spec.line);
  Item* temporary = scope.newTemporary();
  hostrt::Class* superclass = nullptr;
  if (spec.superclass) {
    spec.superclass(temporary, 0, nullptr);
    superclass = hostrt::rtClassOf(temporary);
  }
  handle = defineClass(spec, superclass);
  hostrt::rtEndClassDefinition(handle);
  hostrt::rtRegisterClass(handle);
  hostrt::rtCallInitClass(handle);
  scope.releaseTemporary();
  hostrt::rtReturnObject(result, handle);
}

}  // namespace velmoran

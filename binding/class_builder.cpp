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

int instanceMemberCount(const ClassDecl& decl) {
  int count = 0;
  for (const MemberDecl& m : decl.members) count += (m.flags & hostrt::kMemberClassLevel) ? 0 : 1;
  return count;
}

hostrt::Class* defineClass(const ClassDecl& decl, hostrt::Class* superclass) {
  int superCount = superclass ? 1 : 0;
  hostrt::Class* cls = hostrt::rtCreateClass(
      decl.className, instanceMemberCount(decl), int(decl.members.size()),
      int(decl.methodList.size()), superCount, &superclass, 0, 0, 0);
  for (const MemberDecl& m : decl.members) hostrt::rtDefineMember(cls, m.name, m.flags);
  for (const MethodDecl& m : decl.methodList) hostrt::rtDefineMethod(cls, m.name, m.impl, m.flags);
  return cls;
}

}  // namespace

void findOrCreateClass(Item* result, hostrt::Class*& handle, const ClassDecl& decl) {
  CreationScope scope;
  if (hostrt::Class* found = hostrt::rtFindClass(decl.className)) {
    hostrt::rtReturnObject(result, found);
    return;
  }
  hostrt::FunctionFrame frame(decl.publicName, decl.line);
  Item* temporary = scope.newTemporary();
  hostrt::Class* superclass = nullptr;
  if (decl.superclass) {
    decl.superclass(temporary, 0, nullptr);
    superclass = hostrt::rtClassOf(temporary);
  }
  handle = defineClass(decl, superclass);
  hostrt::rtEndClassDefinition(handle);
  hostrt::rtRegisterClass(handle);
  hostrt::rtCallInitClass(handle);
  scope.releaseTemporary();
  hostrt::rtReturnObject(result, handle);
}

}  // namespace velmoran

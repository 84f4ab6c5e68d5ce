// Find-or-create for the plug-in's class functions.
//
// Every class function of the library works the same way: under the runtime's
// class lock it looks its class up by name and returns it when it is already
// registered. Otherwise it enters a frame named after the class function,
// obtains its superclass (if it has one) by calling that class's function,
// creates the class with the counts of what it declares (its instance
// members, all its members, its methods), defines its members and then
// its methods in declaration order, ends the definition, registers the class,
// runs its class initialiser and returns the class object.
//
// An error while the class is being built has already been handed to the
// runtime's error handler when it reaches this code; the temporary item is
// released, the class lock given back, and the unwind passed on. Nothing is
// registered then, so the next call starts again from the look-up.
//
// Thread safety: the class lock serialises all class functions; a class
// function that needs its superclass takes the lock a second time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "binding/host_runtime.h"

namespace velmoran {

// A procedure name as a template argument, so that one method body serves
// several methods, each instantiation running under its own name.
template <size_t N>
struct ProcedureName {
  char chars[N];
  constexpr ProcedureName(const char (&name)[N]) {  // NOLINT: implicit on purpose
    for (size_t i = 0; i < N; ++i) chars[i] = name[i];
  }
};

struct MemberDecl {
  const char* name;  // as declared
  uint32_t flags;    // registry flags
};

struct MethodDecl {
  const char* name;         // as registered
  hostrt::RtFunction impl;  // null for an abstract method
  uint32_t flags;           // registry flags
};

struct ClassDecl {
  const char* publicName;          // the class function's public name: its __func__
  const char* className;           // the registered name, "VelmoranOrder"
  int line;                        // line of the class declaration, for the frame
  hostrt::RtFunction superclass;   // class function of the superclass, or null
  std::initializer_list<MemberDecl> members;  // in declaration order
  std::initializer_list<MethodDecl> methodList;  // in registration order
};

// Writes the class object into result, creating the class on first use.
// handle: the class function's own static, which keeps the class it created.
void findOrCreateClass(Item* result, hostrt::Class*& handle, const ClassDecl& decl);

}  // namespace velmoran

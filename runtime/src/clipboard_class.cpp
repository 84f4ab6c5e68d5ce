// The clipboard class SYSCLIPBOARD: a runtime class whose methods drive the
// platform clipboard. An object remembers whether it holds the clipboard, so
// that clear and setBuffer act only between a successful open and close.
// A failed open, and text the clipboard did not take, are counted per thread
// for the embedding application; the methods' results stay as they are.

#include "hostrt/clipboard.h"
#include "clipboard_platform.h"
#include "hostrt/error.h"
#include "hostrt/frame.h"
#include "hostrt/object.h"
#include "error_internal.h"
#include "item_storage.h"

namespace hostrt {

namespace {

const Name kHolding("holding");

HOSTRT_THREAD_LOCAL uint64_t failures = 0;

bool holding(const Item& self) {
  Item value = getMember(self, kHolding);
  return value.isLogical() && value.asLogical();
}

void create(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@SYSCLIPBOARD@I@CREATE", 0, argc, argv);
  setMember(f.self(), kHolding, Item::logical(false));
  *result = f.self();
}

void open(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@SYSCLIPBOARD@I@OPEN", 0, argc, argv);
  if (!holding(f.self())) {
    if (clipboardOpen()) {
      setMember(f.self(), kHolding, Item::logical(true));
    } else {
      ++failures;
    }
  }
  *result = Item::logical(holding(f.self()));
}

void clear(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@SYSCLIPBOARD@I@CLEAR", 0, argc, argv);
  if (holding(f.self())) clipboardEmpty();
  *result = Item::logical(holding(f.self()));
}

void setBuffer(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@SYSCLIPBOARD@I@SETBUFFER", 1, argc, argv);
  const Item& text = f.param(1);
  if (!text.isString()) {
    *result = raiseError(kErrorWrongKind, std::string("setBuffer needs a string, not a ") + text.kindName(),
                         "setBuffer", {text});
    return;
  }
  if (holding(f.self()) && !clipboardSetText(text.str())) ++failures;
  *result = Item::logical(holding(f.self()));
}

// Gives the clipboard back if this object holds it.
void letGo(const Item& self) {
  if (!holding(self)) return;
  clipboardClose();
  setMember(self, kHolding, Item::logical(false));
}

void close(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@SYSCLIPBOARD@I@CLOSE", 0, argc, argv);
  letGo(f.self());
  *result = Item();
}

void destroy(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@SYSCLIPBOARD@I@DESTROY", 0, argc, argv);
  letGo(f.self());
  *result = Item();
}

Class* buildClass() {
  Class* cls = rtCreateClass("SysClipboard", 1, 1, 6, 0, nullptr, 0, 0, 0);
  rtDefineMember(cls, "holding", kInternalMember);
  rtDefineMethod(cls, "create", create, kPublicMethod);
  rtDefineMethod(cls, "open", open, kPublicMethod);
  rtDefineMethod(cls, "clear", clear, kPublicMethod);
  rtDefineMethod(cls, "setBuffer", setBuffer, kPublicMethod);
  rtDefineMethod(cls, "close", close, kPublicMethod);
  rtDefineMethod(cls, "destroy", destroy, kPublicMethod);
  rtEndClassDefinition(cls);
  rtRegisterClass(cls);
  return cls;
}

}  // namespace

uint64_t clipboardFailureCount() { return failures; }

extern "C" void SYSCLIPBOARD(Item* result, int, const Item*) {
  atBoundary([&] {
    static Class* cls = nullptr;
    {
      ClassLockGuard lock;
      if (!cls) cls = buildClass();
    }
    rtReturnObject(result, cls);
  });
}

}  // namespace hostrt

// The embedding API: the application's path into the runtime.

#include "hostrt/embed.h"

#include <string>

#include "clipboard_platform.h"
#include "error_internal.h"
#include "hostrt/object.h"
#include "library.h"
#include "named_access.h"
#include "text_encoding.h"

namespace hostrt {

namespace {

// Loads a library with open, for the C entry points: 1, or 0 with the
// reason in *error.
int loadWith(bool (*open)(const std::string&, std::string*), const char* path, Item* error) {
  return atBoundary([&] {
    std::string reason;
    bool loaded;
    {
      // The library's entry point runs inside: it is another module's code.
      ForeignCall call;
      loaded = open(path, &reason);
    }
    checkUnwind();
    if (!loaded && error) *error = Item::string(reason);
    return int(loaded);
  });
}

}  // namespace

extern "C" int rtLoadLibrary(const char* path, Item* error) {
  return loadWith(openLibrary, path, error);
}

#if defined(_WIN32)
extern "C" int rtLoadLibraryUtf8(const char* path, Item* error) {
  return loadWith(openLibraryUtf8, path, error);
}
#endif

extern "C" void rtSendNamed(Item* result, const char* message, int argc, const Item* argv) {
  atBoundary([&] {
    const Name name(message);
    rtSend(result, &name, argc, argv);
  });
}

extern "C" void rtGetMemberNamed(Item* result, const Item* object, const char* member) {
  atBoundary([&] {
    const Name name(member);
    rtGetMember(result, object, &name);
  });
}

extern "C" void rtSetMemberNamed(const Item* object, const char* member, const Item* value) {
  atBoundary([&] {
    const Name name(member);
    rtSetMember(object, &name, value);
  });
}

extern "C" void rtPublicMemberNames(Item* result, const Item* classObject) {
  atBoundary([&] {
    const Class* cls = classOf(*classObject);
    *result = Item::string(
        cls ? joinNames(cls->members, [](const MemberDef& m) { return !m.internal(); }) : "");
  });
}

extern "C" void rtClipboardText(Item* result) {
  atBoundary([&] { *result = Item::string(clipboardRead()); });
}

extern "C" uint64_t rtClipboardFailures() { return clipboardFailureCount(); }

extern "C" void rtSetCodePage(uint32_t cp) { setApplicationCodePage(cp); }

extern "C" uint32_t rtCodePage() { return applicationCodePage(); }

}  // namespace hostrt

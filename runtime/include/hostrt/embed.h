// The embedding API: what the application side (the command-line host, the
// tests) uses to drive plug-ins through the runtime.
//
// Everything goes through the runtime exactly as the application's own code
// would: public functions are called by their registered public names, and
// internal members and methods are refused. Names are matched without regard
// to letter case. Runtime errors that the handler unwinds arrive as
// RuntimeError. These are inline C++ forms of the C entry points in
// hostrt/hostrt.h (rtLoadLibrary, rtCallFunction, rtSendNamed, ...), so that
// no C++ name, type or exception crosses into the runtime.
//
// Thread safety: as for the operations it wraps.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hostrt/error.h"
#include "hostrt/functions.h"
#include "hostrt/hostrt.h"
#include "hostrt/item.h"
#include "hostrt/object.h"

namespace hostrt::embed {

namespace detail {
// Calls send(result, argc, argv) with the receiver followed by the arguments
// (see withReceiver), and turns an unwind into RuntimeError.
template <class Send>
Item sendWith(const Item& receiver, std::initializer_list<Item> args, Send send) {
  Item result;
  withReceiver(receiver, args, [&](int argc, const Item* argv) { send(&result, argc, argv); });
  checkUnwind();
  return result;
}
// The text of a string item that the runtime handed back.
inline std::string text(const Item& item) { return std::string(item.str()); }
// Sends, reads or assigns by name through one of the C entry points (the
// application's or the inspection's), and turns an unwind into RuntimeError.
inline Item send(void (*sender)(RtItem*, const char*, int, const RtItem*), const Item& receiver,
                 std::string_view message, std::initializer_list<Item> args) {
  std::string name(message);
  return sendWith(receiver, args, [&](Item* result, int argc, const Item* argv) {
    sender(result, name.c_str(), argc, argv);
  });
}
inline Item getMember(void (*getter)(RtItem*, const RtItem*, const char*), const Item& object,
                      std::string_view member) {
  Item result;
  getter(&result, &object, std::string(member).c_str());
  checkUnwind();
  return result;
}
inline void setMember(void (*setter)(const RtItem*, const char*, const RtItem*), const Item& object,
                      std::string_view member, const Item& value) {
  setter(&object, std::string(member).c_str(), &value);
  checkUnwind();
}
// Loads a library through one of the C entry points.
inline bool load(int (*loader)(const char*, RtItem*), const std::string& path, std::string* error) {
  Item reason;
  bool loaded = loader(path.c_str(), &reason) != 0;
  checkUnwind();
  if (!loaded && error) *error = text(reason);
  return loaded;
}
}  // namespace detail

// A member or message name that is used over and over (a member set on every
// position of an order): interned on first use, so that later uses skip
// folding and looking up its text. Copies the text; cheap to move.
class Name {
 public:
  explicit Name(std::string_view text)
      : text_(std::make_unique<const std::string>(text)), name_(text_->c_str()) {}
  const std::string& text() const { return *text_; }
  const hostrt::Name& name() const { return name_; }

 private:
  std::unique_ptr<const std::string> text_;  // the bytes name_ points into, fixed across moves
  hostrt::Name name_;                        // the text and its symbol once interned
};

// Loads a library for the life of the process. A plug-in needs nothing more:
// it registers its classes with the runtime as it is loaded. False, with the
// system's reason in *error, when it cannot be loaded. A path without a
// directory names a file in the current directory, not one on the search path.
// On Windows the path is in the application's code page (setCodePage), and
// the library's imports are looked for in its folder and the system folder.
inline bool loadLibrary(const std::string& path, std::string* error) {
  return detail::load(rtLoadLibrary, path, error);
}
#if defined(_WIN32)
// As loadLibrary, with the path and the reason in UTF-8 whatever the code
// page: for a path that the application's code page cannot hold.
inline bool loadLibraryUtf8(const std::string& path, std::string* error) {
  return detail::load(rtLoadLibraryUtf8, path, error);
}
#endif
// Calls a public function by name; a runtime error when there is none.
inline Item callFunction(std::string_view publicName, std::initializer_list<Item> args = {}) {
  std::vector<Item> argv(args);
  Item result;
  rtCallFunction(&result, std::string(publicName).c_str(), int(argv.size()), argv.data());
  checkUnwind();
  return result;
}
inline Item send(const Item& receiver, std::string_view message,
                 std::initializer_list<Item> args = {}) {
  return detail::send(rtSendNamed, receiver, message, args);
}
inline Item getMember(const Item& object, std::string_view member) {
  return detail::getMember(rtGetMemberNamed, object, member);
}
inline void setMember(const Item& object, std::string_view member, const Item& value) {
  detail::setMember(rtSetMemberNamed, object, member, value);
}
// The same three with a Name: what the by-text forms do, without the lookup.
inline Item send(const Item& receiver, const Name& message, std::initializer_list<Item> args = {}) {
  return detail::sendWith(receiver, args, [&](Item* result, int argc, const Item* argv) {
    rtSend(result, &message.name(), argc, argv);
  });
}
inline Item getMember(const Item& object, const Name& member) {
  Item result;
  rtGetMember(&result, &object, &member.name());
  checkUnwind();
  return result;
}
inline void setMember(const Item& object, const Name& member, const Item& value) {
  rtSetMember(&object, &member.name(), &value);
  checkUnwind();
}
// Creates an instance of a class object and runs its init with the arguments.
inline Item newInstance(const Item& classObject, std::initializer_list<Item> args = {}) {
  static const Name kNew("New");
  return send(classObject, kNew, args);
}
// The public members a class declares, in declaration order: "a,b,c".
inline std::string memberNames(const Item& classObject) {
  Item names;
  rtPublicMemberNames(&names, &classObject);
  checkUnwind();
  return detail::text(names);
}
// Installs an error handler, returning the previous one (see error.h).
inline ErrorHandler setErrorHandler(ErrorHandler handler) {
  return hostrt::setErrorHandler(std::move(handler));
}
// The text on the clipboard.
inline std::string clipboardText() {
  Item text;
  rtClipboardText(&text);
  checkUnwind();
  return detail::text(text);
}
// How many times text that a clipboard object of this thread was to put on
// the clipboard did not get there: the clipboard could not be opened (another
// program held it for longer than the runtime waits) or did not take the
// text. The clipboard class's methods report no failure, so an application
// compares the count before and after a call to learn that it happened.
inline uint64_t clipboardFailures() { return rtClipboardFailures(); }

// The Windows code page of the application's strings (65001 for UTF-8),
// from which the runtime converts file names and clipboard text for the
// system's wide functions on Windows; 1252 until set. Set it before anything
// is sent. On other systems strings reach the system as bytes and it is
// only kept.
inline void setCodePage(uint32_t codePage) { rtSetCodePage(codePage); }
inline uint32_t codePage() { return rtCodePage(); }

}  // namespace hostrt::embed

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
#include <string>
#include <string_view>
#include <vector>

#include "hostrt/error.h"
#include "hostrt/functions.h"
#include "hostrt/hostrt.h"
#include "hostrt/item.h"

namespace hostrt::embed {

namespace detail {
// The receiver followed by the arguments, laid out for the C interface.
inline std::vector<Item> withReceiver(const Item& receiver, std::initializer_list<Item> args) {
  std::vector<Item> argv;
  argv.reserve(args.size() + 1);
  argv.push_back(receiver);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}
// The text of a string item that the runtime handed back.
inline std::string text(const Item& item) { return std::string(item.str()); }
// Sends, reads or assigns by name through one of the C entry points (the
// application's or the inspection's), and turns an unwind into RuntimeError.
inline Item send(void (*sender)(RtItem*, const char*, int, const RtItem*), const Item& receiver,
                 std::string_view message, std::initializer_list<Item> args) {
  std::vector<Item> argv = withReceiver(receiver, args);
  Item result;
  sender(&result, std::string(message).c_str(), int(argv.size()), argv.data());
  checkUnwind();
  return result;
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
// Creates an instance of a class object and runs its init with the arguments.
inline Item newInstance(const Item& classObject, std::initializer_list<Item> args = {}) {
  return send(classObject, "New", args);
}
inline Item getMember(const Item& object, std::string_view member) {
  return detail::getMember(rtGetMemberNamed, object, member);
}
inline void setMember(const Item& object, std::string_view member, const Item& value) {
  detail::setMember(rtSetMemberNamed, object, member, value);
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

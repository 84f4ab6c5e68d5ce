// The embedding API: what the application side (the command-line host, the
// tests) uses to drive plug-ins through the runtime.
//
// Everything goes through the runtime exactly as the application's own code
// would: public functions are called by their registered public names, and
// internal members and methods are refused. Names are matched without regard
// to letter case. Runtime errors that the handler unwinds arrive as
// RuntimeError.
//
// Thread safety: as for the operations it wraps.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "hostrt/error.h"
#include "hostrt/export.h"
#include "hostrt/functions.h"
#include "hostrt/item.h"

namespace hostrt {

extern "C" {
// The public function registry: plug-ins' class functions and the runtime's
// own functions, by public name.
HOSTRT_API void rtRegisterFunction(const char* publicName, RtFunction fn);
HOSTRT_API void rtUnregisterFunction(const char* publicName, RtFunction fn);
HOSTRT_API RtFunction rtFindFunction(const char* publicName);
}

namespace embed {

// Loads a library for the life of the process. A plug-in needs nothing more:
// it registers its classes with the runtime as it is loaded. False, with the
// system's reason in *error, when it cannot be loaded. A path without a
// directory names a file in the current directory, not one on the search path.
// On Windows the path is in the application's code page (setCodePage), and
// the library's imports are looked for in its folder and the system folder.
HOSTRT_API bool loadLibrary(const std::string& path, std::string* error);
// Calls a public function by name; a runtime error when there is none.
HOSTRT_API Item callFunction(std::string_view publicName, std::initializer_list<Item> args = {});
// Creates an instance of a class object and runs its init with the arguments.
HOSTRT_API Item newInstance(const Item& classObject, std::initializer_list<Item> args = {});
HOSTRT_API Item send(const Item& receiver, std::string_view message,
                     std::initializer_list<Item> args = {});
HOSTRT_API Item getMember(const Item& object, std::string_view member);
HOSTRT_API void setMember(const Item& object, std::string_view member, const Item& value);
// The public members a class declares, in declaration order: "a,b,c".
HOSTRT_API std::string memberNames(const Item& classObject);
// Installs an error handler, returning the previous one (see error.h).
HOSTRT_API ErrorHandler setErrorHandler(ErrorHandler handler);
// The text on the clipboard.
HOSTRT_API std::string clipboardText();
// How many times text that a clipboard object of this thread was to put on
// the clipboard did not get there: the clipboard could not be opened (another
// program held it for longer than the runtime waits) or did not take the
// text. The clipboard class's methods report no failure, so an application
// compares the count before and after a call to learn that it happened.
HOSTRT_API uint64_t clipboardFailures();

// The Windows code page of the application's strings (65001 for UTF-8),
// from which the runtime converts file names and clipboard text for the
// system's wide functions on Windows; 1252 until set. Set it before anything
// is sent. On other systems strings reach the system as bytes and it is
// only kept.
HOSTRT_API void setCodePage(uint32_t codePage);
HOSTRT_API uint32_t codePage();

}  // namespace embed
}  // namespace hostrt

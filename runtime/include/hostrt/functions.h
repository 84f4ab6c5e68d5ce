// The runtime's functions for strings, arrays and files.
//
// Every function follows the runtime's calling convention: it gets a result
// item, an argument count and the arguments, and writes its result into the
// result item. An argument of the wrong kind is a runtime error naming the
// function. The C++ helper `Call` wraps the convention for callers in C++ and
// records the caller's line in the innermost frame.
//
// Thread safety: the string functions are pure. The file functions share one
// handle table guarded by a mutex; FERROR reports the calling thread's last
// error.
#pragma once

#include <initializer_list>

#include "hostrt/export.h"
#include "hostrt/item.h"
#include "hostrt/ops.h"

namespace hostrt {

// A runtime function or a class function.
using RtFunction = void (*)(Item* result, int argc, const Item* argv);

extern "C" {
// PADR(text, len): the text padded with blanks on the right, or cut, to exactly len bytes.
HOSTRT_API void PADR(Item* result, int argc, const Item* argv);
// STRZERO(n, len[, dec]): n rounded half away from zero to dec decimals (0 when
// omitted), right-aligned with leading zeros, a minus sign in front of the
// zeros; len asterisks when it does not fit.
HOSTRT_API void STRZERO(Item* result, int argc, const Item* argv);
// STRTRAN(text, search, replace): every occurrence replaced; an empty search
// string leaves the text unchanged.
HOSTRT_API void STRTRAN(Item* result, int argc, const Item* argv);
// LEN(x): bytes of a string, elements of an array.
HOSTRT_API void LEN(Item* result, int argc, const Item* argv);
// EMPTY(x): true for nil, false, 0, "", an empty array, and a string made only
// of blanks, tabs, carriage returns and line feeds.
HOSTRT_API void EMPTY(Item* result, int argc, const Item* argv);
// CHR(n): the one-byte string of code n.
HOSTRT_API void CHR(Item* result, int argc, const Item* argv);
// ACREATE(args...): a new array holding the arguments in order.
HOSTRT_API void ACREATE(Item* result, int argc, const Item* argv);

// File functions. Names are the application's Windows paths: on POSIX every
// backslash is a directory separator.
// FERASE(name): 0 when the file was removed, -1 otherwise.
HOSTRT_API void FERASE(Item* result, int argc, const Item* argv);
// FCREATE(name, attr): creates or truncates the file; a handle, or -1.
HOSTRT_API void FCREATE(Item* result, int argc, const Item* argv);
// FCREATETEMP(name): creates a new, empty temporary file beside the file
// name, named name.<process>.<n>.tmp, to become name by FCOMMIT; a handle,
// or -1. Closed with FCLOSE instead, or when FCOMMIT fails, it is removed.
HOSTRT_API void FCREATETEMP(Item* result, int argc, const Item* argv);
// FWRITE(handle, text[, count]): writes the text (or its first count bytes),
// carrying on after partial and interrupted writes; the count actually written.
HOSTRT_API void FWRITE(Item* result, int argc, const Item* argv);
// FCLOSE(handle): true when the file was closed without error.
HOSTRT_API void FCLOSE(Item* result, int argc, const Item* argv);
// FCOMMIT(handle): writes the file through to the disk and closes it; a
// temporary file then replaces the file it was made for in one step, so that
// file is at every instant either the earlier one or complete. True on
// success. A temporary file that had a failed write, or that could not be
// flushed, closed or renamed, is removed instead: false, and FERROR gives the
// first error.
HOSTRT_API void FCOMMIT(Item* result, int argc, const Item* argv);
// FERROR(): the operating-system error code of this thread's last file
// function, 0 after success.
HOSTRT_API void FERROR(Item* result, int argc, const Item* argv);
}

// Calls a runtime function from C++: Call(PADR)(text, width).
class Call {
 public:
  explicit Call(RtFunction fn, Where where = Where::current()) : fn_(fn), line_(where.line()) {}

  template <class... Args>
  Item operator()(const Args&... args) const {
    const Item argv[sizeof...(Args) > 0 ? sizeof...(Args) : 1] = {args...};
    noteLine(line_);
    Item result;
    fn_(&result, int(sizeof...(Args)), argv);
    return result;
  }

 private:
  RtFunction fn_;  // the function to call
  int line_;       // the caller's line
};

}  // namespace hostrt

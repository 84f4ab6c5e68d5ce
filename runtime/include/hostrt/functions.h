// The runtime's functions for strings, arrays and files.
//
// Every function follows the runtime's calling convention: it gets a result
// item, an argument count and the arguments, and writes its result into the
// result item. An argument of the wrong kind is a runtime error naming the
// function. The functions themselves are declared, with C linkage, in
// hostrt/hostrt.h. From C++ they are called with `call`, which wraps the
// convention and records the caller's line in the innermost frame:
// `Item padded = call(PADR)(text, width);`, and as a statement
// `call(FERASE)(name);`.
//
// Thread safety: the string functions are pure. The file functions share one
// handle table guarded by a mutex; FERROR reports the calling thread's last
// error.
#pragma once

#include "hostrt/error.h"
#include "hostrt/hostrt.h"
#include "hostrt/item.h"
#include "hostrt/ops.h"
#include "hostrt/where.h"

// The functions, documented here; declared in hostrt/hostrt.h.
//
// PADR(text, len): the text padded with blanks on the right, or cut, to exactly len bytes.
// STRZERO(n, len[, dec]): n rounded half away from zero to dec decimals (0 when
//   omitted), right-aligned with leading zeros, a minus sign in front of the
//   zeros; len asterisks when it does not fit.
// STRTRAN(text, search, replace): every occurrence replaced; an empty search
//   string leaves the text unchanged.
// LEN(x): bytes of a string, elements of an array.
// EMPTY(x): true for nil, false, 0, "", an empty array, and a string made only
//   of blanks, tabs, carriage returns and line feeds.
// CHR(n): the one-byte string of code n.
// ACREATE(args...): a new array holding the arguments in order.
//
// File functions. Names are the application's Windows paths: on POSIX every
// backslash is a directory separator.
// FERASE(name): 0 when the file was removed, -1 otherwise.
// FCREATE(name, attr): creates or truncates the file; a handle, or -1.
// FCREATETEMP(name): creates a new, empty temporary file beside the file
//   name, named name.<process>.<n>.tmp, to become name by FCOMMIT; a handle,
//   or -1. Closed with FCLOSE instead, or when FCOMMIT fails, it is removed.
// FWRITE(handle, text[, count]): writes the text (or its first count bytes),
//   carrying on after partial and interrupted writes; the count actually written.
// FCLOSE(handle): true when the file was closed without error.
// FCOMMIT(handle): writes the file through to the disk and closes it; a
//   temporary file then replaces the file it was made for in one step, so that
//   file is at every instant either the earlier one or complete. True on
//   success. A temporary file that had a failed write, or that could not be
//   flushed, closed or renamed, is removed instead: false, and FERROR gives the
//   first error.
// FERROR(): the operating-system error code of this thread's last file
//   function, 0 after success.

namespace hostrt {

// A runtime function or a class function.
using RtFunction = ::RtFunction;

// A call of a runtime function from C++, bound to the caller's line.
class Call {
 public:
  explicit Call(RtFunction fn, Where where = Where::current()) : fn_(fn), line_(where.line()) {}

  template <class... Args>
  Item operator()(const Args&... args) const {
    BorrowedItems<sizeof...(Args)> argv;
    (argv.push(args), ...);
    rtNoteLine(line_);
    Item result;
    fn_(&result, argv.size(), argv.data());
    checkUnwind();
    return result;
  }

 private:
  RtFunction fn_;  // the function to call
  int line_;       // the caller's line
};

// The one spelling of a call: call(PADR)(text, width).
inline Call call(RtFunction fn, Where where = Where::current()) { return Call(fn, where); }

}  // namespace hostrt

// Windows: the standard streams of velmoran-send carry bytes, as on POSIX.
// The C runtime opens them in text mode, which would add a carriage return
// before every line feed of the result message and end standard input at a
// Ctrl-Z byte. Set before main runs.

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

const bool kBinaryStdio = [] {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return true;
}();

}  // namespace

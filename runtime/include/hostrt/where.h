// The caller's source line, taken where an operation is called: as a default
// argument, Where::current() evaluates at the call site. (The compiler
// built-in serves where std::source_location is not available.) Operations,
// frames and sends record it in the innermost frame so that an error names
// the statement that failed.
//
// Thread safety: a plain value.
#pragma once

namespace hostrt {

class Where {
 public:
  static constexpr Where current(unsigned line = __builtin_LINE()) { return Where(line); }
  constexpr unsigned line() const { return line_; }

 private:
  constexpr explicit Where(unsigned line) : line_(line) {}
  unsigned line_;  // 1-based line in the caller's source file
};

}  // namespace hostrt

#include <cstdio>
#include "thrower.h"
struct Guard {
  const char* name;
  ~Guard() { std::printf("~Guard(%s)\n", name); }
};
__attribute__((noinline)) static void inner(int code) {
  Guard g{"inner"};
  raise_fault(code);
}
extern "C" __declspec(dllexport) void pass_fault(int code) {
  Guard g{"outer"};
  try {
    inner(code);
  } catch (const Fault&) {
    std::printf("rethrow\n");
    throw;
  }
}

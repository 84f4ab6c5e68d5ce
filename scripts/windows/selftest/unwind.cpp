#include <cstdio>
#include "thrower.h"
extern "C" __declspec(dllimport) void pass_fault(int code);
int main() {
  try {
    pass_fault(42);
  } catch (const Fault& f) {
    std::printf("caught Fault %d\n", f.code());
    return f.code() == 42 ? 0 : 1;
  } catch (...) {
    std::printf("caught something else\n");
  }
  return 1;
}

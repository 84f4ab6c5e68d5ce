#define THROWER_BUILDING
#include "thrower.h"
Fault::Fault(int code) : std::runtime_error("fault from thrower.dll"), code_(code) {}
Fault::~Fault() = default;
void raise_fault(int code) { throw Fault(code); }

#include "pub.h"
extern "C" int ZULU() { return 1; }
extern "C" int ALPHA() { return 2; }
extern "C" int MIKE() { return 3; }
// aligned(4): without a user alignment gcc gives objects of 32 bytes and more a
// 32-byte alignment, and the assembler pads the section to that.
extern "C" __attribute__((section(".selfpub"), used, aligned(4))) const PubSection g_pub = {
    0x50554221, {{ZULU, "ZULU"}, {ALPHA, "ALPHA"}, {MIKE, "MIKE"}}};

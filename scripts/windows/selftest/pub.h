// A 64-byte public section: a 4-byte tag, then three absolute code addresses
// each followed by 16 bytes of name, all packed.
#pragma once
#include <cstdint>
using PubFn = int (*)();
struct __attribute__((packed)) PubEntry {
  PubFn fn;
  char name[16];
};
struct __attribute__((packed)) PubSection {
  std::uint32_t tag;
  PubEntry entries[3];
};
static_assert(sizeof(PubSection) == 64);

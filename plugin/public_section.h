// The library's public section ".hostpub": the layout the runtime reads
// through the module record to find the load handler and the public function
// table.
//
//   offset  contents
//   0       0
//   4       address of the load handler          (address-wide)
//   +4      12 zero bytes, then 0                 (end of the handler range at the 0)
//   ...     12 zero bytes, then 0, then 0
//   table   one entry per class function, in table order, packed back to back:
//             u32 entry size (16 + name + 1 on 32-bit targets, 20 + name + 1 on 64-bit)
//             function address                   (address-wide)
//             u32 reserved 0, u32 flags 0x20, the public name in upper case, NUL-terminated
//   end     u32 0, ending the table
//
// Every field is 32 bits except the two kinds of address field, which are as
// wide as an address: 252 bytes in all on a 32-bit target, 280 on a 64-bit
// one. The struct is packed, so address fields may be unaligned; the runtime
// reads them byte-wise. `Address` is the type of an address field: a real
// function pointer in the library itself, an integer of either width where
// the layout is examined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/class_functions.h"

namespace velmoran {

constexpr uint32_t kPublicEntryFlags = 0x20;

// The size of entry I's name with its NUL, and the name as an array of that
// size: made at compile time from the table, without referring to the function.
template <size_t I>
constexpr size_t kNameSize = std::char_traits<char>::length(kClassFunctions[I].name) + 1;

template <size_t I>
constexpr std::array<char, kNameSize<I>> kPublicName = [] {
  std::array<char, kNameSize<I>> name{};
  for (size_t i = 0; i < name.size(); ++i) name[i] = kClassFunctions[I].name[i];
  return name;
}();

#pragma pack(push, 1)

template <class Address, size_t NameSize>
struct PublicEntry {
  uint32_t size;          // bytes of this entry, name and NUL included
  Address function;       // the class function
  uint32_t reserved;      // 0
  uint32_t flags;         // kPublicEntryFlags
  char name[NameSize];    // public name, NUL-terminated
};

// The entries from table index I to the last, back to back.
template <class Address, size_t I>
struct PublicTable {
  PublicEntry<Address, kNameSize<I>> entry;
  PublicTable<Address, I + 1> rest;
};

template <class Address, size_t I>
  requires(I + 1 == kClassFunctionCount)
struct PublicTable<Address, I> {
  PublicEntry<Address, kNameSize<I>> entry;
};

template <class Handler, class Function>
struct PublicSection {
  uint32_t lead;                 // 0
  Handler loadHandler;           // start of the handler range
  uint8_t handlerTail[12];       // zero
  uint32_t handlerEnd;           // 0: end of the handler range
  uint8_t reserved[12];          // zero, enclosed by module record words 5 and 6
  uint32_t reservedEnd;          // 0
  uint32_t emptyRange;           // 0: module record words 1 and 2 both point here
  PublicTable<Function, 0> table;
  uint32_t tableEnd;             // 0, ending the table
};

#pragma pack(pop)

template <size_t I, class Function>
constexpr PublicEntry<Function, kNameSize<I>> publicEntry(Function function) {
  PublicEntry<Function, kNameSize<I>> entry{uint32_t(sizeof entry), function, 0,
                                            kPublicEntryFlags, {}};
  for (size_t i = 0; i < kNameSize<I>; ++i) entry.name[i] = kPublicName<I>[i];
  return entry;
}

template <class Function>
using PublicFunctions = std::array<Function, kClassFunctionCount>;

template <class Function, size_t I = 0>
constexpr PublicTable<Function, I> publicTable(const PublicFunctions<Function>& fns) {
  if constexpr (I + 1 == kClassFunctionCount) {
    return {publicEntry<I>(fns[I])};
  } else {
    return {publicEntry<I>(fns[I]), publicTable<Function, I + 1>(fns)};
  }
}

// Builds the section from a load handler and one function address per table
// entry, in table order.
template <class Handler, class Function>
constexpr PublicSection<Handler, Function> makePublicSection(
    Handler handler, const PublicFunctions<Function>& fns) {
  return {0, handler, {}, 0, {}, 0, 0, publicTable(fns), 0};
}

// The twelve words of the module record for a section at `base` (its
// address), in the record's order.
template <class Word, class Section>
constexpr void fillModuleRecord(Word (&words)[12], Word base, Word moduleHandle) {
  words[0] = base + offsetof(Section, emptyRange);
  words[1] = base + offsetof(Section, emptyRange);
  words[2] = base + offsetof(Section, loadHandler);
  words[3] = base + offsetof(Section, handlerEnd);
  words[4] = base + offsetof(Section, reserved);
  words[5] = base + offsetof(Section, reservedEnd);
  words[6] = base + offsetof(Section, table);
  words[7] = base + offsetof(Section, tableEnd);
  words[8] = 0;
  words[9] = moduleHandle;
  words[10] = 0x02000000;
  words[11] = 1;
}

}  // namespace velmoran

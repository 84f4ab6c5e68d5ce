// The library's public section ".hostpub": the layout the runtime reads
// through the module record to find the load handler and the public function
// table.
//
//   offset  contents
//   0       0
//   4       address of the load handler          (address-wide)
//   +4      12 zero bytes, then 0                 (end of the handler range at the 0)
//   ...     12 zero bytes, then 0, then 0
//   table   six entries, packed back to back:
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

namespace velmoran {

constexpr uint32_t kPublicEntryFlags = 0x20;

#pragma pack(push, 1)

template <class Address, size_t NameSize>
struct PublicEntry {
  uint32_t size;          // bytes of this entry, name and NUL included
  Address function;       // the class function
  uint32_t reserved;      // 0
  uint32_t flags;         // kPublicEntryFlags
  char name[NameSize];    // public name, NUL-terminated
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
  PublicEntry<Function, 19> sendOrderInterface;
  PublicEntry<Function, 16> orderStructure;
  PublicEntry<Function, 24> orderPositionStructure;
  PublicEntry<Function, 19> supplierStructure;
  PublicEntry<Function, 16> paramStructure;
  PublicEntry<Function, 14> velmoranOrder;
  uint32_t tableEnd;             // 0, ending the table
};

#pragma pack(pop)

template <class Function, size_t N>
constexpr PublicEntry<Function, N> publicEntry(Function function, const char (&name)[N]) {
  PublicEntry<Function, N> entry{uint32_t(sizeof(PublicEntry<Function, N>)), function, 0,
                                 kPublicEntryFlags, {}};
  for (size_t i = 0; i < N; ++i) entry.name[i] = name[i];
  return entry;
}

// Builds the section from a load handler and the six class functions, in
// table order.
template <class Handler, class Function>
constexpr PublicSection<Handler, Function> makePublicSection(Handler handler,
                                                             const Function (&fns)[6]) {
  return {0, handler, {}, 0, {}, 0, 0,
          publicEntry(fns[0], "SENDORDERINTERFACE"),
          publicEntry(fns[1], "ORDER_STRUCTURE"),
          publicEntry(fns[2], "ORDERPOSITION_STRUCTURE"),
          publicEntry(fns[3], "SUPPLIER_STRUCTURE"),
          publicEntry(fns[4], "PARAM_STRUCTURE"),
          publicEntry(fns[5], "VELMORANORDER"),
          0};
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
  words[6] = base + offsetof(Section, sendOrderInterface);
  words[7] = base + offsetof(Section, tableEnd);
  words[8] = 0;
  words[9] = moduleHandle;
  words[10] = 0x02000000;
  words[11] = 1;
}

}  // namespace velmoran

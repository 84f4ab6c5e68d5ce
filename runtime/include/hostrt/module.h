// Module registration: how a loaded library announces itself to the runtime.
//
// A library hands the runtime a module record of twelve address-wide words
// that point into its public section:
//
//   words 1-2   an empty range (both at the same address)
//   words 3-4   the handler range: the load handler's address, then zero words
//   words 5-6   a reserved range of zero bytes
//   words 7-8   the public function table, up to its terminating zero
//   word 9      0
//   word 10     the library's module handle
//   word 11     0x02000000
//   word 12     1
//
// rtModuleInsert calls the load handler (which prepares the library's literal
// items) and then registers every entry of the public function table under
// its public name; rtModuleRemove withdraws those names again, and with them
// every class whose methods (own or inherited) lie in the module's image, found
// by the module handle of word 10. A withdrawn class is no longer found by
// name, so loading the library again builds its classes afresh; an instance
// or class object of a withdrawn class answers every message with a runtime
// error, since its code may be unmapped. Table entries
// are: u32 entry size, an address-wide function address, u32 reserved, u32
// flags, the NUL-terminated name. Address fields may be unaligned and are read
// byte-wise.
//
// Thread safety: module operations are serialised by an internal mutex.
//
// The operations, with C linkage, are in hostrt/hostrt.h: the version marker
// rtRequireVersion_2_00 that a library calls first (the runtime answers its
// version), rtModuleInsert, rtModuleRemove, and rtModuleCount / rtModuleAt
// (the number of modules inserted and the record of the i-th, from 0).
#pragma once

#include <cstdint>

#include "hostrt/hostrt.h"

namespace hostrt {

using ModuleRecord = RtModuleRecord;  // words as listed above, word 1 first
using LoadHandler = RtLoadHandler;

}  // namespace hostrt

// The runtime's storage behind items: heap strings and arrays. Only the
// runtime (and its white-box tests) see these structures; across the C
// interface they are opaque pointers in the item's payload.
//
// Thread safety: the reference counts are atomic; the contents are not
// synchronised (as for Item).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "hostrt/item.h"

namespace hostrt {

// Heap storage of a string held by pointer.
struct StringBuffer {
  std::atomic<int32_t> refs{1};  // number of items sharing this buffer
  std::string bytes;             // the string's bytes, NUL bytes allowed
};

// Storage of an array; arrays are shared by reference, never copied implicitly.
struct ArrayData {
  std::atomic<int32_t> refs{1};  // number of items sharing this array
  std::vector<Item> elements;    // element 1 is elements[0]
};

// The runtime's ways into an item beyond its public interface.
struct ItemAccess {
  static StringBuffer* buffer(const Item& item) {
    return item.kind_ == Kind::StringRef ? item.u_.ref.owner : nullptr;
  }
  // A string item that takes the bytes over without copying them.
  static Item adoptString(std::string&& bytes);
  static Item array(std::vector<Item>&& elements);
  // An object item; takes one more reference to the object.
  static Item object(Object* object);
};

}  // namespace hostrt

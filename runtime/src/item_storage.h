// The runtime's storage behind items: heap strings and arrays. Only the
// runtime (and its white-box tests) see these structures; across the C
// interface they are opaque pointers in the item's payload.
//
// Thread safety: the reference counts are atomic; the contents are not
// synchronised (as for Item).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
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

// A new array with no elements and one reference.
ArrayData* newArrayData();

// The runtime's ways into an item beyond its public interface. The setters
// let the fast paths of functions and operations write a result into the
// caller's item in place instead of building a temporary and moving it.
struct ItemAccess {
  static StringBuffer* buffer(const Item& item) {
    return item.kind_ == Kind::StringRef ? item.u_.ref.owner : nullptr;
  }
  // A string item that takes the bytes over without copying them.
  static Item adoptString(std::string&& bytes);
  static Item array(std::vector<Item>&& elements);
  // An object item; takes one more reference to the object.
  static Item object(Object* object);
  // The bytes of a string item (the caller has tested the kind).
  static std::string_view str(const Item& item) {
    if (item.kind_ == Kind::StringInline) return {item.u_.inl.bytes, item.u_.inl.len};
    if (item.u_.ref.owner) return item.u_.ref.owner->bytes;
    return {item.u_.ref.ptr, item.u_.ref.len};
  }

  // The heap buffer of a loaded string that no other item shares, which may
  // be changed in place; null for any other item.
  static StringBuffer* ownBuffer(const Item& item) {
    if (item.kind_ != Kind::StringRef || !item.loaded_) return nullptr;
    StringBuffer* b = item.u_.ref.owner;
    return b && b->refs.load(std::memory_order_acquire) == 1 ? b : nullptr;
  }

  // Makes the item the short string of `len` bytes. The bytes must not live
  // in the item's own storage, which this releases.
  static void setInline(Item& item, const char* bytes, size_t len) {
    item.release();
    item.loaded_ = true;
    item.kind_ = Kind::StringInline;
    item.u_.inl = {};
    std::memcpy(item.u_.inl.bytes, bytes, len);
    item.u_.inl.len = uint8_t(len);
  }
  // Makes the item the array `data`, taking over its one reference.
  static void setArray(Item& item, ArrayData* data) {
    item.release();
    item.loaded_ = true;
    item.kind_ = Kind::Array;
    item.u_.array = data;
  }
  static void setInteger(Item& item, int64_t value) {
    item.release();
    item.loaded_ = true;
    item.kind_ = Kind::Integer;
    item.u_.integer = value;
  }
  static void setLogical(Item& item, bool value) {
    item.release();
    item.loaded_ = true;
    item.kind_ = Kind::Logical;
    item.u_.logical = value;
  }
};

}  // namespace hostrt

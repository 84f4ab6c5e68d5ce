// The runtime's storage behind items: heap strings and arrays. Only the
// runtime (and its white-box tests) see these structures; across the C
// interface they are opaque pointers in the item's payload.
//
// Thread safety: the reference counts are atomic; the contents are not
// synchronised (as for Item).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostrt/item.h"
#include "pool.h"

namespace hostrt {

// Heap storage of a string held by pointer: one allocation holding this
// header, the string's bytes, a NUL after them and `spare` bytes more, into
// which appending to a buffer that no other item shares grows; when they run
// out the buffer grows geometrically.
struct StringBuffer {
  size_t length;                 // the string's bytes, NUL bytes allowed
  std::atomic<int32_t> refs{1};  // number of items sharing this buffer
  uint32_t spare;                // bytes allocated after the NUL, free for appending

  char* bytes() { return reinterpret_cast<char*>(this + 1); }
  const char* bytes() const { return reinterpret_cast<const char*>(this + 1); }
  std::string_view view() const { return {bytes(), length}; }
};

// A new buffer with one reference: `length` bytes for the caller to fill in,
// the NUL after them, and room to append about `room` more in place.
StringBuffer* newStringBuffer(size_t length, size_t room);
void deleteStringBuffer(StringBuffer* buffer);
// Appends tail (which may lie in the buffer itself) to a buffer that no other
// item shares. Returns the buffer, which has moved when it had to grow.
StringBuffer* appendToBuffer(StringBuffer* buffer, std::string_view tail);

// The elements of an array, in one block that grows geometrically through
// blockResize: once large, its pages move instead of its bytes. Items are
// relocated bytewise, which they allow: an item's value never points into
// the item itself.
//
// Thread safety: none; as an array's elements are.
class ItemArray {
 public:
  ItemArray() = default;
  ItemArray(const ItemArray&) = delete;
  ItemArray& operator=(const ItemArray&) = delete;
  ~ItemArray();

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Item& operator[](size_t i) { return items()[i]; }
  const Item& operator[](size_t i) const { return items()[i]; }

  void reserve(size_t count);
  // Copies first, so that an element of this array may be appended.
  void push_back(const Item& item) { push_back(Item(item)); }
  void push_back(Item&& item) {
    if (size_ == capacity_) reserve(capacity_ < 4 ? 4 : capacity_ * 2);
    new (&items()[size_]) Item(std::move(item));
    ++size_;
    if ((size_ & kItemsPerHugePageMask) == 0) faultInAhead();
  }

 private:
  // A long array filled element by element has its next huge page faulted
  // in while it fills this one (see faultInNextHugePage); asked for as the
  // elements cross into a new huge page and when the array grows.
  static constexpr size_t kItemsPerHugePageMask = kHugePageBytes / sizeof(Item) - 1;
  static_assert((kItemsPerHugePageMask & (kItemsPerHugePageMask + 1)) == 0);
  void faultInAhead() const;
  Item* items() const { return static_cast<Item*>(block_); }
  void* block_ = nullptr;  // capacity_ item places, the first size_ in use
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Storage of an array; arrays are shared by reference, never copied implicitly.
struct ArrayData {
  std::atomic<int32_t> refs{1};  // number of items sharing this array
  ItemArray elements;            // element 1 is elements[0]
};

// A new array with no elements and one reference.
ArrayData* newArrayData();

// The runtime's ways into an item beyond its public interface. The setters
// let the fast paths of functions and operations write a result into the
// caller's item in place instead of building a temporary and moving it.
struct ItemAccess {
  static StringBuffer* buffer(const Item& item) {
    return item.kind() == Kind::StringRef && !item.u_.word.length ? item.u_.word.value.buffer
                                                                  : nullptr;
  }
  // A string item of at most `size` bytes, which fill(char* out) writes and
  // whose count it returns; held inline when that count is small.
  template <class Fill>
  static Item buildString(size_t size, Fill&& fill) {
    Item item;
    writeString(item, size, std::forward<Fill>(fill));
    return item;
  }
  // Makes `item` such a string in place. fill may read the item's own bytes:
  // they are released only after it has run.
  template <class Fill>
  static void writeString(Item& item, size_t size, Fill&& fill);
  // head and tail joined in a new string item, inline when short; a heap one
  // gets `room` bytes more to append into. Either may be an item's own bytes.
  static Item joined(std::string_view head, std::string_view tail, size_t room = 0);
  // An object item; takes one more reference to the object.
  static Item object(Object* object);
  // The bytes of a string item (the caller has tested the kind).
  static std::string_view str(const Item& item) {
    if (item.kind() == Kind::StringInline) return {item.u_.inl.bytes, item.inlineLength()};
    if (item.u_.word.length) return {item.u_.word.value.bytes, item.u_.word.length};
    return item.u_.word.value.buffer->view();
  }

  // Appends tail to a loaded string whose heap buffer no other item shares,
  // in place (tail may be the item itself); false, doing nothing, for any
  // other item.
  static bool appendToOwnBuffer(Item& item, std::string_view tail) {
    StringBuffer* b = buffer(item);
    if (!b || !item.hasOps() || b->refs.load(std::memory_order_acquire) != 1) return false;
    item.u_.word.value.buffer = appendToBuffer(b, tail);
    return true;
  }
  // Makes the item the heap string `buffer`, taking over its one reference.
  static void setBuffer(Item& item, StringBuffer* buffer) {
    item.release();
    item.u_ = Item::Layout(Kind::StringRef, Item::kLoaded);
    item.u_.word.value.buffer = buffer;
  }

  // Makes the item the short string of `len` bytes. The bytes must not live
  // in the item's own storage, which this releases.
  static void setInline(Item& item, const char* bytes, size_t len) {
    item.release();
    item.u_.inl = {Kind::StringInline, uint8_t(Item::kLoaded | len << Item::kLengthShift), {}};
    Item::copyShort(item.u_.inl.bytes, bytes, len);
  }
  // Makes the item the array `data`, taking over its one reference.
  static void setArray(Item& item, ArrayData* data) {
    item.release();
    item.u_ = Item::Layout(Kind::Array, Item::kLoaded);
    item.u_.word.value.array = data;
  }
  static void setInteger(Item& item, int64_t value) {
    item.release();
    item.u_ = Item::Layout(Kind::Integer, Item::kLoaded);
    item.u_.word.value.integer = value;
  }
  static void setLogical(Item& item, bool value) {
    item.release();
    item.u_ = Item::Layout(Kind::Logical, Item::kLoaded);
    item.u_.word.value.logical = value;
  }
};

template <class Fill>
void ItemAccess::writeString(Item& item, size_t size, Fill&& fill) {
  if (size <= Item::kInlineCapacity) {
    char out[Item::kInlineCapacity];
    size_t used = fill(out);
    setInline(item, out, used);
    return;
  }
  StringBuffer* buffer = newStringBuffer(size, 0);
  size_t used = fill(buffer->bytes());
  if (used <= Item::kInlineCapacity) {
    setInline(item, buffer->bytes(), used);
    deleteStringBuffer(buffer);
    return;
  }
  buffer->spare = uint32_t(std::min<size_t>(size - used, UINT32_MAX));
  buffer->length = used;
  buffer->bytes()[used] = '\0';
  setBuffer(item, buffer);
}

}  // namespace hostrt

// Items: the operation tables of the kinds, item construction and the C
// operations on strings and arrays.

#include "hostrt/item.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "error_internal.h"
#include "hostrt/error.h"
#include "item_storage.h"
#include "object_internal.h"
#include "pool.h"

namespace hostrt {

namespace {

void retainNothing(const Item*) {}
void releaseNothing(Item*) {}

void retainString(const Item* item) {
  if (StringBuffer* b = ItemAccess::buffer(*item)) b->refs.fetch_add(1, std::memory_order_relaxed);
}
void releaseString(Item* item) {
  StringBuffer* b = ItemAccess::buffer(*item);
  if (b && b->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) deleteStringBuffer(b);
}
void retainArray(const Item* item) {
  item->arrayData()->refs.fetch_add(1, std::memory_order_relaxed);
}
void releaseArray(Item* item) {
  ArrayData* a = item->arrayData();
  if (a->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete a;
}
void retainObject(const Item* item) { retainObjectStorage(item->object()); }
void releaseObject(Item* item) { releaseObjectStorage(item->object()); }

}  // namespace

extern "C" const ItemOps rtItemOps[kKindCount] = {
    {RT_NIL, "nil", retainNothing, releaseNothing},
    {RT_LOGICAL, "logical", retainNothing, releaseNothing},
    {RT_INTEGER, "integer", retainNothing, releaseNothing},
    {RT_FLOAT, "float", retainNothing, releaseNothing},
    {RT_STRING_REF, "string", retainString, releaseString},
    {RT_STRING_INLINE, "string", retainNothing, releaseNothing},
    {RT_ARRAY, "array", retainArray, releaseArray},
    {RT_OBJECT, "object", retainObject, releaseObject},
};

extern "C" void rtInitLiteral(Item* item) { item->initLiteral(); }

extern "C" void rtNotLoaded(const char* operation) {
  atBoundary([&] {
    raiseError(kErrorNotLoaded, "literal item used before its library was loaded", operation);
  });
}

// The bytes allocated for a buffer holding `length` bytes and `spare` more.
size_t bufferSize(size_t length, size_t spare) {
  if (length > SIZE_MAX - sizeof(StringBuffer) - 1 - spare) throw std::bad_alloc();
  return sizeof(StringBuffer) + length + 1 + spare;
}

StringBuffer* newStringBuffer(size_t length, size_t room) {
  uint32_t spare = uint32_t(std::min<size_t>(room, UINT32_MAX));
  void* memory = blockAllocate(bufferSize(length, spare), SmallBlocks::kPooled);
  auto* buffer = new (memory) StringBuffer;
  buffer->length = length;
  buffer->spare = spare;
  buffer->bytes()[length] = '\0';
  return buffer;
}

void deleteStringBuffer(StringBuffer* buffer) {
  const size_t size = bufferSize(buffer->length, buffer->spare);
  buffer->~StringBuffer();
  blockFree(buffer, size, SmallBlocks::kPooled);
}

StringBuffer* appendToBuffer(StringBuffer* buffer, std::string_view tail) {
  size_t length = buffer->length, count = tail.size();
  bool grown = false;
  if (count <= buffer->spare) {
    buffer->spare -= uint32_t(count);
  } else {
    grown = true;
    // Grow to twice the new length; a tail inside the buffer moves with it.
    size_t at = uintptr_t(tail.data()) - uintptr_t(buffer->bytes());
    bool inside = at < length;
    if (count > SIZE_MAX / 2 - length) throw std::bad_alloc();
    uint32_t spare = uint32_t(std::min<size_t>(std::max<size_t>(length + count, 32), UINT32_MAX));
    void* memory =
        blockResize(buffer, bufferSize(length, buffer->spare), bufferSize(length + count, spare),
                    SmallBlocks::kPooled);
    buffer = static_cast<StringBuffer*>(memory);
    buffer->spare = spare;
    if (inside) tail = {buffer->bytes() + at, count};
  }
  std::memmove(buffer->bytes() + length, tail.data(), count);
  buffer->length = length + count;
  buffer->bytes()[length + count] = '\0';
  // A long text that keeps growing has its next huge page faulted in while
  // it fills this one.
  const size_t end = sizeof(StringBuffer) + length + count;
  if (grown || (end - count) / kHugePageBytes != end / kHugePageBytes) {
    faultInNextHugePage(buffer, bufferSize(length + count, buffer->spare), end);
  }
  return buffer;
}

ItemArray::~ItemArray() {
  for (size_t i = size_; i-- > 0;) items()[i].~Item();
  blockFree(block_, capacity_ * sizeof(Item), SmallBlocks::kMalloc);
}

void ItemArray::reserve(size_t count) {
  if (count <= capacity_) return;
  if (count > SIZE_MAX / sizeof(Item)) throw std::bad_alloc();
  block_ = block_ ? blockResize(block_, capacity_ * sizeof(Item), count * sizeof(Item),
                                SmallBlocks::kMalloc)
                  : blockAllocate(count * sizeof(Item), SmallBlocks::kMalloc);
  capacity_ = count;
  faultInAhead();
}

void ItemArray::faultInAhead() const {
  faultInNextHugePage(block_, capacity_ * sizeof(Item), size_ * sizeof(Item));
}

Item ItemAccess::joined(std::string_view head, std::string_view tail, size_t room) {
  const size_t size = head.size() + tail.size();
  auto fill = [&](char* out) {
    std::memcpy(out, head.data(), head.size());
    std::memcpy(out + head.size(), tail.data(), tail.size());
    return size;
  };
  if (room == 0 || size <= Item::kInlineCapacity) return buildString(size, fill);
  StringBuffer* buffer = newStringBuffer(size, room);
  fill(buffer->bytes());
  Item item;
  setBuffer(item, buffer);
  return item;
}

Item ItemAccess::object(Object* object) {
  retainObjectStorage(object);
  Item item;
  item.u_.word.kind = Kind::Object;
  item.u_.word.value.object = object;
  return item;
}

extern "C" void rtNewString(Item* result, const char* bytes, size_t len) {
  atBoundary([&] {
    *result = ItemAccess::buildString(len, [&](char* out) {
      if (len) std::memcpy(out, bytes, len);
      return len;
    });
  });
}

extern "C" const char* rtStringBytes(const Item* item, size_t* len) {
  if (StringBuffer* b = ItemAccess::buffer(*item)) {
    *len = b->length;
    return b->bytes();
  }
  std::string_view bytes = item->isString() ? item->str() : std::string_view();
  *len = bytes.size();
  return bytes.data();
}

extern "C" void rtAppendBytes(Item* target, const char* bytes, size_t len) {
  atBoundary([&] {
    Item& self = *target;
    std::string_view tail(bytes, len);
    if (!self.hasOps()) rtNotLoaded("copy");
    if (ItemAccess::appendToOwnBuffer(self, tail)) return;
    // A first heap buffer, or a copy of a shared one, gets room to grow into.
    std::string_view head = self.str();
    self = ItemAccess::joined(head, tail, std::max<size_t>(head.size() + tail.size(), 32));
  });
}

namespace {

// A new array of `count` elements, each placed by put(elements, i).
template <class Put>
Item arrayOf(int count, Put put) {
  Item array;
  ItemAccess::setArray(array, newArrayData());
  ItemArray& elements = array.arrayData()->elements;
  elements.reserve(size_t(std::max(count, 0)));
  for (int i = 0; i < count; ++i) put(elements, i);
  return array;
}

// Appends the element, leaving it nil. A literal not yet loaded is copied,
// so that it fails as a copy does.
void appendTaking(ItemArray& elements, Item& element) {
  if (element.hasOps()) {
    elements.push_back(std::move(element));
  } else {
    elements.push_back(element);
  }
}

}  // namespace

extern "C" void rtNewArray(Item* result, int count, const Item* elements) {
  atBoundary([&] {
    *result = arrayOf(elements ? count : 0,
                      [&](ItemArray& copies, int i) { copies.push_back(elements[i]); });
  });
}

extern "C" void rtNewArrayTaking(Item* result, int count, Item* elements) {
  atBoundary([&] {
    *result = arrayOf(elements ? count : 0,
                      [&](ItemArray& taken, int i) { appendTaking(taken, elements[i]); });
  });
}

extern "C" void rtArrayAppendTaking(Item* array, Item* element) {
  atBoundary([&] {
    if (!array->isArray() || !array->hasOps()) {
      raiseError(kErrorArgument,
                 std::string("the target is a ") + array->kindName() + ", not an array",
                 "array append", {*array});
      return;
    }
    appendTaking(array->arrayData()->elements, *element);
  });
}

extern "C" int rtArrayLength(const Item* array) {
  return array->isArray() ? int(array->arrayData()->elements.size()) : 0;
}

extern "C" void rtArrayAt(Item* result, const Item* array, int index) {
  atBoundary([&] {
    if (!array->isArray() || index < 1 || size_t(index) > array->arrayData()->elements.size()) {
      *result = Item();
      return;
    }
    *result = array->arrayData()->elements[size_t(index) - 1];
  });
}

ArrayData* newArrayData() { return new ArrayData; }

}  // namespace hostrt

// Items: the operation tables of the kinds, item construction and the C
// operations on strings and arrays.

#include "hostrt/item.h"

#include <algorithm>

#include "error_internal.h"
#include "hostrt/error.h"
#include "item_storage.h"
#include "object_internal.h"

namespace hostrt {

namespace {

void retainNothing(const Item*) {}
void releaseNothing(Item*) {}

void retainString(const Item* item) {
  if (StringBuffer* b = ItemAccess::buffer(*item)) b->refs.fetch_add(1, std::memory_order_relaxed);
}
void releaseString(Item* item) {
  StringBuffer* b = ItemAccess::buffer(*item);
  if (b && b->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete b;
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

Item ItemAccess::adoptString(std::string&& bytes) {
  if (bytes.size() <= Item::kInlineCapacity) return Item::string(std::string_view(bytes));
  Item item;
  auto* buffer = new StringBuffer;
  buffer->bytes = std::move(bytes);
  item.kind_ = Kind::StringRef;
  item.u_.ref = {nullptr, 0, buffer};
  return item;
}

Item ItemAccess::array(std::vector<Item>&& elements) {
  Item item;
  auto* data = new ArrayData;
  data->elements = std::move(elements);
  item.kind_ = Kind::Array;
  item.u_.array = data;
  return item;
}

Item ItemAccess::object(Object* object) {
  retainObjectStorage(object);
  Item item;
  item.kind_ = Kind::Object;
  item.u_.object = object;
  return item;
}

extern "C" void rtNewString(Item* result, const char* bytes, size_t len) {
  atBoundary([&] { *result = ItemAccess::adoptString(std::string(bytes, len)); });
}

extern "C" const char* rtStringBytes(const Item* item, size_t* len) {
  if (StringBuffer* b = ItemAccess::buffer(*item)) {
    *len = b->bytes.size();
    return b->bytes.data();
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
    StringBuffer* owned = ItemAccess::buffer(self);
    if (owned && owned->refs.load(std::memory_order_acquire) == 1) {
      owned->bytes.append(tail);
      return;
    }
    std::string_view head = self.str();
    std::string grown;
    grown.reserve(head.size() + tail.size() <= Item::kInlineCapacity
                      ? head.size() + tail.size()
                      : std::max<size_t>(2 * (head.size() + tail.size()), 64));
    grown.append(head).append(tail);
    self = ItemAccess::adoptString(std::move(grown));
  });
}

extern "C" void rtNewArray(Item* result, int count, const Item* elements) {
  atBoundary([&] {
    std::vector<Item> copies;
    if (count > 0 && elements) copies.assign(elements, elements + count);
    *result = ItemAccess::array(std::move(copies));
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

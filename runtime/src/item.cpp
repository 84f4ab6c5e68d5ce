// Item storage: construction, copying, reference counting and the per-kind
// operation tables.

#include "hostrt/item.h"

#include "hostrt/error.h"
#include "object_internal.h"

namespace hostrt {

namespace {

void retainNothing(const Item&) {}
void releaseNothing(Item&) {}

void retainString(const Item& item) {
  if (item.kind() != Kind::StringRef) return;
  // The buffer pointer lives in the payload; ItemAccess reads it.
  if (StringBuffer* b = ItemAccess::buffer(item)) b->refs.fetch_add(1, std::memory_order_relaxed);
}
void releaseString(Item& item) {
  StringBuffer* b = ItemAccess::buffer(item);
  if (b && b->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete b;
}
void retainArray(const Item& item) {
  item.arrayData()->refs.fetch_add(1, std::memory_order_relaxed);
}
void releaseArray(Item& item) {
  ArrayData* a = item.arrayData();
  if (a->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete a;
}
void retainObject(const Item& item) { retainObjectStorage(item.object()); }
void releaseObject(Item& item) { releaseObjectStorage(item.object()); }

}  // namespace

extern "C" const ItemOps rtItemOps[kKindCount] = {
    {Kind::Nil, "nil", retainNothing, releaseNothing},
    {Kind::Logical, "logical", retainNothing, releaseNothing},
    {Kind::Integer, "integer", retainNothing, releaseNothing},
    {Kind::Float, "float", retainNothing, releaseNothing},
    {Kind::StringRef, "string", retainString, releaseString},
    {Kind::StringInline, "string", retainNothing, releaseNothing},
    {Kind::Array, "array", retainArray, releaseArray},
    {Kind::Object, "object", retainObject, releaseObject},
};

extern "C" void rtInitLiteral(Item* item) { item->initLiteral(); }

void Item::checkOps() const {
  if (!loaded_) {
    raiseError(kErrorNotLoaded, "literal item used before its library was loaded", "copy");
  }
}

void Item::initLiteral() { loaded_ = true; }

const char* Item::kindName() const { return rtItemOps[int(kind_)].name; }

Item Item::logical(bool value) {
  Item item;
  item.kind_ = Kind::Logical;
  item.u_.logical = value;
  return item;
}

Item Item::integer(int64_t value) {
  Item item;
  item.kind_ = Kind::Integer;
  item.u_.integer = value;
  return item;
}

Item Item::real(double value) {
  Item item;
  item.kind_ = Kind::Float;
  item.u_.real = value;
  return item;
}

Item Item::string(std::string_view bytes) {
  Item item;
  if (bytes.size() <= kInlineCapacity) {
    item.kind_ = Kind::StringInline;
    item.u_.inl = {};
    std::memcpy(item.u_.inl.bytes, bytes.data(), bytes.size());
    item.u_.inl.len = uint8_t(bytes.size());
    return item;
  }
  return string(std::string(bytes));
}

Item Item::string(std::string&& bytes) {
  if (bytes.size() <= kInlineCapacity) return string(std::string_view(bytes));
  Item item;
  auto* buffer = new StringBuffer;
  buffer->bytes = std::move(bytes);
  item.kind_ = Kind::StringRef;
  item.u_.ref = {nullptr, 0, buffer};
  return item;
}

Item Item::array(std::vector<Item> elements) {
  Item item;
  auto* data = new ArrayData;
  data->elements = std::move(elements);
  item.kind_ = Kind::Array;
  item.u_.array = data;
  return item;
}

Item Item::object(Object* object) {
  retainObjectStorage(object);
  Item item;
  item.kind_ = Kind::Object;
  item.u_.object = object;
  return item;
}

std::string_view Item::str() const {
  if (kind_ == Kind::StringInline) return {u_.inl.bytes, u_.inl.len};
  if (u_.ref.owner) return u_.ref.owner->bytes;
  return {u_.ref.ptr, u_.ref.len};
}

void Item::appendBytes(std::string_view tail) {
  checkOps();
  if (kind_ == Kind::StringRef && u_.ref.owner &&
      u_.ref.owner->refs.load(std::memory_order_acquire) == 1) {
    u_.ref.owner->bytes.append(tail);
    return;
  }
  std::string_view head = str();
  if (head.size() + tail.size() <= kInlineCapacity) {
    *this = string(std::string(head).append(tail));
    return;
  }
  // Start a buffer of our own with room to grow; later appends reuse it.
  std::string bytes;
  bytes.reserve(std::max<size_t>(2 * (head.size() + tail.size()), 64));
  bytes.append(head).append(tail);
  Item grown;
  auto* buffer = new StringBuffer;
  buffer->bytes = std::move(bytes);
  grown.kind_ = Kind::StringRef;
  grown.u_.ref = {nullptr, 0, buffer};
  *this = std::move(grown);
}

ArrayData* newArrayData() { return new ArrayData; }

StringBuffer* ItemAccess::buffer(const Item& item) {
  return item.kind_ == Kind::StringRef ? item.u_.ref.owner : nullptr;
}

}  // namespace hostrt

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

// The source may live inside the storage the target releases (x := x:member,
// a := a[1]), so both assignments take the source's value before releasing.
Item& Item::operator=(const Item& other) {
  if (this == &other) return *this;
  Item copy(other);
  return *this = std::move(copy);
}

Item& Item::operator=(Item&& other) noexcept {
  if (this == &other) return *this;
  const ItemOps* ops = other.ops_;
  Kind kind = other.kind_;
  Payload u = other.u_;
  if (ops) other.becomeNil();
  release();
  ops_ = ops;
  kind_ = kind;
  u_ = u;
  return *this;
}

void Item::checkOps() const {
  if (!ops_) {
    raiseError(kErrorNotLoaded, "literal item used before its library was loaded", "copy");
  }
}

void Item::initLiteral() { ops_ = &rtItemOps[int(kind_)]; }

const char* Item::kindName() const { return rtItemOps[int(kind_)].name; }

Item Item::logical(bool value) {
  Item item;
  item.ops_ = &rtItemOps[int(Kind::Logical)];
  item.kind_ = Kind::Logical;
  item.u_.logical = value;
  return item;
}

Item Item::integer(int64_t value) {
  Item item;
  item.ops_ = &rtItemOps[int(Kind::Integer)];
  item.kind_ = Kind::Integer;
  item.u_.integer = value;
  return item;
}

Item Item::real(double value) {
  Item item;
  item.ops_ = &rtItemOps[int(Kind::Float)];
  item.kind_ = Kind::Float;
  item.u_.real = value;
  return item;
}

Item Item::string(std::string_view bytes) {
  Item item;
  if (bytes.size() <= kInlineCapacity) {
    item.ops_ = &rtItemOps[int(Kind::StringInline)];
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
  item.ops_ = &rtItemOps[int(Kind::StringRef)];
  item.kind_ = Kind::StringRef;
  item.u_.ref = {nullptr, 0, buffer};
  return item;
}

Item Item::array(std::vector<Item> elements) {
  Item item;
  auto* data = new ArrayData;
  data->elements = std::move(elements);
  item.ops_ = &rtItemOps[int(Kind::Array)];
  item.kind_ = Kind::Array;
  item.u_.array = data;
  return item;
}

Item Item::object(Object* object) {
  retainObjectStorage(object);
  Item item;
  item.ops_ = &rtItemOps[int(Kind::Object)];
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
  grown.ops_ = &rtItemOps[int(Kind::StringRef)];
  grown.kind_ = Kind::StringRef;
  grown.u_.ref = {nullptr, 0, buffer};
  *this = std::move(grown);
}

StringBuffer* ItemAccess::buffer(const Item& item) {
  return item.kind_ == Kind::StringRef ? item.u_.ref.owner : nullptr;
}

}  // namespace hostrt

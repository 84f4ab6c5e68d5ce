// Items: the values of the host runtime.
//
// Every value that crosses between the application, the runtime and a plug-in is
// an Item: nil, logical, integer, floating-point number, 8-bit byte string, 1-based
// array or object. An Item is a small value type (32 bytes on 64-bit targets) with
// reference semantics for the heap kinds: copying an array or object item shares
// it, copying a string shares its buffer until one side appends (copy on write).
//
// Each item works through the operation table of its kind, which the runtime
// exports; the item records its kind and whether it has been given the table.
// Items made at run time have it from construction. Literal items that a
// library keeps in its static data are built by a constexpr constructor with
// no table at all; the library's load handler gives them theirs
// (rtInitLiteral) before any of its code uses them.
// Any use of a literal that was never given its table is a runtime error, so a
// library that skipped its load step fails loudly instead of misbehaving.
//
// Strings come in two storage forms that no caller can tell apart: inline
// (short strings, held inside the item) and by pointer (static literal bytes, or
// a reference-counted heap buffer). Appending in place to a string whose buffer
// is not shared grows it geometrically, so building a text by many appends is
// linear in its length.
//
// The item's layout is the C struct RtItemData of hostrt/hostrt.h; every
// operation that needs the runtime goes through the C interface there, and an
// unwinding runtime error comes back as RuntimeError (hostrt/error.h).
//
// Thread safety: an Item is not synchronised; share one between threads only
// read-only. The reference counts of shared buffers are atomic, so two threads
// may hold copies of the same string, array or object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostrt/hostrt.h"

namespace hostrt {

enum class Kind : uint8_t {
  Nil = RT_NIL,
  Logical = RT_LOGICAL,
  Integer = RT_INTEGER,
  Float = RT_FLOAT,
  StringRef = RT_STRING_REF,        // string held by pointer: static bytes or a shared heap buffer
  StringInline = RT_STRING_INLINE,  // short string held inside the item
  Array = RT_ARRAY,
  Object = RT_OBJECT,
};
constexpr int kKindCount = RT_KIND_COUNT;

struct Object;
struct ArrayData;     // the runtime's array storage
struct StringBuffer;  // the runtime's heap string storage

using ItemOps = RtItemOps;

// Turns an unwind under way on this thread into a RuntimeError (error.h).
inline void checkUnwind();

// Marks the constexpr constructors that build literal items for static data.
struct LiteralTag {};
inline constexpr LiteralTag kLiteral{};

class Item {
 public:
  static constexpr size_t kInlineCapacity = RT_INLINE_CAPACITY;

  Item() noexcept : kind_(Kind::Nil), loaded_(true), u_() {}  // nil
  Item(const Item& other) : kind_(other.kind_), loaded_(other.loaded_), u_(other.u_) {
    if (!loaded_) other.checkOps();
    retain();
  }
  Item(Item&& other) noexcept : kind_(other.kind_), loaded_(other.loaded_), u_(other.u_) {
    if (loaded_) other.becomeNil();  // a literal owns no storage: leave it as it is
  }
  // Assignment takes the new value before it lets go of the old one, so an
  // item may be assigned a value that only the old one keeps alive (an
  // element of the array it holds, say).
  Item& operator=(const Item& other) {
    Item copy(other);
    swapWith(copy);
    return *this;
  }
  Item& operator=(Item&& other) noexcept {
    Kind kind = other.kind_;
    bool loaded = other.loaded_;
    Payload value = other.u_;
    if (loaded) other.becomeNil();  // the value moves: other no longer holds a reference
    release();
    kind_ = kind;
    loaded_ = loaded;
    u_ = value;
    return *this;
  }
  ~Item() { release(); }

  // Literal items for a library's static data: no operation table until
  // rtInitLiteral gives them one.
  constexpr Item(LiteralTag, std::nullptr_t) : kind_(Kind::Nil), loaded_(false), u_() {}
  constexpr Item(LiteralTag, bool value) : kind_(Kind::Logical), loaded_(false), u_() {
    u_.logical = value;
  }
  constexpr Item(LiteralTag, int value) : kind_(Kind::Integer), loaded_(false), u_() {
    u_.integer = value;
  }
  constexpr Item(LiteralTag, double value) : kind_(Kind::Float), loaded_(false), u_() {
    u_.real = value;
  }
  template <size_t N>
  constexpr Item(LiteralTag, const char (&text)[N]) : kind_(), loaded_(false), u_() {
    constexpr size_t len = N - 1;
    if constexpr (len <= kInlineCapacity) {
      kind_ = Kind::StringInline;
      u_.inl = {};
      for (size_t i = 0; i < len; ++i) u_.inl.bytes[i] = text[i];
      u_.inl.len = static_cast<uint8_t>(len);
    } else {
      kind_ = Kind::StringRef;
      u_.ref = {text, len, nullptr};
    }
  }

  static Item logical(bool value) {
    Item item;
    item.kind_ = Kind::Logical;
    item.u_.logical = value;
    return item;
  }
  static Item integer(int64_t value) {
    Item item;
    item.kind_ = Kind::Integer;
    item.u_.integer = value;
    return item;
  }
  static Item real(double value) {
    Item item;
    item.kind_ = Kind::Float;
    item.u_.real = value;
    return item;
  }
  static Item string(std::string_view bytes) {
    Item item;
    if (bytes.size() <= kInlineCapacity) {
      item.kind_ = Kind::StringInline;
      item.u_.inl = {};
      if (!bytes.empty()) std::memcpy(item.u_.inl.bytes, bytes.data(), bytes.size());
      item.u_.inl.len = uint8_t(bytes.size());
      return item;
    }
    rtNewString(&item, bytes.data(), bytes.size());
    checkUnwind();
    return item;
  }
  static Item string(const std::string& bytes) { return string(std::string_view(bytes)); }
  static Item string(const char* bytes) { return string(std::string_view(bytes)); }
  static Item array(const std::vector<Item>& elements) {
    Item item;
    rtNewArray(&item, int(elements.size()), elements.data());
    checkUnwind();
    return item;
  }

  Kind kind() const { return kind_; }
  const ItemOps* ops() const { return loaded_ ? &rtItemOps[int(kind_)] : nullptr; }
  bool hasOps() const { return loaded_; }
  const char* kindName() const { return rtItemOps[int(kind_)].name; }

  bool isNil() const { return kind_ == Kind::Nil; }
  bool isLogical() const { return kind_ == Kind::Logical; }
  bool isInteger() const { return kind_ == Kind::Integer; }
  bool isNumber() const { return kind_ == Kind::Integer || kind_ == Kind::Float; }
  bool isString() const { return kind_ == Kind::StringRef || kind_ == Kind::StringInline; }
  bool isArray() const { return kind_ == Kind::Array; }
  bool isObject() const { return kind_ == Kind::Object; }

  // Unchecked accessors: the caller has tested the kind.
  bool asLogical() const { return u_.logical; }
  int64_t asInteger() const { return u_.integer; }
  double asNumber() const { return kind_ == Kind::Integer ? double(u_.integer) : u_.real; }
  std::string_view str() const {
    if (kind_ == Kind::StringInline) return {u_.inl.bytes, u_.inl.len};
    if (!u_.ref.owner) return {u_.ref.ptr, u_.ref.len};
    size_t len = 0;
    const char* bytes = rtStringBytes(this, &len);
    return {bytes, len};
  }
  ArrayData* arrayData() const { return u_.array; }
  Object* object() const { return u_.object; }

  // Appends the bytes to this string in place (amortised constant time when the
  // buffer is not shared). The item must be a string.
  void appendBytes(std::string_view tail) {
    rtAppendBytes(this, tail.data(), tail.size());
    checkUnwind();
  }

  // Gives a literal item the operation table of its kind (see rtInitLiteral).
  void initLiteral() { loaded_ = true; }

 private:
  friend struct ItemAccess;
  struct Ref {
    const char* ptr;        // static bytes when owner is null
    size_t len;             // length of the static bytes
    StringBuffer* owner;    // heap buffer, or null for static bytes
  };
  struct Inline {
    char bytes[kInlineCapacity];  // the string's bytes
    uint8_t len;                  // how many of them are used
  };
  union Payload {
    constexpr Payload() : integer(0) {}
    bool logical;
    int64_t integer;
    double real;
    Ref ref;
    Inline inl;
    ArrayData* array;
    Object* object;
  };

  // Only strings by pointer, arrays and objects hold counted storage; the
  // other kinds skip the call through the operation table.
  bool holdsStorage() const {
    constexpr unsigned kCounted = 1u << unsigned(Kind::StringRef) | 1u << unsigned(Kind::Array) |
                                  1u << unsigned(Kind::Object);
    return (kCounted >> unsigned(kind_)) & 1u;
  }
  void release() noexcept {
    if (loaded_ && holdsStorage()) rtItemOps[int(kind_)].release(this);
  }
  void retain() const {
    if (loaded_ && holdsStorage()) rtItemOps[int(kind_)].retain(this);
  }
  void swapWith(Item& other) noexcept {
    std::swap(loaded_, other.loaded_);
    std::swap(kind_, other.kind_);
    std::swap(u_, other.u_);
  }
  void becomeNil() {
    loaded_ = true;
    kind_ = Kind::Nil;
  }
  void checkOps() const {
    rtNotLoaded("copy");
    checkUnwind();
  }

  Kind kind_;           // the kind, known even before the table is given
  bool loaded_;         // has its kind's operation table; false for a literal not yet loaded
  Payload u_;           // the value
};

// The C interface reads and writes items as RtItemData.
static_assert(sizeof(Item) == sizeof(RtItemData) && alignof(Item) == alignof(RtItemData),
              "Item has the layout of RtItemData");

}  // namespace hostrt

#include "hostrt/error.h"

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
// Thread safety: an Item is not synchronised; share one between threads only
// read-only. The reference counts of shared buffers are atomic, so two threads
// may hold copies of the same string, array or object.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostrt/export.h"

namespace hostrt {

enum class Kind : uint8_t {
  Nil,
  Logical,
  Integer,
  Float,
  StringRef,     // string held by pointer: static bytes or a shared heap buffer
  StringInline,  // short string held inside the item
  Array,
  Object,
};
constexpr int kKindCount = 8;

class Item;
struct Object;

// The operation table of one kind. The runtime exports one per kind.
struct ItemOps {
  Kind kind;         // the kind this table serves
  const char* name;  // the kind's name in error messages ("string", "array", ...)
  void (*retain)(const Item& item);  // take one more reference to the item's storage
  void (*release)(Item& item);       // drop the item's reference to its storage
};

extern "C" {
// The operation tables, one per kind, indexed by Kind.
HOSTRT_API extern const ItemOps rtItemOps[kKindCount];
}

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

// Marks the constexpr constructors that build literal items for static data.
struct LiteralTag {};
inline constexpr LiteralTag kLiteral{};

class HOSTRT_API Item {
 public:
  static constexpr size_t kInlineCapacity = 23;

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

  static Item logical(bool value);
  static Item integer(int64_t value);
  static Item real(double value);
  static Item string(std::string_view bytes);
  static Item string(std::string&& bytes);
  static Item string(const char* bytes) { return string(std::string_view(bytes)); }
  static Item array(std::vector<Item> elements);
  static Item object(Object* object);  // takes one more reference to the object

  Kind kind() const { return kind_; }
  const ItemOps* ops() const { return loaded_ ? &rtItemOps[int(kind_)] : nullptr; }
  bool hasOps() const { return loaded_; }
  const char* kindName() const;

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
  std::string_view str() const;
  ArrayData* arrayData() const { return u_.array; }
  Object* object() const { return u_.object; }

  // Appends the bytes to this string in place (amortised constant time when the
  // buffer is not shared). The item must be a string.
  void appendBytes(std::string_view tail);

  // Gives a literal item the operation table of its kind (see rtInitLiteral).
  void initLiteral();

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
    if (loaded_ && holdsStorage()) rtItemOps[int(kind_)].release(*this);
  }
  void retain() const {
    if (loaded_ && holdsStorage()) rtItemOps[int(kind_)].retain(*this);
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
  void checkOps() const;

  Kind kind_;           // the kind, known even before the table is given
  bool loaded_;         // has its kind's operation table; false for a literal not yet loaded
  Payload u_;           // the value
};

extern "C" {

// Gives a literal item its kind's operation table; the load handler calls it.
HOSTRT_API void rtInitLiteral(Item* item);
}

}  // namespace hostrt

// Items: the values of the host runtime.
//
// Every value that crosses between the application, the runtime and a plug-in is
// an Item: nil, logical, integer, floating-point number, 8-bit byte string, 1-based
// array or object. An Item is a small value type (16 bytes) with
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
#include <new>
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

  Item() noexcept : u_() {}  // nil
  Item(const Item& other) : u_(other.u_) {
    if (!hasOps()) other.checkOps();
    retain();
  }
  Item(Item&& other) noexcept : u_(other.u_) {
    if (hasOps()) other.becomeNil();  // a literal owns no storage: leave it as it is
  }
  // Assignment takes the new value before it lets go of the old one, so an
  // item may be assigned a value that only the old one keeps alive (an
  // element of the array it holds, say).
  Item& operator=(const Item& other) {
    Item copy(other);
    std::swap(u_, copy.u_);
    return *this;
  }
  Item& operator=(Item&& other) noexcept {
    Layout value = other.u_;
    if (other.hasOps()) other.becomeNil();  // the value moves: other no longer holds a reference
    release();
    u_ = value;
    return *this;
  }
  ~Item() { release(); }

  // Literal items for a library's static data: no operation table until
  // rtInitLiteral gives them one.
  constexpr Item(LiteralTag, std::nullptr_t) : u_(Kind::Nil, 0) {}
  constexpr Item(LiteralTag, bool value) : u_(Kind::Logical, 0) { u_.word.value.logical = value; }
  constexpr Item(LiteralTag, int value) : u_(Kind::Integer, 0) { u_.word.value.integer = value; }
  constexpr Item(LiteralTag, double value) : u_(Kind::Float, 0) { u_.word.value.real = value; }
  template <size_t N>
  constexpr Item(LiteralTag, const char (&text)[N]) : u_(Kind::StringRef, 0) {
    constexpr size_t len = N - 1;
    if constexpr (len <= kInlineCapacity) {
      u_.inl = {Kind::StringInline, uint8_t(len << kLengthShift), {}};
      for (size_t i = 0; i < len; ++i) u_.inl.bytes[i] = text[i];
    } else {
      static_assert(len <= UINT32_MAX, "a literal's length fits in 32 bits");
      u_.word.length = uint32_t(len);
      u_.word.value.bytes = text;
    }
  }

  static Item logical(bool value) {
    Item item;
    item.u_.word.kind = Kind::Logical;
    item.u_.word.value.logical = value;
    return item;
  }
  static Item integer(int64_t value) {
    Item item;
    item.u_.word.kind = Kind::Integer;
    item.u_.word.value.integer = value;
    return item;
  }
  static Item real(double value) {
    Item item;
    item.u_.word.kind = Kind::Float;
    item.u_.word.value.real = value;
    return item;
  }
  static Item string(std::string_view bytes) {
    Item item;
    if (bytes.size() <= kInlineCapacity) {
      item.u_.inl = {Kind::StringInline, uint8_t(kLoaded | bytes.size() << kLengthShift), {}};
      copyShort(item.u_.inl.bytes, bytes.data(), bytes.size());
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
  // Takes the elements over, sparing a share taken and given back per element.
  static Item array(std::vector<Item>&& elements) {
    Item item;
    rtNewArrayTaking(&item, int(elements.size()), elements.data());
    checkUnwind();
    elements.clear();
    return item;
  }

  Kind kind() const { return u_.word.kind; }
  const ItemOps* ops() const { return hasOps() ? &rtItemOps[int(kind())] : nullptr; }
  bool hasOps() const { return u_.word.meta & kLoaded; }
  const char* kindName() const { return rtItemOps[int(kind())].name; }

  bool isNil() const { return kind() == Kind::Nil; }
  bool isLogical() const { return kind() == Kind::Logical; }
  bool isInteger() const { return kind() == Kind::Integer; }
  bool isNumber() const { return kind() == Kind::Integer || kind() == Kind::Float; }
  bool isString() const { return kind() == Kind::StringRef || kind() == Kind::StringInline; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isObject() const { return kind() == Kind::Object; }

  // Unchecked accessors: the caller has tested the kind.
  bool asLogical() const { return u_.word.value.logical; }
  int64_t asInteger() const { return u_.word.value.integer; }
  double asNumber() const {
    return kind() == Kind::Integer ? double(u_.word.value.integer) : u_.word.value.real;
  }
  std::string_view str() const {
    if (kind() == Kind::StringInline) return {u_.inl.bytes, inlineLength()};
    if (u_.word.length) return {u_.word.value.bytes, u_.word.length};
    size_t len = 0;
    const char* bytes = rtStringBytes(this, &len);
    return {bytes, len};
  }
  ArrayData* arrayData() const { return u_.word.value.array; }
  Object* object() const { return u_.word.value.object; }

  // Appends the bytes to this string in place (amortised constant time when the
  // buffer is not shared). The item must be a string.
  void appendBytes(std::string_view tail) {
    rtAppendBytes(this, tail.data(), tail.size());
    checkUnwind();
  }

  // Appends the element to this array in place (amortised constant time),
  // taking it over. The item must be an array.
  void appendElement(Item&& element) {
    rtArrayAppendTaking(this, &element);
    checkUnwind();
  }

  // Gives a literal item the operation table of its kind (see rtInitLiteral).
  void initLiteral() { u_.word.meta |= kLoaded; }

 private:
  friend struct ItemAccess;
  template <size_t N>
  friend class BorrowedItems;
  struct BorrowTag {};
  // The same value without a share of its storage; only BorrowedItems makes
  // these, and never destroys them.
  Item(BorrowTag, const Item& other) : u_(other.u_) {
    if (!hasOps()) other.checkOps();
  }
  // The second byte: bit 0 tells whether the item has its kind's operation
  // table, bits 1-7 hold a short string's length.
  static constexpr uint8_t kLoaded = 1;
  static constexpr unsigned kLengthShift = 1;

  // The form of every item but a short string: a word of value at offset 8.
  struct Word {
    Kind kind;        // the kind, known even before the table is given
    uint8_t meta;     // kLoaded, and a short string's length
    uint16_t unused;  // zero
    uint32_t length;  // static string bytes: their length; zero for any other item
    union Value {
      bool logical;
      int64_t integer;
      double real;
      const char* bytes;     // static string bytes, when length is not zero
      StringBuffer* buffer;  // a heap string's buffer, when length is zero
      ArrayData* array;
      Object* object;
    } value;
  };
  // A short string: its bytes from the third byte on.
  struct Short {
    Kind kind;                     // Kind::StringInline
    uint8_t meta;                  // kLoaded, and the count of bytes used
    char bytes[kInlineCapacity];   // the string's bytes
  };
  // The two forms share their first two bytes, which either may read.
  union Layout {
    constexpr Layout() : word{Kind::Nil, kLoaded, 0, 0, {.integer = 0}} {}
    constexpr Layout(Kind kind, uint8_t meta) : word{kind, meta, 0, 0, {.integer = 0}} {}
    Word word;
    Short inl;
  };

  size_t inlineLength() const { return u_.inl.meta >> kLengthShift; }
  // Copies n <= kInlineCapacity bytes into a short string by two moves of a
  // fixed size that may overlap, where a call to memcpy would cost more than
  // the copy itself.
  static void copyShort(char* to, const char* from, size_t n) {
    static_assert(kInlineCapacity <= 2 * sizeof(uint64_t));
    auto copyEnds = [&](auto word) {
      std::memcpy(to, from, sizeof word);
      std::memcpy(to + n - sizeof word, from + n - sizeof word, sizeof word);
    };
    if (n >= 8) {
      copyEnds(uint64_t());
    } else if (n >= 4) {
      copyEnds(uint32_t());
    } else if (n >= 2) {
      copyEnds(uint16_t());
    } else if (n == 1) {
      to[0] = from[0];
    }
  }
  // Only strings by pointer, arrays and objects hold counted storage; the
  // other kinds skip the call through the operation table.
  bool holdsStorage() const {
    constexpr unsigned kCounted = 1u << unsigned(Kind::StringRef) | 1u << unsigned(Kind::Array) |
                                  1u << unsigned(Kind::Object);
    return (kCounted >> unsigned(kind())) & 1u;
  }
  void release() noexcept {
    if (hasOps() && holdsStorage()) rtItemOps[int(kind())].release(this);
  }
  void retain() const {
    if (hasOps() && holdsStorage()) rtItemOps[int(kind())].retain(this);
  }
  void becomeNil() { u_ = Layout(); }
  void checkOps() const {
    rtNotLoaded("copy");
    checkUnwind();
  }

  Layout u_;  // the kind, the loaded flag and the value
};

// Up to N items laid out for one call through the C interface, without a
// share taken of each: the caller's items outlive the call, and a callee that
// keeps an argument copies it and so takes a share of its own. This spares
// two atomic operations per counted argument on every call.
template <size_t N>
class BorrowedItems {
 public:
  BorrowedItems() = default;
  BorrowedItems(const BorrowedItems&) = delete;
  BorrowedItems& operator=(const BorrowedItems&) = delete;
  ~BorrowedItems() = default;  // the borrowed items are not released

  void push(const Item& item) { new (&slots_[count_++].item) Item(Item::BorrowTag{}, item); }
  const Item* data() const { return &slots_[0].item; }
  int size() const { return int(count_); }

 private:
  union Slot {
    Slot() {}
    ~Slot() {}
    Item item;
  };
  Slot slots_[N > 0 ? N : 1];  // the first count_ hold borrowed items
  size_t count_ = 0;           // how many are pushed
};

// The C interface reads and writes items as RtItemData.
static_assert(sizeof(Item) == sizeof(RtItemData) && alignof(Item) == alignof(RtItemData),
              "Item has the layout of RtItemData");
static_assert(sizeof(Item) == 16, "an item is 16 bytes");
static_assert(offsetof(RtItemData, length) == 4 && offsetof(RtItemData, u) == 8,
              "static string lengths at offset 4 and values at offset 8, as in Item::Word");

}  // namespace hostrt

#include "hostrt/error.h"

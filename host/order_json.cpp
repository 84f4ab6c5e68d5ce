// buildOrder: builds the records through the runtime's embedding API from
// the parser's events as the order file is read, checking every key against
// the class that declares it. No document is built: each value becomes an
// item, and each object a record, as soon as it has been read.
//
// Errors come as they would from a walk of the whole document: malformed
// JSON first, then a key at the top that is neither "order" nor "param",
// then the order's first error, then the parameters' first error. So the
// first error of each of these sections is kept while reading goes on, and
// a section with an error builds nothing more.

#include "host/order_json.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "host/codepage.h"
#include "host/field_names.h"
#include "host/json_reader.h"
#include "hostrt/embed.h"

namespace velmoran::host {

namespace {

using hostrt::Item;
namespace embed = hostrt::embed;
// A scalar as a value of its own, to be shown in a message as JSON spells it.
using Json = nlohmann::json;
using Type = Json::value_t;

// Arrays inside a value may nest this deep; deeper is an input error.
constexpr int kMaxNesting = 64;

// A record class as the runtime declares it.
struct RecordClass {
  const char* name;                  // its registered name, for messages
  Item object;                       // the class object
  std::vector<embed::Name> members;  // declared member names, interned once for every record
  std::vector<std::string> folded;   // the same, case-folded
  // Member indexes by the hash of their folded names, -1 in a free slot:
  // open addressing in a power of two of slots, more than half of them free.
  std::vector<int> slots;

  RecordClass(const char* publicName, const char* className)
      : name(className), object(embed::callFunction(publicName)) {
    std::string names = embed::memberNames(object);
    for (size_t start = 0; start < names.size();) {
      size_t comma = std::min(names.find(',', start), names.size());
      members.emplace_back(std::string_view(names).substr(start, comma - start));
      folded.push_back(foldCase(members.back().text()));
      start = comma + 1;
    }
    fillSlots();
  }

  // The member a case-folded key names, -1 for none.
  int find(std::string_view foldedKey) const {
    for (size_t s = hash(foldedKey);; ++s) {
      const int i = slots[s & (slots.size() - 1)];
      if (i < 0 || folded[size_t(i)] == foldedKey) return i;
    }
  }
  int index(std::string_view member) const { return find(foldCase(member)); }

 private:
  static size_t hash(std::string_view key) {
    if (key.empty()) return 0;
    return key.size() * 31 + static_cast<unsigned char>(key.front()) * 7 +
           static_cast<unsigned char>(key.back());
  }
  // A member is found in the first slot from its hash that holds it, before
  // any free one: slots are taken in the order the members are declared.
  void fillSlots() {
    slots.assign(std::bit_ceil(2 * folded.size() + 1), -1);
    for (size_t i = 0; i < folded.size(); ++i) {
      size_t s = hash(folded[i]);
      while (slots[s & (slots.size() - 1)] >= 0) ++s;
      slots[s & (slots.size() - 1)] = int(i);
    }
  }
};

// A value as the checks see it: its kind, and a scalar's value in the
// member its kind names. Texts are the parser's, valid for the event only.
struct Value {
  Type type;
  bool boolean = false;          // Type::boolean
  int64_t integer = 0;           // Type::number_integer
  uint64_t unsignedInteger = 0;  // Type::number_unsigned
  double real = 0;               // Type::number_float
  std::string_view text = {};    // Type::string
  bool isString() const { return type == Type::string; }
  bool isNumber() const {
    return type == Type::number_integer || type == Type::number_unsigned ||
           type == Type::number_float;
  }
  // The scalar as a JSON value, to show it in a message.
  Json shown() const {
    switch (type) {
      case Type::null:
        return Json(nullptr);
      case Type::boolean:
        return Json(boolean);
      case Type::number_integer:
        return Json(integer);
      case Type::number_unsigned:
        return Json(unsignedInteger);
      case Type::number_float:
        return Json(real);
      case Type::string:
        return Json(std::string(text));
      default:
        return Json(type);
    }
  }
};

Value viewOf(const Json& v) {
  switch (v.type()) {
    case Type::boolean:
      return Value{.type = Type::boolean, .boolean = v.get<bool>()};
    case Type::number_integer:
      return Value{.type = Type::number_integer, .integer = v.get<int64_t>()};
    case Type::number_unsigned:
      return Value{.type = Type::number_unsigned, .unsignedInteger = v.get<uint64_t>()};
    case Type::number_float:
      return Value{.type = Type::number_float, .real = v.get<double>()};
    case Type::string:
      return Value{.type = Type::string, .text = v.get_ref<const std::string&>()};
    default:
      return Value{.type = v.type()};
  }
}

// A value as messages name what was found: its kind, and the value itself
// for a scalar (a long string cut short).
std::string found(const Value& v) {
  switch (v.type) {
    case Type::null: return "null";
    case Type::boolean: return std::string("the boolean ") + v.shown().dump();
    case Type::string: {
      const std::string_view s = v.text;
      if (s.size() <= 40) return "the string " + v.shown().dump();
      size_t cut = 37;
      while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
      std::string shown = Json(std::string(s.substr(0, cut))).dump();
      return "the string " + shown.insert(shown.size() - 1, "...");
    }
    case Type::array: return "an array";
    case Type::object: return "an object";
    default: return "the number " + v.shown().dump();
  }
}

// True when each of the 8 bytes at p is printable ASCII, 0x20 to 0x7E.
// `below` has a high bit set exactly when some byte is under 0x20 (a borrow
// can only begin at such a byte), `above` when some byte is over 0x7E
// (a carry can only begin at 0xFF, whose own high bit is set).
bool printableWord(const char* p) {
  constexpr uint64_t kOnes = 0x0101010101010101, kHighs = kOnes * 0x80;
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  const uint64_t below = (w - kOnes * 0x20) & ~w, above = (w + kOnes) | w;
  return ((below | above) & kHighs) == 0;
}

// True when the string is printable ASCII, tested 8 bytes at a time, the
// last 8 overlapping those before; a string shorter than 8 is not tested.
bool printableAscii(std::string_view s) {
  if (s.size() < 8) return false;
  for (size_t i = 0; i + 8 < s.size(); i += 8) {
    if (!printableWord(s.data() + i)) return false;
  }
  return printableWord(s.data() + s.size() - 8);
}

// True when the string holds a control character other than tab: C0, DEL,
// or C1 (U+0080 to U+009F, encoded C2 80 to C2 9F). Printable ASCII, the
// common case, is passed over a word at a time.
bool hasControlCharacter(std::string_view s) {
  if (printableAscii(s)) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xE0) == 0x80) {
      return true;
    }
  }
  return false;
}

bool isBlank(std::string_view s) { return s.find_first_not_of(" \t") == s.npos; }

// The whole number a JSON number stands for, if it is one.
std::optional<double> wholeNumber(const Json& v) {
  if (!v.is_number()) return std::nullopt;
  double n = v.get<double>();
  if (n != std::floor(n) || !std::isfinite(n)) return std::nullopt;
  return n;
}

// The parts of an order file whose first errors are reported, in the order
// in which they come; kNone ranks after all of them.
enum Section { kTop, kOrder, kParam, kNone };

// Builds the records of one order file from the events of its reading: the
// order, its positions and supplier, and the parameters, each object a
// record as soon as it is complete.
//
// Thread safety: one reader per order file, on the thread that reads it.
class OrderReader : public JsonHandler {
 public:
  OrderReader(CodePage& codePage, const OrderOptions& options);

  bool null() override { return value(Value{.type = Type::null}); }
  bool boolean(bool v) override { return value(Value{.type = Type::boolean, .boolean = v}); }
  bool number_integer(number_integer_t v) override {
    return value(Value{.type = Type::number_integer, .integer = v});
  }
  bool number_unsigned(number_unsigned_t v) override {
    return value(Value{.type = Type::number_unsigned, .unsignedInteger = v});
  }
  bool number_float(number_float_t v, std::string_view) override {
    return value(Value{.type = Type::number_float, .real = v});
  }
  bool string(std::string_view v) override { return value(Value{.type = Type::string, .text = v}); }
  bool start_object() override { return begin(true); }
  bool start_array() override { return begin(false); }
  bool end_object() override { return end(); }
  bool end_array() override { return end(); }
  bool key(std::string_view key) override;

  // The records, or the first error, once the whole text has been read.
  Status finish(OrderRecords* out);

 private:
  // What an open object or array becomes.
  enum class Role {
    kTopObject,  // the document: "order" and "param"
    kRecord,     // an object whose keys are a record's members
    kPositions,  // "order"."orderPos": an object per position
    kArray,      // an array value, its elements items
    kSkip,       // nothing: read only for the checks on all JSON
  };
  struct Frame {
    Role role = Role::kSkip;
    Section section = kNone;
    const RecordClass* cls = nullptr;  // kRecord
    Item instance;                     // kRecord: the record being filled
    int member = -1;                   // kRecord: the member the last key names, or -1
    Item elements;                     // kPositions, kArray: the runtime array being filled
    int nesting = 0;                   // kArray: arrays around it in the same value
  };

  bool value(const Value& v);
  bool begin(bool object);
  bool end();
  void open(bool object);
  void openTop(bool object);
  void openMember(const Frame& record, bool object);
  void openValue(bool object, Section section, int nesting);
  void push(Role role, Section section, const RecordClass* cls = nullptr, int nesting = 0);
  void memberValue(Frame& record, const Value& v);
  void deliver(Frame& parent, Item&& item);
  void finishOrder(Frame& order);
  Status finishParam(OrderRecords* out);

  bool building(Section s) const { return s < failed_; }
  void fail(Section s, const std::string& problem, bool atPath = true);
  bool expected(Section s, const char* what, const Value& v);
  std::string path(Section s) const;
  bool item(const Value& v, Section s, Item* out);
  bool checkPositionMember(int member, const Value& v);
  void checkLines(size_t positions);
  Status exportDirectory(const Value& v, Item* out);

  CodePage& codePage_;
  const OrderOptions& options_;
  RecordClass order_{"ORDER_STRUCTURE", "order_Structure"};
  RecordClass position_{"ORDERPOSITION_STRUCTURE", "orderPosition_Structure"};
  RecordClass supplier_{"SUPPLIER_STRUCTURE", "supplier_Structure"};
  RecordClass param_{"PARAM_STRUCTURE", "param_Structure"};
  const int orderPosMember_ = order_.index("orderPos");
  const int linesMember_ = order_.index("lines");
  const int supplierMember_ = order_.index("supplier");
  const int zelxportMember_ = param_.index("zelxport");
  // What the plug-in reads of a position, by member.
  enum class Check { kNone, kText, kMission, kQuantity };
  std::vector<Check> positionChecks_;

  std::vector<Frame> stack_;  // the open objects and arrays, beside frames_
  Section topKey_ = kNone;    // the section the last key of the document names
  bool topIsObject_ = false;
  bool orderGiven_ = false, paramGiven_ = false;
  Section failed_ = kNone;  // the first section with an error
  std::string error_;       // that error

  std::optional<Json> linesValue_;  // "lines" as given
  std::string linesPath_;
  size_t positionCount_ = 0;
  bool positionsGiven_ = false;
  Item orderRecord_, paramRecord_;
  Item dir_;                         // the export directory
  Status exportDirError_;            // --export-dir's error
  std::vector<std::string> warnings_;
  std::string converted_;  // the last string converted; its buffer serves the next
};

OrderReader::OrderReader(CodePage& codePage, const OrderOptions& options)
    : codePage_(codePage), options_(options) {
  for (const std::string& name : position_.folded) {
    positionChecks_.push_back(name == "partno" || name == "remark" ? Check::kText
                              : name == "missionno"                ? Check::kMission
                              : name == "quantity"                 ? Check::kQuantity
                                                                   : Check::kNone);
  }
  if (options.exportDir) {
    Status s = exportDirectory(Value{.type = Type::string, .text = *options.exportDir}, &dir_);
    if (!s.ok()) exportDirError_ = s.prefixed("--export-dir: ");
  }
}

// ------------------------------------------------------------- errors

// Keeps the error when it is the first of the first section with one.
void OrderReader::fail(Section s, const std::string& problem, bool atPath) {
  if (!building(s)) return;
  failed_ = s;
  error_ = atPath ? path(s) + ": " + problem : problem;
}

bool OrderReader::expected(Section s, const char* what, const Value& v) {
  fail(s, std::string("expected ") + what + ", got " + found(v));
  return false;
}

// The path of the value being read. The document's two keys are named as
// the records are, in whatever letter case the file spells them.
std::string OrderReader::path(Section s) const {
  return frames_.path(s == kOrder ? "order" : s == kParam ? "param" : "");
}

// ------------------------------------------------------------- events

bool OrderReader::begin(bool object) {
  frames_.value();
  open(object);
  frames_.open(object);
  return true;
}

bool OrderReader::key(std::string_view key) {
  Status s = frames_.key(key);
  if (!s.ok()) return stop(s);
  Frame& top = stack_.back();
  const std::string_view folded = frames_.foldedKey();
  if (top.role == Role::kTopObject) {
    topKey_ = folded == "order" ? kOrder : folded == "param" ? kParam : kNone;
    orderGiven_ |= topKey_ == kOrder;
    paramGiven_ |= topKey_ == kParam;
    if (topKey_ == kNone) fail(kTop, "unknown key, expected \"order\" or \"param\"");
  } else if (top.role == Role::kRecord && building(top.section)) {
    top.member = top.cls->find(folded);
    if (top.member < 0) fail(top.section, std::string("unknown key, not a member of ") + top.cls->name);
  }
  return true;
}

bool OrderReader::value(const Value& v) {
  frames_.value();
  if (stack_.empty()) return true;  // a document that is no object: see finish()
  Frame& top = stack_.back();
  if (!building(top.section)) return true;
  switch (top.role) {
    case Role::kTopObject:
      if (topKey_ == kOrder) fail(kOrder, "must be an object of order_Structure members");
      if (topKey_ == kParam) fail(kParam, "must be an object of param_Structure members");
      break;
    case Role::kPositions:
      fail(kOrder, "must be an object of orderPosition_Structure members");
      break;
    case Role::kArray: {
      Item element;
      if (item(v, top.section, &element)) top.elements.appendElement(std::move(element));
      break;
    }
    case Role::kRecord: memberValue(top, v); break;
    case Role::kSkip: break;
  }
  return true;
}

bool OrderReader::end() {
  Frame done = std::move(stack_.back());
  stack_.pop_back();
  frames_.close();
  if (done.role == Role::kSkip || !building(done.section) || stack_.empty()) return true;
  Item made;
  switch (done.role) {
    case Role::kRecord:
      if (done.cls == &order_) {
        finishOrder(done);
        return true;
      }
      if (done.cls == &param_) {
        paramRecord_ = done.instance;
        return true;
      }
      made = done.instance;
      break;
    case Role::kPositions:
      positionCount_ = size_t(rtArrayLength(&done.elements));
      positionsGiven_ = true;
      made = std::move(done.elements);
      break;
    case Role::kArray: made = std::move(done.elements); break;
    default: return true;
  }
  deliver(stack_.back(), std::move(made));
  return true;
}

// ------------------------------------------------------ opening a container

void OrderReader::push(Role role, Section section, const RecordClass* cls, int nesting) {
  Frame& f = stack_.emplace_back();
  f.role = role;
  f.section = section;
  f.cls = cls;
  f.nesting = nesting;
  if (cls) f.instance = embed::newInstance(cls->object);
  if (role == Role::kPositions || role == Role::kArray) f.elements = Item::array({});
}

// Decides what the object or array that begins becomes; what is not built
// is skipped.
void OrderReader::open(bool object) {
  if (stack_.empty()) {
    topIsObject_ = object;
    return push(object ? Role::kTopObject : Role::kSkip, kTop);
  }
  const Frame& parent = stack_.back();
  if (parent.role == Role::kSkip || !building(parent.section)) {
    return push(Role::kSkip, parent.section);
  }
  switch (parent.role) {
    case Role::kTopObject: return openTop(object);
    case Role::kRecord: return openMember(parent, object);
    case Role::kPositions:
      if (object) return push(Role::kRecord, kOrder, &position_);
      fail(kOrder, "must be an object of orderPosition_Structure members");
      return push(Role::kSkip, kOrder);
    default: return openValue(object, parent.section, parent.nesting + 1);
  }
}

void OrderReader::openTop(bool object) {
  if (topKey_ == kNone) return push(Role::kSkip, kTop);
  const RecordClass& cls = topKey_ == kOrder ? order_ : param_;
  if (!object) {
    fail(topKey_, std::string("must be an object of ") + cls.name + " members");
    return push(Role::kSkip, topKey_);
  }
  if (topKey_ == kParam && !exportDirError_.ok()) fail(kParam, exportDirError_.toString(), false);
  push(Role::kRecord, topKey_, &cls);
}

void OrderReader::openMember(const Frame& record, bool object) {
  const Section s = record.section;
  const int m = record.member;
  const Value v{object ? Type::object : Type::array};
  if (m < 0 || (record.cls == &position_ && !checkPositionMember(m, v))) {
    return push(Role::kSkip, s);
  }
  if (record.cls == &order_ && m == orderPosMember_) {
    if (!object) return push(Role::kPositions, s);
    fail(s, "must be an array of objects (the positions)");
    return push(Role::kSkip, s);
  }
  if (record.cls == &order_ && m == supplierMember_ && object) {
    return push(Role::kRecord, s, &supplier_);
  }
  if (record.cls == &param_ && m == zelxportMember_) {
    // --export-dir replaces whatever the file gives.
    if (!options_.exportDir) fail(s, "the export directory must be a string");
    return push(Role::kSkip, s);
  }
  openValue(object, s, 0);
}

void OrderReader::openValue(bool object, Section s, int nesting) {
  if (object) {
    fail(s, "an object where no record is expected");
  } else if (nesting >= kMaxNesting) {
    fail(s, "arrays nested too deeply");
  } else {
    return push(Role::kArray, s, nullptr, nesting);
  }
  push(Role::kSkip, s);
}

// ------------------------------------------------------- values and records

void OrderReader::memberValue(Frame& record, const Value& v) {
  const int m = record.member;
  if (m < 0 || (record.cls == &position_ && !checkPositionMember(m, v))) return;
  if (record.cls == &order_ && m == orderPosMember_) {
    return fail(kOrder, "must be an array of objects (the positions)");
  }
  if (record.cls == &param_ && m == zelxportMember_) {
    if (options_.exportDir) return;  // --export-dir replaces it
    Status s = exportDirectory(v, &dir_);
    if (!s.ok()) fail(kParam, s.toString());
    return;
  }
  Item made;
  if (!item(v, record.section, &made)) return;
  if (record.cls == &order_ && m == linesMember_) {
    linesValue_ = v.shown();
    linesPath_ = path(kOrder);
  }
  embed::setMember(record.instance, record.cls->members[size_t(m)], made);
}

// A complete record or array goes to the container around it.
void OrderReader::deliver(Frame& parent, Item&& made) {
  if (parent.role != Role::kRecord) return parent.elements.appendElement(std::move(made));
  if (parent.cls == &order_ && parent.member == linesMember_) {
    linesValue_ = Json::array();
    linesPath_ = path(kOrder);
  }
  embed::setMember(parent.instance, parent.cls->members[size_t(parent.member)], made);
}

bool OrderReader::item(const Value& v, Section s, Item* out) {
  switch (v.type) {
    case Type::null: *out = Item(); return true;
    case Type::boolean:
      *out = Item::logical(v.boolean);
      return true;
    case Type::number_integer:
      *out = Item::integer(v.integer);
      return true;
    case Type::number_unsigned: {
      const uint64_t n = v.unsignedInteger;
      *out = n <= uint64_t(INT64_MAX) ? Item::integer(int64_t(n)) : Item::real(double(n));
      return true;
    }
    case Type::number_float:
      *out = Item::real(v.real);
      return true;
    case Type::string: {
      std::string_view text = v.text;
      if (!codePage_.keepsAsIs(text)) {
        Status converted = codePage_.convert(text, &converted_);
        if (!converted.ok()) return fail(s, converted.toString()), false;
        text = converted_;
      }
      *out = Item::string(text);
      return true;
    }
    default: return fail(s, "a value of a kind that records cannot hold"), false;
  }
}

// What the plug-in reads of a position, checked before anything is sent.
bool OrderReader::checkPositionMember(int member, const Value& v) {
  const Check check = positionChecks_[size_t(member)];
  const bool isText = check == Check::kText, isMission = check == Check::kMission;
  if ((isText || isMission) && v.isString() && hasControlCharacter(v.text)) {
    return expected(kOrder, "a string without control characters other than tab", v);
  }
  if (isText && !v.isString()) return expected(kOrder, "a string", v);
  if (check == Check::kQuantity && !v.isNumber()) return expected(kOrder, "a number", v);
  if (isMission && !v.isNumber() && !(v.isString() && isBlank(v.text))) {
    return expected(kOrder, "a number or a blank string", v);
  }
  return true;
}

// "lines": a whole number up to the number of positions; fewer is sent as
// it says, with a warning.
void OrderReader::checkLines(size_t positions) {
  const Json& lines = *linesValue_;
  std::optional<double> n = wholeNumber(lines);
  std::string problem;
  if (!n) {
    problem = "expected a whole number, got ";
  } else if (*n > double(positions)) {
    problem = "expected a whole number no greater than the number of positions (" +
              std::to_string(positions) + "), got ";
  } else if (*n > 0 && *n < double(positions)) {
    warnings_.push_back(linesPath_ + ": only the first " + lines.dump() + " of the " +
                        std::to_string(positions) + " positions are sent");
  }
  if (!problem.empty()) fail(kOrder, linesPath_ + ": " + problem + found(viewOf(lines)), false);
}

void OrderReader::finishOrder(Frame& order) {
  if (linesValue_) checkLines(positionCount_);
  if (!building(kOrder)) return;
  if (!positionsGiven_) embed::setMember(order.instance, "orderPos", Item::array({}));
  if (!linesValue_) {
    embed::setMember(order.instance, "lines", Item::integer(int64_t(positionCount_)));
  }
  orderRecord_ = order.instance;
}

// On Windows the runtime reads file names in the application's code page, so
// the export directory is converted like every other string: a character the
// code page lacks is an error, not another directory. On POSIX file names are
// bytes, and the directory is used as given.
Status OrderReader::exportDirectory(const Value& v, Item* out) {
  if (!v.isString()) return Status::invalidInput("the export directory must be a string");
  const std::string_view dir = v.text;
  if (dir.empty()) return Status::invalidInput("the export directory is empty");
  if (dir.find('\0') != std::string_view::npos) {
    return Status::invalidInput("the export directory contains a NUL character");
  }
#if defined(_WIN32)
  std::string bytes;
  Status s = codePage_.convert(dir, &bytes);
  if (!s.ok()) return s;
  *out = Item::string(std::move(bytes));
#else
  *out = Item::string(dir);
#endif
  return Status();
}

// --------------------------------------------------------------- the end

Status OrderReader::finish(OrderRecords* out) {
  if (!topIsObject_) {
    return Status::invalidInput("the order file must hold a JSON object with the key \"order\"");
  }
  if (failed_ == kTop) return Status::invalidInput(error_);
  if (!orderGiven_) {
    return Status::invalidInput("order: missing (the order file must have the key \"order\")");
  }
  if (failed_ == kOrder) return Status::invalidInput(error_);
  OrderRecords records;
  Status s = finishParam(&records);
  if (!s.ok()) return s;
  records.order = orderRecord_;
  records.codePage = codePage_.windowsId();
  records.warnings = std::move(warnings_);
  *out = std::move(records);
  return Status();
}

Status OrderReader::finishParam(OrderRecords* out) {
  if (!paramGiven_ && !exportDirError_.ok()) return exportDirError_;
  if (failed_ == kParam) return Status::invalidInput(error_);
  if (!paramGiven_) paramRecord_ = embed::newInstance(param_.object);
  if (dir_.isNil()) {
    return Status::invalidInput(
        "param.zelxport: no export directory: give it here or with --export-dir");
  }
  embed::setMember(paramRecord_, "zelxport", dir_);
  out->param = paramRecord_;
  out->orderFile = std::string(dir_.str()) + "\\velmoran.txt";
  return Status();
}

}  // namespace

namespace {

Status build(JsonSource& json, const OrderOptions& options, OrderRecords* out, size_t chunkSize) {
  CodePage codePage;
  Status s = CodePage::open(options.codePage, &codePage);
  if (!s.ok()) {
    Status read = skipJson(json);
    return read.ok() ? s.prefixed("--codepage: ") : read;
  }
  OrderReader reader(codePage, options);
  s = readJson(json, &reader, chunkSize);
  return s.ok() ? reader.finish(out) : s;
}

}  // namespace

Status buildOrder(JsonSource& json, const OrderOptions& options, OrderRecords* out) {
  return build(json, options, out, kJsonChunkSize);
}

Status buildOrder(std::string_view json, const OrderOptions& options, OrderRecords* out) {
  return buildOrder(json, options, out, kJsonChunkSize);
}

Status buildOrder(std::string_view json, const OrderOptions& options, OrderRecords* out,
                  size_t chunkSize) {
  TextSource source(json);
  return build(source, options, out, chunkSize);
}

}  // namespace velmoran::host

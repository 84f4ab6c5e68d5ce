// buildOrder: walks the JSON of an order file and builds the records through
// the runtime's embedding API, checking every key against the class that
// declares it.

#include "host/order_json.h"

#include <cmath>
#include <cstdint>
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

// Arrays inside a value may nest this deep; deeper is an input error.
constexpr int kMaxNesting = 64;

// A record class as the runtime declares it.
struct RecordClass {
  const char* name;                  // its registered name, for messages
  Item object;                       // the class object
  std::vector<std::string> members;  // declared member names

  RecordClass(const char* publicName, const char* className)
      : name(className), object(embed::callFunction(publicName)) {
    std::string names = embed::memberNames(object);
    for (size_t start = 0; start < names.size();) {
      size_t comma = std::min(names.find(',', start), names.size());
      members.push_back(names.substr(start, comma - start));
      start = comma + 1;
    }
  }

  // The declared name that a key stands for, or null for none.
  const std::string* member(std::string_view key) const {
    for (const std::string& m : members) {
      if (sameName(m, key)) return &m;
    }
    return nullptr;
  }
};

// A JSON value as messages name what was found: its kind, and the value
// itself for a scalar (a long string cut short).
std::string found(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return std::string("the boolean ") + v.dump();
    case Json::value_t::string: {
      const std::string& s = v.get_ref<const std::string&>();
      if (s.size() <= 40) return "the string " + v.dump();
      size_t cut = 37;
      while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
      std::string shown = Json(s.substr(0, cut)).dump();
      return "the string " + shown.insert(shown.size() - 1, "...");
    }
    case Json::value_t::array: return "an array";
    case Json::value_t::object: return "an object";
    default: return "the number " + v.dump();
  }
}

// True when the string holds a control character other than tab: C0, DEL,
// or C1 (U+0080 to U+009F, encoded C2 80 to C2 9F).
bool hasControlCharacter(std::string_view s) {
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

// Builds the records from a document whose positions it received one by one
// while the document was read (see PositionSink); a position's error is kept
// and reported when the walk of the order reaches "orderPos", so that errors
// come in the same order as for a document read whole.
class RecordBuilder : public PositionSink {
 public:
  explicit RecordBuilder(CodePage& codePage) : codePage_(codePage) {}

  void begin(const std::string& key) override;
  void position(size_t index, Json&& element) override;

  bool build(const Json& doc, const OrderOptions& options, OrderRecords* out);
  const std::string& error() const { return error_; }
  std::vector<std::string>& warnings() { return warnings_; }
  const std::string& orderFile() const { return orderFile_; }

 private:
  bool fail(const std::string& path, const std::string& problem) {
    error_ = path.empty() ? problem : path + ": " + problem;
    return false;
  }
  bool unknownKey(const std::string& path, const RecordClass& cls) {
    return fail(path, std::string("unknown key, not a member of ") + cls.name);
  }
  bool expected(const std::string& path, const char* what, const Json& v) {
    return fail(path, std::string("expected ") + what + ", got " + found(v));
  }
  bool checkPositionMember(const std::string& member, const Json& v, const std::string& path);
  bool checkLines(const Json& lines, const std::string& path, size_t positions);

  bool order(const Json& object, Item* out);
  bool positions(const Json& array, const std::string& path, Item* out);
  bool plainRecord(const Json& object, const RecordClass& cls, const std::string& path,
                   Item* out);
  bool param(const Json* object, const std::optional<std::string>& exportDir, Item* out);
  bool exportDirectory(const Json& value, const std::string& path, Item* out);
  bool value(const Json& v, const std::string& path, Item* out, int depth = 0);

  CodePage& codePage_;
  RecordClass order_{"ORDER_STRUCTURE", "order_Structure"};
  RecordClass position_{"ORDERPOSITION_STRUCTURE", "orderPosition_Structure"};
  RecordClass supplier_{"SUPPLIER_STRUCTURE", "supplier_Structure"};
  RecordClass param_{"PARAM_STRUCTURE", "param_Structure"};
  std::string error_;
  std::vector<std::string> warnings_;
  std::string orderFile_;

  // The positions received while reading.
  struct Streamed {
    bool active = false;       // the document's orderPos was streamed
    std::string path;          // "order.orderPos" as the document spells the key
    std::vector<Item> items;   // the positions built so far
    size_t count = 0;          // elements received
    std::string error;         // the first position's error, empty for none
  } streamed_;
};

void RecordBuilder::begin(const std::string& key) {
  streamed_ = {};
  streamed_.active = true;
  streamed_.path = memberPath("order", key);
}

void RecordBuilder::position(size_t index, Json&& element) {
  ++streamed_.count;
  if (!streamed_.error.empty()) return;
  Item item;
  if (!plainRecord(element, position_, elementPath(streamed_.path, index), &item)) {
    streamed_.error = error_;
    streamed_.items.clear();
    return;
  }
  streamed_.items.push_back(std::move(item));
}

// What the plug-in reads of a position, checked before anything is sent.
bool RecordBuilder::checkPositionMember(const std::string& member, const Json& v,
                                        const std::string& path) {
  const bool isText = sameName(member, "partNo") || sameName(member, "remark");
  const bool isMission = sameName(member, "missionNo");
  if ((isText || isMission) && v.is_string() &&
      hasControlCharacter(v.get_ref<const std::string&>())) {
    return expected(path, "a string without control characters other than tab", v);
  }
  if (isText && !v.is_string()) return expected(path, "a string", v);
  if (sameName(member, "quantity") && !v.is_number()) return expected(path, "a number", v);
  if (isMission && !v.is_number() &&
      !(v.is_string() && isBlank(v.get_ref<const std::string&>()))) {
    return expected(path, "a number or a blank string", v);
  }
  return true;
}

// "lines": a whole number up to the number of positions; fewer is sent as
// it says, with a warning.
bool RecordBuilder::checkLines(const Json& lines, const std::string& path, size_t positions) {
  std::optional<double> n = wholeNumber(lines);
  if (!n) return expected(path, "a whole number", lines);
  if (*n > double(positions)) {
    std::string most = "a whole number no greater than the number of positions (" +
                       std::to_string(positions) + ")";
    return expected(path, most.c_str(), lines);
  }
  if (*n > 0 && *n < double(positions)) {
    warnings_.push_back(path + ": only the first " + lines.dump() + " of the " +
                        std::to_string(positions) + " positions are sent");
  }
  return true;
}

bool RecordBuilder::build(const Json& doc, const OrderOptions& options, OrderRecords* out) {
  if (!doc.is_object()) {
    return fail("", "the order file must hold a JSON object with the key \"order\"");
  }
  const Json* orderJson = nullptr;
  const Json* paramJson = nullptr;
  for (const auto& [key, v] : doc.items()) {
    if (sameName(key, "order")) {
      orderJson = &v;
    } else if (sameName(key, "param")) {
      paramJson = &v;
    } else {
      return fail(key, "unknown key, expected \"order\" or \"param\"");
    }
  }
  if (!orderJson) return fail("order", "missing (the order file must have the key \"order\")");
  return order(*orderJson, &out->order) && param(paramJson, options.exportDir, &out->param);
}

bool RecordBuilder::order(const Json& object, Item* out) {
  if (!object.is_object()) return fail("order", "must be an object of order_Structure members");
  Item instance = embed::newInstance(order_.object);
  std::optional<size_t> positionCount;
  const Json* lines = nullptr;
  std::string linesPath;
  for (const auto& [key, v] : object.items()) {
    std::string path = memberPath("order", key);
    const std::string* member = order_.member(key);
    if (!member) return unknownKey(path, order_);
    Item item;
    if (sameName(*member, "orderPos") && streamed_.active) {
      if (!streamed_.error.empty()) return fail("", streamed_.error);
      item = Item::array(std::move(streamed_.items));
      positionCount = streamed_.count;
    } else if (sameName(*member, "orderPos")) {
      if (!positions(v, path, &item)) return false;
      positionCount = v.size();
    } else if (sameName(*member, "supplier") && v.is_object()) {
      if (!plainRecord(v, supplier_, path, &item)) return false;
    } else if (!value(v, path, &item)) {
      return false;
    }
    if (sameName(*member, "lines")) lines = &v, linesPath = path;
    embed::setMember(instance, *member, item);
  }
  if (lines && !checkLines(*lines, linesPath, positionCount.value_or(0))) return false;
  if (!positionCount) embed::setMember(instance, "orderPos", Item::array({}));
  if (!lines) {
    embed::setMember(instance, "lines", Item::integer(int64_t(positionCount.value_or(0))));
  }
  *out = instance;
  return true;
}

bool RecordBuilder::positions(const Json& array, const std::string& path, Item* out) {
  if (!array.is_array()) return fail(path, "must be an array of objects (the positions)");
  std::vector<Item> elements(array.size());
  for (size_t i = 0; i < array.size(); ++i) {
    if (!plainRecord(array[i], position_, elementPath(path, i), &elements[i])) return false;
  }
  *out = Item::array(std::move(elements));
  return true;
}

bool RecordBuilder::plainRecord(const Json& object, const RecordClass& cls,
                                const std::string& path, Item* out) {
  if (!object.is_object()) {
    return fail(path, std::string("must be an object of ") + cls.name + " members");
  }
  Item instance = embed::newInstance(cls.object);
  for (const auto& [key, v] : object.items()) {
    std::string memberAt = memberPath(path, key);
    const std::string* member = cls.member(key);
    if (!member) return unknownKey(memberAt, cls);
    if (&cls == &position_ && !checkPositionMember(*member, v, memberAt)) return false;
    Item item;
    if (!value(v, memberAt, &item)) return false;
    embed::setMember(instance, *member, item);
  }
  *out = instance;
  return true;
}

bool RecordBuilder::param(const Json* object, const std::optional<std::string>& exportDir,
                          Item* out) {
  if (object && !object->is_object()) {
    return fail("param", "must be an object of param_Structure members");
  }
  Item instance = embed::newInstance(param_.object);
  Item dir;
  if (exportDir && !exportDirectory(Json(*exportDir), "--export-dir", &dir)) return false;
  static const Json kNone = Json::object();
  for (const auto& [key, v] : (object ? *object : kNone).items()) {
    std::string path = memberPath("param", key);
    const std::string* member = param_.member(key);
    if (!member) return unknownKey(path, param_);
    if (sameName(*member, "zelxport")) {
      // --export-dir replaces whatever the file gives.
      if (!exportDir && !exportDirectory(v, path, &dir)) return false;
      continue;
    }
    Item item;
    if (!value(v, path, &item)) return false;
    embed::setMember(instance, *member, item);
  }
  if (dir.isNil()) {
    return fail("param.zelxport", "no export directory: give it here or with --export-dir");
  }
  embed::setMember(instance, "zelxport", dir);
  orderFile_ = std::string(dir.str()) + "\\velmoran.txt";
  *out = instance;
  return true;
}

// On Windows the runtime reads file names in the application's code page, so
// the export directory is converted like every other string: a character the
// code page lacks is an error, not another directory. On POSIX file names are
// bytes, and the directory is used as given.
bool RecordBuilder::exportDirectory(const Json& v, const std::string& path, Item* out) {
  if (!v.is_string()) return fail(path, "the export directory must be a string");
  const std::string& dir = v.get_ref<const std::string&>();
  if (dir.empty()) return fail(path, "the export directory is empty");
  if (dir.find('\0') != std::string::npos) {
    return fail(path, "the export directory contains a NUL character");
  }
#if defined(_WIN32)
  std::string bytes;
  Status s = codePage_.convert(dir, &bytes);
  if (!s.ok()) return fail(path, s.toString());
  *out = Item::string(std::move(bytes));
#else
  *out = Item::string(dir);
#endif
  return true;
}

bool RecordBuilder::value(const Json& v, const std::string& path, Item* out, int depth) {
  using Type = Json::value_t;
  switch (v.type()) {
    case Type::null: *out = Item(); return true;
    case Type::boolean: *out = Item::logical(v.get<bool>()); return true;
    case Type::number_integer: *out = Item::integer(v.get<int64_t>()); return true;
    case Type::number_unsigned: {
      uint64_t n = v.get<uint64_t>();
      *out = n <= uint64_t(INT64_MAX) ? Item::integer(int64_t(n)) : Item::real(double(n));
      return true;
    }
    case Type::number_float: *out = Item::real(v.get<double>()); return true;
    case Type::string: {
      std::string bytes;
      Status s = codePage_.convert(v.get_ref<const std::string&>(), &bytes);
      if (!s.ok()) return fail(path, s.toString());
      *out = Item::string(std::move(bytes));
      return true;
    }
    case Type::array: {
      if (depth >= kMaxNesting) return fail(path, "arrays nested too deeply");
      std::vector<Item> elements(v.size());
      for (size_t i = 0; i < v.size(); ++i) {
        if (!value(v[i], elementPath(path, i), &elements[i], depth + 1)) return false;
      }
      *out = Item::array(std::move(elements));
      return true;
    }
    case Type::object: return fail(path, "an object where no record is expected");
    default: return fail(path, "a value of a kind that records cannot hold");
  }
}

}  // namespace

Status buildOrder(std::string_view json, const OrderOptions& options, OrderRecords* out) {
  CodePage codePage;
  Status s = CodePage::open(options.codePage, &codePage);
  if (!s.ok()) return s.prefixed("--codepage: ");
  RecordBuilder builder(codePage);
  Json document;
  s = readJson(json, &builder, &document);
  if (!s.ok()) return s;
  OrderRecords records;
  if (!builder.build(document, options, &records)) return Status::invalidInput(builder.error());
  records.codePage = codePage.windowsId();
  records.warnings = std::move(builder.warnings());
  records.orderFile = builder.orderFile();
  *out = std::move(records);
  return Status();
}

}  // namespace velmoran::host

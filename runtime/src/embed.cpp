// The embedding API, the privileged inspection calls and the public function registry.

#include "hostrt/embed.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "hostrt/clipboard.h"
#include "hostrt/inspect.h"
#include "hostrt/object.h"
#include "object_internal.h"
#include "text_encoding.h"

namespace hostrt {

namespace {

struct FunctionTable {
  std::mutex mutex;
  std::unordered_map<uint32_t, RtFunction> byName;  // symbol of the public name -> function
};

void registerRuntimeFunctions(FunctionTable& table);

FunctionTable& functions() {
  static FunctionTable* table = [] {
    auto* t = new FunctionTable;  // lives as long as the process
    registerRuntimeFunctions(*t);
    return t;
  }();
  return *table;
}

void registerRuntimeFunctions(FunctionTable& table) {
  const std::pair<const char*, RtFunction> builtins[] = {
      {"PADR", PADR},     {"STRZERO", STRZERO}, {"STRTRAN", STRTRAN}, {"LEN", LEN},
      {"EMPTY", EMPTY},   {"CHR", CHR},         {"ACREATE", ACREATE}, {"FERASE", FERASE},
      {"FCREATE", FCREATE}, {"FWRITE", FWRITE}, {"FCLOSE", FCLOSE},   {"FERROR", FERROR},
      {"FCREATETEMP", FCREATETEMP}, {"FCOMMIT", FCOMMIT},
      {"SYSCLIPBOARD", SYSCLIPBOARD},
  };
  for (const auto& [name, fn] : builtins) table.byName[internName(name)] = fn;
}

// A Name for the length of one embedding call; embedding calls take
// string_views, a Name needs NUL-terminated text. Short names stay on the stack.
class DynamicName {
 public:
  explicit DynamicName(std::string_view text) : name_(terminated(text)) {}
  const Name& get() const { return name_; }

 private:
  const char* terminated(std::string_view text) {
    if (text.size() < sizeof short_) {
      std::memcpy(short_, text.data(), text.size());
      short_[text.size()] = '\0';
      return short_;
    }
    long_.assign(text);
    return long_.c_str();
  }

  char short_[64];
  std::string long_;
  Name name_;
};

Item sendWith(const Item& receiver, std::string_view message, std::initializer_list<Item> args) {
  DynamicName name(message);
  Item result;
  constexpr size_t kSmall = 8;
  if (args.size() < kSmall) {
    Item argv[kSmall];
    argv[0] = receiver;
    std::copy(args.begin(), args.end(), argv + 1);
    rtSend(&result, &name.get(), int(args.size() + 1), argv);
    return result;
  }
  std::vector<Item> argv;
  argv.reserve(args.size() + 1);
  argv.push_back(receiver);
  argv.insert(argv.end(), args.begin(), args.end());
  rtSend(&result, &name.get(), int(argv.size()), argv.data());
  return result;
}

const Class* classOf(const Item& classObject) {
  return classObject.isObject() ? classObject.object()->cls : nullptr;
}

}  // namespace

extern "C" void rtRegisterFunction(const char* publicName, RtFunction fn) {
  FunctionTable& table = functions();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.byName[internName(publicName)] = fn;
}

extern "C" void rtUnregisterFunction(const char* publicName, RtFunction fn) {
  FunctionTable& table = functions();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.byName.find(internName(publicName));
  if (it != table.byName.end() && it->second == fn) table.byName.erase(it);
}

extern "C" RtFunction rtFindFunction(const char* publicName) {
  FunctionTable& table = functions();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.byName.find(internName(publicName));
  return it == table.byName.end() ? nullptr : it->second;
}

namespace embed {

Item callFunction(std::string_view publicName, std::initializer_list<Item> args) {
  std::string name(publicName);
  RtFunction fn = rtFindFunction(name.c_str());
  if (!fn) {
    return raiseError(kErrorNoFunction, "no public function " + name, "call " + name);
  }
  std::vector<Item> argv(args);
  Item result;
  fn(&result, int(argv.size()), argv.data());
  return result;
}

Item newInstance(const Item& classObject, std::initializer_list<Item> args) {
  static const Name kNew("New");
  if (args.size() == 0) {
    Item result;
    rtSend(&result, &kNew, 1, &classObject);
    return result;
  }
  return sendWith(classObject, "New", args);
}

Item send(const Item& receiver, std::string_view message, std::initializer_list<Item> args) {
  return sendWith(receiver, message, args);
}

Item getMember(const Item& object, std::string_view member) {
  DynamicName name(member);
  Item result;
  rtGetMember(&result, &object, &name.get());
  return result;
}

void setMember(const Item& object, std::string_view member, const Item& value) {
  DynamicName name(member);
  rtSetMember(&object, &name.get(), &value);
}

std::string memberNames(const Item& classObject) {
  std::string names;
  if (const Class* cls = classOf(classObject)) {
    for (const MemberDef& m : cls->members) {
      if (!m.internal()) names += (names.empty() ? "" : ",") + m.name;
    }
  }
  return names;
}

ErrorHandler setErrorHandler(ErrorHandler handler) { return rtSetErrorHandler(std::move(handler)); }

std::string clipboardText() { return clipboardRead(); }

uint64_t clipboardFailures() { return clipboardFailureCount(); }

void setCodePage(uint32_t cp) { setApplicationCodePage(cp); }

uint32_t codePage() { return applicationCodePage(); }

}  // namespace embed

namespace inspect {

Item send(const Item& receiver, std::string_view message, std::initializer_list<Item> args) {
  grantPrivilegeOnce();
  return sendWith(receiver, message, args);
}

Item getMember(const Item& object, std::string_view member) {
  grantPrivilegeOnce();
  return embed::getMember(object, member);
}

void setMember(const Item& object, std::string_view member, const Item& value) {
  grantPrivilegeOnce();
  embed::setMember(object, member, value);
}

unsigned memberFlags(const Item& classObject, std::string_view member) {
  const Class* cls = classOf(classObject);
  uint32_t symbol = internName(member);
  if (cls) {
    for (const MemberDef& m : cls->members) {
      if (m.symbol == symbol) return m.flags;
    }
  }
  return 0;
}

unsigned methodFlags(const Item& classObject, std::string_view method) {
  const Class* cls = classOf(classObject);
  uint32_t symbol = internName(method);
  if (cls) {
    for (const MethodDef& m : cls->methods) {
      if (m.symbol == symbol) return m.flags;
    }
  }
  return 0;
}

std::string memberNames(const Item& classObject) {
  std::string names;
  if (const Class* cls = classOf(classObject)) {
    for (const MemberDef& m : cls->members) names += (names.empty() ? "" : ",") + m.name;
  }
  return names;
}

std::string methodNames(const Item& classObject) {
  std::string names;
  if (const Class* cls = classOf(classObject)) {
    for (const MethodDef& m : cls->methods) names += (names.empty() ? "" : ",") + m.name;
  }
  return names;
}

}  // namespace inspect
}  // namespace hostrt

// Loading the plug-in as a library: the public section and module record at
// both address widths, registration at load, detach, and class publication.

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "plugin/public_section.h"
#include "hostrt/frame.h"
#include "hostrt/module.h"
#include "hostrt/object.h"
#include "plugin_fixture.h"

namespace velmoran::testing {
namespace {

// --- the layout, byte for byte, at both widths

// Appends little-endian integers and names the way the section lays them out.
struct Bytes {
  std::string data;
  void u32(uint32_t v) { put(v, 4); }
  void address(uint64_t v, int width) { put(v, width); }
  void zeros(int n) { data.append(size_t(n), '\0'); }
  void name(const char* s) { data.append(s, std::strlen(s) + 1); }
  void put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) data.push_back(char((v >> (8 * i)) & 0xFF));
  }
};

constexpr auto kNames = publicNames();

std::string expectedSection(int width, uint64_t handler, const uint64_t (&fns)[6]) {
  Bytes b;
  b.u32(0);
  b.address(handler, width);
  b.zeros(12);
  b.u32(0);
  b.zeros(12);
  b.u32(0);
  b.u32(0);
  for (int i = 0; i < 6; ++i) {
    b.u32(uint32_t(12 + width + std::strlen(kNames[i]) + 1));
    b.address(fns[i], width);
    b.u32(0);
    b.u32(0x20);
    b.name(kNames[i]);
  }
  b.u32(0);
  return b.data;
}

template <class Word>
std::string actualSection(Word handler, const uint64_t (&fns)[6]) {
  PublicFunctions<Word> words;
  for (int i = 0; i < 6; ++i) words[i] = Word(fns[i]);
  auto section = makePublicSection<Word, Word>(handler, words);
  return std::string(reinterpret_cast<const char*>(&section), sizeof section);
}

TEST(PublicSection, ThirtyTwoBitLayoutIsExact) {
  const uint64_t fns[6] = {0x10001000, 0x10002000, 0x10003000, 0x10004000, 0x10005000, 0x10006000};
  std::string actual = actualSection<uint32_t>(0x1000ABCD, fns);
  EXPECT_EQ(actual.size(), 252u);
  EXPECT_EQ(actual, expectedSection(4, 0x1000ABCD, fns));
  const uint32_t entrySizes[6] = {35, 32, 40, 35, 32, 30};
  size_t at = 44;
  for (uint32_t size : entrySizes) {
    uint32_t stored;
    std::memcpy(&stored, actual.data() + at, 4);
    EXPECT_EQ(stored, size);
    at += size;
  }
  EXPECT_EQ(at, 248u);
}

TEST(PublicSection, SixtyFourBitLayoutWidensOnlyTheAddresses) {
  const uint64_t fns[6] = {0x7f0000001000, 0x7f0000002000, 0x7f0000003000,
                           0x7f0000004000, 0x7f0000005000, 0x7f0000006000};
  std::string actual = actualSection<uint64_t>(0x7f000000ABCD, fns);
  EXPECT_EQ(actual.size(), 280u);
  EXPECT_EQ(actual, expectedSection(8, 0x7f000000ABCD, fns));
}

TEST(ModuleRecord, WordsPointAtTheirFieldsAtBothWidths) {
  struct Case {
    std::vector<uint64_t> offsets;  // words 1 to 8, relative to the section
    std::vector<uint64_t> words;
  };
  uint32_t w32[12];
  fillModuleRecord<uint32_t, PublicSection<uint32_t, uint32_t>>(w32, 0x10000, 0x400000);
  uint64_t w64[12];
  fillModuleRecord<uint64_t, PublicSection<uint64_t, uint64_t>>(w64, 0x10000, 0x400000);
  const Case cases[] = {
      {{40, 40, 4, 20, 24, 36, 44, 248}, std::vector<uint64_t>(w32, w32 + 12)},
      {{44, 44, 4, 24, 28, 40, 48, 276}, std::vector<uint64_t>(w64, w64 + 12)},
  };
  for (const Case& c : cases) {
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(c.words[i], 0x10000 + c.offsets[i]) << "word " << i + 1;
    EXPECT_EQ(c.words[8], 0u);
    EXPECT_EQ(c.words[9], 0x400000u);
    EXPECT_EQ(c.words[10], 0x02000000u);
    EXPECT_EQ(c.words[11], 1u);
  }
}

// --- the loaded library

uintptr_t loadBase(void* handle) {
  link_map* map = nullptr;
  dlinfo(handle, RTLD_DI_LINKMAP, &map);
  return map ? map->l_addr : 0;
}

// Address and size of the ELF section .hostpub in the library file.
std::pair<uint64_t, uint64_t> hostpubInFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string file((std::istreambuf_iterator<char>(in)), {});
  auto* header = reinterpret_cast<const Elf64_Ehdr*>(file.data());
  auto* sections = reinterpret_cast<const Elf64_Shdr*>(file.data() + header->e_shoff);
  const char* names = file.data() + sections[header->e_shstrndx].sh_offset;
  for (int i = 0; i < header->e_shnum; ++i) {
    if (std::strcmp(names + sections[i].sh_name, ".hostpub") == 0) {
      return {sections[i].sh_addr, sections[i].sh_size};
    }
  }
  return {0, 0};
}

const hostrt::ModuleRecord* pluginRecord() {
  loadPlugin();
  for (int i = 0; i < hostrt::rtModuleCount(); ++i) {
    if (const hostrt::ModuleRecord* r = hostrt::rtModuleAt(i)) return r;
  }
  return nullptr;
}

TEST(LoadedLibrary, RegistersItsRecordPointingIntoItsSection) {
  void* handle = loadPlugin();
  const hostrt::ModuleRecord* record = pluginRecord();
  ASSERT_NE(record, nullptr);
  uintptr_t base = loadBase(handle);
  auto [address, size] = hostpubInFile(VELMORAN_PLUGIN_PATH);
  EXPECT_EQ(size, 280u);
  uintptr_t section = base + address;
  const uint64_t offsets[8] = {44, 44, 4, 24, 28, 40, 48, 276};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(record->words[i], section + offsets[i]) << "word " << i + 1;
  EXPECT_EQ(record->words[8], 0u);
  EXPECT_EQ(record->words[9], base);
  EXPECT_EQ(record->words[10], 0x02000000u);
  EXPECT_EQ(record->words[11], 1u);
}

TEST(LoadedLibrary, TheTableWalksToTheSixClassFunctions) {
  const hostrt::ModuleRecord* record = pluginRecord();
  ASSERT_NE(record, nullptr);
  uintptr_t at = record->words[6];
  for (const char* name : kNames) {
    uint32_t size;
    std::memcpy(&size, reinterpret_cast<const void*>(at), 4);
    EXPECT_EQ(size, 20 + std::strlen(name) + 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(at + 20), name);
    uintptr_t fn;
    std::memcpy(&fn, reinterpret_cast<const void*>(at + 4), sizeof fn);
    Dl_info info{};
    ASSERT_TRUE(dladdr(reinterpret_cast<void*>(fn), &info));  // relocated into the library
    EXPECT_STREQ(info.dli_sname, name);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(hostrt::rtFindFunction(name)), fn);
    at += size;
  }
  EXPECT_EQ(at, record->words[7]);
}

using EntryFunction = int (*)(void*, uint32_t, void*);

TEST(LoadedLibrary, ThreadCodesChangeNothingAndDetachWithdrawsTheNames) {
  void* handle = loadPlugin();
  auto entry = reinterpret_cast<EntryFunction>(dlsym(handle, "velmoranEntry"));
  ASSERT_NE(entry, nullptr);
  void* module = reinterpret_cast<void*>(loadBase(handle));
  int modules = hostrt::rtModuleCount();
  EXPECT_EQ(entry(module, 2, nullptr), 0);
  EXPECT_EQ(entry(module, 3, nullptr), 0);
  EXPECT_EQ(entry(module, 7, nullptr), 0);
  EXPECT_EQ(hostrt::rtModuleCount(), modules);

  EXPECT_EQ(entry(module, 0, nullptr), 1);
  EXPECT_EQ(hostrt::rtModuleCount(), modules - 1);
  for (const char* name : kNames) EXPECT_EQ(hostrt::rtFindFunction(name), nullptr) << name;
  EXPECT_THROW(embed::callFunction("VELMORANORDER"), hostrt::RuntimeError);

  EXPECT_EQ(entry(module, 1, nullptr), 1);
  EXPECT_EQ(hostrt::rtModuleCount(), modules);
  EXPECT_TRUE(embed::callFunction("VELMORANORDER").isObject());
}

TEST(LoadedLibraryFresh, DlcloseUnloadsAndWithdrawsEverything) {
  VELMORAN_IN_FRESH_PROCESS({
    void* handle = dlopen(VELMORAN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(hostrt::rtModuleCount(), 1);
    EXPECT_TRUE(embed::callFunction("PARAM_STRUCTURE").isObject());
    EXPECT_EQ(dlclose(handle), 0);
    EXPECT_EQ(hostrt::rtModuleCount(), 0);
    for (const char* name : kNames) EXPECT_EQ(hostrt::rtFindFunction(name), nullptr) << name;
    // Really gone: loading without RTLD_NOLOAD finds nothing resident.
    EXPECT_EQ(dlopen(VELMORAN_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);
  });
}

TEST(LoadedLibraryFresh, AWholeSendWorksThroughThePublicNames) {
  VELMORAN_IN_FRESH_PROCESS({
    TempDir dir;
    SendOutcome out = sendOrder(newOrder({newPosition({str("13-280 A.1"), num(2), num(4711)})}),
                                newParam(dir.path().string()));
    EXPECT_TRUE(out.result.asLogical());
    EXPECT_EQ(readFile(dir.orderFile()), "ORDDTL13280A1        0000002 004711\r\n\n");
  });
}

// embed::loadLibrary, as an application loads the plug-in: a bare file name
// is a file in the current directory, never a library on the search path.
TEST(LoadedLibraryFresh, LoadLibraryLoadsThePluginAndSaysWhyNot) {
  VELMORAN_IN_FRESH_PROCESS({
    std::string error;
    EXPECT_FALSE(embed::loadLibrary("/nowhere/libvelmoran.so", &error));
    EXPECT_NE(error.find("/nowhere/libvelmoran.so"), std::string::npos) << error;
    EXPECT_FALSE(embed::loadLibrary("libc.so.6", &error));
    EXPECT_NE(error.find("./libc.so.6"), std::string::npos) << error;
    EXPECT_EQ(hostrt::rtModuleCount(), 0);
    ASSERT_TRUE(embed::loadLibrary(VELMORAN_PLUGIN_PATH, &error)) << error;
    EXPECT_EQ(hostrt::rtModuleCount(), 1);
    EXPECT_TRUE(embed::callFunction("VELMORANORDER").isObject());
  });
}

// Unloading withdraws the library's classes with its code: what outlived the
// unload answers a runtime error, and a new load builds working classes.
void unloadAndReload() {
  void* handle = dlopen(VELMORAN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr);
  Item oldClass = embed::callFunction("VELMORANORDER");
  Item oldExporter = embed::newInstance(oldClass);
  Item oldOrder = embed::newInstance(embed::callFunction("ORDER_STRUCTURE"));
  ASSERT_EQ(dlclose(handle), 0);
  ASSERT_EQ(dlopen(VELMORAN_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);

  const std::pair<Item, const char*> sends[] = {
      {oldExporter, "getResultMessage"}, {oldExporter, "send"},
      {oldClass, "getPurpose"},          {oldClass, "New"},
      {oldOrder, "init"},
  };
  for (const auto& [receiver, message] : sends) {
    try {
      embed::send(receiver, message);
      ADD_FAILURE() << message << " ran";
    } catch (const hostrt::RuntimeError& e) {
      EXPECT_EQ(e.error().code, hostrt::kErrorNoMethod) << message;
    }
  }

  handle = dlopen(VELMORAN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(hostrt::exactlyEqual(embed::callFunction("VELMORANORDER"), oldClass));
  TempDir dir;
  SendOutcome out = sendOrder(newOrder({newPosition({str("13-280 A.1"), num(2), num(4711)})}),
                              newParam(dir.path().string()));
  EXPECT_TRUE(out.result.isLogical() && out.result.asLogical());
  EXPECT_EQ(readFile(dir.orderFile()), "ORDDTL13280A1        0000002 004711\r\n\n");
  EXPECT_THROW(embed::send(oldExporter, "getResultMessage"), hostrt::RuntimeError);
}

TEST(LoadedLibraryFresh, UnloadAndReloadGiveWorkingClassesAndOldInstancesErrors) {
  VELMORAN_IN_FRESH_PROCESS(unloadAndReload());
}

void mineDerivedFrom(Item* result, int argc, const Item* argv) {
  hostrt::MethodFrame f(hostrt::kFrameClassMethod, "@MINE@C@DERIVEDFROM", 0, argc, argv);
  *result = Item::string("mine");
}

void mineInitClass(Item* result, int argc, const Item* argv) {
  hostrt::MethodFrame f(hostrt::kFrameClassMethod, "@MINE@C@INITCLASS", 0, argc, argv);
  *result = f.self();
}

TEST(LoadedLibraryFresh, ARegisteredContractIsReusedAsTheSuperclass) {
  VELMORAN_IN_FRESH_PROCESS({
    using namespace hostrt;
    Class* mine = rtCreateClass("SendOrderInterface", 0, 0, 2, 0, nullptr, 0, 0, 0);
    rtDefineMethod(mine, "derivedFrom", mineDerivedFrom, kPublicClassMethod);
    rtDefineMethod(mine, "INITCLASS", mineInitClass, kPublicClassMethod);
    rtEndClassDefinition(mine);
    rtRegisterClass(mine);
    Item mineObject;
    rtReturnObject(&mineObject, mine);

    Item exporterClass = classObject("VELMORANORDER");
    EXPECT_TRUE(exactlyEqual(embed::getMember(exporterClass, "SendOrderInterface"), mineObject));
    EXPECT_TRUE(exactlyEqual(embed::callFunction("SENDORDERINTERFACE"), mineObject));
    EXPECT_EQ(embed::send(mineObject, "derivedFrom").str(), "mine");
    EXPECT_EQ(embed::send(exporterClass, "derivedFrom").str(), "SendOrderInterface");
  });
}

}  // namespace
}  // namespace velmoran::testing

// velmoran.dll as the application loads it on Windows: LoadLibrary runs
// DllMain, which registers the library with the runtime through its module
// record; the class functions are then reached by public name through the
// runtime and an order is sent through the embedding API. Every case runs in
// a process of its own, so each load is the library's first.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin/public_section.h"
#include "hostrt/embed.h"
#include "hostrt/module.h"

namespace {

using hostrt::Item;
namespace embed = hostrt::embed;
namespace fs = std::filesystem;

const char* const kPublicNames[6] = {"SENDORDERINTERFACE", "ORDER_STRUCTURE",
                                     "ORDERPOSITION_STRUCTURE", "SUPPLIER_STRUCTURE",
                                     "PARAM_STRUCTURE", "VELMORANORDER"};
const std::string kEnd = "\r\n\n";
const std::string kExampleFile = "ORDDTL13280A1        0000002 004711" + kEnd +
                                 "ORDDTL990001B        0000010 Eilt" + kEnd;

Item str(std::string_view s) { return Item::string(s); }
Item num(int64_t n) { return Item::integer(n); }

// --- the DLL as a file and as a loaded image

// velmoran.dll beside this test program.
std::string pluginPath() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string exe(buf, n);
  return exe.substr(0, exe.find_last_of("\\/") + 1) + "velmoran.dll";
}

// The headers of this program's own format: PE32 or PE32+.
const IMAGE_NT_HEADERS* ntHeaders(const void* image) {
  auto* bytes = static_cast<const char*>(image);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes);
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes + dos->e_lfanew);
}

// The preferred base and the size of the image, from the file's headers.
struct Preferred {
  uintptr_t base = 0;
  size_t size = 0;
};
Preferred preferredImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> head(4096);
  in.read(head.data(), std::streamsize(head.size()));
  const IMAGE_NT_HEADERS* nt = ntHeaders(head.data());
  return {nt->OptionalHeader.ImageBase, nt->OptionalHeader.SizeOfImage};
}

// A section of a loaded module: its bytes and size; empty when absent.
struct Section {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
};
Section findSection(HMODULE module, const char* name) {
  const IMAGE_NT_HEADERS* nt = ntHeaders(module);
  const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++s) {
    if (std::strncmp(reinterpret_cast<const char*>(s->Name), name, IMAGE_SIZEOF_SHORT_NAME) == 0) {
      return {reinterpret_cast<const uint8_t*>(module) + s->VirtualAddress, s->Misc.VirtualSize};
    }
  }
  return {};
}

bool insideSection(HMODULE module, const char* name, uintptr_t address) {
  Section s = findSection(module, name);
  auto start = reinterpret_cast<uintptr_t>(s.bytes);
  return address >= start && address < start + s.size;
}

uintptr_t exportedAddress(HMODULE module, const char* nameOrOrdinal) {
  return reinterpret_cast<uintptr_t>(GetProcAddress(module, nameOrOrdinal));
}

// The public section's size and the module record's words 1 to 8 as offsets
// into it: the address fields are as wide as an address.
constexpr bool k64 = sizeof(void*) == 8;
constexpr size_t kPublicSectionSize = k64 ? 280 : 252;
constexpr size_t kRecordOffsets32[8] = {40, 40, 4, 20, 24, 36, 44, 248};
constexpr size_t kRecordOffsets64[8] = {44, 44, 4, 24, 28, 40, 48, 276};

// Checks the loaded public section byte for byte: the layout with the load
// handler's address as found (it must lie in the code) and the six class
// functions at the addresses that the export directory gives for ordinals 1
// to 6, i.e. as relocated for wherever the library was loaded.
void expectPublicSection(HMODULE module) {
  Section pub = findSection(module, ".hostpub");
  ASSERT_NE(pub.bytes, nullptr);
  ASSERT_EQ(pub.size, kPublicSectionSize);
  uintptr_t handler;
  std::memcpy(&handler, pub.bytes + 4, sizeof handler);
  EXPECT_TRUE(insideSection(module, ".text", handler)) << std::hex << handler;
  velmoran::PublicFunctions<uintptr_t> functions;
  for (int i = 0; i < 6; ++i) {
    functions[i] = exportedAddress(module, MAKEINTRESOURCEA(i + 1));
    EXPECT_EQ(functions[i], exportedAddress(module, kPublicNames[i])) << kPublicNames[i];
    EXPECT_TRUE(insideSection(module, ".text", functions[i])) << kPublicNames[i];
  }
  auto expected = velmoran::makePublicSection<uintptr_t, uintptr_t>(handler, functions);
  static_assert(sizeof expected == kPublicSectionSize);
  EXPECT_EQ(std::memcmp(pub.bytes, &expected, sizeof expected), 0);
}

// The module record the library handed to the runtime, or null.
const hostrt::ModuleRecord* recordOf(HMODULE module) {
  for (int i = 0; i < hostrt::rtModuleCount(); ++i) {
    const hostrt::ModuleRecord* r = hostrt::rtModuleAt(i);
    if (r->words[9] == reinterpret_cast<uintptr_t>(module)) return r;
  }
  return nullptr;
}

// --- files and the clipboard

// A fresh directory under the temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    static int count = 0;
    path_ = fs::temp_directory_path() /
            ("velmoran-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string name() const { return path_.string(); }
  // The order file as the exporter names it: the directory, "\velmoran.txt".
  std::string orderFileName() const { return name() + "\\velmoran.txt"; }

 private:
  fs::path path_;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The CF_TEXT on the system clipboard, read without the runtime.
std::string systemClipboardText() {
  if (!OpenClipboard(nullptr)) return "(clipboard not available)";
  std::string text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(GlobalLock(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return text;
}

// --- the application's side of a send

Item newPosition(Item partNo, Item quantity, Item missionNo, Item remark) {
  Item p = embed::newInstance(embed::callFunction("ORDERPOSITION_STRUCTURE"));
  embed::setMember(p, "partNo", partNo);
  embed::setMember(p, "quantity", quantity);
  embed::setMember(p, "missionNo", missionNo);
  embed::setMember(p, "remark", remark);
  return p;
}

Item newOrder(std::vector<Item> positions) {
  Item order = embed::newInstance(embed::callFunction("ORDER_STRUCTURE"));
  embed::setMember(order, "lines", num(int64_t(positions.size())));
  embed::setMember(order, "orderPos", Item::array(std::move(positions)));
  return order;
}

Item exampleOrder() {
  return newOrder({newPosition(str("13-280 A.1"), num(2), num(4711), str("Eilt")),
                   newPosition(str("99/0001,B"), num(10), num(0), str("Eilt"))});
}

struct Sent {
  Item result;
  std::string message;
};

Sent send(const Item& order, const std::string& dir) {
  Item param = embed::newInstance(embed::callFunction("PARAM_STRUCTURE"));
  embed::setMember(param, "zelxport", str(dir));
  Item exporter = embed::newInstance(embed::callFunction("VELMORANORDER"));
  Item result = embed::send(exporter, "send", {order, param});
  return {result, std::string(embed::send(exporter, "getResultMessage").str())};
}

// Sends the worked example and checks file, message and clipboard.
void expectExampleSent() {
  TempDir dir;
  Sent sent = send(exampleOrder(), dir.name());
  ASSERT_TRUE(sent.result.isLogical() && sent.result.asLogical()) << sent.message;
  EXPECT_EQ(sent.message, "Die Bestelldaten befinden sich in der Datei " + dir.orderFileName());
  EXPECT_EQ(readFile(dir.orderFileName()), kExampleFile);
  EXPECT_EQ(systemClipboardText(), dir.orderFileName());
}

// --- the cases

TEST(PluginDll, LoadRegistersTheClassFunctionsAndFreeWithdrawsThem) {
  ASSERT_EQ(hostrt::rtModuleCount(), 0);
  HMODULE module = LoadLibraryA(pluginPath().c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  for (const char* name : kPublicNames) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(hostrt::rtFindFunction(name)),
              exportedAddress(module, name))
        << name;
  }
  const hostrt::ModuleRecord* record = recordOf(module);
  ASSERT_NE(record, nullptr);
  auto pub = reinterpret_cast<uintptr_t>(findSection(module, ".hostpub").bytes);
  const size_t* offsets = k64 ? kRecordOffsets64 : kRecordOffsets32;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(record->words[i], pub + offsets[i]) << "word " << i + 1;
  EXPECT_EQ(record->words[8], 0u);
  EXPECT_EQ(record->words[10], 0x02000000u);
  EXPECT_EQ(record->words[11], 1u);

  ASSERT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleA("velmoran.dll"), nullptr);
  EXPECT_EQ(hostrt::rtModuleCount(), 0);
  for (const char* name : kPublicNames) EXPECT_EQ(hostrt::rtFindFunction(name), nullptr) << name;
}

TEST(PluginDll, SendsTheExampleOrderAtThePreferredBase) {
  std::string path = pluginPath();
  HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(module), preferredImage(path).base);
  expectPublicSection(module);
  expectExampleSent();
}

TEST(PluginDll, SendsTheExampleOrderWhenLoadedAtAnotherBase) {
  // Holding the preferred range makes the loader place the library elsewhere
  // and apply its base relocations.
  std::string path = pluginPath();
  Preferred preferred = preferredImage(path);
  void* held = VirtualAlloc(reinterpret_cast<void*>(preferred.base), preferred.size, MEM_RESERVE,
                            PAGE_NOACCESS);
  ASSERT_EQ(reinterpret_cast<uintptr_t>(held), preferred.base) << GetLastError();
  HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_NE(reinterpret_cast<uintptr_t>(module), preferred.base);
  expectPublicSection(module);
  for (const char* name : kPublicNames) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(hostrt::rtFindFunction(name)),
              exportedAddress(module, name))
        << name;
  }
  expectExampleSent();
}

TEST(PluginDll, ARuntimeErrorUnwindsFromThePluginThroughTheRuntime) {
  ASSERT_NE(LoadLibraryA(pluginPath().c_str()), nullptr) << GetLastError();
  TempDir dir;
  Item order = newOrder({newPosition(str("A"), num(1), num(0), str("")),
                         newPosition(str("B"), str("zwei"), num(0), str(""))});
  try {
    send(order, dir.name());
    ADD_FAILURE() << "no runtime error";
  } catch (const hostrt::RuntimeError& e) {
    EXPECT_EQ(e.error().code, hostrt::kErrorWrongKind) << e.what();
    EXPECT_EQ(e.error().procedure, "@VELMORANORDER@I@SEND") << e.what();
  }
  EXPECT_FALSE(fs::exists(dir.orderFileName()));
  // The frames on the way were left cleanly: the next send works.
  expectExampleSent();
}

TEST(PluginDll, ThreadsStartedAfterLoadingChangeNothing) {
  // Each thread start and end reaches DllMain with the thread codes. The
  // export directory is a class-level member, one for every sender, so the
  // threads send into one directory: each send succeeds, one order remains.
  ASSERT_NE(LoadLibraryA(pluginPath().c_str()), nullptr) << GetLastError();
  TempDir dir;
  std::vector<std::thread> threads;
  std::vector<Sent> sent(4);
  for (size_t i = 0; i < sent.size(); ++i) {
    threads.emplace_back([&, i] { sent[i] = send(exampleOrder(), dir.name()); });
  }
  for (std::thread& t : threads) t.join();
  for (const Sent& s : sent) {
    EXPECT_TRUE(s.result.isLogical() && s.result.asLogical()) << s.message;
    EXPECT_EQ(s.message, "Die Bestelldaten befinden sich in der Datei " + dir.orderFileName());
  }
  EXPECT_EQ(readFile(dir.orderFileName()), kExampleFile);
  EXPECT_EQ(hostrt::rtModuleCount(), 1);
  expectExampleSent();
}

// embed::loadLibrary takes the path in the application's code page, made
// full, whatever the system's ANSI code page.
TEST(PluginDll, LoadLibraryTakesAPathInTheApplicationsCodePage) {
  TempDir dir;
  const fs::path folder = fs::path(dir.name()) / L"M\u00fcller";
  fs::create_directories(folder);
  fs::copy_file(pluginPath(), folder / "velmoran.dll");
  std::string error;
  EXPECT_FALSE(embed::loadLibrary(dir.name() + "\\none\\velmoran.dll", &error));
  EXPECT_EQ(error.rfind(dir.name() + "\\none\\velmoran.dll: ", 0), 0u) << error;
  ASSERT_EQ(hostrt::rtModuleCount(), 0);
  ASSERT_TRUE(embed::loadLibrary(dir.name() + "\\M\xfcller\\velmoran.dll", &error)) << error;
  EXPECT_EQ(hostrt::rtModuleCount(), 1);
  expectExampleSent();
}

// At process exit Windows ends the other threads wherever they are, then
// calls DllMain with a non-null `reserved`. A thread ended inside a runtime
// call leaves that call's lock held for good; the library must not wait for
// it. The exit runs in a child process: with the thread inside rtModuleInsert,
// holding the module lock, the child calls ExitProcess, which must end it.
const wchar_t kExitChild[] = L"VELMORAN_EXIT_WITH_A_LOCK_HELD";

HANDLE insideInsert = nullptr;  // set by the blocking load handler

int blockingLoadHandler(uint32_t) {
  SetEvent(insideInsert);
  Sleep(INFINITE);
  return 1;
}

[[noreturn]] void exitWithTheModuleLockHeld() {
  if (!LoadLibraryA(pluginPath().c_str())) ExitProcess(2);
  insideInsert = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  static uintptr_t handler = reinterpret_cast<uintptr_t>(&blockingLoadHandler);
  static hostrt::ModuleRecord record = {};
  record.words[2] = reinterpret_cast<uintptr_t>(&handler);
  record.words[3] = record.words[2] + sizeof handler;
  std::thread([] { hostrt::rtModuleInsert(&record); }).detach();
  if (WaitForSingleObject(insideInsert, 30000) != WAIT_OBJECT_0) ExitProcess(3);
  ExitProcess(42);
}

TEST(PluginDll, ProcessExitEndsWhileAnotherThreadHoldsARuntimeLock) {
  if (GetEnvironmentVariableW(kExitChild, nullptr, 0) > 0) exitWithTheModuleLockHeld();
  wchar_t exe[32768];
  GetModuleFileNameW(nullptr, exe, 32768);
  std::wstring line = L"\"" + std::wstring(exe) +
                      L"\" --gtest_filter=PluginDll.ProcessExitEndsWhileAnotherThreadHoldsARuntimeLock";
  ASSERT_TRUE(SetEnvironmentVariableW(kExitChild, L"1"));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(kExitChild, nullptr);
  ASSERT_TRUE(started) << GetLastError();
  DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
  DWORD status = 0;
  GetExitCodeProcess(pi.hProcess, &status);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "the process hung in its exit";
  EXPECT_EQ(status, 42u);
}

}  // namespace

// The runtime's Windows layer: the file functions on Win32 (bytes written as
// they are, paths used as given, failures as Win32 error codes through FERROR)
// and SYSCLIPBOARD on the system clipboard, checked from outside the runtime.

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "hostrt/embed.h"
#include "hostrt/functions.h"
#include "win32_testing.h"

namespace hostrt {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

Item str(std::string_view s) { return Item::string(s); }
Item num(int64_t n) { return Item::integer(n); }

int64_t lastError() { return call(FERROR)().asInteger(); }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class FilesWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(velmoran::testing::expectAnsiCodePageAsConfigured());
    dir_ = (fs::temp_directory_path() / ("hostrt-" + std::to_string(GetCurrentProcessId()))).string();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(dir_);
  }

  // A file in the test's folder, named with backslashes as the application does.
  std::string name(const std::string& file) const { return dir_ + "\\" + file; }

  int64_t create(const std::string& file, int64_t attr = 0) {
    return call(FCREATE)(str(name(file)), num(attr)).asInteger();
  }

  std::string dir_;
};

TEST_F(FilesWin32Test, BytesAreWrittenUnchanged) {
  const std::string content = "ORDDTL1234\r\n\n\0binary\n\x1a\xff"s;
  int64_t h = create("out.txt");
  ASSERT_GT(h, 0) << lastError();
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(call(FWRITE)(num(h), str(content)).asInteger(), int64_t(content.size()));
  EXPECT_EQ(call(FWRITE)(num(h), str("abcdef"), num(3)).asInteger(), 3);
  EXPECT_EQ(call(FWRITE)(num(h), str("xy"), num(10)).asInteger(), 2);
  EXPECT_EQ(lastError(), 0);
  EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
  EXPECT_EQ(readFile(name("out.txt")), content + "abcxy");
}

TEST_F(FilesWin32Test, TemporaryFileReplacesAnOpenedTargetOnCommit) {
  std::ofstream(name("order.txt"), std::ios::binary) << "earlier";
  int64_t h = call(FCREATETEMP)(str(name("order.txt"))).asInteger();
  ASSERT_GT(h, 0) << lastError();
  EXPECT_EQ(call(FWRITE)(num(h), str("whole\r\n\n")).asInteger(), 8);
  EXPECT_EQ(readFile(name("order.txt")), "earlier");
  EXPECT_TRUE(call(FCOMMIT)(num(h)).asLogical()) << lastError();
  EXPECT_EQ(readFile(name("order.txt")), "whole\r\n\n");
  int64_t dropped = call(FCREATETEMP)(str(name("order.txt"))).asInteger();
  ASSERT_GT(dropped, 0);
  EXPECT_TRUE(call(FCLOSE)(num(dropped)).asLogical());
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);  // the temporary files are gone
  EXPECT_EQ(call(FCREATETEMP)(str(name("missing\\order.txt"))).asInteger(), -1);
  EXPECT_EQ(lastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FilesWin32Test, CreateReplacesAnExistingFileAndEraseRemovesIt) {
  std::ofstream(name("old.txt"), std::ios::binary) << "previous, longer content";
  int64_t h = create("old.txt");
  ASSERT_GT(h, 0);
  (void)call(FWRITE)(num(h), str("new"));
  EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
  EXPECT_EQ(readFile(name("old.txt")), "new");

  // Slashes and backslashes alike, as the system takes them.
  std::string mixed = dir_ + "/old.txt";
  EXPECT_EQ(call(FERASE)(str(mixed)).asInteger(), 0);
  EXPECT_EQ(lastError(), 0);
  EXPECT_FALSE(fs::exists(name("old.txt")));
}

TEST_F(FilesWin32Test, FailuresReportTheWin32Error) {
  struct Case {
    const char* what;
    std::function<int64_t()> call;
    int64_t result;
    DWORD error;
  };
  const Case cases[] = {
      {"create in a missing folder", [&] { return create("missing\\velmoran.txt"); }, -1,
       ERROR_PATH_NOT_FOUND},
      {"create with a NUL in the name",
       [&] { return call(FCREATE)(str(name("a\0b"s)), num(0)).asInteger(); }, -1,
       ERROR_INVALID_NAME},
      {"erase a missing file", [&] { return call(FERASE)(str(name("none.txt"))).asInteger(); },
       -1, ERROR_FILE_NOT_FOUND},
      {"erase with a NUL in the name",
       [&] { return call(FERASE)(str(name("a\0b"s))).asInteger(); }, -1, ERROR_INVALID_NAME},
      {"write to no handle", [] { return call(FWRITE)(num(999999), str("lost")).asInteger(); },
       0, ERROR_INVALID_HANDLE},
      {"close no handle", [] { return int64_t(call(FCLOSE)(num(0)).asLogical()); }, 0,
       ERROR_INVALID_HANDLE},
      {"write to a fraction", [] { return call(FWRITE)(Item::real(1.5), str("x")).asInteger(); },
       0, ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.result);
    EXPECT_EQ(lastError(), int64_t(c.error));
  }
  EXPECT_FALSE(fs::exists(name("a")));
  int64_t h = create("ok.txt");  // a success clears the error
  EXPECT_GT(h, 0);
  EXPECT_EQ(lastError(), 0);
  EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
  EXPECT_FALSE(call(FCLOSE)(num(h)).asLogical());  // not twice
  EXPECT_EQ(lastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FilesWin32Test, AttributeBitsBecomeFileAttributes) {
  struct Case {
    int64_t attr;
    DWORD set;  // the attributes the new file carries
  };
  const Case cases[] = {{0, 0}, {1, FILE_ATTRIBUTE_READONLY}, {8, 0}, {-1, 0}};
  const DWORD kChecked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attr);
    std::string file = "attr" + std::to_string(c.attr) + ".txt";
    int64_t h = create(file, c.attr);
    ASSERT_GT(h, 0) << lastError();
    (void)call(FWRITE)(num(h), str("kept"));
    EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
    EXPECT_EQ(GetFileAttributesA(name(file).c_str()) & kChecked, c.set);
    EXPECT_EQ(readFile(name(file)), "kept");
  }
}

TEST_F(FilesWin32Test, ErrorIsPerThread) {
  EXPECT_EQ(create("missing\\x.txt"), -1);
  int64_t fresh = -1, after = -1;
  std::thread([&] {
    fresh = lastError();
    (void)call(FCLOSE)(num(999999));
    after = lastError();
  }).join();
  EXPECT_EQ(fresh, 0);
  EXPECT_EQ(after, ERROR_INVALID_HANDLE);
  EXPECT_EQ(lastError(), ERROR_PATH_NOT_FOUND);
}

// Names are in the application's code page, whatever the system's ANSI code
// page: the same bytes reach the same file under 1252 and 1251 alike.
TEST_F(FilesWin32Test, NamesAreReadInTheApplicationsCodePage) {
  struct Case {
    uint32_t codePage;
    std::string name;     // as the application holds it
    std::wstring folder;  // the folder it names
  };
  const Case cases[] = {
      {1252, "M\xfcller", L"M\u00fcller"},
      {1252, "\x80uro \x9f", L"\u20acuro \u0178"},
      {65001, "\xce\xa9mega-\xc5\x82\xc3\xb3" "d\xc5\xba", L"\u03a9mega-\u0142\u00f3d\u017a"},
      {1251, "\xcc\xee\xf1\xea\xe2\xe0", L"\u041c\u043e\u0441\u043a\u0432\u0430"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.size());
    embed::setCodePage(c.codePage);
    const fs::path folder = fs::path(dir_) / c.folder;
    fs::create_directories(folder);
    std::string file = name(c.name + "\\velmoran.txt");
    int64_t h = call(FCREATE)(str(file), num(0)).asInteger();
    ASSERT_GT(h, 0) << lastError();
    (void)call(FWRITE)(num(h), str("ORDDTL"));
    EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
    EXPECT_EQ(readFile(folder / "velmoran.txt"), "ORDDTL");
    EXPECT_EQ(call(FERASE)(str(file)).asInteger(), 0);
    EXPECT_FALSE(fs::exists(folder / "velmoran.txt"));
  }
  // Bytes that are no text in the code page name no file.
  embed::setCodePage(65001);
  EXPECT_EQ(create("bad\xff.txt"), -1);
  EXPECT_EQ(lastError(), ERROR_NO_UNICODE_TRANSLATION);
  embed::setCodePage(1252);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 4);
}

TEST_F(FilesWin32Test, PathsLongerThanMaxPathAreReached) {
  // Nested folders of 100 characters each, made through the extended form.
  std::wstring folder = fs::path(dir_).wstring();
  for (int i = 0; i < 3; ++i) {
    folder += L"\\" + std::wstring(99, wchar_t(L'a' + i)) + L"\u00e4";
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr)) << GetLastError();
  }
  const std::string base = velmoran::testing::narrow(folder, 1252);
  ASSERT_GT(base.size(), size_t(MAX_PATH));
  for (const std::string& file : {base + "\\velmoran.txt", base + "\\.\\..\\" +
                                      velmoran::testing::narrow(fs::path(folder).filename().wstring(), 1252) +
                                      "/velmoran.txt"}) {
    int64_t h = call(FCREATE)(str(file), num(0)).asInteger();
    ASSERT_GT(h, 0) << lastError();
    (void)call(FWRITE)(num(h), str("long"));
    EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
    EXPECT_EQ(readFile(fs::path(L"\\\\?\\" + folder) / "velmoran.txt"), "long");
    EXPECT_EQ(call(FERASE)(str(file)).asInteger(), 0) << lastError();
  }
  // The tree is too deep for the ordinary removal in TearDown.
  for (std::wstring f = folder; f.size() > fs::path(dir_).wstring().size();
       f = f.substr(0, f.find_last_of(L'\\'))) {
    RemoveDirectoryW((L"\\\\?\\" + f).c_str());
  }
}

// The runtime's clipboard is the system's: what SYSCLIPBOARD stores, any
// program reads as CF_TEXT, and what another program stores, the runtime reads.
TEST(ClipboardWin32, IsTheSystemClipboard) {
  Item clip = embed::send(embed::callFunction("SYSCLIPBOARD"), "New");
  embed::send(clip, "create");
  ASSERT_TRUE(embed::send(clip, "open").asLogical());
  embed::send(clip, "clear");
  embed::send(clip, "setBuffer", {str("C:\\Export\\velmoran.txt")});
  embed::send(clip, "close");
  embed::send(clip, "destroy");

  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE h = GetClipboardData(CF_TEXT);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(h)), "C:\\Export\\velmoran.txt");
  GlobalUnlock(h);
  EmptyClipboard();
  const std::string text = "\xe4\xf6\xfc-ok";  // bytes of the ANSI code page
  HGLOBAL mine = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(mine), text.c_str(), text.size() + 1);
  GlobalUnlock(mine);
  ASSERT_NE(SetClipboardData(CF_TEXT, mine), nullptr);
  CloseClipboard();
  EXPECT_EQ(embed::clipboardText(), text);
}

}  // namespace
}  // namespace hostrt

namespace hostrt {
namespace {

using velmoran::testing::clipboardData;
using velmoran::testing::clipboardUnicode;
using velmoran::testing::ClipboardHolder;

// Puts text on the clipboard the way the plug-in does; the count of failures
// it added.
uint64_t putOnClipboard(std::string_view text) {
  uint64_t before = embed::clipboardFailures();
  Item clip = embed::send(embed::callFunction("SYSCLIPBOARD"), "New");
  embed::send(clip, "create");
  embed::send(clip, "open");
  embed::send(clip, "clear");
  embed::send(clip, "setBuffer", {Item::string(text)});
  embed::send(clip, "close");
  embed::send(clip, "destroy");
  return embed::clipboardFailures() - before;
}

// Unicode programs read the text as the application meant it, and 8-bit ones
// know which code page its bytes are in.
TEST(ClipboardWin32, HoldsUnicodeTextAndTheLocaleOfItsBytes) {
  ASSERT_NO_FATAL_FAILURE(velmoran::testing::expectAnsiCodePageAsConfigured());
  struct Case {
    uint32_t codePage;
    std::string text;
    std::wstring unicode;
    LCID locale;  // 0: the system's, with CF_TEXT in its ANSI code page
  };
  const Case cases[] = {
      {1252, "C:\\Export\\M\xfcller\\velmoran.txt", L"C:\\Export\\M\u00fcller\\velmoran.txt", 0x0407},
      {1251, "C:\\\xcc\xee\xf1\xea\xe2\xe0", L"C:\\\u041c\u043e\u0441\u043a\u0432\u0430", 0x0419},
      {65001, "C:\\\xce\xa9mega-\xc5\x82", L"C:\\\u03a9mega-\u0142", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    embed::setCodePage(c.codePage);
    EXPECT_EQ(putOnClipboard(c.text), 0u);
    EXPECT_EQ(clipboardUnicode(), c.unicode);
    std::string locale = clipboardData(CF_LOCALE);
    ASSERT_GE(locale.size(), sizeof(LCID));
    LCID held;
    std::memcpy(&held, locale.data(), sizeof held);
    EXPECT_EQ(held, c.locale ? c.locale : GetSystemDefaultLCID());
    std::string bytes = clipboardData(CF_TEXT);
    EXPECT_EQ(bytes.substr(0, bytes.find('\0')),
              c.locale ? c.text : velmoran::testing::narrow(c.unicode, CP_ACP));
  }
  embed::setCodePage(1252);
}

TEST(ClipboardWin32, AHolderIsWaitedForABoundedTimeThenAFailureCounted) {
  // Let go soon: the open tries again and gets it.
  {
    ClipboardHolder holder;
    ASSERT_TRUE(holder.holding());
    std::thread letGo([&] {
      Sleep(200);
      holder.release();
    });
    EXPECT_EQ(putOnClipboard("C:\\Export\\velmoran.txt"), 0u);
    letGo.join();
    EXPECT_EQ(clipboardUnicode(), L"C:\\Export\\velmoran.txt");
  }
  // Held throughout: the methods return as before, and the failure is counted
  // on this thread only.
  ClipboardHolder holder;
  ASSERT_TRUE(holder.holding());
  Item clip = embed::send(embed::callFunction("SYSCLIPBOARD"), "New");
  embed::send(clip, "create");
  uint64_t before = embed::clipboardFailures();
  EXPECT_FALSE(embed::send(clip, "open").asLogical());
  EXPECT_FALSE(embed::send(clip, "setBuffer", {str("lost")}).asLogical());
  embed::send(clip, "close");
  EXPECT_EQ(embed::clipboardFailures(), before + 1);
  uint64_t elsewhere = 0;
  std::thread([&] { elsewhere = embed::clipboardFailures(); }).join();
  EXPECT_EQ(elsewhere, 0u);
  holder.release();
  EXPECT_NE(clipboardUnicode(), L"lost");
}

}  // namespace
}  // namespace hostrt

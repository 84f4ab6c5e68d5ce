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

namespace hostrt {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

Item str(std::string_view s) { return Item::string(s); }
Item num(int64_t n) { return Item::integer(n); }

int64_t lastError() { return Call(FERROR)().asInteger(); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class FilesWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (fs::temp_directory_path() / ("hostrt-" + std::to_string(GetCurrentProcessId()))).string();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(dir_);
  }

  // A file in the test's folder, named with backslashes as the application does.
  std::string name(const std::string& file) const { return dir_ + "\\" + file; }

  int64_t create(const std::string& file, int64_t attr = 0) {
    return Call(FCREATE)(str(name(file)), num(attr)).asInteger();
  }

  std::string dir_;
};

TEST_F(FilesWin32Test, BytesAreWrittenUnchanged) {
  const std::string content = "ORDDTL1234\r\n\n\0binary\n\x1a\xff"s;
  int64_t h = create("out.txt");
  ASSERT_GT(h, 0) << lastError();
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(Call(FWRITE)(num(h), str(content)).asInteger(), int64_t(content.size()));
  EXPECT_EQ(Call(FWRITE)(num(h), str("abcdef"), num(3)).asInteger(), 3);
  EXPECT_EQ(Call(FWRITE)(num(h), str("xy"), num(10)).asInteger(), 2);
  EXPECT_EQ(lastError(), 0);
  EXPECT_TRUE(Call(FCLOSE)(num(h)).asLogical());
  EXPECT_EQ(readFile(name("out.txt")), content + "abcxy");
}

TEST_F(FilesWin32Test, TemporaryFileReplacesAnOpenedTargetOnCommit) {
  std::ofstream(name("order.txt"), std::ios::binary) << "earlier";
  int64_t h = Call(FCREATETEMP)(str(name("order.txt"))).asInteger();
  ASSERT_GT(h, 0) << lastError();
  EXPECT_EQ(Call(FWRITE)(num(h), str("whole\r\n\n")).asInteger(), 8);
  EXPECT_EQ(readFile(name("order.txt")), "earlier");
  EXPECT_TRUE(Call(FCOMMIT)(num(h)).asLogical()) << lastError();
  EXPECT_EQ(readFile(name("order.txt")), "whole\r\n\n");
  int64_t dropped = Call(FCREATETEMP)(str(name("order.txt"))).asInteger();
  ASSERT_GT(dropped, 0);
  EXPECT_TRUE(Call(FCLOSE)(num(dropped)).asLogical());
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);  // the temporary files are gone
  EXPECT_EQ(Call(FCREATETEMP)(str(name("missing\\order.txt"))).asInteger(), -1);
  EXPECT_EQ(lastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FilesWin32Test, CreateReplacesAnExistingFileAndEraseRemovesIt) {
  std::ofstream(name("old.txt"), std::ios::binary) << "previous, longer content";
  int64_t h = create("old.txt");
  ASSERT_GT(h, 0);
  (void)Call(FWRITE)(num(h), str("new"));
  EXPECT_TRUE(Call(FCLOSE)(num(h)).asLogical());
  EXPECT_EQ(readFile(name("old.txt")), "new");

  // Slashes and backslashes alike, as the system takes them.
  std::string mixed = dir_ + "/old.txt";
  EXPECT_EQ(Call(FERASE)(str(mixed)).asInteger(), 0);
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
       [&] { return Call(FCREATE)(str(name("a\0b"s)), num(0)).asInteger(); }, -1,
       ERROR_INVALID_NAME},
      {"erase a missing file", [&] { return Call(FERASE)(str(name("none.txt"))).asInteger(); },
       -1, ERROR_FILE_NOT_FOUND},
      {"erase with a NUL in the name",
       [&] { return Call(FERASE)(str(name("a\0b"s))).asInteger(); }, -1, ERROR_INVALID_NAME},
      {"write to no handle", [] { return Call(FWRITE)(num(999999), str("lost")).asInteger(); },
       0, ERROR_INVALID_HANDLE},
      {"close no handle", [] { return int64_t(Call(FCLOSE)(num(0)).asLogical()); }, 0,
       ERROR_INVALID_HANDLE},
      {"write to a fraction", [] { return Call(FWRITE)(Item::real(1.5), str("x")).asInteger(); },
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
  EXPECT_TRUE(Call(FCLOSE)(num(h)).asLogical());
  EXPECT_FALSE(Call(FCLOSE)(num(h)).asLogical());  // not twice
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
    (void)Call(FWRITE)(num(h), str("kept"));
    EXPECT_TRUE(Call(FCLOSE)(num(h)).asLogical());
    EXPECT_EQ(GetFileAttributesA(name(file).c_str()) & kChecked, c.set);
    EXPECT_EQ(readFile(name(file)), "kept");
  }
}

TEST_F(FilesWin32Test, ErrorIsPerThread) {
  EXPECT_EQ(create("missing\\x.txt"), -1);
  int64_t fresh = -1, after = -1;
  std::thread([&] {
    fresh = lastError();
    (void)Call(FCLOSE)(num(999999));
    after = lastError();
  }).join();
  EXPECT_EQ(fresh, 0);
  EXPECT_EQ(after, ERROR_INVALID_HANDLE);
  EXPECT_EQ(lastError(), ERROR_PATH_NOT_FOUND);
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

// The file functions: creating, writing, closing and erasing files through
// handles, Windows-style backslash paths, failures reported through FERROR,
// short writes, and bad arguments. Every test works in a fresh temporary
// directory of its own and never touches a device node.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hostrt/functions.h"
#include "runtime_testing.h"

namespace hostrt {
namespace {

using namespace hostrt::testing;
using namespace std::string_literals;
namespace fs = std::filesystem;

int64_t lastError() { return call(FERROR)().asInteger(); }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "hostrt-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A name inside the test's directory, as the application would write it.
  std::string name(const std::string& file) const { return (dir_ / file).string(); }

  int64_t create(const std::string& file) {
    return call(FCREATE)(str(name(file)), num(0)).asInteger();
  }

  fs::path dir_;
};

TEST_F(FilesTest, CreateWriteCloseRoundTrip) {
  const std::string content = "ORDDTL1234\r\n\n\0binary\xff"s;
  int64_t h = create("out.txt");
  ASSERT_GT(h, 0);
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(call(FWRITE)(num(h), str(content)).asInteger(), int64_t(content.size()));
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(call(FWRITE)(num(h), str("abcdef"), num(3)).asInteger(), 3);
  EXPECT_EQ(call(FWRITE)(num(h), str("xy"), num(10)).asInteger(), 2);  // at most the text
  EXPECT_EQ(call(FWRITE)(real(double(h)), str(""), Item()).asInteger(), 0);
  EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(readFile(name("out.txt")), content + "abcxy");
}

TEST_F(FilesTest, CreateTruncatesAnExistingFile) {
  std::ofstream(name("old.txt")) << "previous content";
  int64_t h = create("old.txt");
  ASSERT_GT(h, 0);
  (void)call(FWRITE)(num(h), str("new"));
  (void)call(FCLOSE)(num(h));
  EXPECT_EQ(readFile(name("old.txt")), "new");
}

TEST_F(FilesTest, BackslashIsADirectorySeparator) {
  fs::create_directory(dir_ / "export");
  std::string windowsName = dir_.string() + "\\export\\velmoran.txt";
  int64_t h = call(FCREATE)(str(windowsName), num(0)).asInteger();
  ASSERT_GT(h, 0) << std::strerror(int(lastError()));
  (void)call(FWRITE)(num(h), str("x"));
  EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
  EXPECT_EQ(readFile(dir_ / "export" / "velmoran.txt"), "x");
  EXPECT_FALSE(fs::exists(windowsName));

  EXPECT_EQ(call(FERASE)(str(windowsName)).asInteger(), 0);
  EXPECT_EQ(lastError(), 0);
  EXPECT_FALSE(fs::exists(dir_ / "export" / "velmoran.txt"));
}

TEST_F(FilesTest, FailuresReportTheSystemError) {
  EXPECT_EQ(create("missing/velmoran.txt"), -1);
  EXPECT_EQ(lastError(), ENOENT);
  EXPECT_EQ(call(FCREATE)(str(""), num(0)).asInteger(), -1);
  EXPECT_EQ(lastError(), ENOENT);
  EXPECT_EQ(call(FCREATE)(str(name("a\0b"s)), num(0)).asInteger(), -1);
  EXPECT_EQ(lastError(), EINVAL);
  EXPECT_FALSE(fs::exists(name("a")));

  EXPECT_EQ(call(FERASE)(str(name("nothing.txt"))).asInteger(), -1);
  EXPECT_EQ(lastError(), ENOENT);
  EXPECT_EQ(call(FERASE)(str(dir_.string())).asInteger(), -1);  // a directory
  EXPECT_NE(lastError(), 0);
  EXPECT_TRUE(fs::exists(dir_));

  // A later success clears the error.
  int64_t h = create("ok.txt");
  EXPECT_GT(h, 0);
  EXPECT_EQ(lastError(), 0);
  (void)call(FCLOSE)(num(h));
}

TEST_F(FilesTest, UnknownAndClosedHandles) {
  int64_t h = create("a.txt");
  ASSERT_GT(h, 0);
  EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());
  for (const Item& handle : {num(h), num(0), num(-1), num(999999), real(1.5), real(NAN)}) {
    EXPECT_EQ(call(FWRITE)(handle, str("lost")).asInteger(), 0);
    EXPECT_EQ(lastError(), EBADF);
    EXPECT_FALSE(call(FCLOSE)(handle).asLogical());
    EXPECT_EQ(lastError(), EBADF);
  }
  // A closed handle's number is never given out again.
  int64_t next = create("b.txt");
  EXPECT_GT(next, 0);
  EXPECT_NE(next, h);
  (void)call(FCLOSE)(num(next));
  EXPECT_EQ(readFile(name("a.txt")), "");
}

TEST_F(FilesTest, ErrorIsPerThread) {
  EXPECT_EQ(create("missing/x.txt"), -1);
  int64_t fresh = -1, after = -1;
  std::thread([&] {
    fresh = lastError();
    (void)call(FCLOSE)(num(999999));
    after = lastError();
  }).join();
  EXPECT_EQ(fresh, 0);
  EXPECT_EQ(after, EBADF);
  EXPECT_EQ(lastError(), ENOENT);
}

TEST_F(FilesTest, ThreadsWriteTheirOwnFilesAndShareOne) {
  int64_t shared = create("shared.txt");
  ASSERT_GT(shared, 0);
  constexpr int kThreads = 4, kWrites = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string own = "own" + std::to_string(t) + ".txt";
      int64_t h = call(FCREATE)(str(name(own)), num(0)).asInteger();
      for (int i = 0; i < kWrites; ++i) {
        (void)call(FWRITE)(num(h), str("0123456789"));
        (void)call(FWRITE)(num(shared), str("abcdefghij"));
      }
      (void)call(FCLOSE)(num(h));
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_TRUE(call(FCLOSE)(num(shared)).asLogical());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(fs::file_size(dir_ / ("own" + std::to_string(t) + ".txt")), 10u * kWrites);
  }
  std::string all = readFile(name("shared.txt"));
  ASSERT_EQ(all.size(), 10u * kWrites * kThreads);
  for (size_t i = 0; i < all.size(); i += 10) ASSERT_EQ(all.substr(i, 10), "abcdefghij");
}

// Exit codes of the child in ShortWriteReturnsTheCountWritten.
enum ChildResult { kChildOk = 0, kChildNoFile, kChildFullWrite, kChildWrongError, kChildNoClose };

TEST_F(FilesTest, ShortWriteReturnsTheCountWritten) {
  const std::string file = name("limited.txt");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The child: files may grow to 1000 bytes, and exceeding that fails the
    // write with EFBIG instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    int64_t h = call(FCREATE)(str(file), num(0)).asInteger();
    if (h < 0) _exit(kChildNoFile);
    int64_t n = call(FWRITE)(num(h), str(std::string(5000, 'q'))).asInteger();
    if (n != 1000) _exit(kChildFullWrite);
    if (lastError() != EFBIG) _exit(kChildWrongError);
    if (!call(FCLOSE)(num(h)).asLogical()) _exit(kChildNoClose);
    _exit(kChildOk);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), kChildOk);
  EXPECT_EQ(fs::file_size(file), 1000u);
}

std::vector<std::string> entriesOf(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FilesTest, TemporaryFileReplacesItsTargetOnlyWhenCommitted) {
  const std::string target = name("order.txt");
  std::ofstream(target) << "earlier";
  int64_t a = call(FCREATETEMP)(str(target)).asInteger();
  int64_t b = call(FCREATETEMP)(str(target)).asInteger();
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  const std::string prefix = "order.txt." + std::to_string(getpid()) + ".";
  std::vector<std::string> names = entriesOf(dir_);
  ASSERT_EQ(names.size(), 3u);  // two distinct temporary files beside the target
  for (const std::string& n : {names[1], names[2]}) {
    EXPECT_EQ(n.rfind(prefix, 0), 0u) << n;
    EXPECT_EQ(n.substr(n.size() - 4), ".tmp") << n;
  }
  EXPECT_EQ(call(FWRITE)(num(a), str("whole")).asInteger(), 5);
  EXPECT_EQ(readFile(target), "earlier");  // untouched until the commit
  EXPECT_TRUE(call(FCOMMIT)(num(a)).asLogical());
  EXPECT_EQ(lastError(), 0);
  EXPECT_EQ(readFile(target), "whole");
  EXPECT_EQ(call(FWRITE)(num(b), str("dropped")).asInteger(), 7);
  EXPECT_TRUE(call(FCLOSE)(num(b)).asLogical());  // closed, not committed: removed
  EXPECT_EQ(entriesOf(dir_), std::vector<std::string>{"order.txt"});
  EXPECT_EQ(readFile(target), "whole");
  EXPECT_FALSE(call(FCOMMIT)(num(a)).asLogical());  // a handle commits once
  EXPECT_EQ(lastError(), EBADF);
}

TEST_F(FilesTest, TemporaryFileFailuresRemoveItAndTellWhy) {
  EXPECT_EQ(call(FCREATETEMP)(str(name("missing/order.txt"))).asInteger(), -1);
  EXPECT_EQ(lastError(), ENOENT);

  // A directory in the target's place: the rename fails, nothing is left.
  fs::create_directory(name("order.txt"));
  int64_t h = call(FCREATETEMP)(str(name("order.txt"))).asInteger();
  ASSERT_GT(h, 0);
  call(FWRITE)(num(h), str("text"));
  EXPECT_FALSE(call(FCOMMIT)(num(h)).asLogical());
  EXPECT_EQ(lastError(), EISDIR);
  EXPECT_EQ(entriesOf(dir_), std::vector<std::string>{"order.txt"});
  fs::remove(name("order.txt"));

  // A write cut short: the commit keeps the write's error, not the close's.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    int64_t t = call(FCREATETEMP)(str(name("order.txt"))).asInteger();
    if (t < 0) _exit(kChildNoFile);
    if (call(FWRITE)(num(t), str(std::string(5000, 'q'))).asInteger() != 1000) {
      _exit(kChildFullWrite);
    }
    call(FERASE)(str(name("unrelated")));  // a later failure of another call
    if (call(FCOMMIT)(num(t)).asLogical()) _exit(kChildNoClose);
    _exit(lastError() == EFBIG ? kChildOk : kChildWrongError);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kChildOk);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(FilesTest, BadArgumentsAreRuntimeErrors) {
  int64_t h = create("a.txt");
  struct Case {
    const char* function;
    RtFunction fn;
    std::vector<Item> args;
    int code;
  } cases[] = {
      {"FERASE", FERASE, {}, kErrorWrongKind},
      {"FERASE", FERASE, {num(1)}, kErrorWrongKind},
      {"FCREATE", FCREATE, {num(5), num(0)}, kErrorWrongKind},
      {"FCREATE", FCREATE, {str(name("b.txt")), str("0")}, kErrorWrongKind},
      {"FWRITE", FWRITE, {str("1"), str("x")}, kErrorWrongKind},
      {"FWRITE", FWRITE, {num(h), num(5)}, kErrorWrongKind},
      {"FWRITE", FWRITE, {num(h)}, kErrorWrongKind},
      {"FWRITE", FWRITE, {num(h), str("x"), num(-1)}, kErrorArgument},
      {"FWRITE", FWRITE, {num(h), str("x"), str("1")}, kErrorWrongKind},
      {"FCLOSE", FCLOSE, {str("1")}, kErrorWrongKind},
      {"FCLOSE", FCLOSE, {}, kErrorWrongKind},
      {"FCREATETEMP", FCREATETEMP, {num(1)}, kErrorWrongKind},
      {"FCOMMIT", FCOMMIT, {str("1")}, kErrorWrongKind},
  };
  for (const Case& c : cases) {
    std::vector<Item> args = c.args;
    ErrorObject e = raisedBy([&] {
      Item result;
      c.fn(&result, int(args.size()), args.data());
      checkUnwind();
    });
    EXPECT_EQ(e.code, c.code) << c.function;
    EXPECT_EQ(e.operation, c.function);
  }
  EXPECT_FALSE(fs::exists(name("b.txt")));
  EXPECT_TRUE(call(FCLOSE)(num(h)).asLogical());  // the handle survived them all
  EXPECT_EQ(readFile(name("a.txt")), "");
}

}  // namespace
}  // namespace hostrt

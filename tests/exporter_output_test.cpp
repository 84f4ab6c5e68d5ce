// Part-number normalisation, and the output to file and clipboard, called
// through the privileged path (the application cannot reach them).

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "item_storage.h"  // white-box: the array storage
#include "plugin_fixture.h"

namespace velmoran::testing {
namespace {

Item exporter() { return embed::newInstance(classObject("VELMORANORDER")); }

TEST(StripString, RemovesTheDefaultCharactersOrTheCallersList) {
  struct Case {
    const char* text;
    std::optional<std::vector<const char*>> list;
    std::optional<bool> keepLength;
    const char* expected;
  };
  const Case cases[] = {
      {"13-280 A.1", {}, {}, "13280A1"},
      {"A 1-2.3/4\\5,6", {}, {}, "A123456"},
      {"", {}, {}, ""},
      {"", {}, true, ""},
      {"   ", {}, {}, ""},
      {"   ", {}, true, "   "},
      {"12-34", {}, true, "1234 "},
      {"12-34", {}, false, "1234"},
      {"AbC9;x_", {}, {}, "AbC9;x_"},
      {"A-B C", std::vector<const char*>{}, {}, "A-B C"},
      {"A-B C", std::vector<const char*>{}, true, "A-B C"},
      {"ABxAyB", std::vector<const char*>{"AB"}, {}, "xAyB"},
      {"a-b.c", std::vector<const char*>{"-", "b"}, {}, "a.c"},
  };
  Item cls = classObject("VELMORANORDER");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Item list;
    if (c.list) {
      std::vector<Item> elements;
      for (const char* e : *c.list) elements.push_back(str(e));
      list = Item::array(elements);
    }
    Item keep = c.keepLength ? Item::logical(*c.keepLength) : Item();
    EXPECT_EQ(inspect::send(cls, "StripString", {str(c.text), list, keep}).str(), c.expected);
  }
  EXPECT_EQ(inspect::send(exporter(), "stripstring", {str("1 2")}).str(), "12");
}

// Without a list a string loses the default characters in one pass; with
// the same six strings passed as the list it goes through STRTRAN. Every byte
// value must come out the same both ways.
TEST(StripString, NoListRemovesExactlyWhatTheDefaultListRemoves) {
  std::string every;
  for (int b = 0; b < 256; ++b) every += char(b);
  Item defaults = Item::array({str(" "), str("-"), str("."), str("/"), str("\\"), str(",")});
  Item cls = classObject("VELMORANORDER");
  for (const std::string& text : {every, every + every}) {
    for (Item keep : {Item(), Item::logical(true)}) {
      EXPECT_EQ(inspect::send(cls, "StripString", {str(text), Item(), keep}).str(),
                inspect::send(cls, "StripString", {str(text), defaults, keep}).str());
    }
  }
}

TEST(StripString, ACallersListIsUsedUnchanged) {
  Item list = Item::array({str("-")});
  inspect::send(classObject("VELMORANORDER"), "StripString", {str("a-b"), list});
  ASSERT_EQ(list.arrayData()->elements.size(), 1u);
  EXPECT_EQ(list.arrayData()->elements[0].str(), "-");
}

TEST(Text2File, ReplacesAnExistingFileWithExactlyTheText) {
  TempDir dir;
  writeFile(dir.orderFile(), std::string(1000, 'x'));
  std::string text("ORDDTL\0\r\n\n", 10);
  Item result = inspect::send(exporter(), "text2File", {str(dir.orderFileName()), str(text)});
  EXPECT_TRUE(result.asLogical());
  EXPECT_EQ(readFile(dir.orderFile()), text);
}

TEST(Text2File, AnEmptyTextGivesAnEmptyFile) {
  TempDir dir;
  Item result = inspect::send(exporter(), "Text2File", {str(dir.orderFileName()), str("")});
  EXPECT_TRUE(result.asLogical());
  EXPECT_TRUE(std::filesystem::exists(dir.orderFile()));
  EXPECT_EQ(std::filesystem::file_size(dir.orderFile()), 0u);
}

TEST(Text2File, AMissingDirectoryGivesFalseAndNoFile) {
  TempDir dir;
  std::string name = dir.path().string() + "\\missing\\velmoran.txt";
  Item result = inspect::send(exporter(), "text2File", {str(name), str("text")});
  EXPECT_FALSE(result.asLogical());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

// Runs text2File in a child process whose file size limit is `limit` bytes.
// Returns "true"/"false" and whether a file was left, as "result:left".
std::string writeUnderSizeLimit(const TempDir& dir, rlim_t limit, const std::string& text) {
  Item self = exporter();
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    Item result = inspect::send(self, "text2File", {str(dir.orderFileName()), str(text)});
    char answer = result.asLogical() ? 'T' : 'F';
    if (write(pipeEnds[1], &answer, 1) != 1) _exit(2);
    _exit(0);
  }
  close(pipeEnds[1]);
  char answer = '?';
  if (read(pipeEnds[0], &answer, 1) != 1) answer = '?';
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  std::string left = std::filesystem::exists(dir.orderFile()) ? "left" : "none";
  return std::string(answer == 'T' ? "true" : answer == 'F' ? "false" : "?") + ":" + left;
}

TEST(Text2File, AWriteThatStopsPartwayGivesFalseAndLeavesNoFile) {
  TempDir dir;
  writeFile(dir.orderFile(), "an earlier order");
  EXPECT_EQ(writeUnderSizeLimit(dir, 100, std::string(5000, 'x')), "false:none");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // nor a temporary file
}

TEST(Text2File, AWriteWithinTheLimitSucceeds) {
  TempDir dir;
  EXPECT_EQ(writeUnderSizeLimit(dir, 100, std::string(100, 'x')), "true:left");
}

TEST(Text2File, ARuntimeErrorWhileWritingLeavesNoFileBehind) {
  TempDir dir;
  writeFile(dir.orderFile(), "an earlier order");
  EXPECT_THROW(inspect::send(exporter(), "text2File", {str(dir.orderFileName()), num(5)}),
               hostrt::RuntimeError);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // neither the file nor a temporary one
}

TEST(Clipboard, PutsTheTextOrTheEmptyStringThereAndReturnsNil) {
  Item self = exporter();
  EXPECT_TRUE(inspect::send(self, "Clipboard", {str("C:\\out\\velmoran.txt")}).isNil());
  EXPECT_EQ(embed::clipboardText(), "C:\\out\\velmoran.txt");
  EXPECT_TRUE(inspect::send(self, "clipboard", {Item()}).isNil());
  EXPECT_EQ(embed::clipboardText(), "");
  inspect::send(self, "clipboard", {str("again")});
  EXPECT_TRUE(inspect::send(self, "CLIPBOARD").isNil());
  EXPECT_EQ(embed::clipboardText(), "");
}

// A runtime error between open and close (setBuffer refuses a number) must
// not leave the clipboard open: the next Clipboard call can open it again.
TEST(Clipboard, AnUnwindBetweenOpenAndCloseGivesTheClipboardBack) {
  Item self = exporter();
  EXPECT_THROW(inspect::send(self, "Clipboard", {num(5)}), hostrt::RuntimeError);
  inspect::send(self, "Clipboard", {str("C:\\out\\after.txt")});
  EXPECT_EQ(embed::clipboardText(), "C:\\out\\after.txt");
}

}  // namespace
}  // namespace velmoran::testing

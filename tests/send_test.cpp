// send: the fixed-column order file, the three outcomes, and the guards that
// keep one position one well-formed record.

#include "plugin_fixture.h"

#include "hostrt/frame.h"

namespace velmoran::testing {
namespace {

const std::string kEnd = "\r\n\n";

// The file a single position yields.
std::string sendOne(const Position& p) {
  TempDir dir;
  SendOutcome out = sendOrder(newOrder({newPosition(p)}), newParam(dir.path().string()));
  EXPECT_TRUE(out.result.isLogical() && out.result.asLogical()) << out.message();
  return readFile(dir.orderFile());
}

TEST(SendOrder, TheWorkedExampleByteForByte) {
  TempDir dir;
  Item order = newOrder({newPosition({str("13-280 A.1"), num(2), num(4711), str("Eilt")}),
                         newPosition({str("99/0001,B"), num(10), num(0), str("Eilt")})});
  SendOutcome out = sendOrder(order, newParam(dir.path().string()));
  EXPECT_TRUE(out.result.asLogical());
  EXPECT_EQ(readFile(dir.orderFile()), "ORDDTL13280A1        0000002 004711" + kEnd +
                                           "ORDDTL990001B        0000010 Eilt" + kEnd);
  EXPECT_EQ(out.message(), "Die Bestelldaten befinden sich in der Datei " + dir.orderFileName());
  EXPECT_EQ(embed::clipboardText(), dir.orderFileName());
}

TEST(SendOrder, FieldsOfOneRecord) {
  struct Case {
    const char* what;
    Position position;
    std::string record;
  };
  const Case cases[] = {
      {"stripped and padded", {str("A 1-2.3/4\\5,6"), num(1)}, "ORDDTLA123456        0000001 "},
      {"cut to 15", {str("1234567890-ABCDEFGH"), num(1)}, "ORDDTL1234567890ABCDE0000001 "},
      {"empty part number", {str(""), num(1)}, "ORDDTL               0000001 "},
      {"quantity 0", {str("X"), num(0)}, "ORDDTLX              0000000 "},
      {"quantity 12", {str("X"), num(12)}, "ORDDTLX              0000012 "},
      {"quantity fraction rounds", {str("X"), Item::real(2.5)}, "ORDDTLX              0000003 "},
      {"mission number 7", {str("X"), num(1), num(7)}, "ORDDTLX              0000001 000007"},
      {"mission beats remark", {str("X"), num(1), num(12), str("Eilt")},
       "ORDDTLX              0000001 000012"},
      {"negative mission: remark", {str("X"), num(1), num(-3), str("Eilt")},
       "ORDDTLX              0000001 Eilt"},
      {"empty remark", {str("X"), num(1), num(0), str("")}, "ORDDTLX              0000001 "},
      {"white-space remark", {str("X"), num(1), num(0), str(" \t\r\n ")},
       "ORDDTLX              0000001 "},
      {"remark kept as stored", {str("X"), num(1), num(0), str("  a-b.c/  ")},
       "ORDDTLX              0000001   a-b.c/  "},
      {"negative quantity", {str("X"), num(-5)}, "ORDDTLX              -000005 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(sendOne(c.position), c.record + kEnd);
  }
}

TEST(SendOrder, OnlyTheFirstLinesPositionsAreWritten) {
  TempDir dir;
  Item order = newOrder({newPosition({str("A"), num(1)}), newPosition({str("B"), num(2)}),
                         newPosition({str("C"), num(3)})},
                        2);
  sendOrder(order, newParam(dir.path().string()));
  EXPECT_EQ(readFile(dir.orderFile()), "ORDDTLA              0000001 " + kEnd +
                                           "ORDDTLB              0000002 " + kEnd);
}

TEST(SendOrder, LineEndAndSeparatorOfTheExporterDoNotMatter) {
  TempDir dir;
  Item exporter = embed::newInstance(classObject("VELMORANORDER"));
  inspect::send(exporter, "setLineEnd", {str("\n")});
  inspect::send(exporter, "setSeparator", {str("|")});
  Item order = newOrder({newPosition({str("A"), num(1)}), newPosition({str("B"), num(2)})});
  embed::send(exporter, "send", {order, newParam(dir.path().string())});
  std::string file = readFile(dir.orderFile());
  EXPECT_EQ(file, "ORDDTLA              0000001 " + kEnd + "ORDDTLB              0000002 " + kEnd);
  EXPECT_EQ(file.find('|'), std::string::npos);
  EXPECT_EQ(file.find(';'), std::string::npos);
}

TEST(SendOrder, NoPositionsWritesNothingButSetsTheFileName) {
  for (int64_t lines : {0, -1}) {
    TempDir dir;
    writeFile(dir.orderFile(), "earlier");
    std::string clipboardBefore = embed::clipboardText();
    Item exporter = embed::newInstance(classObject("VELMORANORDER"));
    Item result = embed::send(exporter, "send",
                              {newOrder({newPosition({str("A"), num(1)})}, lines),
                               newParam(dir.path().string())});
    EXPECT_TRUE(result.isNil());
    EXPECT_EQ(embed::send(exporter, "getResultMessage").str(), "Keine Bestellpositionen gefunden");
    EXPECT_EQ(readFile(dir.orderFile()), "earlier");
    EXPECT_EQ(embed::clipboardText(), clipboardBefore);
    EXPECT_EQ(inspect::send(exporter, "getOrderfile").str(), dir.orderFileName());
  }
}

TEST(SendOrder, FileNamesAreTheDirectoryAndTheTailJoinedAsTheyAre) {
  struct Case {
    const char* dir;
    const char* fileName;
  };
  for (const Case& c : {Case{"C:\\Export\\", "C:\\Export\\\\velmoran.txt"},
                        Case{"", "\\velmoran.txt"}}) {
    Item exporter = embed::newInstance(classObject("VELMORANORDER"));
    embed::send(exporter, "send", {newOrder({}, 0), newParam(c.dir)});
    EXPECT_EQ(inspect::send(exporter, "getOrderfile").str(), c.fileName);
  }
}

TEST(SendOrder, AFailedWriteReportsTheNameAndLeavesTheClipboard) {
  TempDir dir;
  std::string missing = (dir.path() / "missing").string();
  std::string clipboardBefore = embed::clipboardText();
  SendOutcome out = sendOrder(newOrder({newPosition({str("A"), num(1)})}), newParam(missing));
  EXPECT_FALSE(out.result.asLogical());
  EXPECT_EQ(out.message(), "Fehler beim Erstellen der Bestelldatei: " + missing + "\\velmoran.txt");
  EXPECT_EQ(embed::clipboardText(), clipboardBefore);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST(SendOrder, TwoParameterRecordsShareTheLastAssignedDirectory) {
  TempDir first, second;
  Item a = newParam(first.path().string());
  Item b = newParam(second.path().string());
  sendOrder(newOrder({newPosition({str("A"), num(1)})}), a);
  EXPECT_TRUE(std::filesystem::exists(second.orderFile()));
  EXPECT_FALSE(std::filesystem::exists(first.orderFile()));
}

// --- the guards

TEST(SendOrderGuards, AnUnsetMissionNumberCountsAsNone) {
  EXPECT_EQ(sendOne({str("X"), num(1), str(""), str("Eilt")}),
            "ORDDTLX              0000001 Eilt" + kEnd);
  EXPECT_EQ(sendOne({str("X"), num(1), Item(), str("Eilt")}),
            "ORDDTLX              0000001 Eilt" + kEnd);
  EXPECT_EQ(sendOne({str("X"), num(1), str("  "), str("")}), "ORDDTLX              0000001 " + kEnd);
}

TEST(SendOrderGuards, LineBreaksNeverSplitARecord) {
  EXPECT_EQ(sendOne({str("A-1\r\n2"), num(1), num(0), str("Eilt\r\nORDDTLEVIL 0000099 \n")}),
            "ORDDTLA12            0000001 Eilt  ORDDTLEVIL 0000099  " + kEnd);
}

TEST(SendOrderGuards, ANumberTooWideForItsColumnsIsAnError) {
  struct Case {
    Position position;
    const char* field;
  };
  for (const Case& c : {Case{{str("X"), num(12345678)}, "quantity"},
                        Case{{str("X"), num(1), num(1234567)}, "missionNo"}}) {
    TempDir dir;
    writeFile(dir.orderFile(), "earlier");
    Item second = newPosition(c.position);
    Item order = newOrder({newPosition({str("A"), num(1)}), second});
    try {
      sendOrder(order, newParam(dir.path().string()));
      ADD_FAILURE() << c.field << ": no error";
    } catch (const hostrt::RuntimeError& e) {
      EXPECT_NE(e.error().description.find(c.field), std::string::npos) << e.what();
      EXPECT_NE(e.error().description.find("position 2"), std::string::npos) << e.what();
      EXPECT_EQ(e.error().procedure, "@VELMORANORDER@I@SEND");
    }
    EXPECT_EQ(readFile(dir.orderFile()), "earlier");  // nothing written, nothing erased
  }
}

TEST(SendOrderGuards, AResumingHandlerSuppliesTheFieldText) {
  ScopedErrorHandler handler([](const hostrt::ErrorObject& e) {
    if (e.code != hostrt::kErrorUser) return hostrt::ErrorDecision::unwind();
    return hostrt::ErrorDecision::resumeWith(Item::string("???????"));
  });
  EXPECT_EQ(sendOne({str("X"), num(123456789)}), "ORDDTLX              ??????? " + kEnd);
}

TEST(SendOrderErrors, WrongKindsUnwindWithProcedureAndLineAndTouchNothing) {
  struct Case {
    const char* what;
    std::function<Item()> order;
  };
  const Case cases[] = {
      {"quantity is a string", [] { return newOrder({newPosition({str("A"), str("2")})}); }},
      {"lines beyond the positions", [] { return newOrder({newPosition({str("A"), num(1)})}, 2); }},
      {"mission number is text", [] { return newOrder({newPosition({str("A"), num(1), str("x")})}); }},
      {"no order", [] { return Item(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    writeFile(dir.orderFile(), "earlier");
    try {
      sendOrder(c.order(), newParam(dir.path().string()));
      ADD_FAILURE() << "no error";
    } catch (const hostrt::RuntimeError& e) {
      EXPECT_FALSE(e.error().procedure.empty());
      EXPECT_GT(e.error().line, 0);
    }
    EXPECT_EQ(readFile(dir.orderFile()), "earlier");
  }
}

// A part number that is not a string fails in `send` (application, runtime,
// plug-in, runtime), where the handler resumes with the number again, and
// then two plug-in frames deep: `send` sends `StripString` (runtime, then
// plug-in), whose STRTRAN (runtime) raises. The handler's decision there holds
// across both crossings: a resume goes on inside StripString, an unwind leaves
// every frame and reaches the application, which finds the thread clean.
TEST(SendOrderErrors, ResumeAndUnwindCrossNestedSends) {
  const struct {
    const char* what;
    bool resume;
    const char* file;  // the order file afterwards
  } cases[] = {
      {"resume", true, "ORDDTLR              0000001 \r\n\n"},
      {"unwind", false, "earlier"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    writeFile(dir.orderFile(), "earlier");
    std::vector<std::string> seen;
    ScopedErrorHandler handler([&](const hostrt::ErrorObject& e) {
      seen.push_back(e.procedure + " " + e.operation);
      if (e.procedure == "@VELMORANORDER@I@SEND") return hostrt::ErrorDecision::resumeWith(num(5));
      return c.resume ? hostrt::ErrorDecision::resumeWith(str("R"))
                      : hostrt::ErrorDecision::unwind();
    });
    Item order = newOrder({newPosition({num(5), num(1)})});
    bool unwound = false;
    try {
      sendOrder(order, newParam(dir.path().string()));
    } catch (const hostrt::RuntimeError& e) {
      unwound = true;
      EXPECT_EQ(e.error().procedure, "@VELMORANORDER@C@STRIPSTRING");
      EXPECT_EQ(e.error().operation, "STRTRAN");
    }
    EXPECT_EQ(unwound, !c.resume);
    EXPECT_EQ(seen, (std::vector<std::string>{"@VELMORANORDER@I@SEND STRTRAN",
                                              "@VELMORANORDER@I@SEND STRTRAN",
                                              "@VELMORANORDER@C@STRIPSTRING STRTRAN"}));
    EXPECT_EQ(readFile(dir.orderFile()), c.file);
    EXPECT_EQ(hostrt::rtCurrentFrame(), nullptr);  // every frame unlinked
    EXPECT_FALSE(hostrt::rtIsError());              // no unwind left behind
  }
}

}  // namespace
}  // namespace velmoran::testing

// velmoran-send end to end: the built program run as a user runs it, with
// its exit status, its output and what it leaves in the export directory.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The program under test: the one built here, or the one that
// VELMORAN_SEND_UNDER_TEST names (the Windows build runs these tests through a
// script that starts velmoran-send.exe under wine).
const fs::path kProgram = [] {
  const char* other = std::getenv("VELMORAN_SEND_UNDER_TEST");
  return fs::path(other && *other ? other : VELMORAN_SEND);
}();

const std::string kEnd = "\r\n\n";
const std::string kWritten = "Die Bestelldaten befinden sich in der Datei ";
const std::string kFailed = "Fehler beim Erstellen der Bestelldatei: ";
const std::string kNoPositions = "Keine Bestellpositionen gefunden\n";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the program in `dir` with the arguments and the text on standard input,
// a file unless `piped`: then a pipe, which gives the text as it is written.
Outcome run(const fs::path& program, const std::vector<std::string>& args, const fs::path& dir,
        const std::string& input = "", bool piped = false) {
  const fs::path in = dir.parent_path() / "stdin", out = dir.parent_path() / "stdout",
                 err = dir.parent_path() / "stderr";
  writeFile(in, input);
  int pipeFds[2] = {-1, -1};
  if (piped && pipe(pipeFds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (piped) {
      dup2(pipeFds[0], 0);
      close(pipeFds[0]);
      close(pipeFds[1]);
      std::signal(SIGPIPE, SIG_DFL);
    } else {
      dup2(open(in.c_str(), O_RDONLY), 0);
    }
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    if (chdir(dir.c_str()) == 0) execv(argv[0], argv.data());
    _exit(127);
  }
  if (piped) {
    close(pipeFds[0]);
    std::signal(SIGPIPE, SIG_IGN);  // the program may stop reading early
    for (size_t done = 0; done < input.size();) {
      ssize_t n = write(pipeFds[1], input.data() + done, input.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    close(pipeFds[1]);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, readFile(out), readFile(err)};
}

class HostSend : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velmoran-host-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data()));
    root_ = pattern;
    fs::create_directory(dir());
  }
  void TearDown() override { fs::remove_all(root_); }

  // The export directory, where the program also runs.
  fs::path dir() const { return root_ / "export"; }
  fs::path orderFile() const { return dir() / "velmoran.txt"; }
  std::string orderFileName() const { return dir().string() + "\\velmoran.txt"; }

  Outcome send(const std::string& json, std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--export-dir", dir().string()});
    args.push_back("-");
    return run(kProgram, args, dir(), json);
  }

  // An order file from an earlier send, dated long ago.
  void writeEarlierOrderFile() {
    writeFile(orderFile(), "earlier" + kEnd);
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, orderFile().c_str(), times, 0), 0);
  }
  void expectEarlierOrderFileUntouched() {
    EXPECT_EQ(readFile(orderFile()), "earlier" + kEnd);
    struct stat st {};
    ASSERT_EQ(stat(orderFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
    EXPECT_EQ(entries(), std::set<std::string>{"velmoran.txt"});
  }
  std::set<std::string> entries() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir())) names.insert(e.path().filename());
    return names;
  }

  fs::path root_;
};

std::string orderWith(const std::string& positions) {
  return R"({"order": {"orderPos": [)" + positions + "]}}";
}

TEST_F(HostSend, HelpAndVersion) {
  Outcome help = run(kProgram, {"--help"}, dir());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: velmoran-send", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  Outcome version = run(kProgram, {"--version"}, dir());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "velmoran-send " VELMORAN_VERSION "\n");
  EXPECT_EQ(version.err, "");
}

TEST_F(HostSend, TheWorkedExampleByteForByte) {
  Outcome r = run(kProgram, {"--export-dir", dir().string(), VELMORAN_EXAMPLE}, dir());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kWritten + orderFileName() + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readFile(orderFile()), "ORDDTL13280A1        0000002 004711" + kEnd +
                                       "ORDDTL990001B        0000010 Eilt" + kEnd);
}

TEST_F(HostSend, ExportDirectoryFromTheParamRecord) {
  writeEarlierOrderFile();
  std::string json = R"({"order": {"orderPos": [{"partNo": "A", "quantity": 1}]},
                         "Param": {"ZELXPORT": ")" + dir().string() + R"("}})";
  Outcome r = run(kProgram, {"-"}, dir(), json);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(orderFile()), "ORDDTLA              0000001 " + kEnd);
}

// An ASCII text is kept as it is only where the code page keeps ASCII, as
// EBCDIC does not: there the part number "X" is converted too. (Not for the
// Windows program, which converts the export directory as well, and no
// directory name survives EBCDIC.)
TEST_F(HostSend, RemarkIsConvertedToTheCodePage) {
  const struct {
    std::vector<std::string> args;
    std::string bytes;
    std::string partNo = "X";
    bool posixOnly = false;
  } cases[] = {
      {{}, "\x47\x72\xFC\xDF\x65"},
      {{"--codepage", "iso-8859-15"}, "\x47\x72\xFC\xDF\x65"},
      {{"--codepage", "utf-8"}, "Gr\xC3\xBC\xC3\x9F" "e"},
      {{"--codepage", "IBM037"}, "\xC7\x99\xDC\x59\x85", "\xE7", true},
  };
  for (const auto& c : cases) {
    if (c.posixOnly && kProgram != fs::path(VELMORAN_SEND)) continue;
    Outcome r = send(orderWith(R"({"partNo": "X", "missionNo": 0, "remark": "Grüße"})"), c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(orderFile()),
              "ORDDTL" + c.partNo + "              0000000 " + c.bytes + kEnd);
  }
}

TEST_F(HostSend, ValuesReachTheRecordsAsTheyAre) {
  const struct {
    const char* order;
    std::string file;
  } cases[] = {
      {R"({"orderPos": [{"partNo": "A", "quantity": 2.5}, {"PARTNO": "B", "Quantity": 1e1}]})",
       "ORDDTLA              0000003 " + kEnd + "ORDDTLB              0000010 " + kEnd},
      {R"({"lines": 1, "orderPos": [{"partNo": "A"}, {"partNo": "B"}]})",
       "ORDDTLA              0000000 " + kEnd},
      {R"({"orderPos": [{"partNo": "A", "missionNo": " \t", "remark": "Eilt"}],
           "supplier": {"name": "Velmoran", "dealernumber": 17}, "orderNo": [1, [2]]})",
       "ORDDTLA              0000000 Eilt" + kEnd},
  };
  for (const auto& c : cases) {
    Outcome r = send(std::string(R"({"order": )") + c.order + "}");
    EXPECT_EQ(r.status, 0) << c.order << "\n" << r.err;
    EXPECT_EQ(readFile(orderFile()), c.file) << c.order;
  }
}

TEST_F(HostSend, NoPositionsExitsThreeAndTouchesNothing) {
  writeEarlierOrderFile();
  for (const char* json : {R"({"order": {}})", R"({"order": {"orderPos": []}})",
                           R"({"order": {"lines": 0, "orderPos": [{"partNo": "A"}]}})"}) {
    Outcome r = send(json);
    EXPECT_EQ(r.status, 3) << json;
    EXPECT_EQ(r.out, kNoPositions);
    EXPECT_EQ(r.err, "");
    expectEarlierOrderFileUntouched();
  }
}

TEST_F(HostSend, WriteFailureExitsOneSaysWhyAndLeavesNoOrderFile) {
  const fs::path missing = dir() / "missing";
  Outcome r = run(kProgram, {"--export-dir", missing.string(), "-"}, dir(),
              orderWith(R"({"partNo": "A"})"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kFailed + missing.string() + "\\velmoran.txt\n");
  EXPECT_EQ(r.err, "velmoran-send: cannot write " + missing.string() +
                       "\\velmoran.txt: No such file or directory\n");
  EXPECT_TRUE(entries().empty());
}

TEST_F(HostSend, RuntimeErrorsExitFourAndTouchNothing) {
  writeEarlierOrderFile();
  const std::regex line(R"(velmoran-send: [^\n]+ \(@VELMORANORDER@I@SEND, line [0-9]+\)\n)");
  for (const std::string& json : {orderWith(R"({"partNo": "A", "missionNo": 1234567})"),
                                  orderWith(R"({"partNo": "A", "quantity": -12345678})")}) {
    Outcome r = send(json);
    EXPECT_EQ(r.status, 4) << json;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::regex_match(r.err, line)) << r.err;
    expectEarlierOrderFileUntouched();
  }
}

TEST_F(HostSend, InputErrorsExitTwoAndTouchNothing) {
  const std::string good = orderWith(R"({"partNo": "A"})");
  const struct {
    std::vector<std::string> args;  // none: --export-dir DIR -
    std::string input;
    const char* message;  // part of the one stderr line
  } cases[] = {
      {{"-"}, good, "param.zelxport: no export directory"},
      {{"--export-dir", "", "-"}, good, "--export-dir: the export directory is empty"},
      {{"--bogus"}, "", "--bogus: unknown option"},
      {{"--export-dir"}, "", "--export-dir: the option needs a value"},
      {{"--codepage", "UTF-8"}, "", "no order file given"},
      {{"a.json", "b.json"}, "", "more than one order file"},
      {{"nowhere.json"}, "", "cannot read nowhere.json: No such file or directory"},
      {{"--plugin", "/nowhere/libvelmoran.so", "-"}, good, "cannot load the plug-in"},
      {{"--codepage", "KLINGON", "-"}, good, "--codepage: unknown code page \"KLINGON\""},
      {{"--codepage", "CP1252//TRANSLIT", "-"}, good, "unknown code page"},
      {{}, "{\n  \"order\": {,\n}", "invalid JSON at line 2, column 13"},
      {{}, "", "invalid JSON at line 1, column 1"},
      {{}, "[]", "must hold a JSON object"},
      {{}, R"({"param": {}})", "order: missing"},
      {{}, R"({"order": {}, "extra": 1})", "extra: unknown key"},
      {{}, R"({"order": [], "param": {}})", "order: must be an object"},
      {{}, R"({"order": {}, "param": 5})", "param: must be an object"},
      {{}, R"({"order": {"colour": 1}})", "order.colour: unknown key, not a member of order_"},
      {{}, R"({"order": {"lines": 1, "Lines": 1}})", "order.Lines: duplicate key"},
      {{}, R"({"order": {}, "ORDER": {}})", "ORDER: duplicate key"},
      {{}, R"({"ORDER": {"orderPOS": [{"colour": 1}]}})", "order.orderPOS[1].colour: unknown"},
      {{}, orderWith(R"({"remark": "a", "remark": "b"})"), "order.orderPos[1].remark: duplicate"},
      {{}, orderWith(R"({}, {"colour": 1})"), "order.orderPos[2].colour: unknown key"},
      {{}, R"({"order": {"orderPos": {"partNo": "A"}}})", "order.orderPos: must be an array"},
      {{}, orderWith(R"("A")"), "order.orderPos[1]: must be an object"},
      {{}, orderWith(R"({"description": {"text": "a"}})"), "order.orderPos[1].description: an object"},
      {{}, orderWith(R"({"description": [1, {}]})"), "order.orderPos[1].description[2]: an object"},
      {{}, R"({"order": {"supplier": {"nam": "x"}}})", "order.supplier.nam: unknown key"},
      {{}, R"({"order": {"orderNo": {"a": 1}}})", "order.orderNo: an object"},
      {{}, R"({"order": {}, "param": {"export": "x"}})", "param.export: unknown key"},
      {{}, orderWith(R"({"remark": "Ωmega, omega"})"),
       "order.orderPos[1].remark: the character U+03A9 cannot be written in code page CP1252"},
      {{}, R"({"order": {"supplier": {"name": "Ω"}}})", "order.supplier.name: the character"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    if (args.empty()) args = {"--export-dir", dir().string(), "-"};
    writeEarlierOrderFile();
    Outcome r = run(kProgram, args, dir(), c.input);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("velmoran-send: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    expectEarlierOrderFileUntouched();
  }
}

// Positions are built while the file is read; their errors still come after
// every error of the file as a whole and of what precedes them in the order.
TEST_F(HostSend, AnErrorInAPositionYieldsToErrorsThatComeFirst) {
  const struct {
    std::string input;
    const char* message;
  } cases[] = {
      {R"({"order": {"colour": 1, "orderPos": [{"colour": 1}]}})", "order.colour: unknown key"},
      {R"({"order": {"orderPos": [{"colour": 1}]}, "extra": 1})", "extra: unknown key"},
      {R"({"param": 5, "order": {"orderPos": [{"colour": 1}]}})", "order.orderPos[1].colour"},
      {R"({"param": {"colour": 1}, "order": {"colour": 1}})", "order.colour: unknown key"},
      {R"({"order": {"lines": "x", "orderPos": [{"colour": 1}]}})", "order.orderPos[1].colour"},
      {R"({"order": {"orderPos": [{"colour": 1}, {"remark": "a", "REMARK": "b"}]}})",
       "order.orderPos[2].REMARK: duplicate key"},
      {R"({"order": {"orderPos": [{"colour": 1}, ]}})", "invalid JSON at line 1, column 40"},
  };
  for (const auto& c : cases) {
    Outcome r = run(kProgram, {"--export-dir", dir().string(), "-"}, dir(), c.input);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err;
  }
}

TEST_F(HostSend, ExportDirectoryOptionReplacesWhateverParamHolds) {
  for (const char* param : {R"({"zelxport": 5})", R"({"zelxport": ""})", R"({})"}) {
    Outcome r = send(R"({"order": {"orderPos": [{"partNo": "A"}]}, "param": )" + std::string(param) +
                 "}");
    EXPECT_EQ(r.status, 0) << param << r.err;
  }
  for (const char* param : {R"({"zelxport": 5})", R"({"zelxport": ""})", R"({"zelxport": null})"}) {
    Outcome r = run(kProgram, {"-"}, dir(),
                R"({"order": {}, "param": )" + std::string(param) + "}");
    EXPECT_EQ(r.status, 2) << param;
    EXPECT_NE(r.err.find("param.zelxport: the export directory"), std::string::npos) << r.err;
  }
}

TEST_F(HostSend, PluginIsFoundBesideTheProgramOrInLib) {
  const fs::path bin = root_ / "bin", program = bin / "velmoran-send";
  fs::create_directory(bin);
  fs::copy_file(kProgram, program);
  // The runtime where the program's run path leads, as installed.
  fs::create_directory(root_ / "lib");
  fs::create_symlink(fs::path(VELMORAN_PLUGIN).parent_path() / "libhostrt.so.1",
                     root_ / "lib" / "libhostrt.so.1");
  const std::string json = orderWith(R"({"partNo": "A"})");
  const std::vector<std::string> args = {"--export-dir", dir().string(), "-"};

  Outcome none = run(program, args, dir(), json);
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("cannot load the plug-in"), std::string::npos) << none.err;

  std::vector<std::string> named = args;
  named.insert(named.begin(), {"--plugin", VELMORAN_PLUGIN});
  EXPECT_EQ(run(program, named, dir(), json).status, 0);

  fs::create_symlink(VELMORAN_PLUGIN, root_ / "lib" / "libvelmoran.so");
  Outcome installed = run(program, args, dir(), json);
  EXPECT_EQ(installed.status, 0) << installed.err;
  EXPECT_EQ(readFile(orderFile()), "ORDDTLA              0000000 " + kEnd);
}

TEST_F(HostSend, MembersThePluginReadsAreCheckedBeforeSending) {
  const struct {
    std::string order;
    const char* message;  // the whole stderr line after "velmoran-send: "
  } cases[] = {
      {orderWith(R"({}, {}, {"quantity": "5"})"),
       R"(order.orderPos[3].quantity: expected a number, got the string "5")"},
      {orderWith(R"({"quantity": null})"), "order.orderPos[1].quantity: expected a number, got null"},
      {orderWith(R"({"quantity": true})"),
       "order.orderPos[1].quantity: expected a number, got the boolean true"},
      {orderWith(R"({"partNo": 123})"), "order.orderPos[1].partNo: expected a string, got the number 123"},
      {orderWith(R"({"PartNo": ["A"]})"), "order.orderPos[1].PartNo: expected a string, got an array"},
      {orderWith(R"({"remark": {}})"), "order.orderPos[1].remark: expected a string, got an object"},
      {orderWith(R"({"missionNo": "4711"})"),
       R"(order.orderPos[1].missionNo: expected a number or a blank string, got the string "4711")"},
      {orderWith(R"({"missionNo": null})"),
       "order.orderPos[1].missionNo: expected a number or a blank string, got null"},
      {orderWith(R"({"remark": "a\nb"})"),
       R"(order.orderPos[1].remark: expected a string without control characters other than tab, got the string "a\nb")"},
      {orderWith(R"({"partNo": "A\u0000"})"),
       R"(order.orderPos[1].partNo: expected a string without control characters other than tab, got the string "A\u0000")"},
      {orderWith(R"({"missionNo": " \r"})"),
       R"(order.orderPos[1].missionNo: expected a string without control characters other than tab, got the string " \r")"},
      {orderWith(R"({"remark": "\u0085"})"), "order.orderPos[1].remark: expected a string without control"},
      // Strings of 8 bytes and more are passed over a word at a time when printable.
      {orderWith(R"({"remark": "\u001fbcdefghij"})"), "order.orderPos[1].remark: expected a string without"},
      {orderWith(R"({"remark": "abcdefgh\u007fijk"})"), "order.orderPos[1].remark: expected a string without"},
      {orderWith(R"({"partNo": "abcdefghijklmnop\u0085"})"), "order.orderPos[1].partNo: expected a string without"},
      {orderWith(R"({"partNo": "abcdefg\u0090"})"), "order.orderPos[1].partNo: expected a string without"},
      {R"({"order": {"lines": "1", "orderPos": [{}]}})",
       R"(order.lines: expected a whole number, got the string "1")"},
      {R"({"order": {"lines": 1.5, "orderPos": [{}]}})",
       "order.lines: expected a whole number, got the number 1.5"},
      {R"({"order": {"orderPos": [{}], "LINES": 2}})",
       "order.LINES: expected a whole number no greater than the number of positions (1), got the "
       "number 2"},
      {R"({"order": {"lines": 1}})",
       "order.lines: expected a whole number no greater than the number of positions (0), got the "
       "number 1"},
  };
  for (const auto& c : cases) {
    writeEarlierOrderFile();
    Outcome r = send(c.order);
    EXPECT_EQ(r.status, 2) << c.order;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(std::string("velmoran-send: ") + c.message, 0), 0u) << r.err;
    expectEarlierOrderFileUntouched();
  }
  // A long string is shown cut short, a tab is no control character here.
  Outcome longText = send(orderWith(R"({"remark": ")" + std::string(100, 'x') + R"(\n"})"));
  EXPECT_NE(longText.err.find("got the string \"" + std::string(37, 'x') + "...\"\n"),
            std::string::npos) << longText.err;
  Outcome tab = send(orderWith(R"({"partNo": "A\tB", "quantity": 2.0, "missionNo": ""},
                                   {"partNo": "ABCDEFGH\tIJ", "remark": "Grüße aus ~ 12345"})"));
  EXPECT_EQ(tab.status, 0) << tab.err;
}

TEST_F(HostSend, FewerLinesThanPositionsSendsThemWithAWarning) {
  Outcome r = send(R"({"order": {"lines": 2.0, "orderPos": [{"partNo": "A"}, {"partNo": "B"},
                                                           {"partNo": "C"}]}})");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kWritten + orderFileName() + "\n");
  EXPECT_EQ(r.err, "velmoran-send: order.lines: only the first 2.0 of the 3 positions are sent\n");
  EXPECT_EQ(readFile(orderFile()),
            "ORDDTLA              0000000 " + kEnd + "ORDDTLB              0000000 " + kEnd);
}

TEST_F(HostSend, HostileInputIsRefusedWithoutHarm) {
  const std::string good = orderWith(R"({"partNo": "A"})");
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const struct {
    std::vector<std::string> args;
    std::string input;
    const char* message;
  } cases[] = {
      {{}, R"({"order": {"orderNo": )" + deep + R"(, "lines": 0}})",
       "invalid JSON at line 1, column 121: objects and arrays nested more than 100 levels deep"},
      {{}, R"({"a": ")" + deep + R"("})", "a: unknown key"},  // brackets in a string are no nesting
      {{}, good + std::string(1, '\0'), "invalid JSON at line 1, column 43: a NUL byte"},
      {{}, good + std::string(1, '\0') + "{}", "a NUL byte"},
      {{}, good + "\n{}", "invalid JSON at line 2, column 1"},
      {{}, good + " x", "the document root must not be followed by other values"},
      {{"--max-input-size", "41"}, good, "standard input: larger than 41 bytes (see --max-input-size)"},
      {{"--max-input-size", "1k"}, std::string(5000, ' ') + good, "larger than 1024 bytes"},
      {{"--max-input-size", "5x"}, good, R"(--max-input-size: "5x" is not a byte count)"},
      {{"--max-input-size", "-1"}, good, "is not a byte count"},
  };
  for (const auto& c : cases) {
    writeEarlierOrderFile();
    Outcome r = send(c.input, c.args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err;
    expectEarlierOrderFileUntouched();
  }
  EXPECT_EQ(send(good, {"--max-input-size", "42"}).status, 0);  // the limit itself is allowed
  writeFile(root_ / "order.json", std::string(2000, ' ') + good);
  Outcome file = run(kProgram, {"--max-input-size", "1K", (root_ / "order.json").string()}, dir());
  EXPECT_EQ(file.status, 2);
  EXPECT_NE(file.err.find("order.json: larger than 1024 bytes"), std::string::npos) << file.err;
}

// Standard input through a pipe has no size to check before reading: the
// limit is found as the text comes, and still before any other error.
TEST_F(HostSend, PipedInputIsLimitedAsItIsRead) {
  const std::string good = orderWith(R"({"partNo": "A"})");  // 42 bytes
  const std::string blanks(5000, ' ');
  const struct {
    std::vector<std::string> args;
    std::string input;
    int status;
    const char* message;  // part of stderr
  } cases[] = {
      {{"--max-input-size", "41"}, good, 2, "standard input: larger than 41 bytes"},
      {{"--max-input-size", "42"}, good, 0, ""},
      {{"--max-input-size", "1k"}, "{x" + blanks, 2, "standard input: larger than 1024 bytes"},
      {{"--max-input-size", "1k", "--codepage", "KLINGON"}, blanks, 2, "larger than 1024 bytes"},
      {{"--max-input-size", "1k", "--plugin", "/nowhere/x.so"}, blanks, 2, "larger than 1024"},
      {{}, good + std::string(300000, ' '), 0, ""},
      {{}, "{\"order\":" + std::string(300000, '\n') + " x}", 2,
       "invalid JSON at line 300001, column 2"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"--export-dir", dir().string()});
    args.push_back("-");
    Outcome r = run(kProgram, args, dir(), c.input, true);
    EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err;
  }
}

TEST_F(HostSend, StandardOutputThatCannotBeWrittenIsAnError) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full to write to";
  const pid_t pid = fork();
  if (pid == 0) {
    int out = open("/dev/full", O_WRONLY);
    int err = open((root_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    execl(kProgram.c_str(), kProgram.c_str(), "--help", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 5);
  EXPECT_EQ(readFile(root_ / "stderr"),
            "velmoran-send: cannot write standard output: No space left on device\n");
}

// An order of n positions with part numbers "<tag><i>", and the order file
// it makes.
std::string bigOrder(char tag, int n, std::string* file) {
  std::string json = R"({"order": {"orderPos": [)";
  file->clear();
  for (int i = 0; i < n; ++i) {
    std::string partNo = tag + std::to_string(i);
    std::string quantity = std::to_string(i % 1000);
    json += (i ? ", " : "") + std::string(R"({"partNo": ")") + partNo + R"(", "quantity": )" +
            quantity + "}";
    *file += "ORDDTL" + partNo + std::string(15 - partNo.size(), ' ') +
             std::string(7 - quantity.size(), '0') + quantity + " " + kEnd;
  }
  return json + "]}}";
}

// Starts the program on an order file in `dir`, its output into files
// named by `tag` beside the directory; returns its process.
pid_t start(const fs::path& dir, const fs::path& order, const std::string& tag,
            rlim_t fileSizeLimit = RLIM_INFINITY) {
  const std::string out = (dir.parent_path() / (tag + ".out")).string();
  const std::string err = (dir.parent_path() / (tag + ".err")).string();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    rlimit limit{fileSizeLimit, fileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    execl(kProgram.c_str(), kProgram.c_str(), "--export-dir", dir.c_str(), order.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

bool temporaryFileIn(const fs::path& dir) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    if (e.path().extension() == ".tmp") return true;
  }
  return false;
}

TEST_F(HostSend, ASignalWhileWritingLeavesTheOrderFileAbsentOrComplete) {
  std::string whole;
  writeFile(root_ / "order.json", bigOrder('P', 40000, &whole));
  const fs::path name = orderFile();
  // What a killed sender may leave: its temporary file, velmoran.txt.<pid>.<n>.tmp.
  const std::regex leftover(R"(velmoran\.txt\.[0-9]+\.[0-9]+\.tmp)");
  int caughtWriting = 0;
  for (int sig : {SIGKILL, SIGTERM, SIGXFSZ}) {
    writeEarlierOrderFile();
    pid_t pid = start(dir(), root_ / "order.json", "signal", sig == SIGXFSZ ? 16384 : RLIM_INFINITY);
    bool writing = false;
    for (int i = 0; i < 200000 && !writing && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
      writing = temporaryFileIn(dir());
      if (!writing) usleep(100);
    }
    if (writing && sig != SIGXFSZ) kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    if (writing && WIFSIGNALED(status)) ++caughtWriting;
    if (fs::exists(name)) {
      EXPECT_EQ(readFile(name), whole) << "signal " << sig;
    }
    for (const std::string& entry : entries()) {
      if (entry != "velmoran.txt") {
        EXPECT_TRUE(std::regex_match(entry, leftover)) << entry;
        fs::remove(dir() / entry);
      }
    }
  }
  EXPECT_GT(caughtWriting, 0) << "no signal struck while the order file was being written";
}

TEST_F(HostSend, TwoSendersAtOnceLeaveOneWholeOrder) {
  std::string fileA, fileB;
  writeFile(root_ / "a.json", bigOrder('A', 10000, &fileA));
  writeFile(root_ / "b.json", bigOrder('B', 10000, &fileB));
  for (int round = 0; round < 3; ++round) {
    pid_t a = start(dir(), root_ / "a.json", "a");
    pid_t b = start(dir(), root_ / "b.json", "b");
    int statusA = 0, statusB = 0;
    waitpid(a, &statusA, 0);
    waitpid(b, &statusB, 0);
    EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0) << readFile(root_ / "a.err");
    EXPECT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0) << readFile(root_ / "b.err");
    std::string result = readFile(orderFile());
    EXPECT_TRUE(result == fileA || result == fileB) << result.size() << " bytes";
    EXPECT_EQ(entries(), std::set<std::string>{"velmoran.txt"});
  }
}

TEST_F(HostSend, AFullFileSystemSaysSoAndLeavesNothing) {
  const fs::path small = root_ / "small";
  fs::create_directory(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                 << "): needs root with CAP_SYS_ADMIN";
  }
  std::string whole;
  const std::string json = bigOrder('F', 5000, &whole);  // about 160 KB of order file
  writeFile(small / "velmoran.txt", "earlier" + kEnd);
  Outcome r = run(kProgram, {"--export-dir", small.string(), "-"}, dir(), json);
  const std::string name = small.string() + "\\velmoran.txt";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kFailed + name + "\n");
  EXPECT_EQ(r.err, "velmoran-send: cannot write " + name + ": No space left on device\n");
  EXPECT_TRUE(fs::is_empty(small));
  umount2(small.c_str(), MNT_DETACH);
}

}  // namespace

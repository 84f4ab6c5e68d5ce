// velmoran-send.exe on a Windows desk: started with UTF-16 arguments, it
// reaches export directories and plug-ins named beyond ASCII and beyond the
// ANSI code page, puts the path on the clipboard as Unicode, says so when the
// clipboard is held elsewhere, and refuses code pages it cannot check. The
// program runs as a child process, with its standard streams on pipes.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "win32_testing.h"

namespace {

namespace fs = std::filesystem;
using namespace velmoran::testing;

const std::string kEnd = "\r\n\n";
const std::string kExampleFile = "ORDDTL13280A1        0000002 004711" + kEnd +
                                 "ORDDTL990001B        0000010 Eilt" + kEnd;
const std::string kWritten = "Die Bestelldaten befinden sich in der Datei ";

// The worked example, its export directory given in the order (UTF-8).
std::string exampleOrder(const std::wstring& exportDir) {
  std::string dir;
  for (char c : utf8(exportDir)) {
    if (c == '\\') dir += '\\';
    dir += c;
  }
  return R"({"order": {"lines": 2, "orderPos": [)"
         R"({"partNo": "13-280 A.1", "quantity": 2, "missionNo": 4711, "remark": "Eilt"},)"
         R"({"partNo": "99/0001,B", "quantity": 10, "missionNo": 0, "remark": "Eilt"}]},)"
         R"("param": {"zelxport": ")" + dir + "\"}}";
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// One argument for the command line, quoted as the C runtime reads it back.
std::wstring quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

// velmoran-send.exe beside this program.
std::wstring programPath() {
  wchar_t buf[32768];
  DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
  std::wstring exe(buf, n);
  return exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"velmoran-send.exe";
}

std::wstring pluginBesideTheProgram() {
  std::wstring exe = programPath();
  return exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"velmoran.dll";
}

struct Outcome {
  DWORD status = 0;
  std::string out, err;
};

// Reads what a pipe holds now, without waiting for more.
void drain(HANDLE pipe, std::string* into) {
  char buf[4096];
  DWORD available = 0, n = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
         ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0) {
    into->append(buf, n);
  }
}

// Runs velmoran-send.exe with the arguments, the order on standard input, in
// the folder `cwd`.
Outcome run(const std::vector<std::wstring>& args, const std::string& input,
            const std::wstring& cwd) {
  Outcome r;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0) ||
      !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    ADD_FAILURE() << "CreatePipe: " << GetLastError();
    return r;
  }
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  std::wstring line = quoted(programPath());
  for (const std::wstring& a : args) line += L" " + quoted(a);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inRead;
  si.hStdOutput = outWrite;
  si.hStdError = errWrite;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                cwd.c_str(), &si, &pi);
  DWORD startError = GetLastError();
  CloseHandle(inRead);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (started) {
    // The order fits the pipe's buffer. The output is read until the program
    // has ended, not to the pipes' end: a process that the program started
    // in passing (wine's desktop) may hold them open longer.
    DWORD written = 0;
    WriteFile(inWrite, input.data(), DWORD(input.size()), &written, nullptr);
    CloseHandle(inWrite);
    for (bool ended = false; !ended;) {
      ended = WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0;
      drain(outRead, &r.out);
      drain(errRead, &r.err);
    }
    GetExitCodeProcess(pi.hProcess, &r.status);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  } else {
    CloseHandle(inWrite);
    ADD_FAILURE() << "CreateProcessW: " << startError;
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  return r;
}

class HostWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(expectAnsiCodePageAsConfigured());
    root_ = fs::temp_directory_path() / ("velmoran-host-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // A new folder under the test's own, named in UTF-16.
  std::wstring folder(const std::wstring& name) {
    fs::path dir = root_ / name;
    fs::create_directories(dir);
    return dir.wstring();
  }

  fs::path root_;
};

// The order file in `dir`, the message naming it in `codePage`, its path on
// the clipboard in UTF-16.
void expectWrittenTo(const std::wstring& dir, const Outcome& r, UINT codePage) {
  const std::wstring file = dir + L"\\velmoran.txt";
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kWritten + narrow(file, codePage) + "\n");
  EXPECT_EQ(readFile(fs::path(file)), kExampleFile);
  EXPECT_EQ(clipboardUnicode(), file);
}

TEST_F(HostWin32, ReachesAFolderNamedInCp1252FromTheOrderAndFromTheCommandLine) {
  const std::wstring dir = folder(L"M\u00fcller");
  expectWrittenTo(dir, run({L"-"}, exampleOrder(dir), root_.wstring()), 1252);
  fs::remove(fs::path(dir) / "velmoran.txt");
  expectWrittenTo(dir, run({L"--export-dir", dir, L"-"}, exampleOrder(L"C:\\Export"), dir), 1252);
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1)
      << "no other folder was made";
}

TEST_F(HostWin32, ReachesAFolderNamedBeyondCp1252WithUtf8Strings) {
  const std::wstring dir = folder(L"\u03a9mega-\u0142\u00f3d\u017a");
  expectWrittenTo(dir, run({L"--codepage", L"UTF-8", L"--export-dir", dir, L"-"},
                           exampleOrder(L"C:\\Export"), root_.wstring()),
                  CP_UTF8);

  // In CP1252 that name cannot be written: an error, not a look-alike folder.
  fs::remove(fs::path(dir) / "velmoran.txt");
  for (const std::vector<std::wstring>& args :
       {std::vector<std::wstring>{L"--export-dir", dir, L"-"}, std::vector<std::wstring>{L"-"}}) {
    Outcome r = run(args, exampleOrder(dir), root_.wstring());
    EXPECT_EQ(r.status, 2u);
    EXPECT_NE(r.err.find("the character U+03A9 cannot be written in code page CP1252"),
              std::string::npos)
        << r.err;
  }
  EXPECT_FALSE(fs::exists(fs::path(dir) / "velmoran.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
}

TEST_F(HostWin32, LoadsThePluginFromAWidePathOnly) {
  const std::wstring dir = folder(L"Plug-in \u03a9\u00df\u0416");
  const std::wstring exportDir = folder(L"export");
  ASSERT_TRUE(CopyFileW(pluginBesideTheProgram().c_str(), (dir + L"\\velmoran.dll").c_str(), FALSE))
      << GetLastError();
  // A full path, and a name relative to the current folder, made full.
  expectWrittenTo(exportDir,
                  run({L"--plugin", dir + L"\\velmoran.dll", L"-"}, exampleOrder(exportDir),
                      root_.wstring()),
                  1252);
  expectWrittenTo(exportDir, run({L"--plugin", L"velmoran.dll", L"-"}, exampleOrder(exportDir), dir),
                  1252);
  Outcome missing = run({L"--plugin", dir + L"\\none\\velmoran.dll", L"-"}, exampleOrder(exportDir),
                        root_.wstring());
  EXPECT_EQ(missing.status, 2u);
  EXPECT_EQ(missing.err.rfind("velmoran-send: cannot load the plug-in: " +
                                  utf8(dir + L"\\none\\velmoran.dll") + ": ",
                              0),
            0u)
      << missing.err;
}

TEST_F(HostWin32, AClipboardHeldElsewhereIsReportedAndTheOrderStillWritten) {
  const std::wstring dir = folder(L"export");
  ClipboardHolder holder;
  ASSERT_TRUE(holder.holding());
  Outcome r = run({L"-"}, exampleOrder(dir), root_.wstring());
  holder.release();
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.out, kWritten + narrow(dir + L"\\velmoran.txt", 1252) + "\n");
  EXPECT_EQ(r.err,
            "velmoran-send: the order file is written, but the path is not on the clipboard: "
            "the clipboard could not be opened or did not take the text\n");
  EXPECT_EQ(readFile(fs::path(dir) / "velmoran.txt"), kExampleFile);
}

TEST_F(HostWin32, CodePagesWindowsCannotCheckAreRefused) {
  const std::wstring dir = folder(L"export");
  for (const wchar_t* name : {L"CP50220", L"CP50229", L"CP52936", L"CP54936", L"CP57002",
                              L"CP57011", L"CP65000", L"CP42"}) {
    Outcome r = run({L"--codepage", name, L"-"}, exampleOrder(dir), root_.wstring());
    EXPECT_EQ(r.status, 2u) << utf8(name);
    EXPECT_EQ(r.err, "velmoran-send: --codepage: code page \"" + utf8(name) +
                         "\" is not supported: Windows cannot check its conversions\n");
  }
  EXPECT_FALSE(fs::exists(fs::path(dir) / "velmoran.txt"));
}

}  // namespace

// Plug-in loading with LoadLibraryExW. The plug-in, velmoran.dll, sits beside
// the program, in the build tree and when installed alike.
//
// The plug-in is loaded by its full path only, and the DLLs it needs are
// looked for in its own folder and the system folder only: never in the
// current directory or along PATH, where anyone could have placed a DLL of
// that name. Paths are UTF-8 here and UTF-16 for the system.

#include "host/plugin_loader.h"

#include <windows.h>

#include "host/utf16_win32.h"

namespace velmoran::host {

namespace {

constexpr const char* kPluginFile = "velmoran.dll";
constexpr DWORD kMaxPath = 32767;  // the longest path the system takes

// The full path of the running program, in UTF-8; "" when unknown.
std::string executablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0) return "";
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    if (buf.size() >= kMaxPath) return "";
    buf.resize(buf.size() * 2);  // cut short: ask again with more room
  }
  std::string path;
  return utf16ToUtf8(buf, &path) ? path : "";
}

// The full form of a path given relative to the current directory.
bool fullPath(const std::wstring& path, std::wstring* full) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return false;
  full->assign(size, L'\0');
  size = GetFullPathNameW(path.c_str(), DWORD(full->size()), full->data(), nullptr);
  if (size == 0 || size >= full->size()) return false;
  full->resize(size);
  return true;
}

// The system's text for an error code, without the line end it comes with.
std::string systemMessage(DWORD code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (!n || !text || !utf16ToUtf8(std::wstring_view(text, n), &message)) {
    message = "error " + std::to_string(code);
  }
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

std::string defaultPluginPath() {
  std::string exe = executablePath();
  size_t slash = exe.find_last_of("\\/");
  return slash == std::string::npos ? "" : exe.substr(0, slash + 1) + kPluginFile;
}

Status loadPlugin(const std::string& path) {
  const std::string failed = "cannot load the plug-in: ";
  if (path.empty()) return Status::noPlugin(failed + "the folder of this program cannot be found");
  std::wstring wide, full;
  if (!utf8ToUtf16(path, &wide) || wide.find(L'\0') != std::wstring::npos) {
    return Status::noPlugin(failed + path + ": not a valid path");
  }
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';  // the loader wants backslashes
  }
  if (!fullPath(wide, &full)) {
    return Status::noPlugin(failed + path + ": " + systemMessage(GetLastError()));
  }
  // Whatever this process loads later is looked for in the safe folders too.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  // No system dialog about a missing DLL; the error goes to the caller.
  DWORD previous = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
  HMODULE module = LoadLibraryExW(full.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  DWORD code = GetLastError();
  SetThreadErrorMode(previous, nullptr);
  if (module) return Status();
  return Status::noPlugin(failed + path + ": " + systemMessage(code));
}

}  // namespace velmoran::host

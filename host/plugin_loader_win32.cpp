// Plug-in loading through the embedding API, with the path in UTF-8 so that
// the application's code page need not hold it. The plug-in, velmoran.dll,
// sits beside the program, in the build tree and when installed alike.
//
// The runtime loads it by its full path only, and looks for the DLLs it needs
// in its own folder and the system folder only: never in the current
// directory or along PATH, where anyone could have placed a DLL of that name.

#include "host/plugin_loader.h"

#include <windows.h>

#include "host/utf16_win32.h"
#include "hostrt/embed.h"

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

}  // namespace

std::string defaultPluginPath() {
  std::string exe = executablePath();
  size_t slash = exe.find_last_of("\\/");
  return slash == std::string::npos ? "" : exe.substr(0, slash + 1) + kPluginFile;
}

Status loadPlugin(const std::string& path) {
  const std::string failed = "cannot load the plug-in: ";
  if (path.empty()) return Status::noPlugin(failed + "the folder of this program cannot be found");
  // Refused here, in the host's words; the runtime takes a C string.
  std::wstring wide;
  if (!utf8ToUtf16(path, &wide) || wide.find(L'\0') != std::wstring::npos) {
    return Status::noPlugin(failed + path + ": not a valid path");
  }
  // Whatever this process loads later is looked for in the safe folders too.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  std::string error;
  if (hostrt::embed::loadLibraryUtf8(path, &error)) return Status();
  return Status::noPlugin(failed + error);
}

}  // namespace velmoran::host

// Plug-in loading with LoadLibrary. The plug-in, velmoran.dll, sits beside
// the program, in the build tree and when installed alike.

#include "host/plugin_loader.h"

#include <windows.h>

namespace velmoran::host {

namespace {

constexpr const char* kPluginFile = "velmoran.dll";

// The directory of the running program, with a trailing backslash; "" when unknown.
std::string executableDir() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  if (n == 0 || n == MAX_PATH) return "";
  std::string path(buf, n);
  return path.substr(0, path.find_last_of("\\/") + 1);
}

// The system's text for an error code, without the line end it comes with.
std::string systemMessage(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

std::string defaultPluginPath() { return executableDir() + kPluginFile; }

bool loadPlugin(const std::string& path, std::string* error) {
  // A bare file name would send LoadLibrary searching the DLL search path;
  // the loader wants backslashes.
  std::string file = path.find_first_of("\\/:") == std::string::npos ? ".\\" + path : path;
  for (char& c : file) {
    if (c == '/') c = '\\';
  }
  // No system dialog about a missing DLL; the error goes to the caller.
  DWORD previous = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
  HMODULE module = LoadLibraryA(file.c_str());
  DWORD code = GetLastError();
  SetThreadErrorMode(previous, nullptr);
  if (module) return true;
  *error = "cannot load the plug-in: " + path + ": " + systemMessage(code);
  return false;
}

}  // namespace velmoran::host

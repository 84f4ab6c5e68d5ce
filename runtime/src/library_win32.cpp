// embed::loadLibrary with LoadLibrary.

#include <windows.h>

#include "hostrt/embed.h"

namespace hostrt::embed {

namespace {

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

bool loadLibrary(const std::string& path, std::string* error) {
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
  *error = path + ": " + systemMessage(code);
  return false;
}

}  // namespace hostrt::embed

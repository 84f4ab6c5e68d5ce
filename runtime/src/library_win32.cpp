// openLibrary with LoadLibraryExW. The path is in the application's code
// page, like every name the runtime hands to the system (in UTF-8 for
// openLibraryUtf8), and is made full: the library is loaded from that file
// only, and the DLLs it imports are looked for in its own folder and the
// system folder, never in the current directory or along PATH, where anyone
// could have placed a DLL of that name.

#include <windows.h>

#include "library.h"
#include "text_encoding.h"

namespace hostrt {

namespace {

// The system's text for an error code, in code page cp ('?' for what it
// lacks), without the line end it comes with.
std::string systemMessage(DWORD code, UINT cp) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (n && text) {
    int size = WideCharToMultiByte(cp, 0, text, int(n), nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      message.resize(size_t(size));
      WideCharToMultiByte(cp, 0, text, int(n), message.data(), size, nullptr, nullptr);
    }
  }
  if (text) LocalFree(text);
  if (message.empty()) message = "error " + std::to_string(code);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

// The full UTF-16 path of the library; 0 or the reason it names no file.
DWORD fullPath(const std::string& path, UINT cp, std::wstring* full) {
  std::wstring wide;
  if (path.find('\0') != std::string::npos) return ERROR_INVALID_NAME;
  if (!toUtf16(path, cp, &wide)) return ERROR_NO_UNICODE_TRANSLATION;
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';  // the loader wants backslashes
  }
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return GetLastError();
  full->assign(size, L'\0');
  size = GetFullPathNameW(wide.c_str(), DWORD(full->size()), full->data(), nullptr);
  if (size == 0 || size >= full->size()) return ERROR_FILENAME_EXCED_RANGE;
  full->resize(size);
  return 0;
}

// Loads the library whose path is in code page cp; the reason is in cp too.
bool openLibraryIn(UINT cp, const std::string& path, std::string* error) {
  std::wstring full;
  if (DWORD code = fullPath(path, cp, &full)) {
    *error = path + ": " + systemMessage(code, cp);
    return false;
  }
  // No system dialog about a missing DLL; the error goes to the caller.
  DWORD previous = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
  HMODULE module = LoadLibraryExW(full.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  DWORD code = GetLastError();
  SetThreadErrorMode(previous, nullptr);
  if (module) return true;
  *error = path + ": " + systemMessage(code, cp);
  return false;
}

}  // namespace

bool openLibrary(const std::string& path, std::string* error) {
  return openLibraryIn(applicationCodePage(), path, error);
}

bool openLibraryUtf8(const std::string& path, std::string* error) {
  return openLibraryIn(CP_UTF8, path, error);
}

}  // namespace hostrt

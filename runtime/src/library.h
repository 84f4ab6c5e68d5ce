// Opening a library with the system's loader, for the embedding API.
//
// Thread safety: as the system's loader.
#pragma once

#include <string>

namespace hostrt {

// Loads a library for the life of the process. False, with the system's
// reason in *error, when it cannot be loaded. A path without a directory names
// a file in the current directory, not one on the search path. On Windows the
// path is in the application's code page, and the library's imports are
// looked for in its folder and the system folder.
bool openLibrary(const std::string& path, std::string* error);

#if defined(_WIN32)
// As openLibrary, with the path and the reason in UTF-8: a path that the
// application's code page cannot hold can still be loaded.
bool openLibraryUtf8(const std::string& path, std::string* error);
#endif

}  // namespace hostrt

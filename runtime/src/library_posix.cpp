// openLibrary with dlopen.

#include <dlfcn.h>

#include "library.h"

namespace hostrt {

bool openLibrary(const std::string& path, std::string* error) {
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  if (dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) return true;
  const char* reason = dlerror();
  *error = reason ? reason : "cannot load " + path;
  return false;
}

}  // namespace hostrt

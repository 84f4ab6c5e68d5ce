// Plug-in loading through the embedding API, which loads a library the way
// an application does.

#include "host/plugin_loader.h"

#include <limits.h>
#include <unistd.h>

#include "hostrt/embed.h"

namespace velmoran::host {

namespace {

constexpr const char* kPluginFile = "libvelmoran.so";

// The directory of the running executable, with a trailing slash; "" when unknown.
std::string executableDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, size_t(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

std::string defaultPluginPath() {
  std::string dir = executableDir();
  if (dir.empty()) return kPluginFile;
  const std::string candidates[] = {dir + kPluginFile, dir + "../lib/velmoran/" + kPluginFile,
                                    dir + "../lib/" + kPluginFile};
  for (const std::string& path : candidates) {
    if (access(path.c_str(), F_OK) == 0) return path;
  }
  return candidates[0];
}

Status loadPlugin(const std::string& path) {
  // A bare file name is a file in the current directory, never a library on
  // the search path: embed::loadLibrary sees to that.
  std::string error;
  if (hostrt::embed::loadLibrary(path, &error)) return Status();
  return Status::noPlugin("cannot load the plug-in: " + error);
}

}  // namespace velmoran::host

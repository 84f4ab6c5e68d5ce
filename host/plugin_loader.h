// Loads the plug-in library. Loading is all it takes: the library registers
// itself with the runtime as it is loaded, and everything after that is
// reached through the runtime by public name.
#pragma once

#include <string>

#include "host/status.h"

namespace velmoran::host {

// Where the plug-in is looked for when no path is given: beside the
// executable (the build tree), then in ../lib/velmoran relative to it (the
// installed layout), then in ../lib. The first that exists; the first
// candidate when none does. On Windows: beside the executable, and "" when
// its folder cannot be found.
std::string defaultPluginPath();

// Loads the library for the life of the process, or returns why it cannot
// be loaded. On Windows the path is UTF-8, made full
// when relative, and the library's own imports are looked for only in its
// folder and the system folder; an empty path is an error.
Status loadPlugin(const std::string& path);

}  // namespace velmoran::host

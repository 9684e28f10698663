#pragma once

// The user's base folders for configuration, data and caches.

#include <optional>
#include <string>

namespace XdgPaths {

// $<variable> when it is an absolute path, else the home folder ($HOME, or
// the user database's) with fallback behind it (".config", ".cache"); nullopt
// when no home folder is known.
std::optional<std::string> Home(const char* variable, const char* fallback);

} // namespace XdgPaths

#pragma once

// The user's base folders for configuration, data and caches, and the
// folders made below them.

#include <optional>
#include <string>

namespace XdgPaths {

// $<variable> when it is an absolute path, else the home folder ($HOME, or
// the user database's) with fallback behind it (".config", ".cache"); nullopt
// when no home folder is known.
std::optional<std::string> Home(const char* variable, const char* fallback);

// A folder that could not be made, and why (an errno value).
struct FolderFailure
{
    std::string Folder;
    int Error = 0;
};

// Makes the folder path and its missing parents, readable by the user
// alone. Nothing when all of them are folders now; else the first that is
// not (an entry of another kind in its place gives ENOTDIR).
std::optional<FolderFailure> MakeFolders(const std::string& path);

} // namespace XdgPaths

#pragma once

// The folders of the store and the desktop entry.

#include <string>

namespace RegTools::Detail {

// Creates path and its missing parents with mode 0700; throws StoreError
// naming the folder.
void MakeFolders(const std::string& path, const std::string& purpose);

// $XDG_<kind>_HOME when it is an absolute path, else $HOME + fallback
// (".config", ".local/share"); throws StoreError when no home folder is known.
std::string XdgHome(const char* variable, const char* fallback);

} // namespace RegTools::Detail

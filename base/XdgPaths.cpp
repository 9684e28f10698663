#include "base/XdgPaths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace XdgPaths {

std::optional<std::string> Home(const char* variable, const char* fallback)
{
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    std::string home;
    if (const char* value = std::getenv("HOME"); value != nullptr && value[0] != '\0') {
        home = value;
    } else if (const passwd* entry = ::getpwuid(::getuid());
               entry != nullptr && entry->pw_dir != nullptr) {
        home = entry->pw_dir;
    }
    if (home.empty()) {
        return std::nullopt;
    }
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home + "/" + fallback;
}

std::optional<FolderFailure> MakeFolders(const std::string& path)
{
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) == 0) {
            continue;
        }
        // An existing folder may refuse mkdir with another error than EEXIST
        // (a read-only file system, no write right on its parent).
        const int error = errno;
        struct stat info = {};
        if (::stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return FolderFailure{.Folder = part, .Error = error == EEXIST ? ENOTDIR : error};
        }
    }
    return std::nullopt;
}

} // namespace XdgPaths

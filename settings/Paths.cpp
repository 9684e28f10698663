#include "settings/internal/Paths.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "base/XdgPaths.h"
#include "settings/RegTools.h"

namespace RegTools::Detail {

void MakeFolders(const std::string& path, const std::string& purpose)
{
    struct stat info
    {};

    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) == 0) {
            continue;
        }
        // An existing folder may refuse mkdir with another error than EEXIST
        // (a read-only file system, no write right on its parent).
        const int error = errno;
        if (::stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            throw StoreError("Cannot create the folder '" + part + "' for " + purpose + ": " +
                             std::strerror(error == EEXIST ? ENOTDIR : error));
        }
    }
}

std::string XdgHome(const char* variable, const char* fallback)
{
    std::optional<std::string> home = XdgPaths::Home(variable, fallback);
    if (!home) {
        throw StoreError(std::string("Cannot find the home folder: neither ") + variable +
                         " nor HOME is set");
    }
    return *home;
}

} // namespace RegTools::Detail

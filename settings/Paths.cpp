#include "settings/internal/Paths.h"

#include <cstring>
#include <optional>

#include "base/XdgPaths.h"
#include "settings/RegTools.h"

namespace RegTools::Detail {

void MakeFolders(const std::string& path, const std::string& purpose)
{
    if (const std::optional<XdgPaths::FolderFailure> failure = XdgPaths::MakeFolders(path)) {
        throw StoreError("Cannot create the folder '" + failure->Folder + "' for " + purpose +
                         ": " + std::strerror(failure->Error));
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

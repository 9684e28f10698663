#include "base/XdgPaths.h"

#include <cstdlib>
#include <pwd.h>
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

} // namespace XdgPaths

#include "base/LongPath.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string_view>

namespace LongPath {

namespace {

// Where the last stretch of a path starts: the folder opened for the
// stretches before it (invalid while none was needed) and the rest.
struct Reach
{
    UniqueFd Folder{};
    int Base = AT_FDCWD;
    std::string Rest{};
    int Error = 0;
};

Reach Shorten(int base, const std::string& path)
{
    Reach reach;
    reach.Base = base;
    std::string_view rest = path;
    bool cut = false;
    while (rest.size() >= PATH_MAX) {
        // The longest leading stretch that ends in "/" and fits one call. A
        // file name is at most NAME_MAX bytes, so a real path always has one.
        const std::size_t slash = rest.rfind('/', PATH_MAX - 2);
        if (slash == std::string_view::npos) {
            reach.Error = ENAMETOOLONG;
            return reach;
        }
        const std::string stretch(rest.substr(0, slash + 1));
        UniqueFd next;
        do {
            next = UniqueFd(::openat(reach.Base, stretch.c_str(), kFolderFlags));
        } while (!next.Valid() && errno == EINTR);
        if (!next.Valid()) {
            reach.Error = errno;
            return reach;
        }
        reach.Folder = std::move(next);
        reach.Base = reach.Folder.Get();
        rest.remove_prefix(slash + 1);
        while (!rest.empty() && rest.front() == '/') {
            rest.remove_prefix(1);
        }
        cut = true;
    }
    // "dir/" cut right behind its last "/" still names dir.
    reach.Rest = cut && rest.empty() ? std::string(".") : std::string(rest);
    return reach;
}

} // namespace

int Open(int base, const std::string& path, int flags, UniqueFd& fd, mode_t mode)
{
    const Reach reach = Shorten(base, path);
    if (reach.Error != 0) {
        return reach.Error;
    }
    int opened = -1;
    do {
        opened = ::openat(reach.Base, reach.Rest.c_str(), flags, mode);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) {
        return errno;
    }
    fd = UniqueFd(opened);
    return 0;
}

int Stat(int base, const std::string& path, struct stat& status, int flags)
{
    const Reach reach = Shorten(base, path);
    if (reach.Error != 0) {
        return reach.Error;
    }
    return ::fstatat(reach.Base, reach.Rest.c_str(), &status, flags) == 0 ? 0 : errno;
}

} // namespace LongPath

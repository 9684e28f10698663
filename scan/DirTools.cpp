#include "scan/DirTools.h"

#include <cstddef>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unordered_set>
#include <utility>

#include "base/UniqueFd.h"
#include "scan/internal/WildcardPattern.h"

namespace DirTools {

namespace {

// The report window is repainted as a whole only this often, to keep long
// walks fast; the label itself is repainted for every find.
constexpr std::uint64_t kContainerRepaintEvery = 200;

// O_DIRECTORY makes the open fail at once for anything that is not a folder,
// so a FIFO never blocks; links are followed.
constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;

// One read of a folder's entries; a folder that could not be opened has none.
class Directory
{
public:
    explicit Directory(UniqueFd fd)
    {
        if (!fd.Valid())
            return;
        m_dir = ::fdopendir(fd.Get());
        if (m_dir != nullptr)
            static_cast<void>(fd.Release()); // closedir closes it now
    }

    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    ~Directory()
    {
        if (m_dir != nullptr)
            ::closedir(m_dir);
    }

    int Fd() const { return ::dirfd(m_dir); }

    // A read error ends the listing like the end of the folder does.
    const dirent* Next() { return m_dir != nullptr ? ::readdir(m_dir) : nullptr; }

private:
    DIR* m_dir = nullptr;
};

using FileStatus = struct stat;

struct FolderId
{
    dev_t Device = 0;
    ino_t Inode = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

struct FolderIdHash
{
    std::size_t operator()(const FolderId& id) const
    {
        return std::hash<ino_t>{}(id.Inode) * 31 + std::hash<dev_t>{}(id.Device);
    }
};

struct Walk
{
    ProgressLabel& Label;
    std::vector<std::string>& List;
    std::unordered_set<FolderId, FolderIdHash> Entered{};
};

bool IsDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// An empty path names no folder (it must not fall through to "/"), and a
// path with a NUL byte cannot be handed to the system unchanged.
bool IsUsablePath(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

// The folder with exactly one "/" at its end, so "/music", "/music/" and
// "/music//" give the same paths.
std::string WithSlash(const std::string& folder)
{
    std::string result = folder;
    while (result.size() > 1 && result.back() == '/' && result[result.size() - 2] == '/')
        result.pop_back();
    if (result.back() != '/')
        result.push_back('/');
    return result;
}

void CollectBelow(Walk& walk, UniqueFd folder, const std::string& prefix, int depth);

// Lists and enters one entry of the folder open as parentFd when it is a
// folder not yet entered in this walk. Only entries whose type the folder
// listing leaves open (links, unknown) cost a look-up beyond the folder's own.
void VisitEntry(Walk& walk, int parentFd, const dirent& entry, const std::string& prefix, int depth)
{
    if (entry.d_type != DT_DIR && entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return;
    UniqueFd child;
    if (depth > 0)
        child = UniqueFd(::openat(parentFd, entry.d_name, kOpenFolderFlags));
    FileStatus info{};
    if (child.Valid()) {
        if (::fstat(child.Get(), &info) != 0)
            return;
    } else if (::fstatat(parentFd, entry.d_name, &info, 0) != 0 || !S_ISDIR(info.st_mode)) {
        // Not a folder, a dangling link, or gone since the listing.
        return;
    }
    // Also covers a folder that cannot be read: it is listed but not entered.
    if (!walk.Entered.insert(FolderId{info.st_dev, info.st_ino}).second)
        return;
    walk.List.push_back(prefix + entry.d_name);
    const std::string& path = walk.List.back();
    walk.Label.SetText(path);
    walk.Label.RepaintLabel();
    CollectBelow(walk, std::move(child), path + "/", depth);
}

// The folder is already open (or failed to open); prefix is its path with a
// final "/".
void CollectBelow(Walk& walk, UniqueFd folder, const std::string& prefix, int depth)
{
    if (depth <= 0) {
        walk.Label.SetText("");
        walk.Label.RepaintContainer();
        return;
    }
    Directory dir(std::move(folder));
    std::uint64_t entries = 0;
    while (const dirent* entry = dir.Next()) {
        const bool dots = IsDotOrDotDot(entry->d_name);
        // Hidden entries are not part of the listing at all, so they are not
        // counted either; "." and ".." are.
        if (entry->d_name[0] == '.' && !dots)
            continue;
        if (!dots)
            VisitEntry(walk, dir.Fd(), *entry, prefix, depth - 1);
        if (++entries % kContainerRepaintEvery == 0)
            walk.Label.RepaintContainer();
    }
}

} // namespace

void CollectFolders(const std::string& folder, int depth, ProgressLabel& label,
                    std::vector<std::string>& list)
{
    Walk walk{label, list};
    if (depth <= 0 || !IsUsablePath(folder)) {
        CollectBelow(walk, UniqueFd(), "", depth);
        return;
    }
    const std::string prefix = WithSlash(folder);
    UniqueFd source(::open(prefix.c_str(), kOpenFolderFlags));
    // The source counts as entered, so a link back up to it ends there.
    FileStatus info{};
    if (source.Valid() && ::fstat(source.Get(), &info) == 0)
        walk.Entered.insert(FolderId{info.st_dev, info.st_ino});
    CollectBelow(walk, std::move(source), prefix, depth);
}

void CollectFiles(const std::string& folder, const std::string& extension, ProgressLabel& label,
                  std::vector<std::string>& list)
{
    if (!IsUsablePath(folder))
        return;
    const std::string prefix = WithSlash(folder);
    Directory dir(UniqueFd(::open(prefix.c_str(), kOpenFolderFlags)));
    WildcardPattern pattern("*." + extension);
    std::uint64_t matches = 0;
    while (const dirent* entry = dir.Next()) {
        // "." and ".." are the folder and its parent, never files of it.
        if (IsDotOrDotDot(entry->d_name) || !pattern.Matches(entry->d_name))
            continue;
        list.push_back(prefix + entry->d_name);
        label.SetText(list.back());
        label.RepaintLabel();
        if (++matches % kContainerRepaintEvery == 0)
            label.RepaintContainer();
    }
}

bool FolderExists(const std::string& path)
{
    if (!IsUsablePath(path))
        return false;
    // stat, not a listing: a folder the user may not read still exists.
    FileStatus info{};
    return ::stat(WithSlash(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string StripExtension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot))
        return name;
    return name.substr(0, dot);
}

} // namespace DirTools

#include "scan/DirTools.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/IoError.h"
#include "base/LongPath.h"
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

// No folder there: no entry, no folder on the way, or a link that leads
// nowhere (dangling or looping).
bool MeansNoFolder(int err) { return err == ENOENT || err == ENOTDIR || err == ELOOP; }

// Running out of descriptors or memory says nothing about the folder at hand,
// and going on would quietly leave out everything below it.
bool IsOutOfResources(int err) { return err == EMFILE || err == ENFILE || err == ENOMEM; }

// A folder that could not be read: the end of the walk when resources ran
// out, else skipped and reported.
void FolderNotRead(ProgressLabel& label, const std::string& path, int err)
{
    if (IsOutOfResources(err)) {
        throw IoError(DescribeIoFailure("read folder", path, err));
    }
    label.FolderSkipped(path, err);
}

// One read of a folder's entries. Error() tells why the reading ended early
// (0 when it reached the end, or had no folder to read).
class Directory
{
public:
    explicit Directory(UniqueFd fd)
    {
        if (!fd.Valid()) {
            return;
        }
        m_dir = ::fdopendir(fd.Get());
        if (m_dir == nullptr) {
            m_error = errno;
        } else {
            static_cast<void>(fd.Release()); // closedir closes it now
        }
    }

    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    ~Directory()
    {
        if (m_dir != nullptr) {
            ::closedir(m_dir);
        }
    }

    const dirent* Next()
    {
        if (m_dir == nullptr) {
            return nullptr;
        }
        errno = 0;
        const dirent* entry = ::readdir(m_dir);
        if (entry == nullptr) {
            m_error = errno;
        }
        return entry;
    }

    int Error() const { return m_error; }

    bool Opened() const { return m_dir != nullptr; }

private:
    DIR* m_dir = nullptr;
    int m_error = 0;
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

// Folders are opened relative to the source folder, which stays open for the
// whole walk; every other folder is open only while its entries are read. So
// the walk holds a few descriptors at any depth, and paths of any length
// work.
struct Walk
{
    ProgressLabel& Label;
    std::vector<std::string>& List;
    int Source = -1;
    std::unordered_set<FolderId, FolderIdHash> Entered{};
    FolderListings* Listings = nullptr; // where the names read are kept
};

// An entry of a folder that may be a folder itself (or a link to one), and
// how many entries the folder listing had counted when it came.
struct Candidate
{
    std::string Name{};
    unsigned char Type = DT_UNKNOWN;
    std::uint64_t Position = 0;
};

struct FolderEntries
{
    std::vector<Candidate> Candidates{};
    std::uint64_t Count = 0; // "." and ".." included, hidden entries not
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
    while (result.size() > 1 && result.back() == '/' && result[result.size() - 2] == '/') {
        result.pop_back();
    }
    if (result.back() != '/') {
        result.push_back('/');
    }
    return result;
}

// A folder path as the folder list holds it: no final "/" except for "/".
std::string WithoutSlash(const std::string& prefix)
{
    return prefix.size() > 1 ? prefix.substr(0, prefix.size() - 1) : prefix;
}

// Whether the entry may be a file with one of inodes: a link or an entry of
// unknown type may be anything; a folder, device, pipe or socket is no file.
bool MayBeOneOf(const dirent& entry, const std::vector<ino_t>& inodes)
{
    switch (entry.d_type) {
    case DT_LNK:
    case DT_UNKNOWN:
        return !inodes.empty();
    case DT_REG:
        return std::find(inodes.begin(), inodes.end(), entry.d_ino) != inodes.end();
    default:
        return false;
    }
}

// All entries of the folder at once, so that it is closed again before the
// walk goes deeper. Only the entries that may be folders are kept, and where
// the walk keeps listings, every name but "." and "..".
FolderEntries ReadFolder(Walk& walk, UniqueFd folder, const std::string& path)
{
    FolderEntries entries;
    Directory dir(std::move(folder));
    std::string names;
    bool mayHoldWatched = false;
    while (const dirent* entry = dir.Next()) {
        const bool dots = IsDotOrDotDot(entry->d_name);
        if (walk.Listings != nullptr && !dots) {
            names.append(entry->d_name).push_back('\0');
            mayHoldWatched = mayHoldWatched || MayBeOneOf(*entry, walk.Listings->Watched());
        }
        // Hidden entries are not part of the listing at all, so they are not
        // counted either; "." and ".." are.
        if (entry->d_name[0] == '.' && !dots) {
            continue;
        }
        ++entries.Count;
        // Only entries whose type the listing leaves open (links, unknown)
        // cost a look-up beyond the folder's own.
        const unsigned char type = entry->d_type;
        if (!dots && (type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN)) {
            entries.Candidates.push_back({entry->d_name, type, entries.Count});
        }
    }
    if (dir.Error() != 0) {
        FolderNotRead(walk.Label, path, dir.Error());
    } else if (walk.Listings != nullptr && dir.Opened()) {
        walk.Listings->Keep(WithSlash(path), std::move(names), mayHoldWatched);
    }
    return entries;
}

// The container repaint after every 200th entry, for the entries up to
// position that have not had theirs yet.
void RepaintUpTo(ProgressLabel& label, std::uint64_t position, std::uint64_t& done)
{
    for (std::uint64_t n = done / kContainerRepaintEvery; n < position / kContainerRepaintEvery;
         ++n) {
        label.RepaintContainer();
    }
    done = std::max(done, position);
}

void CollectBelow(Walk& walk, UniqueFd folder, const std::string& prefix,
                  const std::string& relative, int depth);

// Lists and enters one entry of the folder prefix (relative to the source:
// relative) when it is a folder not yet entered in this walk.
void VisitEntry(Walk& walk, const Candidate& entry, const std::string& prefix,
                const std::string& relative, int depth)
{
    const std::string path = prefix + entry.Name;
    const std::string childRelative = relative + entry.Name;
    UniqueFd child;
    int openError = 0;
    if (depth > 0) {
        openError = LongPath::Open(walk.Source, childRelative, kOpenFolderFlags, child);
        if (IsOutOfResources(openError)) {
            FolderNotRead(walk.Label, path, openError);
        }
    }
    FileStatus info{};
    if (child.Valid()) {
        if (::fstat(child.Get(), &info) != 0) {
            throw IoError(DescribeIoFailure("read folder", path, errno));
        }
    } else if (const int statError = LongPath::Stat(walk.Source, childRelative, info);
               statError != 0) {
        // Not a folder, a dangling link, or gone since the listing. A folder
        // in a folder that may be listed but not searched cannot even be
        // looked at.
        if (!MeansNoFolder(statError) && (entry.Type == DT_DIR || IsOutOfResources(statError))) {
            FolderNotRead(walk.Label, path, statError);
        }
        return;
    } else if (!S_ISDIR(info.st_mode)) {
        return;
    }
    if (!walk.Entered.insert(FolderId{info.st_dev, info.st_ino}).second) {
        return;
    }
    walk.List.push_back(path);
    walk.Label.SetText(path);
    walk.Label.RepaintLabel();
    // A folder that cannot be read is listed but not entered.
    if (depth > 0 && !child.Valid()) {
        FolderNotRead(walk.Label, path, openError);
    }
    CollectBelow(walk, std::move(child), path + "/", childRelative + "/", depth);
}

// The folder is already open (or could not be read); prefix is its path with
// a final "/", relative its path from the source with a final "/" ("" for
// the source itself).
void CollectBelow(Walk& walk, UniqueFd folder, const std::string& prefix,
                  const std::string& relative, int depth)
{
    if (depth <= 0) {
        walk.Label.SetText("");
        walk.Label.RepaintContainer();
        return;
    }
    if (!folder.Valid()) {
        return;
    }
    const FolderEntries entries = ReadFolder(walk, std::move(folder), WithoutSlash(prefix));
    std::uint64_t repainted = 0;
    for (const Candidate& entry : entries.Candidates) {
        RepaintUpTo(walk.Label, entry.Position - 1, repainted);
        VisitEntry(walk, entry, prefix, relative, depth - 1);
        RepaintUpTo(walk.Label, entry.Position, repainted);
    }
    RepaintUpTo(walk.Label, entries.Count, repainted);
}

// Opens a folder given by its path for reading. A path that names no folder
// gives an invalid descriptor; so does a folder that cannot be read, which is
// reported.
UniqueFd OpenFolder(const std::string& prefix, ProgressLabel& label)
{
    UniqueFd folder;
    const int error = LongPath::Open(AT_FDCWD, prefix, kOpenFolderFlags, folder);
    if (error != 0 && !MeansNoFolder(error)) {
        FolderNotRead(label, WithoutSlash(prefix), error);
    }
    return folder;
}

} // namespace

namespace {

void CollectFolders(const std::string& folder, int depth, ProgressLabel& label,
                    std::vector<std::string>& list, FolderListings* listings)
{
    Walk walk{label, list};
    walk.Listings = listings;
    if (depth <= 0 || !IsUsablePath(folder)) {
        CollectBelow(walk, UniqueFd(), "", "", depth);
        return;
    }
    const std::string prefix = WithSlash(folder);
    const UniqueFd source = OpenFolder(prefix, label);
    if (!source.Valid()) {
        return;
    }
    walk.Source = source.Get();
    // The source counts as entered, so a link back up to it ends there.
    FileStatus info{};
    if (::fstat(source.Get(), &info) != 0) {
        throw IoError(DescribeIoFailure("read folder", WithoutSlash(prefix), errno));
    }
    walk.Entered.insert(FolderId{info.st_dev, info.st_ino});
    UniqueFd first(::openat(source.Get(), ".", kOpenFolderFlags));
    if (!first.Valid()) {
        FolderNotRead(label, WithoutSlash(prefix), errno);
    }
    CollectBelow(walk, std::move(first), prefix, "", depth);
}

// The entries of folder prefix that match the extension, from next (which
// gives one name after the other, nullptr at the end).
template <typename NextName>
void MatchFiles(const std::string& prefix, const std::string& extension, ProgressLabel& label,
                std::vector<std::string>& list, NextName&& next)
{
    WildcardPattern pattern("*." + extension);
    std::uint64_t matches = 0;
    std::string name;
    while (const char* entry = next()) {
        name.assign(entry);
        if (!pattern.Matches(name)) {
            continue;
        }
        list.push_back(prefix + name);
        label.SetText(list.back());
        label.RepaintLabel();
        if (++matches % kContainerRepaintEvery == 0) {
            label.RepaintContainer();
        }
    }
}

} // namespace

struct FolderListings::Names
{
    std::string Bytes{}; // every name followed by a NUL
    bool MayHoldWatched = true;
};

struct FolderListings::Table
{
    std::unordered_map<std::string, Names> ByPrefix{};
    std::vector<ino_t> Watched{};
};

FolderListings::FolderListings() : m_table(std::make_unique<Table>()) {}

FolderListings::~FolderListings() = default;

const FolderListings::Names* FolderListings::Find(const std::string& prefix) const
{
    const auto found = m_table->ByPrefix.find(prefix);
    return found == m_table->ByPrefix.end() ? nullptr : &found->second;
}

void FolderListings::Keep(const std::string& prefix, std::string names, bool mayHoldWatched)
{
    m_table->ByPrefix.insert_or_assign(
        prefix, Names{.Bytes = std::move(names), .MayHoldWatched = mayHoldWatched});
}

void FolderListings::Watch(std::vector<ino_t> inodes) { m_table->Watched = std::move(inodes); }

const std::vector<ino_t>& FolderListings::Watched() const { return m_table->Watched; }

bool FolderListings::MayHoldWatched(const std::string& folder) const
{
    if (!IsUsablePath(folder)) {
        return false;
    }
    const Names* names = Find(WithSlash(folder));
    return names == nullptr || names->MayHoldWatched;
}

void CollectFolders(const std::string& folder, int depth, ProgressLabel& label,
                    std::vector<std::string>& list)
{
    CollectFolders(folder, depth, label, list, nullptr);
}

void CollectFolders(const std::string& folder, int depth, ProgressLabel& label,
                    std::vector<std::string>& list, FolderListings& listings)
{
    CollectFolders(folder, depth, label, list, &listings);
}

void CollectFiles(const std::string& folder, const std::string& extension, ProgressLabel& label,
                  std::vector<std::string>& list)
{
    if (!IsUsablePath(folder)) {
        return;
    }
    const std::string prefix = WithSlash(folder);
    Directory dir(OpenFolder(prefix, label));
    MatchFiles(prefix, extension, label, list, [&]() -> const char* {
        // "." and ".." are the folder and its parent, never files of it.
        const dirent* entry = dir.Next();
        while (entry != nullptr && IsDotOrDotDot(entry->d_name)) {
            entry = dir.Next();
        }
        return entry == nullptr ? nullptr : entry->d_name;
    });
    if (dir.Error() != 0) {
        FolderNotRead(label, WithoutSlash(prefix), dir.Error());
    }
}

void CollectFiles(const std::string& folder, const std::string& extension, ProgressLabel& label,
                  std::vector<std::string>& list, const FolderListings& listings)
{
    if (!IsUsablePath(folder)) {
        return;
    }
    const std::string prefix = WithSlash(folder);
    const FolderListings::Names* names = listings.Find(prefix);
    if (names == nullptr) {
        CollectFiles(folder, extension, label, list);
        return;
    }
    std::size_t at = 0;
    MatchFiles(prefix, extension, label, list, [&]() -> const char* {
        if (at >= names->Bytes.size()) {
            return nullptr;
        }
        const char* name = names->Bytes.data() + at;
        at += std::strlen(name) + 1;
        return name;
    });
}

bool FolderExists(const std::string& path)
{
    if (!IsUsablePath(path)) {
        return false;
    }
    // stat, not a listing: a folder the user may not read still exists.
    FileStatus info{};
    return LongPath::Stat(AT_FDCWD, WithSlash(path), info) == 0 && S_ISDIR(info.st_mode);
}

std::string StripExtension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) {
        return name;
    }
    return name.substr(0, dot);
}

} // namespace DirTools

#pragma once

// The folder walk: the folders below a source folder and the files of one
// folder that match "*." + extension, plus the folder test and extension
// stripping. Paths use "/"; hidden means a leading "."; symlinked folders are
// followed but a folder (device, inode) is entered at most once per walk.
// Paths may be longer than PATH_MAX, and the walk holds a few descriptors
// whatever the depth. It never stops short in silence: running out of file
// descriptors or memory throws IoError naming the folder, and a folder that
// exists but cannot be read is reported to the label and skipped.

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace DirTools {

// Where the walk shows the path it just found: a label and the window that
// holds it. The report window and the command line implement it.
class ProgressLabel
{
public:
    virtual ~ProgressLabel() = default;
    virtual void SetText(const std::string& text) = 0;
    virtual void RepaintLabel() = 0;
    virtual void RepaintContainer() = 0;

    // A folder that exists but could not be read (error: the errno value);
    // the walk goes on without what it holds. Each operation that tries to
    // read the folder reports it, so a caller reading one folder several
    // times hears of it several times.
    virtual void FolderSkipped(const std::string& /*path*/, int /*error*/) {}
};

// A label that shows nothing, for callers without progress display.
class SilentProgressLabel final : public ProgressLabel
{
public:
    void SetText(const std::string&) override {}

    void RepaintLabel() override {}

    void RepaintContainer() override {}
};

// The entry names of the folders a walk read whole, kept so that
// CollectFiles need not read them again.
class FolderListings
{
public:
    FolderListings();
    ~FolderListings();
    FolderListings(const FolderListings&) = delete;
    FolderListings& operator=(const FolderListings&) = delete;

    struct Names;
    // The names of the folder whose path with one final "/" is prefix, or
    // nullptr when the walk did not read it whole.
    [[nodiscard]] const Names* Find(const std::string& prefix) const;
    // Keeps the names of the folder prefix (each followed by a NUL), and
    // whether an entry may be one of the watched files (see Watch).
    void Keep(const std::string& prefix, std::string names, bool mayHoldWatched);

    // The inode numbers of files a walk with these listings looks out for
    // (set before the walk).
    void Watch(std::vector<ino_t> inodes);
    [[nodiscard]] const std::vector<ino_t>& Watched() const;
    // False only when the walk read the folder whole and none of its entries
    // can be a watched file: each is a plain file (the listing says so) with
    // another inode number, or no file at all. Links and entries of unknown
    // type may be anything.
    [[nodiscard]] bool MayHoldWatched(const std::string& folder) const;

private:
    struct Table;
    std::unique_ptr<Table> m_table;
};

// Appends every non-hidden sub-folder down to depth levels, each folder
// before the folders inside it. depth 0 lists nothing and empties the label.
// Paths are folder + "/" + name without a final "/"; folders that cannot be
// read are listed but not entered (and reported); an empty folder text or a
// missing folder lists nothing. Throws IoError when descriptors or memory
// run out.
void CollectFolders(const std::string& folder, int depth, ProgressLabel& label,
                    std::vector<std::string>& list);
// The same, keeping in listings the names of every folder it reads whole
// (the source folder and every folder it enters).
void CollectFolders(const std::string& folder, int depth, ProgressLabel& label,
                    std::vector<std::string>& list, FolderListings& listings);

// Appends folder + "/" + name for every entry matching "*." + extension
// (wildcards in extension act as wildcards, letter case ignored). A folder
// that cannot be read is reported; errors as for CollectFolders.
void CollectFiles(const std::string& folder, const std::string& extension, ProgressLabel& label,
                  std::vector<std::string>& list);
// The same, taking the names from listings when the walk read the folder
// whole: the same matches in the same order, and the same label calls.
void CollectFiles(const std::string& folder, const std::string& extension, ProgressLabel& label,
                  std::vector<std::string>& list, const FolderListings& listings);

// True for an existing folder (also one the user may not read, or a link to
// a folder); false for an empty path, a file or a missing path.
[[nodiscard]] bool FolderExists(const std::string& path);

// "song.mp3" -> "song"; a dot inside a folder part does not count; ".hidden"
// gives "". Only "/" separates folders.
std::string StripExtension(const std::string& name);

// Windows-style pattern matching: "*" any run (dots included), "?" one
// character (not byte), letter case ignored (ASCII, Latin, Greek, Cyrillic).
// The whole pattern "*.*" matches every name, also one without a dot.
// Time is at most pattern length times name length.
[[nodiscard]] bool MatchesWildcard(const std::string& pattern, const std::string& name);

} // namespace DirTools

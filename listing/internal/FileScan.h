#pragma once

// The list job's reading of files: the files of the walk, the reading of one
// file into its row, and the results of all files in walk order, read by a
// pool of threads or on the calling thread. Not part of the listing
// library's interface.

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/MP3Tools.h"
#include "base/UniqueFd.h"
#include "listing/Columns.h"
#include "listing/RowSorter.h"
#include "listing/ScanCache.h"
#include "profiles/Profile.h"

namespace Parallel {
template <typename Result> class OrderedPipeline;
} // namespace Parallel

namespace Listing::Detail {

// The files of the walk in walk order, each as its folder (a path ending in
// "/") and its name. A folder's text is kept once for all of its files, so a
// large collection costs little more than its file names. One thread adds
// files; once it has published them, other threads may read them while it
// adds more, since nothing added ever moves.
class FileList
{
public:
    FileList();
    ~FileList();
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    // Adds the file at path, which ends in its name.
    void Add(const std::string& path);

    // The files added so far (for the adding thread).
    [[nodiscard]] std::int64_t Count() const { return m_count; }

    // The folder of file k (the same object for the files of one folder as
    // they were found) and its name (NUL-terminated).
    [[nodiscard]] const std::string& FolderOf(std::int64_t k) const { return *At(k).Folder; }

    [[nodiscard]] const char* NameOf(std::int64_t k) const { return At(k).Name; }

    // The whole path of file k, into path (whose buffer is reused).
    void PathInto(std::int64_t k, std::string& path) const;

private:
    struct Entry
    {
        const std::string* Folder = nullptr;
        const char* Name = nullptr;
    };

    // Entries live in blocks that double in size, so that none ever moves.
    static constexpr std::size_t kFirstBlock = 1024;
    static constexpr std::size_t kBlocks = 48;
    static constexpr std::size_t kNameBlock = 64 * 1024;

    // Where entry k lives: block b holds kFirstBlock << b entries, the first
    // of them entry kFirstBlock * (2^b - 1).
    struct Place
    {
        std::size_t Block = 0;
        std::size_t Offset = 0;
    };

    [[nodiscard]] static Place PlaceOf(std::int64_t k);

    [[nodiscard]] const Entry& At(std::int64_t k) const;

    std::array<std::unique_ptr<Entry[]>, kBlocks> m_entries{};
    std::deque<std::string> m_folders{};
    std::vector<std::unique_ptr<char[]>> m_names{};
    char* m_nameAt = nullptr;
    std::size_t m_nameRoom = 0;
    std::int64_t m_count = 0;
};

// What the scan cache knows, for the readers: the records of files and the
// sort keys of row texts (each null when the job has none).
struct CachedFacts
{
    const ScanCache::Snapshot* Records = nullptr;
    const ScanCache::KeyMemo* Keys = nullptr;
};

// What the readers learnt for the scan cache.
struct CacheNotes
{
    std::vector<ScanCache::Notes> Records{};
    std::vector<ScanCache::KeyNotes> Keys{};
};

// How rows are built, shared by every reader. Custom is fixed once
// CustomKnown is set.
struct RowPlan
{
    std::vector<Column> Columns{};
    RowFormat Format{};
    bool Sort = false;
    std::string CollationLocale{};
    std::string DecimalSeparator = "."; // of the sampling rate
    int Threads = 1;                    // the readers, which also settle ties of the sort
    std::string Custom{};
    std::atomic<bool> CustomKnown{false};
    Profiles::Analysis Analysis = Profiles::Analysis::Classic;
    // The scan cache's entries when the job uses it (null, or no future at
    // all, when it does not). They are loaded while the walk goes on, and a
    // reader waits for them before its first file. Files changed since
    // SettledBeforeNs are read but not remembered.
    std::shared_future<CachedFacts> Cache{};
    std::int64_t SettledBeforeNs = 0;
    // Where readers hand the records of the files they read; may be null.
    ScanCache::Builder* CacheBuilder = nullptr;
};

// Marks a sort key prefix that is still to be made.
inline constexpr std::uint8_t kNoSortPrefix = 0xFF;

// The records of a valid file whose row waits for the custom info.
struct FileRecords
{
    MP3Tools::AudioFileInfo Info{};
    MP3Tools::TagInfo Tag{};
};

// What reading one file gives the job. The row is built where the file was
// read, unless it shows custom info that is still to be asked for: then the
// records come back, and the row is built once the text is known.
struct FileResult
{
    RowCells Row{};
    SortKeyPrefix SortPrefix{}; // when the rows are sorted
    bool RowBuilt = false;
    bool Valid = false;
    bool Tagged = false;
    std::int64_t Bytes = 0;
    std::int64_t Seconds = 0;
    std::unique_ptr<FileRecords> Records{}; // when the row is not built
};

// One reader of files. It keeps the folder of the last file open, so that
// each file is opened by its name in that folder rather than by its whole
// path, and its buffers from file to file.
class FileReader
{
public:
    // Reader number (counted from 0) of files, to read as plan says.
    FileReader(const FileList& files, const RowPlan& plan, std::uint32_t number);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Probes file k (and reads its tag) with the plan's analysis, counts its bytes and seconds,
    // gives an untagged file its title and builds its row. Throws IoError when the file exists but
    // cannot be read, or memory runs out.
    void Read(std::int64_t k, FileResult& result);

    // What the reader used of the cache and read or made instead.
    [[nodiscard]] ScanCache::Notes& RecordNotes() { return m_notes; }

    [[nodiscard]] ScanCache::KeyNotes& KeyNotes() { return m_keyNotes; }

private:
    void ReadFile(std::int64_t k, FileResult& result);

    SortKeyMaker* Maker();
    // The sort key prefix of row's text, kept from an earlier job or made.
    SortKeyPrefix PrefixOf(const RowCells& row, SortKeyMaker& maker);

    // The scan cache's facts, once loaded.
    const CachedFacts& Cache();

    const FileList& m_files;
    const RowPlan& m_plan;
    const std::string* m_folder = nullptr;
    UniqueFd m_folderFd{};
    std::string m_path{};
    std::string m_text{};
    FileRecords m_records{};
    std::unique_ptr<SortKeyMaker> m_maker{};
    bool m_noMaker = false;
    ScanCache::Notes m_notes{};
    ScanCache::KeyNotes m_keyNotes{};
    std::shared_future<CachedFacts> m_cacheLoad{}; // this reader's own copy
    CachedFacts m_cache{};
    bool m_cacheKnown = false;
};

// The results of the files in walk order: read ahead by a pool of reader
// threads (which may start while the walk still finds files), or one after
// the other on the calling thread when there is one thread (or the system
// gives none).
class FileResults
{
public:
    FileResults(const FileList& files, const RowPlan& plan, int threads);
    ~FileResults();
    FileResults(const FileResults&) = delete;
    FileResults& operator=(const FileResults&) = delete;

    // The files found so far may be read now.
    void FilesFound();
    // The walk is over: no file comes after these.
    void WalkDone();

    // The result of file k; k counts up from 0. Throws what reading it threw.
    FileResult& Take(std::int64_t k);
    // Done with the result of file k.
    void Release(std::int64_t k);

    // Once every result is taken: ends the readers' threads and hands over
    // their cache notes.
    CacheNotes TakeCacheNotes();

private:
    const FileList& m_files;
    std::deque<FileReader> m_readers{};
    // Last, so that its threads are gone before what they use.
    std::unique_ptr<Parallel::OrderedPipeline<FileResult>> m_pool;
};

} // namespace Listing::Detail

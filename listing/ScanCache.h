#pragma once

// The scan cache: what reading a file gave (its probe and tag records),
// kept between jobs in $XDG_CACHE_HOME/sonorix/ and reused for a file only
// while its device, inode, size, modification and change times are all what
// they were. One cache file per analysis. The cache is a shortcut and never
// more: whatever goes wrong with it (a damaged file, another version, a lock
// held too long, a full disk) makes the job read every file as it would
// without it, and the job names the reason once as a warning. No Qt.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <type_traits>
#include <utility>
#include <vector>

#include "analysis/MP3Tools.h"
#include "listing/RowSorter.h"

namespace ScanCache {

// Bumped whenever the file layout or the meaning of a record changes.
inline constexpr std::uint32_t kFormatVersion = 2;

// A cache file that cannot be used: the reason, for the warning.
class CacheError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// What identifies a file's content without reading it.
struct FileKey
{
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0;
    friend bool operator==(const FileKey&, const FileKey&) = default;
};

static_assert(std::is_trivially_copyable_v<FileKey>);

// The key of a file's status (links followed); nothing for an entry that is
// not a regular file, which the cache never keeps.
std::optional<FileKey> KeyOf(const struct stat& status);

// What a cache file holds records of: the analysis and the program that made
// them, and the decimal separator their sampling-rate texts show.
struct Kind
{
    std::string Analysis{}; // "classic", "full"
    std::string DecimalSeparator = ".";
    std::string Program{}; // the version text of the program that wrote it
};

// The entries of one cache file, read whole. Read-only once made, so any
// number of threads may look files up in it at once.
class Notes;

class Snapshot
{
public:
    Snapshot();
    ~Snapshot();
    Snapshot(Snapshot&&) noexcept;
    Snapshot& operator=(Snapshot&&) noexcept;

    // The entries of a cache file's bytes. Throws CacheError when they are
    // not a whole cache file of this format, or hold records of another
    // analysis or program. Records of another decimal separator give an
    // empty snapshot: they are not wrong, only of no use to this job.
    static Snapshot Parse(std::string bytes, const Kind& kind);

    [[nodiscard]] std::size_t Size() const { return m_index.size(); }

    // The entry of key, or -1.
    [[nodiscard]] std::int64_t Find(const FileKey& key) const;

    // Which texts of a record Get gives: all of them, or those a list shows
    // (the others, such as the frame header's flags, are left empty).
    enum class Texts
    {
        All,
        Listed
    };

    // The records of entry index; info's FileName is left empty.
    void Get(std::int64_t index, MP3Tools::AudioFileInfo& info, MP3Tools::TagInfo& tag,
             Texts texts = Texts::All) const;

    [[nodiscard]] const FileKey& KeyAt(std::int64_t index) const;
    [[nodiscard]] const std::string& FolderAt(std::int64_t index) const;

private:
    friend class Builder;

    struct Entry
    {
        FileKey Key{};
        std::uint32_t Folder = 0;
        std::size_t Offset = 0; // of the records
    };

    std::string m_bytes{};
    std::vector<std::string_view> m_texts{};
    std::vector<std::string> m_folders{};
    std::vector<Entry> m_index{}; // by device and inode
};

// ---- Sort keys ----
//
// The first bytes of the sort key of each row's text, kept from job to job
// in a file of their own: a row whose text is what it was gets the key it
// had without asking the collator. A text is known by a 128-bit hash of it.
// The keys hold for one collation (the locale and the collator's version)
// and one program version; for any other they are not used.

struct TextHash
{
    std::uint64_t High = 0;
    std::uint64_t Low = 0;
    friend auto operator<=>(const TextHash&, const TextHash&) = default;
};

// The hash of text; texts hashed with different seeds (say, cells joined
// in different ways) hash apart.
TextHash HashText(std::string_view text, std::uint64_t seed = 0);

class KeyNotes;

class KeyMemo
{
public:
    // The keys in a keys file's bytes. Throws CacheError when they are not
    // a whole keys file of this format. Keys of another program or
    // collation give an empty memo.
    static KeyMemo Parse(const std::string& bytes, std::string_view program,
                         std::string_view collation);

    [[nodiscard]] std::size_t Size() const { return m_entries.size(); }

    // The entry of hash, or -1.
    [[nodiscard]] std::int64_t Find(const TextHash& hash) const;

    [[nodiscard]] const Listing::SortKeyPrefix& PrefixAt(std::int64_t index) const
    {
        return m_entries[static_cast<std::size_t>(index)].Prefix;
    }

    struct Entry
    {
        TextHash Hash{};
        Listing::SortKeyPrefix Prefix{};
    };

private:
    friend std::optional<std::string> EncodeKeys(const KeyMemo& memo, std::vector<KeyNotes>& notes,
                                                 std::vector<KeyMemo::Entry> made,
                                                 std::string_view program,
                                                 std::string_view collation);

    std::vector<Entry> m_entries{};       // by hash
    std::vector<std::uint32_t> m_slots{}; // entry + 1 (0: none) by the hash's low bits
};

class Builder;

// Bytes a reader packs for the builder, a chunk at a time.
struct Chunk
{
    std::unique_ptr<char[]> Bytes{};
    std::size_t Size = 0;
    std::size_t Capacity = 0;

    // Room for at least bytes more at the end: in this chunk if it has it,
    // else in a new one that takes its place, once full is called with it.
    template <typename OnFull> char* Room(std::size_t bytes, OnFull full)
    {
        if (Capacity - Size < bytes) {
            const std::size_t capacity = std::max(kSize, bytes);
            Chunk done = std::exchange(
                *this, Chunk{.Bytes = std::make_unique_for_overwrite<char[]>(capacity),
                             .Capacity = capacity});
            if (done.Size > 0) {
                full(std::move(done));
            }
        }
        return Bytes.get() + Size;
    }

    static constexpr std::size_t kSize = 64 * 1024;
};

// What one reader learnt in a job: the entries it used, and the records of
// the files it read, packed small.
class Notes
{
public:
    // Each full chunk of records goes to builder, as the notes numbered
    // source, instead of staying here: so the new cache file is mostly made
    // while the job still reads.
    void HandTo(Builder* builder, std::uint32_t source);

    // Entry index of the snapshot was used for a file in folder.
    void Used(std::int64_t index, const std::string& folder);
    // A file in folder was read.
    void Add(const FileKey& key, const std::string& folder, const MP3Tools::AudioFileInfo& info,
             const MP3Tools::TagInfo& tag);

private:
    friend class Builder;

    std::uint32_t FolderIndex(const std::string& folder);

    struct Use
    {
        std::int64_t Index = 0;
        std::uint32_t Folder = 0;
    };

    std::vector<Use> m_used{};
    std::vector<std::string> m_folders{};

    // Key, folder and records of each file read, packed into chunks: the
    // one being filled, and the full ones that no builder took.
    Chunk m_chunk{};
    std::vector<Chunk> m_full{};
    std::int64_t m_count = 0;
    Builder* m_builder = nullptr;
    std::uint32_t m_source = 0;
};

// Makes the bytes of the cache file that follows a job. Records of files
// read are handed over (by Notes, from any thread) while the job still
// reads, and Work encodes them on a thread of its own; Finish then only
// puts them in order. Work also hashes the texts of the sort keys that
// KeyNotes hand over, for TakeKeys.
class Builder
{
public:
    explicit Builder(Kind kind);
    ~Builder();
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    // Encodes what is handed over until Close; returns after that.
    void Work();
    // Nothing more is handed over.
    void Close();

    // As Encode; notes[i] are the notes numbered i. Once Work has returned,
    // or when it never ran.
    std::optional<std::string> Finish(const Snapshot& snapshot,
                                      const std::vector<const Notes*>& notes,
                                      const std::vector<std::string>& walked);

    // The sort keys of the texts handed over, with their hashes; once Work
    // has returned, or when it never ran.
    std::vector<KeyMemo::Entry> TakeKeys();

private:
    friend class Notes;
    friend class KeyNotes;
    void Hand(Chunk chunk, std::uint32_t source);
    // A chunk of texts whose keys were made, to hash with seed.
    void HandTexts(Chunk chunk, std::uint64_t seed);

    struct State;
    std::unique_ptr<State> m_state;
};

// What one reader did with the keys: the entries it used and the keys it
// made.
class KeyNotes
{
public:
    // The texts of keys made are hashed with seed; with a builder, on its
    // thread instead of the reader's.
    void HandTo(Builder* builder, std::uint64_t seed);

    // The seed of the texts' hashes.
    [[nodiscard]] std::uint64_t Seed() const { return m_seed; }

    void Used(std::int64_t index) { m_used.push_back(index); }

    // The key of the text whose hash is hash was made.
    void Add(const TextHash& hash, const Listing::SortKeyPrefix& prefix)
    {
        m_added.push_back(KeyMemo::Entry{.Hash = hash, .Prefix = prefix});
    }

    // The key of text was made; its hash is still to be taken.
    void AddText(std::string_view text, const Listing::SortKeyPrefix& prefix);

private:
    friend std::optional<std::string> EncodeKeys(const KeyMemo& memo, std::vector<KeyNotes>& notes,
                                                 std::vector<KeyMemo::Entry> made,
                                                 std::string_view program,
                                                 std::string_view collation);

    std::vector<std::int64_t> m_used{};
    std::vector<KeyMemo::Entry> m_added{};
    Chunk m_texts{}; // prefix and text of each key made, not hashed yet
    Builder* m_builder = nullptr;
    std::uint64_t m_seed = 0;
};

// The keys file that follows a job: the keys it used and made (in notes,
// and hashed elsewhere: made), and no others. Nullopt when it made none: the
// file it had still serves. Takes the keys made out of notes.
std::optional<std::string> EncodeKeys(const KeyMemo& memo, std::vector<KeyNotes>& notes,
                                      std::vector<KeyMemo::Entry> made, std::string_view program,
                                      std::string_view collation);

// The bytes of the cache file that follows a job: the files read or used in
// it, and the entries of snapshot in folders the job did not walk (walked
// holds folder paths, each ending in "/"). Nullopt when that is exactly
// what snapshot already holds.
std::optional<std::string> Encode(const Snapshot& snapshot, const std::vector<const Notes*>& notes,
                                  const std::vector<std::string>& walked, const Kind& kind);

// The cache file whose body is body: the header with the format version and
// the body's size and checksum before it. For tools that make cache files
// of their own (the fuzzer).
std::string Seal(std::string_view body);

// The cache folder: $XDG_CACHE_HOME/sonorix when that is an absolute path,
// else ~/.cache/sonorix. Throws CacheError when no home folder is known.
std::string CacheFolder();

// The cache file of one analysis in folder.
class Store
{
public:
    // The records of kind's analysis.
    Store(std::string folder, Kind kind);
    // Another file of the cache folder: name is its name there.
    Store(std::string folder, Kind kind, const std::string& name);

    [[nodiscard]] const std::string& Path() const { return m_path; }

    [[nodiscard]] const std::string& Folder() const { return m_folder; }

    [[nodiscard]] const Kind& KindOf() const { return m_kind; }

    // The entries stored now; none when there is no cache file yet. Throws
    // CacheError when the file cannot be read or used.
    Snapshot Load() const;

    // The file's bytes, as they are; none when there is no file. Throws
    // CacheError when it cannot be read.
    std::optional<std::string> Bytes() const;

    // Replaces the cache file with bytes, atomically, under a lock shared
    // with other runs. Throws CacheError when the lock stays held by another
    // run for more than a moment, or the file cannot be written; the old file
    // then stays as it was.
    void Save(const std::string& bytes) const;

private:
    std::string m_folder;
    Kind m_kind;
    std::string m_path;
};

// A change time this recent may still move without the clock showing it:
// such a file is read but not kept.
inline constexpr std::int64_t kSettleNs = 2'000'000'000;

// The time now on the clock file times use, in nanoseconds.
std::int64_t NowNs();

} // namespace ScanCache

#include "listing/internal/FileScan.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>

#include "analysis/FullAnalysis.h"
#include "base/IoError.h"
#include "base/LongPath.h"
#include "base/Parallel.h"
#include "base/Utf8.h"
#include "listing/TextConversion.h"
#include "scan/DirTools.h"

namespace Listing::Detail {

namespace {

// An untagged file's title is its file name without extension, in the
// classic analysis cut to the length of an ID3v1 title field.
constexpr std::size_t kUntaggedTitleLength = 30;

// Results read ahead of the calling thread, at most: enough to keep the
// readers busy while the walk goes on or the calling thread is held up.
constexpr std::size_t kResultWindow = 4096;

std::int64_t ParseCount(const std::string& text)
{
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

FileList::FileList() = default;

FileList::~FileList() = default;

void FileList::Add(const std::string& path)
{
    const std::size_t cut = path.rfind('/') + 1; // 0 without a "/"
    const std::string_view folder = std::string_view(path).substr(0, cut);
    const std::string_view name = std::string_view(path).substr(cut);
    if (m_folders.empty() || m_folders.back() != folder) {
        m_folders.emplace_back(folder);
    }
    // A NUL behind every name: the system takes it as it is.
    if (name.size() + 1 > m_nameRoom) {
        const std::size_t size = std::max(kNameBlock, name.size() + 1);
        m_names.push_back(std::make_unique<char[]>(size));
        m_nameAt = m_names.back().get();
        m_nameRoom = size;
    }
    std::memcpy(m_nameAt, name.data(), name.size());
    m_nameAt[name.size()] = '\0';

    const Place place = PlaceOf(m_count);
    std::unique_ptr<Entry[]>& entries = m_entries.at(place.Block);
    if (!entries) {
        entries = std::make_unique<Entry[]>(kFirstBlock << place.Block);
    }
    entries[place.Offset] = Entry{.Folder = &m_folders.back(), .Name = m_nameAt};
    m_nameAt += name.size() + 1;
    m_nameRoom -= name.size() + 1;
    ++m_count;
}

FileList::Place FileList::PlaceOf(std::int64_t k)
{
    const auto index = static_cast<std::size_t>(k);
    const auto block = static_cast<std::size_t>(std::bit_width(index / kFirstBlock + 1)) - 1;
    return Place{.Block = block, .Offset = index - kFirstBlock * ((std::size_t{1} << block) - 1)};
}

const FileList::Entry& FileList::At(std::int64_t k) const
{
    const Place place = PlaceOf(k);
    return m_entries[place.Block][place.Offset];
}

void FileList::PathInto(std::int64_t k, std::string& path) const
{
    const Entry& entry = At(k);
    path.assign(*entry.Folder).append(entry.Name);
}

FileReader::FileReader(const FileList& files, const RowPlan& plan, std::uint32_t number)
    : m_files(files), m_plan(plan), m_cacheLoad(plan.Cache)
{
    m_notes.HandTo(plan.CacheBuilder, number);
    // A row's text is hashed from its cells, so the hash is seeded with how
    // they are joined.
    m_keyNotes.HandTo(
        plan.CacheBuilder,
        ScanCache::HashText(plan.Format.Separator + "|" + std::to_string(plan.Format.NumberCells))
            .Low);
}

const CachedFacts& FileReader::Cache()
{
    if (!m_cacheKnown) {
        if (m_cacheLoad.valid()) {
            m_cache = m_cacheLoad.get();
        }
        m_cacheKnown = true;
    }
    return m_cache;
}

FileReader::~FileReader() = default;

void FileReader::Read(std::int64_t k, FileResult& result)
{
    try {
        ReadFile(k, result);
    } catch (const std::bad_alloc&) {
        m_files.PathInto(k, m_path);
        throw IoError(DescribeOutOfMemory("read", m_path));
    }
}

void FileReader::ReadFile(std::int64_t k, FileResult& result)
{
    m_files.PathInto(k, m_path);
    const std::string& folder = m_files.FolderOf(k);
    if (&folder != m_folder) {
        // A folder that cannot be opened leaves the file to be opened by its
        // whole path, which fails or succeeds as it always did.
        m_folderFd = UniqueFd();
        static_cast<void>(LongPath::Open(AT_FDCWD, folder, LongPath::kFolderFlags, m_folderFd));
        m_folder = &folder;
    }
    MP3Tools::AudioFileInfo& info = m_records.Info;
    MP3Tools::TagInfo& tag = m_records.Tag;
    const bool full = m_plan.Analysis == Profiles::Analysis::Full;
    const bool inFolder = m_folderFd.Valid() && !folder.empty();
    // A file whose identity and times are what the cache knows holds what it
    // held: one stat instead of its reads. Anything else is read. An empty
    // cache knows no file, so nothing is looked up.
    const ScanCache::Snapshot* cache = Cache().Records;
    std::optional<ScanCache::FileKey> key;
    if (cache != nullptr && cache->Size() > 0) {
        struct stat status = {};
        if ((inFolder ? ::fstatat(m_folderFd.Get(), m_files.NameOf(k), &status, 0)
                      : LongPath::Stat(AT_FDCWD, m_path, status)) == 0) {
            key = ScanCache::KeyOf(status);
        }
    }
    if (const std::int64_t entry = key ? cache->Find(*key) : -1; entry >= 0) {
        cache->Get(entry, info, tag, ScanCache::Snapshot::Texts::Listed);
        info.FileName = m_path;
        m_notes.Used(entry, folder);
    } else {
        if (full) {
            FullAnalysis::ProbeFile(info, tag, inFolder ? m_folderFd.Get() : -1, m_files.NameOf(k),
                                    m_path, m_plan.DecimalSeparator);
        } else if (inFolder) {
            MP3Tools::ProbeAudioFileAndTagIn(info, tag, m_folderFd.Get(), m_files.NameOf(k), m_path,
                                             m_plan.DecimalSeparator);
        } else {
            MP3Tools::ProbeAudioFileAndTag(info, tag, m_path, m_plan.DecimalSeparator);
        }
        // Remembered under the status of the file the probe opened, which
        // is what was read even if the entry changed since the stat above.
        // A change this recent could be followed by another within the same
        // clock tick, which the times would not show: such files wait for a
        // later job. Errors never get here.
        struct stat opened = {};
        if (cache != nullptr && MP3Tools::LastOpenedFileStatus(opened)) {
            const std::optional<ScanCache::FileKey> read = ScanCache::KeyOf(opened);
            if (read && read->ChangedNs < m_plan.SettledBeforeNs) {
                m_notes.Add(*read, folder, info, tag);
            }
        }
    }
    result.Valid = info.Valid;
    result.Tagged = tag.Tagged;
    result.Bytes = 0;
    result.Seconds = 0;
    if (info.Valid) {
        result.Bytes = ParseCount(info.FileSize);
        result.Seconds = ParseCount(info.DurationSeconds);
        // Full analysis gives every file a title, and shows whole titles, so
        // it does not cut the name.
        if (!tag.Tagged || (full && tag.Title.empty())) {
            tag.Title = DirTools::StripExtension(FileNamePart(info.FileName));
            if (!full) {
                tag.Title = Utf8::Cut(tag.Title, kUntaggedTitleLength);
            }
        }
    }
    // An invalid file's row shows no custom info.
    const bool customKnown = m_plan.CustomKnown.load(std::memory_order_acquire);
    result.RowBuilt = !info.Valid || customKnown;
    if (!result.RowBuilt) {
        result.Records = std::make_unique<FileRecords>(m_records);
        return;
    }
    static const std::string kNone;
    result.Row =
        BuildRow(info, tag, m_plan.Columns, m_plan.Format, customKnown ? m_plan.Custom : kNone);
    result.SortPrefix.Length = kNoSortPrefix;
    if (m_plan.Sort) {
        if (SortKeyMaker* maker = Maker()) {
            result.SortPrefix = PrefixOf(result.Row, *maker);
        }
    }
}

SortKeyPrefix FileReader::PrefixOf(const RowCells& row, SortKeyMaker& maker)
{
    // The collator takes most of a cached file's time; a row whose text was
    // listed before has the key it had. Its text is known by its cells and
    // how they are joined, which is cheaper than joining them.
    const ScanCache::KeyMemo* keys = Cache().Keys;
    std::optional<ScanCache::TextHash> hash;
    if (keys != nullptr && keys->Size() > 0) {
        hash = ScanCache::HashText(row.Packed(), m_keyNotes.Seed());
        if (const std::int64_t entry = keys->Find(*hash); entry >= 0) {
            m_keyNotes.Used(entry);
            return keys->PrefixAt(entry);
        }
    }
    row.JoinInto(m_text, m_plan.Format.Separator, m_plan.Format.NumberCells);
    const SortKeyPrefix prefix = maker.Prefix(m_text);
    if (hash) {
        m_keyNotes.Add(*hash, prefix);
    } else if (keys != nullptr) {
        // Nothing kept to look it up in (the first sorted list, or another
        // collation): hashed beside the job instead.
        m_keyNotes.AddText(row.Packed(), prefix);
    }
    return prefix;
}

// The reader's own collator, made on first use. Without one (ICU has none
// for the locale) the prefixes are left to the end of the job, which then
// reports why the list cannot be sorted.
SortKeyMaker* FileReader::Maker()
{
    if (!m_maker && !m_noMaker) {
        try {
            m_maker = std::make_unique<SortKeyMaker>(m_plan.CollationLocale);
        } catch (const IoError&) {
            m_noMaker = true;
        }
    }
    return m_maker.get();
}

FileResults::FileResults(const FileList& files, const RowPlan& plan, int threads) : m_files(files)
{
    for (int i = 0; i < std::max(threads, 1); ++i) {
        m_readers.emplace_back(files, plan, static_cast<std::uint32_t>(i));
    }
    // One thread reads on the calling thread, one file at a time.
    m_pool = std::make_unique<Parallel::OrderedPipeline<FileResult>>(
        threads, threads > 1 ? kResultWindow : 1,
        [this](int worker, std::int64_t k, FileResult& result) {
            m_readers[static_cast<std::size_t>(worker)].Read(k, result);
        });
}

FileResults::~FileResults() = default;

void FileResults::FilesFound() { m_pool->MakeAvailable(m_files.Count()); }

void FileResults::WalkDone()
{
    m_pool->MakeAvailable(m_files.Count());
    m_pool->Close();
}

FileResult& FileResults::Take(std::int64_t k) { return m_pool->Take(k); }

void FileResults::Release(std::int64_t k) { m_pool->Release(k); }

CacheNotes FileResults::TakeCacheNotes()
{
    m_pool.reset();
    CacheNotes notes;
    for (FileReader& reader : m_readers) {
        notes.Records.push_back(std::move(reader.RecordNotes()));
        notes.Keys.push_back(std::move(reader.KeyNotes()));
    }
    return notes;
}

} // namespace Listing::Detail

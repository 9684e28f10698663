#include "listing/ListJob.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <future>
#include <new>
#include <optional>
#include <ostream>
#include <sched.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "analysis/MP3Tools.h"
#include "base/IoError.h"
#include "base/LongPath.h"
#include "base/SignalCleanup.h"
#include "base/UniqueFd.h"
#include "base/Utf8.h"
#include "base/Version.h"
#include "listing/Columns.h"
#include "listing/JsonWriter.h"
#include "listing/ListWriter.h"
#include "listing/RowSorter.h"
#include "listing/ScanCache.h"
#include "listing/TextConversion.h"
#include "listing/internal/FileScan.h"

namespace Listing {

namespace {

using Detail::CachedFacts;
using Detail::CacheNotes;
using Detail::FileList;
using Detail::FileRecords;
using Detail::FileResult;
using Detail::FileResults;
using Detail::kNoSortPrefix;
using Detail::RowPlan;

constexpr int kWalkDepth = 99;
// The default number of reader threads stays within these.
constexpr int kMinDefaultReaders = 4;
constexpr int kMaxDefaultReaders = 16;

// The numbered name the running job holds, for the signal handler.
std::optional<SignalCleanup::Registration>& HeldName()
{
    static std::optional<SignalCleanup::Registration> held;
    return held;
}

bool EntryExists(const std::string& path)
{
    struct stat status = {};
    return LongPath::Stat(AT_FDCWD, path, status, AT_SYMLINK_NOFOLLOW) == 0;
}

// Removes the reserved file when it is still the one this job made: the name
// may have been taken over since. Its folder is opened first, so a name
// reserved in a folder of any path length goes too.
void RemoveReservedFile(const ReservedOutput& reserved)
{
    const std::size_t cut = reserved.Path.rfind('/') + 1; // 0 without a "/"
    UniqueFd folder;
    if (LongPath::Open(AT_FDCWD, cut == 0 ? std::string(".") : reserved.Path.substr(0, cut),
                       LongPath::kFolderFlags, folder) != 0) {
        return;
    }
    const std::string name = reserved.Path.substr(cut);
    struct stat status = {};
    if (::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        static_cast<std::uint64_t>(status.st_dev) == reserved.Device &&
        static_cast<std::uint64_t>(status.st_ino) == reserved.Inode) {
        ::unlinkat(folder.Get(), name.c_str(), 0);
    }
}

// The extension an output name without one gets.
std::string_view OutputExtension(const ListJobInput& input)
{
    return input.Json ? kJsonExtension : Profiles::FactsOf(input.Profile.ListFormat).Extension;
}

// Takes path for this job when no entry has that name yet, by creating it as
// an empty file in one step; false when the name is taken. Where the folder
// takes no new file the name is only checked, and the list's own writing
// reports the reason later.
bool ReserveName(const std::string& path, ReservedOutput& reserved)
{
    // Registered before it exists, so that a signal at any moment takes it
    // along (a name too long for the handler's place is not).
    const SignalCleanup::HoldBack heldBack;
    HeldName().reset();
    HeldName().emplace(AT_FDCWD, path.c_str());
    // A handler that began before the registration may have looked already.
    if (SignalCleanup::Ending()) {
        HeldName().reset();
        throw IoError(DescribeIoFailure("open", path, EINTR));
    }
    UniqueFd file;
    const int error =
        LongPath::Open(AT_FDCWD, path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, file, 0666);
    struct stat status = {};
    if (error != 0 || ::fstat(file.Get(), &status) != 0) {
        HeldName().reset();
        return error != EEXIST && !EntryExists(path);
    }
    reserved = ReservedOutput{.Path = path,
                              .Device = static_cast<std::uint64_t>(status.st_dev),
                              .Inode = static_cast<std::uint64_t>(status.st_ino)};
    if (!HeldName()->Identify(status.st_dev, status.st_ino)) {
        // A signal is ending the program; its handler may have looked before
        // the file was there.
        ReleaseReservedOutput(reserved);
        throw IoError(DescribeIoFailure("open", path, EINTR));
    }
    return true;
}

// The report as the walk sees it. The walk reads every folder once per
// extension; a folder that cannot be read is named once per job.
class WalkReport final : public DirTools::ProgressLabel
{
public:
    explicit WalkReport(ListReport& report) : m_report(report) {}

    void SetText(const std::string& text) override { m_report.SetText(text); }

    void RepaintLabel() override { m_report.RepaintLabel(); }

    void RepaintContainer() override { m_report.RepaintContainer(); }

    void FolderSkipped(const std::string& path, int error) override
    {
        if (m_skipped.insert(path).second) {
            m_report.FolderSkipped(path, error);
        }
    }

private:
    ListReport& m_report;
    std::unordered_set<std::string> m_skipped{};
};

// trunc(part / whole * 100) on the exact quotient.
int Percent(std::int64_t part, std::int64_t whole)
{
    return whole <= 0 ? 0 : static_cast<int>(part * 100 / whole);
}

void SetLabel(ListReport& report, ReportLabel label, std::int64_t value)
{
    report.SetLabelText(label, std::to_string(value));
}

// A file as the system knows it, whatever name or link leads to it.
struct FileIdentity
{
    dev_t Device = 0;
    ino_t Inode = 0;
};

// The files the job writes: its reserved name and what the output names now
// (the list it replaces or appends to, through any link). None of them is a
// row of the list, under whatever name the walk finds it.
std::vector<FileIdentity> OwnOutput(const ListJobInput& input)
{
    std::vector<FileIdentity> own;
    if (!input.Reserved.Path.empty()) {
        own.push_back(FileIdentity{.Device = static_cast<dev_t>(input.Reserved.Device),
                                   .Inode = static_cast<ino_t>(input.Reserved.Inode)});
    }
    struct stat status = {};
    if (input.Stream == nullptr && !input.Output.empty() &&
        LongPath::Stat(AT_FDCWD, input.Output, status) == 0) {
        own.push_back(FileIdentity{.Device = status.st_dev, .Inode = status.st_ino});
    }
    return own;
}

// Drops from found (the matches of one folder) every file that is one of own.
// Where the walk's listing shows that none of the folder's entries can be,
// no file is looked up again.
void DropOwnOutput(const std::string& folder, const std::vector<FileIdentity>& own,
                   const DirTools::FolderListings& listings, std::vector<std::string>& found)
{
    if (own.empty() || found.empty()) {
        return;
    }
    if (!listings.MayHoldWatched(folder)) {
        return;
    }
    UniqueFd opened;
    const bool open = LongPath::Open(AT_FDCWD, folder, LongPath::kFolderFlags, opened) == 0;
    std::erase_if(found, [&](const std::string& path) {
        struct stat status = {};
        // Links followed: a link to the list is the list.
        const bool known =
            open ? ::fstatat(opened.Get(), path.c_str() + (path.rfind('/') + 1), &status, 0) == 0
                 : LongPath::Stat(AT_FDCWD, path, status) == 0;
        return known && std::any_of(own.begin(), own.end(), [&](const FileIdentity& file) {
                   return file.Device == status.st_dev && file.Inode == status.st_ino;
               });
    });
}

// The report reset, the folder walk and, extension by extension in the
// profile's order, the matches of the source folder and then of every
// sub-folder in walk order, into files. The readers may start on every
// folder's files as soon as they are found. The job's own output is left out.
void CollectAllFiles(const ListJobInput& input, ListReport& report, FileList& files,
                     FileResults& results, std::vector<std::string>& walked)
{
    report.SetLabelText(ReportLabel::Status, "Scanning for directories...");
    report.SetProgressBar(0);
    for (const ReportLabel label : {ReportLabel::Bytes, ReportLabel::Files, ReportLabel::Minutes,
                                    ReportLabel::Untagged, ReportLabel::Invalid}) {
        report.SetLabelText(label, "-");
    }
    report.RepaintWindow();

    // Every folder is read once: the file names of the folders the walk
    // reads are kept for the matching below.
    std::vector<std::string> folders;
    WalkReport walk(report);
    DirTools::FolderListings listings;
    const std::vector<FileIdentity> own = OwnOutput(input);
    std::vector<ino_t> ownInodes;
    for (const FileIdentity& file : own) {
        ownInodes.push_back(file.Inode);
    }
    listings.Watch(std::move(ownInodes));
    DirTools::CollectFolders(input.Source, input.IncludeSubdirectories ? kWalkDepth : 0, walk,
                             folders, listings);

    std::vector<std::string> found;
    const auto collect = [&](const std::string& folder, const std::string& extension) {
        found.clear();
        DirTools::CollectFiles(folder, extension, walk, found, listings);
        DropOwnOutput(folder, own, listings, found);
        for (const std::string& path : found) {
            files.Add(path);
        }
        if (!found.empty()) {
            results.FilesFound();
        }
    };
    const std::vector<std::string> extensions = input.Profile.Extensions;
    const auto extensionCount = static_cast<std::int64_t>(extensions.size());
    for (std::int64_t i = 0; i < extensionCount; ++i) {
        const std::string& extension = extensions[static_cast<std::size_t>(i)];
        report.SetLabelText(ReportLabel::Status, "Scanning for " + extension + "-files...");
        SetLabel(report, ReportLabel::Files, static_cast<std::int64_t>(folders.size()));
        report.SetProgressBar(Percent(i + 1, extensionCount));
        report.RepaintWindow();
        collect(input.Source, extension);
        for (const std::string& folder : folders) {
            collect(folder, extension);
        }
    }
    results.WalkDone();
    walked = std::move(folders);
    walked.push_back(input.Source);
}

// For a thread that works in memory alone: it gives up the descriptor table
// it shares with the others. While a table has a single user, the kernel
// spares every read, stat and close of the readers two atomic operations on
// the file, which a list of many small files notices. A refusal changes
// nothing but that.
void LeaveSharedFileTable() { static_cast<void>(::unshare(CLONE_FILES)); }

// The scan cache of one job: loaded while the folders are walked, saved once
// the list is written. Whatever fails with it is named once and changes
// nothing else: the files are then read as without it.
class JobCache
{
public:
    // sortLocale: the collation locale of a sorted list, whose rows' sort
    // keys are kept too; null for a list in folder order.
    JobCache(bool use, Profiles::Analysis analysis, const std::string& decimalSeparator,
             const std::string* sortLocale, ListReport& report)
        : m_report(report)
    {
        if (!use) {
            return;
        }
        try {
            m_store.emplace(ScanCache::CacheFolder(),
                            ScanCache::Kind{.Analysis = std::string(Profiles::WordOf(analysis)),
                                            .DecimalSeparator = decimalSeparator,
                                            .Program = VersionText()});
        } catch (const std::exception& error) {
            Warn("not used", error.what(), {});
            return;
        }
        if (sortLocale != nullptr) {
            m_sortLocale = *sortLocale;
            m_keysStore.emplace(m_store->Folder(), m_store->KindOf(), "sort-keys.cache");
        }
        m_usable = true;
        m_builder.emplace(m_store->KindOf());
        m_loaded = m_promise.get_future().share();
        // Read and checked beside the walk, which needs none of it; the
        // readers wait for it before their first file.
        try {
            m_loader = std::thread([this] { Load(); });
        } catch (const std::system_error&) {
            Load();
        }
        // The records of the files read are encoded while the job reads, and
        // the new cache file is finished beside the sort and the write of the
        // list, which need none of it.
        try {
            m_encoder = std::thread([this] {
                LeaveSharedFileTable();
                m_builder->Work();
                if (m_finishing) {
                    EncodeNow();
                }
            });
        } catch (const std::system_error&) {
            // Made by Save instead, from what the readers kept.
        }
    }

    ~JobCache()
    {
        if (m_loader.joinable()) {
            m_loader.join();
        }
        if (m_encoder.joinable()) {
            // A job that ends early still ends the encoder's wait.
            m_builder->Close();
            m_encoder.join();
        }
    }

    JobCache(const JobCache&) = delete;
    JobCache& operator=(const JobCache&) = delete;

    // The entries for the readers, once loaded; no future without a cache.
    [[nodiscard]] std::shared_future<CachedFacts> Facts() const { return m_loaded; }

    // Where the readers hand the records of the files they read while the
    // job goes on; null when they keep them to the end.
    [[nodiscard]] ScanCache::Builder* Builder()
    {
        return m_encoder.joinable() ? &*m_builder : nullptr;
    }

    // Waits for the entries, and names what kept the cache file from being
    // used.
    void WaitLoaded()
    {
        if (m_loader.joinable()) {
            m_loader.join();
        }
        if (!m_loadError.empty()) {
            Warn("not used", m_loadError, m_loadErrorPath);
            m_loadError.clear();
        }
    }

    // Lets the new cache files be finished from what this job read and made.
    void Encode(CacheNotes notes, std::vector<std::string> walked)
    {
        WaitLoaded();
        if (!m_usable) {
            return;
        }
        m_notes = std::move(notes.Records);
        m_keyNotes = std::move(notes.Keys);
        m_walked = std::move(walked);
        m_finishing = true; // seen by the encoder once Work returns
        if (m_encoder.joinable()) {
            m_builder->Close();
        }
    }

    // Writes the cache file once the list is written: the cache never delays
    // or fails the list.
    void Save()
    {
        if (!m_usable) {
            return;
        }
        if (m_encoder.joinable()) {
            m_encoder.join();
        } else {
            EncodeNow();
        }
        try {
            if (m_encodeError) {
                std::rethrow_exception(m_encodeError);
            }
            if (m_encoded) {
                m_store->Save(*m_encoded);
            }
        } catch (const std::exception& error) {
            Warn("not updated", error.what(), m_store->Path());
            return;
        }
        try {
            if (m_encodedKeys) {
                m_keysStore->Save(*m_encodedKeys);
            }
        } catch (const std::exception& error) {
            Warn("not updated", error.what(), m_keysStore->Path());
        }
    }

private:
    // One warning a job at most, naming the cache file at path (if any).
    void Warn(const std::string& what, const std::string& reason, const std::string& path)
    {
        if (!m_warned) {
            m_warned = true;
            const std::string named = path.empty() ? std::string() : " '" + path + "'";
            m_report.CacheWarning("scan cache" + named + " " + what + ": " + reason);
        }
    }

    // On the loader's thread: an unusable file leaves the snapshot empty,
    // and the cache is rebuilt from this job's files when it can be written.
    void Load()
    {
        try {
            m_snapshot = m_store->Load();
        } catch (const std::exception& error) {
            m_snapshot = ScanCache::Snapshot();
            m_loadError = error.what();
            m_loadErrorPath = m_store->Path();
        }
        if (m_keysStore) {
            LoadKeys();
        }
        m_promise.set_value(
            CachedFacts{.Records = &m_snapshot, .Keys = m_keysStore ? &m_keys : nullptr});
    }

    // The sort keys kept for this collation; without a collator (the list
    // then fails to sort anyway) none are kept.
    void LoadKeys()
    {
        try {
            m_collation = SortKeyMaker(m_sortLocale).Identity();
        } catch (const IoError&) {
            m_keysStore.reset();
            return;
        }
        try {
            if (const std::optional<std::string> bytes = m_keysStore->Bytes()) {
                m_keys =
                    ScanCache::KeyMemo::Parse(*bytes, m_keysStore->KindOf().Program, m_collation);
            }
        } catch (const std::exception& error) {
            m_keys = ScanCache::KeyMemo();
            if (m_loadError.empty()) {
                m_loadError = error.what();
                m_loadErrorPath = m_keysStore->Path();
            }
        }
    }

    // The new cache file's bytes (none when nothing changed), or what kept
    // them from being made.
    void EncodeNow()
    {
        try {
            std::vector<const ScanCache::Notes*> all;
            for (const ScanCache::Notes& note : m_notes) {
                all.push_back(&note);
            }
            m_encoded = m_builder->Finish(m_snapshot, all, m_walked);
            if (m_keysStore) {
                m_encodedKeys = ScanCache::EncodeKeys(m_keys, m_keyNotes, m_builder->TakeKeys(),
                                                      m_keysStore->KindOf().Program, m_collation);
            }
        } catch (...) {
            m_encodeError = std::current_exception();
        }
    }

    ListReport& m_report;
    std::optional<ScanCache::Store> m_store{};
    ScanCache::Snapshot m_snapshot{};
    std::optional<ScanCache::Store> m_keysStore{};
    std::string m_sortLocale{};
    std::string m_collation{};
    ScanCache::KeyMemo m_keys{};
    std::string m_loadError{};
    std::string m_loadErrorPath{};
    std::promise<CachedFacts> m_promise{};
    std::shared_future<CachedFacts> m_loaded{};
    std::thread m_loader{};
    std::vector<ScanCache::Notes> m_notes{};
    std::vector<ScanCache::KeyNotes> m_keyNotes{};
    std::vector<std::string> m_walked{};
    std::optional<ScanCache::Builder> m_builder{};
    std::optional<std::string> m_encoded{};
    std::optional<std::string> m_encodedKeys{};
    std::exception_ptr m_encodeError{};
    std::thread m_encoder{};
    bool m_usable = false;
    bool m_warned = false;
    bool m_finishing = false;
};

// Shows the running figures before file k: for the first and the last file,
// and otherwise at most once per interval, so a large list spends its time on
// the files rather than on the labels.
class ScanReport
{
public:
    ScanReport(ListReport& report, std::int64_t count) : m_report(report), m_count(count) {}

    // Whether file k is shown; when it is, the labels with the totals before it.
    bool Before(std::int64_t k, const ListJobTotals& totals)
    {
        // The clock is asked only every few files.
        m_showing = k == 0 || k + 1 == m_count;
        if (!m_showing && k % kClockEvery == 0) {
            m_showing = std::chrono::steady_clock::now() - m_shown >= kInterval;
        }
        if (!m_showing) {
            return false;
        }
        m_shown = std::chrono::steady_clock::now();
        SetLabel(m_report, ReportLabel::Files, k);
        SetLabel(m_report, ReportLabel::Bytes, totals.TotalBytes);
        SetLabel(m_report, ReportLabel::Untagged, totals.UntaggedCount);
        SetLabel(m_report, ReportLabel::Invalid, totals.InvalidCount);
        for (const ReportLabel label : {ReportLabel::Files, ReportLabel::Bytes,
                                        ReportLabel::Untagged, ReportLabel::Invalid}) {
            m_report.RepaintReportLabel(label);
        }
        m_report.SetLabelText(ReportLabel::Minutes, MP3Tools::FormatDuration(totals.TotalSeconds));
        m_report.RepaintReportLabel(ReportLabel::Minutes);
        return true;
    }

    // After the valid file k of files: its path and the bar, when it is
    // shown.
    void AfterValid(std::int64_t k, const FileList& files)
    {
        if (m_showing) {
            files.PathInto(k, m_path);
            m_report.SetText(m_path);
            m_report.RepaintLabel();
            m_report.SetProgressBar(Percent(k, m_count));
        }
    }

private:
    static constexpr std::chrono::milliseconds kInterval{40};
    static constexpr std::int64_t kClockEvery = 16;

    ListReport& m_report;
    std::int64_t m_count;
    std::string m_path{};
    std::chrono::steady_clock::time_point m_shown{};
    bool m_showing = false;
};

struct ScannedRows
{
    std::vector<RowCells> Rows{};
    std::vector<SortEntry> SortEntries{}; // when the rows are sorted
};

// Every file in walk order: the running figures, its result and its share of
// the totals, the custom-info prompt with the first valid file when it is to
// be asked for (on this thread, before any row that shows the text is
// built), and its row. The first file that cannot be read, in walk order,
// ends the job with its error.
ScannedRows ScanFiles(const FileList& files, FileResults& results, RowPlan& plan, bool askForCustom,
                      ListJobTotals& totals, Profiles::Profile& profile, ListReport& report,
                      Dialogs& dialogs)
{
    const std::int64_t count = files.Count();
    ScannedRows scanned;
    std::vector<RowCells>& rows = scanned.Rows;
    rows.reserve(static_cast<std::size_t>(count));
    if (plan.Sort) {
        scanned.SortEntries.reserve(static_cast<std::size_t>(count));
    }
    ScanReport shown(report, count);
    for (std::int64_t k = 0; k < count; ++k) {
        shown.Before(k, totals);
        FileResult& result = results.Take(k);
        if (!result.Valid) {
            ++totals.InvalidCount;
        } else {
            totals.TotalBytes += result.Bytes;
            totals.TotalSeconds += result.Seconds;
            if (!result.Tagged) {
                ++totals.UntaggedCount;
            }
            if (askForCustom) {
                if (std::optional<std::string> entry =
                        dialogs.InputBox(kCustomInfoBoxCaption, kCustomInfoPrompt, "")) {
                    profile.Custom = std::move(*entry);
                }
                askForCustom = false;
                report.RepaintWindow();
                plan.Custom = profile.Custom;
                plan.CustomKnown.store(true, std::memory_order_release);
            }
        }
        if (!result.RowBuilt) {
            const FileRecords& records = *result.Records;
            result.Row =
                BuildRow(records.Info, records.Tag, plan.Columns, plan.Format, plan.Custom);
            result.Records.reset();
            result.SortPrefix.Length = kNoSortPrefix; // made at the end
        }
        if (plan.Sort) {
            scanned.SortEntries.push_back(
                SortEntry{.Prefix = result.SortPrefix, .Index = static_cast<std::size_t>(k)});
        }
        rows.push_back(std::move(result.Row));
        if (result.Valid) {
            shown.AfterValid(k, files);
        }
        results.Release(k);
    }
    return scanned;
}

// The final figures on the report, the optional sort and the written list.
void FinishList(const ListJobTotals& totals, const std::vector<std::string>& captions,
                const RowPlan& plan, ScannedRows scanned, const ListJobInput& input,
                ListReport& report)
{
    const RowFormat& format = plan.Format;
    const Profiles::Profile& profile = input.Profile;
    report.SetLabelText(ReportLabel::Status, "Creating list...");
    report.SetProgressBar(0);
    ListContent content;
    content.Format = format;
    content.Threads = plan.Threads;
    content.HeaderRow = BuildHeaderRow(captions, format);
    content.Summary = ListSummary{
        .FileCount = totals.FileCount,
        .UntaggedCount = totals.UntaggedCount,
        .BytesText = GroupThousands(std::to_string(totals.TotalBytes)),
        .LengthText = MP3Tools::FormatDuration(totals.TotalSeconds),
        .AverageText = MP3Tools::FormatDuration(totals.TotalSeconds / totals.FileCount)};
    SetLabel(report, ReportLabel::Files, totals.FileCount);
    report.SetLabelText(ReportLabel::Bytes, content.Summary.BytesText);
    SetLabel(report, ReportLabel::Untagged, totals.UntaggedCount);
    SetLabel(report, ReportLabel::Invalid, totals.InvalidCount);
    for (const ReportLabel label :
         {ReportLabel::Files, ReportLabel::Bytes, ReportLabel::Untagged, ReportLabel::Invalid}) {
        report.RepaintReportLabel(label);
    }
    report.SetProgressBar(100);
    report.SetLabelText(ReportLabel::Minutes, content.Summary.LengthText);
    report.RepaintReportLabel(ReportLabel::Minutes);
    // The sort and the write take long on a big job: their phase shows.
    report.RepaintReportLabel(ReportLabel::Status);

    content.Rows = std::move(scanned.Rows);
    if (plan.Sort) {
        SortKeyMaker maker(plan.CollationLocale);
        // Called by several threads at once, each with its own text.
        const SortTextSource textOf = [&](std::size_t index, std::string& text) {
            content.Rows[index].JoinInto(text, format.Separator, format.NumberCells);
        };
        std::string text;
        for (std::size_t i = 0; i < scanned.SortEntries.size(); ++i) {
            if (scanned.SortEntries[i].Prefix.Length == kNoSortPrefix) {
                textOf(i, text);
                scanned.SortEntries[i].Prefix = maker.Prefix(text);
            }
        }
        ApplyOrder(content.Rows, CollationOrder(std::move(scanned.SortEntries), textOf,
                                                plan.CollationLocale, plan.Threads));
    }
    // The writer colours every second HTML row unless Save30 is set.
    content.Page = ListPage{.Headline = profile.Headline,
                            .FontStyle = profile.FontStyle,
                            .FontColor = profile.FontColorText,
                            .BackColor = profile.BackColorText,
                            .HeaderColor = profile.HeaderColorText,
                            .Back2Color = profile.Back2ColorText,
                            .Save30 = profile.Save30};
    const auto write = [&](std::ostream& out) {
        if (input.Json) {
            WriteJsonList(out, captions, content.Rows);
        } else {
            WriteList(out, content);
        }
    };
    if (input.Stream != nullptr) {
        errno = 0;
        write(*input.Stream);
        input.Stream->flush();
        if (!*input.Stream) {
            // The stream keeps no reason; the failed write left it in errno.
            throw IoError(errno != 0 ? DescribeIoFailure("write", input.Output, errno)
                                     : "Cannot write '" + input.Output + "'");
        }
    } else {
        // A JSON list is always new or replaced: a second array appended
        // would be no JSON.
        WriteOutputFile(input.Output, !input.Json && profile.AppendToList, write);
    }
}

ListJobResult RunJob(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    Profiles::Profile& profile = input.Profile;
    report.SetOkEnabled(false);
    if (profile.ListFormat == Profiles::ListFormat::Custom && profile.Separator.empty()) {
        profile.Separator.assign(1, ','); // not operator=(","): g++ 12 -O3 warns falsely
    }

    const std::vector<std::string> captions = SelectedCaptions(profile);
    // Here, before any reader starts, and only here.
    const LocaleFacts locale = ReadLocaleFacts();
    RowPlan plan{.Columns = ResolveColumns(captions),
                 .Format = input.Json ? RowFormat{.ListFormat = Profiles::ListFormat::Csv,
                                                  .Separator = ",",
                                                  .NumberCells = kJsonNumberCells}
                                      : RowFormatOf(profile.ListFormat, profile.Separator),
                 .Sort = profile.Sort,
                 .CollationLocale = profile.Sort ? locale.CollationLocale : std::string(),
                 .DecimalSeparator = locale.DecimalSeparator};
    const bool customSelected = std::find(plan.Columns.begin(), plan.Columns.end(),
                                          Column::CustomInfo) != plan.Columns.end();
    const bool askForCustom = input.AskForCustom && customSelected;
    if (!askForCustom) {
        plan.Custom = profile.Custom;
        plan.CustomKnown.store(true);
    }
    plan.Analysis = profile.Analysis;
    JobCache cache(input.UseCache, plan.Analysis, plan.DecimalSeparator,
                   plan.Sort ? &plan.CollationLocale : nullptr, report);
    plan.Cache = cache.Facts();
    plan.CacheBuilder = cache.Builder();
    plan.SettledBeforeNs = ScanCache::NowNs() - ScanCache::kSettleNs;

    std::optional<FileList> list(std::in_place);
    FileList& files = *list;
    plan.Threads = input.Threads > 0 ? input.Threads : DefaultReaderThreads();
    std::optional<FileResults> results(std::in_place, files, plan, plan.Threads);
    std::vector<std::string> walked;
    CollectAllFiles(input, report, files, *results, walked);
    cache.WaitLoaded();
    if (files.Count() == 0) {
        report.SetLabelText(ReportLabel::Status, "No files found!");
        report.SetLabelText(ReportLabel::Files, "-");
        report.SetProgressBar(100);
        report.RepaintWindow(); // seen behind the box, not the scan before
        dialogs.ShowInformation(kNoFilesMessage);
        report.HideReport();
        return ListJobResult::NoFiles;
    }

    ListJobTotals totals;
    totals.FileCount = files.Count();
    report.SetProgressBar(0);
    report.SetLabelText(ReportLabel::Files, "-");
    report.SetLabelText(ReportLabel::Status, "Scanning files...");
    report.RepaintWindow();
    report.ScanStarted(totals.FileCount);

    ScannedRows scanned =
        ScanFiles(files, *results, plan, askForCustom, totals, profile, report, dialogs);
    cache.Encode(results->TakeCacheNotes(), std::move(walked));
    results.reset(); // the readers' threads end here
    list.reset();    // the paths are in the rows now

    FinishList(totals, captions, plan, std::move(scanned), input, report);
    report.SetText("");
    report.SetLabelText(ReportLabel::Status, "Done!");
    report.SetOkEnabled(true);
    cache.Save();
    return ListJobResult::Written;
}

} // namespace

void ListReport::ScanStarted(std::int64_t) {}

void ListReport::CacheWarning(const std::string&) {}

LocaleFacts ReadLocaleFacts()
{
    return LocaleFacts{.DecimalSeparator = MP3Tools::LocaleDecimalSeparator(),
                       .CollationLocale = CollationLocaleName()};
}

int DefaultReaderThreads()
{
    // Reads in flight matter more than cores on a disk that is not cached
    // yet; on a cached one a few threads more than cores cost little.
    const auto cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(2 * cores, kMinDefaultReaders, kMaxDefaultReaders);
}

void ListReport::SetText(const std::string& text) { SetLabelText(ReportLabel::Progress, text); }

void ListReport::RepaintLabel() { RepaintReportLabel(ReportLabel::Progress); }

void ListReport::RepaintContainer() { RepaintWindow(); }

bool CheckOutputName(std::string& output, Dialogs& dialogs)
{
    if (output.empty() || DirTools::FolderExists(FolderPart(output))) {
        return true;
    }
    dialogs.ShowInformation(kInvalidFileNameMessage);
    output.clear();
    return false;
}

void CompleteOutputName(std::string& output, Profiles::ListFormat listFormat)
{
    CompleteOutputName(output, Profiles::FactsOf(listFormat).Extension);
}

void CompleteOutputName(std::string& output, std::string_view extension)
{
    // A device, a pipe or /dev/stdout is written under the name it has.
    if (!IsWrittenInPlace(output) && DirTools::StripExtension(output) == output &&
        Utf8::Count(output) > 5) {
        output += extension;
    }
}

std::string CheckListInputs(ListJobInput& input)
{
    if (input.Source.empty() || input.Output.empty()) {
        return "Source/Output File";
    }
    if (!DirTools::FolderExists(input.Source)) {
        return "Source Folder";
    }
    std::string folder = input.Output;
    if (folder.back() != '/') {
        folder += '/';
    }
    std::string result;
    if (input.Profile.Extensions.empty()) {
        result = "Extensions";
    }
    if (SelectedCaptions(input.Profile).empty()) {
        result = "List information";
    }
    // With no format the cells would be joined with nothing between them:
    // a list no one could read back.
    if (!input.Json && input.Profile.ListFormat == Profiles::ListFormat::None) {
        result = "List format";
    }
    if (input.Stream != nullptr) {
        return result; // no file is named, made or replaced
    }
    if (DirTools::FolderExists(folder)) {
        const std::string extension(OutputExtension(input));
        ReleaseReservedOutput(input.Reserved);
        for (std::int64_t n = 1;; ++n) {
            std::string candidate = folder + input.DefaultFileName + std::to_string(n) + extension;
            if (ReserveName(candidate, input.Reserved)) {
                input.Output = std::move(candidate);
                return result;
            }
        }
    }
    // Cut to the folder part; the root "/" is as far as it goes.
    folder.pop_back();
    while (folder.size() > 1 && folder.back() != '/') {
        folder.pop_back();
    }
    if (!DirTools::FolderExists(folder)) {
        result = "Output File";
    }
    return result;
}

void ReleaseReservedOutput(ReservedOutput& reserved)
{
    // Removed while still registered: a signal meanwhile removes it as well.
    if (!reserved.Path.empty()) {
        RemoveReservedFile(reserved);
    }
    HeldName().reset();
    reserved = ReservedOutput{};
}

ListJobResult CreateList(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    ListJobResult result = ListJobResult::NoFiles;
    try {
        try {
            result = RunJob(input, report, dialogs);
        } catch (const std::bad_alloc&) {
            // What was being read or written names itself; this is the rest
            // (the walk, the sort, the rows).
            throw IoError(DescribeOutOfMemory("list", input.Source));
        }
    } catch (...) {
        ReleaseReservedOutput(input.Reserved);
        // A job stopped by an error can still be dismissed.
        report.SetOkEnabled(true);
        throw;
    }
    if (result == ListJobResult::Written) {
        HeldName().reset();
        input.Reserved = ReservedOutput{}; // the list holds the name now
    } else {
        ReleaseReservedOutput(input.Reserved);
    }
    return result;
}

ListJobResult StartListJob(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    if (input.Stream == nullptr) {
        // A rejected name is emptied, and the input check below reports it.
        (void)CheckOutputName(input.Output, dialogs);
        CompleteOutputName(input.Output, OutputExtension(input));
    }
    const std::string missing = CheckListInputs(input);
    if (!missing.empty()) {
        ReleaseReservedOutput(input.Reserved);
        dialogs.ShowInformation(missing + kInputErrorSuffix);
        return ListJobResult::Rejected;
    }
    report.ShowReport();
    return CreateList(input, report, dialogs);
}

} // namespace Listing

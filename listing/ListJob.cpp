#include "listing/ListJob.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "analysis/MP3Tools.h"
#include "base/IoError.h"
#include "base/LongPath.h"
#include "base/UniqueFd.h"
#include "listing/Columns.h"
#include "listing/ListWriter.h"
#include "listing/RowSorter.h"
#include "listing/TextConversion.h"

namespace Listing {

namespace {

// An untagged file's title is its file name without extension, cut to the
// length of an ID3v1 title field.
constexpr std::size_t kUntaggedTitleLength = 30;
constexpr int kWalkDepth = 99;

bool EntryExists(const std::string& path)
{
    struct stat status = {};
    return ::lstat(path.c_str(), &status) == 0;
}

// Takes path for this job when no entry has that name yet, by creating it as
// an empty file in one step; false when the name is taken. Where the folder
// takes no new file the name is only checked, and the list's own writing
// reports the reason later.
bool ReserveName(const std::string& path, ReservedOutput& reserved)
{
    UniqueFd file;
    const int error =
        LongPath::Open(AT_FDCWD, path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, file, 0666);
    if (error == EEXIST) {
        return false;
    }
    struct stat status = {};
    if (error != 0 || ::fstat(file.Get(), &status) != 0) {
        return !EntryExists(path);
    }
    reserved = ReservedOutput{.Path = path,
                              .Device = static_cast<std::uint64_t>(status.st_dev),
                              .Inode = static_cast<std::uint64_t>(status.st_ino)};
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

std::int64_t ParseCount(const std::string& text)
{
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// trunc(part / whole * 100) on the exact quotient.
int Percent(std::int64_t part, std::int64_t whole)
{
    return whole <= 0 ? 0 : static_cast<int>(part * 100 / whole);
}

void SetLabel(ListReport& report, ReportLabel label, std::int64_t value)
{
    report.SetLabelText(label, std::to_string(value));
}

// The report reset, the folder walk and, extension by extension in the
// profile's order, the matches of the source folder and then of every
// sub-folder in walk order.
std::vector<std::string> CollectAllFiles(const ListJobInput& input, ListReport& report)
{
    report.SetLabelText(ReportLabel::Status, "Scanning for directories...");
    report.SetProgressBar(0);
    for (const ReportLabel label : {ReportLabel::Bytes, ReportLabel::Files, ReportLabel::Minutes,
                                    ReportLabel::Untagged, ReportLabel::Invalid}) {
        report.SetLabelText(label, "-");
    }
    report.RepaintWindow();

    std::vector<std::string> folders;
    WalkReport walk(report);
    DirTools::CollectFolders(input.Source, input.IncludeSubdirectories ? kWalkDepth : 0, walk,
                             folders);

    std::vector<std::string> files;
    const std::vector<std::string> extensions = input.Profile.Extensions;
    const auto extensionCount = static_cast<std::int64_t>(extensions.size());
    for (std::int64_t i = 0; i < extensionCount; ++i) {
        const std::string& extension = extensions[static_cast<std::size_t>(i)];
        report.SetLabelText(ReportLabel::Status, "Scanning for " + extension + "-files...");
        SetLabel(report, ReportLabel::Files, static_cast<std::int64_t>(folders.size()));
        report.SetProgressBar(Percent(i + 1, extensionCount));
        report.RepaintWindow();
        DirTools::CollectFiles(input.Source, extension, walk, files);
        for (const std::string& folder : folders) {
            DirTools::CollectFiles(folder, extension, walk, files);
        }
    }
    return files;
}

// What the scan carries from one file to the next.
struct Scan
{
    std::vector<Column> Columns{};
    RowFormat Format{};
    bool CustomSelected = false;
    bool AskForCustom = false; // until the first prompt
    ListJobTotals Totals{};
    MP3Tools::AudioFileInfo Info{};
    MP3Tools::TagInfo Tag{};
};

// The file at position k: the labels before it, the probe (and the tag, from
// the same open of the file), its share of the totals, the custom-info prompt
// before the first valid row that shows the text, and its row.
RowCells ScanFile(Scan& scan, std::int64_t k, const std::string& path, Profiles::Profile& profile,
                  ListReport& report, Dialogs& dialogs)
{
    ListJobTotals& totals = scan.Totals;
    SetLabel(report, ReportLabel::Files, k);
    SetLabel(report, ReportLabel::Bytes, totals.TotalBytes);
    SetLabel(report, ReportLabel::Untagged, totals.UntaggedCount);
    SetLabel(report, ReportLabel::Invalid, totals.InvalidCount);
    for (const ReportLabel label :
         {ReportLabel::Files, ReportLabel::Bytes, ReportLabel::Untagged, ReportLabel::Invalid}) {
        report.RepaintReportLabel(label);
    }
    report.SetLabelText(ReportLabel::Minutes, MP3Tools::FormatDuration(totals.TotalSeconds));
    report.RepaintReportLabel(ReportLabel::Minutes);

    MP3Tools::AudioFileInfo& info = scan.Info;
    MP3Tools::TagInfo& tag = scan.Tag;
    MP3Tools::ProbeAudioFileAndTag(info, tag, path);
    if (!info.Valid) {
        ++totals.InvalidCount;
        return BuildRow(info, tag, scan.Columns, scan.Format, profile.Custom);
    }
    totals.TotalBytes += ParseCount(info.FileSize);
    totals.TotalSeconds += ParseCount(info.DurationSeconds);
    if (!tag.Tagged) {
        tag.Title = CutCharacters(DirTools::StripExtension(FileNamePart(info.FileName)),
                                  kUntaggedTitleLength);
        ++totals.UntaggedCount;
    }
    if (scan.AskForCustom && scan.CustomSelected) {
        if (std::optional<std::string> entry =
                dialogs.InputBox(kCustomInfoBoxCaption, kCustomInfoPrompt, "")) {
            profile.Custom = std::move(*entry);
        }
        scan.AskForCustom = false;
        report.RepaintWindow();
    }
    RowCells row = BuildRow(info, tag, scan.Columns, scan.Format, profile.Custom);
    report.SetText(info.FileName);
    report.RepaintLabel();
    report.SetProgressBar(Percent(k, totals.FileCount));
    return row;
}

// The final figures on the report, the optional sort and the written list.
void FinishList(const ListJobTotals& totals, const std::vector<std::string>& captions,
                const RowFormat& format, std::vector<RowCells> rows, const ListJobInput& input,
                ListReport& report)
{
    const Profiles::Profile& profile = input.Profile;
    report.SetLabelText(ReportLabel::Status, "Creating list...");
    report.SetProgressBar(0);
    ListContent content;
    content.Format = format;
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

    content.Rows = std::move(rows);
    if (profile.Sort) {
        SortRows(content.Rows, format.Separator);
    }
    // The writer colours every second HTML row unless Save30 is set.
    content.Page = ListPage{.Headline = profile.Headline,
                            .FontStyle = profile.FontStyle,
                            .FontColor = profile.FontColorText,
                            .BackColor = profile.BackColorText,
                            .HeaderColor = profile.HeaderColorText,
                            .Back2Color = profile.Back2ColorText,
                            .Save30 = profile.Save30};
    if (input.Stream != nullptr) {
        WriteList(*input.Stream, content);
        input.Stream->flush();
        if (!*input.Stream) {
            throw IoError("Cannot write the list to " + input.Output);
        }
    } else {
        WriteList(input.Output, profile.AppendToList, content);
    }
}

ListJobResult RunJob(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    Profiles::Profile& profile = input.Profile;
    report.SetOkEnabled(false);
    if (profile.ListFormat == Profiles::ListFormat::Custom && profile.Separator.empty()) {
        profile.Separator.assign(1, ','); // not operator=(","): g++ 12 -O3 warns falsely
    }

    std::vector<std::string> files = CollectAllFiles(input, report);
    if (files.empty()) {
        report.SetLabelText(ReportLabel::Status, "No files found!");
        report.SetLabelText(ReportLabel::Files, "-");
        report.SetProgressBar(100);
        dialogs.ShowInformation(kNoFilesMessage);
        report.HideReport();
        return ListJobResult::NoFiles;
    }

    const std::vector<std::string> captions = SelectedCaptions(profile);
    Scan scan{.Columns = ResolveColumns(captions),
              .Format = RowFormatOf(profile.ListFormat, profile.Separator),
              .AskForCustom = input.AskForCustom};
    scan.CustomSelected = std::find(scan.Columns.begin(), scan.Columns.end(), Column::CustomInfo) !=
                          scan.Columns.end();
    scan.Totals.FileCount = static_cast<std::int64_t>(files.size());
    report.SetProgressBar(0);
    report.SetLabelText(ReportLabel::Files, "-");
    report.SetLabelText(ReportLabel::Status, "Scanning files...");
    report.RepaintWindow();
    report.ScanStarted(scan.Totals.FileCount);

    std::vector<RowCells> rows;
    rows.reserve(files.size());
    for (std::int64_t k = 0; k < scan.Totals.FileCount; ++k) {
        std::string& path = files[static_cast<std::size_t>(k)];
        rows.push_back(ScanFile(scan, k, path, profile, report, dialogs));
        // The path is in the row now; dropping it keeps large lists small.
        std::string().swap(path);
    }
    std::vector<std::string>().swap(files);

    FinishList(scan.Totals, captions, scan.Format, std::move(rows), input, report);
    report.SetText("");
    report.SetLabelText(ReportLabel::Status, "Done!");
    report.SetOkEnabled(true);
    return ListJobResult::Written;
}

} // namespace

void ListReport::ScanStarted(std::int64_t) {}

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
    if (!DirTools::FolderExists(output) && DirTools::StripExtension(output) == output &&
        CountCharacters(output) > 5) {
        output += Profiles::FactsOf(listFormat).Extension;
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
    if (input.Stream != nullptr) {
        return result; // no file is named, made or replaced
    }
    if (DirTools::FolderExists(folder)) {
        const std::string extension(Profiles::FactsOf(input.Profile.ListFormat).Extension);
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
    struct stat status = {};
    // Only the file this job made: the name may have been taken over since.
    if (!reserved.Path.empty() && ::lstat(reserved.Path.c_str(), &status) == 0 &&
        static_cast<std::uint64_t>(status.st_dev) == reserved.Device &&
        static_cast<std::uint64_t>(status.st_ino) == reserved.Inode) {
        ::unlink(reserved.Path.c_str());
    }
    reserved = ReservedOutput{};
}

ListJobResult CreateList(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    ListJobResult result = ListJobResult::NoFiles;
    try {
        result = RunJob(input, report, dialogs);
    } catch (...) {
        ReleaseReservedOutput(input.Reserved);
        // A job stopped by an error can still be dismissed.
        report.SetOkEnabled(true);
        throw;
    }
    if (result == ListJobResult::Written) {
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
        CompleteOutputName(input.Output, input.Profile.ListFormat);
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

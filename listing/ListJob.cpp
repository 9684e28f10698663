#include "listing/ListJob.h"

#include <algorithm>
#include <charconv>
#include <sys/stat.h>
#include <vector>

#include "analysis/MP3Tools.h"
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

ListJobResult RunJob(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    Profiles::Profile& profile = input.Profile;
    bool askForCustom = input.AskForCustom;
    report.SetOkEnabled(false);
    std::vector<std::string> folders;
    std::vector<std::string> files;
    if (profile.ListFormat == Profiles::ListFormat::Custom && profile.Separator.empty()) {
        profile.Separator = ",";
    }
    const RowFormat format = RowFormatOf(profile.ListFormat, profile.Separator);

    report.SetLabelText(ReportLabel::Status, "Scanning for directories...");
    report.SetProgressBar(0);
    for (const ReportLabel label : {ReportLabel::Bytes, ReportLabel::Files, ReportLabel::Minutes,
                                    ReportLabel::Untagged, ReportLabel::Invalid}) {
        report.SetLabelText(label, "-");
    }
    report.RepaintWindow();

    DirTools::CollectFolders(input.Source, input.IncludeSubdirectories ? kWalkDepth : 0, report,
                             folders);

    const std::vector<std::string> extensions = profile.Extensions;
    const auto extensionCount = static_cast<std::int64_t>(extensions.size());
    for (std::int64_t i = 0; i < extensionCount; ++i) {
        const std::string& extension = extensions[static_cast<std::size_t>(i)];
        report.SetLabelText(ReportLabel::Status, "Scanning for " + extension + "-files...");
        SetLabel(report, ReportLabel::Files, static_cast<std::int64_t>(folders.size()));
        report.SetProgressBar(Percent(i + 1, extensionCount));
        report.RepaintWindow();
        DirTools::CollectFiles(input.Source, extension, report, files);
        for (const std::string& folder : folders) {
            DirTools::CollectFiles(folder, extension, report, files);
        }
    }
    std::vector<std::string>().swap(folders);

    if (files.empty()) {
        report.SetLabelText(ReportLabel::Status, "No files found!");
        report.SetLabelText(ReportLabel::Files, "-");
        report.SetProgressBar(100);
        dialogs.ShowInformation(kNoFilesMessage);
        report.HideReport();
        return ListJobResult::NoFiles;
    }

    const std::vector<std::string> captions = SelectedCaptions(profile);
    const std::vector<Column> columns = ResolveColumns(captions);
    const bool customSelected =
        std::find(columns.begin(), columns.end(), Column::CustomInfo) != columns.end();

    ListJobTotals totals;
    totals.FileCount = static_cast<std::int64_t>(files.size());
    report.SetProgressBar(0);
    report.SetLabelText(ReportLabel::Files, "-");
    report.SetLabelText(ReportLabel::Status, "Scanning files...");
    report.RepaintWindow();
    report.ScanStarted(totals.FileCount);

    std::vector<RowCells> rows;
    rows.reserve(files.size());
    MP3Tools::AudioFileInfo info;
    MP3Tools::TagInfo tag;
    for (std::int64_t k = 0; k < totals.FileCount; ++k) {
        std::string& path = files[static_cast<std::size_t>(k)];
        SetLabel(report, ReportLabel::Files, k);
        SetLabel(report, ReportLabel::Bytes, totals.TotalBytes);
        SetLabel(report, ReportLabel::Untagged, totals.UntaggedCount);
        SetLabel(report, ReportLabel::Invalid, totals.InvalidCount);
        for (const ReportLabel label : {ReportLabel::Files, ReportLabel::Bytes,
                                        ReportLabel::Untagged, ReportLabel::Invalid}) {
            report.RepaintReportLabel(label);
        }
        report.SetLabelText(ReportLabel::Minutes, MP3Tools::FormatDuration(totals.TotalSeconds));
        report.RepaintReportLabel(ReportLabel::Minutes);

        // The probe and, for a valid file, its tag, from one open of the file.
        MP3Tools::ProbeAudioFileAndTag(info, tag, path);
        if (!info.Valid) {
            rows.push_back(BuildRow(info, tag, columns, format, profile.Custom));
            ++totals.InvalidCount;
        } else {
            totals.TotalBytes += ParseCount(info.FileSize);
            totals.TotalSeconds += ParseCount(info.DurationSeconds);
            if (!tag.Tagged) {
                tag.Title = CutCharacters(DirTools::StripExtension(FileNamePart(info.FileName)),
                                          kUntaggedTitleLength);
                ++totals.UntaggedCount;
            }
            if (askForCustom && customSelected) {
                if (std::optional<std::string> entry =
                        dialogs.InputBox(kCustomInfoBoxCaption, kCustomInfoPrompt, "")) {
                    profile.Custom = std::move(*entry);
                }
                askForCustom = false;
                report.RepaintWindow();
            }
            rows.push_back(BuildRow(info, tag, columns, format, profile.Custom));
            report.SetText(info.FileName);
            report.RepaintLabel();
            report.SetProgressBar(Percent(k, totals.FileCount));
        }
        // The path is in the row now; dropping it keeps large lists small.
        std::string().swap(path);
    }
    std::vector<std::string>().swap(files);

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
    WriteList(input.Output, profile.AppendToList, content);

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
    if (DirTools::FolderExists(folder)) {
        const std::string extension(Profiles::FactsOf(input.Profile.ListFormat).Extension);
        for (std::int64_t n = 1;; ++n) {
            std::string candidate = folder + input.DefaultFileName + std::to_string(n) + extension;
            if (!EntryExists(candidate)) {
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

ListJobResult CreateList(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    try {
        return RunJob(input, report, dialogs);
    } catch (...) {
        // A job stopped by an error can still be dismissed.
        report.SetOkEnabled(true);
        throw;
    }
}

ListJobResult StartListJob(ListJobInput& input, ListReport& report, Dialogs& dialogs)
{
    // A rejected name is emptied, and the input check below reports it.
    (void)CheckOutputName(input.Output, dialogs);
    CompleteOutputName(input.Output, input.Profile.ListFormat);
    const std::string missing = CheckListInputs(input);
    if (!missing.empty()) {
        dialogs.ShowInformation(missing + kInputErrorSuffix);
        return ListJobResult::Rejected;
    }
    report.ShowReport();
    return CreateList(input, report, dialogs);
}

} // namespace Listing

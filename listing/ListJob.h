#pragma once

// The list job behind "Create &List": output-name checks and completion,
// input validation, the folder walk, the probe of every file, the totals, the
// optional sort and the written list. It is an engine: the report window and
// the command line talk to it through ListReport and Dialogs.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "base/Dialogs.h"
#include "profiles/Profile.h"
#include "scan/DirTools.h"

namespace Listing {

// The report's labels. Progress is the label that shows the path being
// worked on; the folder walk writes it through the ProgressLabel side.
enum class ReportLabel
{
    Status,
    Files,
    Bytes,
    Minutes,
    Untagged,
    Invalid,
    Progress
};

// What the job shows while it runs. The job calls it for every file found,
// and while it scans the files for the first and the last file and then at
// most every few tens of milliseconds (the labels skip the values between,
// the path label shows a file just done, and the final figures are exact);
// still an implementation must be cheap (draw or print at a bounded rate).
// The job calls it, and its Dialogs, only on the thread that runs the job,
// also while threads of its own read the files. As a DirTools::ProgressLabel it is
// the Progress label and the report window that holds it, and it hears of
// every folder the job could not read (FolderSkipped, once per folder).
class ListReport : public DirTools::ProgressLabel
{
public:
    virtual void SetLabelText(ReportLabel label, const std::string& text) = 0;
    // Bring one label up to date on screen now.
    virtual void RepaintReportLabel(ReportLabel label) = 0;
    virtual void RepaintWindow() = 0;
    // 0 to 100.
    virtual void SetProgressBar(int position) = 0;
    virtual void SetOkEnabled(bool enabled) = 0;
    virtual void ShowReport() = 0;
    virtual void HideReport() = 0;
    // Called once when scanning starts, with the number of files to scan;
    // windows may ignore it (the labels carry the same facts).
    virtual void ScanStarted(std::int64_t fileCount);
    // The scan cache could not be used or kept up to date (at most once a
    // job); the list is not affected. Windows ignore it.
    virtual void CacheWarning(const std::string& text);

    void SetText(const std::string& text) final;
    void RepaintLabel() final;
    void RepaintContainer() final;
};

// A numbered default name held for one job: the empty file created when the
// name was chosen, so that a job running at the same time picks another one.
// Path is empty when nothing is held.
struct ReservedOutput
{
    std::string Path{};
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
};

// The inputs of one job. Output is the output box: the start completes it
// or replaces it with a numbered default name, and empties it when its
// folder does not exist. The profile is the current profile: the custom-info
// prompt writes Custom into it, an empty Separator of the custom format
// becomes ",", and its Analysis chooses how the files are read. Reserved is set by CheckListInputs
// and given up by the job.
struct ListJobInput
{
    std::string Source{};
    bool IncludeSubdirectories = true;
    std::string Output{};
    Profiles::Profile& Profile;
    bool AskForCustom = false;
    // The global option "Default output filename"; callers pass the stored
    // one, this is its default.
    std::string DefaultFileName = "TrackRoll";
    ReservedOutput Reserved{};
    // When set, the list goes to this stream instead of a file (the command
    // line's "-"): Output then only names the stream in messages, and is
    // neither checked, completed nor numbered.
    std::ostream* Stream = nullptr;
    // The threads that read the files; 0 is DefaultReaderThreads(), 1 reads
    // them on the calling thread. The list is the same whatever the number.
    int Threads = 0;
    // The command line's JSON list (listing/JsonWriter.h) instead of the
    // profile's format: rows sorted as the CSV list's, the ".json" extension,
    // and always a new or replaced file (a second array appended would be no
    // JSON).
    bool Json = false;
    // Whether facts of files read by earlier jobs are used and those of this
    // job kept (listing/ScanCache.h); off, every file is read and the cache
    // left as it is.
    bool UseCache = true;
};

// What a list shows of the user's locale. A job reads it once, on its own
// thread, before any reader starts: the C library's locale is process-wide
// and must not be read by threads while someone may set it.
struct LocaleFacts
{
    std::string DecimalSeparator = "."; // of the sampling rate
    std::string CollationLocale{};      // the sort's ICU locale; empty is the root locale
    friend bool operator==(const LocaleFacts&, const LocaleFacts&) = default;
};

// The facts of the locale the program's setlocale set (LC_NUMERIC, LC_COLLATE).
LocaleFacts ReadLocaleFacts();

// Threads enough to keep several reads in flight on a disk that is not
// cached yet: twice the cores, at least 4 and at most 16.
int DefaultReaderThreads();

// The running totals of one job.
struct ListJobTotals
{
    std::int64_t FileCount = 0;
    std::int64_t TotalBytes = 0;
    std::int64_t TotalSeconds = 0;
    std::int64_t UntaggedCount = 0;
    std::int64_t InvalidCount = 0;
    friend bool operator==(const ListJobTotals&, const ListJobTotals&) = default;
};

enum class ListJobResult
{
    Rejected, // an input check failed; its message has been shown
    NoFiles,  // nothing matched; the output file was not touched
    Written
};

inline constexpr const char* kInvalidFileNameMessage = "Please enter a valid filename!";
inline constexpr const char* kInputErrorSuffix =
    " Error - Please enter all neccessary information - aborting...";
inline constexpr const char* kNoFilesMessage = "No files found - aborting...";
inline constexpr const char* kCustomInfoBoxCaption = "Custom Info";
inline constexpr const char* kCustomInfoPrompt = "Enter Custom Info";

// The output box's check: a non-empty output whose folder part (up to and
// including the last "/", empty without one) is not an existing folder is
// reported with kInvalidFileNameMessage and emptied. True when it passed.
[[nodiscard]] bool CheckOutputName(std::string& output, Dialogs& dialogs);

// Appends the format's extension to an output name that has none, when the
// name is no existing folder and has 6 characters or more.
void CompleteOutputName(std::string& output, Profiles::ListFormat listFormat);
void CompleteOutputName(std::string& output, std::string_view extension);

// Empty when the job may run, else what is missing: "Source/Output File",
// "Source Folder", "Extensions", "List information", "List format" (no format
// is chosen) or "Output File". An
// output that names an existing folder is replaced by the first free name
// folder + DefaultFileName + n + extension (n = 1, 2, ...), which is
// reserved at once as an empty file (input.Reserved).
std::string CheckListInputs(ListJobInput& input);

// Removes the reserved empty file when it is still the one this job made,
// and forgets it.
void ReleaseReservedOutput(ReservedOutput& reserved);

// The job itself; the report must already be shown. Throws IoError when a
// file cannot be probed (the first such file in walk order), the walk runs out of descriptors or
// memory, or the list cannot be written; the report's OK is enabled before any error leaves the
// job. A job that writes no list gives up its reserved name.
ListJobResult CreateList(ListJobInput& input, ListReport& report, Dialogs& dialogs);

// What "Create &List" runs: the output check, the name completion, the
// input check (with its message), then the report is shown and the job run.
ListJobResult StartListJob(ListJobInput& input, ListReport& report, Dialogs& dialogs);

} // namespace Listing

// sonorix-list: the list job of "Create &List" without a window, for scripts,
// cron jobs and large collections. It uses the same settings store and
// profiles as the desktop program and never writes a global option.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <getopt.h>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "base/Ascii.h"
#include "base/Dialogs.h"
#include "base/IoError.h"
#include "base/SignalCleanup.h"
#include "base/TerminalText.h"
#include "base/Utf8.h"
#include "base/Version.h"
#include "listing/ListJob.h"
#include "profiles/GlobalOptions.h"
#include "profiles/ListFormat.h"
#include "profiles/MemoryProfileHost.h"
#include "profiles/Profile.h"
#include "settings/RegTools.h"

namespace {

constexpr int kExitWritten = 0;
constexpr int kExitUsage = 1;
constexpr int kExitNoFiles = 2;
constexpr int kExitIoError = 3;

constexpr const char* kHelp = R"(Usage: sonorix-list [options] SOURCE OUTPUT

Writes the list of the MPEG audio files in the folder SOURCE (and its
subfolders) to the file OUTPUT, as "Create List" of the Sonorix window does,
with the same profiles and settings store.

Options:
  -s, --style NAME      profile to use, one of the stored styles (letter case
                        ignored; see --list-styles), loaded as choosing it in
                        the style box loads it; default: the default style, as
                        start-up selects and loads it (on an empty store this
                        writes "Styles" and "DefaultStyle" as start-up does)
      --new-style       let --style name a style that is not stored yet: it
                        is created with the defaults (not added to the list)
  -f, --format FMT      list format for this run: csv | custom | html | txt
      --separator TEXT  separator of the custom format for this run
  -c, --columns LIST    comma-separated column captions (letter case
                        ignored), in order: the selected columns for this run
      --list-columns    print the twenty column captions, one per line
                        (the names --columns takes), and exit
      --list-styles     print the stored style names, one per line, and
                        exit (nothing is written; "Default" before any is
                        stored)
      --sort            sort the rows by their text (letter case ignored)
      --no-sort         keep the rows in folder order
      --save30          HTML without the second row colour
  -a, --append          append to an existing output file
      --no-subdirs      list the source folder only, not its subfolders
      --custom TEXT     custom info text for this run (no prompt)
  -e, --ext LIST        comma-separated file extensions for this run
  -q, --quiet           no progress output
      --threads N       read the files with N threads (1 to 256; 1 reads them
                        one after the other); default: twice the processor
                        cores, at least 4 and at most 16, which keeps several
                        reads in flight on a disk that is not cached yet. The
                        list is the same whatever N is.
  -h, --help            show this help
      --version         show the version and exit

Options that change the profile apply to this run only: nothing is stored.
The global options ("Ask for Custom Info", "Default output filename") are
read from the store and never written.
Empty items of LIST are dropped, so --ext "" means no extension. A caption
that is none of the twenty columns is a usage error (a stored profile's
unknown caption still gets a header cell but no data cells).

SOURCE and OUTPUT may be relative to the current folder. OUTPUT "-" writes
the list to standard output (no extension is added). An OUTPUT without
extension (6 characters or more) gets the format's extension; an OUTPUT that
is an existing folder gets a numbered name from the global option "Default
output filename" (TrackRoll1.csv, TrackRoll2.csv, ...).

When the global option "Ask for Custom Info" is on and no --custom is given,
the custom info text is asked for on the terminal ("Enter Custom Info: "),
once per run; without a terminal on standard input nothing is asked and the
profile's text is used.

Progress (files done of all files, the current file and a bar) is shown on
standard error when it is a terminal, unless --quiet is given, and at the
end one line with the totals. Messages go to standard error, among them a
warning for every folder that exists but cannot be read (it is left out; the
exit status does not change). Control characters in names and messages are
shown there as escapes (\x1b); the list itself holds names as they are.

A new or replaced list is written whole or not at all: the previous list
stays as it was when the run fails or is interrupted.

Settings store: $XDG_CONFIG_HOME/sonorix/registry.db (default ~/.config/).

Exit status:
  0  the list was written
  1  usage error, or an input the list needs is missing or wrong
  2  no matching files were found (the output file is not touched)
  3  input/output error (a file that cannot be read, a list that cannot be
     written, file descriptors or memory running out during the folder walk)
     or an error of the settings store
)";

struct Options
{
    std::optional<std::string> Style{};
    std::optional<Profiles::ListFormat> Format{};
    std::optional<std::string> Separator{};
    std::optional<std::vector<std::string>> Columns{};
    std::optional<bool> Sort{};
    bool Save30 = false;
    bool Append = false;
    bool NoSubdirs = false;
    std::optional<std::string> Custom{};
    std::optional<std::vector<std::string>> Extensions{};
    bool Quiet = false;
    int Threads = 0; // 0: the job's default
    bool Help = false;
    bool ListColumns = false;
    bool Version = false;
    bool ListStyles = false;
    bool NewStyle = false;
    std::vector<std::string> Arguments{};
};

class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

std::vector<std::string> SplitItems(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start) {
            items.push_back(text.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return items;
}

// The names joined by ", ", for the lists of choices in usage errors.
template <typename Names> std::string JoinNames(const Names& names)
{
    std::string text;
    for (const auto& name : names) {
        text += text.empty() ? "" : ", ";
        text += name;
    }
    return text;
}

Profiles::ListFormat ParseFormat(const std::string& name)
{
    std::string words; // "csv, custom, html or txt"
    for (const Profiles::FormatFacts& facts : Profiles::kListFormats) {
        if (name == facts.CommandWord) {
            return facts.Format;
        }
        if (!words.empty()) {
            words += &facts == &Profiles::kListFormats.back() ? " or " : ", ";
        }
        words += facts.CommandWord;
    }
    throw UsageError("unknown format '" + name + "' (" + words + ")");
}

// The captions of LIST as the twenty columns spell them; letter case is
// forgiven ("songname" is "Songname"), any other caption is a usage error.
std::vector<std::string> ColumnCaptions(const std::string& list)
{
    std::vector<std::string> captions = SplitItems(list);
    for (std::string& caption : captions) {
        const auto known = std::find_if(
            Profiles::kColumnCaptions.begin(), Profiles::kColumnCaptions.end(),
            [&](const char* column) { return Ascii::EqualsIgnoringCase(caption, column); });
        if (known == Profiles::kColumnCaptions.end()) {
            throw UsageError("unknown column '" + caption + "' (" +
                             JoinNames(Profiles::kColumnCaptions) + ")");
        }
        caption = *known;
    }
    return captions;
}

// The --threads value: a whole number from 1 to 256.
int ParseThreads(const std::string& text)
{
    constexpr int kMaxThreads = 256;
    int threads = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, threads);
    if (text.empty() || error != std::errc() || stop != end || threads < 1 ||
        threads > kMaxThreads) {
        throw UsageError("--threads wants a whole number from 1 to " + std::to_string(kMaxThreads) +
                         ", not '" + text + "'");
    }
    return threads;
}

// Long options without a short form get codes beyond the characters.
enum LongOnly : int
{
    kOptSeparator = 256,
    kOptSort,
    kOptNoSort,
    kOptSave30,
    kOptNoSubdirs,
    kOptCustom,
    kOptListColumns,
    kOptListStyles,
    kOptNewStyle,
    kOptVersion,
    kOptThreads
};

constexpr const char* kShortOptions = ":s:f:c:ae:qh";

constexpr option kLongOptions[] = {{"style", required_argument, nullptr, 's'},
                                   {"format", required_argument, nullptr, 'f'},
                                   {"separator", required_argument, nullptr, kOptSeparator},
                                   {"columns", required_argument, nullptr, 'c'},
                                   {"sort", no_argument, nullptr, kOptSort},
                                   {"no-sort", no_argument, nullptr, kOptNoSort},
                                   {"save30", no_argument, nullptr, kOptSave30},
                                   {"append", no_argument, nullptr, 'a'},
                                   {"no-subdirs", no_argument, nullptr, kOptNoSubdirs},
                                   {"custom", required_argument, nullptr, kOptCustom},
                                   {"ext", required_argument, nullptr, 'e'},
                                   {"quiet", no_argument, nullptr, 'q'},
                                   {"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, kOptVersion},
                                   {"list-styles", no_argument, nullptr, kOptListStyles},
                                   {"new-style", no_argument, nullptr, kOptNewStyle},
                                   {"list-columns", no_argument, nullptr, kOptListColumns},
                                   {"threads", required_argument, nullptr, kOptThreads},
                                   {nullptr, 0, nullptr, 0}};

// The option getopt_long stopped at, as the user wrote it ("--style",
// "-x"), without an attached "=value".
std::string OffendingOption(const char* arg, int shortOption)
{
    const std::string text = arg;
    if (text.rfind("--", 0) == 0) {
        return text.substr(0, text.find('='));
    }
    return std::string("-") + static_cast<char>(shortOption);
}

void ApplyOption(Options& options, int code, const std::string& value)
{
    switch (code) {
    case 's':
        options.Style = value;
        break;
    case 'f':
        options.Format = ParseFormat(value);
        break;
    case kOptSeparator:
        options.Separator = value;
        break;
    case 'c':
        options.Columns = ColumnCaptions(value);
        break;
    case kOptSort:
        options.Sort = true;
        break;
    case kOptNoSort:
        options.Sort = false;
        break;
    case kOptSave30:
        options.Save30 = true;
        break;
    case 'a':
        options.Append = true;
        break;
    case kOptNoSubdirs:
        options.NoSubdirs = true;
        break;
    case kOptCustom:
        options.Custom = value;
        break;
    case 'e':
        options.Extensions = SplitItems(value);
        break;
    case 'q':
        options.Quiet = true;
        break;
    case 'h':
        options.Help = true;
        break;
    case kOptVersion:
        options.Version = true;
        break;
    case kOptListStyles:
        options.ListStyles = true;
        break;
    case kOptNewStyle:
        options.NewStyle = true;
        break;
    case kOptListColumns:
        options.ListColumns = true;
        break;
    case kOptThreads:
        options.Threads = ParseThreads(value);
        break;
    }
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    opterr = 0; // the messages are ours
    optind = 0; // a fresh scan, also of GNU extensions
    for (;;) {
        const int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (code == -1) {
            break;
        }
        const std::string offending = OffendingOption(argv[optind - 1], optopt);
        if (code == ':') {
            throw UsageError("option '" + offending + "' needs a value");
        }
        if (code == '?') {
            // getopt_long names the option in optopt when a known long
            // option was given a value it does not take.
            if (offending.rfind("--", 0) == 0 && optopt != 0) {
                throw UsageError("option '" + offending + "' takes no value");
            }
            throw UsageError("unknown option '" + offending + "'");
        }
        ApplyOption(options, code, optarg != nullptr ? optarg : "");
    }
    for (int i = optind; i < argc; ++i) {
        options.Arguments.emplace_back(argv[i]);
    }
    if (!options.Help && !options.ListColumns && !options.ListStyles && !options.Version &&
        options.Arguments.size() != 2) {
        throw UsageError("expected SOURCE and OUTPUT");
    }
    return options;
}

// A relative path is taken from the current folder, as a shell user means it.
std::string Absolute(const std::string& path)
{
    if (path.empty() || path.front() == '/') {
        return path;
    }
    return std::filesystem::current_path().string() + "/" + path;
}

// The progress line on standard error. The job reports every file; the line
// is drawn at most a few times a second, and only on a terminal.
class TerminalReport final : public Listing::ListReport
{
public:
    explicit TerminalReport(bool enabled) : m_enabled(enabled) {}

    void SetLabelText(Listing::ReportLabel label, const std::string& text) override
    {
        switch (label) {
        case Listing::ReportLabel::Status:
            m_status = text;
            break;
        case Listing::ReportLabel::Files:
            m_files = text;
            break;
        case Listing::ReportLabel::Progress:
            m_path = text;
            break;
        case Listing::ReportLabel::Bytes:
            m_bytes = text;
            break;
        case Listing::ReportLabel::Minutes:
            m_minutes = text;
            break;
        case Listing::ReportLabel::Untagged:
            m_untagged = text;
            break;
        case Listing::ReportLabel::Invalid:
            m_invalid = text;
            break;
        }
    }

    void RepaintReportLabel(Listing::ReportLabel) override { Draw(false); }

    void RepaintWindow() override { Draw(false); }

    void SetProgressBar(int position) override { m_bar = position; }

    void SetOkEnabled(bool) override {}

    void ShowReport() override {}

    void HideReport() override { Clear(); }

    void ScanStarted(std::int64_t fileCount) override { m_total = fileCount; }

    // Shown whether or not progress is: it tells why files are missing.
    void FolderSkipped(const std::string& path, int error) override
    {
        Clear();
        std::cerr << TerminalSafe("sonorix-list: warning: cannot read folder '" + path +
                                  "': " + std::strerror(error))
                  << std::endl;
    }

    // The report window's final figures, as one line in place of the progress.
    void Summarize(const std::string& output)
    {
        if (!m_enabled) {
            return;
        }
        Clear();
        std::cerr << "Done! " << m_files << " files, " << m_bytes << " bytes, " << m_minutes << ", "
                  << m_untagged << " untagged, " << m_invalid
                  << " invalid: " << TerminalSafe(output) << std::endl;
    }

    // Removes the progress line, so a message can stand on its own line.
    void Clear()
    {
        if (m_drawn) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            m_drawn = false;
        }
    }

private:
    void Draw(bool force)
    {
        if (!m_enabled) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!force && m_drawn && now - m_last < std::chrono::milliseconds(200)) {
            return;
        }
        m_last = now;
        std::string line;
        if (m_total > 0 && m_status == "Scanning files...") {
            constexpr int kBarWidth = 20;
            const int filled = std::clamp(m_bar, 0, 100) * kBarWidth / 100;
            // Appended piece by piece: operator+ on a literal and a temporary
            // makes g++ 12 at -O3 warn falsely (-Wrestrict).
            line += '[';
            line.append(static_cast<std::size_t>(filled), '#');
            line.append(static_cast<std::size_t>(kBarWidth - filled), '-');
            line += "] ";
            line += m_files;
            line += '/';
            line += std::to_string(m_total);
            line += ' ';
        } else {
            line = TerminalSafe(m_status) + " ";
        }
        // No room for the path at all when the status alone fills the line.
        const std::size_t used = Utf8::Count(line) + 1;
        line += Tail(TerminalSafe(m_path), used < Width() ? Width() - used : 0);
        std::fputs(("\r\033[K" + line).c_str(), stderr);
        std::fflush(stderr);
        m_drawn = true;
    }

    static std::size_t Width()
    {
        winsize size{};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) {
            return size.ws_col;
        }
        return 80;
    }

    // The end of text in at most room characters, "..." marking the cut.
    static std::string Tail(const std::string& text, std::size_t room)
    {
        const std::size_t count = Utf8::Count(text);
        if (count <= room) {
            return text;
        }
        if (room <= 3) {
            return {};
        }
        const std::size_t skip = Utf8::Cut(text, count - (room - 3)).size();
        return "..." + text.substr(skip);
    }

    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
    std::string m_status{};
    std::string m_files{};
    std::string m_path{};
    std::string m_bytes{};
    std::string m_minutes{};
    std::string m_untagged{};
    std::string m_invalid{};
    int m_bar = 0;
    std::int64_t m_total = 0;
};

// The job's dialogs on a terminal: messages on standard error, the input box
// as a prompt when a user is at the terminal. The other dialogs are never
// opened by the list job; they answer as Cancel would.
class TerminalDialogs final : public UnattendedDialogs
{
public:
    explicit TerminalDialogs(TerminalReport& report) : m_report(report) {}

    // Reads one line when a user is at the terminal; otherwise acts as Cancel.
    std::optional<std::string> InputBox(const std::string&, const std::string& prompt,
                                        const std::string&) override
    {
        if (!isatty(STDIN_FILENO)) {
            return std::nullopt;
        }
        m_report.Clear();
        std::cerr << prompt << ": " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) {
            std::cerr << '\n';
            return std::nullopt;
        }
        return line;
    }

private:
    void Show(const std::string& text) override
    {
        m_report.Clear();
        std::cerr << TerminalSafe(text) << std::endl;
    }

    TerminalReport& m_report;
};

// The profile options of this run, laid over the loaded profile.
void ApplyOptions(const Options& options, Profiles::Profile& profile)
{
    if (options.Format) {
        profile.ListFormat = *options.Format;
    }
    if (options.Separator) {
        profile.Separator = *options.Separator;
    }
    if (options.Columns) {
        std::vector<std::string> information = *options.Columns;
        std::vector<bool> checked(information.size(), true);
        for (const char* caption : Profiles::kColumnCaptions) {
            if (std::find(options.Columns->begin(), options.Columns->end(), caption) ==
                options.Columns->end()) {
                information.emplace_back(caption);
                checked.push_back(false);
            }
        }
        profile.Information = std::move(information);
        profile.Checked = std::move(checked);
    }
    if (options.Sort) {
        profile.Sort = *options.Sort;
    }
    if (options.Save30) {
        profile.Save30 = true;
    }
    profile.AppendToList = options.Append;
    if (options.Custom) {
        profile.Custom = *options.Custom;
    }
    if (options.Extensions) {
        profile.Extensions = *options.Extensions;
    }
}

// The stored spelling of the style the user named (letter case is forgiven,
// as the store forgives it). A name that is not stored is a usage error,
// since a typo would otherwise store a whole new profile, unless a new style
// is asked for.
std::string StoredStyle(const std::string& name, bool newStyle)
{
    // Its values would overwrite global settings ("AskFor" + "Custom").
    if (!Profiles::IsValidProfileName(name)) {
        throw UsageError(std::string(Profiles::kInvalidProfileNameMessage) + " ('" + name + "')");
    }
    const std::vector<std::string> stored = Profiles::StoredStyleNames();
    const auto known = std::find_if(stored.begin(), stored.end(), [&](const std::string& item) {
        return Ascii::EqualsIgnoringCase(item, name);
    });
    if (known != stored.end()) {
        return *known;
    }
    if (newStyle) {
        return name;
    }
    throw UsageError("unknown style '" + name + "' (stored: " + JoinNames(stored) +
                     "); --new-style makes a new one");
}

int Run(const Options& options)
{
    Profiles::Profile profile;
    GlobalSettings::GlobalOptions global;
    {
        // The store is opened once for all that is read from it.
        const RegTools::StoreBatch batch;
        Profiles::MemoryProfileHost host; // the style boxes, without a window
        if (options.Style) {
            host.SetStyleText(StoredStyle(*options.Style, options.NewStyle));
            Profiles::LoadProfile(profile, host);
        } else {
            Profiles::LoadProfileList(profile, host);
        }
        // Read, never written: "Ask for Custom Info" only when it can matter.
        using GlobalSettings::GlobalValue;
        global = options.Custom ? GlobalSettings::ReadGlobalOptions({GlobalValue::DefaultFileName})
                                : GlobalSettings::ReadGlobalOptions(
                                      {GlobalValue::AskForCustom, GlobalValue::DefaultFileName});
    }
    ApplyOptions(options, profile);
    // "-" is standard output: no name is completed or numbered.
    const bool toStdout = options.Arguments[1] == "-";
    Listing::ListJobInput input{.Source = Absolute(options.Arguments[0]),
                                .IncludeSubdirectories = !options.NoSubdirs,
                                .Output =
                                    toStdout ? "standard output" : Absolute(options.Arguments[1]),
                                .Profile = profile,
                                .AskForCustom = !options.Custom && global.AskForCustom,
                                .DefaultFileName = global.DefaultFileName,
                                .Stream = toStdout ? &std::cout : nullptr,
                                .Threads = options.Threads};

    TerminalReport report(!options.Quiet && isatty(STDERR_FILENO));
    TerminalDialogs dialogs(report);
    try {
        const Listing::ListJobResult result = Listing::StartListJob(input, report, dialogs);
        report.Clear();
        switch (result) {
        case Listing::ListJobResult::Rejected:
            return kExitUsage;
        case Listing::ListJobResult::NoFiles:
            return kExitNoFiles;
        case Listing::ListJobResult::Written:
            report.Summarize(input.Output);
            break;
        }
    } catch (...) {
        report.Clear();
        throw;
    }
    return kExitWritten;
}

int ReportUsageError(const UsageError& error)
{
    std::cerr << TerminalSafe(std::string("sonorix-list: ") + error.what()) << "\n"
              << "Try 'sonorix-list --help' for more information.\n";
    return kExitUsage;
}

// What runs after the options were read: a store look-up or the list job.
int RunCommand(const Options& options)
{
    if (options.ListStyles) {
        for (const std::string& name : Profiles::StoredStyleNames()) {
            std::cout << name << '\n';
        }
        return kExitWritten;
    }
    return Run(options);
}

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        return ReportUsageError(error);
    }
    if (options.Help) {
        std::cout << kHelp;
        return kExitWritten;
    }
    if (options.Version) {
        std::cout << VersionText() << '\n';
        return kExitWritten;
    }
    if (options.ListColumns) {
        for (const char* caption : Profiles::kColumnCaptions) {
            std::cout << caption << '\n';
        }
        return kExitWritten;
    }
    // Ctrl+C leaves no temporary or empty numbered list behind.
    SignalCleanup::InstallHandlers();
    try {
        return RunCommand(options);
    } catch (const UsageError& error) {
        return ReportUsageError(error);
    } catch (const std::bad_alloc&) {
        std::cerr << "sonorix-list: out of memory\n"; // a text that needs no memory
        return kExitIoError;
    } catch (const std::exception& error) {
        // Input/output and settings-store errors, and anything else that
        // stopped the job: the text names the file and the reason.
        std::cerr << TerminalSafe(std::string("sonorix-list: ") + error.what()) << '\n';
        return kExitIoError;
    }
}

// sonorix-list: the list job of "Create &List" without a window, for scripts,
// cron jobs and large collections. It uses the same settings store and
// profiles as the desktop program and never writes a global option.

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "base/IoError.h"
#include "listing/Columns.h"
#include "listing/ListJob.h"
#include "listing/TextConversion.h"
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
  -s, --style NAME      profile to use, loaded as choosing it in the style box
                        loads it (a profile without stored values is created
                        with the defaults); default: the default style, as
                        start-up selects and loads it (on an empty store this
                        writes "Styles" and "DefaultStyle" as start-up does)
  -f, --format FMT      list format for this run: csv | custom | html | txt
      --separator TEXT  separator of the custom format for this run
  -c, --columns LIST    comma-separated column captions, in order: the
                        selected columns for this run
      --sort            sort the rows by their text (letter case ignored)
      --no-sort         keep the rows in folder order
      --save30          HTML without the second row colour
  -a, --append          append to an existing output file
      --no-subdirs      list the source folder only, not its subfolders
      --custom TEXT     custom info text for this run (no prompt)
  -e, --ext LIST        comma-separated file extensions for this run
  -q, --quiet           no progress output
  -h, --help            show this help

Options that change the profile apply to this run only: nothing is stored.
The global options ("Ask for Custom Info", "Default output filename") are
read from the store and never written.
Empty items of LIST are dropped, so --ext "" means no extension. A caption
that is none of the twenty columns gets a header cell but no data cells.

SOURCE and OUTPUT may be relative to the current folder. An OUTPUT without
extension (6 characters or more) gets the format's extension; an OUTPUT that
is an existing folder gets a numbered name from the global option "Default
output filename" (TrackRoll1.csv, TrackRoll2.csv, ...).

When the global option "Ask for Custom Info" is on and no --custom is given,
the custom info text is asked for on the terminal ("Enter Custom Info: "),
once per run; without a terminal on standard input nothing is asked and the
profile's text is used.

Progress (files done of all files, the current file and a bar) is shown on
standard error when it is a terminal, unless --quiet is given, and at the
end one line with the totals. Messages go to standard error.

Settings store: $XDG_CONFIG_HOME/sonorix/registry.db (default ~/.config/).

Exit status:
  0  the list was written
  1  usage error, or an input the list needs is missing or wrong
  2  no matching files were found (the output file is not touched)
  3  input/output error (a file that cannot be read, a list that cannot be
     written) or an error of the settings store
)";

struct Options
{
    std::optional<std::string> Style{};
    std::optional<int> Format{};
    std::optional<std::string> Separator{};
    std::optional<std::vector<std::string>> Columns{};
    std::optional<bool> Sort{};
    bool Save30 = false;
    bool Append = false;
    bool NoSubdirs = false;
    std::optional<std::string> Custom{};
    std::optional<std::vector<std::string>> Extensions{};
    bool Quiet = false;
    bool Help = false;
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

int ParseFormat(const std::string& name)
{
    if (name == "csv") {
        return Profiles::kFormatCsv;
    }
    if (name == "custom") {
        return Profiles::kFormatCustom;
    }
    if (name == "html") {
        return Profiles::kFormatHtml;
    }
    if (name == "txt") {
        return Profiles::kFormatText;
    }
    throw UsageError("unknown format '" + name + "' (csv, custom, html or txt)");
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.Arguments.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" and "-xVALUE" carry their value; otherwise it is the
        // next argument.
        std::optional<std::string> attached;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                attached = arg.substr(equals + 1);
                arg.erase(equals);
            }
        } else if (arg.size() > 2) {
            attached = arg.substr(2);
            arg.erase(2);
        }
        const auto value = [&]() -> std::string {
            if (attached) {
                return *attached;
            }
            if (i + 1 >= argc) {
                throw UsageError("option '" + arg + "' needs a value");
            }
            return argv[++i];
        };
        const auto flag = [&](bool& target) {
            if (attached) {
                throw UsageError("option '" + arg + "' takes no value");
            }
            target = true;
        };
        bool on = false;
        if (arg == "-s" || arg == "--style") {
            options.Style = value();
        } else if (arg == "-f" || arg == "--format") {
            options.Format = ParseFormat(value());
        } else if (arg == "--separator") {
            options.Separator = value();
        } else if (arg == "-c" || arg == "--columns") {
            options.Columns = SplitItems(value());
        } else if (arg == "--sort") {
            flag(on);
            options.Sort = true;
        } else if (arg == "--no-sort") {
            flag(on);
            options.Sort = false;
        } else if (arg == "--save30") {
            flag(options.Save30);
        } else if (arg == "-a" || arg == "--append") {
            flag(options.Append);
        } else if (arg == "--no-subdirs") {
            flag(options.NoSubdirs);
        } else if (arg == "--custom") {
            options.Custom = value();
        } else if (arg == "-e" || arg == "--ext") {
            options.Extensions = SplitItems(value());
        } else if (arg == "-q" || arg == "--quiet") {
            flag(options.Quiet);
        } else if (arg == "-h" || arg == "--help") {
            flag(options.Help);
        } else {
            throw UsageError("unknown option '" + arg + "'");
        }
    }
    if (!options.Help && options.Arguments.size() != 2) {
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

    // The report window's final figures, as one line in place of the progress.
    void Summarize(const std::string& output)
    {
        if (!m_enabled) {
            return;
        }
        Clear();
        std::cerr << "Done! " << m_files << " files, " << m_bytes << " bytes, " << m_minutes << ", "
                  << m_untagged << " untagged, " << m_invalid << " invalid: " << output
                  << std::endl;
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
            line = m_status + " ";
        }
        line += Tail(m_path, Width() - Listing::CountCharacters(line) - 1);
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
        const std::size_t count = Listing::CountCharacters(text);
        if (count <= room) {
            return text;
        }
        if (room <= 3) {
            return {};
        }
        const std::size_t skip = Listing::CutCharacters(text, count - (room - 3)).size();
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

class TerminalPrompt final : public Listing::ListPrompt
{
public:
    explicit TerminalPrompt(TerminalReport& report) : m_report(report) {}

    void ShowMessage(const std::string& text) override
    {
        m_report.Clear();
        std::cerr << text << std::endl;
    }

    // Reads one line when a user is at the terminal; otherwise acts as Cancel.
    std::optional<std::string> AskText(const std::string&, const std::string& prompt,
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
    TerminalReport& m_report;
};

bool ReadBoolOption(const char* name, bool missing)
{
    if (!RegTools::RegValueExists(RegTools::kVendor, RegTools::kProduct, name)) {
        return missing;
    }
    return RegTools::ReadRegBool(RegTools::kVendor, RegTools::kProduct, name);
}

std::string ReadStringOption(const char* name, const std::string& missing)
{
    if (!RegTools::RegValueExists(RegTools::kVendor, RegTools::kProduct, name)) {
        return missing;
    }
    return RegTools::ReadRegString(RegTools::kVendor, RegTools::kProduct, name);
}

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
        for (const char* caption : Listing::kColumnCaptions) {
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

int Run(const Options& options)
{
    Profiles::Profile profile;
    Profiles::MemoryProfileHost host; // the style boxes, without a window
    if (options.Style) {
        host.SetStyleText(*options.Style);
        Profiles::LoadProfile(profile, host);
    } else {
        Profiles::LoadProfileList(profile, host);
    }
    ApplyOptions(options, profile);

    Listing::ListJobInput input{
        .Source = Absolute(options.Arguments[0]),
        .IncludeSubdirectories = !options.NoSubdirs,
        .Output = Absolute(options.Arguments[1]),
        .Profile = profile,
        .AskForCustom = !options.Custom && ReadBoolOption("AskForCustom", false),
        .DefaultFileName = ReadStringOption("DefaultFileName", "TrackRoll")};

    TerminalReport report(!options.Quiet && isatty(STDERR_FILENO));
    TerminalPrompt prompt(report);
    try {
        const Listing::ListJobResult result = Listing::StartListJob(input, report, prompt);
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

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "sonorix-list: " << error.what() << "\n"
                  << "Try 'sonorix-list --help' for more information.\n";
        return kExitUsage;
    }
    if (options.Help) {
        std::cout << kHelp;
        return kExitWritten;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {
        // Input/output and settings-store errors, and anything else that
        // stopped the job: the text names the file and the reason.
        std::cerr << "sonorix-list: " << error.what() << '\n';
        return kExitIoError;
    }
}

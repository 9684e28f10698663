#include "cli/ListOptions.h"

#include <algorithm>
#include <charconv>
#include <getopt.h>

#include "base/Ascii.h"

namespace ListCli {

const char* const kListHelp = R"(Usage: sonorix-list [options] SOURCE OUTPUT

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
  -f, --format FMT      list format for this run: csv | custom | html | txt,
                        or json: one JSON array for scripts (see below)
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
      --analysis MODE   how the files are read for this run: classic (the
                        first MPEG frame, its "Xing" header and the ID3v1
                        tag) or full (ID3v2 and APE tags too, and FLAC, Ogg
                        Vorbis, Opus, M4A and WAV files; the extensions
                        still choose the files); default: the style's
      --no-cache        read every file, and leave the scan cache as it is
                        (by default facts of files read before are taken
                        from $XDG_CACHE_HOME/sonorix/ for every file whose
                        device, inode, size and times are unchanged)
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

The json format writes one array, one object per listed file in list order,
keyed by the selected column captions; values are the cell texts, but
Filesize (bytes), Time (seconds, to the millisecond), KBps (kbit/s),
Frequency (Hz) and Frames are numbers. An invalid file is an object with
Filepath, Filename and "Invalid": true. No headline, no totals; it cannot
be appended to.

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

std::string FormatWords()
{
    std::string words;
    for (const Profiles::FormatFacts& facts : Profiles::kListFormats) {
        if (!words.empty()) {
            words += &facts == &Profiles::kListFormats.back() ? " or " : ", ";
        }
        words += facts.CommandWord;
    }
    return words;
}

namespace {

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

Profiles::Analysis ParseAnalysis(const std::string& name)
{
    using Profiles::Analysis;
    for (const Analysis analysis : {Analysis::Classic, Analysis::Full}) {
        if (name == Profiles::WordOf(analysis)) {
            return analysis;
        }
    }
    throw UsageError("unknown analysis '" + name + "' (" +
                     std::string(Profiles::WordOf(Analysis::Classic)) + " or " +
                     std::string(Profiles::WordOf(Analysis::Full)) + ")");
}

Profiles::ListFormat ParseFormat(const std::string& name)
{
    for (const Profiles::FormatFacts& facts : Profiles::kListFormats) {
        if (name == facts.CommandWord) {
            return facts.Format;
        }
    }
    std::string words = FormatWords(); // "csv, custom, html or txt"
    words.replace(words.rfind(" or "), 4, ", ");
    throw UsageError("unknown format '" + name + "' (" + words + " or json)");
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
    kOptThreads,
    kOptAnalysis,
    kOptNoCache
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
                                   {"analysis", required_argument, nullptr, kOptAnalysis},
                                   {"no-cache", no_argument, nullptr, kOptNoCache},
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

void ApplyOption(ListOptions& options, int code, const std::string& value)
{
    switch (code) {
    case 's':
        options.Style = value;
        break;
    case 'f':
        options.Json = value == "json";
        options.Format.reset();
        if (!options.Json) {
            options.Format = ParseFormat(value);
        }
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
    case kOptAnalysis:
        options.Analysis = ParseAnalysis(value);
        break;
    case kOptNoCache:
        options.NoCache = true;
        break;
    }
}

} // namespace

ListOptions ParseListOptions(int argc, char** argv)
{
    ListOptions options;
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
    if (options.Json && options.Append) {
        throw UsageError("--append cannot add to a json list (it would no longer be JSON)");
    }
    return options;
}

} // namespace ListCli

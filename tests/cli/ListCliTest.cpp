#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "profiles/GlobalOptions.h"
#include "profiles/ListFormat.h"
#include "samples/Mp3Builder.h"
#include "samples/Samples.h"
#include "settings/RegTools.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using testing::AllOf;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using TestSupport::Id3v1Fields;
using TestSupport::Mp3Builder;
using TestSupport::RunResult;
using TestSupport::TempDir;

namespace {

const std::string kInputError = " Error - Please enter all neccessary information - aborting...";

std::string ReadFile(const std::string& path) { return TestSupport::ReadWholeFile(path); }

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// One second of sound at 128 kbit/s, with a tag when title is given.
void WriteSong(const std::string& path, const std::optional<std::string>& title)
{
    Mp3Builder song;
    song.Frames(3);
    if (title) {
        song.PadTo(16000 - 128).Id3v1(Id3v1Fields{.Title = *title, .Artist = "Band"});
    } else {
        song.PadTo(16000);
    }
    song.Write(path);
}

// A terminal for one run: its standard input and error.
class Terminal
{
public:
    Terminal() : m_master(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        fcntl(m_master, F_SETFL, O_NONBLOCK);
        m_device = ptsname(m_master);
    }

    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    ~Terminal() { close(m_master); }

    const std::string& Device() const { return m_device; }

    // What the program wrote since the last call.
    std::string Read()
    {
        std::string text;
        char buffer[4096];
        for (ssize_t n = 0; (n = read(m_master, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

    void Type(const std::string& text)
    {
        ASSERT_EQ(write(m_master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

private:
    int m_master;
    std::string m_device{};
};

class ListCliTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_home.File("config"));
        std::filesystem::create_directories(Music("sub"));
        WriteSong(Music("b.mp3"), "Beta");
        WriteSong(Music("sub/a.mp3"), "Alpha");
    }

    // Runs sonorix-list in the folder m_out with its own settings store;
    // stdin is /dev/null, stdout and stderr go to files (not a terminal).
    RunResult Run(const std::vector<std::string>& args)
    {
        return TestSupport::RunProgram(SONORIX_LIST_EXE, args, m_home.Path(),
                                       {.WorkingFolder = m_out.Path(),
                                        .Environment = {{"XDG_CONFIG_HOME", m_home.File("config")}},
                                        .Terminal = m_terminal,
                                        .Unprivileged = m_unprivileged});
    }

    std::string Music(const std::string& name) const { return m_music.File(name); }

    std::string Out(const std::string& name) const { return m_out.File(name); }

    std::string StoreBytes() const
    {
        return ReadFile(m_home.File("config/sonorix/registry.db")) +
               ReadFile(m_home.File("config/sonorix/registry.db-wal"));
    }

    TempDir m_home{"sonorix-cli-home"};
    TempDir m_music{"sonorix-cli-music"};
    TempDir m_out{"sonorix-cli-out"};
    bool m_unprivileged = false;
    std::string m_terminal{}; // a terminal for stderr instead of the file
};

} // namespace

TEST_F(ListCliTest, WritesTheListQuietlyWithRelativePaths)
{
    const RunResult run = Run({"-f", "csv", "-c", "Songname,Artist,,Time", "--sort", "--custom",
                               "x", m_music.Path(), "list"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(ReadFile(Out("list.csv")),
              "Songname,Artist,Time\r\nAlpha,Band,00:01\r\nBeta,Band,00:01\r\n");

    // The source may be relative too; --no-subdirs keeps to its own files.
    std::filesystem::create_directory(Out("music"));
    WriteSong(Out("music/c.mp3"), std::nullopt);
    std::filesystem::create_directory(Out("music/deeper"));
    WriteSong(Out("music/deeper/d.mp3"), std::nullopt);
    EXPECT_EQ(Run({"-q", "-f", "txt", "-c", "Songname", "--no-subdirs", "music", "t.txt"}).Status,
              0);
    EXPECT_EQ(ReadFile(Out("t.txt")), "Songname\r\nc\r\n");
}

TEST_F(ListCliTest, DashWritesTheListToStandardOutput)
{
    const RunResult run = Run({"-q", "-f", "csv", "-c", "Songname", m_music.Path(), "-"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "Songname\r\nAlpha\r\nBeta\r\n");
    EXPECT_EQ(run.Err, "");
    EXPECT_TRUE(std::filesystem::is_empty(m_out.Path())) << "no file, no numbered name";
}

TEST_F(ListCliTest, DefaultProfileWritesAnHtmlPageAndAppends)
{
    ASSERT_EQ(Run({m_music.Path(), Out("page")}).Status, 0);
    const std::string page = ReadFile(Out("page.html"));
    EXPECT_THAT(page, AllOf(HasSubstr("<strong>Songname</td>"), HasSubstr("<td>Alpha</td>"),
                            HasSubstr("Scanned 2 files, 0 untagged, 32.000 bytes total")));

    ASSERT_EQ(Run({"-a", "-f", "csv", "-c", "Songname", m_music.Path(), Out("page.html")}).Status,
              0);
    EXPECT_EQ(ReadFile(Out("page.html")), page + "Songname\r\nAlpha\r\nBeta\r\n");
}

TEST_F(ListCliTest, JsonListGetsItsExtensionAndReplacesTheFile)
{
    WriteText(Out("songs.json"), "old");
    ASSERT_EQ(Run({"-f", "json", "-c", "Songname,Filesize", m_music.Path(), Out("songs")}).Status,
              0);
    EXPECT_EQ(ReadFile(Out("songs.json")), "[\n{\"Songname\":\"Alpha\",\"Filesize\":16000},\n"
                                           "{\"Songname\":\"Beta\",\"Filesize\":16000}\n]\n");
}

TEST_F(ListCliTest, UsageAndValidationErrorsExitWithOne)
{
    struct Row
    {
        std::vector<std::string> Args;
        std::string Err;
    };

    const std::string usageHint = "Try 'sonorix-list --help' for more information.\n";
    const Row rows[] = {
        {{}, "sonorix-list: expected SOURCE and OUTPUT\n" + usageHint},
        {{"--frobnicate", "a", "b"}, "sonorix-list: unknown option '--frobnicate'\n" + usageHint},
        {{"-f", "pdf", "a", "b"},
         "sonorix-list: unknown format 'pdf' (csv, custom, html, txt or json)\n" + usageHint},
        {{"a", "b", "--style"}, "sonorix-list: option '--style' needs a value\n" + usageHint},
        {{"--analysis", "deep", "a", "b"},
         "sonorix-list: unknown analysis 'deep' (classic or full)\n" + usageHint},
        {{"--no-cache=yes", "a", "b"},
         "sonorix-list: option '--no-cache' takes no value\n" + usageHint},
        {{"-f", "json", "-a", "a", "b"},
         "sonorix-list: --append cannot add to a json list (it would no longer be JSON)\n" +
             usageHint},
        {{"-c", "songname,Rating", "a", "b"},
         "sonorix-list: unknown column 'Rating' (Songname, Artist, Time, Filesize, Custom Info, "
         "KBps, Mode, Album, Filepath, Filename, Comment, Track, Genre, Year, Frequency, Frames, "
         "Version, Layer, Type, Encoder)\n" +
             usageHint},
        {{m_music.Path() + "/none", Out("l.csv")}, "Source Folder" + kInputError + "\n"},
        {{"-e", "", m_music.Path(), Out("l.csv")}, "Extensions" + kInputError + "\n"},
        {{"-e", "", "-c", ",", m_music.Path(), Out("l.csv")},
         "List information" + kInputError + "\n"},
        {{m_music.Path(), Out("gone/l.csv")},
         "Please enter a valid filename!\nSource/Output File" + kInputError + "\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Err);
        const RunResult run = Run(row.Args);
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Err, row.Err);
    }
    EXPECT_FALSE(std::filesystem::exists(Out("l.csv")));
}

// An MPEG file whose title is only in ID3v2, an untagged one with a long name
// and one tagged without title: the classic list stays what it always was,
// the full one shows every title, whole. A damaged FLAC file is invalid
// either way.
TEST_F(ListCliTest, FullAnalysisForOneRunLeavesTheClassicListAsItWas)
{
    const std::string title = "A title longer than an ID3v1 tag can hold";
    std::string frame = std::string(1, '\3') + title; // UTF-8 text
    const auto size = static_cast<std::uint32_t>(frame.size());
    std::string id3v2 =
        std::string("ID3\4\0\0\0\0\0", 10) + "TIT2" +
        std::string{'\0', '\0', static_cast<char>(size >> 7), static_cast<char>(size & 0x7F),
                    '\0', '\0'} +
        frame;
    id3v2[9] = static_cast<char>(id3v2.size() - 10);
    Mp3Builder modern;
    modern.Text(id3v2).Frames(3).PadTo(16000);
    modern.Write(Music("modern.mp3"));
    WriteSong(Music("an untagged song with a long file name.mp3"), std::nullopt);
    WriteText(Music("broken.flac"), "fLaC" + std::string(100, '\0'));
    Mp3Builder artistOnly;
    artistOnly.Frames(3).PadTo(16000 - 128).Id3v1(Id3v1Fields{.Artist = "Band"});
    artistOnly.Write(Music("no title.mp3"));

    const std::vector<std::string> common = {"-q", "-f",       "csv",   "-c", "Songname,Type",
                                             "-e", "mp3,flac", "--sort"};
    const auto list = [&](const std::vector<std::string>& analysis) {
        std::vector<std::string> args = common;
        args.insert(args.end(), analysis.begin(), analysis.end());
        args.insert(args.end(), {m_music.Path(), "-"});
        const RunResult run = Run(args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        return run.Out;
    };
    const std::string broken = m_music.Path() + "/broken.flac,ERROR\r\n";
    const std::string classic = list({});
    EXPECT_EQ(classic, "Songname,Type\r\n,MP3\r\n" + broken +
                           "Alpha,MP3\r\nan untagged song with a long f,MP3\r\nBeta,MP3\r\n"
                           "modern,MP3\r\n");
    EXPECT_EQ(list({"--analysis", "classic"}), classic);
    EXPECT_EQ(list({"--analysis", "full"}),
              "Songname,Type\r\n" + broken + title + ",MP3\r\n" +
                  "Alpha,MP3\r\nan untagged song with a long file name,MP3\r\nBeta,MP3\r\n"
                  "no title,MP3\r\n");
}

TEST_F(ListCliTest, NoFilesExitsWithTwoAndLeavesTheOutput)
{
    WriteText(Out("list.csv"), "keep");
    const RunResult run = Run({"-e", "ogg,wav", m_music.Path(), Out("list.csv")});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "No files found - aborting...\n");
    EXPECT_EQ(ReadFile(Out("list.csv")), "keep");
}

TEST_F(ListCliTest, InputOutputAndStoreErrorsExitWithThree)
{
    // A list name that leads to a full device.
    std::filesystem::create_symlink("/dev/full", Out("full.csv"));
    RunResult run = Run({"-f", "csv", m_music.Path(), Out("full.csv")});
    EXPECT_EQ(run.Status, 3);
    EXPECT_EQ(run.Err,
              "sonorix-list: Cannot write '" + Out("full.csv") + "': No space left on device\n");

    std::filesystem::create_directories(m_home.File("config/sonorix"));
    WriteText(m_home.File("config/sonorix/registry.db"), std::string(4096, 'x'));
    run = Run({m_music.Path(), Out("list.csv")});
    EXPECT_EQ(run.Status, 3);
    EXPECT_THAT(run.Err, HasSubstr("registry.db"));
    EXPECT_FALSE(std::filesystem::exists(Out("list.csv")));
}

TEST_F(ListCliTest, UnreadableSongExitsWithThree)
{
    WriteSong(Music("locked.mp3"), "Locked");
    chmod(Music("locked.mp3").c_str(), 0);
    // The unprivileged run must reach the folders and its store.
    for (const std::string& folder :
         {m_home.Path(), m_home.File("config"), m_music.Path(), Music("sub"), m_out.Path()}) {
        chmod(folder.c_str(), 0777);
    }
    m_unprivileged = true;
    const RunResult run = Run({"-f", "csv", m_music.Path(), Out("list.csv")});
    if (run.Status == 125) {
        GTEST_SKIP() << "the tool cannot be run as an unprivileged user here";
    }
    EXPECT_EQ(run.Status, 3);
    EXPECT_THAT(run.Err, AllOf(HasSubstr(Music("locked.mp3")), HasSubstr("Permission denied")));
    EXPECT_FALSE(std::filesystem::exists(Out("list.csv")));
}

// Whatever the number of readers and whichever reader meets a file it may
// not read first, the run ends with the error of the first such file in walk
// order: the source folder's own files come before those of its sub-folders.
TEST_F(ListCliTest, TheFirstUnreadableFileInWalkOrderEndsTheRun)
{
    for (int i = 0; i < 60; ++i) {
        WriteSong(Music("top " + std::to_string(i) + ".mp3"), "Top");
    }
    WriteSong(Music("zz locked.mp3"), "Locked");
    chmod(Music("zz locked.mp3").c_str(), 0);
    for (const std::string folder : {"sub/", "sub/deeper/", "other/"}) {
        std::filesystem::create_directories(Music(folder));
        chmod(Music(folder).c_str(), 0777);
        for (int i = 0; i < 20; ++i) {
            const std::string name = Music(folder + "locked " + std::to_string(i) + ".mp3");
            WriteSong(name, "Locked");
            chmod(name.c_str(), 0);
        }
    }
    for (const std::string& folder :
         {m_home.Path(), m_home.File("config"), m_music.Path(), m_out.Path()}) {
        chmod(folder.c_str(), 0777);
    }
    m_unprivileged = true;
    for (const char* threads : {"1", "4"}) {
        SCOPED_TRACE(std::string("--threads ") + threads);
        const RunResult run =
            Run({"-f", "csv", "--threads", threads, m_music.Path(), Out("list.csv")});
        if (run.Status == 125) {
            GTEST_SKIP() << "the tool cannot be run as an unprivileged user here";
        }
        EXPECT_EQ(run.Status, 3);
        EXPECT_EQ(run.Err, "sonorix-list: Cannot open '" + Music("zz locked.mp3") +
                               "': Permission denied\n");
        EXPECT_FALSE(std::filesystem::exists(Out("list.csv")));
    }
}

TEST_F(ListCliTest, ThreadsTakeAWholeNumberFromOneTo256)
{
    for (const char* threads : {"0", "257", "-1", "four", "", "2x"}) {
        SCOPED_TRACE(threads);
        const RunResult run = Run({"--threads", threads, m_music.Path(), Out("list.csv")});
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Err.find("sonorix-list: --threads wants a whole number from 1 to 256"), 0u)
            << run.Err;
    }
    EXPECT_EQ(
        Run({"-f", "csv", "-c", "Songname", "--threads", "256", m_music.Path(), "list"}).Status, 0);
    EXPECT_EQ(ReadFile(Out("list.csv")), "Songname\r\nAlpha\r\nBeta\r\n");
}

TEST_F(ListCliTest, RunOptionsChangeNothingInTheStore)
{
    ASSERT_EQ(Run({"-q", m_music.Path(), Out("first.html")}).Status, 0);
    const std::string store = StoreBytes();
    ASSERT_FALSE(store.empty());
    // The global options are read, never written.
    EXPECT_THAT(store, AllOf(Not(HasSubstr("DefaultFileName")), Not(HasSubstr("AskForCustom")),
                             HasSubstr("DefaultStyle")));

    const RunResult run =
        Run({"-s", "Default", "-f", "custom", "--separator", ";", "-c", "Artist,Songname",
             "--no-sort", "--save30", "-a", "--custom", "Shelf", "-e", "mp3,wav", "--no-subdirs",
             m_music.Path(), Out("second")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadFile(Out("second.idx")), "Artist;Songname\r\nBand;Beta\r\n");
    EXPECT_EQ(StoreBytes(), store);

    // The next run without options sees the stored profile unchanged.
    ASSERT_EQ(Run({m_music.Path(), Out("third")}).Status, 0);
    EXPECT_EQ(ReadFile(Out("third.html")).substr(0, 200),
              ReadFile(Out("first.html")).substr(0, 200));
}

TEST_F(ListCliTest, OutputFolderGetsTheDefaultNumberedName)
{
    WriteText(Out("TrackRoll1.csv"), "taken");
    ASSERT_EQ(Run({"-f", "csv", "-c", "Songname", m_music.Path(), m_out.Path()}).Status, 0);
    EXPECT_EQ(ReadFile(Out("TrackRoll2.csv")), "Songname\r\nAlpha\r\nBeta\r\n");
}

TEST_F(ListCliTest, HelpDescribesEveryOption)
{
    const RunResult run = Run({"--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Err, "");
    for (const char* option :
         {"--style", "--format", "--separator", "--columns", "--sort", "--no-sort", "--save30",
          "--append", "--no-subdirs", "--custom", "--ext", "--quiet", "--list-columns", "--threads",
          "--analysis", "--no-cache", "Exit status", "\"Styles\" and \"DefaultStyle\"",
          "never written"}) {
        SCOPED_TRACE(option);
        EXPECT_THAT(run.Out, HasSubstr(option));
    }
}

TEST_F(ListCliTest, ListColumnsPrintsOneCaptionALineAndTouchesNoStore)
{
    const RunResult run = Run({"--list-columns"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Err, "");
    std::string expected;
    for (const char* caption : Profiles::kColumnCaptions) {
        expected += std::string(caption) + "\n";
    }
    EXPECT_EQ(run.Out, expected);
    EXPECT_FALSE(std::filesystem::exists(m_home.File("config/sonorix")));
}

TEST_F(ListCliTest, ListStylesPrintsTheStoredNamesForCompletion)
{
    EXPECT_EQ(Run({"--list-styles"}).Out, "Default\n");
    EXPECT_FALSE(std::filesystem::exists(m_home.File("config/sonorix"))) << "no store made";
    ASSERT_EQ(Run({"-q", "-f", "csv", m_music.Path(), Out("l.csv")}).Status, 0);
    const RunResult run = Run({"--list-styles"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "Default\n");
}

// A typo in --style would otherwise store a whole new profile.
TEST_F(ListCliTest, StyleMustBeStoredUnlessANewOneIsAskedFor)
{
    const RunResult typo = Run({"-s", "Defualt", m_music.Path(), Out("l.html")});
    EXPECT_EQ(typo.Status, 1);
    EXPECT_EQ(typo.Err, "sonorix-list: unknown style 'Defualt' (stored: Default); --new-style "
                        "makes a new one\nTry 'sonorix-list --help' for more information.\n");
    EXPECT_FALSE(std::filesystem::exists(Out("l.html")));

    EXPECT_EQ(Run({"-q", "-s", "DEFAULT", m_music.Path(), Out("l.html")}).Status, 0);
    EXPECT_EQ(Run({"-q", "-s", "Jazz", "--new-style", m_music.Path(), Out("j.html")}).Status, 0);
    EXPECT_EQ(Run({"--list-styles"}).Out, "Default\n") << "a new style is not listed";

    // "AskFor" + "Custom" would store over the global option "AskForCustom".
    const RunResult global = Run({"-s", "askfor", "--new-style", m_music.Path(), Out("g.html")});
    EXPECT_EQ(global.Status, 1);
    EXPECT_THAT(global.Err,
                StartsWith("sonorix-list: Please enter a valid profile name! ('askfor')\n"));
}

TEST_F(ListCliTest, ProgressOnlyOnATerminalAndNotWhenQuiet)
{
    Terminal terminal;
    m_terminal = terminal.Device();

    ASSERT_EQ(Run({"-f", "csv", m_music.Path(), Out("a.csv")}).Status, 0);
    const std::string shown = terminal.Read();
    EXPECT_THAT(shown,
                AllOf(HasSubstr("Scanning for directories..."), HasSubstr("\r\033[K"),
                      HasSubstr("Done! 2 files, 32.000 bytes, 00:02, 0 untagged, 0 invalid: " +
                                Out("a.csv"))));

    ASSERT_EQ(Run({"-q", "-f", "csv", m_music.Path(), Out("b.csv")}).Status, 0);
    EXPECT_EQ(terminal.Read(), "");
}

// A format number that names none of the four (a store edited by hand, or
// "-1" saved with no format chosen) would join the cells with nothing
// between them, a list no one can read: the run refuses it and writes
// nothing, unless --format names a format.
TEST_F(ListCliTest, StoredFormatOutsideTheFourIsRefusedUnlessOneIsGiven)
{
    const std::string store = std::getenv("XDG_CONFIG_HOME");
    const auto run = [&](const std::vector<std::string>& args) {
        return TestSupport::RunProgram(
            SONORIX_LIST_EXE, args, m_home.Path(),
            {.WorkingFolder = m_out.Path(), .Environment = {{"XDG_CONFIG_HOME", store}}});
    };
    for (const char* stored : {"-1", "4", "$7"}) {
        SCOPED_TRACE(stored);
        RegTools::WriteRegString(RegTools::kVendor, RegTools::kProduct, "DefaultListFormat",
                                 stored);
        const RunResult refused = run({"-q", "-c", "Songname,Artist", m_music.Path(), "list"});
        EXPECT_EQ(refused.Status, 1);
        EXPECT_EQ(refused.Err, "sonorix-list: the style 'Default' has no list format; give one "
                               "with --format (csv, custom, html or txt)\n"
                               "Try 'sonorix-list --help' for more information.\n");
        EXPECT_TRUE(std::filesystem::is_empty(m_out.Path()));
        EXPECT_EQ(
            RegTools::ReadRegString(RegTools::kVendor, RegTools::kProduct, "DefaultListFormat"),
            stored);

        const RunResult given =
            run({"-q", "-f", "txt", "-c", "Songname,Artist", m_music.Path(), "list"});
        EXPECT_EQ(given.Status, 0) << given.Err;
        EXPECT_EQ(ReadFile(Out("list.txt")), "Songname\tArtist\r\nAlpha\tBand\r\nBeta\tBand\r\n");
        std::filesystem::remove(Out("list.txt"));
    }
}

TEST_F(ListCliTest, ParallelRunsIntoOneFolderNeverShareAName)
{
    // Every run waits at the custom-info prompt, which comes after it chose
    // its name and before it writes, until all of them are there.
    const std::string store = std::getenv("XDG_CONFIG_HOME");
    GlobalSettings::GlobalOptions options;
    options.AskForCustom = true;
    options.MarkKnown(GlobalSettings::GlobalValue::AskForCustom);
    GlobalSettings::SaveGlobalOptions(options, "Default");

    constexpr std::size_t kRuns = 4;
    std::vector<TempDir> scratch(kRuns);
    // All made before the first thread starts: the threads read this vector.
    std::vector<std::unique_ptr<Terminal>> terminals;
    for (std::size_t i = 0; i < kRuns; ++i) {
        terminals.push_back(std::make_unique<Terminal>());
    }
    std::vector<RunResult> runs(kRuns);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < kRuns; ++i) {
        threads.emplace_back([&, i] {
            runs[i] = TestSupport::RunProgram(
                SONORIX_LIST_EXE,
                {"-q", "-f", "csv", "-c", "Songname,Custom Info", m_music.Path(), m_out.Path()},
                scratch[i].Path(),
                {.Environment = {{"XDG_CONFIG_HOME", store}},
                 .Terminal = terminals[i]->Device(),
                 .InputFromTerminal = true});
        });
    }
    std::vector<std::string> shown(kRuns);
    const auto waiting = [&] {
        return std::count_if(shown.begin(), shown.end(), [](const std::string& text) {
            return text.find("Enter Custom Info: ") != std::string::npos;
        });
    };
    for (int tries = 0; tries < 2000 && waiting() < static_cast<long>(kRuns); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (std::size_t i = 0; i < kRuns; ++i) {
            shown[i] += terminals[i]->Read();
        }
    }
    EXPECT_EQ(waiting(), static_cast<long>(kRuns));
    for (std::size_t i = 0; i < kRuns; ++i) {
        terminals[i]->Type("Shelf " + std::to_string(i) + "\n");
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    std::vector<std::string> lists;
    for (std::size_t i = 0; i < kRuns; ++i) {
        EXPECT_EQ(runs[i].Status, 0) << runs[i].Err;
        lists.push_back(ReadFile(Out("TrackRoll" + std::to_string(i + 1) + ".csv")));
    }
    std::sort(lists.begin(), lists.end());
    for (std::size_t i = 0; i < kRuns; ++i) {
        const std::string shelf = "Shelf " + std::to_string(i);
        EXPECT_EQ(lists[i],
                  "Songname,Custom Info\r\nAlpha," + shelf + "\r\nBeta," + shelf + "\r\n");
    }
    EXPECT_FALSE(std::filesystem::exists(Out("TrackRoll5.csv")));
}

TEST_F(ListCliTest, PathsLongerThanTheSystemTakesInOneGoAreListed)
{
    // 24 folders of 200-byte names, one song in each: from the 20th on the
    // song's path is longer than PATH_MAX, from the 21st the folder's too.
    const std::string folderName(200, 'd');
    int folder = ::open(m_music.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    std::vector<std::string> expected = {"Alpha", "Beta"};
    for (int level = 1; level <= 24; ++level) {
        ASSERT_EQ(::mkdirat(folder, folderName.c_str(), 0755), 0);
        const int inner = ::openat(folder, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = inner;
        ASSERT_GE(folder, 0);
        const std::string title = "Level " + std::to_string(level);
        Mp3Builder song;
        song.Frames(3).PadTo(16000 - 128).Id3v1(Id3v1Fields{.Title = title});
        const std::string name = "song-" + std::to_string(level) + std::string(60, 'x') + ".mp3";
        const int file = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(file, 0);
        ASSERT_EQ(::write(file, song.Data().data(), song.Data().size()),
                  static_cast<ssize_t>(song.Data().size()));
        ::close(file);
        expected.push_back(title);
    }
    ::close(folder);

    const RunResult run = Run({"-f", "csv", "-c", "Songname", "--sort", m_music.Path(), "list"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    std::sort(expected.begin(), expected.end());
    std::string rows = "Songname\r\n";
    for (const std::string& title : expected) {
        rows += title + "\r\n";
    }
    EXPECT_EQ(ReadFile(Out("list.csv")), rows);
}

TEST_F(ListCliTest, FoldersThatCannotBeReadAreNamedOnceAndLeftOut)
{
    std::filesystem::create_directories(Music("locked"));
    WriteSong(Music("locked/song.mp3"), "Locked");
    std::filesystem::create_directories(Music("listed/inner"));
    WriteSong(Music("listed/inner/song.mp3"), "Inner");
    chmod(Music("locked").c_str(), 0);
    chmod(Music("listed").c_str(), 0444); // its names can be read, its folders not entered
    for (const std::string& folder :
         {m_home.Path(), m_home.File("config"), m_music.Path(), Music("sub"), m_out.Path()}) {
        chmod(folder.c_str(), 0777);
    }
    m_unprivileged = true;
    // Two extensions: every folder is read once per extension.
    // Without the cache, whose folder the unprivileged user cannot make.
    const RunResult run = Run({"-f", "csv", "-c", "Songname", "-e", "mp3,wav", "--sort",
                               "--no-cache", m_music.Path(), Out("list.csv")});
    if (run.Status == 125) {
        GTEST_SKIP() << "the tool cannot be run as an unprivileged user here";
    }
    EXPECT_EQ(run.Status, 0) << run.Err;
    std::vector<std::string> warnings;
    std::istringstream lines(run.Err);
    for (std::string line; std::getline(lines, line);) {
        warnings.push_back(line);
    }
    std::sort(warnings.begin(), warnings.end());
    const std::string prefix = "sonorix-list: warning: cannot read folder '";
    EXPECT_EQ(warnings,
              (std::vector<std::string>{prefix + Music("listed/inner") + "': Permission denied",
                                        prefix + Music("locked") + "': Permission denied"}));
    EXPECT_EQ(ReadFile(Out("list.csv")), "Songname\r\nAlpha\r\nBeta\r\n");
}

TEST_F(ListCliTest, NamesReachTheTerminalWithControlCharactersEscaped)
{
    Terminal terminal;
    m_terminal = terminal.Device();
    // A name that would retitle the terminal window and clear the screen.
    const std::string name = "\x1b]0;owned\x07\x1b[2J.csv";
    ASSERT_EQ(Run({"-f", "csv", m_music.Path(), Out(name)}).Status, 0);
    const std::string shown = terminal.Read();
    EXPECT_THAT(shown,
                AllOf(HasSubstr(": " + Out("\\x1b]0;owned\\x07\\x1b[2J.csv")),
                      Not(HasSubstr("\x1b]")), Not(HasSubstr("\x07")), Not(HasSubstr("\x1b[2J"))));
    EXPECT_TRUE(std::filesystem::exists(Out(name))); // the file itself has its name
}

// A named pipe is written as it is named, without an extension; a list
// written into the folder it lists is not one of its own rows, under its
// numbered name or its own.
TEST_F(ListCliTest, TheOutputIsWrittenAsNamedAndNeverListsItself)
{
    ASSERT_EQ(::mkfifo(Out("pipe").c_str(), 0600), 0);
    // Open for reading first, so that the run's open for writing goes through.
    const int reader = ::open(Out("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    RunResult run = Run({"-q", "-f", "csv", "-c", "Songname", "--sort", m_music.Path(), "pipe"});
    std::string piped(4096, '\0');
    const ssize_t got = ::read(reader, piped.data(), piped.size());
    ::close(reader);
    piped.resize(static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(piped, "Songname\r\nAlpha\r\nBeta\r\n");
    EXPECT_FALSE(std::filesystem::exists(Out("pipe.csv")));

    for (const std::string& output : {m_music.Path(), Music("list.csv")}) {
        SCOPED_TRACE(output);
        WriteText(Music("list.csv"), "old\r\n");
        run = Run({"-q", "-e", "mp3,csv", "-f", "csv", "-c", "Songname", "--no-sort",
                   m_music.Path(), output});
        EXPECT_EQ(run.Status, 0) << run.Err;
        // The old list beside a numbered one is a file like any other.
        const bool numbered = output == m_music.Path();
        const std::string written = numbered ? Music("TrackRoll1.csv") : output;
        EXPECT_EQ(ReadFile(written), "Songname\r\nBeta\r\nAlpha\r\n" +
                                         (numbered ? Music("list.csv") + ",ERROR\r\n" : ""));
        std::filesystem::remove(written);
    }
}

// Limits of the system end a run cleanly: without threads to be had the list
// is written all the same; a file-size limit or exhausted memory is an
// input/output error that names the cause, and the numbered name reserved
// for the list is given back (no file remains).
TEST_F(ListCliTest, LimitsOfTheSystemEndTheRunCleanly)
{
    if (::access("/usr/bin/prlimit", X_OK) != 0 || ::access("/usr/bin/timeout", X_OK) != 0) {
        GTEST_SKIP() << "no prlimit or timeout";
    }
    // Enough files for a list far larger than a few blocks, as links to one.
    for (int i = 0; i < 3000; ++i) {
        std::filesystem::create_hard_link(Music("b.mp3"),
                                          Music("sub/" + std::to_string(i) + ".mp3"));
    }
    for (const std::string& folder :
         {m_home.Path(), m_home.File("config"), m_music.Path(), Music("sub"), m_out.Path()}) {
        chmod(folder.c_str(), 0777);
    }

    struct Row
    {
        const char* Case;
        std::string Limit;
        std::vector<std::string> Args;
        int Status;
        std::string Message; // a part of standard error
        std::vector<std::string> Left;
    };

    const std::string tooLarge = "Cannot write '" + Out("TrackRoll1.csv") + "': File too large";
    std::vector<Row> rows = {
        {"no thread to be had",
         "--nproc=1",
         {"--threads", "4", "-c", "Filename"},
         0,
         "",
         {"TrackRoll1.csv"}},
        {"a file-size limit",
         "--fsize=65536",
         {"-c", "Filename,Custom Info", "--custom", std::string(100, 'x')},
         3,
         tooLarge,
         {}},
    };
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The address and thread sanitizers cannot run under a limit of the
    // address space.
    rows.push_back({"out of memory",
                    "--as=300000000",
                    {"-c", "Filename,Custom Info", "--custom", std::string(120000, 'x')},
                    3,
                    "out of memory",
                    {}});
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Case);
        // A run that hangs (with the ending signals held back) is killed.
        std::vector<std::string> args = {
            "-s", "KILL", "120", "/usr/bin/prlimit", row.Limit, "--", SONORIX_LIST_EXE,
            "-q", "-f",   "csv"};
        args.insert(args.end(), row.Args.begin(), row.Args.end());
        args.insert(args.end(), {m_music.Path(), m_out.Path()});
        const RunResult run = TestSupport::RunProgram(
            "/usr/bin/timeout", args, m_home.Path(),
            // The leak check at the end of a sanitized run needs a thread of its own.
            {.Environment = {{"XDG_CONFIG_HOME", m_home.File("config")},
                             // A cache folder the unprivileged user can make.
                             {"XDG_CACHE_HOME", m_home.File("cache")},
                             {"ASAN_OPTIONS", "detect_leaks=0"}},
             .Unprivileged = true});
        EXPECT_EQ(run.Status, row.Status) << run.Err;
        if (row.Message.empty()) {
            EXPECT_EQ(run.Err, "");
        } else {
            EXPECT_THAT(run.Err, HasSubstr(row.Message));
        }
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(m_out.Path())) {
            left.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(left, row.Left);
        std::filesystem::remove_all(Out("TrackRoll1.csv"));
    }
}

namespace {

// Files changed this recently are read but not yet remembered by the scan
// cache; the cache tests wait this long after writing their files.
constexpr std::chrono::milliseconds kSettle{2100};

std::string CachePath(const std::string& analysis)
{
    return std::string(std::getenv("XDG_CACHE_HOME")) + "/sonorix/scan-" + analysis + ".cache";
}

// The lines of text that hold what.
long LinesWith(const std::string& text, const std::string& what)
{
    std::istringstream lines(text);
    long count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += line.find(what) != std::string::npos ? 1 : 0;
    }
    return count;
}

} // namespace

TEST_F(ListCliTest, ListsAreTheSameWithAndWithoutTheScanCache)
{
    Samples::WriteSamples(Music("samples"));
    std::this_thread::sleep_for(kSettle);
    const RunResult columns = Run({"--list-columns"});
    std::string captions;
    std::istringstream lines(columns.Out);
    for (std::string caption; std::getline(lines, caption);) {
        captions += (captions.empty() ? "" : ",") + caption;
    }
    std::vector<std::string> sources = {Music("samples")};
    if (std::filesystem::is_directory(SONORIX_CORPUS_DIR)) {
        sources.emplace_back(SONORIX_CORPUS_DIR);
    } else {
        std::cout << "no corpus at " << SONORIX_CORPUS_DIR << ": its rows are left out\n";
    }
    const std::vector<std::vector<std::string>> formats = {
        {"-f", "csv", "--sort"},
        {"-f", "html", "--no-sort"},
        {"-f", "txt", "--sort"},
        {"-f", "custom", "--separator", ";", "--no-sort"}};
    for (const std::string& source : sources) {
        for (const std::string analysis : {"classic", "full"}) {
            for (const std::vector<std::string>& format : formats) {
                SCOPED_TRACE(source + " " + analysis + " " + format[1]);
                std::vector<std::string> args = {
                    "-q",         "-c",    captions, "-e", "mp3,mp2,wav,flac,ogg,opus,m4a",
                    "--analysis", analysis};
                args.insert(args.end(), format.begin(), format.end());
                args.insert(args.end(), {source, "-"});
                std::vector<std::string> uncached = args;
                uncached.insert(uncached.begin(), "--no-cache");
                const RunResult reference = Run(uncached);
                ASSERT_EQ(reference.Status, 0) << reference.Err;
                // The first run fills the cache, the second reads from it.
                for (int round = 0; round < 2; ++round) {
                    const RunResult run = Run(args);
                    EXPECT_EQ(run.Status, 0);
                    EXPECT_EQ(run.Err, "");
                    EXPECT_EQ(run.Out, reference.Out);
                }
                EXPECT_GT(std::filesystem::file_size(CachePath(analysis)), 200u);
            }
        }
    }
}

TEST_F(ListCliTest, AFileChangedInPlaceOrReplacedIsReadAgain)
{
    WriteSong(Music("c.mp3"), "Gamma");
    std::this_thread::sleep_for(kSettle);
    const std::vector<std::string> args = {"-q",       "-f",     "csv",          "-c",
                                           "Songname", "--sort", m_music.Path(), "-"};
    ASSERT_EQ(Run(args).Out, "Songname\r\nAlpha\r\nBeta\r\nGamma\r\n");
    ASSERT_THAT(ReadFile(CachePath("classic")), AllOf(HasSubstr("Beta"), HasSubstr("Gamma")))
        << "the titles are remembered";

    // Beta's title changes in place: same size, and its times put back.
    struct stat before = {};
    ASSERT_EQ(stat(Music("b.mp3").c_str(), &before), 0);
    {
        std::fstream song(Music("b.mp3"), std::ios::in | std::ios::out | std::ios::binary);
        song.seekp(16000 - 128 + 3);
        song.write("Bravo", 5);
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, Music("b.mp3").c_str(), times, 0), 0);
    // Gamma is replaced by another file of the same size and times.
    struct stat gamma = {};
    ASSERT_EQ(stat(Music("c.mp3").c_str(), &gamma), 0);
    WriteSong(Music(".c.new"), "Delta");
    const timespec gammaTimes[2] = {gamma.st_atim, gamma.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, Music(".c.new").c_str(), gammaTimes, 0), 0);
    ASSERT_EQ(std::rename(Music(".c.new").c_str(), Music("c.mp3").c_str()), 0);

    const RunResult run = Run(args);
    EXPECT_EQ(run.Out, "Songname\r\nAlpha\r\nBravo\r\nDelta\r\n");
    EXPECT_EQ(run.Err, "");
}

TEST_F(ListCliTest, ADamagedScanCacheIsNamedOnceAndRebuilt)
{
    std::this_thread::sleep_for(kSettle);
    const std::vector<std::string> args = {"-q",           "-f", "csv", "-c", "Songname,Artist",
                                           m_music.Path(), "-"};
    const std::string list = "Songname,Artist\r\nAlpha,Band\r\nBeta,Band\r\n";
    ASSERT_EQ(Run(args).Out, list);
    const std::string good = ReadFile(CachePath("classic"));
    ASSERT_GT(good.size(), 40u);

    struct Damage
    {
        const char* Name;
        std::string Bytes;
        const char* Reason;
    };

    std::string flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x20);
    std::string otherFormat = good;
    otherFormat[8] = '\x63';
    const Damage damages[] = {
        {"truncated", good.substr(0, good.size() / 2), "damaged"},
        {"a byte changed", flipped, "checksum"},
        {"another format", otherFormat, "another format"},
        {"another program's file", "GIF89a and then some", "no Sonorix scan cache"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.Name);
        WriteText(CachePath("classic"), damage.Bytes);
        const RunResult run = Run(args);
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Out, list);
        EXPECT_EQ(LinesWith(run.Err, ""), 1) << run.Err;
        EXPECT_THAT(run.Err, AllOf(StartsWith("sonorix-list: warning: scan cache '" +
                                              CachePath("classic") + "' not used: "),
                                   HasSubstr(damage.Reason)));
        // Rebuilt by that run: the next one uses it without a word.
        const RunResult next = Run(args);
        EXPECT_EQ(next.Out, list);
        EXPECT_EQ(next.Err, "");
        EXPECT_EQ(ReadFile(CachePath("classic")), good);
    }
}

TEST_F(ListCliTest, AScanCacheThatCannotBeWrittenIsNamedOnceAndTheListStillWritten)
{
    std::this_thread::sleep_for(kSettle);
    const std::vector<std::string> args = {"-q",       "-f",           "csv", "-c",
                                           "Songname", m_music.Path(), "-"};
    const std::string list = "Songname\r\nAlpha\r\nBeta\r\n";
    // Another run holds the lock longer than a moment.
    std::filesystem::create_directories(std::filesystem::path(CachePath("classic")).parent_path());
    const std::string lockPath = std::string(std::getenv("XDG_CACHE_HOME")) + "/sonorix/scan.lock";
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    RunResult run = Run(args);
    close(lock);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, list);
    EXPECT_EQ(run.Err, "sonorix-list: warning: scan cache '" + CachePath("classic") +
                           "' not updated: it was locked by another run for more than 2 "
                           "seconds\n");
    EXPECT_FALSE(std::filesystem::exists(CachePath("classic")));

    // The cache folder cannot be made: a file is in its place.
    const std::string blocked = m_home.File("blocked");
    WriteText(blocked, "");
    run = TestSupport::RunProgram(
        SONORIX_LIST_EXE, args, m_home.Path(),
        {.Environment = {{"XDG_CONFIG_HOME", m_home.File("config")}, {"XDG_CACHE_HOME", blocked}}});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, list);
    EXPECT_EQ(LinesWith(run.Err, ""), 1) << run.Err;
    EXPECT_THAT(run.Err, AllOf(HasSubstr("' not updated: cannot create the folder '" + blocked +
                                         "': Not a directory")));
}

TEST_F(ListCliTest, RunsAtOnceMakeTheSameListAndLeaveAUsableScanCache)
{
    for (int i = 0; i < 40; ++i) {
        WriteSong(Music("song " + std::to_string(i) + ".mp3"), "Song " + std::to_string(i));
    }
    std::this_thread::sleep_for(kSettle);
    const std::vector<std::string> args = {
        "-q", "-f", "csv", "-c", "Songname,Filesize", "--sort", m_music.Path(), "-"};
    std::vector<std::string> uncached = args;
    uncached.insert(uncached.begin(), "--no-cache");
    const std::string list = Run(uncached).Out;

    constexpr std::size_t kRuns = 4;
    std::vector<TempDir> scratch(kRuns);
    std::vector<RunResult> runs(kRuns);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < kRuns; ++i) {
        threads.emplace_back([&, i] {
            runs[i] = TestSupport::RunProgram(
                SONORIX_LIST_EXE, args, scratch[i].Path(),
                {.Environment = {{"XDG_CONFIG_HOME", m_home.File("config")}}});
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const RunResult& run : runs) {
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Out, list);
    }
    const RunResult next = Run(args);
    EXPECT_EQ(next.Out, list);
    EXPECT_EQ(next.Err, "") << "the cache the runs left is whole";
    EXPECT_THAT(ReadFile(CachePath("classic")), HasSubstr("Song 39"));
}

TEST_F(ListCliTest, NoCacheReadsEveryFileAndLeavesTheScanCacheAlone)
{
    const std::vector<std::string> args = {"-q",       "-f",     "csv",          "-c",
                                           "Songname", "--sort", m_music.Path(), "-"};
    EXPECT_EQ(
        Run({"--no-cache", args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7]})
            .Out,
        "Songname\r\nAlpha\r\nBeta\r\n");
    EXPECT_FALSE(std::filesystem::exists(std::getenv("XDG_CACHE_HOME") + std::string("/sonorix")))
        << "no cache made";

    std::this_thread::sleep_for(kSettle);
    ASSERT_EQ(Run(args).Status, 0);
    const std::string cached = ReadFile(CachePath("classic"));
    struct stat before = {};
    ASSERT_EQ(stat(CachePath("classic").c_str(), &before), 0);
    // A cached run would now remember the new title.
    std::filesystem::remove(Music("b.mp3"));
    WriteSong(Music("b.mp3"), "Bravo");
    std::vector<std::string> uncached = args;
    uncached.insert(uncached.begin(), "--no-cache");
    EXPECT_EQ(Run(uncached).Out, "Songname\r\nAlpha\r\nBravo\r\n");
    struct stat after = {};
    ASSERT_EQ(stat(CachePath("classic").c_str(), &after), 0);
    EXPECT_EQ(ReadFile(CachePath("classic")), cached);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

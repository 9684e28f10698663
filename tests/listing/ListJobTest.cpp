#include "listing/ListJob.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "analysis/MP3Tools.h"
#include "base/IoError.h"
#include "base/LongPath.h"
#include "base/SignalCleanup.h"
#include "base/UniqueFd.h"
#include "base/Version.h"
#include "listing/Columns.h"
#include "listing/ScanCache.h"
#include "profiles/ListFormat.h"
#include "samples/Mp3Builder.h"
#include "samples/Samples.h"
#include "tests/support/RunInChild.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Songs.h"
#include "tests/support/TempDir.h"

using namespace Listing;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using TestSupport::Id3v1Fields;
using TestSupport::Mp3Builder;
using TestSupport::TempDir;

namespace {

using TestSupport::kBytesPerSecond;
using TestSupport::WriteSong;

void WriteJunk(const std::string& path, std::size_t size)
{
    Mp3Builder().Fill(size, 0x20).Write(path);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos;
         end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
}

const char* LabelName(ReportLabel label)
{
    switch (label) {
    case ReportLabel::Status:
        return "Status";
    case ReportLabel::Files:
        return "Files";
    case ReportLabel::Bytes:
        return "Bytes";
    case ReportLabel::Minutes:
        return "Minutes";
    case ReportLabel::Untagged:
        return "Untagged";
    case ReportLabel::Invalid:
        return "Invalid";
    case ReportLabel::Progress:
        return "Progress";
    }
    return "?";
}

// Keeps the last text of every label and a log of what the job did.
class RecordingReport final : public ListReport
{
public:
    void SetLabelText(ReportLabel label, const std::string& text) override
    {
        if (std::this_thread::get_id() != m_thread) {
            ++OffThreadCalls;
        }
        Labels[label] = text;
        Log.push_back(std::string(LabelName(label)) + "=" + text);
        // A file removed the moment the walk finds it, before any reader
        // can have looked at it.
        if (label == ReportLabel::Progress && Vanishing.erase(text) > 0) {
            std::filesystem::remove(text);
        }
    }

    void RepaintReportLabel(ReportLabel label) override
    {
        Log.push_back(std::string("paint ") + LabelName(label));
        if (label == ReportLabel::Status) {
            PaintStatus();
        }
    }

    void RepaintWindow() override
    {
        Log.push_back("paint window");
        PaintStatus();
    }

    void SetProgressBar(int position) override
    {
        Bar = position;
        Log.push_back("bar " + std::to_string(position));
    }

    void SetOkEnabled(bool enabled) override
    {
        if (enabled) {
            PaintStatus(); // the window shows every text when the job ends
        }
        OkEnabled = enabled;
        Log.push_back(enabled ? "ok on" : "ok off");
    }

    void ShowReport() override
    {
        Shown = true;
        Log.push_back("show");
    }

    void HideReport() override
    {
        Shown = false;
        Log.push_back("hide");
    }

    // Stands for anything that stops a job on its way (a file that cannot be
    // read) when FailOnScan is set.
    void ScanStarted(std::int64_t) override
    {
        if (FailOnScan) {
            throw IoError("Cannot read 'song.mp3': Input/output error");
        }
    }

    // The texts one label was given, in order.
    std::vector<std::string> History(ReportLabel label) const
    {
        const std::string prefix = std::string(LabelName(label)) + "=";
        std::vector<std::string> texts;
        for (const std::string& entry : Log) {
            if (entry.rfind(prefix, 0) == 0) {
                texts.push_back(entry.substr(prefix.size()));
            }
        }
        return texts;
    }

    std::map<ReportLabel, std::string> Labels{};
    // The phase texts a window would have painted, in order.
    std::vector<std::string> PaintedPhases{};
    std::vector<std::string> Log{};
    std::set<std::string> Vanishing{};
    int OffThreadCalls = 0;
    int Bar = -1;
    bool OkEnabled = false;
    bool Shown = false;
    bool FailOnScan = false;

private:
    void PaintStatus()
    {
        const std::string& status = Labels[ReportLabel::Status];
        if (PaintedPhases.empty() || PaintedPhases.back() != status) {
            PaintedPhases.push_back(status);
        }
    }

    std::thread::id m_thread = std::this_thread::get_id();
};

// The custom-info prompts the job opened, with their exact caption, prompt
// and empty entry.
long CustomInfoPrompts(const TestSupport::ScriptedDialogs& dialogs)
{
    return std::count(dialogs.Log.begin(), dialogs.Log.end(),
                      "Input: Custom Info/Enter Custom Info/");
}

Profiles::Profile MakeProfile(Profiles::ListFormat format, const std::vector<std::string>& captions)
{
    Profiles::Profile profile;
    profile.Name = "Test";
    profile.Sort = false;
    profile.FontStyle = "Arial";
    profile.FontColorText = "#FF8000";
    profile.BackColorText = "#004080";
    profile.Back2ColorText = "#0057B8";
    profile.HeaderColorText = "#000000";
    profile.Headline = "List created by Sonorix";
    profile.ListFormat = format;
    profile.Extensions = {"mp3"};
    profile.Information = captions;
    profile.Checked.assign(captions.size(), true);
    return profile;
}

class ListJobTest : public ::testing::Test
{
protected:
    ListJobInput Input(Profiles::Profile& profile, const std::string& output)
    {
        return ListJobInput{.Source = m_music.Path(),
                            .IncludeSubdirectories = true,
                            .Output = output,
                            .Profile = profile,
                            .AskForCustom = false,
                            .DefaultFileName = "TrackRoll"};
    }

    ListJobResult Run(ListJobInput& input) { return StartListJob(input, m_report, m_dialogs); }

    std::string Music(const std::string& name) const { return m_music.File(name); }

    std::string Out(const std::string& name) const { return m_out.File(name); }

    TempDir m_music{"sonorix-music"};
    TempDir m_out{"sonorix-out"};
    RecordingReport m_report;
    TestSupport::ScriptedDialogs m_dialogs;
};

} // namespace

TEST_F(ListJobTest, CsvListOfAFolderTree)
{
    std::filesystem::create_directory(Music("sub"));
    WriteSong(Music("b.mp3"), 2, Id3v1Fields{.Title = "Beta, the second", .Artist = "Band"});
    WriteSong(Music("sub/a.mp3"), 61, Id3v1Fields{.Title = "Alpha", .Artist = "Band \"B\""});
    WriteSong(Music("sub/Untagged Song.MP3"), 1, std::nullopt);
    WriteJunk(Music("broken.mp3"), 3000);
    WriteSong(Music("notes.txt"), 1, std::nullopt);
    Profiles::Profile profile =
        MakeProfile(Profiles::ListFormat::Csv, {"Songname", "Artist", "Time", "Filesize", "Type"});
    profile.Sort = true;
    ListJobInput input = Input(profile, Out("list"));

    EXPECT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(input.Output, Out("list.csv"));
    EXPECT_EQ(ReadFile(Out("list.csv")), "Songname,Artist,Time,Filesize,Type\r\n" +
                                             Music("broken.mp3") +
                                             ",ERROR, , , \r\n"
                                             "Alpha,\"Band \"\"B\"\"\",01:01,976.000,MP3\r\n"
                                             "\"Beta, the second\",Band,00:02,32.000,MP3\r\n"
                                             "Untagged Song,,00:01,16.000,MP3\r\n");
    EXPECT_TRUE(m_dialogs.Messages.empty());
    EXPECT_EQ(m_report.Labels[ReportLabel::Status], "Done!");
    EXPECT_EQ(m_report.Labels[ReportLabel::Files], "4");
    EXPECT_EQ(m_report.Labels[ReportLabel::Bytes], "1.024.000");
    EXPECT_EQ(m_report.Labels[ReportLabel::Minutes], "01:04");
    EXPECT_EQ(m_report.Labels[ReportLabel::Untagged], "1");
    EXPECT_EQ(m_report.Labels[ReportLabel::Invalid], "1");
    EXPECT_EQ(m_report.Labels[ReportLabel::Progress], "");
    EXPECT_TRUE(m_report.OkEnabled);
    EXPECT_TRUE(m_report.Shown);
}

TEST_F(ListJobTest, TextAndCustomFormats)
{
    WriteSong(Music("a.mp3"), 1, Id3v1Fields{.Title = "Tab\there", .Artist = "A|B"});
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Text, {"Songname", "Artist"});
    ListJobInput input = Input(profile, Out("list"));
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(ReadFile(Out("list.txt")), "Songname\tArtist\r\nTab here\tA|B\r\n");

    profile.ListFormat = Profiles::ListFormat::Custom;
    input.Output = Out("list");
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(profile.Separator, ","); // an empty separator becomes ","
    EXPECT_EQ(ReadFile(Out("list.idx")), "Songname,Artist\r\nTab\there,A|B\r\n");

    profile.Separator = " | ";
    input.Output = Out("list.idx");
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(ReadFile(Out("list.idx")), "Songname | Artist\r\nTab\there | A|B\r\n");
}

TEST_F(ListJobTest, HtmlPageWithColouredRowsAndSummary)
{
    WriteSong(Music("1.mp3"), 2, Id3v1Fields{.Title = "One & <Only>"});
    WriteSong(Music("2.mp3"), 3, Id3v1Fields{.Title = "Two"});
    WriteSong(Music("3.mp3"), 4, std::nullopt);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Html, {"Songname", "Time"});
    profile.Sort = true;
    profile.Headline = "My <List>";
    ListJobInput input = Input(profile, Out("page"));
    ASSERT_EQ(Run(input), ListJobResult::Written);

    const std::vector<std::string> lines = Lines(ReadFile(Out("page.html")));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0],
              "<html><head><meta http-equiv=\"Content-Type\"content=\"text/html; charset=utf-8\">"
              "<meta name=\"GENERATOR\" content=\"Sonorix 3.1\"><title>My &lt;List&gt;</title>"
              "</head><basefont face=\"Arial\"><basefont size=2><basefont color=#FF8000>");
    EXPECT_EQ(lines[2],
              "<body bgcolor=\"#004080\" text=\"#FF8000\" link=\"#FF8000\"vlink=\"#FF8000\"><p>"
              "<h1>My &lt;List&gt;</h1></p><p>Scanned 3 files, 1 untagged, 144.000 bytes total, "
              "00:09 hours, 00:03 average length.</p><table border=\"0\" width=\"100%\">");
    EXPECT_EQ(lines[3], "<tr><td bgcolor=\"#000000\"><strong>Songname</td>"
                        "<td bgcolor=\"#000000\"><strong>Time</strong></td></tr>");
    EXPECT_EQ(lines[4], "<tr><td>3</td><td>00:04</td></tr>");
    EXPECT_EQ(lines[5], "<tr><td bgcolor=\"#0057B8\">One &amp; &lt;Only&gt;</td>"
                        "<td bgcolor=\"#0057B8\">00:02</td></tr>");
    EXPECT_EQ(lines[6], "<tr><td>Two</td><td>00:03</td></tr>");
    EXPECT_THAT(lines[7], StartsWith("</table><p>Index created on "));

    profile.Save30 = true;
    input.Output = Out("page.html");
    ASSERT_EQ(Run(input), ListJobResult::Written);
    const std::string page = ReadFile(Out("page.html"));
    EXPECT_THAT(page, Not(HasSubstr("#0057B8")));
    EXPECT_THAT(page, HasSubstr("<td bgcolor=\"#000000\"><strong>Songname"));
}

TEST_F(ListJobTest, AppendAddsHeaderAndRowsBehindTheOldContent)
{
    WriteSong(Music("a.mp3"), 1, Id3v1Fields{.Title = "A"});
    {
        std::ofstream(Out("list.csv"), std::ios::binary) << "old line\r\n";
    }
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    profile.AppendToList = true;
    ListJobInput input = Input(profile, Out("list.csv"));
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(ReadFile(Out("list.csv")), "old line\r\nSongname\r\nA\r\n");

    profile.AppendToList = false;
    input.Output = Out("list.csv");
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(ReadFile(Out("list.csv")), "Songname\r\nA\r\n");
}

TEST_F(ListJobTest, OutputFolderGetsTheFirstFreeNumberedName)
{
    WriteSong(Music("a.mp3"), 1, std::nullopt);
    WriteJunk(Out("TrackRoll1.html"), 10);
    std::filesystem::create_directory(Out("TrackRoll2.html")); // taken, though a folder
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Html, {"Songname"});
    for (const std::string& output : {m_out.Path(), m_out.Path() + "/"}) {
        SCOPED_TRACE(output);
        ListJobInput input = Input(profile, output);
        ASSERT_EQ(Run(input), ListJobResult::Written);
        EXPECT_EQ(input.Output, Out("TrackRoll3.html"));
        std::filesystem::remove(Out("TrackRoll3.html"));
    }
}

TEST_F(ListJobTest, NumberedNameIsHeldFromTheChoiceAndGivenBackWhenNoListIsWritten)
{
    WriteSong(Music("a.mp3"), 1, std::nullopt);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    // Two jobs that choose at the same time get two names.
    ListJobInput first = Input(profile, m_out.Path());
    ListJobInput second = Input(profile, m_out.Path());
    EXPECT_EQ(CheckListInputs(first), "");
    EXPECT_EQ(CheckListInputs(second), "");
    EXPECT_EQ(first.Output, Out("TrackRoll1.csv"));
    EXPECT_EQ(second.Output, Out("TrackRoll2.csv"));
    ReleaseReservedOutput(first.Reserved);
    ReleaseReservedOutput(second.Reserved);
    EXPECT_TRUE(std::filesystem::is_empty(m_out.Path()));

    // A job that writes no list gives its name back, and only its own: the
    // name another job holds stays taken.
    std::ofstream(Out("TrackRoll1.csv")).flush();

    struct Row
    {
        const char* Case;
        std::vector<std::string> Extensions;
        bool Selected;
        std::optional<ListJobResult> Result; // none: the job stops on an error
    };

    const Row rows[] = {{"nothing selected", {"mp3"}, false, ListJobResult::Rejected},
                        {"no files", {"ogg"}, true, ListJobResult::NoFiles},
                        {"an error", {"mp3"}, true, std::nullopt}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Case);
        profile.Extensions = row.Extensions;
        profile.Checked = {row.Selected};
        ListJobInput input = Input(profile, m_out.Path());
        RecordingReport report;
        report.FailOnScan = !row.Result;
        if (row.Result) {
            EXPECT_EQ(StartListJob(input, report, m_dialogs), *row.Result);
        } else {
            EXPECT_THROW(StartListJob(input, report, m_dialogs), IoError);
        }
        EXPECT_EQ(input.Output, Out("TrackRoll2.csv"));
        EXPECT_FALSE(std::filesystem::exists(Out("TrackRoll2.csv")));
        EXPECT_TRUE(std::filesystem::exists(Out("TrackRoll1.csv")));
    }
}

// Giving a name back removes only the empty file the job made: a file that
// has taken the name since (another run, the user) stays.
TEST_F(ListJobTest, AGivenBackNameTakenOverMeanwhileStays)
{
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    ListJobInput input = Input(profile, m_out.Path());
    ASSERT_EQ(CheckListInputs(input), "");
    ASSERT_EQ(input.Output, Out("TrackRoll1.csv"));
    // Made while the held file is still there, so it cannot share its inode.
    std::ofstream(Out("other"), std::ios::binary) << "someone else's";
    std::filesystem::rename(Out("other"), Out("TrackRoll1.csv"));
    ReleaseReservedOutput(input.Reserved);
    EXPECT_EQ(ReadFile(Out("TrackRoll1.csv")), "someone else's");
    EXPECT_TRUE(input.Reserved.Path.empty());
}

// Without a descriptor to spare, the name cannot be taken as a file, yet a
// name that is there is still passed over.
TEST_F(ListJobTest, WithNoDescriptorLeftTheNumberedNameSkipsTakenNames)
{
    WriteJunk(Out("TrackRoll1.csv"), 10);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    const TestSupport::ChildResult child = TestSupport::RunInChild(
        [&] {
            ListJobInput input = Input(profile, m_out.Path());
            std::vector<UniqueFd> spent;
            for (UniqueFd fd(::dup(0)); fd.Valid(); fd = UniqueFd(::dup(0))) {
                spent.push_back(std::move(fd));
            }
            return CheckListInputs(input) + "|" + input.Output;
        },
        {.Limits = {{RLIMIT_NOFILE, 32}}});
    EXPECT_EQ(child.Output, "|" + Out("TrackRoll2.csv"));
    EXPECT_EQ(ReadFile(Out("TrackRoll1.csv")).size(), 10u);
}

// A name held in a folder whose path is longer than the system takes in one
// call is given back as well.
TEST_F(ListJobTest, NumberedNameBeyondPathMaxIsGivenBackWhenNoListIsWritten)
{
    WriteSong(Music("a.mp3"), 1, std::nullopt);
    std::string folder = m_out.Path();
    while (folder.size() < PATH_MAX) {
        const std::string name(200, 'd');
        UniqueFd parent;
        ASSERT_EQ(LongPath::Open(AT_FDCWD, folder, LongPath::kFolderFlags, parent), 0);
        ASSERT_EQ(::mkdirat(parent.Get(), name.c_str(), 0755), 0);
        folder += "/" + name;
    }
    const std::string held = folder + "/TrackRoll1.csv";
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    for (const bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "an error" : "no files");
        profile.Extensions = {failing ? "mp3" : "ogg"};
        ListJobInput input = Input(profile, folder);
        RecordingReport report;
        report.FailOnScan = failing;
        if (failing) {
            EXPECT_THROW(StartListJob(input, report, m_dialogs), IoError);
        } else {
            EXPECT_EQ(StartListJob(input, report, m_dialogs), ListJobResult::NoFiles);
        }
        EXPECT_EQ(input.Output, held);
        struct stat status = {};
        EXPECT_EQ(LongPath::Stat(AT_FDCWD, held, status, AT_SYMLINK_NOFOLLOW), ENOENT);
    }
}

// A program ended by a signal while its job waits (here at the custom-info
// prompt) leaves no empty numbered name behind, and still ends by that
// signal; a name the job no longer holds (its list written) stays.
TEST_F(ListJobTest, ASignalDuringTheJobTakesTheHeldNameAlong)
{
    WriteSong(Music("a.mp3"), 1, std::nullopt);

    class Interrupting final : public UnattendedDialogs
    {
    public:
        std::optional<std::string> InputBox(const std::string&, const std::string&,
                                            const std::string&) override
        {
            ::raise(SIGINT);
            return std::nullopt;
        }

    private:
        void Show(const std::string&) override {}
    };

    for (const bool written : {false, true}) {
        SCOPED_TRACE(written ? "after the list was written" : "during the job");
        const TestSupport::ChildResult ended = TestSupport::RunInChild([&] {
            SignalCleanup::InstallHandlers();
            Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Custom Info"});
            ListJobInput input = Input(profile, m_out.Path());
            input.AskForCustom = !written;
            Interrupting dialogs;
            RecordingReport report;
            static_cast<void>(StartListJob(input, report, dialogs));
            ::raise(SIGINT);
            return std::string("not interrupted");
        });
        EXPECT_EQ(ended.Ending(), "signal " + std::to_string(SIGINT)) << ended.Output;
        EXPECT_EQ(std::filesystem::exists(Out("TrackRoll1.csv")), written);
    }
}

TEST_F(ListJobTest, EachMissingInputHasItsMessage)
{
    WriteSong(Music("a.mp3"), 1, std::nullopt);

    struct Row
    {
        const char* Case;
        std::string Source;
        std::string Output;
        std::vector<std::string> Extensions;
        bool Selected;
        std::vector<std::string> Messages;
        Profiles::ListFormat Format = Profiles::ListFormat::Csv;
    };

    const std::string error = " Error - Please enter all neccessary information - aborting...";
    const Row rows[] = {
        {"no source", "", Out("list.csv"), {"mp3"}, true, {"Source/Output File" + error}},
        {"no output", m_music.Path(), "", {"mp3"}, true, {"Source/Output File" + error}},
        {"missing source",
         Music("nothing"),
         Out("l.csv"),
         {"mp3"},
         true,
         {"Source Folder" + error}},
        {"no extension", m_music.Path(), Out("l.csv"), {}, true, {"Extensions" + error}},
        {"nothing selected", m_music.Path(), Out("l.csv"), {}, false, {"List information" + error}},
        {"no list format",
         m_music.Path(),
         Out("l.csv"),
         {"mp3"},
         true,
         {"List format" + error},
         Profiles::ListFormat::None},
        {"output folder missing",
         m_music.Path(),
         Out("gone/list.csv"),
         {"mp3"},
         true,
         {"Please enter a valid filename!", "Source/Output File" + error}},
        {"bare file name",
         m_music.Path(),
         "list.csv",
         {"mp3"},
         true,
         {"Please enter a valid filename!", "Source/Output File" + error}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Case);
        Profiles::Profile profile = MakeProfile(row.Format, {"Songname"});
        profile.Extensions = row.Extensions;
        profile.Checked = {row.Selected};
        ListJobInput input = Input(profile, row.Output);
        input.Source = row.Source;
        TestSupport::ScriptedDialogs prompt;
        RecordingReport report;
        EXPECT_EQ(StartListJob(input, report, prompt), ListJobResult::Rejected);
        EXPECT_EQ(prompt.Messages, row.Messages);
        EXPECT_TRUE(report.Log.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(Out("l.csv")));
}

TEST_F(ListJobTest, OutputFileNeedsAnExistingFolder)
{
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    ListJobInput input = Input(profile, "/");
    input.Output = m_out.File("sub/list.csv");
    EXPECT_EQ(CheckListInputs(input), "Output File");
    input.Output = "/list.csv";
    EXPECT_EQ(CheckListInputs(input), "");
}

TEST(CompleteOutputName, AddsTheExtensionOnlyToLongNamesWithoutOne)
{
    TempDir dir;

    struct Row
    {
        std::string In;
        Profiles::ListFormat Format;
        std::string Out;
    };

    const Row rows[] = {
        {dir.File("music"), Profiles::ListFormat::Html, dir.File("music.html")},
        {dir.File("music.txt"), Profiles::ListFormat::Html, dir.File("music.txt")},
        {dir.File("music"), Profiles::ListFormat::None, dir.File("music")},
        {"/a/bcd", Profiles::ListFormat::Csv, "/a/bcd.csv"},
        {"/a/bc", Profiles::ListFormat::Csv, "/a/bc"}, // five characters
        {"/a/éé", Profiles::ListFormat::Csv, "/a/éé"}, // five characters in seven bytes
        {"/", Profiles::ListFormat::Csv, "/"},
        {dir.Path(), Profiles::ListFormat::Csv, dir.Path()}, // an existing folder
        {"", Profiles::ListFormat::Csv, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.In);
        std::string output = row.In;
        CompleteOutputName(output, row.Format);
        EXPECT_EQ(output, row.Out);
    }
}

// Only a plain file, or nothing yet, takes the extension: a device, a pipe
// or a socket is written under the name it has.
TEST(CompleteOutputName, AnOutputThatIsThereButNoPlainFileKeepsItsName)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("a pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir.File("a pipe"), dir.File("a link"));
    const UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir.File("a socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(listening.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
    std::ofstream(dir.File("a file")).close();
    // /dev/stdout of a program whose output goes to a file.
    const UniqueFd open(::open(dir.File("a file").c_str(), O_WRONLY | O_CLOEXEC));
    const std::string descriptor = "/dev/fd/" + std::to_string(open.Get());

    const std::pair<std::string, std::string> rows[] = {
        {"/dev/null", "/dev/null"},
        {descriptor, descriptor},
        {dir.File("a pipe"), dir.File("a pipe")},
        {dir.File("a link"), dir.File("a link")},
        {socketPath, socketPath},
        {dir.File("a file"), dir.File("a file.csv")},
    };
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in);
        std::string output = in;
        CompleteOutputName(output, Profiles::ListFormat::Csv);
        EXPECT_EQ(output, out);
    }
}

// The file the job writes is never a row of its own list, whatever name or
// link the walk finds it under; any other matching file is.
TEST_F(ListJobTest, TheListIsNeverARowOfItself)
{
    WriteSong(Music("a.mp3"), 1, Id3v1Fields{.Title = "A"});
    WriteJunk(Music("other.csv"), 10);
    const std::string list = "Songname,Time\r\n" + Music("other.csv") + ",ERROR\r\nA,00:01\r\n";

    struct Row
    {
        const char* Case;
        std::string Output;
        bool Append;
        std::function<void()> Setup;
        std::string Written; // where the list ends up
        std::string Before;  // what the list holds in front of the new one
    };

    const auto oldList = [this](const std::string& path) {
        return [path] { std::ofstream(path, std::ios::binary) << "old\r\n"; };
    };
    const Row rows[] = {
        {"its numbered name", m_music.Path(), false, [] {}, Music("TrackRoll1.csv"), ""},
        {"the list it replaces", Music("list.csv"), false, oldList(Music("list.csv")),
         Music("list.csv"), ""},
        {"the list it appends to", Music("list.csv"), true, oldList(Music("list.csv")),
         Music("list.csv"), "old\r\n"},
        {"a link to the list", Out("list.csv"), false,
         [&] {
             oldList(Out("list.csv"))();
             std::filesystem::create_symlink(Out("list.csv"), Music("link.csv"));
         },
         Out("list.csv"), ""},
        {"a hard link to the list", Out("list.csv"), false,
         [&] {
             oldList(Out("list.csv"))();
             std::filesystem::create_hard_link(Out("list.csv"), Music("hard.csv"));
         },
         Out("list.csv"), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Case);
        row.Setup();
        Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname", "Time"});
        profile.Sort = true;
        profile.AppendToList = row.Append;
        profile.Extensions = {"mp3", "csv"};
        ListJobInput input = Input(profile, row.Output);
        ASSERT_EQ(Run(input), ListJobResult::Written);
        EXPECT_EQ(input.Output, row.Written);
        EXPECT_EQ(ReadFile(row.Written), row.Before + list);
        for (const std::string& made : {Music("TrackRoll1.csv"), Music("list.csv"),
                                        Music("link.csv"), Music("hard.csv"), Out("list.csv")}) {
            std::filesystem::remove(made);
        }
    }
}

TEST_F(ListJobTest, NoFilesFoundLeavesTheOutputAlone)
{
    WriteSong(Music("a.ogg"), 1, std::nullopt);
    {
        std::ofstream(Out("list.csv"), std::ios::binary) << "keep me";
    }
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    ListJobInput input = Input(profile, Out("list.csv"));
    EXPECT_EQ(Run(input), ListJobResult::NoFiles);
    EXPECT_EQ(ReadFile(Out("list.csv")), "keep me");
    EXPECT_EQ(m_dialogs.Messages, std::vector<std::string>{"No files found - aborting..."});
    EXPECT_EQ(m_report.Labels[ReportLabel::Status], "No files found!");
    EXPECT_EQ(m_report.Labels[ReportLabel::Files], "-");
    EXPECT_EQ(m_report.Bar, 100);
    EXPECT_FALSE(m_report.Shown);

    input.Output = Out("new.csv");
    EXPECT_EQ(Run(input), ListJobResult::NoFiles);
    EXPECT_FALSE(std::filesystem::exists(Out("new.csv")));
}

TEST_F(ListJobTest, SubfoldersOnlyWhenAsked)
{
    std::filesystem::create_directory(Music("sub"));
    WriteSong(Music("top.mp3"), 1, Id3v1Fields{.Title = "Top"});
    WriteSong(Music("sub/deep.mp3"), 1, Id3v1Fields{.Title = "Deep"});
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    ListJobInput input = Input(profile, Out("list.csv"));
    input.IncludeSubdirectories = false;
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(ReadFile(Out("list.csv")), "Songname\r\nTop\r\n");
}

TEST_F(ListJobTest, RowsSortIgnoringLetterCaseAndByUnquotedText)
{
    const char* titles[] = {"beta", "\"Alpha\"", "Zulu", "alpha2", "Gamma, three", "ärger"};
    for (int i = 0; i < 6; ++i) {
        WriteSong(Music(std::to_string(i) + ".mp3"), 1, Id3v1Fields{.Title = titles[i]});
    }
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    profile.Sort = true;
    ListJobInput input = Input(profile, Out("list.csv"));
    ASSERT_EQ(Run(input), ListJobResult::Written);
    // The quote of "Alpha" is punctuation and sorts before letters.
    EXPECT_EQ(ReadFile(Out("list.csv")), "Songname\r\n\"\"\"Alpha\"\"\"\r\nalpha2\r\n"
                                         "ärger\r\nbeta\r\n\"Gamma, three\"\r\nZulu\r\n");
}

TEST_F(ListJobTest, CustomInfoPromptComesOncePerJob)
{
    // The source folder's own files come first, so the invalid file is the
    // first one scanned.
    WriteJunk(Music("0-broken.mp3"), 3000);
    std::filesystem::create_directory(Music("sub"));
    WriteSong(Music("sub/1.mp3"), 1, std::nullopt);
    WriteSong(Music("sub/2.mp3"), 1, std::nullopt);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Filename", "Custom Info"});
    profile.Sort = true;
    profile.Custom = "old";
    ListJobInput input = Input(profile, Out("list.csv"));
    input.AskForCustom = true;

    m_dialogs.InputAnswers = {std::string("Shelf 4")};
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(CustomInfoPrompts(m_dialogs), 1);
    EXPECT_EQ(profile.Custom, "Shelf 4");
    EXPECT_EQ(ReadFile(Out("list.csv")), "Filename,Custom Info\r\n" + Music("0-broken.mp3") +
                                             ",ERROR\r\n1.mp3,Shelf 4\r\n2.mp3,Shelf 4\r\n");

    m_dialogs.InputAnswers = {std::nullopt}; // Cancel keeps the text
    input.Output = Out("list.csv");
    input.AskForCustom = true;
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(CustomInfoPrompts(m_dialogs), 2);
    EXPECT_EQ(profile.Custom, "Shelf 4");

    m_dialogs.InputAnswers = {std::string()}; // OK with an empty entry empties it
    input.Output = Out("list.csv");
    input.AskForCustom = true;
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(profile.Custom, "");

    profile.Checked = {true, false}; // "Custom Info" not selected: no prompt
    input.Output = Out("list.csv");
    input.AskForCustom = true;
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_EQ(CustomInfoPrompts(m_dialogs), 3);
}

TEST_F(ListJobTest, InvalidFilesCountInTheAverageOnly)
{
    // 240 s at 32 kbit/s (4000 bytes a second).
    Mp3Builder().Frames(3, {.BitrateIndex = 1}).PadTo(240 * 4000).Write(Music("long.mp3"));
    WriteJunk(Music("short.mp3"), 100);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Html, {"Songname", "Time"});
    ListJobInput input = Input(profile, Out("list.html"));
    ASSERT_EQ(Run(input), ListJobResult::Written);
    EXPECT_THAT(ReadFile(Out("list.html")),
                HasSubstr("Scanned 2 files, 1 untagged, 960.000 bytes total, 04:00 hours, 02:00 "
                          "average length."));
    EXPECT_EQ(m_report.Labels[ReportLabel::Invalid], "1");
}

// Sort keys kept from a job serve a row only while its text is the same:
// another order of the columns or another separator gives every row
// another text and the order of that text, and the first order again gives
// the first order back, made anew and then from the kept keys.
TEST_F(ListJobTest, KeptSortKeysFollowTheRowTexts)
{
    // The collator puts "," before ";" and ";" before ":".
    WriteSong(Music("a.mp3"), 1, Id3v1Fields{.Title = "Al", .Artist = "Zed"});
    WriteSong(Music("b.mp3"), 2, Id3v1Fields{.Title = "Al;", .Artist = "Ann"});

    struct Case
    {
        std::vector<std::string> Columns;
        const char* Separator;
        const char* Rows;
    };

    const Case cases[] = {{{"Songname", "Artist"}, ",", "Al,Zed\r\nAl;,Ann\r\n"},
                          {{"Artist", "Songname"}, ",", "Ann,Al;\r\nZed,Al\r\n"},
                          {{"Songname", "Artist"}, ",", "Al,Zed\r\nAl;,Ann\r\n"},
                          {{"Songname", "Artist"}, ",", "Al,Zed\r\nAl;,Ann\r\n"},
                          {{"Songname", "Artist"}, ":", "Al;:Ann\r\nAl:Zed\r\n"}};
    for (const Case& run : cases) {
        SCOPED_TRACE(run.Columns.front() + run.Separator);
        Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Custom, run.Columns);
        profile.Separator = run.Separator;
        profile.Sort = true;
        ListJobInput input = Input(profile, Out("list.csv"));
        input.UseCache = true;
        ASSERT_EQ(Run(input), ListJobResult::Written);
        const std::string list = ReadFile(Out("list.csv"));
        EXPECT_EQ(list.substr(list.find('\n') + 1), run.Rows);
        EXPECT_TRUE(std::filesystem::exists(ScanCache::CacheFolder() + "/sort-keys.cache"));
        std::filesystem::remove(Out("list.csv"));
    }
}

// A file whose device, inode, size and times are what the scan cache holds
// is not read again: its row shows the records the cache gives (here put
// there by hand, so that a row read from the file would differ). Without the
// cache the file is read.
TEST_F(ListJobTest, AnUnchangedFileShowsWhatTheScanCacheHolds)
{
    WriteSong(Music("a.mp3"), 1, Id3v1Fields{.Title = "Alpha"});
    struct stat status = {};
    ASSERT_EQ(::stat(Music("a.mp3").c_str(), &status), 0);
    const std::optional<ScanCache::FileKey> key = ScanCache::KeyOf(status);
    ASSERT_TRUE(key.has_value());
    MP3Tools::AudioFileInfo info;
    MP3Tools::TagInfo tag;
    MP3Tools::ProbeAudioFileAndTag(info, tag, Music("a.mp3"));
    ASSERT_TRUE(info.Valid && tag.Tagged);
    tag.Title = "Remembered";
    ScanCache::Notes notes;
    notes.Add(*key, m_music.Path() + "/", info, tag);
    const ScanCache::Store store(
        ScanCache::CacheFolder(),
        ScanCache::Kind{.Analysis = "classic",
                        .DecimalSeparator = ReadLocaleFacts().DecimalSeparator,
                        .Program = VersionText()});
    const std::optional<std::string> bytes = ScanCache::Encode({}, {&notes}, {}, store.KindOf());
    ASSERT_TRUE(bytes.has_value());
    store.Save(*bytes);

    for (const bool cached : {true, false}) {
        SCOPED_TRACE(cached ? "with the cache" : "without it");
        Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
        ListJobInput input = Input(profile, Out("list.csv"));
        input.UseCache = cached;
        ASSERT_EQ(Run(input), ListJobResult::Written);
        EXPECT_EQ(ReadFile(Out("list.csv")),
                  std::string("Songname\r\n") + (cached ? "Remembered" : "Alpha") + "\r\n");
    }
}

TEST_F(ListJobTest, TagBytesBecomeUtf8AndUntaggedTitlesAreCutByCharacters)
{
    WriteSong(Music("a.mp3"), 1, Id3v1Fields{.Title = "Caf\xE9", .Artist = "Bj\xC3\xB6rk"});
    // 35 characters, 70 bytes: the title keeps the first 30 characters.
    std::string name;
    for (int i = 0; i < 35; ++i) {
        name += "é";
    }
    WriteSong(Music(name + ".mp3"), 1, std::nullopt);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Text, {"Songname", "Artist"});
    ListJobInput input = Input(profile, Out("list.txt"));
    ASSERT_EQ(Run(input), ListJobResult::Written);
    std::string cut;
    for (int i = 0; i < 30; ++i) {
        cut += "é";
    }
    const std::string list = ReadFile(Out("list.txt"));
    EXPECT_THAT(list, HasSubstr("\r\nCafé\tBjörk\r\n"));
    EXPECT_THAT(list, HasSubstr("\r\n" + cut + "\t\r\n"));
}

TEST_F(ListJobTest, ReportFollowsThePhases)
{
    WriteSong(Music("a.mp3"), 1, std::nullopt);
    WriteSong(Music("b.mp3"), 1, std::nullopt);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    profile.Extensions = {"mp3", "wav"};
    ListJobInput input = Input(profile, Out("list.csv"));
    ASSERT_EQ(Run(input), ListJobResult::Written);

    const std::vector<std::string> phases = {
        "Scanning for directories...", "Scanning for mp3-files...", "Scanning for wav-files...",
        "Scanning files...",           "Creating list...",          "Done!"};
    EXPECT_EQ(m_report.History(ReportLabel::Status), phases);
    EXPECT_EQ(m_report.PaintedPhases, phases); // each one also reaches the screen
    // Plain digits while scanning, grouped at the end.
    EXPECT_EQ(m_report.History(ReportLabel::Bytes),
              (std::vector<std::string>{"-", "0", "16000", "32.000"}));
    EXPECT_EQ(m_report.History(ReportLabel::Files),
              (std::vector<std::string>{"-", "0", "0", "-", "0", "1", "2"}));
    EXPECT_EQ(m_report.Log.front(), "show");
    EXPECT_EQ(m_report.Log[1], "ok off");
    EXPECT_EQ(m_report.Log.back(), "ok on");
    std::vector<std::string> bars;
    for (const std::string& entry : m_report.Log) {
        if (entry.rfind("bar ", 0) == 0) {
            bars.push_back(entry.substr(4));
        }
    }
    EXPECT_EQ(bars, (std::vector<std::string>{"0", "50", "100", "0", "0", "50", "0", "100"}));
}

TEST_F(ListJobTest, WriteErrorEndsTheJobWithOkEnabled)
{
    WriteSong(Music("a.mp3"), 1, std::nullopt);
    Profiles::Profile profile = MakeProfile(Profiles::ListFormat::Csv, {"Songname"});
    ListJobInput input = Input(profile, "/dev/full");
    try {
        CreateList(input, m_report, m_dialogs);
        FAIL() << "the list cannot be written";
    } catch (const IoError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot write '/dev/full': No space left on device");
    }
    EXPECT_TRUE(m_report.OkEnabled);
    EXPECT_EQ(m_report.Labels[ReportLabel::Status], "Creating list...");
}

// A folder of files that are hard to list: tagged and untagged songs of
// several kinds (behind ID3v2 tags of any size, RIFF-wrapped, variable bit
// rate, the first frame far in), junk, files too small to search, an empty
// file, a link that leads nowhere, a link loop, a folder and a pipe whose
// names match, and files that are gone when the walk has found them. Written
// again before every run, since the vanishing files vanish.
void WriteOddFiles(const TempDir& music, RecordingReport& report)
{
    namespace fs = std::filesystem;
    for (int i = 0; i < 160; ++i) {
        const std::string folder = "odd/f" + std::to_string(i % 7) + "/";
        fs::create_directories(music.File(folder));
        const std::string name = music.File(folder + "song " + std::to_string(i) + ".mp3");
        const auto tagSize = static_cast<std::uint32_t>(600 + (i % 3) * 20'000);
        switch (i % 8) {
        case 0:
            WriteSong(name, 1 + i % 3, std::nullopt);
            break;
        case 1:
            WriteSong(name, 2, Id3v1Fields{.Title = "T\xE9" + std::to_string(i), .Artist = "A"});
            break;
        case 2:
            WriteJunk(name, 100 + static_cast<std::size_t>(i) * 37);
            break;
        case 3:
            Mp3Builder()
                .Id3v2(3, tagSize)
                .Frames(4, {.BitrateIndex = 5})
                .PadTo(tagSize + 9000)
                .Write(name);
            break;
        case 4:
            Mp3Builder().Riff().Frames(4).PadTo(5000).Write(name);
            break;
        case 5:
            Mp3Builder().XingFrame(0x0F, 40 + i).Frames(3).PadTo(8000).Write(name);
            break;
        case 6:
            report.Vanishing.insert(name);
            WriteSong(name, 1, Id3v1Fields{.Title = "gone"});
            break;
        default:
            Mp3Builder()
                .Fill(6000 + static_cast<std::size_t>(i) * 100, 0x20)
                .Frames(3)
                .PadTo(30'000)
                .Write(name);
            break;
        }
    }
    std::ofstream(music.File("odd/empty.mp3")).close();
    std::error_code ec;
    fs::create_symlink(music.File("odd/nowhere.mp3"), music.File("odd/dangling.mp3"), ec);
    fs::create_symlink(music.File("odd/loop.mp3"), music.File("odd/loop.mp3"), ec);
    fs::create_directories(music.File("odd/folder.mp3"));
    if (!fs::exists(music.File("odd/pipe.mp3"))) {
        ASSERT_EQ(::mkfifo(music.File("odd/pipe.mp3").c_str(), 0644), 0);
    }
}

// The reader threads change how fast a list is made, never what it holds:
// the bytes of the list, the final figures, the custom-info prompt (once, on
// the calling thread, like every call of the report) are the same for one
// reader and for several.
TEST_F(ListJobTest, ListsAreTheSameWhateverTheNumberOfReaders)
{
    Samples::WriteSamples(Music("samples"));
    WriteOddFiles(m_music, m_report);
    const std::string corpus = SONORIX_CORPUS_DIR;
    const std::pair<std::string, std::string> sources[] = {
        {"samples", Music("samples")}, {"odd files", Music("odd")}, {"corpus", corpus}};
    std::vector<std::string> captions(Profiles::kColumnCaptions.begin(),
                                      Profiles::kColumnCaptions.end());
    for (const auto& [what, source] : sources) {
        if (!std::filesystem::is_directory(source)) {
            std::cout << "The " << what << " row is left out: no folder at " << source << "\n";
            continue; // no corpus beside the repository
        }
        for (const Profiles::ListFormat format :
             {Profiles::ListFormat::Csv, Profiles::ListFormat::Html}) {
            for (const bool sort : {false, true}) {
                SCOPED_TRACE(what + (sort ? ", sorted" : ", in folder order") +
                             (format == Profiles::ListFormat::Html ? ", HTML" : ", CSV"));
                std::string first;
                std::map<ReportLabel, std::string> firstLabels;
                for (const int threads : {1, 4}) {
                    SCOPED_TRACE(std::to_string(threads) + " readers");
                    Profiles::Profile profile = MakeProfile(format, captions);
                    profile.Sort = sort;
                    profile.Extensions = {"mp3", "wav"};
                    ListJobInput input = Input(profile, Out("list"));
                    input.Source = source;
                    input.AskForCustom = true;
                    input.Threads = threads;
                    m_dialogs.InputAnswers = {std::string("Box ") + what};
                    const long promptsBefore = CustomInfoPrompts(m_dialogs);
                    // The vanished files come back, made anew in the same
                    // order, so that a file system that lists a folder in the
                    // order of creation (tmpfs) lists it as before.
                    std::filesystem::remove_all(Music("odd"));
                    WriteOddFiles(m_music, m_report);
                    ASSERT_EQ(Run(input), ListJobResult::Written);
                    EXPECT_EQ(CustomInfoPrompts(m_dialogs), promptsBefore + 1);
                    const std::string list = ReadFile(input.Output);
                    if (threads == 1) {
                        first = list;
                        firstLabels = m_report.Labels;
                    } else {
                        EXPECT_EQ(list, first);
                        EXPECT_EQ(m_report.Labels, firstLabels);
                    }
                }
            }
        }
    }
    EXPECT_EQ(m_report.OffThreadCalls, 0);
}

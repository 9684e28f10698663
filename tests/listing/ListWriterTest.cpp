#include "listing/ListWriter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/IoError.h"
#include "base/SignalCleanup.h"
#include "listing/internal/TemporaryFile.h"
#include "profiles/ListFormat.h"
#include "tests/support/RunInChild.h"
#include "tests/support/TempDir.h"

using namespace Listing;
using testing::AllOf;
using testing::HasSubstr;
using testing::MatchesRegex;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ListContent CsvContent()
{
    ListContent content;
    content.Format = RowFormat{.ListFormat = Profiles::ListFormat::Csv, .Separator = ","};
    content.HeaderRow = {"Songname", "Artist"};
    content.Rows = {{"One", "A"}, {"Two", "B"}};
    return content;
}

// The names in a folder, sorted.
std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ListContent HtmlContent()
{
    ListContent content;
    content.Format = RowFormat{.ListFormat = Profiles::ListFormat::Html, .Separator = "</td><td>"};
    content.HeaderRow = {"Songname"};
    content.Rows = {{"One"}};
    content.Summary = ListSummary{.FileCount = 10,
                                  .UntaggedCount = 2,
                                  .BytesText = "41.234.567",
                                  .LengthText = "45:12",
                                  .AverageText = "04:31"};
    content.Page = ListPage{.Headline = "List created by Sonorix",
                            .FontStyle = "Arial",
                            .FontColor = "#FF8000",
                            .BackColor = "#004080",
                            .HeaderColor = "#000000",
                            .Back2Color = "#0057B8",
                            .Save30 = false};
    content.Date = "12/08/26";
    return content;
}

} // namespace

TEST(WriteList, TextFormatsAreHeaderAndRowsWithCrLf)
{
    std::ostringstream out;
    WriteList(out, CsvContent());
    EXPECT_EQ(out.str(), "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");
}

TEST(WriteList, HtmlPageWithHeadSummaryAndFooter)
{
    std::ostringstream out;
    WriteList(out, HtmlContent());
    EXPECT_EQ(
        out.str(),
        "<html><head><meta http-equiv=\"Content-Type\"content=\"text/html; charset=utf-8\">"
        "<meta name=\"GENERATOR\" content=\"Sonorix 3.1\"><title>List created by Sonorix</title>"
        "</head><basefont face=\"Arial\"><basefont size=2><basefont color=#FF8000>\r\n"
        "<style type=\"text/css\"><!-- P { font-family : Arial; font-size : 10pt;} TD { "
        "font-family : Arial; font-size : 10pt;} H1 { font-family : Arial; font-size : 15pt;} TR "
        "{ font-family : Arial; font-size : 10pt;} //--></style>\r\n"
        "<body bgcolor=\"#004080\" text=\"#FF8000\" link=\"#FF8000\"vlink=\"#FF8000\"><p><h1>"
        "List created by Sonorix</h1></p><p>Scanned 10 files, 2 untagged, 41.234.567 bytes "
        "total, 45:12 hours, 04:31 average length.</p><table border=\"0\" width=\"100%\">\r\n"
        "<tr><td bgcolor=\"#000000\"><strong>Songname</strong></td></tr>\r\n"
        "<tr><td>One</td></tr>\r\n"
        "</table><p>Index created on 12/08/26 by <a href=\"https://sonorix.example.org/\">"
        "Sonorix 4.1</a> &ndash; made by the Sonorix team, <a "
        "href=\"mailto:team@sonorix.example.org\">team@sonorix.example.org</a>.</p><p>&nbsp;"
        "</p></body></html>\r\n");

    // Without a date of its own the footer gives today's, in the locale's short
    // form (month, day and year in the C locale the tests run in).
    ListContent undated = HtmlContent();
    undated.Date.clear();
    std::ostringstream today;
    WriteList(today, undated);
    EXPECT_THAT(TodayText(), MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{2}"));
    std::string expected = out.str();
    expected.replace(expected.find("on 12/08/26 by"), 14, "on " + TodayText() + " by");
    EXPECT_EQ(today.str(), expected);
}

// Several threads making rows into text write the very list one does: every
// row in its place with its colour, in every format.
TEST(WriteList, TheSameListWhateverTheNumberOfThreads)
{
    for (ListContent content : {CsvContent(), HtmlContent()}) {
        SCOPED_TRACE(content.Format.ListFormat == Profiles::ListFormat::Html ? "HTML" : "CSV");
        content.Rows.clear();
        for (int i = 0; i < 2345; ++i) {
            content.Rows.push_back({"Song " + std::to_string(i), i % 3 == 0 ? "A, \"B\"" : "<C>"});
        }
        std::ostringstream one;
        WriteList(one, content);
        for (const int threads : {2, 5}) {
            content.Threads = threads;
            std::ostringstream several;
            WriteList(several, content);
            EXPECT_EQ(several.str(), one.str()) << threads << " threads";
        }
    }
}

TEST(WriteList, PageTextsAreEscaped)
{
    const ListPage page{.Headline = "Rock & <Roll>",
                        .FontStyle = "\"Comic\"",
                        .FontColor = "<red>",
                        .BackColor = "a&b"};
    EXPECT_THAT(HtmlHeadLine1(page),
                AllOf(HasSubstr("<title>Rock &amp; &lt;Roll&gt;</title>"),
                      HasSubstr("face=\"&quot;Comic&quot;\""), HasSubstr("color=&lt;red&gt;>")));
    EXPECT_THAT(HtmlHeadLine2(page), HasSubstr("font-family : &quot;Comic&quot;;"));
    EXPECT_THAT(HtmlHeadLine3(page, ListSummary{}),
                AllOf(HasSubstr("<body bgcolor=\"a&amp;b\" text=\"&lt;red&gt;\""),
                      HasSubstr("<h1>Rock &amp; &lt;Roll&gt;</h1>")));
}

TEST(WriteListFile, ReplacesOrAppends)
{
    TestSupport::TempDir dir;
    const std::string path = dir.File("list.csv");
    WriteList(path, true, CsvContent()); // append to a missing file creates it
    EXPECT_EQ(ReadFile(path), "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");
    WriteList(path, true, CsvContent());
    EXPECT_EQ(ReadFile(path),
              "Songname,Artist\r\nOne,A\r\nTwo,B\r\nSongname,Artist\r\nOne,A\r\nTwo,B\r\n");
    WriteList(path, false, CsvContent());
    EXPECT_EQ(ReadFile(path), "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");
}

TEST(WriteListFile, FailuresNameTheFileAndTheReason)
{
    TestSupport::TempDir dir;
    try {
        WriteList(dir.Path(), false, CsvContent());
        FAIL() << "a folder cannot be written as a list";
    } catch (const IoError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open '" + dir.Path() + "': Is a directory");
    }
    try {
        WriteList("/dev/full", false, CsvContent());
        FAIL() << "a full device cannot take the list";
    } catch (const IoError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot write '/dev/full': No space left on device");
    }
}

TEST(WriteListFile, AFailedOrInterruptedWriteKeepsThePreviousList)
{
    TestSupport::TempDir dir;
    const std::string path = dir.File("list.csv");
    const std::string previous = "Songname\r\nOld\r\n";
    // Far more than the writer buffers, so part of it reaches the disk first.
    const std::string rows(1 << 20, 'x');

    struct Row
    {
        const char* Case;
        std::function<void()> Setup;
        std::function<void(std::ostream&)> Write;
        std::string End;
    };

    const auto none = [] {};
    const auto interrupted = [&](int signal) {
        return [&rows, signal](std::ostream& out) {
            out << rows;
            std::raise(signal);
            out << rows;
        };
    };
    const Row cases[] = {
        {"an error half-way", none,
         [&](std::ostream& out) {
             out << rows;
             throw IoError("Cannot read 'song.mp3': Input/output error");
         },
         "exit 3"},
        {"a file-size limit",
         [] {
             std::signal(SIGXFSZ, SIG_IGN);
             const rlimit limit{4096, 4096};
             ::setrlimit(RLIMIT_FSIZE, &limit);
         },
         [&](std::ostream& out) { out << rows; }, "exit 3"},
        {"SIGTERM half-way", none, interrupted(SIGTERM), "signal " + std::to_string(SIGTERM)},
        {"SIGINT half-way", none, interrupted(SIGINT), "signal " + std::to_string(SIGINT)},
    };
    for (const Row& row : cases) {
        SCOPED_TRACE(row.Case);
        std::ofstream(path, std::ios::binary) << previous;
        const TestSupport::ChildResult ended = TestSupport::RunInChild([&] {
            SignalCleanup::InstallHandlers(); // as the programs do
            row.Setup();
            WriteOutputFile(path, false, row.Write);
            return std::string();
        });
        EXPECT_EQ(ended.Ending(), row.End) << ended.Output;
        EXPECT_TRUE(ReadFile(path) == previous) << "the previous list was changed";
        EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"list.csv"});
    }
}

TEST(WriteListFile, AReplacedListKeepsPermissionsAndLinksAndDevicesAreWrittenInPlace)
{
    TestSupport::TempDir dir;
    const std::string path = dir.File("list.csv");
    std::ofstream(path, std::ios::binary) << "old";
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    WriteList(path, false, CsvContent());
    struct stat status = {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(path), "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");

    // Through links, relative and absolute, to the file they lead to; the
    // links stay links, and nothing is left beside them.
    std::filesystem::create_directory(dir.File("links"));
    std::filesystem::create_symlink("../list.csv", dir.File("links/relative.csv"));
    std::filesystem::create_symlink(dir.File("links/relative.csv"), dir.File("links/chain.csv"));
    std::ofstream(path, std::ios::binary) << "old";
    WriteList(dir.File("links/chain.csv"), false, CsvContent());
    EXPECT_EQ(ReadFile(path), "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("links/relative.csv")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("links/chain.csv")));
    EXPECT_EQ(Entries(dir.File("links")), (std::vector<std::string>{"chain.csv", "relative.csv"}));
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"links", "list.csv"}));

    // A device is written as it is, never replaced by a file; so is a pipe,
    // also when reached through a link the system resolves (/dev/stdout).
    WriteList("/dev/null", false, CsvContent());
    ASSERT_EQ(::stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    WriteList("/proc/self/fd/" + std::to_string(pipe[1]), false, CsvContent());
    ::close(pipe[1]);
    char buffer[256];
    const ssize_t length = ::read(pipe[0], buffer, sizeof buffer);
    ::close(pipe[0]);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(length, 0))),
              "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");
}

// A replaced list keeps its special bits, owner and group: the owner and
// group are given before the mode, which a change of owner would clear.
TEST(WriteListFile, AReplacedListKeepsSpecialBitsOwnerAndGroup)
{
    TestSupport::TempDir dir;
    const std::string path = dir.File("list.csv");
    const bool root = ::geteuid() == 0;
    for (const mode_t mode : {04755u, 02750u, 01644u, 07700u}) {
        SCOPED_TRACE(std::to_string(mode));
        std::ofstream(path, std::ios::binary) << "old";
        if (root) {
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        struct stat before = {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        WriteList(path, false, CsvContent());
        struct stat after = {};
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino) << "the list was not written whole";
        EXPECT_EQ(after.st_mode & 07777, mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(ReadFile(path), "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");
        std::filesystem::remove(path);
    }
}

// /dev/stdout (or /dev/fd/N) of a program whose output goes to a file is
// that open file: written in place, never a new file renamed over the path
// the descriptor was opened by.
TEST(WriteListFile, ADescriptorOfTheProgramIsWrittenInPlace)
{
    TestSupport::TempDir dir;
    const std::string path = dir.File("out.csv");
    std::ofstream(path, std::ios::binary) << "old";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(IsWrittenInPlace("/dev/fd/" + std::to_string(fd)));
    WriteList("/dev/fd/" + std::to_string(fd), false, CsvContent());
    struct stat opened = {};
    struct stat named = {};
    ASSERT_EQ(::fstat(fd, &opened), 0);
    ::close(fd);
    ASSERT_EQ(::stat(path.c_str(), &named), 0);
    EXPECT_EQ(named.st_ino, opened.st_ino);
    EXPECT_EQ(ReadFile(path), "Songname,Artist\r\nOne,A\r\nTwo,B\r\n");
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"out.csv"});
}

// As an ordinary user: a list the user may not write is not replaced, and a
// folder that cannot take the new file is named as what is in the way.
TEST(WriteListFile, AListTheUserMayNotWriteIsLeftAndTheFolderInTheWayIsNamed)
{
    TestSupport::TempDir dir;
    const std::string folder = dir.File("lists");
    const std::string path = folder + "/list.csv";
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);

    struct Row
    {
        const char* Case;
        mode_t FileMode, FolderMode;
        std::string Result;
    };

    const Row rows[] = {
        {"a read-only list", 0444, 0777, "IoError: Cannot open '" + path + "': Permission denied"},
        {"a read-only folder", 0666, 0555,
         "IoError: Cannot write '" + path + "': the folder '" + folder +
             "' is not writable: Permission denied"},
        {"both writable", 0666, 0777, "written"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Case);
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        std::ofstream(path, std::ios::binary) << "old";
        ASSERT_EQ(::chmod(path.c_str(), row.FileMode), 0);
        ASSERT_EQ(::chmod(folder.c_str(), row.FolderMode), 0);
        const TestSupport::ChildResult child = TestSupport::RunInChild(
            [&] {
                WriteList(path, false, CsvContent());
                return std::string("written");
            },
            {.Unprivileged = true});
        if (child.ExitCode == 125) {
            GTEST_SKIP() << "no unprivileged user to test with";
        }
        EXPECT_EQ(child.Output, row.Result);
        EXPECT_EQ(ReadFile(path) == "old", row.Result != "written");
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        EXPECT_EQ(Entries(folder), std::vector<std::string>{"list.csv"});
        std::filesystem::remove(path);
    }
}

// A terminating signal may land on any thread of the program (the desktop
// program's toolkit has several): wherever it lands while a list is written,
// the folder then holds the previous list and no temporary file.
TEST(WriteListFile, ASignalOnAnotherThreadLeavesNoTemporaryFile)
{
#if defined(__SANITIZE_THREAD__)
    // The thread sanitizer holds asynchronous signals back and delivers them
    // at points of its own, so the moment this test pins down never comes.
    GTEST_SKIP() << "signals are delivered by the thread sanitizer";
#endif
    TestSupport::TempDir dir;
    const std::string path = dir.File("list.csv");
    const std::string previous = "Songname\r\nOld\r\n";
    const std::string rows(1 << 20, 'x');
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        std::ofstream(path, std::ios::binary) << previous;
        const TestSupport::ChildResult result = TestSupport::RunInChild([&] {
            SignalCleanup::InstallHandlers();
            // Started before the write, so the writer's own signal mask
            // is not its own; it sends the signal half-way through.
            std::atomic<bool> halfWay{false};
            std::thread sender([&] {
                while (!halfWay.load()) {
                    std::this_thread::yield();
                }
                ::kill(::getpid(), signal);
            });
            sender.detach();
            WriteOutputFile(path, false, [&](std::ostream& out) {
                out << rows << std::flush;
                halfWay.store(true);
                std::this_thread::sleep_for(std::chrono::seconds(10));
                out << rows;
            });
            return std::string("the signal did not end the program");
        });
        EXPECT_EQ(result.Ending(), "signal " + std::to_string(signal)) << result.Output;
        EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"list.csv"});
        EXPECT_TRUE(ReadFile(path) == previous) << "the previous list was changed";
    }
}

// Temporary files are made and removed one after the other while another
// thread ends the program by a signal at some moment: whatever step of the
// making the signal meets, no file is left behind.
TEST(TemporaryFile, ASignalAtAnyStepOfItsMakingLeavesNoFile)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "signals are delivered by the thread sanitizer";
#endif
    TestSupport::TempDir dir;
    for (int round = 0; round < 200; ++round) {
        const TestSupport::ChildResult result = TestSupport::RunInChild([&] {
            SignalCleanup::InstallHandlers();
            const int folder = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            std::atomic<bool> started{false};
            std::thread sender([&] {
                while (!started.load()) {
                    std::this_thread::yield();
                }
                std::this_thread::sleep_for(std::chrono::microseconds(50 * (round % 20)));
                ::kill(::getpid(), SIGTERM);
            });
            sender.detach();
            try {
                for (;;) {
                    const Detail::TemporaryFile file(folder, "list.csv", dir.File("list.csv"));
                    started.store(true);
                }
            } catch (const Detail::TemporaryFileError& error) {
                // Made while the handler was already ending the program.
                return std::string(error.what());
            }
        });
        ASSERT_THAT(result.Ending() + ": " + result.Output,
                    testing::AnyOf("signal " + std::to_string(SIGTERM) + ": ",
                                   HasSubstr("Interrupted system call")));
        ASSERT_EQ(Entries(dir.Path()), std::vector<std::string>{})
            << "round " << round << ", " << result.Ending() << ": " << result.Output;
    }
}

// A program that may start no thread (the user's process limit is reached)
// still writes its list with several threads asked for, and never hangs.
TEST(WriteListFile, WithoutThreadsToBeHadTheListIsWrittenAllTheSame)
{
    TestSupport::TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    ListContent content = CsvContent();
    content.Rows.assign(3000, RowCells{"One", "A"});
    std::ostringstream expected;
    WriteList(expected, content);
    content.Threads = 4;
    const TestSupport::ChildResult result = TestSupport::RunInChild(
        [&] {
            ::alarm(30); // a hang ends the child
            WriteList(dir.File("list.csv"), false, content);
            return std::string();
        },
        TestSupport::ChildOptions{.Unprivileged = true, .Limits = {{RLIMIT_NPROC, 1}}});
    EXPECT_EQ(result.Ending(), "exit 0") << result.Output;
    EXPECT_TRUE(ReadFile(dir.File("list.csv")) == expected.str());
}

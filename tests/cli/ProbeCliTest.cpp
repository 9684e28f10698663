#include <fcntl.h>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "samples/Mp3Builder.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using testing::AllOf;
using testing::HasSubstr;
using testing::Not;
using TestSupport::Mp3Builder;
using TestSupport::RunResult;

namespace {

class ProbeCliTest : public testing::Test
{
protected:
    // Runs sonorix-probe with args; stdout and stderr go through files.
    RunResult Run(const std::vector<std::string>& args)
    {
        return TestSupport::RunProgram(SONORIX_PROBE_EXE, args, m_dir.Path(),
                                       {.Unprivileged = m_unprivileged});
    }

    TestSupport::TempDir m_dir;
    bool m_unprivileged = false;
};

} // namespace

TEST_F(ProbeCliTest, PrintsBothRecordsOneFieldPerLine)
{
    const std::string path = m_dir.File("song.mp3");
    Mp3Builder()
        .Frame()
        .Frame()
        .PadTo(4096 - 128)
        .Id3v1({.Title = "Tab\tIn\\Side",
                .Artist = "Artist",
                .Album = "Album",
                .Year = "2001",
                .Comment = "Line\nbreak",
                .Track = 3,
                .Genre = 17})
        .Write(path);
    const RunResult result = Run({path});
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Err, "");
    EXPECT_EQ(result.Out, "FileName=" + path +
                              "\n"
                              "FileSize=4096\n"
                              "DurationSeconds=0\n"
                              "DurationText=00:00\n"
                              "FrameCount=9\n"
                              "LayerText=Layer-III\n"
                              "VersionText=MPEG-1\n"
                              "BitrateText=128\n"
                              "SampleRateText=44.1 kHz\n"
                              "ModeText=joint-stereo\n"
                              "ModeExtensionText=off/off\n"
                              "OriginalText=yes\n"
                              "ProtectionText=yes\n"
                              "PaddingText=no\n"
                              "PrivateText=no\n"
                              "CopyrightText=no\n"
                              "EmphasisText=none\n"
                              "EncoderText=l3Enc\n"
                              "FrameOffset=0\n"
                              "FrameLength=417\n"
                              "FrameBodyLength=417\n"
                              "HeaderOnly=0\n"
                              "RiffWrapped=0\n"
                              "VariableBitrate=0\n"
                              "Valid=1\n"
                              "TagId=TAG\n"
                              "Title=Tab\\x09In\\x5CSide\n"
                              "Artist=Artist\n"
                              "Album=Album\n"
                              "Year=2001\n"
                              "Comment=Line\\x0Abreak\n"
                              "Genre=Rock\n"
                              "Track=3\n"
                              "Tagged=1\n"
                              "\n");
}

TEST_F(ProbeCliTest, MissingFileGivesAnInvalidRecordAndTheOthersFollowInOrder)
{
    const std::string missing = m_dir.File("missing.mp3");
    const std::string present = m_dir.File("present.mp3");
    Mp3Builder().Frame().Frame().PadTo(4096).Write(present);
    const RunResult result = Run({missing, present});
    EXPECT_EQ(result.Status, 0);
    ASSERT_THAT(result.Out, AllOf(HasSubstr("FileName=" + missing + "\n"),
                                  HasSubstr("FileName=" + present + "\n")));
    const auto first = result.Out.find("FileName=" + missing + "\n");
    const auto second = result.Out.find("FileName=" + present + "\n");
    EXPECT_LT(first, second);
    EXPECT_THAT(result.Out.substr(first, second - first),
                AllOf(HasSubstr("\nFileSize=\n"), HasSubstr("\nFrameOffset=-1\n"),
                      HasSubstr("\nValid=0\n"), HasSubstr("\nTagged=0\n\n")));
    EXPECT_THAT(result.Out.substr(second), HasSubstr("\nValid=1\n"));
}

TEST_F(ProbeCliTest, UnreadableFileIsReportedAndTheOthersStillPrinted)
{
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0755), 0); // the output files stay writable
    m_unprivileged = true;
    const std::string locked = m_dir.File("locked.mp3");
    const std::string present = m_dir.File("present.mp3");
    Mp3Builder().Frame().Frame().PadTo(4096).Write(locked).Write(present);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    const RunResult result = Run({locked, present});
    if (result.Status == 125 || result.Status == 127) {
        GTEST_SKIP() << "the tool cannot be run as an unprivileged user here";
    }
    EXPECT_EQ(result.Status, 3);
    EXPECT_THAT(result.Err, AllOf(HasSubstr(locked), HasSubstr("Permission denied")));
    EXPECT_THAT(result.Out, AllOf(Not(HasSubstr(locked)), HasSubstr("FileName=" + present + "\n")));
}

TEST_F(ProbeCliTest, UsageAndHelp)
{
    const RunResult none = Run({});
    EXPECT_EQ(none.Status, 1);
    EXPECT_EQ(none.Out, "");
    EXPECT_THAT(none.Err, HasSubstr("Usage: sonorix-probe"));

    const RunResult unknown = Run({"--frobnicate"});
    EXPECT_EQ(unknown.Status, 1);
    EXPECT_THAT(unknown.Err, HasSubstr("--frobnicate"));

    const RunResult help = Run({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_THAT(help.Out, AllOf(HasSubstr("Usage: sonorix-probe"), HasSubstr("Exit status")));

    // Behind "--" a name that looks like an option is a file.
    const RunResult dashed = Run({"--", "--help"});
    EXPECT_EQ(dashed.Status, 0);
    EXPECT_THAT(dashed.Out, HasSubstr("FileName=--help\n"));
}

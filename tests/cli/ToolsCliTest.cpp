#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using testing::AllOf;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using TestSupport::RunResult;
using TestSupport::TempDir;

namespace {

RunResult RunIn(const std::string& program, const std::vector<std::string>& args,
                const TempDir& work, const TempDir& scratch)
{
    return TestSupport::RunProgram(
        program, args, scratch.Path(),
        {.WorkingFolder = work.Path(), .Environment = {{"XDG_CONFIG_HOME", scratch.Path()}}});
}

} // namespace

TEST(Tools, EveryProgramAnswersHelpWithItsUsageAndDoesNothingElse)
{
    const std::pair<const char*, const char*> programs[] = {
        {SONORIX_LIST_EXE, "sonorix-list"},
        {SONORIX_PROBE_EXE, "sonorix-probe"},
        {SONORIX_MAKE_SAMPLES_EXE, "sonorix-make-samples"},
        {SONORIX_BENCH_EXE, "sonorix-bench"},
        {SONORIX_BENCH_FLOOR_EXE, "sonorix-bench-floor"}};
    for (const auto& [program, name] : programs) {
        for (const char* option : {"--help", "-h"}) {
            SCOPED_TRACE(std::string(name) + " " + option);
            const TempDir work, scratch;
            const RunResult run = RunIn(program, {option}, work, scratch);
            EXPECT_EQ(run.Status, 0);
            EXPECT_EQ(run.Err, "");
            EXPECT_EQ(run.Out.find("sage: " + std::string(name)), 1u) << run.Out;
            EXPECT_TRUE(std::filesystem::is_empty(work.Path())); // no folder "--help"
        }
    }
}

TEST(Tools, VersionNamesTheReleaseAndTheRevision)
{
    for (const char* program : {SONORIX_LIST_EXE, SONORIX_PROBE_EXE}) {
        SCOPED_TRACE(program);
        const TempDir work, scratch;
        const RunResult run = RunIn(program, {"--version"}, work, scratch);
        EXPECT_EQ(run.Status, 0);
        // A build from a git checkout names its revision: "Sonorix 4.1 (git 1a2b3c4d5e)".
        EXPECT_THAT(run.Out, StartsWith("Sonorix 4.1"));
        EXPECT_EQ(run.Out.back(), '\n');
        EXPECT_EQ(run.Out.find('\n'), run.Out.size() - 1);
    }
}

TEST(Tools, ControlCharactersFromArgumentsAndFilesReachStandardErrorEscaped)
{
    const TempDir work, scratch;
    // A name that would retitle the terminal window and clear the screen.
    const std::string raw = "\x1b]0;owned\x07\x1b[2J";
    const std::string shown = "\\x1b]0;owned\\x07\\x1b[2J";
    std::filesystem::create_directory(work.File("music"));
    std::ofstream(work.File("music/song.mp3")) << "not sound, but listed";
    std::filesystem::create_symlink("/nonexistent/list.csv", work.File(raw + ".csv"));

    struct Row
    {
        const char* Program;
        std::vector<std::string> Args;
        std::string Message; // a line of standard error
    };

    const Row rows[] = {
        {SONORIX_LIST_EXE,
         {"--" + raw, "a", "b"},
         "sonorix-list: unknown option '--" + shown + "'"},
        {SONORIX_LIST_EXE,
         {"-q", work.File("music"), work.File(raw + ".csv")},
         "sonorix-list: Cannot open '" + work.File(shown + ".csv") +
             "': No such file or directory"},
        {SONORIX_PROBE_EXE, {"-" + raw}, "sonorix-probe: unknown option '-" + shown + "'"},
        {SONORIX_MAKE_SAMPLES_EXE,
         {"-" + raw},
         "sonorix-make-samples: unknown option '-" + shown + "'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Message);
        const RunResult run = RunIn(row.Program, row.Args, work, scratch);
        EXPECT_NE(run.Status, 0);
        EXPECT_THAT(run.Err, AllOf(HasSubstr(row.Message + "\n"), Not(HasSubstr("\x1b")),
                                   Not(HasSubstr("\x07"))));
    }
}

#include "listing/JsonWriter.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "listing/ListJob.h"
#include "profiles/Profile.h"
#include "samples/Mp3Builder.h"
#include "samples/Samples.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"

using namespace Listing;
using nlohmann::json;
using TestSupport::FrameShape;
using TestSupport::Mp3Builder;

namespace {

class QuietReport final : public ListReport
{
public:
    void SetLabelText(ReportLabel, const std::string&) override {}

    void RepaintReportLabel(ReportLabel) override {}

    void RepaintWindow() override {}

    void SetProgressBar(int) override {}

    void SetOkEnabled(bool) override {}

    void ShowReport() override {}

    void HideReport() override {}
};

// The list of folder with every column, sorted, as JSON (json set) or CSV.
std::string List(const std::string& folder, bool json)
{
    Profiles::Profile profile;
    profile.Name = "Test";
    profile.Sort = true;
    profile.ListFormat = Profiles::ListFormat::Csv;
    profile.Extensions = {"mp3"};
    profile.Information.assign(Profiles::kColumnCaptions.begin(), Profiles::kColumnCaptions.end());
    profile.Checked.assign(profile.Information.size(), true);
    std::ostringstream out;
    ListJobInput input{.Source = folder,
                       .Output = "standard output",
                       .Profile = profile,
                       .Stream = &out,
                       .Threads = 2,
                       .Json = json};
    QuietReport report;
    TestSupport::ScriptedDialogs dialogs;
    EXPECT_EQ(StartListJob(input, report, dialogs), ListJobResult::Written);
    return out.str();
}

std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

} // namespace

TEST(JsonWriterTest, StringsReadBackAsTheirTextAndStrayBytesAsReplacement)
{
    const std::pair<std::string, std::string> rows[] = {
        {"plain", "plain"},
        {"say \"hi\" \\ back", "say \"hi\" \\ back"},
        {"line\r\nbreak\ttab\x01\x1f\x7f", "line\r\nbreak\ttab\x01\x1f\x7f"},
        {"Motörhead – 日本 🎵", "Motörhead – 日本 🎵"},
        {"caf\xE9.mp3", "caf\xEF\xBF\xBD.mp3"},
        {"cut \xE6\x97", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        const std::string literal = JsonString(text);
        EXPECT_EQ(literal.find_first_of(std::string("\r\n\t\0", 4)), std::string::npos);
        EXPECT_EQ(json::parse(literal).get<std::string>(), expected);
    }
}

// The bundled samples and songs of known sizes and rates, listed as JSON
// and read back: every file once, in the CSV list's order, with the numbers
// the files hold, the invalid file as its name and "Invalid", and a name
// that is not UTF-8 kept byte for byte.
TEST(JsonWriterTest, TheJobsJsonListHoldsTheFilesNumbersInTheCsvOrder)
{
    const TestSupport::TempDir dir;
    const std::string folder = dir.Path() + "/music";
    Samples::WriteSamples(folder);

    struct Song
    {
        std::string Name;
        FrameShape Shape;
        std::size_t Size;
    };

    const FrameShape mpeg2{.Version = 2};
    const std::vector<Song> songs = {
        {"a 1.25 s song.mp3", FrameShape{}, 20000},
        {"b mpeg-2 song.mp3", mpeg2, 30000},
        {"caf\xE9 song.mp3", FrameShape{}, 16000},
    };
    for (const Song& song : songs) {
        Mp3Builder()
            .Frame(song.Shape)
            .Frame(song.Shape)
            .PadTo(song.Size)
            .Write(folder + "/" + song.Name);
    }

    const json list = json::parse(List(folder, true));
    const std::string csv = List(folder, false);
    ASSERT_TRUE(list.is_array());
    const auto samples = Samples::BuildSamples();
    const auto listed = std::count_if(samples.begin(), samples.end(), [](const auto& sample) {
        return sample.RelativePath.ends_with(".mp3"); // the wave sample is not
    });
    ASSERT_EQ(list.size(), static_cast<std::size_t>(listed) + songs.size());

    std::size_t csvAt = csv.find("\r\n") + 2; // behind the header row
    int invalid = 0;
    for (const json& file : list) {
        SCOPED_TRACE(file.dump());
        ASSERT_TRUE(file.is_object());
        const std::string name = file.contains("Filename hex")
                                     ? Unhex(file["Filename hex"].get<std::string>())
                                     : file["Filename"].get<std::string>();
        const std::string path = file["Filepath"].get<std::string>() + name;
        // The CSV row of the same place names the same file.
        const std::string csvRow = csv.substr(csvAt, csv.find("\r\n", csvAt) - csvAt);
        csvAt += csvRow.size() + 2;
        if (file.contains("Invalid")) {
            ++invalid;
            EXPECT_EQ(file.size(), 3U);
            EXPECT_EQ(file["Invalid"], true);
            std::string blanks;
            for (int i = 0; i < 18; ++i) {
                blanks += ", ";
            }
            EXPECT_EQ(csvRow, path + ",ERROR" + blanks);
            continue;
        }
        // Every column, and the bytes of each text that is not UTF-8.
        std::size_t hexMembers = 0;
        for (const auto& member : file.items()) {
            hexMembers += member.key().ends_with(" hex") ? 1 : 0;
        }
        EXPECT_EQ(file.size(), 20U + hexMembers);
        EXPECT_NE(csvRow.find("," + name + ","), std::string::npos);
        EXPECT_EQ(file["Filesize"].get<std::uintmax_t>(), std::filesystem::file_size(path));
        for (const char* number : {"KBps", "Frequency", "Frames"}) {
            EXPECT_TRUE(file[number].is_number_unsigned()) << number;
        }
        EXPECT_TRUE(file["Time"].is_number());
        EXPECT_TRUE(file["Songname"].is_string());
    }
    EXPECT_EQ(invalid, 1);
    EXPECT_EQ(csvAt, csv.size());

    for (const Song& song : songs) {
        SCOPED_TRACE(song.Name);
        const auto found = std::find_if(list.begin(), list.end(), [&](const json& file) {
            return file["Filename"].get<std::string>().rfind(song.Name.substr(0, 3), 0) == 0;
        });
        ASSERT_NE(found, list.end());
        const json& file = *found;
        const int kbps = TestSupport::BitrateOf(song.Shape);
        EXPECT_EQ(file["Filesize"], song.Size);
        EXPECT_EQ(file["KBps"], kbps);
        EXPECT_EQ(file["Frequency"], TestSupport::SamplingRateOf(song.Shape));
        EXPECT_EQ(file["Frames"], song.Size / TestSupport::FrameLengthOf(song.Shape));
        EXPECT_DOUBLE_EQ(file["Time"].get<double>(),
                         static_cast<double>(song.Size * 8 / kbps) / 1000.0);
    }
    const json& latin = *std::find_if(
        list.begin(), list.end(), [](const json& file) { return file.contains("Filename hex"); });
    EXPECT_EQ(latin["Filename"], "caf\xEF\xBF\xBD song.mp3");
    EXPECT_EQ(latin["Filename hex"], "636166e920736f6e672e6d7033");
    EXPECT_EQ(latin["Songname hex"], "636166e920736f6e67"); // the untagged file's title
}

// A number a file does not have (full analysis gives a FLAC file no frame
// count) is null, never a text where the other rows hold numbers.
TEST(JsonWriterTest, ANumberTheFileDoesNotHaveIsNull)
{
    const std::vector<std::string> captions = {"Filename", "Frames", "KBps", "Time"};
    const std::vector<RowCells> rows = {
        {"1", "70526", "3000", "166", "44100", "", "a.flac", "", "166", "00:03"},
        {"1", "16384", "3000", "32", "44100", "144", "b.mp3", "144", "32", "00:03"},
    };
    std::ostringstream out;
    WriteJsonList(out, captions, rows);
    const json list = json::parse(out.str());
    ASSERT_EQ(list.size(), 2U);
    EXPECT_TRUE(list[0]["Frames"].is_null()) << out.str();
    EXPECT_EQ(list[1]["Frames"], 144);
    for (const json& file : list) {
        EXPECT_EQ(file["KBps"].type(), json::value_t::number_unsigned);
        EXPECT_DOUBLE_EQ(file["Time"].get<double>(), 3.0);
    }
}

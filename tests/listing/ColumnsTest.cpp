#include "listing/Columns.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "listing/ListWriter.h"
#include "listing/TextConversion.h"
#include "profiles/Profile.h"

using namespace Listing;
using MP3Tools::AudioFileInfo;
using MP3Tools::TagInfo;

namespace {

using Profiles::ListFormat;

const RowFormat kCsv{.ListFormat = ListFormat::Csv, .Separator = ","};
const RowFormat kHtml{.ListFormat = ListFormat::Html, .Separator = "</td><td>"};
const RowFormat kText{.ListFormat = ListFormat::Text, .Separator = "\t"};

AudioFileInfo ValidFile()
{
    AudioFileInfo info;
    info.FileName = "/music/rock/song.mp3";
    info.FileSize = "4123456";
    info.DurationSeconds = "205";
    info.DurationText = "03:25";
    info.FrameCount = "7849";
    info.LayerText = "Layer-III";
    info.VersionText = "MPEG-1";
    info.BitrateText = "160";
    info.SampleRateText = "44.1 kHz";
    info.ModeText = "joint-stereo";
    info.EncoderText = "LAME";
    info.Valid = true;
    return info;
}

TagInfo Tag()
{
    return TagInfo{.TagId = "TAG",
                   .Title = "Title",
                   .Artist = "Artist",
                   .Album = "Album",
                   .Year = "1999",
                   .Comment = "Comment",
                   .Genre = "Rock",
                   .Track = "7",
                   .Tagged = true};
}

std::vector<std::string> AllCaptions()
{
    return {Profiles::kColumnCaptions.begin(), Profiles::kColumnCaptions.end()};
}

// The row of the file as it is written.
std::string Row(const AudioFileInfo& info, const TagInfo& tag,
                const std::vector<std::string>& captions, const RowFormat& format,
                const std::string& custom = "")
{
    return RowText(BuildRow(info, tag, ResolveColumns(captions), format, custom), format);
}

std::string Header(const std::vector<std::string>& captions, const RowFormat& format,
                   const std::string& headerColor)
{
    return RowText(BuildHeaderRow(captions, format), format, HeaderRowFrame(headerColor));
}

} // namespace

TEST(GroupThousands, DotsEveryThreeDigitsFromTheRight)
{
    const std::pair<const char*, const char*> rows[] = {{"", ""},
                                                        {"7", "7"},
                                                        {"999", "999"},
                                                        {"1000", "1.000"},
                                                        {"123456", "123.456"},
                                                        {"1234567", "1.234.567"},
                                                        {"41234567", "41.234.567"}};
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in);
        EXPECT_EQ(GroupThousands(in), out);
    }
}

TEST(TypeText, VbrWinsOverTheRiffWrapper)
{
    AudioFileInfo info = ValidFile();
    EXPECT_EQ(TypeText(info), "MP3");
    info.RiffWrapped = true;
    EXPECT_EQ(TypeText(info), "WavMP3");
    info.VariableBitrate = true;
    EXPECT_EQ(TypeText(info), "VBR");
}

TEST(BuildRow, EveryColumnShowsItsField)
{
    EXPECT_EQ(Row(ValidFile(), Tag(), AllCaptions(), kText, "Box 3"),
              "Title\tArtist\t03:25\t4.123.456\tBox 3\t160\tjoint-stereo\tAlbum\t/music/rock/"
              "\tsong.mp3\tComment\t7\tRock\t1999\t44.1 kHz\t7849\tMPEG-1\tLayer-III\tMP3\tLAME");
}

TEST(BuildRow, FramesOfTheFourFormats)
{
    const std::vector<std::string> captions = {"Songname", "Artist", "Time"};
    EXPECT_EQ(Row(ValidFile(), Tag(), captions, kCsv), "Title,Artist,03:25");
    EXPECT_EQ(Row(ValidFile(), Tag(), captions,
                  RowFormat{.ListFormat = ListFormat::Custom, .Separator = " | "}),
              "Title | Artist | 03:25");
    EXPECT_EQ(Row(ValidFile(), Tag(), captions, kHtml),
              "<tr><td>Title</td><td>Artist</td><td>03:25</td></tr>");
    EXPECT_EQ(Row(ValidFile(), Tag(), captions, RowFormat{}), "TitleArtist03:25");
}

TEST(BuildHeaderRow, CaptionsAsCellsAndColouredHtmlCells)
{
    const std::vector<std::string> captions = {"Songname", "Artist", "Time"};
    EXPECT_EQ(Header(captions, kCsv, "#000000"), "Songname,Artist,Time");
    EXPECT_EQ(Header(captions, kHtml, "#000000"),
              "<tr><td bgcolor=\"#000000\"><strong>Songname</td>"
              "<td bgcolor=\"#000000\"><strong>Artist</td>"
              "<td bgcolor=\"#000000\"><strong>Time</strong></td></tr>");
    EXPECT_EQ(Header({"<td>", "a,b"}, kHtml, "\"red\""),
              "<tr><td bgcolor=\"&quot;red&quot;\"><strong>&lt;td&gt;</td>"
              "<td bgcolor=\"&quot;red&quot;\"><strong>a,b</strong></td></tr>");
    EXPECT_EQ(Header({"a,b", "c"}, kCsv, ""), "\"a,b\",c");
}

TEST(BuildRow, InvalidFileGetsPathErrorAndBlanks)
{
    AudioFileInfo info;
    info.FileName = "/music/broken, really.mp3";
    info.FileSize = "123"; // not read for an invalid file
    const std::vector<std::string> five = {"Songname", "Artist", "Time", "Filesize", "KBps"};
    EXPECT_EQ(Row(info, Tag(), five, kText), "/music/broken, really.mp3\tERROR\t \t \t ");
    EXPECT_EQ(Row(info, Tag(), {"Time"}, kText), "/music/broken, really.mp3\tERROR");
    EXPECT_EQ(Row(info, Tag(), five, kCsv), "\"/music/broken, really.mp3\",ERROR, , , ");
    EXPECT_EQ(Row(info, Tag(), {"Time", "Artist", "Album"}, kHtml),
              "<tr><td>/music/broken, really.mp3</td><td>ERROR</td><td> </td></tr>");
}

TEST(BuildRow, UnknownCaptionGetsNoDataCell)
{
    const std::vector<std::string> captions = {"Songname", "Rating", "Artist"};
    EXPECT_EQ(Header(captions, kCsv, ""), "Songname,Rating,Artist");
    EXPECT_EQ(Row(ValidFile(), Tag(), captions, kCsv), "Title,Artist");
    EXPECT_EQ(ColumnFromCaption("songname"), Column::Unknown); // letter case counts
}

TEST(BuildRow, CellsAreMadeSafeForTheirFormat)
{
    TagInfo tag = Tag();
    tag.Title = "Hello, \"World\"";
    tag.Artist = "Tom & <Jerry>";
    tag.Comment = "line\r\nbreak\there";
    const std::vector<std::string> captions = {"Songname", "Artist", "Comment"};
    EXPECT_EQ(Row(ValidFile(), tag, captions, kCsv),
              "\"Hello, \"\"World\"\"\",Tom & <Jerry>,\"line\r\nbreak\there\"");
    EXPECT_EQ(Row(ValidFile(), tag, captions, kText),
              "Hello, \"World\"\tTom & <Jerry>\tline  break here");
    EXPECT_EQ(Row(ValidFile(), tag, captions,
                  RowFormat{.ListFormat = ListFormat::Custom, .Separator = ";"}),
              "Hello, \"World\";Tom & <Jerry>;line  break\there");
    EXPECT_EQ(Row(ValidFile(), tag, captions, kHtml),
              "<tr><td>Hello, &quot;World&quot;</td><td>Tom &amp; &lt;Jerry&gt;</td>"
              "<td>line\r\nbreak\there</td></tr>");
}

TEST(BuildRow, CellsStayPlainForTheSort)
{
    TagInfo tag = Tag();
    tag.Title = "a,\"b\"";
    tag.Artist = "<i> & \"u\"";
    tag.Comment = "";

    struct Line
    {
        RowFormat Format;
        std::string Plain;
    };

    const Line rows[] = {
        {kCsv, "a,\"b\",<i> & \"u\","},
        {kHtml, "a,\"b\"</td><td><i> & \"u\"</td><td>"},
        {kText, "a,\"b\"\t<i> & \"u\"\t"},
    };
    for (const Line& row : rows) {
        SCOPED_TRACE(row.Format.Separator);
        const RowCells built = BuildRow(
            ValidFile(), tag, ResolveColumns({"Songname", "Artist", "Comment"}), row.Format, "");
        EXPECT_EQ(built.Joined(row.Format.Separator), row.Plain);
    }
}

TEST(RowCells, KeepEveryCellWhateverItsLengthOrBytes)
{
    const std::vector<std::string> cells = {"",
                                            std::string(1, '\0'),
                                            "\x80\xFF,\"",
                                            std::string(63, 'a'),
                                            std::string(64, 'b'),
                                            std::string(4095, 'c'),
                                            std::string(4096, 'd'),
                                            std::string(300000, 'e'),
                                            ""};
    RowCells row;
    for (const std::string& cell : cells) {
        row.Add(cell);
    }
    std::vector<std::string> back;
    row.ForEachCell([&](std::string_view cell) { back.emplace_back(cell); });
    EXPECT_EQ(back, cells);

    // Cells as long as the codes of the bytes that the writers look for:
    // the lengths never look like them.
    RowCells plain;
    for (const char special : {'\n', '\r', '"', ',', '&', '<', '>', '\t', ';'}) {
        plain.Add(std::string(static_cast<std::size_t>(special), 'x'));
    }
    EXPECT_FALSE(HoldsAnyOf(plain.Packed(), '\n', '\r', '"', ','));
    EXPECT_FALSE(HoldsAnyOf(plain.Packed(), '&', '<', '>', '\t'));
}

TEST(BuildRow, TagBytesBecomeUtf8ButFileNamesStayAsGiven)
{
    TagInfo tag = Tag();
    tag.Title = "Caf\xE9";
    tag.Artist = "Bj\xC3\xB6rk";
    AudioFileInfo info = ValidFile();
    info.FileName = "/music/Caf\xE9.mp3";
    const std::vector<std::string> captions = {"Songname", "Artist", "Filename"};
    EXPECT_EQ(Row(info, tag, captions, kCsv), "Café,Björk,Caf\xE9.mp3");

    TagInfo untagged;
    untagged.Title = "Caf\xE9"; // taken from the file name by the job
    EXPECT_EQ(Row(info, untagged, captions, kCsv), "Caf\xE9,,Caf\xE9.mp3");
}

TEST(RowText, SecondColorOpensEveryCell)
{
    EXPECT_EQ(RowText(RowCells{"a", "<td>"}, kHtml, SecondColorFrame("#0057B8")),
              "<tr><td bgcolor=\"#0057B8\">a</td><td bgcolor=\"#0057B8\">&lt;td&gt;</td></tr>");
}

TEST(SelectedCaptions, FollowInformationOrderAndFlags)
{
    Profiles::Profile profile;
    profile.Information = {"Artist", "Songname", "Time", "Album"};
    profile.Checked = {true, false, true};
    EXPECT_EQ(SelectedCaptions(profile), (std::vector<std::string>{"Artist", "Time"}));
}

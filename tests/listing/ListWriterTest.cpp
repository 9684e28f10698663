#include "listing/ListWriter.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>

#include "base/IoError.h"
#include "profiles/ListFormat.h"
#include "tests/support/TempDir.h"

using namespace Listing;

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
}

TEST(WriteList, PageTextsAreEscaped)
{
    const ListPage page{.Headline = "Rock & <Roll>",
                        .FontStyle = "\"Comic\"",
                        .FontColor = "<red>",
                        .BackColor = "a&b"};
    EXPECT_NE(HtmlHeadLine1(page).find("<title>Rock &amp; &lt;Roll&gt;</title>"),
              std::string::npos);
    EXPECT_NE(HtmlHeadLine1(page).find("face=\"&quot;Comic&quot;\""), std::string::npos);
    EXPECT_NE(HtmlHeadLine1(page).find("color=&lt;red&gt;>"), std::string::npos);
    EXPECT_NE(HtmlHeadLine2(page).find("font-family : &quot;Comic&quot;;"), std::string::npos);
    const std::string body = HtmlHeadLine3(page, ListSummary{});
    EXPECT_NE(body.find("<body bgcolor=\"a&amp;b\" text=\"&lt;red&gt;\""), std::string::npos);
    EXPECT_NE(body.find("<h1>Rock &amp; &lt;Roll&gt;</h1>"), std::string::npos);
}

TEST(WriteList, FooterDateDefaultsToToday)
{
    ListContent content = HtmlContent();
    content.Date.clear();
    std::ostringstream out;
    WriteList(out, content);
    EXPECT_NE(out.str().find("Index created on " + TodayText() + " by"), std::string::npos);
    EXPECT_FALSE(TodayText().empty());
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

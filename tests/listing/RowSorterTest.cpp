#include "listing/RowSorter.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "profiles/Profile.h"

using namespace Listing;

namespace {

const RowFormat kText{.ListFormat = Profiles::kFormatText, .Separator = "\t"};

std::vector<std::string> Sorted(std::vector<std::string> rows, const RowFormat& format = kText)
{
    SortRows(rows, format);
    return rows;
}

} // namespace

TEST(SortRows, IgnoresLetterCaseButNotAccentsAndKeepsTies)
{
    EXPECT_EQ(Sorted({"zebra", "Banana", "résumé", "apple", "resume", "APPLE", "äpfel", "Apple"}),
              (std::vector<std::string>{"äpfel", "apple", "APPLE", "Apple", "Banana", "resume",
                                        "résumé", "zebra"}));
}

TEST(SortRows, RowsSharingALongBeginningAreComparedInFull)
{
    const std::string folder = "/home/listener/Music/Some Artist/Some Album With A Long Name/";
    EXPECT_EQ(
        Sorted({folder + "c", folder + "B", folder + "b", folder + "a", folder + "A", folder}),
        (std::vector<std::string>{folder, folder + "a", folder + "A", folder + "B", folder + "b",
                                  folder + "c"}));
}

TEST(SortRows, OrdersByThePlainTextNotByTheWrittenRow)
{
    // Quoting puts a '"' in front of the first row, escaping an '&' into the
    // second; the texts the user reads decide.
    const RowFormat csv{.ListFormat = Profiles::kFormatCsv, .Separator = ","};
    EXPECT_EQ(Sorted({"\"b,1\",x", "a,y", "c,z"}, csv),
              (std::vector<std::string>{"a,y", "\"b,1\",x", "c,z"}));
    const RowFormat html{.ListFormat = Profiles::kFormatHtml, .Separator = "</td><td>"};
    EXPECT_EQ(
        Sorted({"<tr><td>b</td></tr>", "<tr><td>&amp;</td></tr>", "<tr><td>a</td></tr>"}, html),
        (std::vector<std::string>{"<tr><td>&amp;</td></tr>", "<tr><td>a</td></tr>",
                                  "<tr><td>b</td></tr>"}));
}

TEST(SortRows, RowsThatAreNotUtf8StillSort)
{
    EXPECT_EQ(Sorted({"b\xE9", "a\xFF", "c"}), (std::vector<std::string>{"a\xFF", "b\xE9", "c"}));
}

TEST(ApplyOrder, MovesRowsAlongEveryCycle)
{
    std::vector<std::string> rows = {"r0", "r1", "r2", "r3", "r4"};
    ApplyOrder(rows, {3, 0, 4, 1, 2});
    EXPECT_EQ(rows, (std::vector<std::string>{"r3", "r0", "r4", "r1", "r2"}));
}

TEST(CollationLocaleName, FollowsLcCollate)
{
    const std::string saved = std::setlocale(LC_COLLATE, nullptr);
    ASSERT_NE(std::setlocale(LC_COLLATE, "C"), nullptr);
    EXPECT_EQ(CollationLocaleName(), "");
    if (std::setlocale(LC_COLLATE, "C.UTF-8") != nullptr) {
        EXPECT_EQ(CollationLocaleName(), "");
    }
    std::setlocale(LC_COLLATE, saved.c_str());
}

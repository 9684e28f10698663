#include "listing/RowSorter.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace Listing;

TEST(SortRows, IgnoresLetterCaseButNotAccentsAndKeepsTies)
{
    std::vector<std::string> rows = {"zebra",  "Banana", "résumé", "apple",
                                     "resume", "APPLE",  "äpfel",  "Apple"};
    SortRows(rows, rows);
    EXPECT_EQ(rows, (std::vector<std::string>{"äpfel", "apple", "APPLE", "Apple", "Banana",
                                              "resume", "résumé", "zebra"}));
}

TEST(SortRows, OrdersByThePlainTextNotByTheWrittenRow)
{
    // Quoting puts a '"' in front of the first row; the plain texts decide.
    std::vector<std::string> rows = {"\"b,1\",x", "a,y", "c,z"};
    SortRows(rows, {"b,1,x", "a,y", "c,z"});
    EXPECT_EQ(rows, (std::vector<std::string>{"a,y", "\"b,1\",x", "c,z"}));
}

TEST(SortRows, RowsThatAreNotUtf8StillSort)
{
    std::vector<std::string> rows = {"b\xE9", "a\xFF", "c"};
    SortRows(rows, rows);
    EXPECT_EQ(rows, (std::vector<std::string>{"a\xFF", "b\xE9", "c"}));
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

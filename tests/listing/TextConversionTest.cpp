#include "listing/TextConversion.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

using namespace Listing;

TEST(TagTextToUtf8, KeepsUtf8AndDecodesEverythingElseAsWindows1252)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Motörhead", "Motörhead"}, {"Mot\xF6rhead", "Motörhead"},
        {"\x80 5", "€ 5"},          {"\x93Quoted\x94", "\xE2\x80\x9CQuoted\xE2\x80\x9D"},
        {"\x81", "\xC2\x81"}, // undefined in the code page: kept as the C1 control
        {"\x9F\xFF", "Ÿÿ"},
    };
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in);
        EXPECT_EQ(TagTextToUtf8(in), out);
    }
}

TEST(CellEscaping, HtmlEntitiesCsvQuotesAndBlankedBreaks)
{
    EXPECT_EQ(EscapeHtml("<b>\"Tom & Jerry\"</b>"),
              "&lt;b&gt;&quot;Tom &amp; Jerry&quot;&lt;/b&gt;");
    EXPECT_EQ(EscapeHtml("/music/Simon and Garfunkel/"), "/music/Simon and Garfunkel/");
    EXPECT_EQ(EscapeHtml("/music/Simon & Garfunkel/"), "/music/Simon &amp; Garfunkel/");
    const std::pair<const char*, const char*> csv[] = {
        {"plain", "plain"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"semi;colon", "semi;colon"},
        // Found wherever they are in longer cells.
        {"0123456789abcdef,", "\"0123456789abcdef,\""},
        {"01234567\n", "\"01234567\n\""},
        {"0123456789a,", "\"0123456789a,\""},
        {"0123456789abcdef\"0123456", "\"0123456789abcdef\"\"0123456\""},
        {"a long cell without any of them; none", "a long cell without any of them; none"},
    };
    for (const auto& [in, out] : csv) {
        SCOPED_TRACE(in);
        EXPECT_EQ(QuoteCsvCell(in, ","), out);
    }
    EXPECT_EQ(BlankLineBreaks("a\tb\r\nc", true), "a b  c");
    EXPECT_EQ(BlankLineBreaks("a\tb\r\nc", false), "a\tb  c");
}

#include "listing/TextConversion.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

using namespace Listing;

TEST(IsValidUtf8, AcceptsOnlyWellFormedSequences)
{
    const std::pair<const char*, bool> rows[] = {
        {"", true},
        {"plain", true},
        {"\xC3\x84rger", true},      // Ä
        {"\xE2\x82\xAC", true},      // €
        {"\xF0\x9F\x8E\xB5", true},  // musical note
        {"\xC4rger", false},         // Ä in Windows-1252
        {"\xC0\xAF", false},         // overlong "/"
        {"\xE0\x80\xAF", false},     // overlong three-byte form
        {"\xED\xA0\x80", false},     // surrogate
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xE2\x82", false},         // cut off at the end
        {"\x80", false},             // stray continuation byte
    };
    for (const auto& [text, valid] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(IsValidUtf8(text), valid);
    }
}

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

TEST(CutCharacters, CountsCharactersAndNeverSplitsASequence)
{
    struct Row
    {
        const char* Text;
        std::size_t Count;
        const char* Cut;
    };

    const Row rows[] = {
        {"abcdef", 3, "abc"},
        {"ab", 5, "ab"},
        {"äöüß", 2, "äö"},
        {"a€b", 2, "a€"},
        {"\xE4\xF6\xFC", 2, "\xE4\xF6"}, // Latin-1 bytes: one character each
        {"a\xE2\x82", 2, "a\xE2"},       // a cut-off sequence is stray bytes
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(CutCharacters(row.Text, row.Count), row.Cut);
    }
    EXPECT_EQ(CountCharacters("äöüß"), 4u);
}

TEST(CellEscaping, HtmlEntitiesCsvQuotesAndBlankedBreaks)
{
    EXPECT_EQ(EscapeHtml("<b>\"Tom & Jerry\"</b>"),
              "&lt;b&gt;&quot;Tom &amp; Jerry&quot;&lt;/b&gt;");
    const std::pair<const char*, const char*> csv[] = {
        {"plain", "plain"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"semi;colon", "semi;colon"},
    };
    for (const auto& [in, out] : csv) {
        SCOPED_TRACE(in);
        EXPECT_EQ(QuoteCsvCell(in, ","), out);
    }
    EXPECT_EQ(BlankLineBreaks("a\tb\r\nc", true), "a b  c");
    EXPECT_EQ(BlankLineBreaks("a\tb\r\nc", false), "a\tb  c");
}

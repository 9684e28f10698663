#include "listing/TextConversion.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <iconv.h>
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

namespace {

// The byte as the system's converter reads Windows-1252, or empty when it
// leaves the byte undefined.
std::string ConverterUtf8(iconv_t converter, unsigned char byte)
{
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPos = in;
    char* outPos = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &inPos, &inLeft, &outPos, &outLeft) == static_cast<std::size_t>(-1)) {
        return {};
    }
    return std::string(out, outPos);
}

} // namespace

TEST(Windows1252ToUtf8, AgreesWithTheSystemConverterOnEveryHighByte)
{
    const iconv_t converter = iconv_open("UTF-8", "WINDOWS-1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        GTEST_SKIP() << "no Windows-1252 converter here";
    }
    int undefined = 0;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        SCOPED_TRACE(byte);
        const std::string expected = ConverterUtf8(converter, static_cast<unsigned char>(byte));
        const std::string text(1, static_cast<char>(byte));
        if (expected.empty()) {
            // Undefined in the code page: the C1 control of the same value.
            ++undefined;
            const std::string control = {'\xC2', static_cast<char>(byte)};
            EXPECT_EQ(Windows1252ToUtf8(text), control);
        } else {
            EXPECT_EQ(Windows1252ToUtf8(text), expected);
        }
    }
    iconv_close(converter);
    EXPECT_EQ(undefined, 5);
    // The commonest apostrophe in tags is 0x92, the right single quotation mark.
    EXPECT_EQ(TagTextToUtf8("Don\x92t"), "Don\u2019t");
}

TEST(QuoteCsvCell, EveryLineBreakAloneOrPairedIsQuoted)
{
    const std::pair<const char*, const char*> rows[] = {
        {"\r", "\"\r\""},     {"\n", "\"\n\""},           {"a\rb", "\"a\rb\""},
        {"a\nb", "\"a\nb\""}, {"end\r", "\"end\r\""},     {"\nstart", "\"\nstart\""},
        {"\n\r", "\"\n\r\""}, {"tab\tonly", "tab\tonly"},
    };
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in);
        EXPECT_EQ(QuoteCsvCell(in, ","), out);
    }
}

// Every length up to three blocks of sixteen, a hit at every place of it (or
// none, among all other byte values), so that each block size and the tail
// are seen to find what they hold and nothing else.
TEST(HoldsAnyOf, FindsTheFourBytesAtEveryPlaceAndNothingElse)
{
    const std::string hits = "\"\r\n,";
    std::string others;
    for (int byte = 0; byte < 256; ++byte) {
        if (hits.find(static_cast<char>(byte)) == std::string::npos) {
            others += static_cast<char>(byte);
        }
    }
    for (std::size_t length = 0; length <= 48; ++length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            text += others[(i * 37 + length) % others.size()];
        }
        SCOPED_TRACE(length);
        EXPECT_FALSE(HoldsAnyOf(text, '"', '\r', '\n', ','));
        for (std::size_t at = 0; at < length; ++at) {
            for (const char hit : hits) {
                std::string holding = text;
                holding[at] = hit;
                EXPECT_TRUE(HoldsAnyOf(holding, '"', '\r', '\n', ',')) << at;
            }
        }
    }
}

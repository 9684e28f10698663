#include "base/Utf8.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Hex(const std::string& text)
{
    std::string hex;
    for (const char c : text) {
        constexpr const char* kDigits = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
        hex += ' ';
    }
    return hex;
}

} // namespace

// Each row splits its text into the characters every count and cut must see;
// the cut to k characters is then the first k of them, for every k.
TEST(Utf8, AWellFormedSequenceOrAnyOtherSingleByteIsOneCharacter)
{
    struct Row
    {
        std::string Text;
        std::vector<std::string> Characters;
        bool Valid;
    };

    const Row rows[] = {
        {"", {}, true},
        {"plain", {"p", "l", "a", "i", "n"}, true},
        {"äöüß", {"ä", "ö", "ü", "ß"}, true},
        {"Ärger", {"Ä", "r", "g", "e", "r"}, true},
        {"a€b", {"a", "€", "b"}, true},
        {"\xF0\x9F\x8E\xB5!", {"\xF0\x9F\x8E\xB5", "!"}, true}, // musical note
        {"\xE0\xA0\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF",            // U+0800, U+D7FF, U+10FFFF
         {"\xE0\xA0\x80", "\xED\x9F\xBF", "\xF4\x8F\xBF\xBF"},
         true},
        // Stray continuation bytes.
        {"\x80", {"\x80"}, false},
        {"a\x80\xBF"
         "b",
         {"a", "\x80", "\xBF", "b"},
         false},
        {"ä\xA4", {"ä", "\xA4"}, false},
        // Latin-1 and Windows-1252 text.
        {"\xC4rger", {"\xC4", "r", "g", "e", "r"}, false},
        {"\xE4\xF6\xFC", {"\xE4", "\xF6", "\xFC"}, false},
        // Sequences cut off, at the end or before another character.
        {"a\xE2\x82", {"a", "\xE2", "\x82"}, false},
        {"\xF0\x9F\x8E", {"\xF0", "\x9F", "\x8E"}, false},
        {"\xC3"
         "a",
         {"\xC3", "a"},
         false},
        {"\xE2\x82\xC3\xA4", {"\xE2", "\x82", "ä"}, false},
        // Overlong forms, surrogates, code points above U+10FFFF, and lead
        // bytes that never start a sequence.
        {"\xC0\xAF", {"\xC0", "\xAF"}, false},
        {"\xC1\xBF", {"\xC1", "\xBF"}, false},
        {"\xE0\x80\xAF", {"\xE0", "\x80", "\xAF"}, false},
        {"\xF0\x8F\xBF\xBF", {"\xF0", "\x8F", "\xBF", "\xBF"}, false},
        {"\xED\xA0\x80", {"\xED", "\xA0", "\x80"}, false},
        {"\xF4\x90\x80\x80", {"\xF4", "\x90", "\x80", "\x80"}, false},
        {"\xF5\x80\x80\x80", {"\xF5", "\x80", "\x80", "\x80"}, false},
        {"\xFF\xFE", {"\xFF", "\xFE"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Hex(row.Text));
        EXPECT_EQ(Utf8::IsValid(row.Text), row.Valid);
        EXPECT_EQ(Utf8::Count(row.Text), row.Characters.size());
        std::string prefix;
        for (std::size_t k = 0; k <= row.Characters.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(Utf8::Cut(row.Text, k), prefix);
            if (k < row.Characters.size()) {
                prefix += row.Characters[k];
            }
        }
        EXPECT_EQ(Utf8::Cut(row.Text, row.Characters.size() + 1), row.Text);
    }
}

TEST(Utf8, DecodesCodePointsAndStrayBytesAboveTheUnicodeRange)
{
    constexpr char32_t kStray = Utf8::kStrayByteBase;
    const std::pair<std::string, std::vector<char32_t>> rows[] = {
        {"aÄ€\xF0\x9F\x8E\xB5", {U'a', 0xC4, 0x20AC, 0x1F3B5}},
        {"\xF4\x8F\xBF\xBF", {0x10FFFF}},
        {"\xC4"
         "b",
         {kStray + 0xC4, U'b'}},
        {"\xE2\x82", {kStray + 0xE2, kStray + 0x82}},
        {"", {}},
    };
    std::vector<char32_t> decoded; // kept between rows, as the callers keep it
    for (const auto& [text, codes] : rows) {
        SCOPED_TRACE(Hex(text));
        Utf8::Decode(text, decoded);
        EXPECT_EQ(decoded, codes);
    }
}

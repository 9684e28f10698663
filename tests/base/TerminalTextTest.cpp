#include "base/TerminalText.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

TEST(TerminalSafe, ControlCharactersAndStrayBytesBecomeEscapesAndTextStays)
{
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"/music/Song - Ärger ½ 日本.mp3", "/music/Song - Ärger ½ 日本.mp3"},
        {"back\\slash ~", "back\\slash ~"},
        // A title change, a screen clear and a cursor move in a file name.
        {"\x1b]0;owned\x07.mp3", "\\x1b]0;owned\\x07.mp3"},
        {"a\x1b[2Jb", "a\\x1b[2Jb"},
        {std::string("nul") + '\0' + "tab\tcr\rlf\n", "nul\\x00tab\\x09cr\\x0dlf\\x0a"},
        {"\x1f \x7f", "\\x1f \\x7f"},
        // C1 codes as UTF-8 (CSI U+009B, the first and last), and the first
        // character beyond them.
        {"\xc2\x9b"
         "2J",
         "\\xc2\\x9b2J"},
        {"\xc2\x80\xc2\x9f\xc2\xa0", "\\xc2\\x80\\xc2\\x9f\xc2\xa0"},
        // Bytes outside well-formed UTF-8: a lone CSI byte, a Latin-1 name,
        // a sequence cut off at the end.
        {"\x9b"
         "2J",
         "\\x9b2J"},
        {"caf\xe9", "caf\\xe9"},
        {"\xe6\x97", "\\xe6\\x97"},
    };
    for (const auto& [text, shown] : rows) {
        SCOPED_TRACE(shown);
        EXPECT_EQ(TerminalSafe(text), shown);
    }
}

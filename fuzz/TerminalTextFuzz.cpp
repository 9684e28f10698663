// Text on its way to a terminal (TerminalSafe). What comes out holds no
// control character a terminal would obey and is well-formed UTF-8, and
// nothing is lost: reading every "\xHH" back as its byte gives the same text
// for the input and the output, and text without controls stays as it is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/TerminalText.h"
#include "base/Utf8.h"
#include "fuzz/FuzzSupport.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Every "\x" followed by two lower-case hex digits as the byte it names.
std::string ReadEscapes(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 4;
        } else {
            out += text[i++];
        }
    }
    return out;
}

bool HasControl(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
        // U+0080 to U+009F.
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<std::uint8_t>(text[i + 1]) < 0xA0) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string safe = TerminalSafe(text);
    FUZZ_CHECK(Utf8::IsValid(safe));
    FUZZ_CHECK(!HasControl(safe));
    FUZZ_CHECK(ReadEscapes(safe) == ReadEscapes(text));
    if (Utf8::IsValid(text) && !HasControl(text)) {
        FUZZ_CHECK(safe == text);
    }
    // Each escape stands for one byte: three bytes more for every byte taken out.
    FUZZ_CHECK(safe.size() >= text.size() && (safe.size() - text.size()) % 3 == 0);
    return 0;
}

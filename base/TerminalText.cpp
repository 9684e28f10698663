#include "base/TerminalText.h"

#include <cstdint>

#include "base/Ascii.h"
#include "base/Utf8.h"

namespace {

void AppendEscape(std::string& out, std::uint8_t byte)
{
    out += "\\x";
    Ascii::AppendHex(out, byte);
}

} // namespace

std::string TerminalSafe(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[pos]);
        const std::size_t length = Utf8::SequenceLength(text, pos);
        // U+0080 to U+009F are the two-byte sequences C2 80 to C2 9F.
        const bool control = length == 0 || lead < 0x20 || lead == 0x7F ||
                             (lead == 0xC2 && static_cast<std::uint8_t>(text[pos + 1]) < 0xA0);
        if (!control) {
            out.append(text.substr(pos, length));
            pos += length;
            continue;
        }
        const std::size_t bytes = length == 0 ? 1 : length;
        for (std::size_t i = 0; i < bytes; ++i) {
            AppendEscape(out, static_cast<std::uint8_t>(text[pos + i]));
        }
        pos += bytes;
    }
    return out;
}

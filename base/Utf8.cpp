#include "base/Utf8.h"

#include <cstdint>

namespace Utf8 {

namespace {

// Length of the character at pos: a whole sequence, or one stray byte.
std::size_t CharacterLength(std::string_view text, std::size_t pos)
{
    const std::size_t length = SequenceLength(text, pos);
    return length == 0 ? 1 : length;
}

} // namespace

std::size_t SequenceLength(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;  // bounds of the second byte, which rule out overlong
    std::uint8_t high = 0xBF; // forms, surrogates and code points above U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0; // a continuation byte, C0, C1 or F5 to FF
    }
    if (length > text.size() - pos) {
        return 0;
    }
    if (byte(pos + 1) < low || byte(pos + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool IsValid(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        if (static_cast<std::uint8_t>(text[pos]) < 0x80) {
            ++pos; // ASCII, most of most texts
            continue;
        }
        const std::size_t length = SequenceLength(text, pos);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::size_t Count(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        pos += CharacterLength(text, pos);
    }
    return count;
}

std::string Cut(std::string_view text, std::size_t count)
{
    if (text.size() <= count) {
        return std::string(text); // every character takes a byte at least
    }
    std::size_t pos = 0;
    for (std::size_t n = 0; n < count && pos < text.size(); ++n) {
        pos += CharacterLength(text, pos);
    }
    return std::string(text.substr(0, pos));
}

void Decode(std::string_view text, std::vector<char32_t>& out)
{
    out.clear();
    for (std::size_t pos = 0; pos < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[pos]);
        const std::size_t length = SequenceLength(text, pos);
        if (length == 0) {
            out.push_back(kStrayByteBase + lead);
            ++pos;
            continue;
        }
        // The lead byte keeps 7, 5, 4 or 3 value bits; each continuation six.
        constexpr std::uint8_t kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t code = lead & kLeadBits[length];
        for (std::size_t i = 1; i < length; ++i) {
            code = code << 6 | (static_cast<std::uint8_t>(text[pos + i]) & 0x3Fu);
        }
        out.push_back(code);
        pos += length;
    }
}

} // namespace Utf8

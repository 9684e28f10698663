#include "profiles/Profile.h"

#include <cctype>
#include <cstdio>

namespace Profiles {

std::int32_t IntegerFromText(const std::string& text, const std::string& valueName)
{
    auto fail = [&]() -> ProfileError {
        return ProfileError("'" + text + "' is not a valid integer value for '" + valueName + "'");
    };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const bool hex = i < text.size() && text[i] == '$';
    if (hex) {
        ++i;
    }
    if (i == text.size()) {
        throw fail();
    }
    // Hexadecimal texts cover all 32 bits ("$FFFFFFFF" is -1); decimal ones
    // the signed range.
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && std::isxdigit(c)) {
            digit = std::toupper(c) - 'A' + 10;
        }
        if (digit < 0) {
            throw fail();
        }
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (value > limit) {
            throw fail();
        }
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) {
        bits = 0u - bits;
    }
    return static_cast<std::int32_t>(bits);
}

std::string ColorToHtml(std::int32_t colour)
{
    // Only the low 24 bits are a colour; a high byte set by another tool
    // (system colour flags) must not shift the digits.
    const auto bits = static_cast<std::uint32_t>(colour);
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", bits & 0xFFu, (bits >> 8) & 0xFFu,
                  (bits >> 16) & 0xFFu);
    return text;
}

} // namespace Profiles

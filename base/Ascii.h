#pragma once

// Letter case of ASCII letters only, whatever the locale: the rule the
// settings store uses for its names (SQLite's NOCASE folds A-Z and nothing
// else). A locale-aware fold would disagree with the store, for instance on
// "I" in a Turkish locale. And hexadecimal digits, for escapes and names.

#include <cstddef>
#include <string>
#include <string_view>

namespace Ascii {

constexpr char ToLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToLower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        c = ToLower(c);
    }
    return lower;
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToLower(a[i]) != ToLower(b[i])) {
            return false;
        }
    }
    return true;
}

// Orders as the store's NOCASE does: bytes compared after folding A-Z.
constexpr bool LessIgnoringCase(std::string_view a, std::string_view b)
{
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(ToLower(a[i]));
        const auto y = static_cast<unsigned char>(ToLower(b[i]));
        if (x != y) {
            return x < y;
        }
    }
    return a.size() < b.size();
}

// The two hexadecimal digits of byte, appended to out: 0-9 and a-f, or
// A-F where upper is set.
inline void AppendHex(std::string& out, unsigned char byte, bool upper = false)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 0xF];
}

} // namespace Ascii

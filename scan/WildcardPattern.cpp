#include "scan/internal/WildcardPattern.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "base/Utf8.h"
#include "scan/DirTools.h"

namespace DirTools {

namespace {

// Lower case for the scripts most file names use (Latin, Greek, Cyrillic);
// the table is fixed so that matching does not depend on the locale.
char32_t FoldCase(char32_t c)
{
    if (c < 0x80)
        return c >= U'A' && c <= U'Z' ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    // Latin Extended-A pairs: upper case at even code points here ...
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    // ... and at odd code points here.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) != 0 ? c + 1 : c;
    if (c == 0x178)
        return 0xFF;
    if (c == 0x3C2) // final sigma
        return 0x3C3;
    return c;
}

// Bytes that are not valid UTF-8 decode to values above the Unicode range,
// which fold to themselves: they match only themselves or a "?", and never a
// real character.
void DecodeFolded(std::string_view text, std::vector<char32_t>& out)
{
    Utf8::Decode(text, out);
    for (char32_t& c : out)
        c = FoldCase(c);
}

// Greedy match that returns to the last "*" only: at most pattern length
// times name length steps, whatever the pattern.
bool MatchDecoded(const std::vector<char32_t>& pattern, const std::vector<char32_t>& name)
{
    constexpr std::size_t kNoStar = static_cast<std::size_t>(-1);
    std::size_t p = 0, n = 0, starP = kNoStar, starN = 0;
    while (n < name.size()) {
        // The star comes first: POSIX names may hold a literal "*".
        if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != kNoStar) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

} // namespace

// "*.*" stands for every name, also one without a dot, as it does for the
// Windows file search: the extension "*" then lists the whole folder.
WildcardPattern::WildcardPattern(const std::string& pattern)
{
    DecodeFolded(pattern == "*.*" ? std::string_view("*") : std::string_view(pattern), m_pattern);
    // Only ASCII letters fold to ASCII letters, and a name's last bytes are
    // whole ASCII characters only when each of them is below 0x80: so a
    // name matches "*" + ASCII text exactly when those are its last bytes.
    m_asciiEnding = !m_pattern.empty() && m_pattern.front() == U'*' &&
                    std::all_of(m_pattern.begin() + 1, m_pattern.end(),
                                [](char32_t c) { return c < 0x80 && c != U'*' && c != U'?'; });
    if (m_asciiEnding) {
        m_ending.assign(m_pattern.begin() + 1, m_pattern.end());
    }
}

bool WildcardPattern::Matches(const std::string& name)
{
    if (m_asciiEnding) {
        if (name.size() < m_ending.size()) {
            return false;
        }
        const std::size_t start = name.size() - m_ending.size();
        for (std::size_t i = 0; i < m_ending.size(); ++i) {
            const auto c = static_cast<unsigned char>(name[start + i]);
            if (c >= 0x80 || static_cast<char32_t>(FoldCase(c)) !=
                                 static_cast<char32_t>(static_cast<unsigned char>(m_ending[i]))) {
                return false;
            }
        }
        return true;
    }
    DecodeFolded(name, m_name);
    return MatchDecoded(m_pattern, m_name);
}

bool MatchesWildcard(const std::string& pattern, const std::string& name)
{
    return WildcardPattern(pattern).Matches(name);
}

} // namespace DirTools

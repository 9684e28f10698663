#pragma once

// A "*"/"?" pattern decoded once, so that the entries of a folder can be
// matched without decoding the pattern again for every name.

#include <string>
#include <vector>

namespace DirTools {

class WildcardPattern
{
public:
    explicit WildcardPattern(const std::string& pattern);

    // Not const: the decoded name goes into a buffer kept between calls.
    [[nodiscard]] bool Matches(const std::string& name);

private:
    std::vector<char32_t> m_pattern;
    std::vector<char32_t> m_name;
    // For "*" and ASCII text without wildcards ("*.mp3", the usual pattern):
    // that text in lower case. A name then matches when it ends in those
    // letters in any case, which needs no decoding of the name.
    bool m_asciiEnding = false;
    std::string m_ending;
};

} // namespace DirTools

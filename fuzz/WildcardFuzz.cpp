// The "*"/"?" matcher of the folder walk. The input up to its first zero byte
// is the pattern, the rest the name (without a zero byte, both are the whole
// input). A name matches itself, and ASCII letter case never counts.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "scan/DirTools.h"
#include "scan/internal/WildcardPattern.h"

using DirTools::MatchesWildcard;
using DirTools::WildcardPattern;

namespace {

std::string AsciiCase(std::string text, bool upper)
{
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (!upper && c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = input.find('\0');
    const std::string pattern = input.substr(0, zero);
    const std::string name = zero == std::string::npos ? input : input.substr(zero + 1);

    WildcardPattern compiled(pattern);
    const bool matches = compiled.Matches(name);
    FUZZ_CHECK(MatchesWildcard(pattern, name) == matches);
    // The decoded name is kept between calls; a later call must not see an earlier one.
    (void)compiled.Matches(name + name + "x");
    FUZZ_CHECK(compiled.Matches(name) == matches);
    FUZZ_CHECK(MatchesWildcard(AsciiCase(pattern, true), AsciiCase(name, false)) == matches);
    FUZZ_CHECK(MatchesWildcard(AsciiCase(pattern, false), AsciiCase(name, true)) == matches);

    // A pattern that begins with "?" is matched character by character:
    // the quick way of the usual "*.ext" agrees with it.
    // ("*.*" alone stands for every name.)
    FUZZ_CHECK(pattern == "*.*" || MatchesWildcard("?" + pattern, "x" + name) == matches);

    FUZZ_CHECK(MatchesWildcard(name, name));
    FUZZ_CHECK(MatchesWildcard(AsciiCase(name, true), AsciiCase(name, false)));
    FUZZ_CHECK(MatchesWildcard("*", name));
    FUZZ_CHECK(MatchesWildcard("*" + name, "x" + name));
    FUZZ_CHECK(MatchesWildcard(name + "*", name + "x"));
    return 0;
}

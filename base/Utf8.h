#pragma once

// UTF-8 text walked one character at a time, by one rule for every use: a
// well-formed sequence (strict UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF) is one character, and any other byte is one
// character on its own. So text in another encoding (a Latin-1 file name, a
// sequence cut off at the end) is still counted, cut and matched byte by byte,
// and a cut never splits a well-formed sequence.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Utf8 {

// Length in bytes (1 to 4) of the well-formed sequence that starts at pos, or
// 0 when the byte there starts none. pos must lie inside text.
[[nodiscard]] std::size_t SequenceLength(std::string_view text, std::size_t pos);

// True when all of text is well-formed.
[[nodiscard]] bool IsValid(std::string_view text);

[[nodiscard]] std::size_t Count(std::string_view text);

// The first count characters of text (all of it when it has fewer).
[[nodiscard]] std::string Cut(std::string_view text, std::size_t count);

// A byte that starts no well-formed sequence decodes to this plus its value:
// above the Unicode range, so it equals only the same stray byte and never a
// real character.
constexpr char32_t kStrayByteBase = 0x110000;

// Every character of text as its code point, one entry per character; out is
// cleared first (a buffer kept between calls).
void Decode(std::string_view text, std::vector<char32_t>& out);

} // namespace Utf8

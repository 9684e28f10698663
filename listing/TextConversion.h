#pragma once

// Text handling of list cells: tag bytes into UTF-8, cuts that count
// characters, and the per-format escaping and quoting of a cell.

#include <cstddef>
#include <string>
#include <string_view>

namespace Listing {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Every byte as its Windows-1252 character, written as UTF-8. The five bytes
// the code page leaves undefined map to the C1 control of the same value.
std::string Windows1252ToUtf8(std::string_view text);

// A tag field as a cell: kept when it is valid UTF-8 (a tag written by a
// modern tagger), otherwise read as Windows-1252 (what old taggers wrote).
std::string TagTextToUtf8(std::string_view text);

// The first count characters of text. A well-formed UTF-8 sequence counts as
// one character and is never split; any other byte counts as one on its own,
// so file names in other encodings are cut too.
std::string CutCharacters(std::string_view text, std::size_t count);
std::size_t CountCharacters(std::string_view text);

// & < > " as entities, so no cell or caption can add markup to a page.
std::string EscapeHtml(std::string_view text);

// A CSV cell: enclosed in double quotes, inner quotes doubled, when it holds
// the separator, a double quote, CR or LF; otherwise unchanged.
std::string QuoteCsvCell(std::string_view text, std::string_view separator);

// Every CR and LF (and TAB when blankTabs is set) as a blank, so one file
// stays one line of a text list.
std::string BlankLineBreaks(std::string_view text, bool blankTabs);

} // namespace Listing

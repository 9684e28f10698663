#pragma once

// Text handling of list cells: tag bytes into UTF-8, cuts that count
// characters, and the per-format escaping and quoting of a cell.

#include <cstddef>
#include <string>
#include <string_view>

namespace Listing {

// Every byte as its Windows-1252 character, written as UTF-8. The five bytes
// the code page leaves undefined map to the C1 control of the same value.
std::string Windows1252ToUtf8(std::string_view text);

// A tag field as a cell: kept when it is valid UTF-8 (a tag written by a
// modern tagger), otherwise read as Windows-1252 (what old taggers wrote).
std::string TagTextToUtf8(std::string_view text);

// True when text holds any of the four bytes.
[[nodiscard]] bool HoldsAnyOf(std::string_view text, char a, char b, char c, char d);

// & < > " as entities, so no cell or caption can add markup to a page.
std::string EscapeHtml(std::string_view text);
// The same, appended to out.
void AppendEscapedHtml(std::string& out, std::string_view text);

// A CSV cell: enclosed in double quotes, inner quotes doubled, when it holds
// the separator, a double quote, CR or LF; otherwise unchanged.
std::string QuoteCsvCell(std::string_view text, std::string_view separator);
// The same, appended to out.
void AppendCsvCell(std::string& out, std::string_view text, std::string_view separator);

// Every CR and LF (and TAB when blankTabs is set) as a blank, so one file
// stays one line of a text list.
std::string BlankLineBreaks(std::string_view text, bool blankTabs);

} // namespace Listing

#pragma once

// Writing a finished list: the header row and the rows, one per line, each
// line ended by CR LF, in UTF-8 without a byte-order mark. HTML lists stand
// inside a page with the headline, a summary of the scan and a dated footer.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "profiles/ListFormat.h"

namespace Listing {

// The totals the HTML summary shows; the texts are already formatted
// (bytes grouped by threes, durations as FormatDuration gives them).
struct ListSummary
{
    std::int64_t FileCount = 0; // every listed file, invalid ones included
    std::int64_t UntaggedCount = 0;
    std::string BytesText{};
    std::string LengthText{};
    std::string AverageText{};
    friend bool operator==(const ListSummary&, const ListSummary&) = default;
};

// The page look of an HTML list; colours as "#RRGGBB" texts.
struct ListPage
{
    std::string Headline{};
    std::string FontStyle{};
    std::string FontColor{};
    std::string BackColor{};
    friend bool operator==(const ListPage&, const ListPage&) = default;
};

// Everything one list file holds. Rows are finished: formatted for their
// format, HTML rows coloured.
struct ListContent
{
    Profiles::ListFormat ListFormat = Profiles::ListFormat::None;
    std::string HeaderRow{};
    std::vector<std::string> Rows{};
    ListSummary Summary{};
    ListPage Page{};
    std::string Date{}; // the footer's date; empty means today (TodayText)
};

// Today's date in the user's short date format (strftime "%x").
std::string TodayText();

// The three head lines, the summary sentence and the footer of an HTML page.
std::string HtmlHeadLine1(const ListPage& page);
std::string HtmlHeadLine2(const ListPage& page);
std::string HtmlHeadLine3(const ListPage& page, const ListSummary& summary);
std::string HtmlFooterLine(const std::string& date);

// The whole list as text, into out.
void WriteList(std::ostream& out, const ListContent& content);

// Opens fileName for writing (at its end when append is set and the file
// exists; otherwise created, or emptied when it exists), lets write fill it,
// and closes it. Any failure to open, write or close throws IoError naming
// the file and the reason; what was written before stays in the file.
void WriteOutputFile(const std::string& fileName, bool append,
                     const std::function<void(std::ostream&)>& write);

// WriteList into the file fileName, as WriteOutputFile opens it.
void WriteList(const std::string& fileName, bool append, const ListContent& content);

} // namespace Listing

#pragma once

// Writing a list: the header row and the rows, one per line, each line ended
// by CR LF, in UTF-8 without a byte-order mark. Cells are made safe for their
// format here and only here: CSV cells are quoted where needed, HTML cells
// escaped. HTML lists stand inside a page with the headline, a summary of the
// scan and a dated footer; their rows are table rows, every second one in the
// second background colour.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "listing/Columns.h"

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
    std::string HeaderColor{}; // the header row's cells
    std::string Back2Color{};  // the cells of rows 1, 3, 5, ... (from 0)
    bool Save30 = false;       // no second row colour
    friend bool operator==(const ListPage&, const ListPage&) = default;
};

// Everything one list file holds, rows in list order.
struct ListContent
{
    RowFormat Format{};
    RowCells HeaderRow{};
    std::vector<RowCells> Rows{};
    ListSummary Summary{};
    ListPage Page{};
    std::string Date{}; // the footer's date; empty means today (TodayText)
    int Threads = 1;    // that make rows into text while the list is written
};

// How the cells of an HTML table row open and how the row ends.
struct HtmlRowFrame
{
    std::string CellOpen = "<td>";
    std::string RowEnd = "</td></tr>";
};

// Every cell in the second background colour.
HtmlRowFrame SecondColorFrame(const std::string& back2Color);
// Every cell in the header colour and bold; only the last one ends the bold.
HtmlRowFrame HeaderRowFrame(const std::string& headerColor);

// One row as it is written, without its line end. The text formats join the
// cells with the separator ("CSV/Excel" quoting a cell that holds the
// separator, a double quote, CR or LF); HTML makes a table row of escaped
// cells, opened and ended as frame says (a row without cells is
// "<tr></td></tr>"). text is cleared first, so its buffer can be reused.
void RowText(std::string& text, const RowCells& row, const RowFormat& format,
             const HtmlRowFrame& frame);
std::string RowText(const RowCells& row, const RowFormat& format, const HtmlRowFrame& frame = {});

// Today's date in the user's short date format (strftime "%x").
std::string TodayText();

// The three head lines, the summary sentence and the footer of an HTML page.
std::string HtmlHeadLine1(const ListPage& page);
std::string HtmlHeadLine2(const ListPage& page);
std::string HtmlHeadLine3(const ListPage& page, const ListSummary& summary);
std::string HtmlFooterLine(const std::string& date);

// The whole list as text, into out.
void WriteList(std::ostream& out, const ListContent& content);

// Lets write fill the file fileName. A new or replaced list is written whole
// or not at all: into a temporary file beside the final target (symbolic
// links followed), made durable and renamed over the target when complete,
// with the old file's permissions (and owner and group where allowed). A
// failure, a full disk or a terminating signal leaves the previous list as
// it was and no temporary file behind. A list the user could not write in
// place is not replaced. With append set, and for an output that
// IsWrittenInPlace, fileName itself is opened (created when missing) and
// written. Any failure throws IoError naming fileName and the reason.
void WriteOutputFile(const std::string& fileName, bool append,
                     const std::function<void(std::ostream&)>& write);

// True for an output that is there and that WriteOutputFile writes as it is,
// never replaced: no plain file (a device, a pipe, a socket, a folder), or a
// descriptor of the program reached through /proc (/dev/stdout, /dev/fd/N),
// whatever it is open on.
[[nodiscard]] bool IsWrittenInPlace(const std::string& fileName);

// WriteList into the file fileName, as WriteOutputFile opens it.
void WriteList(const std::string& fileName, bool append, const ListContent& content);

} // namespace Listing

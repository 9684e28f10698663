#pragma once

// The twenty list columns, the header row and the rows of the four list
// formats, and the HTML row colouring. Every cell is made safe for its
// format: CSV cells are quoted when needed, HTML cells escaped, and line
// breaks in the text formats turned into blanks.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/MP3Tools.h"
#include "profiles/ListFormat.h"

namespace Profiles {
struct Profile;
}

namespace Listing {

// The columns in the order of Profiles::kColumnCaptions; Unknown stands for a
// caption that is none of the twenty (it gets a header cell but no data
// cells).
enum class Column
{
    Songname,
    Artist,
    Time,
    Filesize,
    CustomInfo,
    KBps,
    Mode,
    Album,
    Filepath,
    Filename,
    Comment,
    Track,
    Genre,
    Year,
    Frequency,
    Frames,
    Version,
    Layer,
    Type,
    Encoder,
    Unknown
};

static_assert(static_cast<std::size_t>(Column::Unknown) == Profiles::kColumnCaptions.size(),
              "one column for every caption");

// Compared exactly, letter case included.
Column ColumnFromCaption(std::string_view caption);

// The captions of the profile's selected columns, in Information order.
std::vector<std::string> SelectedCaptions(const Profiles::Profile& profile);
std::vector<Column> ResolveColumns(const std::vector<std::string>& captions);

// How rows of one list are put together.
struct RowFormat
{
    Profiles::ListFormat ListFormat = Profiles::ListFormat::None;
    std::string Separator{};
    friend bool operator==(const RowFormat&, const RowFormat&) = default;
};

// The format with the text between two cells: the format's own, or for the
// custom format customSeparator.
RowFormat RowFormatOf(Profiles::ListFormat listFormat, const std::string& customSeparator);

// Decimal digits grouped by threes from the right with ".": "1234567" gives
// "1.234.567".
std::string GroupThousands(std::string_view digits);

// "VBR" for a variable bit rate file, else "WavMP3" for a RIFF-wrapped one,
// else "MP3".
std::string TypeText(const MP3Tools::AudioFileInfo& info);

// "/music/a/song.mp3" -> "/music/a/" and "song.mp3".
std::string FolderPart(const std::string& path);
std::string FileNamePart(const std::string& path);

// The header row: the captions as cells; in HTML each cell opens with the
// header colour and bold text.
std::string BuildHeaderRow(const std::vector<std::string>& captions, const RowFormat& format,
                           const std::string& headerColor);

// The row of one file. An invalid file (info.Valid false) gets its path,
// "ERROR" and one blank cell for every further selected column, whatever
// else the records hold. Tag texts are turned into UTF-8 (only when the file
// is tagged: an untagged file's Songname comes from its file name and is kept
// as the file system gives it).
std::string BuildRow(const MP3Tools::AudioFileInfo& info, const MP3Tools::TagInfo& tag,
                     const std::vector<Column>& columns, const RowFormat& format,
                     const std::string& customInfo);

// What the user reads in a finished row (before colouring): the cells
// unquoted (CSV) or unescaped and without the table-row frame (HTML), joined
// by the separator. Rows are sorted by it, so quoting never moves a row.
std::string PlainRowText(const std::string& row, const RowFormat& format);

// An HTML row with every cell opening in the second background colour.
std::string ApplySecondColor(const std::string& row, const std::string& back2Color);

} // namespace Listing

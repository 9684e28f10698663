#pragma once

// The twenty list columns, the header row and the rows of the four list
// formats, and the HTML row colouring. Every cell is made safe for its
// format: CSV cells are quoted when needed, HTML cells escaped, and line
// breaks in the text formats turned into blanks.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/MP3Tools.h"

namespace Profiles {
struct Profile;
}

namespace Listing {

// The columns in their built-in order; Unknown stands for a caption that is
// none of the twenty (it gets a header cell but no data cells).
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

inline constexpr std::array<const char*, 20> kColumnCaptions = {
    "Songname",  "Artist",   "Time",     "Filesize", "Custom Info", "KBps",   "Mode",
    "Album",     "Filepath", "Filename", "Comment",  "Track",       "Genre",  "Year",
    "Frequency", "Frames",   "Version",  "Layer",    "Type",        "Encoder"};

inline constexpr const char* kCustomInfoCaption = "Custom Info";

// Compared exactly, letter case included.
Column ColumnFromCaption(std::string_view caption);

// The captions of the profile's selected columns, in Information order.
std::vector<std::string> SelectedCaptions(const Profiles::Profile& profile);
std::vector<Column> ResolveColumns(const std::vector<std::string>& captions);

// ".csv", ".idx", ".html", ".txt", or empty for no format.
std::string FormatExtension(int listFormat);

// The text between two cells: ",", the custom separator, "</td><td>", TAB,
// or empty for no format.
std::string SeparatorFor(int listFormat, const std::string& customSeparator);

// How rows of one list are put together.
struct RowFormat
{
    int ListFormat = -1;
    std::string Separator{};
    friend bool operator==(const RowFormat&, const RowFormat&) = default;
};

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

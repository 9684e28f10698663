#pragma once

// The twenty list columns and the rows of a list as the user reads them:
// which cells a row has and what each shows for a file. The text formats
// keep one line per file, so line breaks in their cells (and TABs in
// "Text-File") are blanks already here; CSV quoting and HTML escaping are left
// to the writer.

#include <cstddef>
#include <initializer_list>
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

// The cells a JSON row holds before the ones the user reads: "1" for a valid
// file (else "0"), then its size in bytes, playing time in milliseconds,
// kbit/s, Hz and frame count, as decimal numbers ("" for an invalid file).
inline constexpr std::size_t kJsonNumberCells = 6;

// How rows of one list are put together.
struct RowFormat
{
    Profiles::ListFormat ListFormat = Profiles::ListFormat::None;
    std::string Separator{};
    // Leading cells of numbers that are neither shown nor sorted by: 0, or
    // kJsonNumberCells for a JSON list (whose cells are otherwise CSV's).
    std::size_t NumberCells = 0;
    friend bool operator==(const RowFormat&, const RowFormat&) = default;
};

// The format with the text between two cells: the format's own, or for the
// custom format customSeparator.
RowFormat RowFormatOf(Profiles::ListFormat listFormat, const std::string& customSeparator);

// The cells of one row, packed into one string: every cell behind its length
// (seven bits a byte, low bits first, the high bit set while more follow).
// A cell may thus hold any byte, and a row costs one allocation and about as
// many bytes as its cells joined by a one-character separator.
class RowCells
{
public:
    RowCells() = default;
    RowCells(std::initializer_list<std::string_view> cells);

    void Add(std::string_view cell);

    // No cells; the memory is kept for the next row.
    void Clear() { m_packed.clear(); }

    // The cells with their lengths between them: a byte the cells hold is
    // somewhere in here, and an ASCII byte in here is a cell's (the length
    // bytes are all 0x80 or above).
    [[nodiscard]] std::string_view Packed() const { return m_packed; }

    template <typename Visit> void ForEachCell(Visit&& visit) const
    {
        for (std::size_t at = 0; at < m_packed.size();) {
            const std::size_t length = ReadLength(at);
            visit(std::string_view(m_packed).substr(at, length));
            at += length;
        }
    }

    // The cells joined by separator, into text (whose buffer is reused):
    // what the user reads, and what rows are sorted by. The first skip
    // cells are left out.
    void JoinInto(std::string& text, std::string_view separator, std::size_t skip = 0) const;
    std::string Joined(std::string_view separator) const;

    friend bool operator==(const RowCells&, const RowCells&) = default;

private:
    // The length stored at at, which it moves behind the length. Most cells
    // are shorter than 64 bytes: their length is one byte, read here.
    std::size_t ReadLength(std::size_t& at) const
    {
        const auto byte = static_cast<unsigned char>(m_packed[at++]);
        return (byte & 0x40) == 0 ? byte & 0x3F : ReadLongLength(byte, at);
    }

    // The rest of a length whose first byte (byte) said that more follow.
    std::size_t ReadLongLength(unsigned char byte, std::size_t& at) const;

    std::string m_packed{};
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

// The header row: the captions as cells.
RowCells BuildHeaderRow(const std::vector<std::string>& captions, const RowFormat& format);

// The row of one file, behind format.NumberCells cells of its numbers. An
// invalid file (info.Valid false) gets its path,
// "ERROR" and one blank cell for every further selected column, whatever
// else the records hold. Tag texts are turned into UTF-8 (only when the file
// is tagged: an untagged file's Songname comes from its file name and is kept
// as the file system gives it).
RowCells BuildRow(const MP3Tools::AudioFileInfo& info, const MP3Tools::TagInfo& tag,
                  const std::vector<Column>& columns, const RowFormat& format,
                  const std::string& customInfo);

} // namespace Listing

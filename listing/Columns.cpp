#include "listing/Columns.h"

#include <algorithm>
#include <cstring>

#include "base/Utf8.h"
#include "listing/TextConversion.h"
#include "profiles/Profile.h"

namespace Listing {

namespace {

// A text-format list keeps one file to a line: line breaks in a cell (and
// TABs where they separate the cells) become blanks. CSV and HTML keep the
// cell as it is; the writer quotes or escapes it.
void AddCell(RowCells& row, std::string_view cell, Profiles::ListFormat listFormat)
{
    bool blankTabs = false;
    switch (listFormat) {
    case Profiles::ListFormat::Csv:
    case Profiles::ListFormat::Html:
        row.Add(cell);
        return;
    case Profiles::ListFormat::Text:
        blankTabs = true;
        break;
    case Profiles::ListFormat::Custom:
    case Profiles::ListFormat::None:
        break;
    }
    const bool plain = std::none_of(cell.begin(), cell.end(), [&](char c) {
        return c == '\r' || c == '\n' || (blankTabs && c == '\t');
    });
    if (plain) {
        row.Add(cell);
    } else {
        row.Add(BlankLineBreaks(cell, blankTabs));
    }
}

// A tag field of a tagged file is turned into UTF-8; most are UTF-8 (or
// ASCII) already and go in as they are.
void AddTagCell(RowCells& row, const MP3Tools::TagInfo& tag, const std::string& text,
                Profiles::ListFormat listFormat)
{
    if (tag.Tagged && !Utf8::IsValid(text)) {
        AddCell(row, Windows1252ToUtf8(text), listFormat);
    } else {
        AddCell(row, text, listFormat);
    }
}

std::string_view FolderView(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string_view FileNameView(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view TypeView(const MP3Tools::AudioFileInfo& info)
{
    if (!info.TypeName.empty()) {
        return info.TypeName;
    }
    if (info.VariableBitrate) {
        return "VBR";
    }
    return info.RiffWrapped ? "WavMP3" : "MP3";
}

// The cell of one column for a valid file, added to row.
void AddColumnCell(RowCells& row, Column column, const MP3Tools::AudioFileInfo& info,
                   const MP3Tools::TagInfo& tag, const std::string& customInfo,
                   Profiles::ListFormat listFormat)
{
    const auto add = [&](std::string_view cell) { AddCell(row, cell, listFormat); };
    switch (column) {
    case Column::Songname:
        return AddTagCell(row, tag, tag.Title, listFormat);
    case Column::Artist:
        return AddTagCell(row, tag, tag.Artist, listFormat);
    case Column::Time:
        return add(info.DurationText);
    case Column::Filesize:
        return add(GroupThousands(info.FileSize));
    case Column::CustomInfo:
        return add(customInfo);
    case Column::KBps:
        return add(info.BitrateText);
    case Column::Mode:
        return add(info.ModeText);
    case Column::Album:
        return AddTagCell(row, tag, tag.Album, listFormat);
    case Column::Filepath:
        return add(FolderView(info.FileName));
    case Column::Filename:
        return add(FileNameView(info.FileName));
    case Column::Comment:
        return AddTagCell(row, tag, tag.Comment, listFormat);
    case Column::Track:
        return AddTagCell(row, tag, tag.Track, listFormat);
    case Column::Genre:
        return AddTagCell(row, tag, tag.Genre, listFormat);
    case Column::Year:
        return AddTagCell(row, tag, tag.Year, listFormat);
    case Column::Frequency:
        return add(info.SampleRateText);
    case Column::Frames:
        return add(info.FrameCount);
    case Column::Version:
        return add(info.VersionText);
    case Column::Layer:
        return add(info.LayerText);
    case Column::Type:
        return add(TypeView(info));
    case Column::Encoder:
        return add(info.EncoderText);
    case Column::Unknown:
        break;
    }
}

// The cells of kJsonNumberCells.
void AddNumberCells(RowCells& row, const MP3Tools::AudioFileInfo& info)
{
    if (!info.Valid) {
        row.Add("0");
        for (std::size_t i = 1; i < kJsonNumberCells; ++i) {
            row.Add("");
        }
        return;
    }
    row.Add("1");
    row.Add(info.FileSize);
    row.Add(std::to_string(info.DurationMilliseconds));
    row.Add(info.BitrateText);
    row.Add(std::to_string(info.SampleRateHz));
    row.Add(info.FrameCount);
}

} // namespace

Column ColumnFromCaption(std::string_view caption)
{
    for (std::size_t i = 0; i < Profiles::kColumnCaptions.size(); ++i) {
        if (caption == Profiles::kColumnCaptions[i]) {
            return static_cast<Column>(i);
        }
    }
    return Column::Unknown;
}

std::vector<std::string> SelectedCaptions(const Profiles::Profile& profile)
{
    std::vector<std::string> captions;
    const std::size_t count = std::min(profile.Information.size(), profile.Checked.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (profile.Checked[i]) {
            captions.push_back(profile.Information[i]);
        }
    }
    return captions;
}

std::vector<Column> ResolveColumns(const std::vector<std::string>& captions)
{
    std::vector<Column> columns;
    columns.reserve(captions.size());
    for (const std::string& caption : captions) {
        columns.push_back(ColumnFromCaption(caption));
    }
    return columns;
}

RowFormat RowFormatOf(Profiles::ListFormat listFormat, const std::string& customSeparator)
{
    return RowFormat{.ListFormat = listFormat,
                     .Separator = listFormat == Profiles::ListFormat::Custom
                                      ? customSeparator
                                      : std::string(Profiles::FactsOf(listFormat).Separator)};
}

RowCells::RowCells(std::initializer_list<std::string_view> cells)
{
    for (const std::string_view cell : cells) {
        Add(cell);
    }
}

// Six bits of the length in each byte, lowest first, with 0x40 set where
// more follow; 0x80 is set in every one of them, so that no length byte looks
// like an ASCII character.
void RowCells::Add(std::string_view cell)
{
    std::size_t length = cell.size();
    while (length >= 0x40) {
        m_packed += static_cast<char>(0xC0 | (length & 0x3F));
        length >>= 6;
    }
    m_packed += static_cast<char>(0x80 | length);
    m_packed += cell;
}

std::size_t RowCells::ReadLongLength(unsigned char byte, std::size_t& at) const
{
    std::size_t length = byte & 0x3F;
    for (int shift = 6;; shift += 6) {
        byte = static_cast<unsigned char>(m_packed[at++]);
        length |= static_cast<std::size_t>(byte & 0x3F) << shift;
        if ((byte & 0x40) == 0) {
            return length;
        }
    }
}

void RowCells::JoinInto(std::string& text, std::string_view separator, std::size_t skip) const
{
    // Room for every cell and a separator behind each, made at once (each
    // cell takes at least its length byte here), then filled in place.
    text.resize(m_packed.size() * (1 + separator.size()));
    char* out = text.data();
    bool first = true;
    // The usual separator is one character: put without a call.
    const bool single = separator.size() == 1;
    ForEachCell([&](std::string_view cell) {
        if (skip > 0) {
            --skip;
            return;
        }
        if (!first) {
            if (single) {
                *out++ = separator.front();
            } else if (!separator.empty()) {
                std::memcpy(out, separator.data(), separator.size());
                out += separator.size();
            }
        }
        first = false;
        if (!cell.empty()) {
            std::memcpy(out, cell.data(), cell.size());
            out += cell.size();
        }
    });
    text.resize(static_cast<std::size_t>(out - text.data()));
}

std::string RowCells::Joined(std::string_view separator) const
{
    std::string text;
    JoinInto(text, separator);
    return text;
}

std::string GroupThousands(std::string_view digits)
{
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    const std::size_t size = digits.size();
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[i];
        const std::size_t remaining = size - i - 1;
        if (remaining > 0 && remaining % 3 == 0) {
            out += '.';
        }
    }
    return out;
}

std::string TypeText(const MP3Tools::AudioFileInfo& info) { return std::string(TypeView(info)); }

std::string FolderPart(const std::string& path) { return std::string(FolderView(path)); }

std::string FileNamePart(const std::string& path) { return std::string(FileNameView(path)); }

RowCells BuildHeaderRow(const std::vector<std::string>& captions, const RowFormat& format)
{
    RowCells row;
    for (const std::string& caption : captions) {
        AddCell(row, caption, format.ListFormat);
    }
    return row;
}

RowCells BuildRow(const MP3Tools::AudioFileInfo& info, const MP3Tools::TagInfo& tag,
                  const std::vector<Column>& columns, const RowFormat& format,
                  const std::string& customInfo)
{
    // Built in the thread's own buffer and then copied once, at its size.
    thread_local RowCells t_row;
    RowCells& row = t_row;
    row.Clear();
    if (format.NumberCells > 0) {
        AddNumberCells(row, info);
    }
    if (!info.Valid) {
        AddCell(row, info.FileName, format.ListFormat);
        row.Add("ERROR");
        for (std::size_t i = 2; i < columns.size(); ++i) {
            row.Add(" ");
        }
    } else {
        for (const Column column : columns) {
            if (column != Column::Unknown) {
                AddColumnCell(row, column, info, tag, customInfo, format.ListFormat);
            }
        }
    }
    return RowCells(row);
}

} // namespace Listing

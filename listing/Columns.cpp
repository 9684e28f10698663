#include "listing/Columns.h"

#include <algorithm>

#include "listing/TextConversion.h"
#include "profiles/Profile.h"

namespace Listing {

namespace {

// A text-format list keeps one file to a line: line breaks in a cell (and
// TABs where they separate the cells) become blanks. CSV and HTML keep the
// cell as it is; the writer quotes or escapes it.
void AddCell(RowCells& row, std::string_view cell, Profiles::ListFormat listFormat)
{
    switch (listFormat) {
    case Profiles::ListFormat::Csv:
    case Profiles::ListFormat::Html:
        row.Add(cell);
        return;
    case Profiles::ListFormat::Text:
        row.Add(BlankLineBreaks(cell, true));
        return;
    case Profiles::ListFormat::Custom:
    case Profiles::ListFormat::None:
        break;
    }
    row.Add(BlankLineBreaks(cell, false));
}

std::string TagCell(const MP3Tools::TagInfo& tag, const std::string& text)
{
    return tag.Tagged ? TagTextToUtf8(text) : text;
}

std::string CellText(Column column, const MP3Tools::AudioFileInfo& info,
                     const MP3Tools::TagInfo& tag, const std::string& customInfo)
{
    switch (column) {
    case Column::Songname:
        return TagCell(tag, tag.Title);
    case Column::Artist:
        return TagCell(tag, tag.Artist);
    case Column::Time:
        return info.DurationText;
    case Column::Filesize:
        return GroupThousands(info.FileSize);
    case Column::CustomInfo:
        return customInfo;
    case Column::KBps:
        return info.BitrateText;
    case Column::Mode:
        return info.ModeText;
    case Column::Album:
        return TagCell(tag, tag.Album);
    case Column::Filepath:
        return FolderPart(info.FileName);
    case Column::Filename:
        return FileNamePart(info.FileName);
    case Column::Comment:
        return TagCell(tag, tag.Comment);
    case Column::Track:
        return TagCell(tag, tag.Track);
    case Column::Genre:
        return TagCell(tag, tag.Genre);
    case Column::Year:
        return TagCell(tag, tag.Year);
    case Column::Frequency:
        return info.SampleRateText;
    case Column::Frames:
        return info.FrameCount;
    case Column::Version:
        return info.VersionText;
    case Column::Layer:
        return info.LayerText;
    case Column::Type:
        return TypeText(info);
    case Column::Encoder:
        return info.EncoderText;
    case Column::Unknown:
        break;
    }
    return {};
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

void RowCells::Add(std::string_view cell)
{
    std::size_t length = cell.size();
    while (length >= 0x80) {
        m_packed += static_cast<char>(0x80 | (length & 0x7F));
        length >>= 7;
    }
    m_packed += static_cast<char>(length);
    m_packed += cell;
}

std::size_t RowCells::ReadLength(std::size_t& at) const
{
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(m_packed[at++]);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if (byte < 0x80) {
            return length;
        }
    }
}

void RowCells::JoinInto(std::string& text, std::string_view separator) const
{
    text.clear();
    bool first = true;
    ForEachCell([&](std::string_view cell) {
        if (!first) {
            text += separator;
        }
        first = false;
        text += cell;
    });
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

std::string TypeText(const MP3Tools::AudioFileInfo& info)
{
    if (info.VariableBitrate) {
        return "VBR";
    }
    return info.RiffWrapped ? "WavMP3" : "MP3";
}

std::string FolderPart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNamePart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

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
    RowCells row;
    if (!info.Valid) {
        AddCell(row, info.FileName, format.ListFormat);
        row.Add("ERROR");
        for (std::size_t i = 2; i < columns.size(); ++i) {
            row.Add(" ");
        }
    } else {
        for (const Column column : columns) {
            if (column != Column::Unknown) {
                AddCell(row, CellText(column, info, tag, customInfo), format.ListFormat);
            }
        }
    }
    row.ShrinkToFit();
    return row;
}

} // namespace Listing

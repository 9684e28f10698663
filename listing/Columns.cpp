#include "listing/Columns.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "listing/TextConversion.h"
#include "profiles/Profile.h"

namespace Listing {

namespace {

constexpr std::string_view kHtmlCellOpen = "<td>";

// The HTML separator "</td><td>" begins with these five characters, which a
// row drops so that it starts with its first cell's opening.
constexpr std::size_t kHtmlLeadLength = 5;

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t hit = text.find(from); hit != std::string_view::npos;
         hit = text.find(from, start)) {
        out.append(text.substr(start, hit - start));
        out.append(to);
        start = hit + from.size();
    }
    out.append(text.substr(start));
    return out;
}

// Puts the cells of one row together: each cell is preceded by the
// separator, the frame of the format is applied at the end.
class RowBuilder
{
public:
    explicit RowBuilder(const RowFormat& format) : m_format(format) {}

    void Add(std::string_view cell)
    {
        m_row += m_format.Separator;
        switch (m_format.ListFormat) {
        case Profiles::ListFormat::Csv:
            m_row += QuoteCsvCell(cell, m_format.Separator);
            break;
        case Profiles::ListFormat::Html:
            m_row += EscapeHtml(cell);
            break;
        case Profiles::ListFormat::Text:
            m_row += BlankLineBreaks(cell, true);
            break;
        case Profiles::ListFormat::Custom: // still one line per file
        case Profiles::ListFormat::None:
            m_row += BlankLineBreaks(cell, false);
            break;
        }
    }

    std::string Finish(std::string_view htmlRowEnd)
    {
        if (m_format.ListFormat != Profiles::ListFormat::Html) {
            m_row.erase(0, std::min(m_format.Separator.size(), m_row.size()));
            return std::move(m_row);
        }
        m_row.erase(0, std::min(kHtmlLeadLength, m_row.size()));
        std::string framed;
        framed.reserve(m_row.size() + 4 + htmlRowEnd.size());
        framed += "<tr>";
        framed += m_row;
        framed += htmlRowEnd;
        return framed;
    }

private:
    const RowFormat& m_format;
    std::string m_row{};
};

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

std::string BuildHeaderRow(const std::vector<std::string>& captions, const RowFormat& format,
                           const std::string& headerColor)
{
    RowBuilder builder(format);
    for (const std::string& caption : captions) {
        builder.Add(caption);
    }
    std::string row = builder.Finish("</strong></td></tr>");
    if (format.ListFormat != Profiles::ListFormat::Html) {
        return row;
    }
    // Cell texts are escaped, so every "<td>" left is a cell opening.
    return ReplaceAll(row, kHtmlCellOpen,
                      "<td bgcolor=\"" + EscapeHtml(headerColor) + "\"><strong>");
}

std::string BuildRow(const MP3Tools::AudioFileInfo& info, const MP3Tools::TagInfo& tag,
                     const std::vector<Column>& columns, const RowFormat& format,
                     const std::string& customInfo)
{
    RowBuilder builder(format);
    if (!info.Valid) {
        builder.Add(info.FileName);
        builder.Add("ERROR");
        for (std::size_t i = 2; i < columns.size(); ++i) {
            builder.Add(" ");
        }
        return builder.Finish("</td></tr>");
    }
    for (const Column column : columns) {
        if (column != Column::Unknown) {
            builder.Add(CellText(column, info, tag, customInfo));
        }
    }
    return builder.Finish("</td></tr>");
}

namespace {

constexpr std::string_view kHtmlRowStart = "<tr><td>";
constexpr std::string_view kHtmlRowEnd = "</td></tr>";

std::string UnquoteCsvRow(const std::string& row, const std::string& separator)
{
    if (separator.empty() || row.find('"') == std::string::npos) {
        return row;
    }
    std::string out;
    out.reserve(row.size());
    std::size_t i = 0;
    while (true) {
        if (i < row.size() && row[i] == '"') {
            for (++i; i < row.size(); ++i) {
                if (row[i] != '"') {
                    out += row[i];
                } else if (i + 1 < row.size() && row[i + 1] == '"') {
                    out += '"';
                    ++i;
                } else {
                    ++i; // the closing quote
                    break;
                }
            }
            if (i >= row.size()) {
                break;
            }
            if (row.compare(i, separator.size(), separator) != 0) {
                out.append(row, i); // not a row written here: keep the rest
                break;
            }
        } else {
            const std::size_t next = row.find(separator, i);
            if (next == std::string::npos) {
                out.append(row, i);
                break;
            }
            out.append(row, i, next - i);
            i = next;
        }
        out += separator;
        i += separator.size();
    }
    return out;
}

std::string UnescapeHtml(std::string_view text)
{
    static constexpr std::array<std::pair<std::string_view, char>, 4> kEntities = {
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, character] : kEntities) {
                if (text.substr(i, entity.size()) == entity) {
                    out += character;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out += text[i++];
        }
    }
    return out;
}

} // namespace

std::string PlainRowText(const std::string& row, const RowFormat& format)
{
    if (format.ListFormat == Profiles::ListFormat::Csv) {
        return UnquoteCsvRow(row, format.Separator);
    }
    if (format.ListFormat != Profiles::ListFormat::Html) {
        return row;
    }
    std::string_view inner = row;
    if (inner.size() >= kHtmlRowStart.size() + kHtmlRowEnd.size() &&
        inner.substr(0, kHtmlRowStart.size()) == kHtmlRowStart &&
        inner.substr(inner.size() - kHtmlRowEnd.size()) == kHtmlRowEnd) {
        inner = inner.substr(kHtmlRowStart.size(),
                             inner.size() - kHtmlRowStart.size() - kHtmlRowEnd.size());
    }
    return UnescapeHtml(inner);
}

std::string ApplySecondColor(const std::string& row, const std::string& back2Color)
{
    return ReplaceAll(row, kHtmlCellOpen, "<td bgcolor=\"" + EscapeHtml(back2Color) + "\">");
}

} // namespace Listing

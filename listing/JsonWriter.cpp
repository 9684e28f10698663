#include "listing/JsonWriter.h"

#include <ostream>
#include <span>

#include "base/Ascii.h"
#include "base/Utf8.h"

namespace Listing {

namespace {

void AppendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8::SequenceLength(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD for a stray byte
            ++at;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            Ascii::AppendHex(out, c);
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    out += '"';
}

// The milliseconds as seconds: "183456" gives "183.456".
std::string Seconds(std::string_view milliseconds)
{
    std::string digits(milliseconds);
    if (digits.size() < 4) {
        digits.insert(0, 4 - digits.size(), '0');
    }
    return digits.substr(0, digits.size() - 3) + '.' + digits.substr(digits.size() - 3);
}

// One member; a text that is not UTF-8 is followed by its bytes in hex.
void AppendMember(std::string& out, bool& first, std::string_view key, std::string_view text,
                  bool isNumber)
{
    if (!first) {
        out += ',';
    }
    first = false;
    AppendJsonString(out, key);
    out += ':';
    if (isNumber) {
        // A number the file does not have (the frames of a FLAC file) is
        // null, as a missing number is in JSON, not an empty text where
        // other rows hold a number.
        if (text.empty()) {
            out += "null";
            return;
        }
        // A number the probe could not fill stays a text rather than break
        // the JSON.
        if (text.find_first_not_of("0123456789.") == std::string_view::npos) {
            out += text;
            return;
        }
    }
    AppendJsonString(out, text);
    if (!Utf8::IsValid(text)) {
        out += ',';
        AppendJsonString(out, std::string(key) + " hex");
        out += ":\"";
        for (const char byte : text) {
            Ascii::AppendHex(out, static_cast<unsigned char>(byte));
        }
        out += '"';
    }
}

// The number of a numeric column, from the row's number cells, or an
// empty view for a column that shows a text.
std::string_view NumberOf(Column column, std::span<const std::string_view> numbers,
                          std::string& seconds)
{
    switch (column) {
    case Column::Filesize:
        return numbers[1];
    case Column::Time:
        seconds = Seconds(numbers[2]);
        return seconds;
    case Column::KBps:
        return numbers[3];
    case Column::Frequency:
        return numbers[4];
    case Column::Frames:
        return numbers[5];
    default:
        return {};
    }
}

} // namespace

std::string JsonString(std::string_view text)
{
    std::string out;
    AppendJsonString(out, text);
    return out;
}

void WriteJsonList(std::ostream& out, const std::vector<std::string>& captions,
                   const std::vector<RowCells>& rows)
{
    std::vector<std::pair<Column, const std::string*>> shown;
    for (const std::string& caption : captions) {
        const Column column = ColumnFromCaption(caption);
        if (column != Column::Unknown) {
            shown.emplace_back(column, &caption);
        }
    }
    std::vector<std::string_view> cells;
    std::string text;
    std::string seconds;
    out << '[';
    bool firstRow = true;
    for (const RowCells& row : rows) {
        cells.clear();
        row.ForEachCell([&](std::string_view cell) { cells.push_back(cell); });
        if (cells.size() < kJsonNumberCells + 1) {
            continue; // no row of a JSON list
        }
        const std::span<const std::string_view> numbers(cells.data(), kJsonNumberCells);
        text.assign(firstRow ? "\n{" : ",\n{");
        firstRow = false;
        bool first = true;
        if (numbers[0] != "1") {
            const std::string path(cells[kJsonNumberCells]);
            AppendMember(text, first, "Filepath", FolderPart(path), false);
            AppendMember(text, first, "Filename", FileNamePart(path), false);
            text += ",\"Invalid\":true}";
            out << text;
            continue;
        }
        for (std::size_t i = 0; i < shown.size() && kJsonNumberCells + i < cells.size(); ++i) {
            const auto [column, caption] = shown[i];
            const std::string_view number = NumberOf(column, numbers, seconds);
            const bool isNumber = number.data() != nullptr;
            AppendMember(text, first, *caption, isNumber ? number : cells[kJsonNumberCells + i],
                         isNumber);
        }
        text += '}';
        out << text;
    }
    out << (firstRow ? "]\n" : "\n]\n");
}

} // namespace Listing

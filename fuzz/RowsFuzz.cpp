// The rows of a list and the list writer, on records made from the input.
// Kept to BuildRow, BuildHeaderRow and WriteList into a stream. Every row of
// the text formats stays one line, every cell reads back as it was built,
// and in CSV the custom info text (copied into its cells as it is) reads
// back unchanged from the written list.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/MP3Tools.h"
#include "fuzz/FuzzSupport.h"
#include "listing/Columns.h"
#include "listing/ListWriter.h"

using namespace Listing;

namespace {

// The stored format codes: 0 CSV, 1 custom separator, 2 HTML, 3 text.
constexpr int kCsv = 0;
constexpr int kHtml = 2;

std::size_t CountOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::ByteReader in(data, size);
    const int code = in.Byte() % 4;
    // The custom separator comes from a one-line box: no line breaks.
    std::string customSeparator = in.Text(4);
    std::erase_if(customSeparator, [](char c) { return c == '\r' || c == '\n'; });
    const RowFormat format = RowFormatOf(Profiles::ListFormatFromNumber(code), customSeparator);

    std::vector<Column> columns;
    std::vector<std::string> captions;
    for (std::size_t n = in.Byte() % 24; n > 0; --n) {
        const auto column = static_cast<Column>(in.Byte() % (Profiles::kColumnCaptions.size() + 1));
        columns.push_back(column);
        captions.push_back(column == Column::Unknown
                               ? in.Text(12)
                               : Profiles::kColumnCaptions[static_cast<int>(column)]);
    }
    const MP3Tools::AudioFileInfo info{.FileName = in.Text(40),
                                       .FileSize = in.Text(12),
                                       .DurationText = in.Text(8),
                                       .BitrateText = in.Text(8),
                                       .SampleRateText = in.Text(10),
                                       .ModeText = in.Text(10),
                                       .EncoderText = in.Text(10),
                                       .Valid = (in.Byte() & 1) != 0};
    const MP3Tools::TagInfo tag{.Title = in.Text(30),
                                .Artist = in.Text(30),
                                .Comment = in.Text(30),
                                .Genre = in.Text(20),
                                .Tagged = (in.Byte() & 1) != 0};
    const std::string customInfo = in.Text(40);

    const RowCells header = BuildHeaderRow(captions, format);
    const RowCells row = BuildRow(info, tag, columns, format, customInfo);
    // Cells of any bytes come back as they went in.
    RowCells copy;
    row.ForEachCell([&](std::string_view cell) { copy.Add(cell); });
    FUZZ_CHECK(copy == row);

    ListContent content{.Format = format,
                        .HeaderRow = header,
                        .Rows = {row, row},
                        .Page = {.HeaderColor = in.Text(8), .Back2Color = in.Text(8)},
                        .Date = "01/02/03"};
    std::ostringstream out;
    WriteList(out, content);
    const std::string list = out.str();
    if (code == kHtml) {
        return 0;
    }
    if (code != kCsv) {
        FUZZ_CHECK(CountOf(list, "\r\n") == 3 && CountOf(list, "\r") == 3 &&
                   CountOf(list, "\n") == 3);
        return 0;
    }
    std::vector<std::vector<std::string>> records;
    FUZZ_CHECK(FuzzSupport::ReadCsv(list, records));
    FUZZ_CHECK(records.size() == 3);
    FUZZ_CHECK(records[0].size() == std::max<std::size_t>(captions.size(), 1));
    for (std::size_t i = 0; info.Valid && i < columns.size(); ++i) {
        if (columns[i] == Column::CustomInfo) {
            // Unknown captions get no data cell, so count only known columns before it.
            std::size_t cell = 0;
            for (std::size_t k = 0; k < i; ++k) {
                cell += columns[k] == Column::Unknown ? 0 : 1;
            }
            FUZZ_CHECK(cell < records[1].size() && records[1][cell] == customInfo);
        }
    }
    return 0;
}

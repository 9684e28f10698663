// Text handling of list cells: Windows-1252 into UTF-8, the character cuts,
// HTML escaping, CSV quoting and blanked line breaks. The first input byte
// picks a cut length, the second a separator length; the rest is the text.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Utf8.h"
#include "fuzz/FuzzSupport.h"
#include "listing/TextConversion.h"

using namespace Listing;

namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string UnescapeHtml(std::string_view text)
{
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, character] : kEntities) {
            if (StartsWith(text.substr(i), entity)) {
                out += character;
                i += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += text[i++];
        }
    }
    return out;
}

void CheckConversion(std::string_view text)
{
    const std::string decoded = Windows1252ToUtf8(text);
    FUZZ_CHECK(Utf8::IsValid(decoded));
    FUZZ_CHECK(Utf8::Count(decoded) == text.size()); // one character per byte
    const std::string cell = TagTextToUtf8(text);
    FUZZ_CHECK(Utf8::IsValid(cell));
    FUZZ_CHECK(cell == (Utf8::IsValid(text) ? std::string(text) : decoded));
}

void CheckCuts(std::string_view text, std::size_t count)
{
    const std::string cut = Utf8::Cut(text, count);
    FUZZ_CHECK(StartsWith(text, cut));
    const std::size_t characters = Utf8::Count(text);
    FUZZ_CHECK(Utf8::Count(cut) == std::min(count, characters));
    // A cut never ends inside a well-formed sequence: what remains counts the rest.
    FUZZ_CHECK(Utf8::Count(text.substr(cut.size())) == characters - Utf8::Count(cut));
    if (Utf8::IsValid(text)) {
        FUZZ_CHECK(Utf8::IsValid(cut));
    }
}

void CheckCells(std::string_view text, std::string_view separator)
{
    const std::string html = EscapeHtml(text);
    FUZZ_CHECK(html.find_first_of("<>\"") == std::string::npos);
    FUZZ_CHECK(UnescapeHtml(html) == text);

    // A CSV cell reads back as the same text, alone and between two others.
    const std::string quoted = QuoteCsvCell(text, ",");
    std::vector<std::vector<std::string>> records;
    FUZZ_CHECK(FuzzSupport::ReadCsv("a," + quoted + ",b\r\n", records));
    FUZZ_CHECK(records.size() == 1 && records[0].size() == 3 && records[0][1] == text);
    FUZZ_CHECK(FuzzSupport::ReadCsv(quoted + "\r\n", records));
    FUZZ_CHECK(records.size() == 1 && records[0].size() == 1 && records[0][0] == text);
    // Any separator: a cell holding it is quoted.
    const std::string other = QuoteCsvCell(text, separator);
    if (!separator.empty() && text.find(separator) != std::string_view::npos) {
        FUZZ_CHECK(!other.empty() && other.front() == '"' && other.back() == '"');
    }

    for (const bool tabs : {false, true}) {
        const std::string line = BlankLineBreaks(text, tabs);
        FUZZ_CHECK(line.size() == text.size());
        FUZZ_CHECK(line.find_first_of(tabs ? "\r\n\t" : "\r\n") == std::string::npos);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::ByteReader in(data, size);
    const std::size_t count = in.Byte();
    const std::size_t separatorLength = in.Byte() % 4;
    const std::string rest = in.Rest();
    const std::string separator = rest.substr(0, separatorLength);
    CheckConversion(rest);
    CheckCuts(rest, count);
    CheckCells(rest, separator);
    return 0;
}

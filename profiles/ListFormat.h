#pragma once

// The fixed vocabularies of a profile: the four list formats with everything
// that differs between them, and the twenty list items. Header-only, so tools
// that link no Sonorix library can use the tables too.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Profiles {

// The position in the profile dialog's format list, which is also the stored
// number; None when no entry is selected.
enum class ListFormat
{
    None = -1,
    Csv,
    Custom,
    Html,
    Text
};

struct FormatFacts
{
    ListFormat Format = ListFormat::None;
    std::string_view Caption{}; // the entry of the format list
    // Between two cells. The custom format uses the profile's Separator.
    std::string_view Separator{};
    std::string_view Extension{};     // added to an output name without one
    std::string_view SaveExtension{}; // the save dialog's default extension
    std::string_view SaveFilter{};    // the save dialog's filter caption
    std::string_view CommandWord{};   // sonorix-list --format
};

// In format-list order: entry i is the format numbered i.
inline constexpr std::array<FormatFacts, 4> kListFormats = {{
    {ListFormat::Csv, "CSV/Excel", ",", ".csv", "csv", "CSV/Excel", "csv"},
    {ListFormat::Custom, "Custom Separator", "", ".idx", "idx", "Custom", "custom"},
    {ListFormat::Html, "HTML", "</td><td>", ".html", "html", "HTML", "html"},
    {ListFormat::Text, "Text-File", "\t", ".txt", "txt", "Textfile", "txt"},
}};

// No format: cells joined with nothing between them, no extension, and the
// save dialog left as it was.
inline constexpr FormatFacts kNoFormatFacts{};

constexpr bool TableFollowsTheFormatNumbers()
{
    for (std::size_t i = 0; i < kListFormats.size(); ++i) {
        if (static_cast<std::size_t>(kListFormats[i].Format) != i) {
            return false;
        }
    }
    return true;
}

static_assert(TableFollowsTheFormatNumbers());

constexpr const FormatFacts& FactsOf(ListFormat format)
{
    const auto number = static_cast<std::size_t>(format);
    return number < kListFormats.size() ? kListFormats[number] : kNoFormatFacts;
}

// A stored number: 0 to 3 name a format, any other number none.
constexpr ListFormat ListFormatFromNumber(std::int32_t number)
{
    return number >= 0 && static_cast<std::size_t>(number) < kListFormats.size()
               ? kListFormats[static_cast<std::size_t>(number)].Format
               : ListFormat::None;
}

constexpr int NumberOf(ListFormat format) { return static_cast<int>(format); }

// The twenty list items in their built-in order, which is also the order of
// the profile dialog's list and of a new profile's Information.
inline constexpr std::array<const char*, 20> kColumnCaptions = {
    "Songname",  "Artist",   "Time",     "Filesize", "Custom Info", "KBps",   "Mode",
    "Album",     "Filepath", "Filename", "Comment",  "Track",       "Genre",  "Year",
    "Frequency", "Frames",   "Version",  "Layer",    "Type",        "Encoder"};

} // namespace Profiles

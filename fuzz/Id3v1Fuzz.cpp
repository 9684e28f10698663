// The ID3v1 reader: the input is the end of a file whose first 1920 bytes are
// zeros, so an input of 128 bytes or more puts its last 128 bytes where the
// tag is read. Every field must come from its own bytes and never be longer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/MP3Tools.h"
#include "fuzz/FuzzSupport.h"

using namespace MP3Tools;

namespace {

constexpr std::size_t kLead = 1920;
constexpr std::size_t kTag = 128;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// field is raw's bytes between begin and end, zero bytes read as blanks, with
// nothing at either end that a trim would have taken.
bool IsTrimmedFieldOf(const std::string& field, std::string_view raw, std::size_t begin,
                      std::size_t end)
{
    std::string bytes(raw.substr(begin, end - begin));
    for (char& c : bytes) {
        c = c == '\0' ? ' ' : c;
    }
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    if (!field.empty() && (blank(field.front()) || blank(field.back()))) {
        return false;
    }
    return field.size() <= end - begin && bytes.find(field) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static FuzzSupport::MemoryFile file;
    std::vector<std::uint8_t> bytes(kLead, 0);
    bytes.insert(bytes.end(), data, data + size);
    file.Fill(bytes.data(), bytes.size());

    TagInfo tag;
    ReadTag(tag, file.Path());
    FUZZ_CHECK(HasTag(file.Path()) == tag.Tagged);

    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()) + bytes.size() -
                                   std::min(kTag, bytes.size()),
                               std::min(kTag, bytes.size()));
    const bool marked = bytes.size() >= 2048 && Upper(raw[0]) == 'T' && Upper(raw[1]) == 'A' &&
                        Upper(raw[2]) == 'G';
    FUZZ_CHECK(tag.Tagged == marked);
    if (!tag.Tagged) {
        FUZZ_CHECK(tag == TagInfo{});
        return 0;
    }
    FUZZ_CHECK(tag.TagId == raw.substr(0, 3));
    FUZZ_CHECK(IsTrimmedFieldOf(tag.Title, raw, 3, 33));
    FUZZ_CHECK(IsTrimmedFieldOf(tag.Artist, raw, 33, 63));
    FUZZ_CHECK(IsTrimmedFieldOf(tag.Album, raw, 63, 93));
    FUZZ_CHECK(IsTrimmedFieldOf(tag.Year, raw, 93, 97));
    // The track form gives the comment's last two bytes to the track.
    const bool trackForm = raw[125] == '\0' || raw[125] == ' ';
    FUZZ_CHECK(IsTrimmedFieldOf(tag.Comment, raw, 97, trackForm ? 125 : 127));
    if (trackForm) {
        // A zero byte reads as a blank, which is no track number either.
        const auto track = raw[126] == '\0' ? 32 : static_cast<unsigned char>(raw[126]);
        FUZZ_CHECK(tag.Track == (track <= 30 ? std::to_string(track) : std::string()));
    } else {
        FUZZ_CHECK(tag.Track == "-");
    }
    const auto genre = static_cast<unsigned char>(raw[127]);
    FUZZ_CHECK(tag.Genre == kGenres[genre < 148 ? genre : 148]);
    return 0;
}

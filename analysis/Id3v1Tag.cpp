#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/MP3Tools.h"
#include "analysis/internal/FileAccess.h"
#include "base/Ascii.h"

namespace MP3Tools {

// Entries 0..147: the genre names in their published order, extensions
// included; 148: "-". The texts go into the lists as they are.
const std::array<std::string, 149> kGenres{"Blues",
                                           "Classic Rock",
                                           "Country",
                                           "Dance",
                                           "Disco",
                                           "Funk",
                                           "Grunge",
                                           "Hip-Hop",
                                           "Jazz",
                                           "Metal",
                                           "New Age",
                                           "Oldies",
                                           "Other",
                                           "Pop",
                                           "R&B",
                                           "Rap",
                                           "Reggae",
                                           "Rock",
                                           "Techno",
                                           "Industrial",
                                           "Alternative",
                                           "Ska",
                                           "Death Metal",
                                           "Pranks",
                                           "Soundtrack",
                                           "Euro-Techno",
                                           "Ambient",
                                           "Trip-Hop",
                                           "Vocal",
                                           "Jazz+Funk",
                                           "Fusion",
                                           "Trance",
                                           "Classical",
                                           "Instrumental",
                                           "Acid",
                                           "House",
                                           "Game",
                                           "Sound Clip",
                                           "Gospel",
                                           "Noise",
                                           "AlternRock",
                                           "Bass",
                                           "Soul",
                                           "Punk",
                                           "Space",
                                           "Meditative",
                                           "Instrumental Pop",
                                           "Instrumental Rock",
                                           "Ethnic",
                                           "Gothic",
                                           "Darkwave",
                                           "Techno-Industrial",
                                           "Electronic",
                                           "Pop-Folk",
                                           "Eurodance",
                                           "Dream",
                                           "Southern Rock",
                                           "Comedy",
                                           "Cult",
                                           "Gangsta",
                                           "Top 40",
                                           "Christian Rap",
                                           "Pop/Funk",
                                           "Jungle",
                                           "Native American",
                                           "Cabaret",
                                           "New Wave",
                                           "Psychedelic",
                                           "Rave",
                                           "Showtunes",
                                           "Trailer",
                                           "Lo-Fi",
                                           "Tribal",
                                           "Acid Punk",
                                           "Acid Jazz",
                                           "Polka",
                                           "Retro",
                                           "Musical",
                                           "Rock & Roll",
                                           "Hard Rock",
                                           "Folk",
                                           "Folk/Rock",
                                           "National Folk",
                                           "Swing",
                                           "Fast-Fusion",
                                           "Bebob",
                                           "Latin",
                                           "Revival",
                                           "Celtic",
                                           "Bluegrass",
                                           "Avantgarde",
                                           "Gothic Rock",
                                           "Progressive Rock",
                                           "Psychedelic Rock",
                                           "Symphonic Rock",
                                           "Slow Rock",
                                           "Big Band",
                                           "Chorus",
                                           "Easy Listening",
                                           "Acoustic",
                                           "Humour",
                                           "Speech",
                                           "Chanson",
                                           "Opera",
                                           "Chamber Music",
                                           "Sonata",
                                           "Symphony",
                                           "Booty Bass",
                                           "Primus",
                                           "Porn Groove",
                                           "Satire",
                                           "Slow Jam",
                                           "Club",
                                           "Tango",
                                           "Samba",
                                           "Folklore",
                                           "Ballad",
                                           "Power Ballad",
                                           "Rhythmic Soul",
                                           "Freestyle",
                                           "Duet",
                                           "Punk Rock",
                                           "Drum Solo",
                                           "A capella",
                                           "Euro-House",
                                           "Dance Hall",
                                           "Goa",
                                           "Drum & Bass",
                                           "Club-House",
                                           "Hardcore",
                                           "Terror",
                                           "Indie",
                                           "BritPop",
                                           "Negerpunk",
                                           "Polsk Punk",
                                           "Beat",
                                           "Christian Gangsta Rap",
                                           "Heavy Metal",
                                           "Black Metal",
                                           "Crossover",
                                           "Contemporary Christian",
                                           "Christian Rock",
                                           "Merengue",
                                           "Salsa",
                                           "Trash Metal",
                                           "Anime",
                                           "Jpop",
                                           "Synthpop",
                                           "-"};

namespace {

using Detail::ByteWindow;
using Detail::ReadOnlyFile;

constexpr std::int64_t kMinTaggedFileSize = 2048;
constexpr std::size_t kTagBytes = 128;

bool IsTagMarker(const std::uint8_t* bytes)
{
    constexpr std::string_view kMarker = "TAG";
    return Ascii::EqualsIgnoringCase(
        std::string_view(reinterpret_cast<const char*>(bytes), kMarker.size()), kMarker);
}

// The last 128 bytes of a file of at least 2048 bytes when they begin with
// "TAG" in any letter case: from held when it has them, else read into spare.
const std::uint8_t* TagBytes(const ReadOnlyFile& file, const ByteWindow& held,
                             std::uint8_t (&spare)[kTagBytes])
{
    if (!file.IsOpen() || file.Size() < kMinTaggedFileSize) {
        return nullptr;
    }
    const std::int64_t start = file.Size() - static_cast<std::int64_t>(kTagBytes);
    const std::uint8_t* bytes = held.Held(start, kTagBytes);
    if (bytes == nullptr) {
        if (file.ReadAt(start, spare, kTagBytes) < kTagBytes) {
            return nullptr;
        }
        bytes = spare;
    }
    return IsTagMarker(bytes) ? bytes : nullptr;
}

// The field of length bytes at text into out (whose buffer is reused), with
// the characters 0 to 32 gone from both ends.
void AssignTrimmed(std::string& out, const char* text, std::size_t length)
{
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t first = 0;
    std::size_t last = length;
    while (first < last && isBlank(text[first])) {
        ++first;
    }
    while (last > first && isBlank(text[last - 1])) {
        --last;
    }
    out.assign(text + first, last - first);
}

} // namespace

const std::string& GenreName(std::uint8_t genreByte)
{
    return kGenres[genreByte < kGenres.size() ? genreByte : kGenres.size() - 1];
}

// Field by field, so the texts keep their memory for the next file.
void ResetTagInfo(TagInfo& tag)
{
    for (std::string* text : {&tag.TagId, &tag.Title, &tag.Artist, &tag.Album, &tag.Year,
                              &tag.Comment, &tag.Genre, &tag.Track}) {
        text->clear();
    }
    tag.Tagged = false;
}

bool HasTag(const std::string& path)
{
    const ReadOnlyFile file(path);
    const ByteWindow none(file);
    std::uint8_t spare[kTagBytes];
    return TagBytes(file, none, spare) != nullptr;
}

void ReadTag(TagInfo& tag, const std::string& path)
{
    ResetTagInfo(tag);
    const ReadOnlyFile file(path);
    const ByteWindow none(file);
    Detail::ReadTagOf(tag, file, none);
}

void Detail::ReadTagOf(TagInfo& tag, const ReadOnlyFile& file, const ByteWindow& held)
{
    std::uint8_t spare[kTagBytes];
    const std::uint8_t* bytes = TagBytes(file, held, spare);
    if (bytes == nullptr) {
        return;
    }
    // Zero bytes read as blanks, except the genre byte.
    char text[kTagBytes];
    for (std::size_t i = 0; i + 1 < kTagBytes; ++i) {
        text[i] = bytes[i] != 0 ? static_cast<char>(bytes[i]) : ' ';
    }
    text[kTagBytes - 1] = static_cast<char>(bytes[kTagBytes - 1]);
    // 0-based: marker 0-2, title 3-32, artist 33-62, album 63-92, year 93-96,
    // comment 97-126 (track form: 125 blank, 126 track), genre 127.
    tag.TagId.assign(text, 3);
    AssignTrimmed(tag.Title, text + 3, 30);
    AssignTrimmed(tag.Artist, text + 33, 30);
    AssignTrimmed(tag.Album, text + 63, 30);
    AssignTrimmed(tag.Year, text + 93, 4);
    std::size_t commentLength = 30;
    tag.Genre = GenreName(bytes[127]);
    if (text[125] == ' ') {
        // The track form: a track byte above 30 (a zero byte counts as a
        // blank, 32) is no track number.
        const auto track = static_cast<unsigned char>(text[126]);
        if (track <= 30) {
            tag.Track = std::to_string(track);
        }
        commentLength = 28;
    } else {
        tag.Track.assign(1, '-'); // not operator=("-"): g++ 12 warns falsely (-Wrestrict)
    }
    AssignTrimmed(tag.Comment, text + 97, commentLength);
    tag.Tagged = true;
}

} // namespace MP3Tools

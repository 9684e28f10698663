// The full analysis on a whole file: the input is the file (a file in
// memory), which TagLib reads through the bytes our probe has read already.
// Besides crashes and undefined behaviour in our glue around TagLib: a file
// is valid with its size or reset whole, a tagged file has a field, a second
// probe gives the same records (the thread's buffers hold nothing of the
// file before), and for MPEG audio the title, artist and album are those
// TagLib gives reading the same file by path on its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <taglib/apetag.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include "analysis/FullAnalysis.h"
#include "analysis/MP3Tools.h"
#include "fuzz/FuzzSupport.h"

using MP3Tools::AudioFileInfo;
using MP3Tools::TagInfo;

namespace {

std::string Trimmed(std::string text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && blank(text.back())) {
        text.pop_back();
    }
    std::size_t start = 0;
    while (start < text.size() && blank(text[start])) {
        ++start;
    }
    return text.substr(start);
}

// Title, artist and album as TagLib's own file access gives them: each from
// the first of ID3v2, APE and ID3v1 that holds a tag.
TagInfo NamesByPath(const std::string& path)
{
    TagLib::MPEG::File file(path.c_str());
    TagInfo names;
    for (const TagLib::Tag* tag : std::initializer_list<const TagLib::Tag*>{
             file.ID3v2Tag(), file.APETag(), file.ID3v1Tag()}) {
        if (tag == nullptr || tag->isEmpty()) {
            continue;
        }
        const auto take = [](std::string& field, const TagLib::String& text) {
            if (field.empty()) {
                field = Trimmed(text.to8Bit(true));
            }
        };
        take(names.Title, tag->title());
        take(names.Artist, tag->artist());
        take(names.Album, tag->album());
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static FuzzSupport::MemoryFile file;
    file.Fill(data, size);

    AudioFileInfo info;
    TagInfo tag;
    FullAnalysis::ProbeFile(info, tag, -1, nullptr, file.Path());
    FUZZ_CHECK(info.FileName == file.Path());
    if (!info.Valid) {
        AudioFileInfo reset;
        MP3Tools::ResetAudioFileInfo(reset);
        reset.FileName = file.Path();
        FUZZ_CHECK(info == reset);
        FUZZ_CHECK(!tag.Tagged && tag.Title.empty() && tag.Artist.empty());
        return 0;
    }
    FUZZ_CHECK(info.FileSize == std::to_string(size));
    FUZZ_CHECK(info.DurationMilliseconds >= 0 && info.SampleRateHz > 0);
    FUZZ_CHECK(tag.Tagged == (!tag.Title.empty() || !tag.Artist.empty() || !tag.Album.empty() ||
                              !tag.Comment.empty() || !tag.Genre.empty() || !tag.Year.empty() ||
                              !tag.Track.empty()));

    AudioFileInfo again;
    TagInfo againTag;
    FullAnalysis::ProbeFile(again, againTag, -1, nullptr, file.Path());
    FUZZ_CHECK(again == info && againTag == tag);

    // MPEG audio (no other container, no RIFF wrapper): TagLib read it
    // through our bytes.
    if (info.TypeName.empty() && !info.RiffWrapped) {
        const TagInfo names = NamesByPath(file.Path());
        FUZZ_CHECK(names.Title == tag.Title);
        FUZZ_CHECK(names.Artist == tag.Artist);
        FUZZ_CHECK(names.Album == tag.Album);
    }
    return 0;
}

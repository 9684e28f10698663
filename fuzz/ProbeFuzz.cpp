// The file probe on a whole file: the input is the file. The one-open probe
// must give the records of its single steps, no reported frame may lie beyond
// the file, and no tag field may be longer than its place in the tag.

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/MP3Tools.h"
#include "fuzz/FuzzSupport.h"

using namespace MP3Tools;

namespace {

// The probe as the chain of its public steps, each of which opens the file anew.
AudioFileInfo ProbeStepByStep(const std::string& path)
{
    AudioFileInfo info;
    info.FileName = path;
    info.FrameOffset = FindAudioDataStart(path);
    if (info.FrameOffset == -1) {
        return info;
    }
    info.RiffWrapped = info.FrameOffset > 0;
    if (FindFirstFrame(info, path, 8)) {
        GuessEncoder(info, path);
        info.Valid = true;
    }
    return info;
}

void CheckTag(const TagInfo& tag)
{
    if (!tag.Tagged) {
        FUZZ_CHECK(tag == TagInfo{});
        return;
    }
    FUZZ_CHECK(tag.TagId.size() == 3);
    FUZZ_CHECK(tag.Title.size() <= 30 && tag.Artist.size() <= 30 && tag.Album.size() <= 30);
    FUZZ_CHECK(tag.Year.size() <= 4 && tag.Comment.size() <= 30);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static FuzzSupport::MemoryFile file;
    file.Fill(data, size);
    const auto fileSize = static_cast<std::int64_t>(size);

    AudioFileInfo info;
    TagInfo tag;
    ProbeAudioFileAndTag(info, tag, file.Path());
    if (info.Valid) {
        // The whole header of the first frame lies in the file.
        FUZZ_CHECK(info.FrameOffset >= 0 && info.FrameOffset + 4 <= fileSize);
        FUZZ_CHECK(info.FileSize == std::to_string(size));
        FUZZ_CHECK(info.FrameLength > 0 || info.HeaderOnly);
    } else {
        FUZZ_CHECK(tag == TagInfo{});
    }
    CheckTag(tag);

    AudioFileInfo alone;
    ProbeAudioFile(alone, file.Path());
    FUZZ_CHECK(alone == info);
    FUZZ_CHECK(ProbeStepByStep(file.Path()) == info);
    if (info.Valid) {
        TagInfo read;
        ReadTag(read, file.Path());
        FUZZ_CHECK(read == tag);
        FUZZ_CHECK(HasTag(file.Path()) == tag.Tagged);
    }
    return 0;
}

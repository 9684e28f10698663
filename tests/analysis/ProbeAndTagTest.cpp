// ProbeAudioFileAndTag opens a file once and reads as little of it as it can.
// Its records must be exactly those of the probe made of its single steps,
// each of which opens the file anew, followed by ReadTag: on every real file
// of the corpus and on built files whose bytes lie at the edges of what one
// read of the head holds.

#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "analysis/MP3Tools.h"
#include "analysis/internal/FileAccess.h"
#include "samples/Mp3Builder.h"
#include "tests/support/TempDir.h"

using namespace MP3Tools;
using TestSupport::FrameShape;
using TestSupport::Id3v1Fields;
using TestSupport::Mp3Builder;

namespace {

// The probe as the chain of its public steps.
AudioFileInfo ProbeStepByStep(const std::string& path)
{
    AudioFileInfo info;
    ResetAudioFileInfo(info);
    info.FileName = path;
    info.FrameOffset = FindAudioDataStart(path);
    if (info.FrameOffset == -1) {
        return info;
    }
    if (info.FrameOffset > 0) {
        info.RiffWrapped = true;
    }
    if (FindFirstFrame(info, path, 8)) {
        GuessEncoder(info, path);
        info.Valid = true;
    }
    return info;
}

// Records left by an earlier file, which the probe must replace entirely.
AudioFileInfo StaleInfo()
{
    return AudioFileInfo{.FileName = "earlier.mp3",
                         .FileSize = "1",
                         .LayerText = "Layer-I",
                         .EncoderText = "l3Enc",
                         .FrameOffset = 77,
                         .FrameLength = 5,
                         .RiffWrapped = true,
                         .VariableBitrate = true,
                         .Valid = true};
}

TagInfo StaleTag() { return TagInfo{.TagId = "TAG", .Title = "Earlier", .Tagged = true}; }

void ExpectSameAsStepByStep(const std::string& path)
{
    const AudioFileInfo steps = ProbeStepByStep(path);
    TagInfo stepTag = StaleTag();
    if (steps.Valid) {
        ReadTag(stepTag, path);
    } else {
        ResetTagInfo(stepTag);
    }

    AudioFileInfo probed = StaleInfo();
    ProbeAudioFile(probed, path);
    EXPECT_EQ(probed, steps);

    AudioFileInfo info = StaleInfo();
    TagInfo tag = StaleTag();
    ProbeAudioFileAndTag(info, tag, path);
    EXPECT_EQ(info, steps);
    EXPECT_EQ(tag, stepTag);
}

Mp3Builder& FramePair(Mp3Builder& builder, const FrameShape& shape = {})
{
    return builder.Frame(shape).Frame(shape);
}

const Id3v1Fields kTag{
    .Title = "Title", .Artist = "Artist", .Album = "Album", .Year = "2001", .Track = 4, .Genre = 8};

struct OddFile
{
    std::string name;
    Mp3Builder bytes;
};

// A file of size bytes: fill, a frame pair, zeros, and an ID3v1 tag at its end.
Mp3Builder Tagged(std::size_t fill, std::size_t size, const Id3v1Fields& tag = kTag)
{
    Mp3Builder file;
    file.Fill(fill);
    FramePair(file).PadTo(size - 128).Id3v1(tag);
    file.Data().resize(size);
    return file;
}

Mp3Builder BehindId3v2(std::vector<std::pair<int, std::uint32_t>> tags, std::size_t gap,
                       std::size_t audio)
{
    Mp3Builder file;
    for (const auto& [version, size] : tags) {
        file.Id3v2(version, size, version == 4);
    }
    file.Fill(gap);
    const std::size_t start = file.Size();
    FramePair(file).PadTo(start + audio - 128).Id3v1(kTag);
    return file;
}

std::vector<OddFile> OddFiles()
{
    std::vector<OddFile> files;
    const auto add = [&](std::string name, Mp3Builder bytes) {
        files.push_back({std::move(name), std::move(bytes)});
    };

    // Sizes at the small-file limits, each with a tag in its last 128 bytes.
    for (const std::size_t size : {0, 256, 257, 2047, 2048, 2300}) {
        Mp3Builder file;
        file.Frames(100, {.Layer = 3, .BitrateIndex = 1}).Data().resize(size);
        add("size " + std::to_string(size) + " untagged", file);
        if (size >= 128) {
            file.Data().resize(size - 128);
            file.Id3v1(kTag);
            add("size " + std::to_string(size) + " tagged", file);
        }
    }
    // Around the end of the head read: the tag inside it, across it, behind it.
    for (const std::size_t size : {32'292, 32'767, 32'768, 32'769, 32'895, 32'896, 32'897}) {
        add("size " + std::to_string(size), Tagged(0, size));
    }
    // A 40 KiB file whose first frame is near the search bound.
    for (const std::size_t first : {31'583, 31'584, 31'990, 32'000, 32'001}) {
        add("40 KiB, frame at " + std::to_string(first), Tagged(first, 40'960));
    }
    add("lower-case tag marker", Tagged(0, 8192, {.Marker = "tag", .Title = "x"}));
    add("no tag marker", Tagged(0, 8192, {.Marker = "TAX", .Title = "x"}));

    // Leading ID3v2 tags: small, one whose frames' "Xing" area crosses the end
    // of the head read, larger than the head read, stacked with the second
    // header beyond it, and one that runs past the end of the file.
    add("ID3v2 1000", BehindId3v2({{3, 1000}}, 0, 100'000));
    add("ID3v2 32500", BehindId3v2({{3, 32'500}}, 0, 100'000));
    add("ID3v2 40000", BehindId3v2({{3, 40'000}}, 0, 4'000'000));
    add("ID3v2 250000", BehindId3v2({{2, 250'000}}, 0, 100'000));
    add("ID3v2 50000 with footer, then 2000", BehindId3v2({{4, 50'000}, {3, 2000}}, 0, 4'000'000));
    add("ID3v2 20000, then 20000", BehindId3v2({{3, 20'000}, {3, 20'000}}, 0, 100'000));
    add("ID3v2 40000, frames 31600 behind it", BehindId3v2({{3, 40'000}}, 31'600, 100'000));
    add("ID3v2 40000, frames 32100 behind it", BehindId3v2({{3, 40'000}}, 32'100, 100'000));
    Mp3Builder overlong;
    overlong.Bytes({'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}).Fill(10);
    FramePair(overlong).PadTo(8192 - 128).Id3v1(kTag);
    add("ID3v2 running past the end", overlong);

    // RIFF wrappers: data chunk at 36, at 2000, missing, and a file that ends
    // before it.
    Mp3Builder riff;
    riff.Riff({.RiffId = "riff", .DataId = "DATA"});
    FramePair(riff).PadTo(60'000 - 128).Id3v1(kTag);
    add("RIFF", riff);
    Mp3Builder riffLate;
    riffLate.Text("RIFF").PadTo(2000).Text("data").Fill(4);
    FramePair(riffLate).PadTo(50'000);
    add("RIFF data at 2000", riffLate);
    Mp3Builder riffNoData;
    riffNoData.Text("RIFF").PadTo(4096);
    add("RIFF without data", riffNoData);
    Mp3Builder riffShort;
    riffShort.Text("RIFF").PadTo(600);
    add("RIFF ending early", riffShort);

    // Candidates cut off by the end of the file, 3000 bytes in.
    for (const std::size_t cut : {3, 4, 291, 292, 420, 421}) {
        Mp3Builder file;
        file.Fill(3000);
        FramePair(file).Data().resize(3000 + cut);
        add("candidate cut after " + std::to_string(cut), file);
    }
    // Rejected candidates: the records of an invalid file keep the texts of
    // the last one, which must match too.
    for (const int count : {7, 8}) {
        Mp3Builder file;
        for (int i = 0; i < count; ++i) {
            file.Bytes({0xFF, 0xFB, 0x90, 0x44}).Fill(500);
        }
        FramePair(file).PadTo(50'000 - 128).Id3v1(kTag);
        add(std::to_string(count) + " lone headers", file);
    }
    // A variable-bit-rate file, and one whose "Xing" header is disregarded.
    Mp3Builder vbr;
    vbr.XingFrame(0x0F, 10'000, {.Byte3 = 0x64}).Frame().PadTo(4'000'000 - 128).Id3v1(kTag);
    add("Xing", vbr);
    Mp3Builder emptyXing;
    emptyXing.XingFrame(0x0F, 0).Frame().PadTo(100'000);
    add("Xing with no frames", emptyXing);
    // The encoder bytes cut by the end of the file.
    Mp3Builder encoderCut;
    encoderCut.Fill(4088).Bytes({0xFF, 0xFB, 0x90, 0x6C, 0, 0, 0});
    add("encoder bytes cut", encoderCut);
    return files;
}

} // namespace

TEST(ProbeAudioFileAndTag, GivesTheStepByStepRecordsOnOddFiles)
{
    const TestSupport::TempDir dir;
    for (const OddFile& file : OddFiles()) {
        SCOPED_TRACE(file.name);
        const std::string path = dir.File("odd.mp3");
        file.bytes.Write(path);
        ExpectSameAsStepByStep(path);
    }
}

// A file whose bytes are not in memory yet is read in another way (what it
// will need is asked for first), with the same records.
TEST(ProbeAudioFileAndTag, GivesTheSameRecordsWhenTheFileIsNotInMemory)
{
    const TestSupport::TempDir dir;
    for (const OddFile& file : OddFiles()) {
        SCOPED_TRACE(file.name);
        const std::string path = dir.File("odd.mp3");
        file.bytes.Write(path);
        AudioFileInfo cached = StaleInfo();
        TagInfo cachedTag = StaleTag();
        ProbeAudioFileAndTag(cached, cachedTag, path);
        // Written to the disk and let go of, so the next read finds nothing
        // in memory.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fsync(fd), 0);
        ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
        ::close(fd);
        AudioFileInfo info = StaleInfo();
        TagInfo tag = StaleTag();
        ProbeAudioFileAndTag(info, tag, path);
        EXPECT_EQ(info, cached);
        EXPECT_EQ(tag, cachedTag);
    }
}

TEST(ProbeAudioFileAndTag, GivesTheStepByStepRecordsOnEntriesThatAreNoAudioFile)
{
    const TestSupport::TempDir dir;
    const std::string folder = dir.File("folder.mp3");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string fifo = dir.File("fifo.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.File("missing.mp3"), folder, fifo,
                                    dir.File("missing/below.mp3"), std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        ExpectSameAsStepByStep(path);
        AudioFileInfo info;
        TagInfo tag = StaleTag();
        ProbeAudioFileAndTag(info, tag, path);
        EXPECT_EQ(info, (AudioFileInfo{.FileName = path, .FrameOffset = -1}));
        EXPECT_EQ(tag, TagInfo{});
    }
}

TEST(ProbeAudioFileAndTag, GivesTheStepByStepRecordsOnEveryCorpusFile)
{
    const std::string corpus = SONORIX_CORPUS_DIR;
    std::ifstream manifest(corpus + "/MANIFEST.tsv");
    if (!manifest) {
        GTEST_SKIP() << "no corpus at " << corpus;
    }
    std::string line;
    std::getline(manifest, line); // the header
    int files = 0;
    while (std::getline(manifest, line)) {
        if (line.empty()) {
            continue;
        }
        const std::string path = corpus + "/" + line.substr(0, line.find('\t'));
        SCOPED_TRACE(path);
        ExpectSameAsStepByStep(path);
        ++files;
    }
    EXPECT_GT(files, 100);
}

namespace {

std::uint8_t PatternByte(std::int64_t offset)
{
    return static_cast<std::uint8_t>(offset * 7 + offset / 251);
}

bool HasPattern(const std::uint8_t* bytes, std::int64_t offset, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != PatternByte(offset + static_cast<std::int64_t>(i))) {
            return false;
        }
    }
    return true;
}

std::string WritePatternFile(const TestSupport::TempDir& dir, std::int64_t size)
{
    const std::string path = dir.File("pattern.bin");
    Mp3Builder file;
    for (std::int64_t i = 0; i < size; ++i) {
        file.Bytes({PatternByte(i)});
    }
    file.Write(path);
    return path;
}

} // namespace

// The probe's reads: whatever was read before (a run extended, replaced, or
// held by a second window at the same time), every look gives the file's own
// bytes, and nothing past its end.
TEST(ByteWindow, GivesTheFileBytesWhateverWasReadBefore)
{
    constexpr std::int64_t kSize = 100'000;
    const TestSupport::TempDir dir;
    const std::string path = WritePatternFile(dir, kSize);

    struct Look
    {
        std::int64_t offset;
        std::size_t count;
        std::int64_t readTo;
    };

    const Look looks[] = {
        {0, 4, 32'768},      {2000, 4, 0},     {32'766, 4, 0},  {32'800, 256, 65'000},
        {64'990, 20, 0},     {70'000, 10, 0},  {69'990, 20, 0}, {99'990, 10, 200'000},
        {99'995, 10, 0},     {100'000, 1, 0},  {5, 3, 0},       {0, 100'000, 0},
        {40'000, 60'001, 0}, {12'345, 128, 0}, {99'872, 128, 0}};
    const Detail::ReadOnlyFile opened(path);
    ASSERT_TRUE(opened.IsOpen());
    Detail::ByteWindow window(opened);
    Detail::ByteWindow second(opened);
    for (const Look& look : looks) {
        SCOPED_TRACE(testing::Message()
                     << look.offset << " +" << look.count << " to " << look.readTo);
        const bool inFile = look.offset + static_cast<std::int64_t>(look.count) <= kSize;
        const std::uint8_t* bytes = window.Fetch(look.offset, look.count, look.readTo);
        ASSERT_EQ(bytes != nullptr, inFile);
        const std::uint8_t* other = second.Fetch(kSize - 1 - look.offset / 2, 1);
        ASSERT_NE(other, nullptr);
        EXPECT_TRUE(HasPattern(other, kSize - 1 - look.offset / 2, 1));
        if (inFile) {
            EXPECT_TRUE(HasPattern(bytes, look.offset, look.count));
            EXPECT_EQ(window.Held(look.offset, look.count), bytes);
        }
    }

    const std::string missing = dir.File("missing.bin");
    const Detail::ReadOnlyFile closed(missing);
    Detail::ByteWindow none(closed);
    EXPECT_EQ(none.Fetch(0, 1, 100), nullptr);
}

// Reading on in small steps, as along a chain of small ID3v2 tags, must not
// keep (and copy again and again) every byte from the first one on.
TEST(ByteWindow, LetsGoOfBytesFarBehindWhenReadingOnInSmallSteps)
{
    constexpr std::int64_t kSize = 300'000;
    const TestSupport::TempDir dir;
    const Detail::ReadOnlyFile opened(WritePatternFile(dir, kSize));
    Detail::ByteWindow window(opened);
    for (std::int64_t offset = 0; offset + 10 <= kSize; offset += 10) {
        const std::uint8_t* bytes = window.Fetch(offset, 10, offset + 32'768);
        ASSERT_NE(bytes, nullptr) << offset;
        ASSERT_TRUE(HasPattern(bytes, offset, 10)) << offset;
    }
    EXPECT_EQ(window.Held(0, 1), nullptr);
    EXPECT_EQ(window.Held(kSize / 2, 1), nullptr);
}

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "analysis/MP3Tools.h"
#include "samples/Mp3Builder.h"
#include "tests/support/RunInChild.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using namespace MP3Tools;
using TestSupport::FrameShape;
using TestSupport::Mp3Builder;

namespace {

class ProbeTest : public testing::Test
{
protected:
    std::string Write(const Mp3Builder& builder, const std::string& name = "file.mp3")
    {
        const std::string path = m_dir.File(name);
        builder.Write(path);
        return path;
    }

    AudioFileInfo Probe(const Mp3Builder& builder, std::string_view decimalSeparator = ".")
    {
        AudioFileInfo info;
        ProbeAudioFile(info, Write(builder), decimalSeparator);
        return info;
    }

    TestSupport::TempDir m_dir;
};

// Two genuine frames at the current end, then zeros up to size.
Mp3Builder& FramePair(Mp3Builder& builder, std::size_t size, const FrameShape& shape = {})
{
    return builder.Frame(shape).Frame(shape).PadTo(size);
}

} // namespace

TEST_F(ProbeTest, ConstantBitRateFileGivesFramesAndSecondsFromItsSize)
{
    Mp3Builder file;
    FramePair(file, 4'000'000);
    const std::string path = Write(file);
    AudioFileInfo info;
    ProbeAudioFile(info, path);
    EXPECT_EQ(info, (AudioFileInfo{.FileName = path,
                                   .FileSize = "4000000",
                                   .DurationSeconds = "250",
                                   .DurationText = "04:10",
                                   .FrameCount = "9592",
                                   .LayerText = "Layer-III",
                                   .VersionText = "MPEG-1",
                                   .BitrateText = "128",
                                   .SampleRateText = "44.1 kHz",
                                   .ModeText = "joint-stereo",
                                   .ModeExtensionText = "off/off",
                                   .OriginalText = "yes",
                                   .ProtectionText = "yes",
                                   .PaddingText = "no",
                                   .PrivateText = "no",
                                   .CopyrightText = "no",
                                   .EmphasisText = "none",
                                   .EncoderText = "l3Enc",
                                   .DurationMilliseconds = 250'000,
                                   .SampleRateHz = 44'100,
                                   .FrameOffset = 0,
                                   .FrameLength = 417,
                                   .FrameBodyLength = 417,
                                   .Valid = true}));
}

TEST_F(ProbeTest, XingFileGivesAverageFrameAndBitRate)
{
    Mp3Builder file;
    file.XingFrame(0x0F, 10000, {.Byte3 = 0x64}).Frame().PadTo(4'000'000);
    const AudioFileInfo info = Probe(file);
    ASSERT_TRUE(info.Valid);
    EXPECT_TRUE(info.VariableBitrate);
    EXPECT_EQ(info.FrameBodyLength, 400);
    EXPECT_EQ(info.FrameLength, 400);
    EXPECT_EQ(info.BitrateText, "122");
    EXPECT_EQ(info.FrameCount, "10000");
    EXPECT_EQ(info.DurationSeconds, "262");
    EXPECT_EQ(info.DurationText, "04:22");
    EXPECT_EQ(info.EncoderText, "Audio Catalyst VBR");
    EXPECT_EQ(info.SampleRateText, "44.1 kHz");
}

TEST_F(ProbeTest, XingRateIsHeldInSinglePrecision)
{
    // Body 160 at 44.1 kHz: 160 x 44.1 / 144 is 49 exactly in decimal, but
    // 44.1 in single precision is a little less, so the rate is 48.
    Mp3Builder at44;
    at44.XingFrame(0x0F, 1000).PadTo(160'000);
    const AudioFileInfo info44 = Probe(at44);
    ASSERT_TRUE(info44.Valid);
    EXPECT_EQ(info44.FrameBodyLength, 160);
    EXPECT_EQ(info44.BitrateText, "48");

    // 22.05 kHz shows as 22.0 on this path and as 22.1 on the constant path.
    const FrameShape mpeg2{.Version = 2, .BitrateIndex = 8};
    Mp3Builder variable;
    variable.XingFrame(0x0F, 100, mpeg2).Frame(mpeg2).PadTo(40'000);
    Mp3Builder constant;
    FramePair(constant, 40'000, mpeg2);
    EXPECT_EQ(Probe(variable).SampleRateText, "22.0 kHz");
    EXPECT_EQ(Probe(constant).SampleRateText, "22.1 kHz");
}

TEST_F(ProbeTest, SampleRateTextFollowsTheDecimalSeparator)
{
    Mp3Builder file;
    FramePair(file, 4096);
    EXPECT_EQ(Probe(file, ",").SampleRateText, "44,1 kHz");
}

TEST_F(ProbeTest, UnusableXingHeaderIsReadAsConstantBitRate)
{
    struct Row
    {
        const char* name;
        std::uint32_t flags;
        std::int32_t frames;
    };

    const Row rows[] = {
        {"no quality field (0x07)", 0x07, 10000},
        {"frame count 0", 0x0F, 0},
        {"negative frame count", 0x0F, -5},
        {"average frame of 0 bytes", 0x0F, 0x7FFFFFFF},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Mp3Builder file;
        file.XingFrame(row.flags, row.frames, {.Byte3 = 0x64}).Frame().PadTo(4'000'000);
        const AudioFileInfo info = Probe(file);
        ASSERT_TRUE(info.Valid);
        EXPECT_FALSE(info.VariableBitrate);
        EXPECT_EQ(info.EncoderText, "-");
        EXPECT_EQ(info.BitrateText, "128");
        EXPECT_EQ(info.FrameCount, "9592");
        EXPECT_EQ(info.DurationSeconds, "250");
    }
}

TEST_F(ProbeTest, FilesOf2GiBAndMoreAreReadWhole)
{
    struct Row
    {
        const char* name;
        std::int64_t size;
        std::int32_t xingFrames; // 0: no "Xing" header
        bool variable;
        const char* frameCount;
        const char* seconds;
    };

    const Row rows[] = {
        {"constant", 5'000'000'000, 0, false, "11990407", "312500"},
        {"Xing", 5'000'000'000, 12'500'000, true, "12500000", "330578"},
        // An average frame of 2^31 - 1 bytes leaves no room for the padding
        // byte in the record's frame length.
        {"Xing, one frame in 2^31 - 1 bytes", 2'147'483'647, 1, false, "5149840", "134217"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const FrameShape padded{.Padding = 1};
        Mp3Builder file;
        if (row.xingFrames != 0) {
            file.XingFrame(0x0F, row.xingFrames, padded);
        } else {
            file.Frame(padded);
        }
        const std::string path = Write(file.Frame(padded));
        if (truncate(path.c_str(), row.size) != 0) {
            GTEST_SKIP() << "no sparse file of " << row.size << " bytes here";
        }
        AudioFileInfo info;
        ProbeAudioFile(info, path);
        ASSERT_TRUE(info.Valid);
        EXPECT_EQ(info.VariableBitrate, row.variable);
        EXPECT_EQ(info.FileSize, std::to_string(row.size));
        EXPECT_EQ(info.FrameCount, row.frameCount);
        EXPECT_EQ(info.DurationSeconds, row.seconds);
        EXPECT_EQ(info.FrameLength, row.variable ? 401 : 418);
    }
}

TEST_F(ProbeTest, SmallFilesAreNotAudio)
{
    struct Row
    {
        std::size_t size;
        std::int64_t dataStart;
        bool valid;
    };

    const Row rows[] = {
        {0, -1, false}, {256, -1, false}, {257, 0, false}, {2047, 0, false}, {2048, 0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        Mp3Builder file;
        file.Frames(100, {.Layer = 3, .BitrateIndex = 1}); // Layer I, 32 bytes a frame
        file.Data().resize(row.size);
        const std::string path = Write(file);
        EXPECT_EQ(FindAudioDataStart(path), row.dataStart);
        AudioFileInfo info;
        ProbeAudioFile(info, path);
        EXPECT_EQ(info.Valid, row.valid);
        EXPECT_EQ(info.FileSize, row.size >= 257 ? std::to_string(row.size) : "");
    }
}

TEST_F(ProbeTest, RiffFileIsSearchedFromItsDataChunk)
{
    struct Row
    {
        const char* riffId;
        const char* dataId;
        std::int64_t start;
    };

    const Row rows[] = {{"RIFF", "data", 44},
                        {"riff", "data", 44},
                        {"RIFF", "DATA", 44},
                        {"RiFf", "dAtA", 44},
                        {"RIFF", "junk", -1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.riffId) + " " + row.dataId);
        Mp3Builder file;
        file.Riff({.RiffId = row.riffId, .DataId = row.dataId});
        FramePair(file, 8192);
        const std::string path = Write(file);
        EXPECT_EQ(FindAudioDataStart(path), row.start);
        AudioFileInfo info;
        ProbeAudioFile(info, path);
        EXPECT_EQ(info.Valid, row.start > 0);
        EXPECT_EQ(info.RiffWrapped, row.start > 0);
        if (row.start > 0) {
            EXPECT_EQ(info.FrameOffset, 44);
            EXPECT_EQ(info.FrameCount, "19"); // the whole file, RIFF header included
        } else {
            EXPECT_EQ(info.FileSize, "");
        }
    }
}

TEST_F(ProbeTest, RiffDataIdCountsUpToOffset2000)
{
    const std::pair<std::size_t, std::int64_t> rows[] = {{2000, 2008}, {2001, -1}};
    for (const auto& [at, start] : rows) {
        SCOPED_TRACE(at);
        Mp3Builder file;
        file.Text("RIFF").PadTo(at).Text("data").PadTo(4096);
        EXPECT_EQ(FindAudioDataStart(Write(file)), start);
    }
    // A RIFF file that ends before "data" turns up.
    Mp3Builder shortFile;
    shortFile.Text("RIFF").PadTo(600);
    EXPECT_EQ(FindAudioDataStart(Write(shortFile)), -1);
}

TEST_F(ProbeTest, RejectedCandidatesUseAttemptsAndTheSearchResumesBehindThem)
{
    // Each false candidate passes the sync filter but fails the validity test
    // (free format), the second-frame test (nothing follows) or both.
    const std::vector<std::uint8_t> invalid = {0xFF, 0xFB, 0x00, 0x44};
    const std::vector<std::uint8_t> lone = {0xFF, 0xFB, 0x90, 0x44};

    struct Row
    {
        const char* name;
        std::vector<std::uint8_t> candidate;
        int count;
        bool valid;
    };

    const Row rows[] = {
        {"7 invalid headers", invalid, 7, true},
        {"8 invalid headers", invalid, 8, false},
        {"7 headers without successor", lone, 7, true},
        {"8 headers without successor", lone, 8, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Mp3Builder file;
        for (int i = 0; i < row.count; ++i) {
            file.Bytes(row.candidate).Fill(500);
        }
        const auto genuine = static_cast<std::int64_t>(file.Size());
        FramePair(file, 16384);
        const AudioFileInfo info = Probe(file);
        EXPECT_EQ(info.Valid, row.valid);
        if (row.valid) {
            EXPECT_EQ(info.FrameOffset, genuine);
        }
    }
}

TEST_F(ProbeTest, OverlappingFalseSyncIsSkippedByOneByte)
{
    // FF FF FB 90 44: the candidate at 0 (b1 = FF: MPEG-1 Layer I, b2 = FB:
    // bit-rate index 15) fails the filter, the real header follows at 1.
    Mp3Builder file;
    file.Bytes({0xFF});
    FramePair(file, 4096);
    const AudioFileInfo info = Probe(file);
    EXPECT_TRUE(info.Valid);
    EXPECT_EQ(info.FrameOffset, 1);
}

TEST_F(ProbeTest, SecondHeaderMustStartWhereTheFirstFrameEnds)
{
    struct Row
    {
        const char* name;
        std::size_t gap;
        FrameShape second;
        bool valid;
    };

    const Row rows[] = {
        {"adjacent, other rate and mode", 0, {.BitrateIndex = 5, .Byte3 = 0xC0}, true},
        {"one byte late", 1, {}, false},
        {"free-format successor", 0, {.BitrateIndex = 0}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Mp3Builder file;
        file.Frame().Fill(row.gap).Frame(row.second).PadTo(8192);
        EXPECT_EQ(Probe(file).Valid, row.valid);
    }
}

TEST_F(ProbeTest, PaddedLayerIFrameIsFollowedFourBytesLater)
{
    const FrameShape padded{.Layer = 3, .BitrateIndex = 7, .Padding = 1};
    Mp3Builder file;
    file.Frame(padded).Frame(padded).PadTo(4096);
    const AudioFileInfo info = Probe(file);
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(info.LayerText, "Layer-I");
    EXPECT_EQ(info.FrameBodyLength, 240);
    EXPECT_EQ(info.FrameLength, 244);
}

TEST_F(ProbeTest, FirstFrameAndItsSuccessorMustStartBy32000)
{
    struct Row
    {
        std::size_t firstFrame;
        bool valid;
    };

    // The successor of a frame at 31583 starts at 32000.
    const Row rows[] = {{31583, true}, {31584, false}, {32001, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.firstFrame);
        Mp3Builder file;
        file.Fill(row.firstFrame);
        FramePair(file, 40000);
        EXPECT_EQ(Probe(file).Valid, row.valid);
    }
}

TEST_F(ProbeTest, XingFrameNeedsNoSuccessorAndMayStartExactlyAtTheBound)
{
    struct Row
    {
        const char* name;
        std::uint32_t tagSize; // a leading ID3v2 tag of this size, or none for 0
        std::size_t gap;       // bytes between the tag (or the start) and the frame
        bool valid;
    };

    const Row rows[] = {
        {"at the bound", 0, 32000, true},
        {"one byte past the bound", 0, 32001, false},
        {"at the bound behind a tag", 1000, 32000, true},
        {"one byte past the bound behind a tag", 1000, 32001, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Mp3Builder file;
        if (row.tagSize > 0) {
            file.Id3v2(3, row.tagSize);
        }
        const auto frame = static_cast<std::int64_t>(file.Size() + row.gap);
        file.Fill(row.gap).XingFrame(0x0F, 100).PadTo(file.Size() + 40'000);
        const AudioFileInfo info = Probe(file);
        EXPECT_EQ(info.Valid, row.valid);
        if (row.valid) {
            EXPECT_TRUE(info.VariableBitrate);
            EXPECT_EQ(info.FrameOffset, frame);
        }
    }
}

TEST_F(ProbeTest, CandidatesCutOffByTheEndOfTheFileAreRejected)
{
    struct Row
    {
        const char* name;
        std::size_t cut; // bytes kept behind the last candidate's start
    };

    // The last candidate stands 3000 bytes in; no genuine frame before it.
    const Row rows[] = {
        {"fourth header byte missing", 3},
        {"Xing area missing", 291},
        {"successor header cut", 417 + 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Mp3Builder file;
        file.Fill(3000).Frame().Frame();
        file.Data().resize(3000 + row.cut);
        const AudioFileInfo info = Probe(file);
        EXPECT_FALSE(info.Valid);
    }
    // With the whole successor header there, the same frame is accepted.
    Mp3Builder whole;
    whole.Fill(3000).Frame().Frame();
    whole.Data().resize(3000 + 417 + 4);
    EXPECT_TRUE(Probe(whole).Valid);
}

TEST_F(ProbeTest, LeadingId3v2TagsAreSkippedAndNotCountedAsSound)
{
    struct Row
    {
        const char* name;
        Mp3Builder tags;
        std::int64_t firstFrame;
    };

    // A 40000-byte tag: its frames would lie beyond 32000 without the skip.
    Mp3Builder big;
    big.Id3v2(3, 40000);
    Mp3Builder twoTags;
    twoTags.Id3v2(4, 50000, true).Id3v2(3, 2000);
    Mp3Builder v22;
    v22.Id3v2(2, 35000);
    const Row rows[] = {{"one tag", big, 40010},
                        {"tag with footer, then another tag", twoTags, 50020 + 2010}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Mp3Builder file = row.tags;
        FramePair(file, static_cast<std::size_t>(row.firstFrame) + 4'000'000);
        const AudioFileInfo info = Probe(file);
        ASSERT_TRUE(info.Valid);
        EXPECT_FALSE(info.RiffWrapped);
        EXPECT_EQ(info.FrameOffset, row.firstFrame);
        EXPECT_EQ(info.FileSize, std::to_string(row.firstFrame + 4'000'000));
        EXPECT_EQ(info.FrameCount, "9592");
        EXPECT_EQ(info.DurationSeconds, "250");
    }
    // The bound counts from behind the tag.
    Mp3Builder far = v22;
    far.Fill(31584);
    FramePair(far, 100'000);
    EXPECT_FALSE(Probe(far).Valid);
}

TEST_F(ProbeTest, XingAverageUsesTheSizeWithoutLeadingTags)
{
    Mp3Builder file;
    file.Id3v2(3, 100'000).XingFrame(0x0F, 10000, {.Byte3 = 0x64}).Frame().PadTo(4'100'010);
    const AudioFileInfo info = Probe(file);
    ASSERT_TRUE(info.VariableBitrate);
    EXPECT_EQ(info.FrameBodyLength, 400);
    EXPECT_EQ(info.DurationSeconds, "262");
    EXPECT_EQ(info.FileSize, "4100010");
}

TEST_F(ProbeTest, MalformedOrOverlongId3v2HeaderIsNotSkipped)
{
    struct Row
    {
        const char* name;
        std::vector<std::uint8_t> header;
    };

    // Each header is followed by 10 bytes and then the genuine frames, which a
    // search that wrongly starts behind the announced tag would miss.
    const Row rows[] = {
        {"size byte with high bit", {'I', 'D', '3', 3, 0, 0, 0, 0, 0x80, 48}},
        {"major version 5", {'I', 'D', '3', 5, 0, 0, 0, 0, 0, 48}},
        {"major version 1", {'I', 'D', '3', 1, 0, 0, 0, 0, 0, 48}},
        {"runs past the end", {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Mp3Builder file;
        file.Bytes(row.header).Fill(10);
        const auto genuine = static_cast<std::int64_t>(file.Size());
        FramePair(file, 8192);
        const AudioFileInfo info = Probe(file);
        ASSERT_TRUE(info.Valid);
        EXPECT_EQ(info.FrameOffset, genuine);
        EXPECT_EQ(info.FrameCount, "19"); // the whole file counts
    }
}

TEST_F(ProbeTest, RiffFileKeepsAnId3v2HeaderInItsData)
{
    Mp3Builder file;
    file.Riff().Id3v2(3, 40000);
    FramePair(file, 100'000);
    EXPECT_FALSE(Probe(file).Valid); // the frames lie beyond 32000
}

TEST_F(ProbeTest, EncoderIsGuessedFromBytes3To7OfTheFirstFrame)
{
    struct Row
    {
        std::uint8_t byte3, byte6, byte7;
        bool xing;
        const char* encoder;
    };

    const Row rows[] = {
        {0x04, 0x0F, 0x00, false, "MP3 Compressor"},
        {0x04, 0x00, 0x00, false, "Xing 2.20 - Radium Codec"},
        {0x44, 0x01, 0x00, false, "l3Enc"},
        {0x44, 0x01, 0x12, false, "Audioactive Production Studio"},
        {0x44, 0x02, 0x12, false, "mp3 Producer"},
        {0x6C, 0x00, 0x00, false, "Audio Catalyst"},
        {0x4C, 0x00, 0x00, false, "Audio Catalyst VBR"},
        {0x40, 0x0F, 0x00, false, "-"},
        {0x64, 0x00, 0x00, true, "Audio Catalyst VBR"},
        {0x44, 0x00, 0x00, true, "l3Enc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << int{row.byte3} << ' ' << int{row.byte6}
                                        << ' ' << int{row.byte7} << (row.xing ? " xing" : ""));
        Mp3Builder file;
        const FrameShape shape{.Byte3 = row.byte3};
        if (row.xing) {
            file.XingFrame(0x0F, 100, shape);
        } else {
            file.Frame(shape);
        }
        file.Data()[6] = row.byte6;
        file.Data()[7] = row.byte7;
        FramePair(file, 8192);
        const AudioFileInfo info = Probe(file);
        ASSERT_TRUE(info.Valid);
        EXPECT_EQ(info.EncoderText, row.encoder);
    }
}

TEST_F(ProbeTest, EncoderGuessNeedsAllEightBytes)
{
    Mp3Builder file;
    file.Fill(4088).Bytes({0xFF, 0xFB, 0x90, 0x6C, 0, 0, 0, 0});
    const std::string path = Write(file);
    AudioFileInfo info;
    info.FrameOffset = 4089;
    GuessEncoder(info, path);
    EXPECT_EQ(info.EncoderText, "-");
    info.FrameOffset = 4088;
    GuessEncoder(info, path);
    EXPECT_EQ(info.EncoderText, "Audio Catalyst");
}

TEST_F(ProbeTest, EntriesThatAreNoRegularFileAreNotAudio)
{
    const std::string folder = m_dir.File("folder.mp3");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string dangling = m_dir.File("dangling.mp3");
    ASSERT_EQ(symlink(m_dir.File("nowhere").c_str(), dangling.c_str()), 0);
    const std::string loop = m_dir.File("loop.mp3");
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    const std::string fifo = m_dir.File("fifo.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string paths[] = {m_dir.File("missing.mp3"),       folder,     dangling, loop, fifo,
                                 m_dir.File("missing/below.mp3"), "/dev/null"};
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        AudioFileInfo info;
        ProbeAudioFile(info, path);
        EXPECT_EQ(info, (AudioFileInfo{.FileName = path, .FrameOffset = -1}));
        EXPECT_FALSE(HasTag(path));
        AudioFileInfo direct;
        EXPECT_FALSE(FindFirstFrame(direct, path, 8));
    }
}

TEST_F(ProbeTest, LinkToAFileIsFollowed)
{
    Mp3Builder file;
    FramePair(file, 4096);
    const std::string target = Write(file);
    const std::string link = m_dir.File("link.mp3");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    AudioFileInfo info;
    ProbeAudioFile(info, link);
    EXPECT_TRUE(info.Valid);
}

namespace {

// Runs step in a child process that, when the tests run as root, first
// becomes user "nobody" so that file permissions apply; gives what step
// returned, or the text of the IoError it threw prefixed by "IoError: ".
std::string InUnprivilegedChild(const std::function<std::string()>& step)
{
    const TestSupport::ChildResult ended = TestSupport::RunInChild(step, {.Unprivileged = true});
    if (ended.ExitCode == 125) {
        return "cannot drop privileges";
    }
    return ended.Output;
}

} // namespace

TEST_F(ProbeTest, UnreadableFileRaisesIoErrorNamingIt)
{
    // A file without read permission, and one in a folder the user may not enter.
    const std::string lockedFolder = m_dir.File("locked");
    ASSERT_EQ(mkdir(lockedFolder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string unreadable = m_dir.File("unreadable.mp3");
    const std::string hidden = lockedFolder + "/hidden.mp3";
    Mp3Builder file;
    FramePair(file, 4096);
    file.Write(unreadable).Write(hidden);
    ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);
    ASSERT_EQ(chmod(lockedFolder.c_str(), 0), 0);

    if (InUnprivilegedChild([] { return std::string(); }) == "cannot drop privileges") {
        GTEST_SKIP() << "no unprivileged user to test with";
    }
    for (const auto& path : {unreadable, hidden}) {
        SCOPED_TRACE(path);
        const std::string expected = "IoError: Cannot open '" + path + "': Permission denied";
        EXPECT_EQ(InUnprivilegedChild([&] {
                      AudioFileInfo info;
                      ProbeAudioFile(info, path);
                      return std::string("no error");
                  }),
                  expected);
        EXPECT_EQ(InUnprivilegedChild([&] {
                      TagInfo tag;
                      ReadTag(tag, path);
                      return std::string("no error");
                  }),
                  expected);
    }
    // The folder itself cannot be opened either, but it is no file: not audio.
    EXPECT_EQ(InUnprivilegedChild([&] {
                  AudioFileInfo info;
                  TagInfo tag;
                  ProbeAudioFileAndTag(info, tag, lockedFolder);
                  return std::string(info.Valid ? "valid" : "not valid");
              }),
              "not valid");
}

// What the probe's own chain of steps (checked against the probe elsewhere)
// never does: details read for a header given by the caller, a search for the
// header alone, and a search without attempts.
TEST_F(ProbeTest, StepsCanBeCalledOnTheirOwn)
{
    Mp3Builder file;
    file.Id3v2(3, 1000);
    FramePair(file, 1010 + 4'000'000);
    const std::string path = Write(file);

    AudioFileInfo details;
    details.FrameOffset = 1010;
    ReadFrameDetails(details, DecodeFrameHeader(0xFB, 0x90, 0x44), path);
    EXPECT_EQ(details.DurationSeconds, "250"); // the tag is not counted as sound
    EXPECT_EQ(details.FrameLength, 417);

    AudioFileInfo headerOnly;
    headerOnly.HeaderOnly = true;
    ASSERT_TRUE(FindFirstFrame(headerOnly, path, 1));
    EXPECT_EQ(headerOnly.FrameOffset, 1010);
    EXPECT_EQ(headerOnly.LayerText, "Layer-III");
    EXPECT_EQ(headerOnly.BitrateText, "");

    AudioFileInfo none;
    EXPECT_FALSE(FindFirstFrame(none, path, 0));
}

namespace {

// A mono 16-bit WAVE file of sampleCount samples of a sawtooth at hertz.
void WriteWave(const std::string& path, int hertz, int sampleCount)
{
    const auto le = [](Mp3Builder& b, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            b.Bytes({static_cast<std::uint8_t>(value >> (8 * i))});
        }
    };
    const auto dataSize = static_cast<std::uint32_t>(sampleCount * 2);
    Mp3Builder wave;
    wave.Text("RIFF");
    le(wave, 36 + dataSize, 4);
    wave.Text("WAVEfmt ");
    le(wave, 16, 4);
    le(wave, 1, 2); // PCM
    le(wave, 1, 2); // mono
    le(wave, static_cast<std::uint32_t>(hertz), 4);
    le(wave, static_cast<std::uint32_t>(hertz * 2), 4);
    le(wave, 2, 2);
    le(wave, 16, 2);
    wave.Text("data");
    le(wave, dataSize, 4);
    std::vector<std::uint8_t>& bytes = wave.Data();
    for (int i = 0; i < sampleCount; ++i) {
        const auto sample = static_cast<std::uint16_t>((i * 331) % 20000 - 10000);
        bytes.push_back(static_cast<std::uint8_t>(sample));
        bytes.push_back(static_cast<std::uint8_t>(sample >> 8));
    }
    wave.Write(path);
}

// "44.1 kHz" for 44100: tenths of a kilohertz, halves rounded up.
std::string KiloHertzText(int hertz)
{
    const int tenths = (hertz + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " kHz";
}

} // namespace

// Files of the encoder on this machine, one for every Layer III bit rate and
// sampling rate it writes: the probe must read back what it was told.
TEST_F(ProbeTest, EveryLayerIIIRateTheEncoderWritesIsReadBack)
{
    const std::string scratch = m_dir.File("scratch");
    ASSERT_EQ(mkdir(scratch.c_str(), 0700), 0);
    if (TestSupport::RunProgram("/usr/bin/env", {"lame", "--version"}, scratch).Status != 0) {
        GTEST_SKIP() << "no lame encoder here";
    }

    struct Version
    {
        const char* text;
        std::vector<int> hertz;
        std::vector<int> kbps;
    };

    const Version versions[] = {
        {"MPEG-1",
         {32000, 44100, 48000},
         {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {"MPEG-2 LSF",
         {16000, 22050, 24000},
         {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
        {"MPEG-2.5", {8000, 11025, 12000}, {8, 16, 24, 32, 40, 48, 56, 64}},
    };
    const std::string wave = m_dir.File("in.wav");
    const std::string mp3 = m_dir.File("out.mp3");
    for (const Version& version : versions) {
        for (const int hertz : version.hertz) {
            for (const int kbps : version.kbps) {
                SCOPED_TRACE(std::to_string(hertz) + " Hz, " + std::to_string(kbps) + " kbit/s");
                // Sound for about 4000 bytes: more than the probe's smallest file.
                WriteWave(wave, hertz, hertz * 32 / kbps);
                std::string khz = std::to_string(hertz % 1000 + 1000); // "1050" for 22050
                khz = std::to_string(hertz / 1000) + "." + khz.substr(1);
                const auto run =
                    TestSupport::RunProgram("/usr/bin/env",
                                            {"lame", "--quiet", "-m", "m", "--cbr", "-b",
                                             std::to_string(kbps), "--resample", khz, wave, mp3},
                                            scratch);
                ASSERT_EQ(run.Status, 0) << run.Err;
                AudioFileInfo info;
                ProbeAudioFile(info, mp3);
                ASSERT_TRUE(info.Valid);
                EXPECT_EQ(info.VersionText, version.text);
                EXPECT_EQ(info.LayerText, "Layer-III");
                EXPECT_EQ(info.BitrateText, std::to_string(kbps));
                EXPECT_EQ(info.SampleRateText, KiloHertzText(hertz));
            }
        }
    }
}

#include "analysis/FullAnalysis.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/wavfile.h>
#include <utility>
#include <vector>

#include "samples/Mp3Builder.h"
#include "tests/support/M4aFixture.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using MP3Tools::AudioFileInfo;
using MP3Tools::TagInfo;

namespace MP3Tools {

// Failures name the fields rather than the record's bytes.
void PrintTo(const TagInfo& tag, std::ostream* out)
{
    *out << "{Title '" << tag.Title << "', Artist '" << tag.Artist << "', Album '" << tag.Album
         << "', Year '" << tag.Year << "', Comment '" << tag.Comment << "', Genre '" << tag.Genre
         << "', Track '" << tag.Track << "', Tagged " << tag.Tagged << "}";
}

} // namespace MP3Tools

namespace {

// Three seconds of a tone as 16-bit PCM, for the encoders to read.
void WriteWave(const std::string& path, int channels)
{
    constexpr std::uint32_t kHertz = 44100;
    const std::uint32_t dataSize = kHertz * 3 * 2 * static_cast<std::uint32_t>(channels);
    std::string bytes = "RIFF";
    const auto le = [&](std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            bytes += static_cast<char>(value >> (8 * i));
        }
    };
    le(36 + dataSize, 4);
    bytes += "WAVEfmt ";
    le(16, 4);
    le(1, 2); // PCM
    le(static_cast<std::uint32_t>(channels), 2);
    le(kHertz, 4);
    le(kHertz * 2 * static_cast<std::uint32_t>(channels), 4);
    le(2 * static_cast<std::uint32_t>(channels), 2);
    le(16, 2);
    bytes += "data";
    le(dataSize, 4);
    for (std::uint32_t i = 0; i < dataSize / 2; ++i) {
        le(static_cast<std::uint16_t>((i * 331) % 20000 - 10000), 2);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Probed
{
    AudioFileInfo Info{};
    TagInfo Tag{};
};

Probed Probe(const std::string& path)
{
    Probed probed;
    FullAnalysis::ProbeFile(probed.Info, probed.Tag, -1, nullptr, path);
    return probed;
}

bool HaveTool(const std::string& tool, const std::string& scratch)
{
    return TestSupport::RunProgram("/bin/sh", {"-c", "command -v " + tool}, scratch).Status == 0;
}

class FullAnalysisTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(mkdir(m_scratch.c_str(), 0700), 0);
        WriteWave(m_stereo, 2);
    }

    TestSupport::TempDir m_dir;
    std::string m_scratch = m_dir.File("scratch");
    std::string m_stereo = m_dir.File("stereo.wav");
};

} // namespace

// Files of Debian's encoders, tagged by their own options, read back cell by
// cell; the WAV file is tagged by TagLib, the M4A files are made by our own
// builder. A row whose encoder is missing is skipped with a message. The
// audio figures of the other formats are those TagLib reads from the file by
// its name, but the M4A files' bit rates are those their audio data have:
// TagLib 1 reads an AAC file's announced 128,194 bit/s as 129 kbit/s.
TEST_F(FullAnalysisTest, FilesOfTheEncodersGiveTheirTagsAndAudio)
{
    const std::string longTitle = "A title far longer than the thirty characters of ID3v1";

    struct Row
    {
        std::string Tool;
        std::vector<std::string> Args; // "IN" and "OUT" stand for the files
        std::string Out;
        TagInfo Tag;
        std::string Type;
        std::string Mode;
        std::string Frequency;
        std::string EncoderStart; // not looked at when empty
        std::optional<TestSupport::M4aShape> M4a{};
        std::string Kbps{}; // not looked at when empty
    };

    using TestSupport::M4aCodec;
    // 130 frames at 128 kbit/s over 3.0136 s: 128,194 bit/s on average.
    const TestSupport::M4aShape aac = {.Codec = M4aCodec::Aac,
                                       .Samples = 132900,
                                       .AacKbps = 128,
                                       .Tags = {.Title = longTitle,
                                                .Artist = "M4A Artist",
                                                .Album = "Harbour",
                                                .Date = "2004-05-01T10:00:00Z",
                                                .Comment = "made by hand",
                                                .Genre = "Post-Rock",
                                                .Track = 3,
                                                .Tracks = 12}};
    const TestSupport::M4aShape alac = {.Codec = M4aCodec::Alac,
                                        .Tags = {.Title = "Lossless",
                                                 .Artist = "Alac Artist",
                                                 .Date = "1999",
                                                 .GenreNumber = 18,
                                                 .Track = 7}};
    const auto kbps = [](const TestSupport::M4aShape& shape) {
        return std::to_string((TestSupport::M4aAudioBitrate(shape) + 500) / 1000);
    };

    const Row rows[] = {
        {"lame",
         {"--quiet",     "-b",   "128",   "--id3v2-only", "--tt", longTitle, "--ta",
          "Lame Artist", "--tl", "Album", "--ty",         "2004", "--tn",    "3/12",
          "--tg",        "Rock", "--tc",  "made by lame", "IN",   "OUT"},
         "a.mp3",
         {.Title = longTitle,
          .Artist = "Lame Artist",
          .Album = "Album",
          .Year = "2004",
          .Comment = "made by lame",
          .Genre = "Rock",
          .Track = "3",
          .Tagged = true},
         "",
         "joint-stereo",
         "44.1 kHz",
         "LAME"},
        {"flac",
         {"-s", "-f", "--tag=TITLE=Flac", "--tag=ARTIST=Flac Artist", "--tag=DATE=2001-02-03",
          "--tag=TRACKNUMBER=4/9", "--tag=GENRE=(17)", "--tag=COMMENT=lossless", "-o", "OUT", "IN"},
         "b.flac",
         {.Title = "Flac",
          .Artist = "Flac Artist",
          .Year = "2001",
          .Comment = "lossless",
          .Genre = "Rock",
          .Track = "4",
          .Tagged = true},
         "FLAC",
         "stereo",
         "44.1 kHz",
         "reference libFLAC"},
        {"oggenc",
         {"-Q", "-t", "Vorbis", "-a", "Ogg Artist", "-d", "1999", "-N", "5", "-G", "17", "-o",
          "OUT", "IN"},
         "c.ogg",
         {.Title = "Vorbis",
          .Artist = "Ogg Artist",
          .Year = "1999",
          .Genre = "Rock",
          .Track = "5",
          .Tagged = true},
         "Ogg Vorbis",
         "stereo",
         "44.1 kHz",
         "Xiph.Org libVorbis"},
        {"opusenc",
         {"--quiet", "--title", "Opus", "--date", "2020-12", "--genre", "(17)Post-Rock",
          "--comment", "TRACKNUMBER=7/10", "IN", "OUT"},
         "d.opus",
         {.Title = "Opus", .Year = "2020", .Genre = "Post-Rock", .Track = "7", .Tagged = true},
         "Opus",
         "stereo",
         "48.0 kHz",
         "libopus"},
        {"",
         {},
         "e.wav",
         {.Title = "Wave", .Genre = "Jazz", .Tagged = true},
         "WAV",
         "stereo",
         "44.1 kHz",
         ""},
        {"",
         {},
         "f.m4a",
         {.Title = longTitle,
          .Artist = "M4A Artist",
          .Album = "Harbour",
          .Year = "2004",
          .Comment = "made by hand",
          .Genre = "Post-Rock",
          .Track = "3",
          .Tagged = true},
         "AAC",
         "stereo",
         "44.1 kHz",
         "",
         aac,
         kbps(aac)},
        {"",
         {},
         "g.m4a",
         {.Title = "Lossless",
          .Artist = "Alac Artist",
          .Year = "1999",
          .Genre = "Rock",
          .Track = "7",
          .Tagged = true},
         "ALAC",
         "stereo",
         "44.1 kHz",
         "",
         alac,
         kbps(alac)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Out);
        const std::string out = m_dir.File(row.Out);
        if (row.M4a) {
            TestSupport::Mp3Builder().Bytes(TestSupport::M4aBytes(*row.M4a)).Write(out);
        } else if (row.Tool.empty()) {
            WriteWave(out, 2);
            TagLib::RIFF::WAV::File wave(out.c_str());
            wave.InfoTag()->setTitle("Wave");
            wave.InfoTag()->setGenre("8");
            ASSERT_TRUE(wave.save(TagLib::RIFF::WAV::File::Info));
        } else if (!HaveTool(row.Tool, m_scratch)) {
            std::cout << "[  SKIPPED ] no " << row.Tool << " here\n";
            continue;
        } else {
            std::vector<std::string> args;
            for (const std::string& arg : row.Args) {
                args.push_back(arg == "IN" ? m_stereo : arg == "OUT" ? out : arg);
            }
            args.insert(args.begin(), row.Tool);
            const auto run = TestSupport::RunProgram("/usr/bin/env", args, m_scratch);
            ASSERT_EQ(run.Status, 0) << run.Err;
        }
        const Probed probed = Probe(out);
        ASSERT_TRUE(probed.Info.Valid);
        EXPECT_EQ(probed.Tag, row.Tag);
        EXPECT_EQ(probed.Info.DurationSeconds, "3");
        EXPECT_EQ(probed.Info.DurationText, "00:03");
        EXPECT_EQ(probed.Info.TypeName, row.Type);
        EXPECT_EQ(probed.Info.ModeText, row.Mode);
        EXPECT_EQ(probed.Info.SampleRateText, row.Frequency);
        EXPECT_EQ(probed.Info.FileSize,
                  std::to_string(std::ifstream(out).seekg(0, std::ios::end).tellg()));
        if (!row.EncoderStart.empty()) {
            EXPECT_EQ(probed.Info.EncoderText.rfind(row.EncoderStart, 0), 0u)
                << probed.Info.EncoderText;
        }
        if (!row.Kbps.empty()) {
            EXPECT_EQ(probed.Info.BitrateText, row.Kbps);
        }
        if (!row.Type.empty()) {
            const TagLib::FileRef reference(out.c_str());
            ASSERT_NE(reference.audioProperties(), nullptr);
            if (row.Kbps.empty()) {
                EXPECT_EQ(probed.Info.BitrateText,
                          std::to_string(reference.audioProperties()->bitrate()));
            }
            EXPECT_EQ(probed.Info.DurationMilliseconds,
                      reference.audioProperties()->lengthInMilliseconds());
            EXPECT_EQ(probed.Info.SampleRateHz, reference.audioProperties()->sampleRate());
            EXPECT_EQ(probed.Info.FrameCount, "");
            EXPECT_EQ(probed.Info.VersionText, "");
            EXPECT_EQ(probed.Info.LayerText, "");
        }
    }
}

// Each field from the first of ID3v2, APE and ID3v1 that holds it; the
// technical comment a player wrote into ID3v2 does not count as one.
TEST_F(FullAnalysisTest, MpegTagsTakeEachFieldFromTheFirstTagThatHoldsIt)
{
    if (!HaveTool("lame", m_scratch)) {
        GTEST_SKIP() << "no lame encoder here";
    }
    const std::string mp3 = m_dir.File("three.mp3");
    const auto run =
        TestSupport::RunProgram("/usr/bin/env", {"lame", "--quiet", m_stereo, mp3}, m_scratch);
    ASSERT_EQ(run.Status, 0) << run.Err;
    {
        TagLib::MPEG::File file(mp3.c_str());
        TagLib::ID3v2::Tag* id3v2 = file.ID3v2Tag(true);
        id3v2->setTitle("v2 title");
        auto* technical = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
        technical->setDescription("iTunNORM");
        technical->setText(" 00000A2B 00000B3C");
        id3v2->addFrame(technical);
        TagLib::APE::Tag* ape = file.APETag(true);
        ape->setTitle("ape title");
        ape->setArtist("ape artist");
        ape->setComment("ape comment");
        TagLib::ID3v1::Tag* id3v1 = file.ID3v1Tag(true);
        id3v1->setTitle("v1 title");
        id3v1->setArtist("v1 artist");
        id3v1->setAlbum("v1 album");
        id3v1->setComment("v1 comment");
        id3v1->setGenre("Rock");
        id3v1->setYear(1990);
        id3v1->setTrack(9);
        ASSERT_TRUE(file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripNone,
                              TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate));
    }
    const Probed probed = Probe(mp3);
    ASSERT_TRUE(probed.Info.Valid);
    EXPECT_EQ(probed.Tag, (TagInfo{.Title = "v2 title",
                                   .Artist = "ape artist",
                                   .Album = "v1 album",
                                   .Year = "1990",
                                   .Comment = "ape comment",
                                   .Genre = "Rock",
                                   .Track = "9",
                                   .Tagged = true}));
    EXPECT_EQ(probed.Info.TypeName, "") << "MPEG audio keeps the classic type";
}

// TagLib reads the tags from the bytes the probe has read, and a tag larger
// than those (cover art) at once into memory the thread keeps for the next
// file: files of every such size, probed in turns so each finds that memory
// used before, keep the texts of their own tags, at both ends of the file.
TEST_F(FullAnalysisTest, TagsOfEverySizeAreReadWhereverTheirBytesAre)
{
    if (!HaveTool("lame", m_scratch)) {
        GTEST_SKIP() << "no lame encoder here";
    }
    const std::string plain = m_dir.File("plain.mp3");
    const auto run =
        TestSupport::RunProgram("/usr/bin/env", {"lame", "--quiet", m_stereo, plain}, m_scratch);
    ASSERT_EQ(run.Status, 0) << run.Err;

    // The picture's size, and the size of an APE comment in front of the
    // ID3v1 tag: within the first read, across the tail read, far larger;
    // in ID3v2.4 and 2.3 tags, the picture before the title (its contents
    // are not read, the frames behind it are).
    struct Sizes
    {
        std::size_t Picture;
        std::size_t Comment;
        TagLib::ID3v2::Version Version;
    };

    const Sizes sizes[] = {{0, 0, TagLib::ID3v2::v4},
                           {3000, 900, TagLib::ID3v2::v4},
                           {20 * 1024, 5000, TagLib::ID3v2::v4},
                           {300 * 1024, 70 * 1024, TagLib::ID3v2::v4},
                           {100 * 1024, 10, TagLib::ID3v2::v4},
                           {200 * 1024, 20, TagLib::ID3v2::v3}};
    std::vector<std::string> paths;
    for (const auto& [picture, comment, version] : sizes) {
        const std::string path =
            m_dir.File("tags-" + std::to_string(picture) + "-" + std::to_string(comment) + ".mp3");
        std::filesystem::copy_file(plain, path);
        TagLib::MPEG::File file(path.c_str());
        TagLib::ID3v2::Tag* id3v2 = file.ID3v2Tag(true);
        if (picture > 0) {
            auto* cover = new TagLib::ID3v2::AttachedPictureFrame();
            cover->setMimeType("image/jpeg");
            cover->setPicture(TagLib::ByteVector(static_cast<unsigned int>(picture), 'p'));
            id3v2->addFrame(cover);
        }
        id3v2->setTitle("title " + std::to_string(picture));
        TagLib::APE::Tag* ape = file.APETag(true);
        ape->setArtist("artist " + std::to_string(comment));
        ape->setComment(std::string(comment, 'c') + "!");
        file.ID3v1Tag(true)->setAlbum("album " + std::to_string(picture));
        ASSERT_TRUE(file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripNone, version,
                              TagLib::File::DoNotDuplicate));
        paths.push_back(path);
    }
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            SCOPED_TRACE(paths[i]);
            const auto [picture, comment, version] = sizes[i];
            const Probed probed = Probe(paths[i]);
            ASSERT_TRUE(probed.Info.Valid);
            EXPECT_EQ(probed.Tag.Title, "title " + std::to_string(picture));
            EXPECT_EQ(probed.Tag.Artist, "artist " + std::to_string(comment));
            EXPECT_EQ(probed.Tag.Comment, std::string(comment, 'c') + "!");
            EXPECT_EQ(probed.Tag.Album, "album " + std::to_string(picture));
            EXPECT_EQ(probed.Info.FileSize, std::to_string(std::filesystem::file_size(paths[i])));
        }
    }
}

// The VBR header sits where the frame's version and channel mode put it; the
// classic reading looks at one place only and gets these files wrong or takes
// them for no audio at all. An "Info" header marks a constant bit rate;
// without any header the frames tell, and so they do in a free-format file.
TEST_F(FullAnalysisTest, VbrHeadersGiveTheLengthWhereverTheySit)
{
    if (!HaveTool("lame", m_scratch)) {
        GTEST_SKIP() << "no lame encoder here";
    }

    struct Row
    {
        std::vector<std::string> Args;
        std::string Version;
        std::string Mode;
        bool Variable;
        bool LameHeader = true;
        std::string Kbps{}; // a constant rate is the frames' own; not looked at when empty
    };

    const Row rows[] = {
        {{"-V", "5", "-m", "m"}, "MPEG-1", "single-channel", true},
        {{"-V", "5", "--resample", "22.05"}, "MPEG-2 LSF", "joint-stereo", true},
        {{"-V", "5", "-m", "m", "--resample", "11.025"}, "MPEG-2.5", "single-channel", true},
        {{"-b", "64", "-m", "m", "--resample", "16"},
         "MPEG-2 LSF",
         "single-channel",
         false,
         true,
         "64"},
        // No header at all: the frames themselves are counted.
        {{"-t", "-V", "5", "-m", "m"}, "MPEG-1", "single-channel", true, false},
        {{"-t", "-b", "96"}, "MPEG-1", "joint-stereo", false, false, "96"},
        // Half as many bytes per kbit/s in a frame of the lower versions.
        {{"-t", "-V", "5", "--resample", "22.05"}, "MPEG-2 LSF", "joint-stereo", true, false},
        // Free format: no bit-rate index, the frames' distance gives their length.
        {{"--freeformat", "-b", "200"}, "MPEG-1", "joint-stereo", false, true, "200"},
        {{"-t", "--freeformat", "-b", "40", "-m", "m", "--resample", "11.025"},
         "MPEG-2.5",
         "single-channel",
         false,
         false,
         "40"},
    };
    const std::string mp3 = m_dir.File("vbr.mp3");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Args.back() + " " + row.Version);
        std::vector<std::string> args = {"lame", "--quiet"};
        args.insert(args.end(), row.Args.begin(), row.Args.end());
        args.insert(args.end(), {m_stereo, mp3});
        const auto run = TestSupport::RunProgram("/usr/bin/env", args, m_scratch);
        ASSERT_EQ(run.Status, 0) << run.Err;
        const Probed probed = Probe(mp3);
        ASSERT_TRUE(probed.Info.Valid);
        EXPECT_EQ(probed.Info.VersionText, row.Version);
        EXPECT_EQ(probed.Info.ModeText, row.Mode);
        EXPECT_EQ(probed.Info.DurationSeconds, "3");
        // The frames count the encoder's delay and padding too: at 11.025 kHz
        // a frame is 52 ms.
        EXPECT_NEAR(static_cast<double>(probed.Info.DurationMilliseconds), 3000.0, 160.0);
        EXPECT_EQ(probed.Info.VariableBitrate, row.Variable);
        if (!row.Kbps.empty()) {
            EXPECT_EQ(probed.Info.BitrateText, row.Kbps);
        }
        if (row.LameHeader) {
            EXPECT_EQ(probed.Info.EncoderText.rfind("LAME", 0), 0u) << probed.Info.EncoderText;
        }
        EXPECT_NE(probed.Info.FrameCount, "");
    }
}

// A file that starts like one of the formats but is damaged is simply not
// valid: it never stops the list.
TEST_F(FullAnalysisTest, DamagedFilesAreInvalid)
{
    const std::string zeros(200, '\0');
    const std::pair<const char*, std::string> rows[] = {
        {"empty.flac", ""},
        {"head.flac", "fLaC" + zeros},
        {"page.ogg", "OggS" + zeros},
        {"vorbis.ogg", "OggS" + zeros.substr(0, 24) + "\x01vorbis" + zeros},
        {"opus.opus", "OggS" + zeros.substr(0, 24) + "OpusHead" + zeros},
        {"junk.wav", "RIFF\x10\0\0\0WAVE" + zeros},
        {"junk.m4a", std::string("\0\0\0\x18"
                                 "ftypM4A ",
                                 12) +
                         zeros},
        {"tagged.mp3", "ID3\x04\0\0\0\0\0\x05" + zeros},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        const std::string path = m_dir.File(name);
        std::ofstream(path, std::ios::binary) << bytes;
        const Probed probed = Probe(path);
        EXPECT_FALSE(probed.Info.Valid);
        EXPECT_EQ(probed.Info.FileName, path);
        EXPECT_EQ(probed.Tag, TagInfo{});
    }
    EXPECT_FALSE(Probe(m_dir.File("missing.flac")).Info.Valid);
}

// An Ogg stream whose last page claims an absurd position: TagLib's length
// overflows, and the list shows no negative time for it.
TEST_F(FullAnalysisTest, ALengthTheStreamCannotTellIsZero)
{
    if (!HaveTool("opusenc", m_scratch)) {
        GTEST_SKIP() << "no opusenc encoder here";
    }
    const std::string path = m_dir.File("far.opus");
    ASSERT_EQ(
        TestSupport::RunProgram("/usr/bin/env", {"opusenc", "--quiet", m_stereo, path}, m_scratch)
            .Status,
        0);
    std::string bytes(std::filesystem::file_size(path), '\0');
    std::ifstream(path, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const std::size_t lastPage = bytes.rfind("OggS");
    ASSERT_NE(lastPage, std::string::npos);
    bytes.replace(lastPage + 6, 8, "\x00\x00\x00\x00\x00\x00\x00\x70", 8);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

    const Probed probed = Probe(path);
    ASSERT_TRUE(probed.Info.Valid);
    EXPECT_EQ(probed.Info.DurationMilliseconds, 0);
    EXPECT_EQ(probed.Info.DurationText, "00:00");
    EXPECT_EQ(probed.Info.BitrateText.find('-'), std::string::npos);
}

TEST(FullAnalysisTexts, GenresYearsAndTracksAsTheListShowsThem)
{
    const std::pair<const char*, const char*> genres[] = {
        {"(17)", "Rock"},     {"17", "Rock"},
        {"(17)Rock", "Rock"}, {"(9)Metalcore", "Metalcore"},
        {"0", "Blues"},       {"(147)", "Synthpop"},
        {"(148)", "(148)"},   {"200", "200"},
        {"Jazz", "Jazz"},     {"1984", "1984"},
        {"(17", "(17"},       {"", ""}};
    for (const auto& [in, out] : genres) {
        SCOPED_TRACE(in);
        EXPECT_EQ(FullAnalysis::GenreText(in), out);
    }
    const std::pair<const char*, const char*> years[] = {
        {"2004-05-01", "2004"}, {"1999", "1999"}, {"05/1987", "1987"},
        {"12345", "1234"},      {"99", ""},       {"", ""}};
    for (const auto& [in, out] : years) {
        SCOPED_TRACE(in);
        EXPECT_EQ(FullAnalysis::YearText(in), out);
    }
    const std::pair<const char*, const char*> tracks[] = {
        {"3/12", "3"}, {"07", "07"}, {" 5 / 9", "5"}, {"/9", ""}, {"", ""}};
    for (const auto& [in, out] : tracks) {
        SCOPED_TRACE(in);
        EXPECT_EQ(FullAnalysis::TrackText(in), out);
    }
}

// The text frames of an ID3v2 tag read as TagLib's own getters read them, in
// the forms taggers write: ID3v2.3 "(17)" genres (which TagLib turns into
// fields), several fields in one frame (ID3v2.4, "\0" between them), genre
// numbers past the list, dates and track texts that are no plain numbers,
// Latin-1 text beyond ASCII, frames no cell is taken from between them, and
// the old "TRDC" date TagLib reads as "TDRC".
TEST(FullAnalysisId3v2, TextFramesGiveTheCellsTagLibsGettersGive)
{
    struct Row
    {
        int Version = 3;
        std::vector<std::pair<std::string, std::string>> Frames{};
        TagInfo Expected{};
    };

    using namespace std::string_literals;
    const Row rows[] = {
        {3, {{"TCON", "(17)"}, {"TIT2", "Song"}}, {.Title = "Song", .Genre = "Rock"}},
        {3, {{"TCON", "(17)Live"}}, {.Genre = "Rock Live"}},
        {3,
         {{"TCON", "(17)Rock"}, {"TYER", "1987"}, {"TRCK", "3/12"}},
         {.Year = "1987", .Genre = "Rock", .Track = "3"}},
        {4,
         {{"TCON", "Jazz\0"s
                   "8\0"s
                   "Jazz"},
          {"TIT2", "One\0Two"s}},
         {.Title = "One Two", .Genre = "Jazz"}},
        {4,
         {{"TCON", "\0"s
                   "Pop\0"s
                   "13"}},
         {.Genre = "Pop"}},
        {4, {{"TCON", "200"}, {"TPE1", "Band"}}, {.Artist = "Band"}},
        {4,
         {{"TCON", "Dub\0"s
                   "200\0"s
                   "Ska"}},
         {.Genre = "Dub  Ska"}},
        {4,
         {{"TDRC", "2001-05-03T10:00"}, {"TRCK", " 07"}, {"TALB", "LP"}},
         {.Album = "LP", .Year = "2001", .Track = "7"}},
        {4, {{"TDRC", "87"}, {"TRCK", "x"}, {"TALB", "EP"}}, {.Album = "EP"}},
        {4, {{"TDRC", "-2001"}, {"TRCK", "-4"}, {"TALB", "B"}}, {.Album = "B", .Track = "-4"}},
        {3, {{"TIT2", "Caf\xe9 \x7f"}}, {.Title = "Caf\xc3\xa9 \x7f"}},
        {3,
         {{"TSSE", "LAME"}, {"TIT2", "Behind"}, {"TLEN", "3000"}, {"TPE1", "Too"}},
         {.Title = "Behind", .Artist = "Too"}},
        {4, {{"TRDC", "1999"}, {"TXXX", "\0x\0y"s}, {"TRCK", "2"}}, {.Year = "1999", .Track = "2"}},
    };
    TestSupport::TempDir dir;
    for (const Row& row : rows) {
        std::string body;
        for (const auto& [id, text] : row.Frames) {
            const std::size_t size = text.size() + 1; // below 128: the same bytes in both sizes
            body += id + '\0' + '\0' + '\0' + static_cast<char>(size) + '\0' + '\0' + '\0' + text;
        }
        SCOPED_TRACE(testing::PrintToString(body));
        TestSupport::Mp3Builder file;
        file.Id3v2(row.Version, 1024);
        std::copy(body.begin(), body.end(), file.Data().begin() + 10);
        const std::string path = dir.File("frames.mp3");
        file.Frames(20).Write(path);
        TagInfo expected = row.Expected;
        expected.Tagged = true;
        const Probed probed = Probe(path);
        ASSERT_TRUE(probed.Info.Valid);
        EXPECT_EQ(probed.Tag, expected);
    }
}

// On the real corpus, against the classic reading of the same files: full
// analysis keeps every file the classic one reads, and where both find a
// constant bit rate they agree on the frame's figures.
TEST(FullAnalysisCorpus, KeepsWhatTheClassicReadingFindsInAConstantStream)
{
    const std::filesystem::path corpus = SONORIX_CORPUS_DIR;
    if (!std::filesystem::exists(corpus / "MANIFEST.tsv")) {
        GTEST_SKIP() << "no corpus at " << corpus;
    }
    int compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        const std::string path = entry.path().string();
        if (!entry.is_regular_file() || entry.path().extension() == ".tsv" ||
            entry.path().extension() == ".md") {
            continue;
        }
        SCOPED_TRACE(path);
        AudioFileInfo classic;
        TagInfo classicTag;
        MP3Tools::ProbeAudioFileAndTag(classic, classicTag, path);
        const Probed full = Probe(path);
        if (!classic.Valid) {
            continue;
        }
        EXPECT_TRUE(full.Info.Valid);
        if (classic.VariableBitrate || full.Info.VariableBitrate) {
            continue;
        }
        ++compared;
        EXPECT_EQ(full.Info.BitrateText, classic.BitrateText);
        EXPECT_EQ(full.Info.SampleRateText, classic.SampleRateText);
        EXPECT_EQ(full.Info.ModeText, classic.ModeText);
        EXPECT_EQ(full.Info.VersionText, classic.VersionText);
    }
    EXPECT_GT(compared, 20);
}

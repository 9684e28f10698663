#include "samples/Samples.h"

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "samples/Mp3Builder.h"

namespace fs = std::filesystem;

using TestSupport::FrameShape;
using TestSupport::Id3v1Fields;
using TestSupport::Mp3Builder;

namespace Samples {

namespace {

// Header byte 3: channel mode in bits 7-6, mode extension 5-4, copyright,
// original, emphasis in bits 1-0. All samples are "original", no emphasis.
constexpr std::uint8_t kStereo = 0x04;
constexpr std::uint8_t kJointStereo = 0x44;
constexpr std::uint8_t kJointStereoIntensity = 0x64; // mode extension 2
constexpr std::uint8_t kMono = 0xC4;

// Genre bytes.
constexpr std::uint8_t kRock = 17;
constexpr std::uint8_t kHardRock = 79;
constexpr std::uint8_t kOther = 12;
constexpr std::uint8_t kSpeech = 101;

FrameShape Mpeg1(int bitrateIndex, std::uint8_t mode)
{
    return {.Version = 3, .BitrateIndex = bitrateIndex, .Byte3 = mode};
}

// Appends MPEG-1 Layer III frames the way an encoder lays them out: a frame
// gets its padding byte whenever the fraction of a byte carried over from
// the frames before it reaches a whole byte, so the stream keeps its bit
// rate and every header starts exactly where the frame before it ends.
void AppendMpeg1Frames(Mp3Builder& file, const std::vector<int>& bitrateIndexes, std::uint8_t mode)
{
    long long carried = 0;
    for (const int index : bitrateIndexes) {
        FrameShape frame = Mpeg1(index, mode);
        const long long rate = TestSupport::SamplingRateOf(frame);
        carried += 144LL * TestSupport::BitrateOf(frame) * 1000 % rate;
        frame.Padding = carried >= rate ? 1 : 0;
        carried -= frame.Padding * rate;
        file.Frame(frame);
    }
}

void AppendMpeg1Frames(Mp3Builder& file, int count, int bitrateIndex, std::uint8_t mode)
{
    AppendMpeg1Frames(file, std::vector<int>(static_cast<std::size_t>(count), bitrateIndex), mode);
}

// MPEG-2 and MPEG-2.5 Layer III frames carry 576 samples, so a frame is
// 72 x bit rate / sampling rate bytes long. The rates chosen here make that a
// whole number without padding, and then every second header also lies at
// twice that distance, where a reader reckoning with the MPEG-1 factor 144
// looks for it.
void AppendLowRateFrames(Mp3Builder& file, int count, const FrameShape& frame)
{
    const long long bits = 72LL * TestSupport::BitrateOf(frame) * 1000;
    const long long rate = TestSupport::SamplingRateOf(frame);
    if (rate == 0 || bits % rate != 0)
        throw std::logic_error("AppendLowRateFrames: frame length is not whole");
    const auto length = static_cast<std::size_t>(bits / rate);
    const auto header = TestSupport::HeaderBytes(frame);
    for (int i = 0; i < count; ++i) {
        file.Bytes({header[0], header[1], header[2], header[3]});
        file.Fill(length - header.size());
    }
}

// An ID3v2.3 tag of the given size whose first frames hold the texts (frame
// id, text); the rest is the zero padding that taggers leave for later edits
// (and where cover art would stand).
void AppendId3v2Texts(Mp3Builder& file,
                      const std::vector<std::pair<std::string_view, std::string_view>>& texts,
                      std::uint32_t size)
{
    const std::size_t start = file.Size() + 10;
    file.Id3v2(3, size);
    std::vector<std::uint8_t> frames;
    for (const auto& [id, text] : texts) {
        frames.insert(frames.end(), id.begin(), id.end());
        const auto bodySize = static_cast<std::uint32_t>(text.size() + 1);
        for (int shift = 24; shift >= 0; shift -= 8)
            frames.push_back(static_cast<std::uint8_t>(bodySize >> shift));
        frames.insert(frames.end(), {0, 0, 0}); // two flag bytes, ISO-8859-1 encoding
        frames.insert(frames.end(), text.begin(), text.end());
    }
    if (frames.size() > size)
        throw std::logic_error("AppendId3v2Texts: the frames do not fit the tag");
    std::copy(frames.begin(), frames.end(), file.Data().begin() + static_cast<long>(start));
}

Id3v1Fields Tag(std::string title, std::string artist, std::string album, std::string year,
                int track, std::uint8_t genre)
{
    return {.Title = std::move(title),
            .Artist = std::move(artist),
            .Album = std::move(album),
            .Year = std::move(year),
            .Comment = "Sonorix sample",
            .Track = track,
            .Genre = genre};
}

SampleFile Sample(std::string path, const Mp3Builder& file, const std::string& title, bool valid)
{
    return {.RelativePath = std::move(path),
            .Bytes = file.Data(),
            .Title = title,
            .Valid = valid,
            .Tagged = !title.empty(),
            .FullTitle = title,
            .FullValid = valid};
}

SampleFile BasaltSky()
{
    Mp3Builder file;
    AppendMpeg1Frames(file, 14, 9, kJointStereo); // 128 kbit/s
    const auto tag = Tag("Basalt Sky", "The Quarry Lights", "Stone Tapes", "1998", 1, kRock);
    file.Id3v1(tag);
    return Sample("Rock/01 - Basalt Sky.mp3", file, tag.Title, true);
}

SampleFile NightFreight()
{
    // A variable-bit-rate stream: a "Xing" frame announcing every field
    // (flags 0x0F) and the number of audio frames behind it.
    const std::vector<int> bitrates = {9, 10, 11, 9,  8,  10, 12, 11, 9,  10,
                                       8, 9,  11, 13, 10, 9,  8,  10, 11, 9};
    Mp3Builder file;
    file.XingFrame(0x0F, static_cast<std::int32_t>(bitrates.size()), Mpeg1(9, kStereo));
    AppendMpeg1Frames(file, bitrates, kStereo);
    const auto tag = Tag("Night Freight", "The Quarry Lights", "Stone Tapes", "1998", 2, kHardRock);
    file.Id3v1(tag);
    SampleFile sample = Sample("Rock/02 - Night Freight.mp3", file, tag.Title, true);
    sample.VariableBitrate = true;
    sample.FullVariableBitrate = true;
    return sample;
}

SampleFile RehearsalTake()
{
    Mp3Builder file;
    AppendMpeg1Frames(file, 12, 10, kJointStereoIntensity); // 160 kbit/s, no tag
    return Sample("Rock/rehearsal take 3.mp3", file, "", true);
}

SampleFile GlassHarbour()
{
    // Behind a leading ID3v2 tag, as files with cover art are; the album is
    // Windows-1252 text, as in many old tags.
    Mp3Builder file;
    AppendId3v2Texts(file, {{"TIT2", "Glass Harbour"}}, 2400);
    AppendMpeg1Frames(file, 12, 11, kJointStereo); // 192 kbit/s
    const auto tag = Tag("Glass Harbour", "Marrow & Tide", "Caf\xE9 Nights", "2003", 4, kRock);
    file.Id3v1(tag);
    return Sample("Rock/04 - Glass Harbour.mp3", file, tag.Title, true);
}

SampleFile Tidewater()
{
    // Tagged as taggers of today tag: an ID3v2 tag only, with a title longer
    // than the thirty characters ID3v1 keeps. The classic reading sees no tag.
    const std::string title = "Tidewater (Live at the Old Pier, 2019)";
    Mp3Builder file;
    AppendId3v2Texts(file,
                     {{"TIT2", title},
                      {"TPE1", "Marrow & Tide"},
                      {"TALB", "Live at the Old Pier"},
                      {"TYER", "2019"},
                      {"TRCK", "3/9"},
                      {"TCON", "(17)"}},
                     1024);
    AppendMpeg1Frames(file, 12, 9, kJointStereo); // 128 kbit/s
    SampleFile sample = Sample("Rock/03 - Tidewater.mp3", file, "", true);
    sample.FullTitle = title;
    return sample;
}

SampleFile Undertow()
{
    // A variable bit rate without "Xing" header, as an encoder told to write
    // none leaves it: quiet frames at 32 kbit/s first, then rates that change
    // from frame to frame. The classic reading takes the first frame's rate
    // for the whole file and its length for several times the real one; full
    // analysis counts the frames.
    std::vector<int> bitrates(4, 1);
    for (int round = 0; round < 8; ++round)
        bitrates.insert(bitrates.end(), {11, 12, 13, 11, 10, 12, 14, 13, 11, 12});
    Mp3Builder file;
    AppendMpeg1Frames(file, bitrates, kJointStereo);
    const auto tag = Tag("Undertow", "The Quarry Lights", "Stone Tapes", "1998", 5, kRock);
    file.Id3v1(tag);
    SampleFile sample = Sample("Rock/05 - Undertow.mp3", file, tag.Title, true);
    sample.FullVariableBitrate = true;
    return sample;
}

SampleFile StationIdent()
{
    // No MPEG audio at all: two seconds of silence as 16-bit PCM, 11.025 kHz
    // mono, in a wave file titled in its INFO list. Only full analysis reads
    // it, and only for a style that lists "wav" files.
    constexpr std::uint32_t kHertz = 11025;
    constexpr std::uint32_t kDataSize = 2 * kHertz * 2;
    const std::pair<std::string_view, std::string_view> infos[] = {
        {"INAM", "Harbour Radio Station Ident"},
        {"IART", "Harbour Radio Players"},
        {"ICRD", "1987"}};
    Mp3Builder list;
    list.Text("INFO");
    for (const auto& [id, text] : infos) {
        const auto size = static_cast<std::uint32_t>(text.size() + 1);
        list.Text(id);
        list.LittleEndian(size, 4);
        list.Text(text).Fill(size % 2 == 0 ? 1 : 2); // the terminator, then an even size
    }
    Mp3Builder file;
    file.Text("RIFF");
    file.LittleEndian(static_cast<std::uint32_t>(4 + 24 + 8 + list.Size() + 8 + kDataSize), 4);
    file.Text("WAVEfmt ");
    file.LittleEndian(16, 4);
    file.LittleEndian(1, 2); // PCM
    file.LittleEndian(1, 2); // one channel
    file.LittleEndian(kHertz, 4);
    file.LittleEndian(kHertz * 2, 4); // bytes a second
    file.LittleEndian(2, 2);          // bytes a sample
    file.LittleEndian(16, 2);         // bits a sample
    file.Text("LIST");
    file.LittleEndian(static_cast<std::uint32_t>(list.Size()), 4);
    file.Bytes(list.Data());
    file.Text("data");
    file.LittleEndian(kDataSize, 4);
    file.Fill(kDataSize);
    SampleFile sample = Sample("Spoken Word/Station Ident.wav", file, "", false);
    sample.FullTitle = "Harbour Radio Station Ident";
    sample.FullValid = true;
    return sample;
}

SampleFile Lecture()
{
    Mp3Builder file;
    // MPEG-2 (LSF), 16 kbit/s, 24 kHz, mono.
    AppendLowRateFrames(file, 120,
                        {.Version = 2, .BitrateIndex = 2, .SamplingIndex = 1, .Byte3 = kMono});
    const auto tag =
        Tag("Lecture on Tides", "Dr. Ana Moreno", "Coastal Science Talks", "2004", 3, kSpeech);
    file.Id3v1(tag);
    return Sample("Spoken Word/Lecture on Tides.mp3", file, tag.Title, true);
}

SampleFile RadioPlay()
{
    // MPEG audio inside a RIFF wave file; the title holds a comma.
    Mp3Builder frames;
    AppendMpeg1Frames(frames, 20, 5, kMono); // 64 kbit/s
    Mp3Builder file;
    file.Riff({.DataSize = static_cast<std::uint32_t>(frames.Size())});
    file.Bytes(frames.Data());
    const auto tag = Tag("The Lighthouse Keeper, Part 1", "Harbour Radio Players",
                         "Evening Radio Plays", "1987", 1, kSpeech);
    file.Id3v1(tag);
    SampleFile sample = Sample("Spoken Word/Radio Play - Episode 1.mp3", file, tag.Title, true);
    sample.RiffWrapped = true;
    return sample;
}

SampleFile BrokenDownload()
{
    // An error page saved under an audio name: no frame sync anywhere.
    Mp3Builder file;
    file.Text("<!DOCTYPE html>\n<html><head><title>503 Service Unavailable</title></head>\n"
              "<body><h1>Service Unavailable</h1>\n<p>The server is temporarily unable to "
              "service your request. Please try again later.</p>\n");
    while (file.Size() < 3000)
        file.Text("<!-- padding to keep proxies from replacing this page -->\n");
    file.Text("</body></html>\n");
    return Sample("Spoken Word/Interview (broken download).mp3", file, "", false);
}

SampleFile Welcome()
{
    Mp3Builder file;
    // MPEG-2.5, 8 kbit/s, 8 kHz, mono.
    AppendLowRateFrames(file, 60,
                        {.Version = 0, .BitrateIndex = 1, .SamplingIndex = 2, .Byte3 = kMono});
    const auto tag = Tag("Welcome to Sonorix", "Sonorix", "Samples", "2024", 1, kOther);
    file.Id3v1(tag);
    return Sample("Welcome to Sonorix.mp3", file, tag.Title, true);
}

} // namespace

std::vector<SampleFile> BuildSamples()
{
    return {BasaltSky(), NightFreight(), RehearsalTake(),  GlassHarbour(),
            Lecture(),   RadioPlay(),    BrokenDownload(), Welcome(),
            Tidewater(), Undertow(),     StationIdent()};
}

std::vector<std::string> WriteSamples(const std::string& folder)
{
    std::vector<std::string> written;
    for (const SampleFile& sample : BuildSamples()) {
        const fs::path path = fs::path(folder) / sample.RelativePath;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        if (ec)
            throw std::runtime_error("Cannot create folder '" + path.parent_path().string() +
                                     "': " + ec.message());
        Mp3Builder file;
        file.Bytes(sample.Bytes);
        file.Write(path.string());
        written.push_back(path.string());
    }
    return written;
}

} // namespace Samples

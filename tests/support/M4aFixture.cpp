#include "tests/support/M4aFixture.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace TestSupport {

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put8(Bytes& out, std::uint32_t value) { out.push_back(static_cast<std::uint8_t>(value)); }

void Put16(Bytes& out, std::uint32_t value)
{
    Put8(out, value >> 8);
    Put8(out, value);
}

void Put32(Bytes& out, std::uint32_t value)
{
    Put16(out, value >> 16);
    Put16(out, value);
}

void PutText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes Box(std::string_view type, const Bytes& body)
{
    Bytes out;
    Put32(out, static_cast<std::uint32_t>(8 + body.size()));
    PutText(out, type);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A box whose body starts with a version byte and three bytes of flags.
Bytes FullBox(std::string_view type, std::uint32_t versionAndFlags, const Bytes& body)
{
    Bytes out;
    Put32(out, versionAndFlags);
    out.insert(out.end(), body.begin(), body.end());
    return Box(type, out);
}

// Bits, most significant first, as both codecs' frames are written.
class BitWriter
{
public:
    void Put(std::uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            PutBit((value >> i) & 1U);
        }
    }

    void Zeros(std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            PutBit(0);
        }
    }

    void Align()
    {
        while (m_count % 8 != 0) {
            PutBit(0);
        }
    }

    std::size_t Count() const { return m_count; }

    const Bytes& Data() const { return m_bytes; }

private:
    void PutBit(std::uint32_t bit)
    {
        if (m_count % 8 == 0) {
            m_bytes.push_back(0);
        }
        if (bit != 0) {
            m_bytes.back() = static_cast<std::uint8_t>(m_bytes.back() | (0x80U >> (m_count % 8)));
        }
        ++m_count;
    }

    Bytes m_bytes{};
    std::size_t m_count = 0;
};

// Syntax element ids, the same in AAC and ALAC frames.
constexpr std::uint32_t kSingleChannel = 0;
constexpr std::uint32_t kChannelPair = 1;
constexpr std::uint32_t kFill = 6;
constexpr std::uint32_t kEnd = 7;

constexpr std::uint32_t kAacFrameSamples = 1024;
constexpr std::uint32_t kAlacFrameSamples = 4096;

// One long window and no scale-factor band: no coefficient at all.
void SilentIcsInfo(BitWriter& bits)
{
    bits.Put(0, 1); // reserved
    bits.Put(0, 2); // only long sequence
    bits.Put(0, 1); // window shape
    bits.Put(0, 6); // max_sfb
    bits.Put(0, 1); // no prediction
}

void SilentChannel(BitWriter& bits, bool withIcsInfo)
{
    bits.Put(100, 8); // global gain: any, nothing is scaled
    if (withIcsInfo) {
        SilentIcsInfo(bits);
    }
    bits.Put(0, 3); // no pulse, noise-shaping or gain-control data
}

// An AAC-LC raw data block of silence, size bytes long: fill elements bring
// it to the size, as a constant-rate encoder pads its frames.
Bytes AacFrame(int channels, std::size_t size)
{
    BitWriter bits;
    if (channels == 1) {
        bits.Put(kSingleChannel, 3);
        bits.Put(0, 4); // instance tag
        SilentChannel(bits, true);
    } else {
        bits.Put(kChannelPair, 3);
        bits.Put(0, 4);
        bits.Put(1, 1); // the two channels share one window
        SilentIcsInfo(bits);
        bits.Put(0, 2); // no mid/side mask
        SilentChannel(bits, false);
        SilentChannel(bits, false);
    }
    constexpr std::size_t kEndBits = 3;
    if (bits.Count() + kEndBits > size * 8) {
        throw std::logic_error("AacFrame: the frame is too small for its channels");
    }
    std::size_t room = size * 8 - bits.Count() - kEndBits;
    // A fill element of count bytes takes 7 bits, 8 more for a count of 15
    // or more (at most 269), then the bytes.
    while (room >= 7) {
        const std::size_t count = room >= 15 + 8 * 15 ? std::min<std::size_t>(269, (room - 15) / 8)
                                                      : std::min<std::size_t>(14, (room - 7) / 8);
        bits.Put(kFill, 3);
        if (count < 15) {
            bits.Put(static_cast<std::uint32_t>(count), 4);
        } else {
            bits.Put(15, 4);
            bits.Put(static_cast<std::uint32_t>(count - 14), 8);
        }
        if (count > 0) {
            bits.Put(0, 4); // extension type: fill
            bits.Put(0, 4); // fill nibble
            for (std::size_t i = 1; i < count; ++i) {
                bits.Put(0xA5, 8);
            }
        }
        room -= (count < 15 ? 7 : 15) + 8 * count;
    }
    bits.Put(kEnd, 3);
    bits.Align();
    return bits.Data();
}

// An ALAC frame of silence, stored uncompressed (escape flag), 16 bits a
// sample; a frame shorter than the track's frame length says so.
Bytes AlacFrame(int channels, std::uint32_t samples, bool partial)
{
    BitWriter bits;
    bits.Put(channels == 1 ? kSingleChannel : kChannelPair, 3);
    bits.Put(0, 4);  // instance tag
    bits.Put(0, 12); // unused
    bits.Put(partial ? 1 : 0, 1);
    bits.Put(0, 2); // no bytes shifted off
    bits.Put(1, 1); // escape: uncompressed samples follow
    if (partial) {
        bits.Put(samples, 32);
    }
    bits.Zeros(std::size_t{samples} * static_cast<std::size_t>(channels) * 16);
    bits.Put(kEnd, 3);
    bits.Align();
    return bits.Data();
}

std::uint32_t FrameSamples(const M4aShape& shape)
{
    return shape.Codec == M4aCodec::Aac ? kAacFrameSamples : kAlacFrameSamples;
}

std::vector<Bytes> Frames(const M4aShape& shape)
{
    if (shape.Channels < 1 || shape.Channels > 2 || shape.SampleRate == 0 ||
        shape.SampleRate > 65535 || shape.Samples == 0) {
        throw std::logic_error("M4aBytes: unsupported shape");
    }
    const std::uint32_t per = FrameSamples(shape);
    const std::uint32_t count = (shape.Samples + per - 1) / per;
    std::vector<Bytes> frames;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (shape.Codec == M4aCodec::Aac) {
            // The bytes up to the end of frame n at the asked rate.
            const auto upTo = [&](std::uint64_t n) {
                return n * kAacFrameSamples * static_cast<std::uint64_t>(shape.AacKbps) * 1000 /
                       (8 * std::uint64_t{shape.SampleRate});
            };
            frames.push_back(AacFrame(shape.Channels, upTo(i + 1) - upTo(i)));
        } else {
            const std::uint32_t samples = std::min(per, shape.Samples - i * per);
            frames.push_back(AlacFrame(shape.Channels, samples, samples < per));
        }
    }
    return frames;
}

std::uint32_t AverageBitrate(const M4aShape& shape, const std::vector<Bytes>& frames)
{
    std::uint64_t bytes = 0;
    for (const Bytes& frame : frames) {
        bytes += frame.size();
    }
    return static_cast<std::uint32_t>(bytes * 8 * shape.SampleRate / shape.Samples);
}

// The sampling-frequency index of MPEG-4 audio.
std::uint32_t FrequencyIndex(std::uint32_t rate)
{
    constexpr std::array<std::uint32_t, 13> kRates = {
        96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
    const auto* found = std::find(kRates.begin(), kRates.end(), rate);
    if (found == kRates.end()) {
        throw std::logic_error("M4aBytes: no AAC sampling-frequency index for the rate");
    }
    return static_cast<std::uint32_t>(found - kRates.begin());
}

// The decoder configuration of AAC-LC: object type 0x40 (MPEG-4 audio), the
// rates, and the two-byte audio specific configuration.
Bytes Esds(const M4aShape& shape, std::uint32_t average, std::uint32_t maximum)
{
    const std::uint32_t frequency = FrequencyIndex(shape.SampleRate);
    const auto channels = static_cast<std::uint32_t>(shape.Channels);
    Bytes body;
    Put8(body, 0x03); // elementary stream descriptor
    Put8(body, 25);
    Put16(body, 1);   // stream id
    Put8(body, 0);    // no dependency, URL or priority
    Put8(body, 0x04); // decoder configuration
    Put8(body, 17);
    Put8(body, 0x40);
    Put8(body, 0x15); // audio stream
    Put8(body, 0);    // buffer size, three bytes
    Put16(body, 6144);
    Put32(body, maximum);
    Put32(body, average);
    Put8(body, 0x05); // decoder specific information
    Put8(body, 2);
    Put8(body, 2 << 3 | frequency >> 1); // object type 2: AAC-LC
    Put8(body, (frequency & 1) << 7 | channels << 3);
    Put8(body, 0x06); // sync layer configuration
    Put8(body, 1);
    Put8(body, 0x02);
    return FullBox("esds", 0, body);
}

// The ALAC cookie: frame length, bit depth, the coder's tuning values and
// the rates.
Bytes AlacCookie(const M4aShape& shape, std::uint32_t average, std::uint32_t maxFrameBytes)
{
    Bytes body;
    Put32(body, kAlacFrameSamples);
    Put8(body, 0);  // compatible version
    Put8(body, 16); // bit depth
    Put8(body, 40); // pb
    Put8(body, 10); // mb
    Put8(body, 14); // kb
    Put8(body, static_cast<std::uint32_t>(shape.Channels));
    Put16(body, 255); // max run
    Put32(body, maxFrameBytes);
    Put32(body, average);
    Put32(body, shape.SampleRate);
    return FullBox("alac", 0, body);
}

Bytes AudioSampleEntry(std::string_view format, const M4aShape& shape, const Bytes& configuration)
{
    Bytes body(6, 0); // reserved
    Put16(body, 1);   // data reference
    Put16(body, 0);   // version
    Put16(body, 0);   // revision
    Put32(body, 0);   // vendor
    Put16(body, static_cast<std::uint32_t>(shape.Channels));
    Put16(body, 16); // sample size
    Put16(body, 0);  // compression id
    Put16(body, 0);  // packet size
    Put32(body, shape.SampleRate << 16);
    return Box(format, Join({body, configuration}));
}

void PutMatrix(Bytes& out)
{
    for (const std::uint32_t value : {0x10000U, 0U, 0U, 0U, 0x10000U, 0U, 0U, 0U, 0x40000000U}) {
        Put32(out, value);
    }
}

Bytes SampleTables(const M4aShape& shape, const std::vector<Bytes>& frames,
                   std::uint32_t dataOffset)
{
    const std::uint32_t per = FrameSamples(shape);
    const auto count = static_cast<std::uint32_t>(frames.size());
    const std::uint32_t average = AverageBitrate(shape, frames);
    std::size_t largest = 0;
    for (const Bytes& frame : frames) {
        largest = std::max(largest, frame.size());
    }
    Bytes entry;
    if (shape.Codec == M4aCodec::Aac) {
        const auto maximum =
            static_cast<std::uint32_t>(largest * 8 * shape.SampleRate / kAacFrameSamples);
        entry = AudioSampleEntry("mp4a", shape, Esds(shape, average, maximum));
    } else {
        entry = AudioSampleEntry("alac", shape,
                                 AlacCookie(shape, average, static_cast<std::uint32_t>(largest)));
    }
    Bytes stsd;
    Put32(stsd, 1);
    stsd = Join({stsd, entry});

    // Every frame but the last holds a whole frame of samples.
    Bytes stts;
    const std::uint32_t last = shape.Samples - (count - 1) * per;
    Put32(stts, last == per || count == 1 ? 1 : 2);
    if (last == per) {
        Put32(stts, count);
        Put32(stts, per);
    } else {
        if (count > 1) {
            Put32(stts, count - 1);
            Put32(stts, per);
        }
        Put32(stts, 1);
        Put32(stts, last);
    }

    Bytes stsc; // one chunk holds every frame
    for (const std::uint32_t value : {1U, 1U, count, 1U}) {
        Put32(stsc, value);
    }
    Bytes stsz;
    Put32(stsz, 0); // sizes differ
    Put32(stsz, count);
    for (const Bytes& frame : frames) {
        Put32(stsz, static_cast<std::uint32_t>(frame.size()));
    }
    Bytes stco;
    Put32(stco, 1);
    Put32(stco, dataOffset);
    return Box("stbl",
               Join({FullBox("stsd", 0, stsd), FullBox("stts", 0, stts), FullBox("stsc", 0, stsc),
                     FullBox("stsz", 0, stsz), FullBox("stco", 0, stco)}));
}

Bytes Track(const M4aShape& shape, const std::vector<Bytes>& frames, std::uint32_t dataOffset)
{
    const auto milliseconds =
        static_cast<std::uint32_t>(std::uint64_t{shape.Samples} * 1000 / shape.SampleRate);
    Bytes tkhd(8, 0); // creation and modification times
    Put32(tkhd, 1);   // track id
    Put32(tkhd, 0);
    Put32(tkhd, milliseconds);
    tkhd.insert(tkhd.end(), 8, 0);
    Put16(tkhd, 0);     // layer
    Put16(tkhd, 1);     // alternate group
    Put16(tkhd, 0x100); // full volume
    Put16(tkhd, 0);
    PutMatrix(tkhd);
    Put32(tkhd, 0); // no width or height: sound
    Put32(tkhd, 0);

    Bytes mdhd(8, 0);
    Put32(mdhd, shape.SampleRate); // time scale: one tick a sample
    Put32(mdhd, shape.Samples);
    Put16(mdhd, 0x55C4); // language "und"
    Put16(mdhd, 0);

    Bytes hdlr(4, 0);
    PutText(hdlr, "soun");
    hdlr.insert(hdlr.end(), 12, 0);
    PutText(hdlr, "SoundHandler");
    Put8(hdlr, 0);

    Bytes smhd(4, 0); // balance centred
    Bytes dref;
    Put32(dref, 1);
    dref = Join({dref, FullBox("url ", 1, {})}); // the data is in this file

    const Bytes minf =
        Box("minf", Join({FullBox("smhd", 0, smhd), Box("dinf", FullBox("dref", 0, dref)),
                          SampleTables(shape, frames, dataOffset)}));
    return Box(
        "trak",
        Join({FullBox("tkhd", 7, tkhd),
              Box("mdia", Join({FullBox("mdhd", 0, mdhd), FullBox("hdlr", 0, hdlr), minf}))}));
}

Bytes TextItem(std::string_view name, const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    Bytes data;
    Put32(data, 1); // UTF-8
    Put32(data, 0); // no locale
    PutText(data, text);
    return Box(name, Box("data", data));
}

Bytes NumberItem(std::string_view name, const Bytes& value)
{
    Bytes data;
    Put32(data, 0); // implicit type
    Put32(data, 0);
    return Box(name, Box("data", Join({data, value})));
}

Bytes UserData(const M4aTags& tags)
{
    Bytes items = Join({TextItem("\xA9nam", tags.Title),
                        TextItem("\xA9"
                                 "ART",
                                 tags.Artist),
                        TextItem("\xA9"
                                 "alb",
                                 tags.Album),
                        TextItem("\xA9"
                                 "day",
                                 tags.Date),
                        TextItem("\xA9"
                                 "cmt",
                                 tags.Comment),
                        TextItem("\xA9gen", tags.Genre)});
    if (tags.GenreNumber > 0) {
        Bytes genre;
        Put16(genre, static_cast<std::uint32_t>(tags.GenreNumber));
        items = Join({items, NumberItem("gnre", genre)});
    }
    if (tags.Track > 0) {
        Bytes track;
        Put16(track, 0);
        Put16(track, static_cast<std::uint32_t>(tags.Track));
        Put16(track, static_cast<std::uint32_t>(tags.Tracks));
        Put16(track, 0);
        items = Join({items, NumberItem("trkn", track)});
    }
    Bytes handler(4, 0);
    PutText(handler, "mdirappl");
    handler.insert(handler.end(), 9, 0);
    return Box("udta", FullBox("meta", 0, Join({FullBox("hdlr", 0, handler), Box("ilst", items)})));
}

} // namespace

std::vector<std::uint8_t> M4aBytes(const M4aShape& shape)
{
    const std::vector<Bytes> frames = Frames(shape);
    Bytes ftyp;
    PutText(ftyp, "M4A ");
    Put32(ftyp, 0);
    PutText(ftyp, "M4A mp42isom");
    ftyp = Box("ftyp", ftyp);

    const auto moov = [&](std::uint32_t dataOffset) {
        Bytes mvhd(8, 0);
        Put32(mvhd, 1000); // time scale: milliseconds
        Put32(mvhd,
              static_cast<std::uint32_t>(std::uint64_t{shape.Samples} * 1000 / shape.SampleRate));
        Put32(mvhd, 0x10000); // normal speed
        Put16(mvhd, 0x100);   // full volume
        mvhd.insert(mvhd.end(), 10, 0);
        PutMatrix(mvhd);
        mvhd.insert(mvhd.end(), 24, 0);
        Put32(mvhd, 2); // next track id
        return Box("moov", Join({FullBox("mvhd", 0, mvhd), Track(shape, frames, dataOffset),
                                 UserData(shape.Tags)}));
    };
    // The offset does not change the size of the boxes before the audio.
    const auto dataOffset = static_cast<std::uint32_t>(ftyp.size() + moov(0).size() + 8);
    Bytes audio;
    for (const Bytes& frame : frames) {
        audio.insert(audio.end(), frame.begin(), frame.end());
    }
    return Join({ftyp, moov(dataOffset), Box("mdat", audio)});
}

std::uint32_t M4aAudioBitrate(const M4aShape& shape)
{
    return AverageBitrate(shape, Frames(shape));
}

} // namespace TestSupport

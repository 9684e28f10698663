#include "samples/Mp3Builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "base/IoError.h"

namespace TestSupport {

namespace {

// kbit/s by [version][layer][index]; MPEG-2.5 shares the MPEG-2 rows.
constexpr int kMpeg1[4][16] = {
    {},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}};
constexpr int kMpeg2[4][16] = {
    {},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}};
// Hz by [version][index].
constexpr int kRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

void AppendBigEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void AppendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int count)
{
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void AppendField(std::vector<std::uint8_t>& bytes, const std::string& text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        bytes.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

} // namespace

std::array<std::uint8_t, 4> HeaderBytes(const FrameShape& shape)
{
    // b1: 111VVLLP, b2: BBBBSSPp, b3 as given.
    return {0xFF,
            static_cast<std::uint8_t>(0xE0 | (shape.Version & 3) << 3 | (shape.Layer & 3) << 1 |
                                      (shape.Protection & 1)),
            static_cast<std::uint8_t>((shape.BitrateIndex & 15) << 4 |
                                      (shape.SamplingIndex & 3) << 2 | (shape.Padding & 1) << 1 |
                                      (shape.Private & 1)),
            shape.Byte3};
}

int BitrateOf(const FrameShape& shape)
{
    const int version = shape.Version & 3;
    if (version == 1) {
        return 0;
    }
    const auto& table = version == 3 ? kMpeg1 : kMpeg2;
    return table[shape.Layer & 3][shape.BitrateIndex & 15];
}

int SamplingRateOf(const FrameShape& shape)
{
    return kRates[shape.Version & 3][shape.SamplingIndex & 3];
}

std::size_t FrameLengthOf(const FrameShape& shape)
{
    const long long bitrate = BitrateOf(shape);
    const long long rate = SamplingRateOf(shape);
    if (bitrate == 0 || rate == 0) {
        return 0;
    }
    const long long padding = shape.Padding & 1;
    if ((shape.Layer & 3) == 3) {
        return static_cast<std::size_t>(4 * (12000 * bitrate / rate) + 4 * padding);
    }
    return static_cast<std::size_t>(144000 * bitrate / rate + padding);
}

Mp3Builder& Mp3Builder::Bytes(std::initializer_list<std::uint8_t> bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

Mp3Builder& Mp3Builder::Bytes(const std::vector<std::uint8_t>& bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

Mp3Builder& Mp3Builder::Text(std::string_view text)
{
    for (const char c : text) {
        m_bytes.push_back(static_cast<std::uint8_t>(c));
    }
    return *this;
}

Mp3Builder& Mp3Builder::Fill(std::size_t count, std::uint8_t value)
{
    m_bytes.insert(m_bytes.end(), count, value);
    return *this;
}

Mp3Builder& Mp3Builder::LittleEndian(std::uint32_t value, int count)
{
    AppendLittleEndian(m_bytes, value, count);
    return *this;
}

Mp3Builder& Mp3Builder::PadTo(std::size_t size, std::uint8_t value)
{
    if (m_bytes.size() < size) {
        Fill(size - m_bytes.size(), value);
    }
    return *this;
}

Mp3Builder& Mp3Builder::Frame(const FrameShape& shape)
{
    const auto header = HeaderBytes(shape);
    const std::size_t start = m_bytes.size();
    m_bytes.insert(m_bytes.end(), header.begin(), header.end());
    return PadTo(start + std::max<std::size_t>(FrameLengthOf(shape), 4));
}

Mp3Builder& Mp3Builder::Frames(int count, const FrameShape& shape)
{
    for (int i = 0; i < count; ++i) {
        Frame(shape);
    }
    return *this;
}

Mp3Builder& Mp3Builder::XingFrame(std::uint32_t flags, std::int32_t frameCount,
                                  const FrameShape& shape)
{
    const auto header = HeaderBytes(shape);
    const std::size_t start = m_bytes.size();
    m_bytes.insert(m_bytes.end(), header.begin(), header.end());
    PadTo(start + 36);
    Text("Xing");
    AppendBigEndian(m_bytes, flags);
    AppendBigEndian(m_bytes, static_cast<std::uint32_t>(frameCount));
    return PadTo(start + FrameLengthOf(shape));
}

Mp3Builder& Mp3Builder::Riff(const RiffShape& shape)
{
    AppendField(m_bytes, shape.RiffId, 4);
    AppendLittleEndian(m_bytes, 36 + shape.DataSize, 4);
    Text("WAVEfmt ");
    AppendLittleEndian(m_bytes, 16, 4);
    AppendLittleEndian(m_bytes, shape.FormatTag, 2);
    AppendLittleEndian(m_bytes, 2, 2);     // channels
    AppendLittleEndian(m_bytes, 44100, 4); // samples per second
    AppendLittleEndian(m_bytes, 16000, 4); // bytes per second
    AppendLittleEndian(m_bytes, 1, 2);     // block align
    AppendLittleEndian(m_bytes, 0, 2);     // bits per sample
    AppendField(m_bytes, shape.DataId, 4);
    AppendLittleEndian(m_bytes, shape.DataSize, 4);
    return *this;
}

Mp3Builder& Mp3Builder::Id3v2(int majorVersion, std::uint32_t size, bool footer)
{
    // Syncsafe: 7 bits per byte, most significant first.
    const std::array<std::uint8_t, 4> sizeBytes = {
        static_cast<std::uint8_t>(size >> 21 & 0x7F), static_cast<std::uint8_t>(size >> 14 & 0x7F),
        static_cast<std::uint8_t>(size >> 7 & 0x7F), static_cast<std::uint8_t>(size & 0x7F)};
    const auto flags = static_cast<std::uint8_t>(footer ? 0x10 : 0x00);
    const auto version = static_cast<std::uint8_t>(majorVersion);
    Text("ID3").Bytes({version, 0, flags});
    m_bytes.insert(m_bytes.end(), sizeBytes.begin(), sizeBytes.end());
    Fill(size);
    if (footer) {
        Text("3DI").Bytes({version, 0, flags});
        m_bytes.insert(m_bytes.end(), sizeBytes.begin(), sizeBytes.end());
    }
    return *this;
}

Mp3Builder& Mp3Builder::Id3v1(const Id3v1Fields& shape)
{
    AppendField(m_bytes, shape.Marker, 3);
    AppendField(m_bytes, shape.Title, 30);
    AppendField(m_bytes, shape.Artist, 30);
    AppendField(m_bytes, shape.Album, 30);
    AppendField(m_bytes, shape.Year, 4);
    if (shape.Track >= 0) {
        AppendField(m_bytes, shape.Comment, 28);
        m_bytes.push_back(0);
        m_bytes.push_back(static_cast<std::uint8_t>(shape.Track));
    } else {
        AppendField(m_bytes, shape.Comment, 30);
    }
    m_bytes.push_back(shape.Genre);
    return *this;
}

const Mp3Builder& Mp3Builder::Write(const std::string& path) const
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error(DescribeIoFailure("write", path, errno));
    }
    const std::size_t written =
        m_bytes.empty() ? 0 : std::fwrite(m_bytes.data(), 1, m_bytes.size(), file);
    const int closeResult = std::fclose(file);
    if (written != m_bytes.size() || closeResult != 0) {
        throw std::runtime_error(DescribeIoFailure("write", path, errno));
    }
    return *this;
}

} // namespace TestSupport

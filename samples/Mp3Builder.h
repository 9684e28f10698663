#pragma once

// Builds audio files byte by byte for tests and sample files: MPEG audio frame
// headers with bodies of the right length, "Xing" frames, RIFF wave wrappers,
// ID3v1 tags, ID3v2 headers, raw bytes and padding. Frame lengths follow
// Sonorix's own arithmetic (factor 144 for Layer II/III in every version, a
// Layer I frame 4 x Trunc(12 x bit rate / sampling rate) bytes plus four per
// padding slot). Each call appends; Write() stores the bytes at a path.
//
//     Mp3Builder().Frame({}).Frame({}).PadTo(4096).Id3v1({.Title = "Song"}).Write(path);

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace TestSupport {

// One frame header. The defaults give FF FB 90 44: MPEG-1, Layer III, no
// checksum, 128 kbit/s, 44.1 kHz, no padding, joint stereo, original.
struct FrameShape
{
    int Version = 3;       // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    int Layer = 1;         // 0 reserved, 1 Layer III, 2 Layer II, 3 Layer I
    int Protection = 1;    // raw bit, 1: no checksum
    int BitrateIndex = 9;  // 0..15
    int SamplingIndex = 0; // 0..3
    int Padding = 0;
    int Private = 0;
    std::uint8_t Byte3 = 0x44; // mode, mode extension, copyright, original, emphasis
};

// The four header bytes of shape.
std::array<std::uint8_t, 4> HeaderBytes(const FrameShape& shape);
// Bit rate in kbit/s and sampling rate in Hz of shape; 0 where the tables have none.
int BitrateOf(const FrameShape& shape);
int SamplingRateOf(const FrameShape& shape);
// Whole frame length in bytes (header and padding included); 0 for a header
// without bit rate or sampling rate (free format, reserved codes).
std::size_t FrameLengthOf(const FrameShape& shape);

// The 128-byte ID3v1 tag. Texts are copied as bytes and padded with zero
// bytes; longer texts are cut. With Track >= 0 the tag takes the track form:
// comment bytes 29 and 30 become a zero byte and the track byte.
struct Id3v1Fields
{
    std::string Marker = "TAG";
    std::string Title{};
    std::string Artist{};
    std::string Album{};
    std::string Year{};
    std::string Comment{};
    int Track = -1; // -1: no track form; else the track byte (0..255)
    std::uint8_t Genre = 255;
};

// A RIFF wave header that announces MPEG audio: "RIFF" size "WAVE", a
// 16-byte "fmt " chunk with format tag 0x0055, then the data chunk id and its
// size; the audio that follows starts at offset 44.
struct RiffShape
{
    std::string RiffId = "RIFF";
    std::string DataId = "data";
    std::uint32_t DataSize = 0;
    std::uint16_t FormatTag = 0x0055;
};

class Mp3Builder
{
public:
    Mp3Builder& Bytes(std::initializer_list<std::uint8_t> bytes);
    Mp3Builder& Bytes(const std::vector<std::uint8_t>& bytes);
    Mp3Builder& Text(std::string_view text); // the characters as bytes, no terminator
    Mp3Builder& Fill(std::size_t count, std::uint8_t value = 0);
    // The count low bytes of value, least significant first (RIFF fields).
    Mp3Builder& LittleEndian(std::uint32_t value, int count);
    // Appends value bytes until the file is size bytes long (nothing when it is longer).
    Mp3Builder& PadTo(std::size_t size, std::uint8_t value = 0);

    // A header and a zero body, FrameLengthOf(shape) bytes in all (4 when the
    // length is 0).
    Mp3Builder& Frame(const FrameShape& shape = {});
    Mp3Builder& Frames(int count, const FrameShape& shape = {});
    // A frame with a "Xing" header at 36 bytes behind the frame start: the
    // big-endian flags word and frame count, then zeros to the frame's end.
    Mp3Builder& XingFrame(std::uint32_t flags, std::int32_t frameCount,
                          const FrameShape& shape = {});

    Mp3Builder& Riff(const RiffShape& shape = {});
    // "ID3", major version, revision 0, flags (0x10 with a footer), the
    // four syncsafe size bytes, size zero bytes, then "3DI" and the same
    // nine bytes when footer is set.
    Mp3Builder& Id3v2(int majorVersion, std::uint32_t size, bool footer = false);
    Mp3Builder& Id3v1(const Id3v1Fields& shape);

    std::size_t Size() const { return m_bytes.size(); }

    const std::vector<std::uint8_t>& Data() const { return m_bytes; }

    std::vector<std::uint8_t>& Data() { return m_bytes; }

    // Writes the bytes to path, replacing a file there. Throws
    // std::runtime_error naming the path when that fails.
    const Mp3Builder& Write(const std::string& path) const;

private:
    std::vector<std::uint8_t> m_bytes{};
};

} // namespace TestSupport

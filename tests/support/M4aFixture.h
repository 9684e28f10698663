#pragma once

// Builds M4A files byte by byte for the tests, since no encoder of the format
// can be counted on where the tests run: an "ftyp" box, a "moov" box with one
// sound track (AAC-LC with its decoder configuration, or ALAC with its
// cookie) and the iTunes-style item list, then the "mdat" box with silent
// frames that the track's sample tables describe exactly.
//
//     const std::vector<std::uint8_t> bytes =
//         M4aBytes({.Codec = M4aCodec::Alac, .Tags = {.Title = "Song"}});

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

// The items of the tag; an empty text or a zero number is left out.
struct M4aTags
{
    std::string Title{};   // "\xA9nam"
    std::string Artist{};  // "\xA9" "ART"
    std::string Album{};   // "\xA9" "alb"
    std::string Date{};    // "\xA9" "day"
    std::string Comment{}; // "\xA9" "cmt"
    std::string Genre{};   // "\xA9gen", a text
    int GenreNumber = 0;   // "gnre": an ID3v1 genre number plus one
    int Track = 0;         // "trkn", with the number of tracks
    int Tracks = 0;
};

enum class M4aCodec
{
    Aac,
    Alac
};

struct M4aShape
{
    M4aCodec Codec = M4aCodec::Aac;
    int Channels = 2;                  // 1 or 2
    std::uint32_t SampleRate = 44100;  // Hz
    std::uint32_t Samples = 3 * 44100; // per channel: the track's duration
    int AacKbps = 128;                 // AAC frames are filled up to this rate
    M4aTags Tags{};
};

// The whole file.
std::vector<std::uint8_t> M4aBytes(const M4aShape& shape);

// The average bit rate of the audio data of M4aBytes(shape) in bit/s, rounded
// down: what its decoder configuration announces.
std::uint32_t M4aAudioBitrate(const M4aShape& shape);

} // namespace TestSupport

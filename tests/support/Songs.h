#pragma once

// A song of a given length for list tests: 128 kbit/s frames, so 16000 bytes
// are one second of sound, with an ID3v1 tag at the end when one is given.

#include <cstddef>
#include <optional>
#include <string>

#include "samples/Mp3Builder.h"

namespace TestSupport {

inline constexpr std::size_t kBytesPerSecond = 16000;

inline void WriteSong(const std::string& path, std::size_t seconds,
                      const std::optional<Id3v1Fields>& tag)
{
    Mp3Builder song;
    song.Frames(3);
    if (tag) {
        song.PadTo(seconds * kBytesPerSecond - 128).Id3v1(*tag);
    } else {
        song.PadTo(seconds * kBytesPerSecond);
    }
    song.Write(path);
}

} // namespace TestSupport

#pragma once

// The bundled sample collection: a handful of small MPEG audio files made
// byte by byte (tagged, untagged, variable bit rate, RIFF-wrapped, behind an
// ID3v2 tag, and one that is no audio at all) in two sub-folders and at the
// top. Every file is at least 2048 bytes and its frames follow each other
// exactly, as a real stream's do. A few show what full analysis reads and
// the classic reading does not: a file tagged only in ID3v2, a
// variable-bit-rate file without "Xing" header, and a PCM wave file.

#include <cstdint>
#include <string>
#include <vector>

namespace Samples {

struct SampleFile
{
    std::string RelativePath{}; // below the samples folder, "/"-separated
    std::vector<std::uint8_t> Bytes{};
    std::string Title{}; // the ID3v1 title; empty for an untagged file
    bool Valid = false;  // what the probe should say about the file
    bool Tagged = false;
    bool VariableBitrate = false;
    bool RiffWrapped = false;
    // What full analysis should read: the title of any tag, whether the file
    // is audio, and whether its bit rate varies.
    std::string FullTitle{};
    bool FullValid = false;
    bool FullVariableBitrate = false;
};

std::vector<SampleFile> BuildSamples();

// Writes every sample below folder, creating it and its sub-folders, and
// returns the paths written. Throws std::runtime_error naming the file or
// folder that could not be written.
std::vector<std::string> WriteSamples(const std::string& folder);

} // namespace Samples

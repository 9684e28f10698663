#pragma once

// MPEG audio the classic reading refuses and full analysis reads by its
// frames: free format (bit-rate index 0), where no table gives the frame
// length, so it is the distance to the next header of the same stream; and
// streams the classic search misses because it takes the MPEG-1 length for
// every version (MPEG-2 and 2.5 Layer III frames without a VBR header).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "analysis/MP3Tools.h"
#include "analysis/internal/FileAccess.h"

namespace FullAnalysis {

// The playing time cells of info (milliseconds, whole seconds and their
// text), from a time in milliseconds.
void SetPlayingTime(MP3Tools::AudioFileInfo& info, std::int64_t milliseconds);

// A frame's length in bytes, padding included, as its version and layer
// give it; 0 for free format.
std::size_t ExactFrameLength(const MP3Tools::FrameHeader& header);
// The samples one frame holds, as its version and layer give them.
int SamplesPerFrame(const MP3Tools::FrameHeader& header);

// Looks for an MPEG stream behind the leading ID3v2 tags of file (read
// through window, which the classic probe has filled): the first
// header whose next three successors stand where the frame length it implies
// puts them (its table's, or for free format the distance that fits). Then every frame is counted
// for the playing time, the average bit rate and the frame count (a "Xing" or "Info" frame at the
// start carries no audio and is left out). Fills info's audio cells, marks
// it Valid (variable when the bit rates differ) and returns true; returns false and leaves info as
// it was when the file holds no such stream.
bool ProbeByFrames(MP3Tools::AudioFileInfo& info, const MP3Tools::Detail::ReadOnlyFile& file,
                   MP3Tools::Detail::ByteWindow& window, std::string_view decimalSeparator);

} // namespace FullAnalysis

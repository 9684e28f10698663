#pragma once

// Free-format MPEG audio (bit-rate index 0), which full analysis reads and
// the classic reading refuses: no table gives the frame length of such a
// header, so it is the distance to the next header of the same stream.

#include <string_view>

#include "analysis/MP3Tools.h"
#include "analysis/internal/FileAccess.h"

namespace FullAnalysis {

// Looks for a free-format stream behind the leading ID3v2 tags of file: the
// first such header whose next three successors stand where the frame length
// it implies puts them. Then every frame is counted for the playing time,
// the average bit rate and the frame count (a "Xing" or "Info" frame at the
// start carries no audio and is left out). Fills info's audio cells, marks
// it Valid and returns true; returns false and leaves info as it was when
// the file holds no such stream.
bool ProbeFreeFormat(MP3Tools::AudioFileInfo& info, const MP3Tools::Detail::ReadOnlyFile& file,
                     std::string_view decimalSeparator);

} // namespace FullAnalysis

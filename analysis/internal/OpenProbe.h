#pragma once

// The classic probe on a file already open, for the full analysis, which
// reads the same file on through the bytes the probe has read.

#include <cstdint>
#include <string_view>

#include "analysis/MP3Tools.h"
#include "analysis/internal/FileAccess.h"

namespace MP3Tools::Detail {

// The end of the well-formed ID3v2 tags that stand back to back at the start
// of file, or 0. A tag that runs past the end of the file ends the chain.
std::int64_t LeadingTagsEnd(const ReadOnlyFile& file, ByteWindow& window);

// The display texts of a first frame's header: version, layer and the
// padding, protection and private flags; then mode, mode extension,
// copyright, original and emphasis.
void SetHeaderTexts(AudioFileInfo& info, const FrameHeader& header);
void SetModeTexts(AudioFileInfo& info, const FrameHeader& header);

// ProbeAudioFile on file, whose bytes are taken through bytes (which keeps
// them for the looks that follow); info holds the reset record with its
// FileName.
void ProbeOpenFile(AudioFileInfo& info, const ReadOnlyFile& file, ByteWindow& bytes,
                   std::string_view decimalSeparator);

} // namespace MP3Tools::Detail

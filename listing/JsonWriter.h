#pragma once

// A list as JSON, for scripts: one array with one object per listed file, in
// list order, keyed by the selected column captions. Values are the cell
// texts, except "Filesize" (bytes), "Time" (seconds, to the millisecond),
// "KBps" (kbit/s), "Frequency" (Hz) and "Frames" (a count), which are JSON
// numbers, or null where the file has none (the frames of a FLAC file).
// An invalid file is {"Filepath": ..., "Filename": ..., "Invalid": true}.
// The output is valid UTF-8 whatever the names hold: a text that is not
// valid UTF-8 shows U+FFFD for each stray byte, and its bytes follow as
// lower-case hex in a member named caption + " hex" ("Filename hex"), so
// nothing is lost. No headline, no summary.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "listing/Columns.h"

namespace Listing {

inline constexpr std::string_view kJsonExtension = ".json";

// A JSON string literal of text, quotes included. Stray bytes (text that is
// not UTF-8) become U+FFFD; the caller keeps their bytes elsewhere.
std::string JsonString(std::string_view text);

// rows are built with RowFormat::NumberCells = kJsonNumberCells, in list
// order; captions are the selected ones (captions that name no column have
// no cells and are left out).
void WriteJsonList(std::ostream& out, const std::vector<std::string>& captions,
                   const std::vector<RowCells>& rows);

} // namespace Listing

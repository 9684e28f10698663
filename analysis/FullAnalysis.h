#pragma once

// Full analysis: the tags and audio properties of the files of today, read
// through TagLib. MPEG audio keeps the classic frame reading, takes length,
// bit rate and frame count from a VBR header wherever it sits (or, without
// one, from its frames when their bit rates differ), and its tags
// from ID3v2, APEv2 and ID3v1 (the first that holds a field gives it);
// FLAC, Ogg Vorbis, Opus, M4A and WAV files are read by TagLib whole. The
// records are those of the classic probe, with texts in UTF-8.

#include <string>
#include <string_view>

#include "analysis/MP3Tools.h"

namespace FullAnalysis {

// Fills info and tag for the file at path, as MP3Tools::ProbeAudioFileAndTag
// does for the classic reading: a file no reader accepts is not Valid (and
// its tag reset); a file that exists but cannot be opened or read throws
// IoError. With folder >= 0 the file is name in that open folder (path is
// the folder's path, "/" and name), else path itself.
void ProbeFile(MP3Tools::AudioFileInfo& info, MP3Tools::TagInfo& tag, int folder, const char* name,
               const std::string& path, std::string_view decimalSeparator = ".");

// A genre as the list shows it: "17", "(17)" give the ID3v1 genre name,
// "(17)Rock" the text behind the number; other texts stay as they are.
std::string GenreText(std::string_view genre);
// The first four digits in a row of a date ("2004-05-01" -> "2004"), or "".
std::string YearText(std::string_view date);
// The number before any "/" ("3/12" -> "3").
std::string TrackText(std::string_view track);

} // namespace FullAnalysis

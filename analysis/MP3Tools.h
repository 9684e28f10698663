#pragma once

// Reading of MPEG audio files: frame headers, the probe of one file (RIFF
// wrapper, first-frame search, "Xing" header, frame count, playing time), the
// ID3v1 tag and the encoder guess. No Qt; every step opens the file read-only
// and has closed it again when it returns.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/IoError.h"

struct stat;

namespace MP3Tools {

// The twelve fields of a four-byte frame header, in header order.
struct FrameHeader
{
    std::uint16_t Version = 0;       // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    std::uint16_t Layer = 0;         // 0 reserved, 1 Layer III, 2 Layer II, 3 Layer I
    std::uint16_t Protection = 0;    // raw bit: 1 means no checksum follows
    std::uint16_t BitrateIndex = 0;  // 0..15
    std::uint16_t SamplingIndex = 0; // 0..3
    std::uint16_t Padding = 0;
    std::uint16_t Private = 0;
    std::uint16_t Mode = 0;
    std::uint16_t ModeExtension = 0;
    std::uint16_t Copyright = 0;
    std::uint16_t Original = 0;
    std::uint16_t Emphasis = 0;
    friend bool operator==(const FrameHeader&, const FrameHeader&) = default;
};

// b0 == 0xFF, b1 >= 0xE1, b2 <= 0xEF.
[[nodiscard]] bool PassesSyncFilter(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
FrameHeader DecodeFrameHeader(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);
[[nodiscard]] bool IsValidFrameHeader(const FrameHeader& header);

// Table lookups for a header that passed IsValidFrameHeader.
int Bitrate(const FrameHeader& header);         // kbit/s
double SamplingRate(const FrameHeader& header); // kHz
int FrameBodyLength(const FrameHeader& header); // bytes, without padding
int FrameLength(const FrameHeader& header);     // bytes, padding included

const std::string& VersionText(int code);
const std::string& LayerText(int code);
const std::string& ModeText(int code);
const std::string& ModeExtensionText(int code);
const std::string& EmphasisText(int code);
const std::string& FlagText(int bit); // "no" / "yes"

// The decimal separator of the user's numeric locale (LC_NUMERIC as the
// program's setlocale set it), read now; "." when the locale gives none.
// The C library's locale is not to be read while other threads may set it:
// a job reads it once on its own thread and hands it to the probes.
std::string LocaleDecimalSeparator();
// kHz with one decimal, halves away from zero, separator as the decimal point,
// then " kHz" ("44.1 kHz", "44,1 kHz").
std::string SampleRateText(double kiloHertz, std::string_view separator);

// What the probe of one file yields. Texts are display-ready.
struct AudioFileInfo
{
    std::string FileName{};        // the whole path passed to the probe
    std::string FileSize{};        // decimal, the whole file
    std::string DurationSeconds{}; // decimal, whole seconds
    std::string DurationText{};    // FormatDuration of DurationSeconds
    std::string FrameCount{};
    std::string LayerText{};
    std::string VersionText{};
    std::string BitrateText{};
    std::string SampleRateText{};
    std::string ModeText{};
    std::string ModeExtensionText{};
    std::string OriginalText{};
    std::string ProtectionText{};
    std::string PaddingText{};
    std::string PrivateText{};
    std::string CopyrightText{};
    std::string EmphasisText{};
    std::string EncoderText = "-";
    // The type full analysis names for a file that is no MPEG audio ("FLAC",
    // "Opus", ...); empty for MPEG audio, whose type its frames give.
    std::string TypeName{};
    // The playing time in whole milliseconds (its whole seconds are
    // DurationSeconds) and the sampling rate in Hz, for lists that give
    // numbers rather than texts.
    std::int64_t DurationMilliseconds = 0;
    std::int32_t SampleRateHz = 0;
    std::int64_t FrameOffset = 0; // search start; after a successful search the first frame
    std::int32_t FrameLength = 0;
    std::int32_t FrameBodyLength = 0;
    bool HeaderOnly = false;
    bool RiffWrapped = false;
    bool VariableBitrate = false;
    bool Valid = false;
    friend bool operator==(const AudioFileInfo&, const AudioFileInfo&) = default;
};

void ResetAudioFileInfo(AudioFileInfo& info);

// Fills info for the file at path. A missing file, or an entry that is not a
// regular file, is simply not Valid; a file that exists but cannot be opened
// or read throws IoError.
// The sampling-rate text shows decimalSeparator as its decimal point.
void ProbeAudioFile(AudioFileInfo& info, const std::string& path,
                    std::string_view decimalSeparator = ".");

// 0 for a plain file, the first byte behind a RIFF "data" id and its size, or
// -1 for a missing or too small file or a RIFF file without "data" in reach.
std::int64_t FindAudioDataStart(const std::string& path);
[[nodiscard]] bool FindFirstFrame(AudioFileInfo& info, const std::string& path, int attempts);
void ReadFrameDetails(AudioFileInfo& info, FrameHeader header, const std::string& path);
void GuessEncoder(AudioFileInfo& info, const std::string& path);

// "04:10", "59:59", "1:02:05".
std::string FormatDuration(std::int64_t seconds);

// The ID3v1 tag of one file. Texts are the tag's bytes as stored (any
// character set), trimmed of codes 0..32.
struct TagInfo
{
    std::string TagId{};
    std::string Title{};
    std::string Artist{};
    std::string Album{};
    std::string Year{};
    std::string Comment{};
    std::string Genre{};
    std::string Track{};
    bool Tagged = false;
    friend bool operator==(const TagInfo&, const TagInfo&) = default;
};

void ResetTagInfo(TagInfo& tag);
[[nodiscard]] bool HasTag(const std::string& path);
void ReadTag(TagInfo& tag, const std::string& path);

// ProbeAudioFile, then for a Valid file ReadTag; a file that is not Valid
// leaves tag reset. The same records as the two calls, from one open of the
// file and, for most files, two reads (its head and its last 128 bytes).
void ProbeAudioFileAndTag(AudioFileInfo& info, TagInfo& tag, const std::string& path,
                          std::string_view decimalSeparator = ".");

// ProbeAudioFileAndTag of path, given as the entry name of the open folder
// descriptor folder (path is that folder's path, "/" and name): the same
// records and errors, without resolving the folders of path again.
void ProbeAudioFileAndTagIn(AudioFileInfo& info, TagInfo& tag, int folder, const char* name,
                            const std::string& path, std::string_view decimalSeparator = ".");

// The status (fstat) of the regular file that the calling thread's last
// probe opened, so a caller can tie what the probe found to exactly the file
// it read; false when that open found no regular file.
[[nodiscard]] bool LastOpenedFileStatus(struct stat& status);

// Entries 0..147 are the genre names, entry 148 is "-".
extern const std::array<std::string, 149> kGenres;
// The name for a genre byte: kGenres up to 148, "-" above.
const std::string& GenreName(std::uint8_t genreByte);

} // namespace MP3Tools

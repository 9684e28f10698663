#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "analysis/MP3Tools.h"
#include "analysis/internal/FileAccess.h"
#include "analysis/internal/OpenProbe.h"
#include "base/Ascii.h"
#include "base/Utf8.h"

namespace MP3Tools {

namespace {

using Detail::ByteWindow;
using Detail::LeadingTagsEnd;
using Detail::ProbeOpenFile;
using Detail::ReadOnlyFile;
using Detail::SetHeaderTexts;
using Detail::SetModeTexts;
using Utf8::Cut;

constexpr std::int64_t kMinAudioFileSize = 257;  // smaller files are never audio
constexpr std::int64_t kMinFrameFileSize = 2048; // smaller files are never searched
constexpr std::int64_t kRiffScanLast = 2000;     // last offset where "data" may start
constexpr std::int64_t kSearchBound = 32000;     // last offset of a first frame
constexpr std::int64_t kXingOffset = 36;         // "Xing" behind an MPEG-1 stereo header
constexpr std::size_t kXingBytes = 256;
constexpr std::size_t kId3v2HeaderBytes = 10;
constexpr std::size_t kRiffIdBytes = 4;
constexpr std::size_t kEncoderBytes = 8;
// How far ahead of a look the head of a file may be read: the RIFF "data"
// search, a small leading ID3v2 tag and the whole frame search of a file
// without one (up to the bound, with the "Xing" area and the successor of a
// frame there). The window reads only the first few KiB of it at once and
// more as the looks move on, so a file whose first frame is near its start
// costs one small read.
constexpr std::int64_t kHeadWindow = 32 * 1024;
static_assert(kHeadWindow >= kSearchBound + kXingOffset + static_cast<std::int64_t>(kXingBytes));

// The four bytes of a chunk id; its letter case is ignored for ASCII
// letters only, whatever the locale.
bool IsChunkId(const std::uint8_t* bytes, std::string_view id)
{
    return Ascii::EqualsIgnoringCase(
        std::string_view(reinterpret_cast<const char*>(bytes), kRiffIdBytes), id);
}

} // namespace

std::int64_t Detail::LeadingTagsEnd(const ReadOnlyFile& file, ByteWindow& window)
{
    std::int64_t end = 0;
    for (;;) {
        // A tag beyond the bytes held (cover art) is read with the search
        // window behind it, where the frames usually begin.
        const std::uint8_t* h = window.Fetch(end, kId3v2HeaderBytes, end + kHeadWindow);
        if (h == nullptr) {
            return end;
        }
        const bool wellFormed = h[0] == 'I' && h[1] == 'D' && h[2] == '3' && h[3] >= 2 &&
                                h[3] <= 4 && h[6] < 0x80 && h[7] < 0x80 && h[8] < 0x80 &&
                                h[9] < 0x80;
        if (!wellFormed) {
            return end;
        }
        // Size: four bytes of seven bits each, most significant first, not
        // counting the header or a footer (which only version 2.4 announces,
        // flag bit 4).
        std::int64_t tagSize = SyncSafe32(h + 6);
        tagSize += static_cast<std::int64_t>(kId3v2HeaderBytes);
        if (h[3] == 4 && (h[5] & 0x10) != 0) {
            tagSize += static_cast<std::int64_t>(kId3v2HeaderBytes);
        }
        if (end + tagSize > file.Size()) {
            return end;
        }
        end += tagSize;
    }
}

namespace {

// Where the frame search of info's file may look, and the sizes it computes with.
struct SearchArea
{
    std::int64_t FileSize = 0;           // the whole file
    std::int64_t AudioSize = 0;          // the file less its leading ID3v2 tags
    std::int64_t Start = 0;              // the first offset searched
    std::int64_t Bound = 0;              // the last offset a frame may start at
    std::string_view DecimalSeparator{}; // of the sampling-rate text
};

// Leading ID3v2 tags are skipped in plain files (a RIFF file starts with its
// own header), and the search bound counts from behind them: cover art would
// otherwise push the first frame out of reach.
SearchArea MakeSearchArea(const AudioFileInfo& info, const ReadOnlyFile& file, ByteWindow& window,
                          std::string_view decimalSeparator)
{
    const std::int64_t tagsEnd = info.RiffWrapped ? 0 : LeadingTagsEnd(file, window);
    return SearchArea{.FileSize = file.Size(),
                      .AudioSize = file.Size() - tagsEnd,
                      .Start = std::max(info.FrameOffset, tagsEnd),
                      .Bound = tagsEnd + kSearchBound,
                      .DecimalSeparator = decimalSeparator};
}

} // namespace

void Detail::SetHeaderTexts(AudioFileInfo& info, const FrameHeader& header)
{
    info.VersionText = Cut(VersionText(header.Version), 10);
    info.LayerText = Cut(LayerText(header.Layer), 10);
    info.PaddingText = Cut(FlagText(header.Padding), 5);
    info.ProtectionText = Cut(FlagText(header.Protection), 5);
    info.PrivateText = Cut(FlagText(header.Private), 5);
}

void Detail::SetModeTexts(AudioFileInfo& info, const FrameHeader& header)
{
    info.ModeText = Cut(ModeText(header.Mode), 15);
    info.ModeExtensionText = Cut(ModeExtensionText(header.ModeExtension), 10);
    info.CopyrightText = Cut(FlagText(header.Copyright), 5);
    info.OriginalText = Cut(FlagText(header.Original), 5);
    info.EmphasisText = Cut(EmphasisText(header.Emphasis), 10);
}

namespace {

// The bit-rate, sampling-rate, frame-count and duration fields of a valid
// first frame, from the 256 bytes that begin 36 bytes behind it.
void FillFrameDetails(AudioFileInfo& info, const FrameHeader& header, const std::uint8_t* xing,
                      std::int64_t audioSize, std::string_view decimalSeparator)
{
    std::int64_t seconds = 0;
    bool variable = false;
    // A "Xing" header with all four fields (flags 0x0F) gives the frame count.
    // A count of 0 or less, or an average frame that comes out at no bit rate,
    // says nothing about this file: it is then read as constant bit rate.
    if (xing[0] == 'X' && xing[1] == 'i' && xing[2] == 'n' && xing[3] == 'g' && xing[7] == 0x0F) {
        const auto frames = static_cast<std::int32_t>(Detail::BigEndian32(xing + 8));
        const std::int64_t body = frames > 0 ? audioSize / frames : 0;
        // The rate passes through single precision (22.05 kHz shows as 22.0),
        // the arithmetic itself is double.
        const float rate = static_cast<float>(SamplingRate(header));
        const auto bitrate = static_cast<std::int64_t>(
                                 std::trunc(static_cast<double>(body) * double{rate} / 144.0)) -
                             header.Padding;
        // The average frame with its padding slot must fit the record's
        // 32-bit lengths.
        constexpr std::int64_t kMaxAverageFrame = std::numeric_limits<std::int32_t>::max() - 4;
        if (body > 0 && body <= kMaxAverageFrame && bitrate > 0) {
            variable = true;
            info.EncoderText = Cut("Audio Catalyst VBR", 50);
            info.VariableBitrate = true;
            info.FrameCount = Cut(std::to_string(frames), 10);
            info.FrameBodyLength = static_cast<std::int32_t>(body);
            info.SampleRateText = Cut(SampleRateText(double{rate}, decimalSeparator), 10);
            info.BitrateText = Cut(std::to_string(bitrate), 15);
            seconds = audioSize * 8 / (bitrate * 1000);
            info.DurationMilliseconds = audioSize * 8 / bitrate; // bits / (kbit/s)
        }
    }
    if (!variable) {
        const int bitrate = Bitrate(header);
        info.SampleRateText = Cut(SampleRateText(SamplingRate(header), decimalSeparator), 10);
        info.BitrateText = Cut(std::to_string(bitrate), 15);
        info.FrameBodyLength = FrameBodyLength(header);
        // Whole frames and whole seconds, truncated (bit rate x 125 is the
        // number of bytes per second).
        info.FrameCount = Cut(std::to_string(audioSize / info.FrameBodyLength), 10);
        seconds = audioSize / (std::int64_t{bitrate} * 125);
        info.DurationMilliseconds = audioSize * 8 / bitrate;
    }
    info.SampleRateHz = static_cast<std::int32_t>(std::lround(SamplingRate(header) * 1000.0));
    info.DurationSeconds = std::to_string(seconds);
    info.DurationText = Cut(FormatDuration(seconds), 10);
    const int paddingBytes = header.Layer == 3 ? 4 : 1; // a Layer I slot is four bytes
    info.FrameLength = info.FrameBodyLength + paddingBytes * header.Padding;
}

// The bytes the frame search looks at. Whatever it needs beyond the bytes
// held is read up to ReadTo at once: every candidate up to the bound, its
// "Xing" area and its successor.
struct SearchBytes
{
    ByteWindow& Window;
    std::int64_t ReadTo = 0;

    const std::uint8_t* operator()(std::int64_t offset, std::size_t count) const
    {
        return Window.Fetch(offset, count, ReadTo);
    }
};

// The first offset at or behind from whose three bytes pass the sync filter,
// or -1 when the bound or the end of the file comes first.
std::int64_t NextCandidate(std::int64_t from, const SearchArea& area, const SearchBytes& fetch)
{
    for (std::int64_t p = from; p <= area.Bound; ++p) {
        const std::uint8_t* b = fetch(p, 3);
        if (b == nullptr) {
            return -1;
        }
        if (PassesSyncFilter(b[0], b[1], b[2])) {
            return p;
        }
    }
    return -1;
}

// A valid header starts exactly at next, by the bound (its fields need not
// match those of the frame before it).
bool HasSuccessorAt(std::int64_t next, const SearchArea& area, const SearchBytes& fetch)
{
    if (next > area.Bound) {
        return false;
    }
    const std::uint8_t* n = fetch(next, 4);
    return n != nullptr && PassesSyncFilter(n[0], n[1], n[2]) &&
           IsValidFrameHeader(DecodeFrameHeader(n[1], n[2], n[3]));
}

// Whether the candidate at p is the first frame: its header is valid and, unless
// only the header is asked for, either a usable "Xing" header follows or
// another header starts where it ends. A candidate whose header, "Xing" area
// or successor header would lie past the end of the file is rejected. The
// texts of a rejected candidate stay in info until a later one replaces them.
bool TryCandidate(AudioFileInfo& info, std::int64_t p, const SearchArea& area,
                  const SearchBytes& fetch)
{
    const std::uint8_t* b = fetch(p, 4);
    if (b == nullptr) {
        return false;
    }
    const FrameHeader header = DecodeFrameHeader(b[1], b[2], b[3]);
    if (!IsValidFrameHeader(header)) {
        return false;
    }
    info.FrameOffset = p;
    SetHeaderTexts(info, header);
    if (info.HeaderOnly) {
        return true;
    }
    SetModeTexts(info, header);
    const std::uint8_t* xing = fetch(p + kXingOffset, kXingBytes);
    if (xing == nullptr) {
        return false;
    }
    FillFrameDetails(info, header, xing, area.AudioSize, area.DecimalSeparator);
    if (info.VariableBitrate) {
        return true;
    }
    return HasSuccessorAt(p + info.FrameLength, area, fetch);
}

// The candidate search from info.FrameOffset, for attempts > 0. Each candidate
// that passes the sync filter and is then rejected uses one attempt; the
// search resumes one byte behind it.
bool SearchFirstFrame(AudioFileInfo& info, const SearchArea& area, ByteWindow& bytes, int attempts)
{
    info.FileSize = Cut(std::to_string(area.FileSize), 15);
    if (area.FileSize < kMinFrameFileSize) {
        return false;
    }
    const SearchBytes fetch{.Window = bytes,
                            .ReadTo =
                                area.Bound + kXingOffset + static_cast<std::int64_t>(kXingBytes)};
    for (; attempts > 0; --attempts) {
        const std::int64_t p = NextCandidate(info.FrameOffset, area, fetch);
        if (p < 0) {
            return false;
        }
        if (TryCandidate(info, p, area, fetch)) {
            return true;
        }
        info.FrameOffset = p + 1;
    }
    return false;
}

// The steps below work on one open file and the bytes already read from it,
// so that a probe opens the file once and reads its head once.

std::int64_t AudioDataStartOf(const ReadOnlyFile& file, ByteWindow& bytes)
{
    if (!file.IsOpen() || file.Size() < kMinAudioFileSize) {
        return -1;
    }
    const std::uint8_t* head = bytes.Fetch(0, kRiffIdBytes, kHeadWindow);
    if (head == nullptr) {
        return -1; // the file shrank since it was looked at
    }
    if (!IsChunkId(head, "RIFF")) {
        return 0;
    }
    // The chunks are not walked: the first "data" at any offset, in any
    // letter case, counts.
    for (std::int64_t p = 0; p <= kRiffScanLast; ++p) {
        const std::uint8_t* id = bytes.Fetch(p, kRiffIdBytes, kHeadWindow);
        if (id == nullptr) {
            break;
        }
        if (IsChunkId(id, "data")) {
            return p + 8; // behind the chunk id and its four-byte size
        }
    }
    return -1;
}

bool FirstFrameOf(AudioFileInfo& info, const ReadOnlyFile& file, ByteWindow& bytes, int attempts,
                  std::string_view decimalSeparator)
{
    if (attempts <= 0 || !file.IsOpen()) {
        return false;
    }
    if (file.Size() < kMinFrameFileSize || info.FrameOffset < 0) {
        info.FileSize = Cut(std::to_string(file.Size()), 15);
        return false;
    }
    const SearchArea area = MakeSearchArea(info, file, bytes, decimalSeparator);
    info.FrameOffset = area.Start;
    return SearchFirstFrame(info, area, bytes, attempts);
}

void GuessEncoderOf(AudioFileInfo& info, ByteWindow& bytes)
{
    if (info.FrameOffset < 0) {
        return;
    }
    const std::uint8_t* b = bytes.Fetch(info.FrameOffset, kEncoderBytes);
    if (b == nullptr) {
        return; // the frame ends too close to the end of the file to tell
    }
    // Byte 3 is the last header byte; the rules test different values of it.
    const char* encoder = nullptr;
    switch (b[3]) {
    case 0x04:
        encoder = b[6] == 0x0F ? "MP3 Compressor" : "Xing 2.20 - Radium Codec";
        break;
    case 0x44:
        encoder = b[7] == 0x00   ? "l3Enc"
                  : b[6] == 0x01 ? "Audioactive Production Studio"
                                 : "mp3 Producer";
        break;
    case 0x6C:
        encoder = "Audio Catalyst";
        break;
    case 0x4C:
        encoder = "Audio Catalyst VBR";
        break;
    default:
        break;
    }
    if (encoder != nullptr) {
        info.EncoderText = Cut(encoder, 50);
    }
}

} // namespace

void Detail::ProbeOpenFile(AudioFileInfo& info, const ReadOnlyFile& file, ByteWindow& bytes,
                           std::string_view decimalSeparator)
{
    info.FrameOffset = AudioDataStartOf(file, bytes);
    if (info.FrameOffset == -1) {
        return;
    }
    if (info.FrameOffset > 0) {
        info.RiffWrapped = true;
    }
    if (FirstFrameOf(info, file, bytes, 8, decimalSeparator)) {
        GuessEncoderOf(info, bytes);
        info.Valid = true;
    }
}

// Field by field, so the texts keep their memory for the next file.
void ResetAudioFileInfo(AudioFileInfo& info)
{
    for (std::string* text :
         {&info.FileName, &info.FileSize, &info.DurationSeconds, &info.DurationText,
          &info.FrameCount, &info.LayerText, &info.VersionText, &info.BitrateText,
          &info.SampleRateText, &info.ModeText, &info.ModeExtensionText, &info.OriginalText,
          &info.ProtectionText, &info.PaddingText, &info.PrivateText, &info.CopyrightText,
          &info.EmphasisText, &info.TypeName}) {
        text->clear();
    }
    info.EncoderText.assign(1, '-');
    info.DurationMilliseconds = 0;
    info.SampleRateHz = 0;
    info.FrameOffset = 0;
    info.FrameLength = 0;
    info.FrameBodyLength = 0;
    info.HeaderOnly = false;
    info.RiffWrapped = false;
    info.VariableBitrate = false;
    info.Valid = false;
}

void ProbeAudioFile(AudioFileInfo& info, const std::string& path, std::string_view decimalSeparator)
{
    ResetAudioFileInfo(info);
    info.FileName = path;
    const ReadOnlyFile file(path);
    ByteWindow bytes(file);
    ProbeOpenFile(info, file, bytes, decimalSeparator);
}

namespace {

// The rest of ProbeAudioFileAndTag once info is reset and file open.
void ProbeOpenFileAndTag(AudioFileInfo& info, TagInfo& tag, const ReadOnlyFile& file,
                         std::string_view decimalSeparator)
{
    ByteWindow bytes(file);
    ProbeOpenFile(info, file, bytes, decimalSeparator);
    ResetTagInfo(tag);
    if (info.Valid) {
        Detail::ReadTagOf(tag, file, bytes);
    }
}

} // namespace

void ProbeAudioFileAndTag(AudioFileInfo& info, TagInfo& tag, const std::string& path,
                          std::string_view decimalSeparator)
{
    ResetAudioFileInfo(info);
    info.FileName = path;
    ProbeOpenFileAndTag(info, tag, ReadOnlyFile(path), decimalSeparator);
}

void ProbeAudioFileAndTagIn(AudioFileInfo& info, TagInfo& tag, int folder, const char* name,
                            const std::string& path, std::string_view decimalSeparator)
{
    ResetAudioFileInfo(info);
    info.FileName = path;
    ProbeOpenFileAndTag(info, tag, ReadOnlyFile(folder, name, path), decimalSeparator);
}

std::int64_t FindAudioDataStart(const std::string& path)
{
    const ReadOnlyFile file(path);
    ByteWindow bytes(file);
    return AudioDataStartOf(file, bytes);
}

bool FindFirstFrame(AudioFileInfo& info, const std::string& path, int attempts)
{
    if (attempts <= 0) {
        return false;
    }
    const ReadOnlyFile file(path);
    ByteWindow bytes(file);
    return FirstFrameOf(info, file, bytes, attempts, ".");
}

void ReadFrameDetails(AudioFileInfo& info, FrameHeader header, const std::string& path)
{
    const ReadOnlyFile file(path);
    if (!file.IsOpen() || info.FrameOffset < 0) {
        return;
    }
    ByteWindow bytes(file);
    const SearchArea area = MakeSearchArea(info, file, bytes, ".");
    if (const std::uint8_t* xing = bytes.Fetch(info.FrameOffset + kXingOffset, kXingBytes)) {
        FillFrameDetails(info, header, xing, area.AudioSize, area.DecimalSeparator);
    }
}

void GuessEncoder(AudioFileInfo& info, const std::string& path)
{
    const ReadOnlyFile file(path);
    ByteWindow bytes(file);
    GuessEncoderOf(info, bytes);
}

std::string FormatDuration(std::int64_t seconds)
{
    // Built by appending: operator+ on a literal and a temporary makes g++ 12
    // at -O3 warn falsely (-Wrestrict).
    std::string text;
    auto magnitude = static_cast<std::uint64_t>(seconds);
    if (seconds < 0) {
        // Never produced by the probe; kept readable rather than wrapped.
        text += '-';
        magnitude = 0 - magnitude;
        if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return text += std::to_string(magnitude);
        }
    }
    const auto appendTwoDigits = [&text](std::uint64_t n) {
        if (n < 10) {
            text += '0';
        }
        text += std::to_string(n);
    };
    const std::uint64_t minutes = magnitude / 60;
    if (minutes > 59) {
        text += std::to_string(minutes / 60);
        text += ':';
        appendTwoDigits(minutes % 60);
    } else {
        appendTwoDigits(minutes);
    }
    text += ':';
    appendTwoDigits(magnitude % 60);
    return text;
}

} // namespace MP3Tools

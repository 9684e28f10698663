#include "analysis/internal/FreeFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/internal/OpenProbe.h"

namespace FullAnalysis {

namespace {

using MP3Tools::AudioFileInfo;
using MP3Tools::FrameHeader;
using MP3Tools::Detail::ByteWindow;
using MP3Tools::Detail::ReadOnlyFile;

// As far behind the leading tags as the classic search looks for a first frame.
constexpr std::int64_t kSearchBound = 32000;
// A header with its side information, and beyond the longest free-format
// frame (640 kbit/s at 8 kHz is 5760 bytes).
constexpr std::size_t kShortestFrame = 24;
constexpr std::size_t kLongestFrame = 8192;
// Successors that must follow a first header where its length puts them,
// and the candidates tried before the search gives up (a file of noise must
// not cost a look at every distance from every offset).
constexpr int kSuccessors = 3;
constexpr int kAttempts = 64;
constexpr std::size_t kChunk = 64 * 1024;

// The bytes of one file, read in chunks as the looks move on.
class ChunkReader
{
public:
    explicit ChunkReader(const ReadOnlyFile& file) : m_file(file) {}

    // Up to count (at most a chunk) bytes at offset; fewer where the file ends.
    std::span<const std::uint8_t> Bytes(std::int64_t offset, std::size_t count)
    {
        const std::int64_t end = std::min(offset + static_cast<std::int64_t>(count), m_file.Size());
        if (offset < m_start || end > m_start + static_cast<std::int64_t>(m_held)) {
            m_bytes.resize(kChunk);
            m_start = offset;
            m_held = m_file.ReadAt(offset, m_bytes.data(), m_bytes.size());
        }
        const std::int64_t available =
            std::min(end, m_start + static_cast<std::int64_t>(m_held)) - offset;
        if (available <= 0) {
            return {};
        }
        return {m_bytes.data() + (offset - m_start), static_cast<std::size_t>(available)};
    }

private:
    const ReadOnlyFile& m_file;
    std::vector<std::uint8_t> m_bytes{};
    std::int64_t m_start = 0;
    std::size_t m_held = 0;
};

// The frame header at bytes[at], of the same stream as first when first is
// given: the same version, layer and sampling rate, and free format where
// first is.
std::optional<FrameHeader> HeaderAt(std::span<const std::uint8_t> bytes, std::size_t at,
                                    const FrameHeader* first)
{
    if (at + 4 > bytes.size() ||
        !MP3Tools::PassesSyncFilter(bytes[at], bytes[at + 1], bytes[at + 2])) {
        return std::nullopt;
    }
    const FrameHeader header =
        MP3Tools::DecodeFrameHeader(bytes[at + 1], bytes[at + 2], bytes[at + 3]);
    if (header.BitrateIndex == 15 || header.Version == 1 || header.Layer == 0 ||
        header.SamplingIndex == 3) {
        return std::nullopt;
    }
    if (first != nullptr && (header.Version != first->Version || header.Layer != first->Layer ||
                             header.SamplingIndex != first->SamplingIndex ||
                             (header.BitrateIndex == 0) != (first->BitrateIndex == 0))) {
        return std::nullopt;
    }
    return header;
}

std::size_t PaddingSlot(const FrameHeader& header) { return header.Layer == 3 ? 4 : 1; }

// A frame's length: its table's for a bit rate the header gives, else the
// measured length without padding of the free-format stream.
std::size_t LengthOf(const FrameHeader& header, std::size_t unpadded)
{
    if (header.BitrateIndex != 0) {
        return ExactFrameLength(header);
    }
    return unpadded + PaddingSlot(header) * header.Padding;
}

// Whether kSuccessors headers follow the one at bytes[0] where the lengths
// of their table put them.
bool FollowedByFrames(std::span<const std::uint8_t> bytes, const FrameHeader& first)
{
    std::size_t at = 0;
    for (int found = 0; found < kSuccessors; ++found) {
        const auto header = HeaderAt(bytes, at, &first);
        if (!header) {
            return false;
        }
        at += LengthOf(*header, 0);
    }
    return HeaderAt(bytes, at, &first).has_value();
}

// The frame length without padding of the stream whose first header is at
// bytes[0]: the distance to the nearest header after which kSuccessors
// headers follow where that length puts them. 0 when there is none.
std::size_t UnpaddedLength(std::span<const std::uint8_t> bytes, const FrameHeader& first)
{
    const std::size_t firstSlot = PaddingSlot(first) * first.Padding;
    for (std::size_t distance = kShortestFrame; distance <= kLongestFrame; ++distance) {
        if (!HeaderAt(bytes, distance, &first)) {
            continue;
        }
        const std::size_t unpadded = distance - firstSlot;
        std::size_t at = distance;
        int found = 1;
        for (; found < kSuccessors; ++found) {
            const auto header = HeaderAt(bytes, at, &first);
            if (!header) {
                break;
            }
            at += LengthOf(*header, unpadded);
            if (!HeaderAt(bytes, at, &first)) {
                break;
            }
        }
        if (found == kSuccessors) {
            return unpadded;
        }
    }
    return 0;
}

} // namespace

void SetPlayingTime(AudioFileInfo& info, std::int64_t milliseconds)
{
    info.DurationMilliseconds = milliseconds;
    info.DurationSeconds = std::to_string(milliseconds / 1000);
    info.DurationText = MP3Tools::FormatDuration(milliseconds / 1000);
}

std::size_t ExactFrameLength(const FrameHeader& header)
{
    const double bitrate = MP3Tools::Bitrate(header);
    const double rate = MP3Tools::SamplingRate(header);
    if (header.BitrateIndex == 0 || bitrate <= 0.0 || rate <= 0.0) {
        return 0;
    }
    const std::size_t padding = PaddingSlot(header) * header.Padding;
    if (header.Layer == 3) { // Layer I: four-byte slots
        return 4 * static_cast<std::size_t>(12000.0 * bitrate / (rate * 1000.0)) + padding;
    }
    // A Layer III frame of MPEG-2 and 2.5 holds half the samples of MPEG-1's.
    const double factor = header.Layer == 1 && header.Version != 3 ? 72000.0 : 144000.0;
    return static_cast<std::size_t>(factor * bitrate / (rate * 1000.0)) + padding;
}

int SamplesPerFrame(const FrameHeader& header)
{
    if (header.Layer == 3) {
        return 384; // Layer I
    }
    return header.Layer == 1 && header.Version != 3 ? 576 : 1152;
}

namespace {

// Whether the first frame is a "Xing" or "Info" frame: the id stands right
// behind the Layer III side information.
bool IsVbrHeaderFrame(std::span<const std::uint8_t> frame, const FrameHeader& header)
{
    if (header.Layer != 1) {
        return false;
    }
    const bool mono = header.Mode == 3;
    std::size_t at = 4 + (header.Protection == 0 ? 2 : 0);
    if (header.Version == 3) {
        at += mono ? 17 : 32;
    } else {
        at += mono ? 9 : 17;
    }
    if (at + 4 > frame.size()) {
        return false;
    }
    const std::string id(frame.begin() + static_cast<std::ptrdiff_t>(at),
                         frame.begin() + static_cast<std::ptrdiff_t>(at + 4));
    return id == "Xing" || id == "Info";
}

} // namespace

bool ProbeByFrames(AudioFileInfo& info, const ReadOnlyFile& file, ByteWindow& window,
                   std::string_view decimalSeparator)
{
    ChunkReader reader(file);
    const std::int64_t start = MP3Tools::Detail::LeadingTagsEnd(file, window);
    std::int64_t offset = -1;
    FrameHeader first{};
    std::size_t unpadded = 0;
    int attempts = kAttempts;
    for (std::int64_t p = start; p <= start + kSearchBound && unpadded == 0 && attempts > 0; ++p) {
        const auto bytes = reader.Bytes(p, (kSuccessors + 1) * kLongestFrame + 4);
        if (bytes.size() < 4) {
            break;
        }
        const auto header = HeaderAt(bytes, 0, nullptr);
        if (header) {
            --attempts;
            first = *header;
            offset = p;
            if (header->BitrateIndex == 0) {
                unpadded = UnpaddedLength(bytes, first);
            } else if (FollowedByFrames(bytes, first)) {
                unpadded = ExactFrameLength(first) - PaddingSlot(first) * first.Padding;
            }
        }
    }
    if (unpadded == 0) {
        return false;
    }

    // Every frame, up to the first that is cut short or is no frame of the
    // stream (a tag at the end). A stream with a bit-rate table and a VBR
    // header is left to that header, which says the same without a read of
    // every frame.
    const bool headerFrame = IsVbrHeaderFrame(reader.Bytes(offset, 64), first);
    if (headerFrame && first.BitrateIndex != 0) {
        return false;
    }
    std::int64_t frames = 0;
    std::int64_t bytes = 0;
    std::int64_t samples = 0;
    bool varies = false;
    for (std::int64_t at = offset;;) {
        const auto header = HeaderAt(reader.Bytes(at, 4), 0, &first);
        if (!header) {
            break;
        }
        const auto length = static_cast<std::int64_t>(LengthOf(*header, unpadded));
        if (at + length > file.Size()) {
            break;
        }
        if (at != offset || !headerFrame) {
            ++frames;
            bytes += length;
            samples += SamplesPerFrame(*header);
            varies = varies || header->BitrateIndex != first.BitrateIndex;
        }
        at += length;
    }
    const auto hertz = static_cast<std::int64_t>(std::lround(MP3Tools::SamplingRate(first) * 1000));
    const std::int64_t milliseconds = hertz > 0 ? samples * 1000 / hertz : 0;
    if (frames == 0 || milliseconds == 0) {
        return false;
    }

    info.FileSize = std::to_string(file.Size());
    info.FrameOffset = offset;
    info.FrameBodyLength = static_cast<std::int32_t>(unpadded);
    info.FrameLength = static_cast<std::int32_t>(LengthOf(first, unpadded));
    MP3Tools::Detail::SetHeaderTexts(info, first);
    MP3Tools::Detail::SetModeTexts(info, first);
    info.SampleRateHz = static_cast<std::int32_t>(hertz);
    info.SampleRateText = MP3Tools::SampleRateText(MP3Tools::SamplingRate(first), decimalSeparator);
    SetPlayingTime(info, milliseconds);
    // The stream's rate, to the nearest kbit/s: bytes x 8 per sample time.
    info.BitrateText = std::to_string((bytes * 8 * hertz + samples * 500) / (samples * 1000));
    info.FrameCount = std::to_string(frames);
    info.VariableBitrate = varies;
    info.Valid = true;
    return true;
}

} // namespace FullAnalysis

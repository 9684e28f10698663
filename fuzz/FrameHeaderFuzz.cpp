// The frame header decoder on every four bytes of the input, then the number
// texts the probe writes (duration, sampling rate) on values taken from it.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "analysis/MP3Tools.h"
#include "fuzz/FuzzSupport.h"

using namespace MP3Tools;

namespace {

void CheckHeader(const std::uint8_t* b)
{
    const FrameHeader h = DecodeFrameHeader(b[1], b[2], b[3]);
    // Every bit of the last 29 comes back: nothing is lost or shifted.
    const unsigned packed =
        (h.Version << 3 | h.Layer << 1 | h.Protection) << 16 |
        (h.BitrateIndex << 4 | h.SamplingIndex << 2 | h.Padding << 1 | h.Private) << 8 |
        (h.Mode << 6 | h.ModeExtension << 4 | h.Copyright << 3 | h.Original << 2 | h.Emphasis);
    FUZZ_CHECK(packed == ((b[1] & 0x1Fu) << 16 | unsigned{b[2]} << 8 | b[3]));
    FUZZ_CHECK(!VersionText(h.Version).empty() && !LayerText(h.Layer).empty());
    FUZZ_CHECK(!ModeText(h.Mode).empty() && !ModeExtensionText(h.ModeExtension).empty());
    FUZZ_CHECK(!EmphasisText(h.Emphasis).empty() && !FlagText(h.Padding).empty());
    if (!IsValidFrameHeader(h)) {
        return;
    }
    const int bitrate = Bitrate(h);
    const double rate = SamplingRate(h);
    FUZZ_CHECK(bitrate >= 8 && bitrate <= 448);
    FUZZ_CHECK(rate >= 8.0 && rate <= 48.0);
    const int body = FrameBodyLength(h);
    const int slot = h.Layer == 3 ? 4 : 1; // Layer I pads by a four-byte slot
    FUZZ_CHECK(body > 4 && FrameLength(h) == body + slot * h.Padding);
}

// "m:ss" texts read back to the seconds they came from.
void CheckDuration(std::int64_t seconds)
{
    const std::string text = FormatDuration(seconds);
    FUZZ_CHECK(!text.empty());
    if (seconds < 0) {
        FUZZ_CHECK(text[0] == '-');
        return;
    }
    std::uint64_t total = 0;
    std::size_t fields = 1;
    std::uint64_t field = 0;
    for (const char c : text) {
        if (c == ':') {
            FUZZ_CHECK(fields == 1 || field < 60);
            total = total * 60 + field;
            field = 0;
            ++fields;
            continue;
        }
        FUZZ_CHECK(c >= '0' && c <= '9');
        field = field * 10 + static_cast<std::uint64_t>(c - '0');
    }
    FUZZ_CHECK(field < 60 && fields >= 2 && fields <= 3);
    FUZZ_CHECK(total * 60 + field == static_cast<std::uint64_t>(seconds));
}

void CheckRateText(double kiloHertz)
{
    const std::string text = SampleRateText(kiloHertz, ".");
    FUZZ_CHECK(text.size() > 4 && text.compare(text.size() - 4, 4, " kHz") == 0);
    if (std::isfinite(kiloHertz) && std::fabs(kiloHertz) < 1e6) {
        // One decimal, at most half a tenth away.
        const double read = std::stod(text);
        FUZZ_CHECK(std::fabs(read - kiloHertz) <= 0.05 + 1e-9);
        FUZZ_CHECK(text[text.size() - 6] == '.');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (PassesSyncFilter(data[i], data[i + 1], data[i + 2])) {
            FUZZ_CHECK(data[i] == 0xFF);
        }
        CheckHeader(data + i);
    }
    if (size >= 8) {
        std::int64_t seconds = 0;
        double kiloHertz = 0;
        std::memcpy(&seconds, data, sizeof seconds);
        std::memcpy(&kiloHertz, data, sizeof kiloHertz);
        CheckDuration(seconds);
        CheckRateText(kiloHertz);
    }
    return 0;
}

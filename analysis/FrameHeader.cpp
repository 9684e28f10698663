#include <array>
#include <cassert>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "analysis/MP3Tools.h"

namespace MP3Tools {

namespace {

using BitrateRow = std::array<int, 15>;

// kbit/s by bit-rate index 0..14; index 0 (free format) holds 0 and is never
// accepted. MPEG-2.5 uses the MPEG-2 rows; version code 1 has no rates.
constexpr BitrateRow kNoRates{};
constexpr BitrateRow kMpeg1Layer1{0,   32,  64,  96,  128, 160, 192, 224,
                                  256, 288, 320, 352, 384, 416, 448};
constexpr BitrateRow kMpeg1Layer2{0,   32,  48,  56,  64,  80,  96, 112,
                                  128, 160, 192, 224, 256, 320, 384};
constexpr BitrateRow kMpeg1Layer3{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr BitrateRow kMpeg2Layer1{0,   32,  48,  56,  64,  80,  96, 112,
                                  128, 144, 160, 176, 192, 224, 256};
constexpr BitrateRow kMpeg2Layer23{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

// [version][layer]
constexpr std::array<std::array<BitrateRow, 4>, 4> kBitrates{{
    {kNoRates, kMpeg2Layer23, kMpeg2Layer23, kMpeg2Layer1}, // MPEG-2.5
    {kNoRates, kNoRates, kNoRates, kNoRates},               // reserved
    {kNoRates, kMpeg2Layer23, kMpeg2Layer23, kMpeg2Layer1}, // MPEG-2
    {kNoRates, kMpeg1Layer3, kMpeg1Layer2, kMpeg1Layer1},   // MPEG-1
}};

// kHz by [version][sampling index]; index 3 is reserved.
constexpr std::array<std::array<double, 4>, 4> kSamplingRates{{
    {11.025, 12.0, 8.0, 0.0},
    {0.0, 0.0, 0.0, 0.0},
    {22.05, 24.0, 16.0, 0.0},
    {44.1, 48.0, 32.0, 0.0},
}};

const std::string& TextFromTable(const std::array<std::string, 4>& table, int code)
{
    assert(code >= 0 && code <= 3);
    return table[static_cast<std::size_t>(code & 3)];
}

// One-decimal text of value, rounded half away from zero, with "." as the
// decimal point whatever the C locale says.
std::string OneDecimal(double value)
{
    // A value that lies exactly halfway between two tenths is a multiple of
    // 0.05 held exactly in binary, that is an odd multiple of 0.25;
    // to_chars would round such a tie to even.
    const double quarters = value * 4.0;
    if (std::isfinite(value) && quarters == std::trunc(quarters) &&
        std::fmod(quarters, 2.0) != 0.0 && std::fabs(value) < 1e15) {
        const long long tenths = std::llround(value * 10.0);
        const long long whole = std::llabs(tenths);
        // Appended, not joined with operator+: g++ 12 at -O3 warns falsely
        // (-Wrestrict) on a literal plus a temporary.
        std::string text = tenths < 0 ? "-" : "";
        text += std::to_string(whole / 10);
        text += '.';
        text += std::to_string(whole % 10);
        return text;
    }
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 1);
    return std::string(buffer.data(), result.ptr);
}

} // namespace

bool PassesSyncFilter(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    return b0 == 0xFF && b1 >= 0xE1 && b2 <= 0xEF;
}

FrameHeader DecodeFrameHeader(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3)
{
    const auto bits = [](std::uint8_t byte, int shift, int mask) {
        return static_cast<std::uint16_t>(byte >> shift & mask);
    };
    return FrameHeader{
        .Version = bits(b1, 3, 3),       // b1: 111VVLLP
        .Layer = bits(b1, 1, 3),         //
        .Protection = bits(b1, 0, 1),    //
        .BitrateIndex = bits(b2, 4, 15), // b2: BBBBSSPp
        .SamplingIndex = bits(b2, 2, 3), //
        .Padding = bits(b2, 1, 1),       //
        .Private = bits(b2, 0, 1),       //
        .Mode = bits(b3, 6, 3),          // b3: MMEECOEE
        .ModeExtension = bits(b3, 4, 3), //
        .Copyright = bits(b3, 3, 1),     //
        .Original = bits(b3, 2, 1),      //
        .Emphasis = bits(b3, 0, 3),
    };
}

bool IsValidFrameHeader(const FrameHeader& header)
{
    // Free format (bit-rate index 0) has no frame length we could check.
    return header.Version != 1 && header.Layer != 0 && header.BitrateIndex != 15 &&
           header.SamplingIndex != 3 && header.BitrateIndex != 0;
}

int Bitrate(const FrameHeader& header)
{
    if (header.Version > 3 || header.Layer > 3 || header.BitrateIndex > 14) {
        return 0;
    }
    return kBitrates[header.Version][header.Layer][header.BitrateIndex];
}

double SamplingRate(const FrameHeader& header)
{
    if (header.Version > 3 || header.SamplingIndex > 3) {
        return 0.0;
    }
    return kSamplingRates[header.Version][header.SamplingIndex];
}

int FrameBodyLength(const FrameHeader& header)
{
    const double bitrate = Bitrate(header);
    const double rate = SamplingRate(header);
    if (bitrate <= 0.0 || rate <= 0.0) {
        return 0;
    }
    // Layer I counts in four-byte slots; Layer II and III use the factor 144
    // in every version (the lower sampling rates included).
    if (header.Layer == 3) {
        return 4 * static_cast<int>(std::trunc(12000.0 * bitrate / (rate * 1000.0)));
    }
    return static_cast<int>(std::trunc(144000.0 * bitrate / (rate * 1000.0)));
}

int FrameLength(const FrameHeader& header)
{
    const int paddingBytes = header.Layer == 3 ? 4 : 1;
    return FrameBodyLength(header) + paddingBytes * header.Padding;
}

const std::string& VersionText(int code)
{
    static const std::array<std::string, 4> texts{"MPEG-2.5", "ERROR", "MPEG-2 LSF", "MPEG-1"};
    return TextFromTable(texts, code);
}

const std::string& LayerText(int code)
{
    static const std::array<std::string, 4> texts{"ERROR", "Layer-III", "Layer-II", "Layer-I"};
    return TextFromTable(texts, code);
}

const std::string& ModeText(int code)
{
    static const std::array<std::string, 4> texts{"stereo", "joint-stereo", "dual-channel",
                                                  "single-channel"};
    return TextFromTable(texts, code);
}

const std::string& ModeExtensionText(int code)
{
    static const std::array<std::string, 4> texts{"off/off", "on/off", "off/on", "on/on"};
    return TextFromTable(texts, code);
}

const std::string& EmphasisText(int code)
{
    static const std::array<std::string, 4> texts{"none", "50/15 ms", "reserved", "CCIT J.17"};
    return TextFromTable(texts, code);
}

const std::string& FlagText(int bit)
{
    static const std::array<std::string, 2> texts{"no", "yes"};
    assert(bit == 0 || bit == 1);
    return texts[static_cast<std::size_t>(bit & 1)];
}

std::string LocaleDecimalSeparator()
{
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions != nullptr ? conventions->decimal_point : nullptr;
    return point != nullptr && *point != '\0' ? std::string(point) : std::string(".");
}

std::string SampleRateText(double kiloHertz, std::string_view separator)
{
    std::string text = OneDecimal(kiloHertz);
    const auto point = text.find('.');
    if (point != std::string::npos) {
        text.replace(point, 1, separator);
    }
    return text + " kHz";
}

} // namespace MP3Tools

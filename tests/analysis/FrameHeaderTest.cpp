#include <array>
#include <cstdint>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/MP3Tools.h"

using namespace MP3Tools;
using testing::ElementsAreArray;

namespace {

FrameHeader Decode(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3)
{
    return DecodeFrameHeader(b1, b2, b3);
}

} // namespace

// The rows set every field to each of its codes at least once, so each code's
// display word is checked too.
TEST(DecodeFrameHeader, SplitsTheBitsIntoTwelveFieldsWithTheWordsOfEachCode)
{
    struct Row
    {
        std::array<std::uint8_t, 3> bytes; // bytes 1-3 of the header
        FrameHeader header;
        std::vector<std::string> words; // version, layer, mode, mode extension, emphasis
    };

    const Row rows[] = {
        {{0xFB, 0x90, 0x44},
         FrameHeader{.Version = 3,
                     .Layer = 1,
                     .Protection = 1,
                     .BitrateIndex = 9,
                     .SamplingIndex = 0,
                     .Padding = 0,
                     .Private = 0,
                     .Mode = 1,
                     .ModeExtension = 0,
                     .Copyright = 0,
                     .Original = 1,
                     .Emphasis = 0},
         {"MPEG-1", "Layer-III", "joint-stereo", "off/off", "none"}},
        // Every field set to a distinct non-zero value at once.
        {{0xE7, 0xA7, 0xBE},
         FrameHeader{.Version = 0,
                     .Layer = 3,
                     .Protection = 1,
                     .BitrateIndex = 10,
                     .SamplingIndex = 1,
                     .Padding = 1,
                     .Private = 1,
                     .Mode = 2,
                     .ModeExtension = 3,
                     .Copyright = 1,
                     .Original = 1,
                     .Emphasis = 2},
         {"MPEG-2.5", "Layer-I", "dual-channel", "on/on", "reserved"}},
        {{0xEC, 0x00, 0x11},
         FrameHeader{.Version = 1, .Layer = 2, .ModeExtension = 1, .Emphasis = 1},
         {"ERROR", "Layer-II", "stereo", "on/off", "50/15 ms"}},
        {{0xF1, 0x00, 0xEF},
         FrameHeader{.Version = 2,
                     .Layer = 0,
                     .Protection = 1,
                     .Mode = 3,
                     .ModeExtension = 2,
                     .Copyright = 1,
                     .Original = 1,
                     .Emphasis = 3},
         {"MPEG-2 LSF", "ERROR", "single-channel", "off/on", "CCIT J.17"}},
    };
    for (const Row& row : rows) {
        const auto [b1, b2, b3] = row.bytes;
        SCOPED_TRACE(testing::Message() << std::hex << int{b1} << ' ' << int{b2} << ' ' << int{b3});
        const FrameHeader header = Decode(b1, b2, b3);
        EXPECT_EQ(header, row.header);
        EXPECT_THAT((std::vector<std::string>{
                        VersionText(header.Version), LayerText(header.Layer), ModeText(header.Mode),
                        ModeExtensionText(header.ModeExtension), EmphasisText(header.Emphasis)}),
                    ElementsAreArray(row.words));
    }
}

TEST(PassesSyncFilter, NeedsFFThenAtLeastE1ThenAtMostEF)
{
    const std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, bool> rows[] = {
        {0xFF, 0xFB, 0x90, true}, {0xFE, 0xFB, 0x90, false}, {0xFF, 0xE0, 0x90, false},
        {0xFF, 0xE1, 0x90, true}, {0xFF, 0xE2, 0x90, true},  {0xFF, 0xE9, 0x90, true},
        {0xFF, 0xF9, 0x90, true}, {0xFF, 0xFB, 0xEF, true},  {0xFF, 0xFB, 0xF0, false},
        {0xFF, 0xFB, 0x00, true}};
    for (const auto& [b0, b1, b2, passes] : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << int{b0} << ' ' << int{b1} << ' ' << int{b2});
        EXPECT_EQ(PassesSyncFilter(b0, b1, b2), passes);
    }
}

TEST(IsValidFrameHeader, RejectsReservedCodesAndFreeFormat)
{
    const std::tuple<std::uint8_t, std::uint8_t, bool> rows[] = {
        {0xFB, 0x90, true},  // MPEG-1 Layer III
        {0xE2, 0x90, true},  // MPEG-2.5 Layer III
        {0xE9, 0x90, false}, // version code 1
        {0xF9, 0x90, false}, // layer code 0
        {0xFB, 0x9C, false}, // sampling index 3
        {0xFB, 0x00, false}, // free format
        {0xFB, 0x0C, false}, // free format and sampling index 3
        {0xFB, 0xF0, false}, // bit-rate index 15
        {0xFF, 0x10, true},  // MPEG-1 Layer I, lowest rate
    };
    for (const auto& [b1, b2, valid] : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << int{b1} << ' ' << int{b2});
        EXPECT_EQ(IsValidFrameHeader(Decode(b1, b2, 0x44)), valid);
    }
}

TEST(FrameLength, UsesFactor144ForLayerIIAndIIIAndFourByteSlotsForLayerI)
{
    struct Row
    {
        const char* name;
        std::uint8_t b1, b2;
        int bitrate;
        double rate;
        int body, length;
    };

    const Row rows[] = {
        {"MPEG-1 L3 128k 44.1", 0xFB, 0x90, 128, 44.1, 417, 417},
        {"padded", 0xFB, 0x92, 128, 44.1, 417, 418},
        {"128k 48", 0xFB, 0x94, 128, 48.0, 384, 384},
        {"128k 32", 0xFB, 0x98, 128, 32.0, 576, 576},
        {"MPEG-1 L2 384k 48", 0xFD, 0xE4, 384, 48.0, 1152, 1152},
        {"MPEG-2 L3 64k 22.05 (144, not 72)", 0xF3, 0x80, 64, 22.05, 417, 417},
        {"MPEG-2.5 L3 8k 12, padded", 0xE3, 0x16, 8, 12.0, 96, 97},
        // Layer I: 4 x Trunc(12 x 224 / 44.1) = 4 x 60, padding one slot.
        {"MPEG-1 L1 224k 44.1", 0xFF, 0x70, 224, 44.1, 240, 240},
        {"MPEG-1 L1 224k 44.1 padded", 0xFF, 0x72, 224, 44.1, 240, 244},
        {"MPEG-2 L1 256k 16", 0xF7, 0xE8, 256, 16.0, 768, 768},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const FrameHeader header = Decode(row.b1, row.b2, 0x00);
        ASSERT_TRUE(IsValidFrameHeader(header));
        EXPECT_EQ(Bitrate(header), row.bitrate);
        EXPECT_DOUBLE_EQ(SamplingRate(header), row.rate);
        EXPECT_EQ(FrameBodyLength(header), row.body);
        EXPECT_EQ(FrameLength(header), row.length);
    }
}

TEST(SampleRateText, OneDecimalRoundedHalfAwayFromZeroWithTheUsersSeparator)
{
    const std::tuple<double, const char*, const char*> rows[] = {
        {44.1, "44.1 kHz", "44,1 kHz"},
        {48.0, "48.0 kHz", "48,0 kHz"},
        {32.0, "32.0 kHz", "32,0 kHz"},
        {22.05, "22.1 kHz", "22,1 kHz"},
        {24.0, "24.0 kHz", "24,0 kHz"},
        {16.0, "16.0 kHz", "16,0 kHz"},
        {11.025, "11.0 kHz", "11,0 kHz"},
        {12.0, "12.0 kHz", "12,0 kHz"},
        {8.0, "8.0 kHz", "8,0 kHz"},
        // Single precision, as the "Xing" path holds the rate.
        {double{22.05f}, "22.0 kHz", "22,0 kHz"},
        {double{44.1f}, "44.1 kHz", "44,1 kHz"},
        // Exact halves go away from zero, not to even.
        {12.25, "12.3 kHz", "12,3 kHz"},
        {0.75, "0.8 kHz", "0,8 kHz"}};
    for (const auto& [rate, dotted, comma] : rows) {
        SCOPED_TRACE(rate);
        EXPECT_EQ(SampleRateText(rate, "."), dotted);
        EXPECT_EQ(SampleRateText(rate, ","), comma);
    }
}

TEST(FormatDuration, MinutesAndSecondsThenHours)
{
    const std::pair<std::int64_t, const char*> rows[] = {
        {0, "00:00"},         {59, "00:59"},
        {60, "01:00"},        {250, "04:10"},
        {3599, "59:59"},      {3600, "1:00:00"},
        {3725, "1:02:05"},    {36000, "10:00:00"},
        {100000, "27:46:40"}, {5000000000, "1388888:53:20"}};
    for (const auto& [seconds, text] : rows) {
        SCOPED_TRACE(seconds);
        EXPECT_EQ(FormatDuration(seconds), text);
    }
}

// Every entry of the bit-rate and sampling-rate tables, written as the
// published tables list them, so that a wrong entry shows without any real
// file of that kind at hand.
TEST(FrameTables, EveryBitRateAndSamplingRate)
{
    using Rates = std::array<int, 15>;
    constexpr Rates kNone{};
    constexpr Rates kMpeg1Layer1{0,   32,  64,  96,  128, 160, 192, 224,
                                 256, 288, 320, 352, 384, 416, 448};
    constexpr Rates kMpeg1Layer2{0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    constexpr Rates kMpeg1Layer3{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    constexpr Rates kLowLayer1{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
    constexpr Rates kLowLayer23{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

    struct Row
    {
        const char* Version;
        std::uint16_t Code;
        std::array<const Rates*, 3> Layers; // Layer III, II, I (codes 1 to 3)
        std::array<double, 4> Sampling;     // sampling index 0 to 3
    };

    const Row rows[] = {
        {"MPEG-2.5", 0, {&kLowLayer23, &kLowLayer23, &kLowLayer1}, {11.025, 12.0, 8.0, 0.0}},
        {"reserved", 1, {&kNone, &kNone, &kNone}, {0.0, 0.0, 0.0, 0.0}},
        {"MPEG-2", 2, {&kLowLayer23, &kLowLayer23, &kLowLayer1}, {22.05, 24.0, 16.0, 0.0}},
        {"MPEG-1", 3, {&kMpeg1Layer3, &kMpeg1Layer2, &kMpeg1Layer1}, {44.1, 48.0, 32.0, 0.0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Version);
        for (std::uint16_t layer = 1; layer <= 3; ++layer) {
            for (std::uint16_t index = 0; index < 15; ++index) {
                SCOPED_TRACE(testing::Message() << "layer code " << layer << ", index " << index);
                const FrameHeader header{
                    .Version = row.Code, .Layer = layer, .BitrateIndex = index};
                EXPECT_EQ(Bitrate(header), (*row.Layers[layer - 1u])[index]);
            }
        }
        for (std::uint16_t index = 0; index < 4; ++index) {
            SCOPED_TRACE(testing::Message() << "sampling index " << index);
            EXPECT_EQ(SamplingRate(FrameHeader{.Version = row.Code, .SamplingIndex = index}),
                      row.Sampling[index]);
        }
    }
}

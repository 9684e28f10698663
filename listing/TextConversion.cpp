#include "listing/TextConversion.h"

#include <array>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "base/Utf8.h"

namespace Listing {

namespace {

// Windows-1252 bytes 0x80..0x9F; the undefined ones keep their C1 value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

// Sixteen bytes are compared at a time where the processor allows, then
// eight: a byte of (word ^ pattern) is zero where the word holds the
// pattern's byte, and (v - 0x01..) & ~v & 0x80.. is not zero exactly when v
// has a zero byte.
bool HoldsAnyOf(std::string_view text, char a, char b, char c, char d)
{
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    const __m128i vd = _mm_set1_epi8(d);
    for (; i + sizeof(__m128i) <= text.size(); i += sizeof(__m128i)) {
        __m128i bytes;
        std::memcpy(&bytes, text.data() + i, sizeof bytes);
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb)),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, vc), _mm_cmpeq_epi8(bytes, vd)));
        if (_mm_movemask_epi8(hits) != 0) {
            return true;
        }
    }
#endif
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const auto spread = [](char byte) { return kOnes * static_cast<unsigned char>(byte); };
    const std::uint64_t pa = spread(a);
    const std::uint64_t pb = spread(b);
    const std::uint64_t pc = spread(c);
    const std::uint64_t pd = spread(d);
    const auto zeroByte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    const auto holds = [&](std::uint64_t word) {
        return (zeroByte(word ^ pa) | zeroByte(word ^ pb) | zeroByte(word ^ pc) |
                zeroByte(word ^ pd)) != 0;
    };
    for (; i + sizeof(std::uint64_t) <= text.size(); i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        if (holds(word)) {
            return true;
        }
    }
    if (i == text.size()) {
        return false;
    }
    // The last bytes, the rest of the word filled with copies of the first
    // of them, which add nothing the test has not seen.
    std::uint64_t word = spread(text[i]);
    for (unsigned shift = 0; i < text.size(); ++i, shift += 8) {
        word &= ~(std::uint64_t{0xFF} << shift);
        word |= std::uint64_t{static_cast<unsigned char>(text[i])} << shift;
    }
    return holds(word);
}

std::string Windows1252ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x80 && byte <= 0x9F) {
            AppendUtf8(out, kCp1252High[byte - 0x80]);
        } else {
            AppendUtf8(out, byte);
        }
    }
    return out;
}

std::string TagTextToUtf8(std::string_view text)
{
    if (Utf8::IsValid(text)) {
        return std::string(text);
    }
    return Windows1252ToUtf8(text);
}

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendEscapedHtml(out, text);
    return out;
}

void AppendEscapedHtml(std::string& out, std::string_view text)
{
    if (!HoldsAnyOf(text, '&', '<', '>', '"')) {
        out.append(text);
        return;
    }
    // Runs without a special character are appended whole.
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        default:
            continue;
        }
        out.append(text, plain, i - plain).append(entity);
        plain = i + 1;
    }
    out.append(text, plain);
}

std::string QuoteCsvCell(std::string_view text, std::string_view separator)
{
    std::string out;
    AppendCsvCell(out, text, separator);
    return out;
}

void AppendCsvCell(std::string& out, std::string_view text, std::string_view separator)
{
    // One pass for the quote, CR and LF and a one-character separator.
    const char single = separator.size() == 1 ? separator.front() : '"';
    bool needsQuotes = HoldsAnyOf(text, '"', '\r', '\n', single);
    if (!needsQuotes && separator.size() > 1) {
        needsQuotes = text.find(separator) != std::string_view::npos;
    }
    if (!needsQuotes) {
        out.append(text);
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

std::string BlankLineBreaks(std::string_view text, bool blankTabs)
{
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || (blankTabs && c == '\t')) {
            c = ' ';
        }
    }
    return out;
}

} // namespace Listing

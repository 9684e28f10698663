// The stored values of a profile, in the settings store: the integer texts of
// colours and list formats ("33023", "$FFFFFFFF", "-$1"), the "Checked" flags
// and the lists, under a profile name that IsValidProfileName accepted.
//
// - An integer text is read as the number it names or refused with the
//   message that quotes it; any 32-bit value reads back from its decimal and
//   its "$" text.
// - A profile stored under a valid name loads back as it was stored (lists as
//   their stored split gives them), and storing it changes no global value.
// - A name IsValidProfileName refuses has a reason: empty, a line break or
//   zero byte, or a stored value name that is a global one.
// - Colour, format and "Checked" texts stored by hand load as they read, or
//   stop the load with ProfileError.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/Ascii.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/ScratchHome.h"
#include "profiles/GlobalOptions.h"
#include "profiles/MemoryProfileHost.h"
#include "profiles/Profile.h"
#include "settings/RegTools.h"

using namespace Profiles;
using RegTools::kProduct;
using RegTools::kVendor;

namespace {

constexpr const char* kSuffixes[] = {
    "Sort",      "Save30",     "Custom",      "Extensions", "Information", "FontStyle", "FontColor",
    "BackColor", "Back2Color", "HeaderColor", "Headline",   "ListFormat",  "Checked"};

bool IsDigit(char c, bool hex)
{
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// What an integer text names, read another way: blanks, a sign, "$" for
// hexadecimal, then digits; nothing when it names no 32-bit value.
std::optional<std::int32_t> ExpectedInteger(const std::string& text)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) {
        return std::nullopt;
    }
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') {
        ++i;
    }
    const bool hex = i < text.size() && text[i] == '$';
    i += hex ? 1 : 0;
    if (i == text.size()) {
        return std::nullopt;
    }
    for (std::size_t k = i; k < text.size(); ++k) {
        if (!IsDigit(text[k], hex)) {
            return std::nullopt;
        }
    }
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(text.data() + i, text.data() + text.size(), value, hex ? 16 : 10);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    if (value > limit) {
        return std::nullopt;
    }
    const auto bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

std::optional<std::int32_t> ReadInteger(const std::string& text, const std::string& valueName)
{
    try {
        return IntegerFromText(text, valueName);
    } catch (const ProfileError& error) {
        // what() is a C string: a text with a zero byte shows up to it.
        std::string expected =
            "'" + text + "' is not a valid integer value for '" + valueName + "'";
        expected = expected.substr(0, expected.find('\0'));
        FUZZ_CHECK(std::string(error.what()).compare(0, expected.size(), expected) == 0);
        return std::nullopt;
    }
}

std::string HexText(std::uint32_t bits, bool lower)
{
    char text[16];
    std::snprintf(text, sizeof text, lower ? "$%x" : "$%08X", bits);
    return text;
}

void CheckIntegerTexts(const std::string& text, std::int32_t value)
{
    FUZZ_CHECK(ReadInteger(text, "Value") == ExpectedInteger(text));
    const auto bits = static_cast<std::uint32_t>(value);
    FUZZ_CHECK(ReadInteger(std::to_string(value), "Value") == value);
    FUZZ_CHECK(ReadInteger(HexText(bits, false), "Value") == value);
    // Put together by insert, not a literal plus a temporary: g++ 12 at -O3
    // warns falsely (-Wrestrict) on the latter.
    std::string negated = HexText(0u - bits, true);
    negated.insert(negated.begin(), '-');
    FUZZ_CHECK(ReadInteger(negated, "Value") == value);
}

// Why a refused name is refused; false when there is no reason.
bool HasRefusalReason(const std::string& name)
{
    if (name.empty() || name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        return true;
    }
    for (const char* suffix : kSuffixes) {
        const std::string valueName = name + suffix;
        if (Ascii::EqualsIgnoringCase(valueName, "Styles")) {
            return true;
        }
        for (const auto& global : GlobalSettings::kGlobalValues) {
            if (Ascii::EqualsIgnoringCase(valueName, global.Name)) {
                return true;
            }
        }
    }
    return false;
}

std::vector<std::string> Items(FuzzSupport::ByteReader& in, std::size_t most)
{
    std::vector<std::string> items(in.Byte() % (most + 1));
    for (std::string& item : items) {
        item = in.Text(24);
    }
    return items;
}

std::int32_t Integer(FuzzSupport::ByteReader& in)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits = bits << 8 | in.Byte();
    }
    return static_cast<std::int32_t>(bits);
}

Profile MakeProfile(FuzzSupport::ByteReader& in)
{
    Profile profile;
    const std::uint8_t flags = in.Byte();
    profile.Sort = (flags & 1) != 0;
    profile.Save30 = (flags & 2) != 0;
    profile.ListFormat = ListFormatFromNumber(static_cast<std::int32_t>(flags >> 2) % 5 - 1);
    profile.FontStyle = in.Text(32);
    profile.FontColor = Integer(in);
    profile.BackColor = Integer(in);
    profile.Back2Color = Integer(in);
    profile.HeaderColor = Integer(in);
    profile.Headline = in.Text(64);
    profile.Custom = in.Text(32);
    profile.Extensions = Items(in, 4);
    profile.Information = Items(in, 24);
    const std::uint32_t checked = static_cast<std::uint32_t>(Integer(in));
    for (std::size_t i = 0; i < profile.Information.size(); ++i) {
        profile.Checked.push_back((checked >> (i % 32) & 1) != 0);
    }
    return profile;
}

// The store keeps a text up to its first zero byte, where a registry string ends.
std::string AsStored(const std::string& text) { return text.substr(0, text.find('\0')); }

std::string Read(const std::string& name)
{
    return RegTools::ReadRegString(kVendor, kProduct, name);
}

void Write(const std::string& name, const std::string& text)
{
    RegTools::WriteRegString(kVendor, kProduct, name, text);
}

// A text no profile value holds, in every global value and "Styles".
std::vector<std::string> GlobalNames()
{
    std::vector<std::string> names = {"Styles"};
    for (const auto& global : GlobalSettings::kGlobalValues) {
        names.emplace_back(global.Name);
    }
    return names;
}

std::string Sentinel(const std::string& name) { return "untouched " + name; }

void WriteSentinels()
{
    // Once: the first input that changed one fails right there.
    static bool written = false;
    if (written) {
        return;
    }
    written = true;
    for (const std::string& name : GlobalNames()) {
        Write(name, Sentinel(name));
    }
}

void CheckLoadedAsStored(const Profile& stored, const std::string& name)
{
    MemoryProfileHost host;
    host.SetStyleText(name);
    Profile loaded;
    LoadProfile(loaded, host);
    FUZZ_CHECK(loaded.Name == name);
    FUZZ_CHECK(loaded.Sort == stored.Sort && loaded.Save30 == stored.Save30);
    FUZZ_CHECK(loaded.FontStyle == AsStored(stored.FontStyle));
    FUZZ_CHECK(loaded.Headline == AsStored(stored.Headline));
    FUZZ_CHECK(loaded.Custom == AsStored(stored.Custom));
    FUZZ_CHECK(loaded.FontColor == stored.FontColor && loaded.BackColor == stored.BackColor &&
               loaded.Back2Color == stored.Back2Color && loaded.HeaderColor == stored.HeaderColor);
    FUZZ_CHECK(loaded.FontColorText == ColorToHtml(stored.FontColor));
    FUZZ_CHECK(loaded.HeaderColorText == ColorToHtml(stored.HeaderColor));
    FUZZ_CHECK(loaded.ListFormat == stored.ListFormat);
    FUZZ_CHECK(host.LastListFormat() == stored.ListFormat);
    FUZZ_CHECK(loaded.Extensions == RegTools::SplitList(RegTools::JoinList(stored.Extensions)));
    FUZZ_CHECK(loaded.Information == RegTools::SplitList(RegTools::JoinList(stored.Information)));
    FUZZ_CHECK(loaded.Checked.size() == loaded.Information.size());
    for (std::size_t i = 0; i < loaded.Checked.size(); ++i) {
        FUZZ_CHECK(loaded.Checked[i] == (i < stored.Checked.size() && stored.Checked[i]));
    }
}

// Colour, format and flags as another tool might have stored them.
void CheckHandStoredTexts(const std::string& name, const std::string& colourText,
                          const std::string& formatText, const std::string& checkedText)
{
    Write(name + "FontColor", colourText);
    Write(name + "ListFormat", formatText);
    Write(name + "Checked", checkedText);
    const std::string colour = AsStored(colourText);
    const std::string format = AsStored(formatText);
    const std::string checked = AsStored(checkedText);
    const std::size_t items = RegTools::SplitList(Read(name + "Information")).size();
    const std::optional<std::int32_t> colourValue = ExpectedInteger(colour);
    const std::optional<std::int32_t> formatValue = ExpectedInteger(format);
    bool checkedValid = true;
    for (std::size_t i = 0; i < std::min(checked.size(), items); ++i) {
        checkedValid = checkedValid && checked[i] >= '0' && checked[i] <= '9';
    }

    MemoryProfileHost host;
    host.SetStyleText(name);
    Profile loaded;
    try {
        LoadProfile(loaded, host);
    } catch (const ProfileError&) {
        FUZZ_CHECK(!colourValue || !formatValue || !checkedValid);
        return;
    }
    FUZZ_CHECK(colourValue && formatValue && checkedValid);
    FUZZ_CHECK(loaded.FontColor == *colourValue);
    FUZZ_CHECK(loaded.FontColorText == ColorToHtml(*colourValue));
    FUZZ_CHECK(loaded.ListFormat == ListFormatFromNumber(*formatValue));
    FUZZ_CHECK(loaded.Checked.size() == items);
    for (std::size_t i = 0; i < items; ++i) {
        FUZZ_CHECK(loaded.Checked[i] == (i < checked.size() && checked[i] != '0'));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::ByteReader in(data, size);
    const std::string integerText = in.Text(24);
    CheckIntegerTexts(integerText, Integer(in));

    const std::string name = in.Text(32);
    if (!IsValidProfileName(name)) {
        FUZZ_CHECK(HasRefusalReason(name));
        return 0;
    }
    FuzzSupport::ScratchHome();
    const RegTools::StoreBatch batch;
    WriteSentinels();
    const Profile stored = MakeProfile(in);
    SaveProfile(stored, name);
    for (const std::string& global : GlobalNames()) {
        FUZZ_CHECK(Read(global) == Sentinel(global));
    }
    CheckLoadedAsStored(stored, name);
    const std::string format = in.Text(12);
    CheckHandStoredTexts(name, integerText, format, in.Rest());
    return 0;
}

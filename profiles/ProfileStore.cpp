#include "profiles/ProfileStore.h"

#include <algorithm>
#include <array>
#include <sys/stat.h>

#include "base/Ascii.h"
#include "profiles/GlobalOptions.h"
#include "settings/RegTools.h"

namespace Profiles {

namespace {

using RegTools::kProduct;
using RegTools::kVendor;

// Every stored value of a profile, in the order DeleteProfile removes them.
constexpr std::array<const char*, 14> kSuffixes = {
    "Sort",      "Save30",     "Custom",      "Extensions", "Information", "FontStyle", "FontColor",
    "BackColor", "Back2Color", "HeaderColor", "Headline",   "ListFormat",  "Checked",   "Analysis"};

constexpr const char* kDefaultName = "Default";

bool Exists(const std::string& name) { return RegTools::RegValueExists(kVendor, kProduct, name); }

std::string ReadString(const std::string& name)
{
    return RegTools::ReadRegString(kVendor, kProduct, name);
}

void WriteString(const std::string& name, const std::string& text)
{
    RegTools::WriteRegString(kVendor, kProduct, name, text);
}

void WriteBool(const std::string& name, bool flag)
{
    RegTools::WriteRegBool(kVendor, kProduct, name, flag);
}

void LoadBool(const std::string& name, bool fallback, bool& field)
{
    if (Exists(name)) {
        field = RegTools::ReadRegBool(kVendor, kProduct, name);
    } else {
        field = fallback;
        WriteBool(name, fallback);
    }
}

void LoadText(const std::string& name, const char* fallback, std::string& field)
{
    if (Exists(name)) {
        field = ReadString(name);
    } else {
        WriteString(name, fallback);
        field = fallback;
    }
}

void LoadColor(const std::string& name, const char* fallbackText, std::int32_t fallback,
               std::int32_t& colour, std::string& display)
{
    if (Exists(name)) {
        colour = IntegerFromText(ReadString(name), name);
    } else {
        WriteString(name, fallbackText);
        colour = fallback;
    }
    display = ColorToHtml(colour);
}

// A missing list is written with its default and read back, so the profile
// holds what the store holds.
std::vector<std::string> LoadList(const std::string& name, const std::string& fallback)
{
    if (!Exists(name)) {
        WriteString(name, fallback);
    }
    return RegTools::SplitList(ReadString(name));
}

void LoadChecked(const std::string& name, Profile& profile)
{
    if (!Exists(name)) {
        WriteString(name, kDefaultChecked);
    }
    const std::string text = ReadString(name);
    // Characters beyond the list items have no item to mark and are ignored.
    const std::size_t count = std::min(text.size(), profile.Information.size());
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            throw ProfileError("'" + text + "' is not a valid integer value for '" + name +
                               "': character " + std::to_string(i + 1) + " is not a digit");
        }
        profile.Checked[i] = c != '0';
    }
}

} // namespace

namespace {

void LoadValues(Profile& profile, ProfileHost& host)
{
    const RegTools::StoreBatch batch;
    const std::string name = host.MainStyleBox().Text();
    profile.Name = name;
    LoadBool(name + "Sort", true, profile.Sort);
    LoadBool(name + "Save30", false, profile.Save30);
    LoadText(name + "FontStyle", "Arial", profile.FontStyle);
    LoadColor(name + "FontColor", "$000080FF", 0x0080FF, profile.FontColor, profile.FontColorText);
    LoadColor(name + "BackColor", "$00804000", 0x804000, profile.BackColor, profile.BackColorText);
    LoadColor(name + "Back2Color", "$00B85700", 0xB85700, profile.Back2Color,
              profile.Back2ColorText);
    LoadColor(name + "HeaderColor", "$00000000", 0x000000, profile.HeaderColor,
              profile.HeaderColorText);
    LoadText(name + "Headline", "List created by Sonorix", profile.Headline);

    const std::string formatName = name + "ListFormat";
    std::int32_t format = NumberOf(ListFormat::Html);
    if (Exists(formatName)) {
        format = IntegerFromText(ReadString(formatName), formatName);
    } else {
        WriteString(formatName, "2");
    }
    profile.ListFormat = ListFormatFromNumber(format);
    host.FormatChanged(profile.ListFormat);

    if (Exists(name + "Custom")) {
        profile.Custom = ReadString(name + "Custom");
    }
    profile.Extensions = LoadList(name + "Extensions", "mp3\r\n");
    const std::vector<std::string> builtInItems(kColumnCaptions.begin(), kColumnCaptions.end());
    profile.Information = LoadList(name + "Information", RegTools::JoinList(builtInItems));
    profile.Checked.assign(profile.Information.size(), false);
    LoadChecked(name + "Checked", profile);

    // Never written here: only a style saved with full analysis holds it.
    const std::string analysisName = name + "Analysis";
    profile.Analysis = Analysis::Classic;
    if (Exists(analysisName) &&
        IntegerFromText(ReadString(analysisName), analysisName) == NumberOf(Analysis::Full)) {
        profile.Analysis = Analysis::Full;
    }
}

// Runs load; when it throws, the error is the profile's load error.
template <class Load> void KeepingLoadError(Profile& profile, Load&& load)
{
    try {
        load();
    } catch (const std::exception& error) {
        profile.LoadError = error.what();
        throw;
    }
}

} // namespace

void LoadProfile(Profile& profile, ProfileHost& host)
{
    KeepingLoadError(profile, [&] { LoadValues(profile, host); });
    profile.LoadError.clear();
}

void SaveProfile(const Profile& profile, const std::string& name)
{
    const RegTools::StoreBatch batch;
    WriteBool(name + "Sort", profile.Sort);
    WriteBool(name + "Save30", profile.Save30);
    WriteString(name + "Custom", profile.Custom);
    WriteString(name + "Extensions", RegTools::JoinList(profile.Extensions));
    WriteString(name + "Information", RegTools::JoinList(profile.Information));
    WriteString(name + "FontStyle", profile.FontStyle);
    WriteString(name + "FontColor", std::to_string(profile.FontColor));
    WriteString(name + "BackColor", std::to_string(profile.BackColor));
    WriteString(name + "Back2Color", std::to_string(profile.Back2Color));
    WriteString(name + "HeaderColor", std::to_string(profile.HeaderColor));
    WriteString(name + "Headline", profile.Headline);
    WriteString(name + "ListFormat", std::to_string(NumberOf(profile.ListFormat)));
    std::string checked;
    for (std::size_t i = 0; i < profile.Information.size(); ++i) {
        checked += i < profile.Checked.size() && profile.Checked[i] ? '1' : '0';
    }
    WriteString(name + "Checked", checked);
    if (profile.Analysis == Analysis::Full) {
        WriteString(name + "Analysis", std::to_string(NumberOf(Analysis::Full)));
    } else {
        RegTools::DeleteRegValue(kVendor, kProduct, name + "Analysis");
    }
}

bool IsValidProfileName(const std::string& name)
{
    if (name.empty() || name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        return false;
    }
    auto isGlobal = [](const std::string& valueName) {
        if (Ascii::EqualsIgnoringCase(valueName, "Styles")) {
            return true;
        }
        return std::any_of(
            GlobalSettings::kGlobalValues.begin(), GlobalSettings::kGlobalValues.end(),
            [&](const auto& global) { return Ascii::EqualsIgnoringCase(valueName, global.Name); });
    };
    return std::none_of(kSuffixes.begin(), kSuffixes.end(),
                        [&](const char* suffix) { return isGlobal(name + suffix); });
}

void SaveProfileAs(Profile& profile, const std::string& name, ProfileHost& host)
{
    const RegTools::StoreBatch batch;
    StyleBox& styles = host.MainStyleBox();
    styles.SetText(name);
    SaveProfile(profile, name);
    auto names = styles.Items();
    names.push_back(name);
    styles.SetItems(names);
    WriteString("Styles", RegTools::JoinList(names));
    LoadProfileList(profile, host);
}

std::vector<std::string> StoredStyleNames()
{
    // Asking makes no store where there is none yet.
    struct stat status = {};
    if (::stat(RegTools::StoreFilePath().c_str(), &status) != 0 || !Exists("Styles")) {
        return {kDefaultName};
    }
    return RegTools::SplitList(ReadString("Styles"));
}

namespace {

void LoadListAndProfile(Profile& profile, ProfileHost& host)
{
    const RegTools::StoreBatch batch;
    StyleBox& styles = host.MainStyleBox();
    StyleBox& defaultStyles = host.DefaultStyleBox();
    if (Exists("Styles")) {
        const auto names = RegTools::SplitList(ReadString("Styles"));
        styles.SetItems(names);
        defaultStyles.SetItems(names);
    } else {
        auto names = styles.Items();
        names.push_back(kDefaultName);
        WriteString("Styles", RegTools::JoinList(names));
        styles.SetItems(RegTools::SplitList(ReadString("Styles")));
        defaultStyles.SetItems(styles.Items());
    }
    if (Exists("DefaultStyle")) {
        const std::string style = ReadString("DefaultStyle");
        styles.SetText(style);
        defaultStyles.SetText(style);
    } else {
        styles.SetText(kDefaultName);
        defaultStyles.SetText(kDefaultName);
        WriteString("DefaultStyle", kDefaultName);
    }
    LoadProfile(profile, host);
}

} // namespace

void LoadProfileList(Profile& profile, ProfileHost& host)
{
    KeepingLoadError(profile, [&] { LoadListAndProfile(profile, host); });
}

void DeleteProfile(const std::string& name, Profile& profile, ProfileHost& host, Dialogs& dialogs)
{
    const RegTools::StoreBatch batch;
    // Stored names ignore letter case, so "DEFAULT" would remove the
    // built-in profile's values just as well.
    if (Ascii::EqualsIgnoringCase(name, kDefaultName)) {
        dialogs.ShowInformation("Default profile cannot be deleted!");
        return;
    }
    // Otherwise the reload below would select the deleted name again and
    // store its defaults anew, unlisted: the deletion would not show.
    if (Exists("DefaultStyle") && Ascii::EqualsIgnoringCase(ReadString("DefaultStyle"), name)) {
        WriteString("DefaultStyle", kDefaultName);
    }
    for (const char* suffix : kSuffixes) {
        RegTools::DeleteRegValue(kVendor, kProduct, name + suffix);
    }
    if (host.MainStyleBox().Text() == name) {
        host.MainStyleBox().SetText("");
    }
    StyleBox& defaultStyles = host.DefaultStyleBox();
    auto names = defaultStyles.Items();
    // The fold the store uses for the value names just removed; a
    // locale-aware fold would keep the name in one locale and not another.
    const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& item) {
        return Ascii::EqualsIgnoringCase(item, name);
    });
    if (it != names.end()) {
        names.erase(it);
    }
    defaultStyles.SetItems(names);
    WriteString("Styles", RegTools::JoinList(defaultStyles.Items()));
    LoadProfileList(profile, host);
}

} // namespace Profiles

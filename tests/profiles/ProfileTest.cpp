#include "profiles/Profile.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "profiles/MemoryProfileHost.h"
#include "profiles/ProfileStore.h"
#include "settings/RegTools.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/StoreSandbox.h"
#include "tests/support/TempDir.h"

using namespace Profiles;
using RegTools::kProduct;
using RegTools::kVendor;

namespace {

std::vector<bool> Flags(const std::string& digits)
{
    std::vector<bool> flags;
    for (const char c : digits) {
        flags.push_back(c == '1');
    }
    return flags;
}

class ProfileTest : public ::testing::Test
{
protected:
    std::int64_t StoredValueCount() const
    {
        return m_sandbox.Count("SELECT count(*) FROM reg_settings WHERE hive = 'machine'");
    }

    void FirstStart() { LoadProfileList(m_profile, m_host); }

    void Load(const std::string& name)
    {
        m_host.SetStyleText(name);
        LoadProfile(m_profile, m_host);
    }

    std::string LoadError()
    {
        try {
            LoadProfile(m_profile, m_host);
        } catch (const ProfileError& error) {
            return error.what();
        }
        return "no error";
    }

    TestSupport::StoreSandbox m_sandbox;
    MemoryProfileHost m_host;
    TestSupport::ScriptedDialogs m_dialogs;
    Profile m_profile;
};

TEST_F(ProfileTest, FirstStartStoresExactlyTheDefaults)
{
    FirstStart();

    const std::pair<const char*, const char*> strings[] = {
        {"Styles", "Default\r\n"},
        {"DefaultStyle", "Default"},
        {"DefaultFontStyle", "Arial"},
        {"DefaultFontColor", "$000080FF"},
        {"DefaultBackColor", "$00804000"},
        {"DefaultBack2Color", "$00B85700"},
        {"DefaultHeaderColor", "$00000000"},
        {"DefaultHeadline", "List created by Sonorix"},
        {"DefaultListFormat", "2"},
        {"DefaultExtensions", "mp3\r\n"},
        {"DefaultInformation",
         "Songname\r\nArtist\r\nTime\r\nFilesize\r\nCustom Info\r\nKBps\r\nMode\r\nAlbum\r\n"
         "Filepath\r\nFilename\r\nComment\r\nTrack\r\nGenre\r\nYear\r\nFrequency\r\nFrames\r\n"
         "Version\r\nLayer\r\nType\r\nEncoder\r\n"},
        {"DefaultChecked", "11110111100000000000"}};
    for (const auto& [name, text] : strings) {
        SCOPED_TRACE(name);
        EXPECT_EQ(TestSupport::StoredText(name), text);
    }
    EXPECT_TRUE(RegTools::ReadRegBool(kVendor, kProduct, "DefaultSort"));
    EXPECT_FALSE(RegTools::ReadRegBool(kVendor, kProduct, "DefaultSave30"));
    EXPECT_FALSE(TestSupport::IsStored("DefaultCustom"));
    EXPECT_EQ(StoredValueCount(), 14);

    Profile expected{.Name = "Default",
                     .Sort = true,
                     .Save30 = false,
                     .FontStyle = "Arial",
                     .FontColor = 33023,
                     .FontColorText = "#FF8000",
                     .BackColor = 8404992,
                     .BackColorText = "#004080",
                     .Back2Color = 12080896,
                     .Back2ColorText = "#0057B8",
                     .HeaderColor = 0,
                     .HeaderColorText = "#000000",
                     .Headline = "List created by Sonorix",
                     .ListFormat = ListFormat::Html,
                     .Custom = "",
                     .Extensions = {"mp3"},
                     .Information = {kColumnCaptions.begin(), kColumnCaptions.end()},
                     .Checked = Flags("11110111100000000000")};
    EXPECT_EQ(m_profile, expected);
    EXPECT_EQ(m_host.StyleText(), "Default");
    EXPECT_EQ(m_host.StyleList(), std::vector<std::string>{"Default"});
    EXPECT_EQ(m_host.DefaultStyleText(), "Default");
    EXPECT_EQ(m_host.DefaultStyleList(), std::vector<std::string>{"Default"});
    EXPECT_EQ(m_host.FormatChangedCount(), 1);
    EXPECT_EQ(m_host.LastListFormat(), ListFormat::Html);
}

TEST_F(ProfileTest, SaveWritesDecimalTextsThatLoadToTheSameProfile)
{
    FirstStart();
    const Profile loaded = m_profile;
    SaveProfile(m_profile, m_host.StyleText());
    const std::pair<const char*, const char*> rows[] = {{"DefaultFontColor", "33023"},
                                                        {"DefaultBackColor", "8404992"},
                                                        {"DefaultBack2Color", "12080896"},
                                                        {"DefaultHeaderColor", "0"},
                                                        {"DefaultListFormat", "2"},
                                                        {"DefaultCustom", ""},
                                                        {"DefaultChecked", "11110111100000000000"}};
    for (const auto& [name, text] : rows) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(TestSupport::IsStored(name));
        EXPECT_EQ(TestSupport::StoredText(name), text);
    }
    LoadProfile(m_profile, m_host);
    EXPECT_EQ(m_profile, loaded);
}

// A store that never saw full analysis stays as it was: the value is there
// only while the style is full.
TEST_F(ProfileTest, AnalysisIsStoredOnlyWhileTheStyleIsFull)
{
    FirstStart();
    EXPECT_EQ(m_profile.Analysis, Analysis::Classic);
    m_profile.Analysis = Analysis::Full;
    SaveProfile(m_profile, "Default");
    EXPECT_EQ(TestSupport::StoredText("DefaultAnalysis"), "1");
    m_profile.Analysis = Analysis::Classic;
    LoadProfile(m_profile, m_host);
    EXPECT_EQ(m_profile.Analysis, Analysis::Full);

    m_profile.Analysis = Analysis::Classic;
    SaveProfile(m_profile, "Default");
    EXPECT_FALSE(TestSupport::IsStored("DefaultAnalysis"));
    m_profile.Analysis = Analysis::Full;
    LoadProfile(m_profile, m_host);
    EXPECT_EQ(m_profile.Analysis, Analysis::Classic);
    EXPECT_FALSE(TestSupport::IsStored("DefaultAnalysis")) << "the load writes no value";

    // Only 1 is full: a number this version does not know reads as classic.
    const std::pair<const char*, Analysis> rows[] = {{"0", Analysis::Classic},
                                                     {"1", Analysis::Full},
                                                     {"$00000001", Analysis::Full},
                                                     {"2", Analysis::Classic},
                                                     {"-1", Analysis::Classic}};
    for (const auto& [text, analysis] : rows) {
        SCOPED_TRACE(text);
        TestSupport::StoreText("DefaultAnalysis", text);
        LoadProfile(m_profile, m_host);
        EXPECT_EQ(m_profile.Analysis, analysis);
    }
}

TEST_F(ProfileTest, SaveStoresUnderTheStyleBoxNameAndMarksMissingFlagsOff)
{
    m_profile.Information = {"Artist", "Songname", "Time"};
    m_profile.Checked = {true};
    m_profile.ListFormat = ListFormat::None;
    m_profile.FontColor = -1;
    m_host.SetStyleText("Jazz");
    SaveProfile(m_profile, m_host.StyleText());
    EXPECT_EQ(TestSupport::StoredText("JazzChecked"), "100");
    EXPECT_EQ(TestSupport::StoredText("JazzInformation"), "Artist\r\nSongname\r\nTime\r\n");
    EXPECT_EQ(TestSupport::StoredText("JazzListFormat"), "-1");
    EXPECT_EQ(TestSupport::StoredText("JazzFontColor"), "-1");
    EXPECT_FALSE(TestSupport::IsStored("Styles"));
}

TEST_F(ProfileTest, IntegerTextsInBothForms)
{
    const std::pair<const char*, std::int32_t> rows[] = {{"33023", 33023},
                                                         {"$000080FF", 33023},
                                                         {"$80ff", 33023},
                                                         {"0", 0},
                                                         {"-1", -1},
                                                         {"+7", 7},
                                                         {"  12", 12},
                                                         {"$FFFFFFFF", -1},
                                                         {"2147483647", 2147483647},
                                                         {"-2147483648", INT32_MIN},
                                                         {"-$10", -16},
                                                         {"$0000000000B85700", 0xB85700}};
    for (const auto& [text, value] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(IntegerFromText(text, "X"), value);
    }
}

TEST_F(ProfileTest, TextsThatAreNoIntegerFail)
{
    for (const char* text : {"", " ", "abc", "12abc", "12 ", "$", "$G1", "0x10", "--1", "+",
                             "2147483648", "-2147483649", "$100000000", "1.5", "１"}) {
        SCOPED_TRACE(text);
        try {
            IntegerFromText(text, "DefaultFontColor");
            ADD_FAILURE() << "no error";
        } catch (const ProfileError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "'" + std::string(text) +
                          "' is not a valid integer value for 'DefaultFontColor'");
        }
    }
}

TEST_F(ProfileTest, BadColourStopsTheLoadWithEarlierValuesLoaded)
{
    FirstStart();
    TestSupport::StoreText("DefaultFontColor", "$000000FF");
    TestSupport::StoreText("DefaultBackColor", "blue");
    TestSupport::StoreText("DefaultHeadline", "changed");
    const int formatChanges = m_host.FormatChangedCount();
    EXPECT_EQ(LoadError(), "'blue' is not a valid integer value for 'DefaultBackColor'");
    EXPECT_EQ(m_profile.FontColor, 0xFF);
    EXPECT_EQ(m_profile.FontColorText, "#FF0000");
    EXPECT_EQ(m_profile.BackColor, 0x804000);
    EXPECT_EQ(m_profile.Headline, "List created by Sonorix");
    EXPECT_EQ(m_host.FormatChangedCount(), formatChanges);
    // The record remembers why, until a load runs to its end.
    EXPECT_EQ(m_profile.LoadError, "'blue' is not a valid integer value for 'DefaultBackColor'");
    TestSupport::StoreText("DefaultBackColor", "0");
    LoadProfile(m_profile, m_host);
    EXPECT_EQ(m_profile.LoadError, "");
}

TEST_F(ProfileTest, ListFormatOutsideTheFourFormatsSelectsNone)
{
    FirstStart();
    const std::pair<const char*, ListFormat> rows[] = {
        {"0", ListFormat::Csv},  {"3", ListFormat::Text},  {"$1", ListFormat::Custom},
        {"4", ListFormat::None}, {"-1", ListFormat::None}, {"-7", ListFormat::None}};
    for (const auto& [text, format] : rows) {
        SCOPED_TRACE(text);
        TestSupport::StoreText("DefaultListFormat", text);
        LoadProfile(m_profile, m_host);
        EXPECT_EQ(m_profile.ListFormat, format);
        EXPECT_EQ(m_host.LastListFormat(), format);
    }
    TestSupport::StoreText("DefaultListFormat", "HTML");
    EXPECT_EQ(LoadError(), "'HTML' is not a valid integer value for 'DefaultListFormat'");
}

TEST_F(ProfileTest, CheckedMarksItemsByPosition)
{
    FirstStart();
    const std::pair<const char*, const char*> rows[] = {
        {"1111", "11110000000000000000"},
        {"", "00000000000000000000"},
        {"09000000000000000001", "01000000000000000001"},
        {"1000000000000000000111111", "10000000000000000001"},
        {"000000000000000000000x", "00000000000000000000"}};
    for (const auto& [text, flags] : rows) {
        SCOPED_TRACE(text);
        TestSupport::StoreText("DefaultChecked", text);
        LoadProfile(m_profile, m_host);
        EXPECT_EQ(m_profile.Checked, Flags(flags));
    }
    TestSupport::StoreText("DefaultChecked", "11x1");
    EXPECT_EQ(LoadError(), "'11x1' is not a valid integer value for 'DefaultChecked': character 3 "
                           "is not a digit");
    EXPECT_EQ(m_profile.Checked, Flags("11000000000000000000"));
}

TEST_F(ProfileTest, CheckedFollowsTheStoredOrderOfTheItems)
{
    FirstStart();
    std::vector<std::string> items(kColumnCaptions.begin(), kColumnCaptions.end());
    std::swap(items[0], items[1]);
    TestSupport::StoreText("DefaultInformation", RegTools::JoinList(items));
    TestSupport::StoreText("DefaultChecked", "10");
    LoadProfile(m_profile, m_host);
    EXPECT_EQ(m_profile.Information, items);
    EXPECT_EQ(m_profile.Information[0], "Artist");
    EXPECT_EQ(m_profile.Checked, Flags("10000000000000000000"));
}

TEST_F(ProfileTest, UnknownNameGetsItsDefaultsAndKeepsTheRunOnlyFields)
{
    FirstStart();
    m_profile.Custom = "kept";
    m_profile.Separator = ";";
    m_profile.AppendToList = true;
    Load("J");
    Load("Ja");
    for (const char* name : {"J", "Ja"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(TestSupport::StoredText(std::string(name) + "FontColor"), "$000080FF");
        EXPECT_FALSE(TestSupport::IsStored(std::string(name) + "Custom"));
    }
    EXPECT_EQ(StoredValueCount(), 14 + 12 + 12);
    EXPECT_EQ(m_profile.Name, "Ja");
    EXPECT_EQ(m_profile.Custom, "kept");
    EXPECT_EQ(m_profile.Separator, ";");
    EXPECT_TRUE(m_profile.AppendToList);

    TestSupport::StoreText("JaCustom", "Vinyl");
    Load("Ja");
    EXPECT_EQ(m_profile.Custom, "Vinyl");
}

TEST_F(ProfileTest, StoreErrorsReachTheCaller)
{
    FirstStart();
    TestSupport::StoreText("DefaultSort", "yes");
    EXPECT_THROW(LoadProfile(m_profile, m_host), RegTools::StoreError);
}

TEST_F(ProfileTest, ProfileListKeepsTheStoredOrderAndTheStoredDefault)
{
    TestSupport::StoreText("Styles", "Rock\r\nDefault\r\njazz\r\n");
    TestSupport::StoreText("DefaultStyle", "Unlisted");
    LoadProfileList(m_profile, m_host);
    EXPECT_EQ(m_host.StyleList(), (std::vector<std::string>{"Rock", "Default", "jazz"}));
    EXPECT_EQ(m_host.DefaultStyleList(), (std::vector<std::string>{"Default", "jazz", "Rock"}));
    EXPECT_EQ(m_host.StyleText(), "Unlisted");
    EXPECT_EQ(m_host.DefaultStyleText(), "Unlisted");
    EXPECT_EQ(m_profile.Name, "Unlisted");
    EXPECT_TRUE(TestSupport::IsStored("UnlistedSort"));
}

TEST_F(ProfileTest, DefaultCannotBeDeletedInAnyLetterCase)
{
    FirstStart();
    const std::int64_t before = StoredValueCount();
    for (const char* name : {"Default", "DEFAULT", "default"}) {
        SCOPED_TRACE(name);
        DeleteProfile(name, m_profile, m_host, m_dialogs);
        EXPECT_EQ(m_dialogs.Messages.back(), "Default profile cannot be deleted!");
        EXPECT_EQ(StoredValueCount(), before);
        EXPECT_EQ(TestSupport::StoredText("Styles"), "Default\r\n");
    }
    EXPECT_EQ(m_dialogs.Messages.size(), 3u);
}

TEST_F(ProfileTest, DeleteRemovesValuesAndNameAndStoresTheSortedList)
{
    TestSupport::StoreText("Styles", "Default\r\nJazz\r\nBlues\r\n");
    FirstStart();
    Load("Jazz");
    m_profile.Analysis = Analysis::Full;
    SaveProfile(m_profile, m_host.StyleText());
    Load("Blues");
    m_host.SetStyleText("Jazz");
    DeleteProfile("JAZZ", m_profile, m_host, m_dialogs);
    for (const char* suffix : {"Sort", "Save30", "Custom", "Extensions", "Information", "FontStyle",
                               "FontColor", "BackColor", "Back2Color", "HeaderColor", "Headline",
                               "ListFormat", "Checked", "Analysis"}) {
        SCOPED_TRACE(suffix);
        EXPECT_FALSE(TestSupport::IsStored(std::string("Jazz") + suffix));
    }
    EXPECT_TRUE(TestSupport::IsStored("BluesSort"));
    EXPECT_EQ(TestSupport::StoredText("Styles"), "Blues\r\nDefault\r\n");
    EXPECT_EQ(m_host.StyleList(), (std::vector<std::string>{"Blues", "Default"}));
    EXPECT_EQ(m_host.StyleText(), "Default");
    EXPECT_TRUE(m_dialogs.Messages.empty());
}

// The store folds only A-Z; a locale-aware fold keeps "Mix" listed under
// Turkish rules, where "I" lowers to dotless "ı", while its values are gone.
TEST_F(ProfileTest, DeleteFoldsLetterCaseAsTheStoreDoesInAnyLocale)
{
    const TestSupport::TempDir locales("sonorix-locale");
    const std::string command =
        "localedef -i tr_TR -f UTF-8 '" + locales.File("tr_TR.UTF-8") + "' >/dev/null 2>&1";
    // Warnings give a non-zero status; setlocale decides.
    const int status = std::system(command.c_str());
    static_cast<void>(status);
    ::setenv("LOCPATH", locales.Path().c_str(), 1);
    const bool turkish = std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");
    if (!turkish) {
        GTEST_SKIP() << "no tr_TR.UTF-8 locale could be made";
    }

    struct RestoreLocale
    {
        ~RestoreLocale() { std::setlocale(LC_ALL, "C.UTF-8"); }
    } restore;

    TestSupport::StoreText("Styles", "Default\r\nMix\r\n");
    FirstStart();
    Load("Mix");
    DeleteProfile("MIX", m_profile, m_host, m_dialogs);
    EXPECT_FALSE(TestSupport::IsStored("MixSort"));
    EXPECT_EQ(TestSupport::StoredText("Styles"), "Default\r\n");
}

TEST_F(ProfileTest, DeletingTheDefaultStyleMakesDefaultTheDefaultStyle)
{
    TestSupport::StoreText("Styles", "Default\r\nJazz\r\n");
    TestSupport::StoreText("DefaultStyle", "JAZZ");
    FirstStart();
    TestSupport::StoreText("DefaultHeadline", "Built in");
    EXPECT_EQ(m_profile.Name, "JAZZ");

    DeleteProfile("Jazz", m_profile, m_host, m_dialogs);
    EXPECT_EQ(TestSupport::StoredText("DefaultStyle"), "Default");
    EXPECT_EQ(TestSupport::StoredText("Styles"), "Default\r\n");
    EXPECT_EQ(m_host.StyleText(), "Default");
    EXPECT_EQ(m_host.DefaultStyleText(), "Default");
    EXPECT_FALSE(TestSupport::IsStored("JazzSort"));
    EXPECT_FALSE(TestSupport::IsStored("JazzHeadline"));
    EXPECT_EQ(m_profile.Headline, "Built in");
    EXPECT_TRUE(m_dialogs.Messages.empty());
}

TEST_F(ProfileTest, DeletingAnotherStyleKeepsTheDefaultStyle)
{
    TestSupport::StoreText("Styles", "Default\r\nJazz\r\nRock\r\n");
    TestSupport::StoreText("DefaultStyle", "Rock");
    FirstStart();
    DeleteProfile("Jazz", m_profile, m_host, m_dialogs);
    EXPECT_EQ(TestSupport::StoredText("DefaultStyle"), "Rock");
    EXPECT_EQ(m_host.StyleText(), "Rock");
}

TEST(IsValidProfileName, RefusesNamesThatCannotBeListedOrWouldOverwriteGlobalValues)
{
    const std::pair<std::string, bool> rows[] = {
        {"Jazz", true},    {"Default", true},
        {"a b|c", true},   {"Styles2", true},
        {"AskFo", true},   {"Ask", true},
        {"", false},       {"Ja\nzz", false},
        {"Ja\rzz", false}, {std::string("Ja\0zz", 6), false},
        {"AskFor", false}, {"askfor", false},
        {"ASKFOR", false}};
    for (const auto& [name, valid] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(IsValidProfileName(name), valid);
    }
}

TEST(ColorToHtml, RedGreenBlueFromTheLow24Bits)
{
    const std::pair<std::int32_t, const char*> rows[] = {
        {0, "#000000"},          {0xB85700, "#0057B8"}, {0x0080FF, "#FF8000"},
        {0x804000, "#004080"},   {0xFFFFFF, "#FFFFFF"}, {-1, "#FFFFFF"},
        {0x12345678, "#785634"}, {0x0A0B0C, "#0C0B0A"}};
    for (const auto& [colour, text] : rows) {
        SCOPED_TRACE(colour);
        EXPECT_EQ(ColorToHtml(colour), text);
    }
}

TEST(MemoryProfileHost, SortsTheDefaultStyleListWithoutRegardToCase)
{
    MemoryProfileHost host;
    host.SetDefaultStyleList({"rock", "Blues", "default", "Default", "ambient"});
    EXPECT_EQ(host.DefaultStyleList(),
              (std::vector<std::string>{"ambient", "Blues", "default", "Default", "rock"}));
    host.FormatChanged(ListFormat::Csv);
    EXPECT_EQ(host.FormatChangedCount(), 1);
    EXPECT_EQ(host.LastListFormat(), ListFormat::Csv);
}

} // namespace

#include "profiles/GlobalOptions.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "profiles/MemoryProfileHost.h"
#include "settings/RegTools.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/StoreSandbox.h"

using namespace GlobalSettings;
using RegTools::kProduct;
using RegTools::kVendor;

namespace {

constexpr const char* kProgram = "/opt/sonorix/bin/sonorix";

bool VerbRegistered() { return RegTools::ClassRootKeyExists("Folder\\shell\\Sonorix"); }

class GlobalOptionsTest : public ::testing::Test
{
protected:
    void Load() { LoadGlobalOptions(m_options, m_profile, m_host, m_dialogs, kProgram); }

    TestSupport::StoreSandbox m_sandbox;
    Profiles::MemoryProfileHost m_host;
    Profiles::Profile m_profile;
    TestSupport::ScriptedDialogs m_dialogs;
    GlobalOptions m_options;
};

TEST_F(GlobalOptionsTest, FirstStartAsksOnceAndStoresTheAnswer)
{
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes);
        TestSupport::StoreSandbox sandbox;
        TestSupport::ScriptedDialogs dialogs;
        GlobalOptions options;
        dialogs.ConfirmAnswers = {yes};
        LoadGlobalOptions(options, m_profile, m_host, dialogs, kProgram);
        EXPECT_EQ(dialogs.Questions,
                  std::vector<std::string>{
                      "Welcome to Sonorix!\n\rDo you want to enable the shell extensions?\n\r"
                      "(you can change this later in the \"options\"-menu)"});
        EXPECT_EQ(options.Rapidex, yes);
        EXPECT_EQ(RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"), yes);
        EXPECT_EQ(VerbRegistered(), yes);
        // Missing values: AskForCustom counts as off and is not written;
        // DefaultFileName is written; the favourites stay empty.
        EXPECT_FALSE(options.AskForCustom);
        EXPECT_FALSE(TestSupport::IsStored("AskForCustom"));
        EXPECT_EQ(TestSupport::StoredText("DefaultFileName"), "TrackRoll");
        EXPECT_EQ(options.DefaultFileName, "TrackRoll");
        EXPECT_TRUE(options.Source.empty());
        EXPECT_EQ(m_host.DefaultStyleText(), "Default");

        LoadGlobalOptions(options, m_profile, m_host, dialogs, kProgram);
        EXPECT_EQ(dialogs.Questions.size(), 1u) << "a later start asks nothing";
    }
}

// Only a stored Rapidex answers the first-start question: a settings key
// and values that the command-line tools wrote (a profile, the style list)
// must neither skip it nor switch the folder verb on.
TEST_F(GlobalOptionsTest, TheFirstStartQuestionStandsUntilRapidexIsStored)
{
    struct Row
    {
        const char* What;
        int Stored; // Rapidex: -1 missing, else 0 or 1
        bool Answer;
        bool Asked, Registered;
    };

    const Row rows[] = {
        {"no Rapidex, answered No", -1, false, true, false},
        {"no Rapidex, answered Yes", -1, true, true, true},
        {"Rapidex on", 1, false, false, true},
        {"Rapidex off", 0, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.What);
        TestSupport::StoreSandbox sandbox;
        TestSupport::ScriptedDialogs dialogs;
        GlobalOptions options;
        Profiles::MemoryProfileHost host;
        // What a command-line run leaves in an empty store.
        Profiles::LoadProfileList(m_profile, host);
        if (row.Stored >= 0) {
            RegTools::WriteRegBool(kVendor, kProduct, "Rapidex", row.Stored == 1);
        }
        RegTools::WriteRegBool(kVendor, kProduct, "AskForCustom", true);
        RegTools::WriteRegString(kVendor, kProduct, "DefaultFileName", "Shelf");
        RegTools::WriteRegString(kVendor, kProduct, "Source", "/music/\r\n/more/\r\n");
        RegTools::WriteRegString(kVendor, kProduct, "Output", "/lists/\r\n");
        if (row.Asked) {
            dialogs.ConfirmAnswers = {row.Answer};
        }
        LoadGlobalOptions(options, m_profile, host, dialogs, kProgram);
        EXPECT_EQ(dialogs.Questions.size(), row.Asked ? 1u : 0u);
        EXPECT_EQ(options.Rapidex, row.Registered);
        EXPECT_EQ(RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"), row.Registered);
        EXPECT_EQ(VerbRegistered(), row.Registered);
        EXPECT_EQ(TestSupport::ReadFileIfExists(RegTools::DesktopEntryPath()).has_value(),
                  row.Registered);
        EXPECT_TRUE(options.AskForCustom);
        EXPECT_EQ(options.DefaultFileName, "Shelf");
        EXPECT_EQ(options.Source, (std::vector<std::string>{"/music/", "/more/"}));
        EXPECT_EQ(options.Output, std::vector<std::string>{"/lists/"});

        LoadGlobalOptions(options, m_profile, host, dialogs, kProgram);
        EXPECT_EQ(dialogs.Questions.size(), row.Asked ? 1u : 0u) << "answered once is enough";
    }
}

// A load stopped by an error must not let OK wipe what it never read.
TEST_F(GlobalOptionsTest, SaveAfterAFailedLoadWritesOnlyWhatTheLoadReached)
{
    RegTools::CreateRegKey(kVendor, kProduct);
    RegTools::WriteRegBool(kVendor, kProduct, "Rapidex", false);
    RegTools::WriteRegString(kVendor, kProduct, "DefaultStyle", "Broken");
    RegTools::WriteRegString(kVendor, kProduct, "BrokenFontColor", "no colour");
    RegTools::WriteRegString(kVendor, kProduct, "Source", "/music/\r\n");
    EXPECT_THROW(Load(), Profiles::ProfileError);
    m_options.AskForCustom = true;
    SaveGlobalOptions(m_options, "");
    EXPECT_TRUE(RegTools::ReadRegBool(kVendor, kProduct, "AskForCustom"));
    EXPECT_EQ(TestSupport::StoredText("DefaultStyle"), "Broken");
    EXPECT_EQ(TestSupport::StoredText("Source"), "/music/\r\n");
    EXPECT_FALSE(TestSupport::IsStored("DefaultFileName"));

    m_options.Output = {"/lists/"};
    m_options.MarkKnown(GlobalValue::Output); // as the options dialog does on a change
    SaveGlobalOptions(m_options, "");
    EXPECT_EQ(TestSupport::StoredText("Output"), "/lists/\r\n");
}

TEST_F(GlobalOptionsTest, RemoveFromRegistryAsksThenLeavesNothingThatSaveCannotWriteAgain)
{
    m_dialogs.ConfirmAnswers = {true};
    Load();
    m_dialogs.ConfirmAnswers = {false};
    EXPECT_FALSE(RemoveFromRegistry(m_options, m_dialogs));
    EXPECT_TRUE(VerbRegistered());

    m_dialogs.ConfirmAnswers = {true};
    EXPECT_TRUE(RemoveFromRegistry(m_options, m_dialogs));
    EXPECT_EQ(m_dialogs.Questions.back(),
              "Are you sure you want delete all Sonorix Registry entries?");
    EXPECT_FALSE(VerbRegistered());
    EXPECT_FALSE(m_options.Rapidex);
    EXPECT_FALSE(RegTools::RegKeyExists(kVendor, kProduct));

    SaveGlobalOptions(m_options, m_host.DefaultStyleText());
    for (const GlobalValueInfo& info : kGlobalValues) {
        SCOPED_TRACE(info.Name);
        EXPECT_TRUE(TestSupport::IsStored(info.Name));
    }
}

TEST_F(GlobalOptionsTest, ReadingForATool)
{
    RegTools::CreateRegKey(kVendor, kProduct);
    const std::int64_t before = m_sandbox.Count("SELECT count(*) FROM reg_settings");
    const GlobalOptions options =
        ReadGlobalOptions({GlobalValue::AskForCustom, GlobalValue::DefaultFileName});
    EXPECT_FALSE(options.AskForCustom);
    EXPECT_EQ(options.DefaultFileName, "TrackRoll");
    EXPECT_EQ(m_sandbox.Count("SELECT count(*) FROM reg_settings"), before) << "nothing written";
}

} // namespace

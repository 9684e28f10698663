#include "settings/RegTools.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/StoreSandbox.h"

using namespace RegTools;
using testing::StartsWith;

namespace {

class RegToolsTest : public ::testing::Test
{
protected:
    // The number of values in the settings key, counted past the store's own code.
    std::int64_t SettingsValueCount() const
    {
        return m_sandbox.Count("SELECT count(*) FROM reg_settings WHERE hive = 'machine' AND "
                               "key = 'Software\\Brightfold\\Sonorix'");
    }

    bool MachineKeyExists(const std::string& path) const
    {
        return m_sandbox.Count("SELECT count(*) FROM reg_paths WHERE hive = 'machine' AND "
                               "path = '" +
                               path + "'") == 1;
    }

    // Stores a value the way another tool might, bypassing the typed writers.
    void PutRaw(const std::string& name, const std::string& type, const std::string& sqlData)
    {
        CreateRegKey(kVendor, kProduct);
        m_sandbox.Sql("INSERT OR REPLACE INTO reg_values (key_id, name, type, data) SELECT id, '" +
                      name + "', '" + type + "', " + sqlData +
                      " FROM reg_paths WHERE hive = 'machine' AND "
                      "path = 'Software\\Brightfold\\Sonorix'");
    }

    std::string ErrorOf(void (*action)(const std::string&), const std::string& name)
    {
        try {
            action(name);
        } catch (const StoreError& error) {
            return error.what();
        }
        return "no error";
    }

    TestSupport::StoreSandbox m_sandbox;
};

void ReadBool(const std::string& name) { ReadRegBool(kVendor, kProduct, name); }

void ReadString(const std::string& name) { ReadRegString(kVendor, kProduct, name); }

TEST_F(RegToolsTest, StoreLivesInTheConfigFolderAndIsCreatedWithIt)
{
    EXPECT_EQ(StoreFilePath(), m_sandbox.StoreFile());
    EXPECT_FALSE(RegValueExists(kVendor, kProduct, "Rapidex"));
    EXPECT_TRUE(TestSupport::ReadFileIfExists(m_sandbox.StoreFile()).has_value());
}

TEST_F(RegToolsTest, StoreFallsBackToHomeWhenTheConfigVariableIsUnusable)
{
    for (const char* value : {"", "relative/config"}) {
        SCOPED_TRACE(value);
        ::setenv("XDG_CONFIG_HOME", value, 1);
        EXPECT_EQ(StoreFilePath(), m_sandbox.Home() + "/.config/sonorix/registry.db");
    }
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(StoreFilePath(), m_sandbox.Home() + "/.config/sonorix/registry.db");
}

TEST_F(RegToolsTest, FirstValueQueryLeavesAnEmptySettingsKey)
{
    EXPECT_FALSE(RegValueExists(kVendor, kProduct, "Rapidex"));
    EXPECT_TRUE(MachineKeyExists("Software\\Brightfold\\Sonorix"));
    EXPECT_EQ(SettingsValueCount(), 0);
}

TEST_F(RegToolsTest, KeyExistsOnlyAfterCreateAndNotAfterDelete)
{
    EXPECT_FALSE(RegKeyExists(kVendor, kProduct));
    EXPECT_TRUE(MachineKeyExists("Software\\Brightfold")); // the vendor key was created
    CreateRegKey(kVendor, kProduct);
    EXPECT_TRUE(RegKeyExists(kVendor, kProduct));
    DeleteRegKey(kVendor, kProduct);
    EXPECT_FALSE(RegKeyExists(kVendor, kProduct));
    EXPECT_TRUE(MachineKeyExists("Software\\Brightfold"));
}

TEST_F(RegToolsTest, DeleteKeyTakesValuesAndSubKeysAndTheNextOperationStartsEmpty)
{
    WriteRegString(kVendor, kProduct, "Source", "/music/\r\n");
    WriteRegBool(kVendor, kProduct, "Rapidex", true);
    m_sandbox.Sql("INSERT INTO reg_keys (hive, parent, name) SELECT 'machine', id, 'Extra' "
                  "FROM reg_paths WHERE path = 'Software\\Brightfold\\Sonorix'");
    m_sandbox.Sql("INSERT INTO reg_values (key_id, name, type, data) SELECT id, 'x', 'string', "
                  "'y' FROM reg_paths WHERE path = 'Software\\Brightfold\\Sonorix\\Extra'");
    DeleteRegKey(kVendor, kProduct);
    EXPECT_EQ(m_sandbox.Count("SELECT count(*) FROM reg_values"), 0);
    EXPECT_FALSE(MachineKeyExists("Software\\Brightfold\\Sonorix\\Extra"));
    EXPECT_FALSE(RegValueExists(kVendor, kProduct, "Source"));
    EXPECT_TRUE(RegKeyExists(kVendor, kProduct));
    EXPECT_EQ(SettingsValueCount(), 0);
}

TEST_F(RegToolsTest, MissingValues)
{
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "DefaultFileName"), "");
    EXPECT_EQ(ErrorOf(ReadBool, "Rapidex"), "Konnte Daten für 'Rapidex' nicht holen");
    EXPECT_NO_THROW(DeleteRegValue(kVendor, kProduct, "Nothing"));
    EXPECT_EQ(SettingsValueCount(), 0);
}

TEST_F(RegToolsTest, BooleansAreIntegersAndAnyNonZeroIsTrue)
{
    WriteRegBool(kVendor, kProduct, "Rapidex", true);
    EXPECT_TRUE(ReadRegBool(kVendor, kProduct, "Rapidex"));
    WriteRegBool(kVendor, kProduct, "Rapidex", false);
    EXPECT_FALSE(ReadRegBool(kVendor, kProduct, "Rapidex"));
    EXPECT_EQ(m_sandbox.Count("SELECT count(*) FROM reg_settings WHERE name = 'Rapidex' AND "
                              "type = 'integer' AND data = 0"),
              1);
    const std::pair<const char*, bool> rows[] = {{"2", true}, {"-1", true}, {"0", false}};
    for (const auto& [data, expected] : rows) {
        SCOPED_TRACE(data);
        PutRaw("AskForCustom", "integer", data);
        EXPECT_EQ(ReadRegBool(kVendor, kProduct, "AskForCustom"), expected);
    }
}

TEST_F(RegToolsTest, EmptyStringIsAStoredValue)
{
    WriteRegString(kVendor, kProduct, "DefaultCustom", "");
    EXPECT_TRUE(RegValueExists(kVendor, kProduct, "DefaultCustom"));
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "DefaultCustom"), "");
    DeleteRegValue(kVendor, kProduct, "DefaultCustom");
    EXPECT_FALSE(RegValueExists(kVendor, kProduct, "DefaultCustom"));
}

TEST_F(RegToolsTest, StringsKeepTheirBytesUpToTheFirstNul)
{
    const std::pair<std::string, std::string> rows[] = {
        {"Für Ürsula ♪ 'quoted' \"x\"", "Für Ürsula ♪ 'quoted' \"x\""},
        {"line\r\nbreak", "line\r\nbreak"},
        {std::string("ab\0cd", 5), "ab"},
        {std::string(100000, 'x'), std::string(100000, 'x')}};
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(expected.substr(0, 20));
        WriteRegString(kVendor, kProduct, "Headline", text);
        EXPECT_EQ(ReadRegString(kVendor, kProduct, "Headline"), expected);
    }
}

TEST_F(RegToolsTest, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling)
{
    WriteRegString(kVendor, kProduct, "DefaultStyle", "Jazz");
    EXPECT_TRUE(RegValueExists(kVendor, kProduct, "DEFAULTSTYLE"));
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "defaultstyle"), "Jazz");
    WriteRegString(kVendor, kProduct, "DEFAULTstyle", "Rock");
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "DefaultStyle"), "Rock");
    EXPECT_EQ(SettingsValueCount(), 1);
    EXPECT_EQ(m_sandbox.Count("SELECT count(*) FROM reg_values WHERE name = 'DefaultStyle' "
                              "COLLATE BINARY"),
              1);
    DeleteRegValue(kVendor, kProduct, "defaultSTYLE");
    EXPECT_FALSE(RegValueExists(kVendor, kProduct, "DefaultStyle"));

    // Vendor and product are key names and follow the same rule.
    CreateRegKey("BRIGHTFOLD", "sonorix");
    EXPECT_EQ(m_sandbox.Count("SELECT count(*) FROM reg_keys"), 3);
    EXPECT_TRUE(RegKeyExists("brightFold", "SONORIX"));
}

TEST_F(RegToolsTest, ReadingTheWrongTypeFails)
{
    WriteRegBool(kVendor, kProduct, "Rapidex", true);
    EXPECT_EQ(ErrorOf(ReadString, "Rapidex"), "Ungültiger Datentyp für 'Rapidex'");

    // A boolean comes through a four-byte buffer: a string that fits with its
    // NUL is the wrong type, a longer one cannot be read.
    const std::pair<const char*, const char*> rows[] = {
        {"", "Ungültiger Datentyp für 'Flag'"},
        {"abc", "Ungültiger Datentyp für 'Flag'"},
        {"abcd", "Konnte Daten für 'Flag' nicht holen"},
        {"true", "Konnte Daten für 'Flag' nicht holen"}};
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        WriteRegString(kVendor, kProduct, "Flag", text);
        EXPECT_EQ(ErrorOf(ReadBool, "Flag"), expected);
    }

    // Rows written by another tool that do not hold a 32-bit number.
    for (const char* data : {"'1'", "4294967296", "NULL"}) {
        SCOPED_TRACE(data);
        PutRaw("Flag", "integer", data);
        EXPECT_EQ(ErrorOf(ReadBool, "Flag"), "Konnte Daten für 'Flag' nicht holen");
    }
}

TEST_F(RegToolsTest, WritingAnotherTypeReplacesTheValue)
{
    WriteRegString(kVendor, kProduct, "DefaultSort", "yes");
    WriteRegBool(kVendor, kProduct, "defaultsort", true);
    EXPECT_TRUE(ReadRegBool(kVendor, kProduct, "DefaultSort"));
    WriteRegString(kVendor, kProduct, "DefaultSort", "again");
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "DefaultSort"), "again");
    EXPECT_EQ(SettingsValueCount(), 1);
}

TEST_F(RegToolsTest, AFolderThatCannotBeMadeIsNamed)
{
    const std::string blocker = m_sandbox.Root() + "/file";
    {
        std::ofstream(blocker) << "not a folder";
    }
    ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
    try {
        ReadRegString(kVendor, kProduct, "Source");
        FAIL() << "no error";
    } catch (const StoreError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create the folder '" + blocker +
                                                 "' for the settings store: " + "Not a directory");
    }
}

TEST_F(RegToolsTest, AStoreThatCannotBeOpenedIsNamed)
{
    ::mkdir((m_sandbox.ConfigHome() + "/sonorix").c_str(), 0700);
    ::mkdir(m_sandbox.StoreFile().c_str(), 0700); // a folder where the file belongs
    try {
        WriteRegString(kVendor, kProduct, "Source", "x");
        FAIL() << "no error";
    } catch (const StoreError& error) {
        EXPECT_THAT(error.what(),
                    StartsWith("Cannot open the settings store '" + m_sandbox.StoreFile() + "': "));
    }
}

TEST_F(RegToolsTest, AnEmptyFileIsAFreshStore)
{
    ::mkdir((m_sandbox.ConfigHome() + "/sonorix").c_str(), 0700);
    {
        std::ofstream create(m_sandbox.StoreFile());
    }
    WriteRegString(kVendor, kProduct, "Source", "x");
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "Source"), "x");
}

TEST(StoredLists, SplitAtEveryKindOfLineBreak)
{
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"", {}},
        {"mp3\r\n", {"mp3"}},
        {"mp3", {"mp3"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\nb\rc", {"a", "b", "c"}},
        {"a\n\rb", {"a", "", "b"}},
        {"\r\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {"a\r\r\nb\r\n", {"a", "", "b"}},
        {std::string("a\r\nb\0c\r\n", 8), {"a", "b"}},
        {std::string("\0a", 2), {}},
        {" x \r\n", {" x "}}};
    for (const auto& [text, items] : rows) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(SplitList(text), items);
    }
}

TEST(StoredLists, JoinPutsCrLfAfterEveryItemAndSplitsBack)
{
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{}, ""}, {{"Default"}, "Default\r\n"}, {{"a", "", "b"}, "a\r\n\r\nb\r\n"}, {{""}, "\r\n"}};
    for (const auto& [items, text] : rows) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(JoinList(items), text);
        EXPECT_EQ(SplitList(JoinList(items)), items);
    }
}

} // namespace

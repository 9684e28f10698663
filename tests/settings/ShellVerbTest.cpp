#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "settings/RegTools.h"
#include "tests/support/StoreSandbox.h"

using namespace RegTools;
using testing::HasSubstr;

namespace {

class ShellVerbTest : public ::testing::Test
{
protected:
    std::string DesktopEntry() const
    {
        return m_sandbox.DataHome() + "/applications/sonorix-folder.desktop";
    }

    std::int64_t ValueCount(const std::string& keyPath) const
    {
        return m_sandbox.Count("SELECT count(*) FROM reg_settings WHERE hive = 'classes_root' "
                               "AND key = '" +
                               keyPath + "'");
    }

    std::vector<std::string> FolderEntries(const std::string& path) const
    {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(path.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            ::closedir(dir);
        }
        return names;
    }

    TestSupport::StoreSandbox m_sandbox;
};

TEST_F(ShellVerbTest, RegisterWritesTheQuotedCommandAndTheDesktopEntry)
{
    RegisterShellVerb("Folder", "Sonorix", "/opt/My Apps/sonorix");
    EXPECT_EQ(ReadClassRootString("Folder\\shell\\Sonorix\\command", ""),
              "\"/opt/My Apps/sonorix\" \"%1\"");
    EXPECT_TRUE(ClassRootKeyExists("Folder\\shell\\Sonorix"));
    EXPECT_EQ(ValueCount("Folder\\shell\\Sonorix"), 0);
    EXPECT_EQ(ValueCount("Folder\\shell\\Sonorix\\command"), 1);

    EXPECT_EQ(DesktopEntryPath(), DesktopEntry());
    EXPECT_EQ(TestSupport::ReadFileIfExists(DesktopEntry()), "[Desktop Entry]\n"
                                                             "Type=Application\n"
                                                             "Name=Sonorix\n"
                                                             "Comment=Catalogue the MPEG audio "
                                                             "files of a folder\n"
                                                             "TryExec=/opt/My Apps/sonorix\n"
                                                             "Exec=\"/opt/My Apps/sonorix\" %f\n"
                                                             "MimeType=inode/directory;\n"
                                                             "NoDisplay=true\n"
                                                             "Terminal=false\n");
    // Nothing but the config and data folders is touched, and no temporary
    // file is left beside the entry.
    EXPECT_TRUE(FolderEntries(m_sandbox.Home()).empty());
    EXPECT_EQ(FolderEntries(m_sandbox.DataHome() + "/applications"),
              std::vector<std::string>{"sonorix-folder.desktop"});
}

TEST_F(ShellVerbTest, RegisterAgainNamesTheLastPath)
{
    RegisterShellVerb("Folder", "Sonorix", "/usr/bin/sonorix");
    RegisterShellVerb("Folder", "Sonorix", "/home/me/new place/sonorix");
    EXPECT_EQ(ReadClassRootString("Folder\\shell\\Sonorix\\command", ""),
              "\"/home/me/new place/sonorix\" \"%1\"");
    EXPECT_EQ(m_sandbox.Count("SELECT count(*) FROM reg_paths WHERE path LIKE 'Folder\\shell\\%'"),
              2);
    EXPECT_THAT(TestSupport::ReadFileIfExists(DesktopEntry()).value_or(""),
                HasSubstr("\nExec=\"/home/me/new place/sonorix\" %f\n"));
}

TEST_F(ShellVerbTest, ExecLineQuotesEveryReservedCharacter)
{
    // The TryExec line names the program unquoted, with the string escapes only.
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"/usr/bin/sonorix", "\"/usr/bin/sonorix\"", "/usr/bin/sonorix"},
        {"/opt/a$b`c", "\"/opt/a\\\\$b\\\\`c\"", "/opt/a$b`c"},
        {"/opt/say \"hi\"", "\"/opt/say \\\\\"hi\\\\\"\"", "/opt/say \"hi\""},
        {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\"", "/opt/back\\\\slash"},
        {"/opt/100%", "\"/opt/100%%\"", "/opt/100%"},
        {"/opt/tab\there", "\"/opt/tab\\there\"", "/opt/tab\\there"},
    };
    for (const auto& [path, exec, tryExec] : rows) {
        SCOPED_TRACE(path);
        RegisterShellVerb("Folder", "Sonorix", path);
        const std::string entry = TestSupport::ReadFileIfExists(DesktopEntry()).value_or("");
        EXPECT_THAT(entry, HasSubstr("\nExec=" + std::string(exec) + " %f\n"));
        EXPECT_THAT(entry, HasSubstr("\nTryExec=" + std::string(tryExec) + "\n"));
    }
}

TEST_F(ShellVerbTest, UnregisterTakesTheVerbAndLeavesShell)
{
    RegisterShellVerb("Folder", "Sonorix", "/usr/bin/sonorix");
    UnregisterShellVerb("Folder", "Sonorix");
    EXPECT_FALSE(ClassRootKeyExists("Folder\\shell\\Sonorix\\command"));
    EXPECT_FALSE(ClassRootKeyExists("Folder\\shell\\Sonorix"));
    EXPECT_TRUE(ClassRootKeyExists("Folder\\shell"));
    EXPECT_TRUE(ClassRootKeyExists("Folder"));
    EXPECT_EQ(m_sandbox.Count("SELECT count(*) FROM reg_values"), 0);
    EXPECT_FALSE(TestSupport::ReadFileIfExists(DesktopEntry()).has_value());

    EXPECT_NO_THROW(UnregisterShellVerb("Folder", "Sonorix"));
    EXPECT_TRUE(ClassRootKeyExists("Folder\\shell"));
}

TEST_F(ShellVerbTest, AnEmptyVerbNeverReachesTheShellKey)
{
    RegisterShellVerb("Folder", "Sonorix", "/usr/bin/sonorix");
    EXPECT_THROW(RegisterShellVerb("Folder", "", "/usr/bin/other"), StoreError);
    UnregisterShellVerb("Folder", "");
    EXPECT_TRUE(ClassRootKeyExists("Folder\\shell\\Sonorix\\command"));
}

TEST_F(ShellVerbTest, AnyOtherClassIsAFileExtension)
{
    RegisterShellVerb("folder", "Sonorix", "/usr/bin/sonorix");
    EXPECT_EQ(ReadClassRootString(".folder", ""), "Sonorix");
    EXPECT_EQ(ReadClassRootString("Sonorix\\shell\\Sonorix\\command", ""),
              "\"/usr/bin/sonorix\" \"%1\"");
    EXPECT_FALSE(ClassRootKeyExists("Folder"));
    EXPECT_FALSE(TestSupport::ReadFileIfExists(DesktopEntry()).has_value());

    UnregisterShellVerb("folder", "Sonorix");
    EXPECT_FALSE(ClassRootKeyExists("Sonorix\\shell\\Sonorix"));
    EXPECT_TRUE(ClassRootKeyExists("Sonorix\\shell"));
    EXPECT_EQ(ReadClassRootString(".folder", ""), "Sonorix");
}

TEST_F(ShellVerbTest, FileTypeIsReadOrElseTheFallbackIsStored)
{
    EXPECT_EQ(ResolveFileType("mp3", "Sonorix"), "Sonorix");
    EXPECT_EQ(ResolveFileType("MP3", "Other"), "Sonorix");

    m_sandbox.Sql("UPDATE reg_values SET data = 'mp3file'");
    RegisterShellVerb("mp3", "Play", "/usr/bin/sonorix");
    EXPECT_EQ(ReadClassRootString("mp3file\\shell\\Play\\command", ""),
              "\"/usr/bin/sonorix\" \"%1\"");

    // An empty type name counts as missing.
    m_sandbox.Sql("UPDATE reg_values SET data = '' WHERE key_id = (SELECT id FROM reg_paths "
                  "WHERE path = '.mp3')");
    EXPECT_EQ(ResolveFileType("mp3", "Fresh"), "Fresh");
}

} // namespace

#include "scan/DirTools.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/IoError.h"
#include "tests/support/RunInChild.h"

namespace fs = std::filesystem;
using namespace DirTools;
using Names = std::vector<std::string>;
using testing::Each;
using testing::MatchesRegex;
using testing::StartsWith;

namespace {

class RecordingLabel final : public ProgressLabel
{
public:
    Names Calls;

    void SetText(const std::string& text) override { Calls.push_back("text " + text); }

    void RepaintLabel() override { Calls.push_back("label"); }

    void RepaintContainer() override { Calls.push_back("container"); }
};

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Every folder comes after its parent, and nothing interrupts a folder's sub-tree.
void ExpectPreOrder(const Names& relative)
{
    Names open;
    for (const auto& path : relative) {
        const auto slash = path.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
        while (!open.empty() && open.back() != parent)
            open.pop_back();
        EXPECT_EQ(parent.empty(), open.empty()) << path << " is not inside the sub-tree before it";
        open.push_back(path);
    }
}

// Descriptors for a child that WithFreeDescriptors can use up.
const TestSupport::ChildOptions kFewDescriptors{.Limits = {{RLIMIT_NOFILE, 64}}};

// Work for such a child: it takes every descriptor but free of them, then runs work.
std::function<std::string()> WithFreeDescriptors(int free, std::function<std::string()> work)
{
    return [free, work = std::move(work)] {
        std::vector<int> taken;
        for (int fd = 0; (fd = ::open("/dev/null", O_RDONLY)) >= 0;)
            taken.push_back(fd);
        for (int i = 0; i < free && !taken.empty(); ++i) {
            ::close(taken.back());
            taken.pop_back();
        }
        return work();
    };
}

class ScanTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string name = (fs::temp_directory_path() / "sonorix-scan-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        m_root = name;
    }

    void TearDown() override
    {
        for (const auto& path : m_locked)
            ::chmod(path.c_str(), 0700);
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    std::string At(const std::string& relative) const { return m_root + "/" + relative; }

    void Folder(const std::string& relative) const { fs::create_directories(At(relative)); }

    void File(const std::string& relative) const { std::ofstream(At(relative)).put('x'); }

    void Link(const std::string& target, const std::string& relative) const
    {
        fs::create_symlink(target, At(relative));
    }

    void Lock(const std::string& relative)
    {
        m_locked.push_back(At(relative));
        ::chmod(At(relative).c_str(), 0);
    }

    // The paths below base, with base and the "/" behind it removed.
    Names Relative(const Names& paths, const std::string& base) const
    {
        Names result;
        for (const auto& path : paths) {
            EXPECT_THAT(path, StartsWith(At(base) + "/"));
            result.push_back(path.substr(At(base).size() + 1));
        }
        return result;
    }

    Names Folders(const std::string& base, int depth) const
    {
        SilentProgressLabel label;
        Names list;
        CollectFolders(At(base), depth, label, list);
        return Relative(list, base);
    }

    Names Files(const std::string& base, const std::string& extension) const
    {
        SilentProgressLabel label;
        Names list;
        CollectFiles(At(base), extension, label, list);
        return Relative(list, base);
    }

    std::string m_root;
    Names m_locked;
};

TEST_F(ScanTree, CollectFoldersIsPreOrderDownToTheDepthWithoutHiddenFolders)
{
    for (const char* folder : {"s/a/b/c", "s/a/b2", "s/a/.inner/x", "s/d", "s/.hid/x"})
        Folder(folder);
    File("s/a/f.mp3");
    File("s/.hidden.mp3");
    const std::pair<int, Names> rows[] = {{-1, {}},
                                          {0, {}},
                                          {1, {"a", "d"}},
                                          {2, {"a", "a/b", "a/b2", "d"}},
                                          {99, {"a", "a/b", "a/b/c", "a/b2", "d"}}};
    for (const auto& [depth, expected] : rows) {
        SCOPED_TRACE(depth);
        const Names found = Folders("s", depth);
        ExpectPreOrder(found);
        EXPECT_EQ(Sorted(found), expected);
    }
}

TEST_F(ScanTree, TrailingSlashesGiveTheSamePaths)
{
    Folder("s/a/b");
    File("s/x.mp3");
    SilentProgressLabel label;
    Names expected;
    for (const std::string& source : {At("s"), At("s/"), At("s//")}) {
        SCOPED_TRACE(source);
        Names list;
        CollectFolders(source, 99, label, list);
        CollectFiles(source, "mp3", label, list);
        if (expected.empty())
            expected = list;
        EXPECT_EQ(list, expected);
    }
    EXPECT_EQ(expected, (Names{At("s/a"), At("s/a/b"), At("s/x.mp3")}));

    Names top;
    CollectFolders("/", 1, label, top);
    ASSERT_FALSE(top.empty());
    EXPECT_THAT(top, Each(MatchesRegex("/[^/]*")));
}

TEST_F(ScanTree, CollectFilesMatchesEveryEntryIgnoringCase)
{
    Folder("s/x.mp3"); // a folder named like a file
    Folder("s/.hid");
    for (const char* file : {"song.mp3", "LOUD.MP3", "Mixed.Mp3", ".hidden.mp3", "a.m4a",
                             "notes.txt", "mp3", "tail.mp3.bak", "ÄRGER.ÄÖ"})
        File(std::string("s/") + file);
    Link("missing", "s/dangling.mp3");
    const Names mp3 = {".hidden.mp3", "LOUD.MP3", "Mixed.Mp3", "dangling.mp3", "song.mp3", "x.mp3"};
    const std::pair<const char*, Names> rows[] = {
        {"mp3", mp3},
        {"MP3", mp3},
        {"m?3", mp3},
        {"m?a", {"a.m4a"}},
        // "*.*" is every name, also one without a dot.
        {"*", Sorted({".hid", ".hidden.mp3", "LOUD.MP3", "Mixed.Mp3", "a.m4a", "dangling.mp3",
                      "mp3", "notes.txt", "song.mp3", "tail.mp3.bak", "x.mp3", "ÄRGER.ÄÖ"})},
        {"bak", {"tail.mp3.bak"}},
        {"äö", {"ÄRGER.ÄÖ"}},
        {"wav", {}}};
    for (const auto& [extension, expected] : rows) {
        SCOPED_TRACE(extension);
        EXPECT_EQ(Sorted(Files("s", extension)), expected);
    }
}

TEST_F(ScanTree, LinkedFoldersAreFollowedButEnteredOnce)
{
    Folder("s/a");
    Folder("s/b/inner");
    Folder("outside/deep");
    File("s/file.txt");
    Link("..", "s/a/up");    // the source itself
    Link(".", "s/a/self");   // the folder the link lies in
    Link("../b", "s/blink"); // a sibling
    Link(At("outside"), "s/ext");
    Link("file.txt", "s/filelink");
    Link("missing", "s/dangling");

    const Names found = Folders("s", 99);
    ExpectPreOrder(found);
    const auto has = [&](const char* path) {
        return std::count(found.begin(), found.end(), path) == 1;
    };
    EXPECT_EQ(found.size(), 5u);
    EXPECT_TRUE(has("a") && has("ext") && has("ext/deep"));
    EXPECT_TRUE((has("b") && has("b/inner")) != (has("blink") && has("blink/inner")));
}

TEST_F(ScanTree, UnreadableFolderIsListedButNotEntered)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    Folder("s/locked/inner");
    File("s/locked/song.mp3");
    Lock("s/locked");
    EXPECT_EQ(Folders("s", 99), Names{"locked"});
    EXPECT_EQ(Files("s/locked", "mp3"), Names{});
    EXPECT_TRUE(FolderExists(At("s/locked")));
}

TEST_F(ScanTree, RunningOutOfDescriptorsEndsTheWalkInsteadOfLeavingFoldersOut)
{
    // Deeper than there are descriptors to spare: a walk that held one open
    // per level would run out half-way.
    std::string deep = "s";
    for (int level = 0; level < 40; ++level)
        deep += "/d";
    Folder(deep);
    const auto folders = [&] {
        SilentProgressLabel label;
        Names list;
        CollectFolders(At("s"), 99, label, list);
        return std::to_string(list.size()) + " folders";
    };
    const auto files = [&] {
        SilentProgressLabel label;
        Names list;
        CollectFiles(At("s"), "*", label, list);
        return std::to_string(list.size()) + " files";
    };
    const std::string exhausted = "Cannot read folder '" + At("s") + "': Too many open files";

    struct Row
    {
        int Free;
        std::function<std::string()> Work;
        std::string Result;
    };

    // The undefined-behaviour sanitizer checks an object's type through a
    // pipe of its own, which a child without descriptors cannot make; each
    // type checked once here, with descriptors to spare, is remembered in
    // what the children inherit.
    (void)folders();
    (void)files();
    try {
        throw IoError(exhausted);
    } catch (const IoError& error) {
        (void)error.what();
    }
    const std::string thrown = "IoError: " + exhausted;
    const Row rows[] = {{4, folders, "40 folders"}, {0, folders, thrown}, {0, files, thrown}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Result);
        const TestSupport::ChildResult ended =
            TestSupport::RunInChild(WithFreeDescriptors(row.Free, row.Work), kFewDescriptors);
        EXPECT_EQ(ended.Output, row.Result) << ended.Ending();
    }
}

TEST_F(ScanTree, MissingOrEmptySourceListsNothing)
{
    File("file.txt");
    for (const std::string& source : {std::string(), At("missing"), At("file.txt")}) {
        SCOPED_TRACE(source);
        RecordingLabel label;
        Names list;
        CollectFolders(source, 99, label, list);
        CollectFiles(source, "*", label, list);
        EXPECT_EQ(list, Names{});
        EXPECT_EQ(label.Calls, Names{});
    }
}

TEST_F(ScanTree, CollectFoldersShowsEachFolderAndClearsTheLabelAtTheDepthLimit)
{
    Folder("s/a/b");
    const std::string a = At("s/a"), b = At("s/a/b");
    const std::pair<int, Names> rows[] = {
        {0, {"text ", "container"}},
        {2, {"text " + a, "label", "text " + b, "label", "text ", "container"}},
        {99, {"text " + a, "label", "text " + b, "label"}}};
    for (const auto& [depth, expected] : rows) {
        SCOPED_TRACE(depth);
        RecordingLabel label;
        Names list;
        CollectFolders(At("s"), depth, label, list);
        EXPECT_EQ(label.Calls, expected);
    }
}

TEST_F(ScanTree, CollectFoldersRepaintsTheContainerEvery200EntriesDotsIncluded)
{
    struct Row
    {
        int Files, Hidden;
        Names Calls;
    };

    const Row rows[] = {
        {197, 0, {}}, {198, 0, {"container"}}, {197, 5, {}}, {398, 0, {"container", "container"}}};
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Files);
        const std::string folder = "f" + std::to_string(n++);
        Folder(folder);
        for (int i = 0; i < row.Files; ++i)
            File(folder + "/" + std::to_string(i) + ".mp3");
        for (int i = 0; i < row.Hidden; ++i)
            File(folder + "/." + std::to_string(i));
        RecordingLabel label;
        Names list;
        CollectFolders(At(folder), 1, label, list);
        EXPECT_EQ(label.Calls, row.Calls);
    }
}

TEST_F(ScanTree, CollectFilesShowsEveryMatchAndRepaintsTheContainerAfterThe200th)
{
    Folder("s");
    for (int i = 0; i < 201; ++i)
        File("s/" + std::to_string(i) + ".mp3");
    File("s/other.txt");
    RecordingLabel label;
    Names list;
    CollectFiles(At("s"), "mp3", label, list);
    ASSERT_EQ(list.size(), 201u);
    Names expected;
    for (std::size_t i = 0; i < list.size(); ++i) {
        expected.insert(expected.end(), {"text " + list[i], "label"});
        if (i == 199)
            expected.push_back("container");
    }
    EXPECT_EQ(label.Calls, expected);
}

// Matching the names the walk kept gives what reading each folder again
// gives: the same paths in the same order and the same label calls, also
// for the folders the walk listed without reading them (below its depth).
TEST_F(ScanTree, CollectFilesFromTheWalksListingsIsCollectFilesReadingTheFolder)
{
    Folder("s/a/b/c");
    Folder("s/x.mp3");
    Folder("s/.hidden");
    for (int i = 0; i < 230; ++i)
        File("s/" + std::to_string(i) + (i % 3 == 0 ? ".MP3" : ".mp3"));
    for (const char* file : {"s/.dot.mp3", "s/notes.txt", "s/a/one.mp3", "s/a/b/two.Mp3",
                             "s/a/b/c/three.mp3", "s/.hidden/four.mp3"})
        File(file);
    Link("a/b", "s/blink");
    for (const int depth : {0, 1, 99}) {
        SilentProgressLabel walkLabel;
        Names folders;
        FolderListings listings;
        CollectFolders(At("s"), depth, walkLabel, folders, listings);
        // The source folder is read unless the walk goes no deeper at all.
        EXPECT_EQ(listings.Find(At("s") + "/") != nullptr, depth > 0);
        folders.insert(folders.begin(), At("s"));
        for (const char* extension : {"mp3", "*", "M?3"}) {
            for (const std::string& folder : folders) {
                SCOPED_TRACE(std::to_string(depth) + " " + extension + " " + folder);
                RecordingLabel read;
                RecordingLabel kept;
                Names readList;
                Names keptList;
                CollectFiles(folder, extension, read, readList);
                CollectFiles(folder, extension, kept, keptList, listings);
                EXPECT_EQ(keptList, readList);
                EXPECT_EQ(kept.Calls, read.Calls);
            }
        }
    }
}

TEST_F(ScanTree, FolderExistsOnlyForFolders)
{
    Folder("dir");
    File("file.mp3");
    Link("dir", "dirlink");
    Link("missing", "dangling");
    const std::pair<std::string, bool> rows[] = {{"", false},
                                                 {At("dir"), true},
                                                 {At("dir/"), true},
                                                 {At("dirlink"), true},
                                                 {At("file.mp3"), false},
                                                 {At("file.mp3/"), false},
                                                 {At("gone"), false},
                                                 {At("dangling"), false},
                                                 {"/", true},
                                                 {At("dir") + std::string(1, '\0') + "x", false}};
    for (const auto& [path, exists] : rows) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FolderExists(path), exists);
    }
}

} // namespace

TEST(StripExtension, CutsFromTheLastDotBehindTheLastSlash)
{
    const std::pair<const char*, const char*> rows[] = {{"song.mp3", "song"},
                                                        {"a.b.mp3", "a.b"},
                                                        {"name.", "name"},
                                                        {"noext", "noext"},
                                                        {"/my.dir/file", "/my.dir/file"},
                                                        {".hidden", ""},
                                                        {"/music/.hidden", "/music/"},
                                                        {"dir:x.y", "dir:x"},
                                                        {"a.b\\c", "a"},
                                                        {"", ""},
                                                        {"/", "/"}};
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in);
        EXPECT_EQ(StripExtension(in), out);
    }
}

TEST(MatchesWildcard, StarAndQuestionMarkWithoutLetterCase)
{
    struct Row
    {
        std::string Pattern, Name;
        bool Matches;
    };

    const Row rows[] = {
        {"*.mp3", "song.mp3", true},
        {"*.mp3", "SONG.MP3", true},
        {"*.MP3", "song.mp3", true},
        {"*.mp3", "song.mp3x", false},
        {"*.mp3", "a.mp3.mp3", true},
        {"*.mp3", ".mp3", true},
        {"*.mp3", "mp3", false},
        {"*.m?3", "a.mp3", true},
        {"*.m?3", "a.m3", false},
        {"*.*", "noext", true},
        {"*.*", "", true},
        {"*.*.*", "a.b", false},
        {"*.", "name.", true},
        {"*.", "name", false},
        {"", "", true},
        {"", "a", false},
        {"*", "", true},
        {"*x", "*ax", true},      // a literal star in the name
        {"?.mp3", "é.mp3", true}, // "?" is one character, not one byte
        {"?.mp3", "\xff.mp3", true},
        {"*.ÄÖÜ", "x.äöü", true},
        {"*.ЖЁ", "x.жё", true},
        {"*.ŁŚ", "x.łś", true},
        {"*.a", "x.\xc3", false}, // a cut sequence is no character
        {"*.mp3", "é.MP3", true},
        {"*.mp3", "a.mp\xb3", false}, // 0xB3 is no "3" with its high bit dropped
        {"*.mp3", "a.mp3\xff", false},
        {"*a*a*a*a*a*a*a*a*a*a*b", std::string(20000, 'a'), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Pattern + " / " + row.Name.substr(0, 20));
        EXPECT_EQ(MatchesWildcard(row.Pattern, row.Name), row.Matches);
    }
}

TEST(MatchesWildcard, AsciiLettersMatchTheirOtherCaseAndNothingElse)
{
    // Every printable ASCII character against every other one; the wildcards
    // themselves only as names.
    const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string lower = "abcdefghijklmnopqrstuvwxyz";
    const auto sameLetter = [&](char a, char b) {
        const auto at = upper.find(a);
        return at != std::string::npos && lower[at] == b;
    };
    for (char p = ' '; p <= '~'; ++p) {
        if (p == '*' || p == '?') {
            continue;
        }
        for (char n = ' '; n <= '~'; ++n) {
            SCOPED_TRACE(std::string(1, p) + " / " + std::string(1, n));
            const bool expected = p == n || sameLetter(p, n) || sameLetter(n, p);
            EXPECT_EQ(MatchesWildcard(std::string(1, p), std::string(1, n)), expected);
        }
    }
}

TEST(MatchesWildcard, LettersOfOtherScriptsMatchTheirOtherCase)
{
    struct Row
    {
        const char* Upper;
        const char* Lower;
        bool Matches;
    };

    const Row rows[] = {
        {"À", "à", true},   {"Þ", "þ", true},  {"Ø", "ø", true},  {"Ÿ", "ÿ", true},
        {"Ā", "ā", true},   {"Ŀ", "ŀ", true},  {"Ž", "ž", true},  {"Σ", "σ", true},
        {"Ѐ", "ѐ", true},   {"Я", "я", true},  {"×", "÷", false}, {"µ", "μ", false},
        {"ß", "ss", false}, {"Ä", "a", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Upper) + " / " + row.Lower);
        EXPECT_EQ(MatchesWildcard(row.Upper, row.Lower), row.Matches);
        EXPECT_EQ(MatchesWildcard(row.Lower, row.Upper), row.Matches);
    }
}

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "listing/internal/FileScan.h"

using Listing::Detail::FileList;

// Entries live in blocks of growing size: every file keeps its path, its
// name and its folder (one object for the files of one folder) across the
// block edges (1024, 3072, 7168, ...).
TEST(FileList, KeepsEveryFileAcrossTheBlockEdges)
{
    constexpr std::int64_t kFiles = 20'000;
    const auto folderOf = [](std::int64_t k) { return "/music/" + std::to_string(k / 700) + "/"; };
    const auto nameOf = [](std::int64_t k) { return std::string(k % 37, 'x') + std::to_string(k); };
    FileList files;
    for (std::int64_t k = 0; k < kFiles; ++k) {
        files.Add(folderOf(k) + nameOf(k));
    }
    ASSERT_EQ(files.Count(), kFiles);
    std::string path;
    for (std::int64_t k = 0; k < kFiles; ++k) {
        SCOPED_TRACE(k);
        files.PathInto(k, path);
        ASSERT_EQ(path, folderOf(k) + nameOf(k));
        ASSERT_EQ(files.NameOf(k), nameOf(k));
        ASSERT_EQ(files.FolderOf(k), folderOf(k));
        if (k > 0) {
            ASSERT_EQ(&files.FolderOf(k) == &files.FolderOf(k - 1), k % 700 != 0);
        }
    }

    FileList bare;
    bare.Add("song.mp3");
    EXPECT_EQ(bare.FolderOf(0), "");
    EXPECT_STREQ(bare.NameOf(0), "song.mp3");
}

#include "base/LongPath.h"

#include <climits>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "tests/support/TempDir.h"

// Paths right at the system's limit: one byte short of it is handed over
// whole, the limit itself and one byte more are not, and a "/" at the last
// byte a call could take is not where the path is cut.
TEST(LongPath, OpensAndLooksAtPathsAroundTheLimit)
{
    TestSupport::TempDir dir;
    // A folder whose path is PATH_MAX - 1 bytes long.
    std::string folder = dir.Path();
    while (folder.size() + 201 + 50 < PATH_MAX) {
        folder += "/" + std::string(200, 'd');
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    }
    folder += "/" + std::string(PATH_MAX - 2 - folder.size(), 'e');
    ASSERT_EQ(folder.size(), PATH_MAX - 1u);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const UniqueFd inside(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(inside.Valid());
    const UniqueFd made(::openat(inside.Get(), "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(made.Valid());
    struct stat folderStatus = {};
    struct stat fileStatus = {};
    ASSERT_EQ(::fstat(inside.Get(), &folderStatus), 0);
    ASSERT_EQ(::fstat(made.Get(), &fileStatus), 0);

    struct Row
    {
        std::string Path;
        int Flags;
        const struct stat& Reached;
    };

    const Row rows[] = {
        {folder, O_PATH | O_DIRECTORY, folderStatus},
        {folder + "/", O_PATH | O_DIRECTORY, folderStatus},
        {folder + "/f", O_RDONLY, fileStatus}, // its "/" is byte PATH_MAX - 1
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.Path.size()) + " bytes");
        UniqueFd opened;
        ASSERT_EQ(LongPath::Open(AT_FDCWD, row.Path, row.Flags | O_CLOEXEC, opened), 0);
        struct stat status = {};
        ASSERT_EQ(::fstat(opened.Get(), &status), 0);
        EXPECT_EQ(status.st_ino, row.Reached.st_ino);
        status = {};
        ASSERT_EQ(LongPath::Stat(AT_FDCWD, row.Path, status), 0);
        EXPECT_EQ(status.st_ino, row.Reached.st_ino);
    }
}

#include "base/IoError.h"

#include <cerrno>
#include <gtest/gtest.h>

TEST(DescribeIoFailure, NamesTheActionThePathAndTheReason)
{
    EXPECT_EQ(DescribeIoFailure("read", "/music/a.mp3", ENOENT),
              "Cannot read '/music/a.mp3': No such file or directory");
}

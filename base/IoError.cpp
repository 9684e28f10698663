#include "base/IoError.h"

#include <cstring>

std::string DescribeIoFailure(const std::string& action, const std::string& path, int err)
{
    return "Cannot " + action + " '" + path + "': " + std::strerror(err);
}

std::string DescribeOutOfMemory(const std::string& action, const std::string& path)
{
    return "Cannot " + action + " '" + path + "': out of memory";
}

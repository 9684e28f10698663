#pragma once

#include <stdexcept>
#include <string>

// A failing environment: a file that exists but cannot be opened, read or
// written. The text names the file and the system's reason.
class IoError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// "Cannot read '<path>': <strerror(err)>" style text for an errno value.
std::string DescribeIoFailure(const std::string& action, const std::string& path, int err);

// "Cannot read '<path>': out of memory": an allocation failed while path was
// worked on.
std::string DescribeOutOfMemory(const std::string& action, const std::string& path);

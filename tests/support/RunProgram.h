#pragma once

// Runs one of our programs in a child process, the way a user's shell would,
// and collects its exit status and output.

#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

struct RunResult
{
    int Status = -1; // exit status; -1 when the child did not exit normally
    std::string Out{};
    std::string Err{};
};

struct RunOptions
{
    std::string WorkingFolder{};                                    // empty: unchanged
    std::vector<std::pair<std::string, std::string>> Environment{}; // set in the child
    std::string Terminal{};         // a terminal device for stderr; empty: a file
    bool InputFromTerminal = false; // stdin from Terminal too, else /dev/null
    // As root, run as user "nobody" so that file permissions apply.
    bool Unprivileged = false;
};

// stdin is /dev/null (or the terminal); stdout and stderr go through files in
// scratchFolder (stderr to the terminal when one is given).
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& scratchFolder, const RunOptions& options = {});

std::string ReadWholeFile(const std::string& path);

} // namespace TestSupport

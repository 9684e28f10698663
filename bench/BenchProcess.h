#pragma once

// Runs one child program and measures it: wall time, CPU time and the peak
// resident set size that the kernel reports for the child alone.

#include <string>
#include <utility>
#include <vector>

namespace Bench {

struct ChildRun
{
    int ExitCode = -1; // 128 + signal number when the child was killed
    double WallSeconds = 0;
    double CpuSeconds = 0; // user + system
    long PeakKiB = 0;      // ru_maxrss of the child
};

// argv[0] is looked up in PATH. env entries are set (or replaced) in the
// child only. stdoutPath and stderrPath, when not empty, receive the
// child's output. Throws std::runtime_error when the child cannot be started.
ChildRun RunChild(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& env,
                  const std::string& stdoutPath, const std::string& stderrPath);

} // namespace Bench

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

// The median of values (not empty), and that of one field of runs.
double Median(std::vector<double> values);
double MedianOf(const std::vector<ChildRun>& runs, double ChildRun::*field);

// The highest peak resident set size of runs.
long PeakKiB(const std::vector<ChildRun>& runs);

// The whole of a text file; empty when it cannot be read.
std::string ReadText(const std::string& path);

// Empties the page cache (and the cached folders and file records) so the
// next run reads from the disk; false when the system does not let us.
bool DropCaches();

// DropCaches before the cold rounds; false, after saying that they are not
// measured, when the system does not let us.
bool DropCachesForColdRounds();

// How a figure compares with its target, as the reports say it.
inline const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

} // namespace Bench

#include "bench/BenchProcess.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace Bench {

namespace {

// Writing this file empties the page cache; only root may.
constexpr const char* kDropCaches = "/proc/sys/vm/drop_caches";

double Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Seconds(const timeval& tv)
{
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// Only async-signal-safe calls between fork and exec; a failure leaves the
// child with exit code 127, as a shell would.
[[noreturn]] void ExecChild(std::vector<char*>& args, const std::string& stdoutPath,
                            const std::string& stderrPath)
{
    const auto redirect = [](const std::string& path, int target) {
        if (path.empty())
            return;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || dup2(fd, target) < 0)
            _exit(127);
    };
    redirect(stdoutPath, STDOUT_FILENO);
    redirect(stderrPath, STDERR_FILENO);
    execvp(args[0], args.data());
    _exit(127);
}

} // namespace

ChildRun RunChild(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& env,
                  const std::string& stdoutPath, const std::string& stderrPath)
{
    if (argv.empty())
        throw std::runtime_error("RunChild: no program given");
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    // The parent is single-threaded, so the environment can be prepared here
    // and restored after the fork instead of being built by hand for execve.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const auto& [name, value] : env) {
        const char* old = std::getenv(name.c_str());
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.c_str(), 1);
    }

    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0)
        ExecChild(args, stdoutPath, stderrPath);
    const int forkErrno = errno;
    for (const auto& [name, old] : saved) {
        if (old)
            setenv(name.c_str(), old->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    if (pid < 0)
        throw std::runtime_error("Cannot start '" + argv[0] + "': " + std::strerror(forkErrno));

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("Cannot wait for '" + argv[0] + "': " + std::strerror(errno));
    }
    ChildRun run;
    run.WallSeconds = Now() - start;
    run.CpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.PeakKiB = usage.ru_maxrss;
    if (WIFEXITED(status))
        run.ExitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.ExitCode = 128 + WTERMSIG(status);
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double MedianOf(const std::vector<ChildRun>& runs, double ChildRun::*field)
{
    std::vector<double> values;
    for (const ChildRun& run : runs) {
        values.push_back(run.*field);
    }
    return Median(std::move(values));
}

long PeakKiB(const std::vector<ChildRun>& runs)
{
    long peak = 0;
    for (const ChildRun& run : runs) {
        peak = std::max(peak, run.PeakKiB);
    }
    return peak;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool DropCaches()
{
    ::sync();
    std::ofstream out(kDropCaches);
    out << "3\n";
    out.flush();
    return static_cast<bool>(out);
}

bool DropCachesForColdRounds()
{
    std::fflush(stdout);
    if (DropCaches()) {
        return true;
    }
    std::printf("Cold cache: not measured: the page cache cannot be dropped here (writing %s "
                "needs root).\n",
                kDropCaches);
    return false;
}

} // namespace Bench

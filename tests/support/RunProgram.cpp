#include "tests/support/RunProgram.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "tests/support/RunInChild.h"

namespace TestSupport {

namespace {

constexpr uid_t kNobody = 65534;

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void RunChild(char* const* argv, const std::string& outPath,
                           const std::string& errPath, const RunOptions& options)
{
    const int in = options.InputFromTerminal ? open(options.Terminal.c_str(), O_RDWR)
                                             : open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = options.Terminal.empty()
                        ? open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)
                        : open(options.Terminal.c_str(), O_RDWR);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
        _exit(126);
    }
    if (!options.WorkingFolder.empty() && chdir(options.WorkingFolder.c_str()) != 0) {
        _exit(126);
    }
    for (const auto& [name, value] : options.Environment) {
        if (setenv(name.c_str(), value.c_str(), 1) != 0) {
            _exit(126);
        }
    }
    if (options.Unprivileged && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
        _exit(125);
    }
    execv(argv[0], argv);
    _exit(127);
}

} // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& scratchFolder, const RunOptions& options)
{
    const std::string outPath = scratchFolder + "/stdout";
    const std::string errPath = scratchFolder + "/stderr";
    std::vector<std::string> copies{program};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    // The child's report channel closes on exec, so the wait ends with the program.
    const ChildResult ended =
        RunInChild([&]() -> std::string { RunChild(argv.data(), outPath, errPath, options); });
    RunResult result;
    result.Status = ended.ExitCode;
    result.Out = ReadWholeFile(outPath);
    result.Err = ReadWholeFile(errPath);
    return result;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace TestSupport

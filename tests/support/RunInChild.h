#pragma once

// Runs a piece of test code in a forked child process: for what must not
// happen in the test program itself (resource limits, lost privileges, a
// signal that ends the process, a process that must hold a lock while another
// one runs).

#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace TestSupport {

struct ChildOptions
{
    // As root, the child becomes user and group "nobody" (65534) first, so
    // that file permissions apply to it.
    bool Unprivileged = false;
    // Resource limits set in the child (soft and hard), e.g. {RLIMIT_NOFILE, 64}.
    std::vector<std::pair<int, rlim_t>> Limits{};
};

// How the child ended and what its work returned.
struct ChildResult
{
    int ExitCode = -1; // when it exited: 0 after work returned, 3 after an IoError,
                       // 1 after any other exception, 125 when the options failed
    int Signal = 0;    // when a signal ended it
    // What work returned; after an exception "IoError: " or "error: " and its text.
    std::string Output{};

    // "exit N" or "signal N".
    [[nodiscard]] std::string Ending() const;
};

// A child under way; Wait() collects it (the destructor waits too). A moved
// child is collected by its new owner only.
class Child
{
public:
    Child(const std::function<std::string()>& work, const ChildOptions& options = {});
    ~Child();
    Child(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    Child& operator=(Child&&) = delete;

    [[nodiscard]] pid_t Pid() const { return m_pid; }

    // Sends signal to the child until it is collected, never to another process.
    void Kill(int signal) const;

    ChildResult Wait();

private:
    pid_t m_pid = -1;
    int m_output = -1;
};

// Starts work in a child and waits for it.
ChildResult RunInChild(const std::function<std::string()>& work, const ChildOptions& options = {});

} // namespace TestSupport

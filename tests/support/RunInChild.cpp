#include "tests/support/RunInChild.h"

#include <cerrno>
#include <csignal>
#include <exception>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "base/IoError.h"

namespace TestSupport {

namespace {

constexpr uid_t kNobody = 65534;

void WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

[[noreturn]] void RunChild(int output, const std::function<std::string()>& work,
                           const ChildOptions& options)
{
    for (const auto& [resource, value] : options.Limits) {
        const rlimit limit{value, value};
        if (::setrlimit(resource, &limit) != 0) {
            ::_exit(125);
        }
    }
    if (options.Unprivileged && ::geteuid() == 0 &&
        (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        ::_exit(125);
    }
    int code = 0;
    std::string result;
    try {
        result = work();
    } catch (const IoError& error) {
        result = std::string("IoError: ") + error.what();
        code = 3;
    } catch (const std::exception& error) {
        result = std::string("error: ") + error.what();
        code = 1;
    }
    WriteAll(output, result);
    // No exit handlers: they belong to the test program that was forked.
    ::_exit(code);
}

} // namespace

std::string ChildResult::Ending() const
{
    return Signal != 0 ? "signal " + std::to_string(Signal) : "exit " + std::to_string(ExitCode);
}

Child::Child(const std::function<std::string()>& work, const ChildOptions& options)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(channel[0]);
        RunChild(channel[1], work, options);
    }
    ::close(channel[1]);
    if (m_pid < 0) {
        ::close(channel[0]);
        return;
    }
    m_output = channel[0];
}

Child::Child(Child&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_output(std::exchange(other.m_output, -1))
{
}

Child::~Child()
{
    if (m_pid > 0) {
        static_cast<void>(Wait());
    }
}

void Child::Kill(int signal) const
{
    if (m_pid > 0) {
        ::kill(m_pid, signal);
    }
}

ChildResult Child::Wait()
{
    ChildResult result;
    if (m_pid <= 0) {
        result.Output = "fork failed";
        return result;
    }
    char buffer[4096];
    for (ssize_t got = 0; (got = ::read(m_output, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        result.Output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(m_output);
    m_output = -1;
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited == m_pid) {
        if (WIFEXITED(status)) {
            result.ExitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.Signal = WTERMSIG(status);
        }
    }
    m_pid = -1;
    return result;
}

ChildResult RunInChild(const std::function<std::string()>& work, const ChildOptions& options)
{
    return Child(work, options).Wait();
}

} // namespace TestSupport

#pragma once

// Owns one open file descriptor and closes it when it goes. -1 owns nothing.

#include <unistd.h>
#include <utility>

class UniqueFd
{
public:
    UniqueFd() = default;

    explicit UniqueFd(int fd) : m_fd(fd) {}

    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        UniqueFd old(std::exchange(m_fd, std::exchange(other.m_fd, -1)));
        return *this;
    }

    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    ~UniqueFd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    [[nodiscard]] int Get() const { return m_fd; }

    [[nodiscard]] bool Valid() const { return m_fd >= 0; }

    // Gives up ownership; the caller closes.
    [[nodiscard]] int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};

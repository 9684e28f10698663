#include "FileAccess.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "IoError.h"

namespace MP3Tools::Detail {

namespace {

// Errors that mean "nothing is there": no entry, a path through a non-folder,
// or a link that leads nowhere (dangling or looping).
bool MeansNoFile(int err) { return err == ENOENT || err == ENOTDIR || err == ELOOP; }

} // namespace

ReadOnlyFile::ReadOnlyFile(const std::string& path) : m_path(path)
{
    struct stat status
    {};

    if (::stat(path.c_str(), &status) != 0) {
        if (MeansNoFile(errno)) {
            return;
        }
        throw IoError(DescribeIoFailure("open", path, errno));
    }
    // Checked before opening: opening a device or a pipe can block or act.
    if (!S_ISREG(status.st_mode)) {
        return;
    }
    // O_NONBLOCK: should the entry have become a pipe since, open must not wait.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (MeansNoFile(errno)) {
            return;
        }
        throw IoError(DescribeIoFailure("open", path, errno));
    }
    m_fd = fd;
    m_size = static_cast<std::int64_t>(status.st_size);
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::size_t ReadOnlyFile::ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t count) const
{
    assert(IsOpen() && offset >= 0);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(m_fd, dest + done, count - done,
                                    static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw IoError(DescribeIoFailure("read", m_path, errno));
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void ByteWindow::Ensure(const ReadOnlyFile& file, std::int64_t offset, std::size_t count,
                        std::size_t readAhead)
{
    assert(offset >= 0);
    const std::int64_t available = std::max<std::int64_t>(file.Size() - offset, 0);
    const auto wanted = std::min<std::int64_t>(static_cast<std::int64_t>(count), available);
    if (Holds(offset, static_cast<std::size_t>(wanted))) {
        return;
    }
    const auto toRead = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(std::max(count, readAhead)), available));
    m_bytes.resize(toRead);
    m_start = offset;
    m_bytes.resize(file.ReadAt(offset, m_bytes.data(), toRead));
}

bool ByteWindow::Holds(std::int64_t offset, std::size_t count) const
{
    return offset >= m_start && offset + static_cast<std::int64_t>(count) <=
                                    m_start + static_cast<std::int64_t>(m_bytes.size());
}

const std::uint8_t* ByteWindow::At(std::int64_t offset) const
{
    assert(Holds(offset, 1));
    return m_bytes.data() + (offset - m_start);
}

std::string Cut(std::string text, std::size_t maxChars)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool startsCharacter = (byte & 0xC0) != 0x80;
        if (startsCharacter && ++chars > maxChars) {
            text.resize(i);
            break;
        }
    }
    return text;
}

} // namespace MP3Tools::Detail

#include "analysis/internal/FileAccess.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "base/IoError.h"
#include "base/LongPath.h"

namespace MP3Tools::Detail {

namespace {

// Errors that mean "nothing is there": no entry, a path through a non-folder,
// or a link that leads nowhere (dangling or looping).
bool MeansNoFile(int err) { return err == ENOENT || err == ENOTDIR || err == ELOOP; }

// True when the entry at path is there but no regular file (a folder the user
// may not read, a socket): such an entry is "no file" rather than an error.
bool IsOtherEntry(const std::string& path)
{
    struct stat status
    {};

    return LongPath::Stat(AT_FDCWD, path, status) == 0 && !S_ISREG(status.st_mode);
}

thread_local ScratchBuffer t_scratch;

// A run grows by extension up to this length (the head of a file and the
// frame search behind a small leading tag); a read that would make it longer
// starts a new run. Reading on in small steps, along a chain of small tags,
// then keeps memory and copying bounded instead of holding everything from
// the first byte on and copying it again at every step.
constexpr std::int64_t kMaxExtendedRun = 64 * 1024;

} // namespace

ReadOnlyFile::ReadOnlyFile(std::string path) : m_path(std::move(path))
{
    // Opened first and looked at through the descriptor: one path lookup, and
    // the size belongs to the file that is read. O_NONBLOCK keeps the open of
    // a pipe from waiting for a writer; O_NOCTTY keeps a terminal device from
    // becoming ours. A path too long for one call is opened relative to its
    // folder.
    UniqueFd fd;
    const int err =
        LongPath::Open(AT_FDCWD, m_path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, fd);
    if (err != 0) {
        if (MeansNoFile(err) || IsOtherEntry(m_path)) {
            return;
        }
        throw IoError(DescribeIoFailure("open", m_path, err));
    }

    struct stat status
    {};

    if (::fstat(fd.Get(), &status) != 0) {
        throw IoError(DescribeIoFailure("open", m_path, errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return;
    }
    m_fd = std::move(fd);
    m_size = static_cast<std::int64_t>(status.st_size);
}

std::size_t ReadOnlyFile::ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t count) const
{
    assert(IsOpen() && offset >= 0);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(m_fd.Get(), dest + done, count - done,
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

ByteWindow::ByteWindow(const ReadOnlyFile& file) : m_file(file)
{
    m_buffer = t_scratch.InUse ? &m_own : &t_scratch;
    m_buffer->InUse = true;
}

ByteWindow::~ByteWindow() { m_buffer->InUse = false; }

void ByteWindow::Reserve(std::size_t capacity)
{
    if (capacity <= m_buffer->Capacity) {
        return;
    }
    // Uninitialised on purpose: every byte used is read from the file first.
    std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[capacity]);
    if (m_length > 0) {
        std::memcpy(grown.get(), m_buffer->Data.get(), m_length);
    }
    m_buffer->Data = std::move(grown);
    m_buffer->Capacity = capacity;
}

const std::uint8_t* ByteWindow::Held(std::int64_t offset, std::size_t count) const
{
    const bool held = offset >= m_start && offset + static_cast<std::int64_t>(count) <=
                                               m_start + static_cast<std::int64_t>(m_length);
    return held ? m_buffer->Data.get() + (offset - m_start) : nullptr;
}

const std::uint8_t* ByteWindow::Fetch(std::int64_t offset, std::size_t count, std::int64_t readTo)
{
    assert(offset >= 0);
    if (const std::uint8_t* bytes = Held(offset, count)) {
        return bytes;
    }
    const std::int64_t size = m_file.Size();
    const std::int64_t end =
        std::min(std::max(offset + static_cast<std::int64_t>(count), readTo), size);
    if (!m_file.IsOpen() || offset + static_cast<std::int64_t>(count) > end) {
        return nullptr; // past the end of the file
    }
    const std::int64_t heldEnd = m_start + static_cast<std::int64_t>(m_length);
    if (m_length == 0 || offset < m_start || offset > heldEnd || end - m_start > kMaxExtendedRun) {
        m_start = offset;
        m_length = 0;
    }
    const auto length = static_cast<std::size_t>(end - m_start);
    Reserve(length);
    const std::int64_t from = m_start + static_cast<std::int64_t>(m_length);
    m_length += m_file.ReadAt(from, m_buffer->Data.get() + m_length, length - m_length);
    return Held(offset, count);
}

} // namespace MP3Tools::Detail

#include "analysis/internal/FileAccess.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

#include "base/IoError.h"
#include "base/LongPath.h"

namespace MP3Tools::Detail {

namespace {

// Errors that mean "nothing is there": no entry, a path through a non-folder,
// or a link that leads nowhere (dangling or looping).
bool MeansNoFile(int err) { return err == ENOENT || err == ENOTDIR || err == ELOOP; }

// Opened first and looked at through the descriptor: one path lookup, and
// the size belongs to the file that is read. O_NONBLOCK keeps the open of a
// pipe from waiting for a writer; O_NOCTTY keeps a terminal device from
// becoming ours.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// True when the entry at path is there but no regular file (a folder the user
// may not read, a socket): such an entry is "no file" rather than an error.
bool IsOtherEntry(const std::string& path)
{
    struct stat status
    {};

    return LongPath::Stat(AT_FDCWD, path, status) == 0 && !S_ISREG(status.st_mode);
}

bool IsOtherEntryIn(int folder, const char* name)
{
    struct stat status
    {};

    return ::fstatat(folder, name, &status, 0) == 0 && !S_ISREG(status.st_mode);
}

thread_local ScratchBuffer t_scratch;

// What the thread's last open found (MP3Tools::LastOpenedFileStatus).
struct OpenedStatus
{
    bool Regular = false;

    struct stat Status
    {};
};

thread_local OpenedStatus t_lastOpened;

// A run grows by extension up to this length (the head of a file and the
// frame search behind a small leading tag); a read that would make it longer
// starts a new run. Reading on in small steps, along a chain of small tags,
// then keeps memory and copying bounded instead of holding everything from
// the first byte on and copying it again at every step.
constexpr std::int64_t kMaxExtendedRun = 64 * 1024;

// A file not in memory yet is asked for whole up to this size, else its
// first bytes (what the frame search may look at) and its last ones (the
// ID3v1 tag).
constexpr std::int64_t kReadWhole = 128 * 1024;
constexpr std::int64_t kReadAheadHead = 36 * 1024;
constexpr std::int64_t kReadAheadTail = 128;

// The most a new run reads at once, and the least an extension reads: a page.
// Most files need far less than that of their head, and the bytes copied out
// of the page cache are a good part of what probing a file costs.
constexpr std::int64_t kFirstRead = 4 * 1024;

} // namespace

ReadOnlyFile::ReadOnlyFile(std::string path) : m_ownPath(std::move(path))
{
    t_lastOpened.Regular = false;
    // A path too long for one call is opened relative to its folder.
    UniqueFd fd;
    const int err = LongPath::Open(AT_FDCWD, m_ownPath, kOpenFlags, fd);
    if (err != 0 && (MeansNoFile(err) || IsOtherEntry(m_ownPath))) {
        return;
    }
    Adopt(std::move(fd), err);
}

ReadOnlyFile::ReadOnlyFile(int folder, const char* name, const std::string& path) : m_path(&path)
{
    t_lastOpened.Regular = false;
    int opened = -1;
    do {
        opened = ::openat(folder, name, kOpenFlags);
    } while (opened < 0 && errno == EINTR);
    const int err = opened < 0 ? errno : 0;
    if (err != 0 && (MeansNoFile(err) || IsOtherEntryIn(folder, name))) {
        return;
    }
    Adopt(UniqueFd(opened), err);
}

void ReadOnlyFile::Adopt(UniqueFd fd, int openError)
{
    if (openError != 0) {
        throw IoError(DescribeIoFailure("open", *m_path, openError));
    }

    struct stat status
    {};

    if (::fstat(fd.Get(), &status) != 0) {
        throw IoError(DescribeIoFailure("open", *m_path, errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return;
    }
    t_lastOpened = OpenedStatus{.Regular = true, .Status = status};
    m_fd = std::move(fd);
    m_size = static_cast<std::int64_t>(status.st_size);
}

std::size_t ReadOnlyFile::ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t count) const
{
    assert(IsOpen() && offset >= 0);
    std::size_t done = 0;
    if (!m_readBefore) {
        m_readBefore = true;
        done = FirstRead(offset, dest, count);
    }
    while (done < count) {
        const ssize_t got = ::pread(m_fd.Get(), dest + done, count - done,
                                    static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw IoError(DescribeIoFailure("read", *m_path, errno));
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t ReadOnlyFile::FirstRead(std::int64_t offset, std::uint8_t* dest,
                                    std::size_t count) const
{
#ifdef RWF_NOWAIT
    // Only what memory holds already: on a cached file the one read it takes
    // anyway. A file not cached yet is a read from the disk, usually two
    // (head and tail) that would each wait for the other: both are asked for
    // at once, in one piece where the file is small, before the read waits.
    iovec part{dest, count};
    ssize_t got = 0;
    do {
        got = ::preadv2(m_fd.Get(), &part, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        return static_cast<std::size_t>(got);
    }
    if (got < 0 && errno != EAGAIN) {
        return 0; // the plain read that follows tells what is wrong
    }
    if (m_size <= kReadWhole) {
        static_cast<void>(::posix_fadvise(m_fd.Get(), 0, 0, POSIX_FADV_WILLNEED));
    } else {
        static_cast<void>(::posix_fadvise(m_fd.Get(), offset, kReadAheadHead, POSIX_FADV_WILLNEED));
        static_cast<void>(::posix_fadvise(m_fd.Get(), m_size - kReadAheadTail, kReadAheadTail,
                                          POSIX_FADV_WILLNEED));
    }
#else
    static_cast<void>(offset);
    static_cast<void>(dest);
    static_cast<void>(count);
#endif
    return 0;
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
    const std::int64_t need = offset + static_cast<std::int64_t>(count);
    if (!m_file.IsOpen() || need > m_file.Size()) {
        return nullptr; // past the end of the file
    }
    // Never read ahead past what the caller may look at, nor past the end.
    const std::int64_t limit = std::min(std::max(readTo, need), m_file.Size());
    const std::int64_t heldEnd = m_start + static_cast<std::int64_t>(m_length);
    std::int64_t end = 0;
    // A look a little behind the run (the header of the next frame) reads
    // the gap too rather than giving up the run.
    if (m_length > 0 && offset >= m_start && offset <= heldEnd + kFirstRead &&
        need - m_start <= kMaxExtendedRun) {
        const std::int64_t step = std::max(static_cast<std::int64_t>(m_length), kFirstRead);
        end = std::max(need, std::min({limit, heldEnd + step, m_start + kMaxExtendedRun}));
    } else {
        m_start = offset;
        m_length = 0;
        end = std::max(need, std::min(limit, offset + kFirstRead));
    }
    const auto length = static_cast<std::size_t>(end - m_start);
    Reserve(length);
    const std::int64_t from = m_start + static_cast<std::int64_t>(m_length);
    m_length += m_file.ReadAt(from, m_buffer->Data.get() + m_length, length - m_length);
    return Held(offset, count);
}

} // namespace MP3Tools::Detail

namespace MP3Tools {

bool LastOpenedFileStatus(struct stat& status)
{
    if (!Detail::t_lastOpened.Regular) {
        return false;
    }
    status = Detail::t_lastOpened.Status;
    return true;
}

} // namespace MP3Tools

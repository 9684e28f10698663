#pragma once

// File access shared by the analysis steps (not part of the public interface).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/UniqueFd.h"

namespace MP3Tools {

struct TagInfo;

namespace Detail {

// Four bytes as one number, most significant first.
inline std::uint32_t BigEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

// An ID3v2 size: four bytes of seven bits each, most significant first.
inline std::uint32_t SyncSafe32(const std::uint8_t* bytes)
{
    return (std::uint32_t{bytes[0]} & 0x7F) << 21 | (std::uint32_t{bytes[1]} & 0x7F) << 14 |
           (std::uint32_t{bytes[2]} & 0x7F) << 7 | (std::uint32_t{bytes[3]} & 0x7F);
}

// A regular file opened read-only for the length of one step or one probe. A
// path with no entry, a dangling link or an entry that is not a regular file
// (folder, device, pipe) leaves it closed: the caller treats that as "no
// file". Any other failure to open, look at or read the file throws IoError.
// The path may be longer than PATH_MAX.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(std::string path);

    // The entry name in the open folder folder, whose path is path (that
    // folder's path, a "/" and name): the same file and the same outcomes as
    // opening path, without resolving its folders again. Errors name path,
    // which must outlive the file.
    ReadOnlyFile(int folder, const char* name, const std::string& path);

    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    [[nodiscard]] bool IsOpen() const { return m_fd.Valid(); }

    [[nodiscard]] std::int64_t Size() const { return m_size; }

    [[nodiscard]] const std::string& Path() const { return *m_path; }

    // Reads up to count bytes at offset into dest and gives the number read;
    // fewer than count only where the file ends.
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t count) const;

private:
    // Keeps fd when it is a regular file; throws for an open that failed
    // with openError (not 0) or a descriptor that cannot be looked at.
    void Adopt(UniqueFd fd, int openError);

    // The first read of the file: as much of it as memory holds already (0
    // when none), having asked for what the reads will need when it is not
    // held.
    std::size_t FirstRead(std::int64_t offset, std::uint8_t* dest, std::size_t count) const;

    std::string m_ownPath{};
    const std::string* m_path = &m_ownPath;
    UniqueFd m_fd;
    std::int64_t m_size = 0;
    mutable bool m_readBefore = false;
};

// Memory for the bytes of a ByteWindow, kept from file to file.
struct ScratchBuffer
{
    std::unique_ptr<std::uint8_t[]> Data{};
    std::size_t Capacity = 0;
    bool InUse = false;
};

// A run of one open file's bytes, [start, start + length), kept from earlier
// positioned reads. The probe reads a few KiB of the head of a file first and
// takes every later look from what it holds; bytes it does not hold yet are
// read on demand, in steps that grow, so a file whose first frame is near its
// start costs one small read. The memory is the thread's scratch buffer, so
// probing file after file does not allocate; a second window alive at the
// same time uses memory of its own.
class ByteWindow
{
public:
    explicit ByteWindow(const ReadOnlyFile& file);
    ~ByteWindow();
    ByteWindow(const ByteWindow&) = delete;
    ByteWindow& operator=(const ByteWindow&) = delete;

    // The count bytes at offset, or nullptr when the file ends before them.
    // Bytes not held yet are read now, with read-ahead for the looks that
    // follow, but never beyond readTo or the end of the file: a new run
    // starts with up to 4 KiB, and a read that starts inside or right behind
    // the held run extends it by up to its length again (at least 4 KiB)
    // while the run stays within 64 KiB; any other read replaces it.
    [[nodiscard]] const std::uint8_t* Fetch(std::int64_t offset, std::size_t count,
                                            std::int64_t readTo = 0);

    // The count bytes at offset when they are held already, else nullptr;
    // never reads.
    [[nodiscard]] const std::uint8_t* Held(std::int64_t offset, std::size_t count) const;

private:
    void Reserve(std::size_t capacity);

    const ReadOnlyFile& m_file;
    ScratchBuffer m_own{};
    ScratchBuffer* m_buffer = nullptr;
    std::int64_t m_start = 0;
    std::size_t m_length = 0;
};

// Fills tag from the ID3v1 tag at the end of file, taking the last 128 bytes
// from held when it has them; leaves it untouched when the file has no tag.
void ReadTagOf(TagInfo& tag, const ReadOnlyFile& file, const ByteWindow& held);

} // namespace Detail

} // namespace MP3Tools

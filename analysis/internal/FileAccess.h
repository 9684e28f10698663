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

// A regular file opened read-only for the length of one step or one probe. A
// path with no entry, a dangling link or an entry that is not a regular file
// (folder, device, pipe) leaves it closed: the caller treats that as "no
// file". Any other failure to open, look at or read the file throws IoError.
// The path may be longer than PATH_MAX.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(std::string path);

    [[nodiscard]] bool IsOpen() const { return m_fd.Valid(); }

    [[nodiscard]] std::int64_t Size() const { return m_size; }

    [[nodiscard]] const std::string& Path() const { return m_path; }

    // Reads up to count bytes at offset into dest and gives the number read;
    // fewer than count only where the file ends.
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t count) const;

private:
    std::string m_path;
    UniqueFd m_fd;
    std::int64_t m_size = 0;
};

// Memory for the bytes of a ByteWindow, kept from file to file.
struct ScratchBuffer
{
    std::unique_ptr<std::uint8_t[]> Data{};
    std::size_t Capacity = 0;
    bool InUse = false;
};

// A run of one open file's bytes, [start, start + length), kept from earlier
// positioned reads. The probe reads the head of a file once and takes every
// later look from it; bytes it does not hold yet are read on demand. The
// memory is the thread's scratch buffer, so probing file after file does not
// allocate; a second window alive at the same time uses memory of its own.
class ByteWindow
{
public:
    explicit ByteWindow(const ReadOnlyFile& file);
    ~ByteWindow();
    ByteWindow(const ByteWindow&) = delete;
    ByteWindow& operator=(const ByteWindow&) = delete;

    // The count bytes at offset, or nullptr when the file ends before them.
    // Bytes not held yet are read now, together with those up to readTo
    // where the file has them (read-ahead for the looks that follow). A read
    // that starts inside or right behind the held run extends it while the
    // run stays within 64 KiB; any other read replaces it.
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

#pragma once

// File access shared by the analysis steps (not part of the public interface).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace MP3Tools::Detail {

// A regular file opened read-only for the length of one step. A path with no
// entry, a dangling link or an entry that is not a regular file (folder,
// device, pipe) leaves it closed: the caller treats that as "no file". Any
// other failure to look at, open or read the file throws IoError.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    std::int64_t Size() const { return m_size; }

    const std::string& Path() const { return m_path; }

    // Reads up to count bytes at offset into dest and gives the number read;
    // fewer than count only where the file ends.
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t count) const;

private:
    const std::string& m_path;
    int m_fd = -1;
    std::int64_t m_size = 0;
};

// A run of a file's bytes, [Start(), End()), kept from one positioned read.
class ByteWindow
{
public:
    // Makes sure [offset, offset + count) is held, clipped to the file's end:
    // when it is not, reads max(count, readAhead) bytes at offset.
    void Ensure(const ReadOnlyFile& file, std::int64_t offset, std::size_t count,
                std::size_t readAhead = 0);
    bool Holds(std::int64_t offset, std::size_t count) const;
    // The byte at offset, which the window must hold.
    const std::uint8_t* At(std::int64_t offset) const;

private:
    std::vector<std::uint8_t> m_bytes{};
    std::int64_t m_start = 0;
};

// text cut to its first maxChars UTF-8 characters (a sequence is never split).
std::string Cut(std::string text, std::size_t maxChars);

} // namespace MP3Tools::Detail

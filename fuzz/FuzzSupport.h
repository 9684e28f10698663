#pragma once

// What the fuzz targets share: a check that aborts (so libFuzzer and the
// replay programs report the input), a reader that turns the fuzzer's bytes
// into values, a file in memory for the steps that read files by path, and a
// small CSV reader that reads lists back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Aborts with the condition and its place when it does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : FuzzSupport::Fail(#condition, __FILE__, __LINE__))

namespace FuzzSupport {

[[noreturn]] void Fail(const char* condition, const char* file, int line);

// Takes values from the front of the input; an exhausted input gives zeros
// and empty texts, so every input is a valid case.
class ByteReader
{
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t Byte();
    // A text of up to maxLength bytes: one length byte, then the bytes.
    std::string Text(std::size_t maxLength);
    // Everything not taken yet.
    std::string Rest();

    bool Empty() const { return m_size == 0; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// A file whose bytes live in memory, opened by path like any other file;
// kept for the whole run and refilled for every input.
class MemoryFile
{
public:
    MemoryFile();
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& Path() const { return m_path; }

    // The file then holds exactly these bytes.
    void Fill(const std::uint8_t* data, std::size_t size);

private:
    int m_fd = -1;
    std::string m_path{};
    bool m_unlink = false;
};

// The records of comma-separated text (RFC 4180: a quoted cell may hold
// commas, quotes doubled, CR and LF; records end in CR LF), or false when the
// text is not well formed.
bool ReadCsv(std::string_view text, std::vector<std::vector<std::string>>& records);

} // namespace FuzzSupport

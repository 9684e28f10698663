#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace FuzzSupport {

void Fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

std::uint8_t ByteReader::Byte()
{
    if (m_size == 0) {
        return 0;
    }
    const std::uint8_t byte = *m_data;
    ++m_data;
    --m_size;
    return byte;
}

std::string ByteReader::Text(std::size_t maxLength)
{
    std::size_t length = Byte();
    length = std::min({length, maxLength, m_size});
    std::string text(reinterpret_cast<const char*>(m_data), length);
    m_data += length;
    m_size -= length;
    return text;
}

std::string ByteReader::Rest()
{
    std::string text(reinterpret_cast<const char*>(m_data), m_size);
    m_data += m_size;
    m_size = 0;
    return text;
}

MemoryFile::MemoryFile()
{
#if defined(__linux__)
    // Reopened through /proc like a file on disk, but never written to one.
    m_fd = ::memfd_create("sonorix-fuzz", MFD_CLOEXEC);
    if (m_fd >= 0) {
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
        return;
    }
#endif
    std::string pattern = "/tmp/sonorix-fuzz-XXXXXX";
    m_fd = ::mkstemp(pattern.data());
    if (m_fd < 0) {
        throw std::runtime_error("cannot make a temporary file: " + std::string(strerror(errno)));
    }
    m_path = pattern;
    m_unlink = true;
}

MemoryFile::~MemoryFile()
{
    ::close(m_fd);
    if (m_unlink) {
        ::unlink(m_path.c_str());
    }
}

void MemoryFile::Fill(const std::uint8_t* data, std::size_t size)
{
    FUZZ_CHECK(::ftruncate(m_fd, 0) == 0);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
        FUZZ_CHECK(written > 0 || (written < 0 && errno == EINTR));
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        }
    }
}

bool ReadCsv(std::string_view text, std::vector<std::vector<std::string>>& records)
{
    records.clear();
    std::vector<std::string> record;
    std::string cell;
    bool cellStart = true;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && cellStart) {
            // A quoted cell runs to the quote that is not doubled, and the
            // cell ends there.
            for (++i;; ++i) {
                if (i >= text.size()) {
                    return false;
                }
                if (text[i] == '"') {
                    if (i + 1 >= text.size() || text[i + 1] != '"') {
                        break;
                    }
                    ++i;
                }
                cell += text[i];
            }
            ++i;
            if (i < text.size() && text[i] != ',' && text[i] != '\r') {
                return false;
            }
            cellStart = false;
            continue;
        }
        if (c == ',') {
            record.push_back(std::move(cell));
            cell.clear();
            cellStart = true;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            if (text.substr(i, 2) != "\r\n") {
                return false; // outside quotes a line break is CR LF and ends the record
            }
            record.push_back(std::move(cell));
            cell.clear();
            records.push_back(std::move(record));
            record.clear();
            cellStart = true;
            i += 2;
            continue;
        }
        if (c == '"') {
            return false; // a quote inside a cell needs the cell quoted
        }
        cell += c;
        cellStart = false;
        ++i;
    }
    if (!cellStart || !record.empty()) {
        record.push_back(std::move(cell));
        records.push_back(std::move(record));
    }
    return true;
}

} // namespace FuzzSupport

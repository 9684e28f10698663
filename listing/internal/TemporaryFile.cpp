#include "listing/internal/TemporaryFile.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Ascii.h"
#include "base/LongPath.h"

namespace Listing::Detail {

namespace {

std::string ToHex(std::uint64_t value)
{
    std::string text;
    for (int shift = 56; shift >= 0; shift -= 8) {
        Ascii::AppendHex(text, static_cast<unsigned char>(value >> shift));
    }
    return text;
}

} // namespace

TemporaryFileError::TemporaryFileError(const char* action, const std::string& fileName, int error)
    : IoError(DescribeIoFailure(action, fileName, error)), m_error(error)
{
}

TemporaryFile::TemporaryFile(int folder, const std::string& target, const std::string& fileName,
                             mode_t mode)
    : m_folder(folder)
{
    // Short enough for any file system, recognisable when seen.
    // Appended, not joined with operator+: g++ 12 at -O3 warns falsely
    // (-Wrestrict) on a literal plus a temporary.
    std::string stem(1, '.');
    stem.append(target, 0, 180);
    stem += ".sonorix-";
    const auto seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // From the name's registration until the file is identified.
    const SignalCleanup::HoldBack heldBack;
    int error = EEXIST;
    for (std::uint64_t attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        m_name = stem + ToHex((seed ^ (static_cast<std::uint64_t>(::getpid()) << 32)) +
                              attempt * 0x9E3779B97F4A7C15ULL);
        // Registered before it exists, so no moment is left in which
        // a signal would leave it behind.
        m_registration.reset();
        m_registration.emplace(folder, m_name.c_str());
        // A handler that began before the registration may have looked
        // already: no file is made once the program is ending.
        if (SignalCleanup::Ending()) {
            m_name.clear();
            throw TemporaryFileError("write", fileName, EINTR);
        }
        error = LongPath::Open(folder, m_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, m_fd, mode);
    }
    struct stat status = {};
    if (error == 0 && ::fstat(m_fd.Get(), &status) != 0) {
        error = errno;
        ::unlinkat(m_folder, m_name.c_str(), 0);
    }
    if (error != 0) {
        m_name.clear();
        throw TemporaryFileError("open", fileName, error);
    }
    if (!m_registration->Identify(status.st_dev, status.st_ino)) {
        // The program is being ended by a signal whose handler may have
        // looked before this file was there.
        ::unlinkat(m_folder, m_name.c_str(), 0);
        m_name.clear();
        throw TemporaryFileError("write", fileName, EINTR);
    }
}

TemporaryFile::~TemporaryFile()
{
    if (!m_name.empty()) {
        ::unlinkat(m_folder, m_name.c_str(), 0);
    }
}

void TemporaryFile::Keep()
{
    m_name.clear();
    m_registration.reset();
}

} // namespace Listing::Detail

#pragma once

// A file made under a fresh hidden name beside the file it is to replace,
// removed again unless kept, also when a signal ends the program meanwhile:
// for the list and the scan cache, each renamed into place only when whole.
// Not part of the listing library's interface.

#include <optional>
#include <string>
#include <sys/types.h>

#include "base/IoError.h"
#include "base/SignalCleanup.h"
#include "base/UniqueFd.h"

namespace Listing::Detail {

// A temporary file that could not be made: the text names the file it was
// for; Error() is the system's error.
class TemporaryFileError : public IoError
{
public:
    TemporaryFileError(const char* action, const std::string& fileName, int error);

    [[nodiscard]] int Error() const { return m_error; }

private:
    int m_error;
};

class TemporaryFile
{
public:
    // Makes ".<target>.sonorix-<hex>" in the open folder (which must stay
    // open meanwhile) with mode (before the umask). Throws TemporaryFileError
    // naming fileName when no such file can be made.
    TemporaryFile(int folder, const std::string& target, const std::string& fileName,
                  mode_t mode = 0666);

    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    ~TemporaryFile();

    [[nodiscard]] const std::string& Name() const { return m_name; }

    // The descriptor, once; the file stays until Keep.
    [[nodiscard]] UniqueFd TakeFd() { return std::move(m_fd); }

    [[nodiscard]] int Fd() const { return m_fd.Get(); }

    // The file was renamed into place: it is no longer ours to remove.
    void Keep();

private:
    int m_folder;
    std::string m_name{};
    UniqueFd m_fd{};
    std::optional<SignalCleanup::Registration> m_registration{};
};

} // namespace Listing::Detail

#include "tests/support/TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/IoError.h"

namespace TestSupport {

namespace {

// Removes everything inside the open folder, relative to it, so trees whose
// paths are longer than the system takes in one call go too.
void EmptyFolder(int folder)
{
    std::vector<std::string> names;
    if (DIR* listing = ::fdopendir(::dup(folder))) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(listing);
    }
    for (const std::string& name : names) {
        struct stat status = {};
        if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(status.st_mode)) {
            // A folder that stays locked fails the removal below, which says so.
            const bool unlocked = ::fchmodat(folder, name.c_str(), 0700, 0) == 0;
            static_cast<void>(unlocked);
            const int inner =
                ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner >= 0) {
                EmptyFolder(inner);
                ::close(inner);
            }
            ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(folder, name.c_str(), 0);
        }
    }
}

} // namespace

TempDir::TempDir(const std::string& prefix)
{
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error(DescribeIoFailure("create a temporary folder", pattern, errno));
    }
    m_path = buffer.data();
}

TempDir::~TempDir() { Remove(); }

TempDir::TempDir(TempDir&& other) noexcept : m_path(std::exchange(other.m_path, {})) {}

TempDir& TempDir::operator=(TempDir&& other) noexcept
{
    if (this != &other) {
        Remove();
        m_path = std::exchange(other.m_path, {});
    }
    return *this;
}

std::string TempDir::File(const std::string& name) const { return m_path + "/" + name; }

void TempDir::Remove() noexcept
{
    if (m_path.empty()) {
        return;
    }
    // Tests take permissions away to provoke read errors; give them back so
    // that everything below can be removed.
    ::chmod(m_path.c_str(), 0700);
    const int folder = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        EmptyFolder(folder);
        ::close(folder);
    }
    ::rmdir(m_path.c_str());
    m_path.clear();
}

} // namespace TestSupport

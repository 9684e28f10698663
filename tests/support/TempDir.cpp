#include "tests/support/TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "base/IoError.h"

namespace TestSupport {

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
    namespace fs = std::filesystem;
    std::error_code error;
    // Tests take permissions away to provoke read errors; give them back so
    // that everything below can be removed.
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, error);
    for (fs::recursive_directory_iterator it(m_path, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
    }
    fs::remove_all(m_path, error);
    m_path.clear();
}

} // namespace TestSupport

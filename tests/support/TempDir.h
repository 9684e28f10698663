#pragma once

// A fresh folder under /tmp (mkdtemp) that is removed with everything in it
// when the object goes. Not copyable; movable.

#include <string>

namespace TestSupport {

class TempDir
{
public:
    // Throws std::runtime_error when the folder cannot be made.
    explicit TempDir(const std::string& prefix = "sonorix-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    TempDir(TempDir&& other) noexcept;
    TempDir& operator=(TempDir&& other) noexcept;

    // The folder, without a trailing "/".
    const std::string& Path() const { return m_path; }

    // Path() + "/" + name; nothing is created.
    std::string File(const std::string& name) const;

private:
    void Remove() noexcept;

    std::string m_path{};
};

} // namespace TestSupport

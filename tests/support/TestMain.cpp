// The main of every GoogleTest program: each test case runs with HOME,
// XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_CACHE_HOME in a fresh folder of its
// own, removed after it, so cases of one program never share a settings
// store, a desktop entry or a scan cache, whatever order or parallelism CTest chooses.

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

#include "tests/support/TempDir.h"

namespace {

class FreshHomePerTest : public testing::EmptyTestEventListener
{
public:
    void OnTestStart(const testing::TestInfo&) override
    {
        m_dir = std::make_unique<TestSupport::TempDir>("sonorix-case");
        // Readable by all, so a child run as another user can still reach it.
        ::chmod(m_dir->Path().c_str(), 0755);
        for (const auto& [name, folder] :
             {std::pair{"HOME", "home"}, std::pair{"XDG_CONFIG_HOME", "config"},
              std::pair{"XDG_DATA_HOME", "data"}, std::pair{"XDG_CACHE_HOME", "cache"}}) {
            const std::string path = m_dir->File(folder);
            ::mkdir(path.c_str(), 0755);
            ::setenv(name, path.c_str(), 1);
        }
    }

    void OnTestEnd(const testing::TestInfo&) override { m_dir.reset(); }

private:
    std::unique_ptr<TestSupport::TempDir> m_dir{};
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshHomePerTest);
    return RUN_ALL_TESTS();
}

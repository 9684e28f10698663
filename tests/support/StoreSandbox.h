#pragma once

// A private settings store for one test: HOME, XDG_CONFIG_HOME,
// XDG_DATA_HOME and XDG_CACHE_HOME point into a fresh temporary folder while
// the object lives, so tests running in parallel never share a store (or a
// scan cache). Sql() and Count() reach
// the database directly, as another tool (the sqlite3 shell) would.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "settings/RegTools.h"
#include "tests/support/TempDir.h"

namespace TestSupport {

class StoreSandbox
{
public:
    StoreSandbox()
    {
        for (const auto& [name, folder] :
             {std::pair{"HOME", "home"}, std::pair{"XDG_CONFIG_HOME", "config"},
              std::pair{"XDG_DATA_HOME", "data"}, std::pair{"XDG_CACHE_HOME", "cache"}}) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            const std::string path = m_dir.File(folder);
            ::mkdir(path.c_str(), 0700);
            ::setenv(name, path.c_str(), 1);
        }
    }

    ~StoreSandbox()
    {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

    StoreSandbox(const StoreSandbox&) = delete;
    StoreSandbox& operator=(const StoreSandbox&) = delete;

    std::string Root() const { return m_dir.Path(); }

    std::string Home() const { return m_dir.File("home"); }

    std::string ConfigHome() const { return m_dir.File("config"); }

    std::string DataHome() const { return m_dir.File("data"); }

    std::string CacheHome() const { return m_dir.File("cache"); }

    std::string StoreFile() const { return ConfigHome() + "/sonorix/registry.db"; }

    void Sql(const std::string& sql) const
    {
        Connection db(StoreFile());
        char* message = nullptr;
        if (sqlite3_exec(db.Get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "unknown error";
            sqlite3_free(message);
            throw std::runtime_error(sql + ": " + text);
        }
    }

    // The first column of the first row, as an integer.
    std::int64_t Count(const std::string& sql) const
    {
        Connection db(StoreFile());
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db.Get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sql + ": " + sqlite3_errmsg(db.Get()));
        }
        const bool row = sqlite3_step(statement) == SQLITE_ROW;
        const std::int64_t value = row ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_finalize(statement);
        return value;
    }

private:
    class Connection
    {
    public:
        explicit Connection(const std::string& file)
        {
            if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
                const std::string text = sqlite3_errmsg(m_db);
                sqlite3_close(m_db);
                throw std::runtime_error(file + ": " + text);
            }
            sqlite3_busy_timeout(m_db, 5000);
        }

        ~Connection() { sqlite3_close(m_db); }

        Connection(const Connection&) = delete;
        Connection& operator=(const Connection&) = delete;

        sqlite3* Get() const { return m_db; }

    private:
        sqlite3* m_db = nullptr;
    };

    TempDir m_dir{"sonorix-store"};
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved{};
};

// A whole file; nullopt when it cannot be opened (so a missing file is told
// apart from an empty one).
inline std::optional<std::string> ReadFileIfExists(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Values under the product key, as the program reads and writes them.
inline std::string StoredText(const std::string& name)
{
    return RegTools::ReadRegString(RegTools::kVendor, RegTools::kProduct, name);
}

inline void StoreText(const std::string& name, const std::string& text)
{
    RegTools::WriteRegString(RegTools::kVendor, RegTools::kProduct, name, text);
}

inline bool IsStored(const std::string& name)
{
    return RegTools::RegValueExists(RegTools::kVendor, RegTools::kProduct, name);
}

} // namespace TestSupport

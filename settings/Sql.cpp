#include "settings/internal/Sql.h"

#include <sqlite3.h>

#include "settings/internal/LockWait.h"

namespace RegTools::Detail {

[[noreturn]] void ThrowLast(sqlite3* db)
{
    throw SqlError(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        ThrowLast(db);
    }
}

Statement::Statement(sqlite3* db, const char* sql) : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        ThrowLast(db);
    }
}

Statement::~Statement() { sqlite3_finalize(m_stmt); }

Statement& Statement::Bind(int index, const std::string& text)
{
    Check(sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), nullptr, SQLITE_UTF8));
    return *this;
}

Statement& Statement::Bind(int index, const char* text)
{
    Check(sqlite3_bind_text(m_stmt, index, text, -1, nullptr));
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t value)
{
    Check(sqlite3_bind_int64(m_stmt, index, value));
    return *this;
}

bool Statement::Step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        ThrowLast(m_db);
    }
    return false;
}

int Statement::Type(int column) const { return sqlite3_column_type(m_stmt, column); }

std::int64_t Statement::Integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::string Statement::Text(int column) const
{
    const auto* text = sqlite3_column_text(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (text == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

void Statement::Check(int rc)
{
    if (rc != SQLITE_OK) {
        ThrowLast(m_db);
    }
}

bool SqlError::IsDamage() const
{
    const int primary = m_code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool SqlError::IsBusy() const
{
    const int primary = m_code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool SqlError::IsReadOnly() const { return (m_code & 0xFF) == SQLITE_READONLY; }

std::string StoreProblem(const SqlError& error)
{
    if (error.IsBusy()) {
        return "was locked by another process for more than " + std::to_string(kLockWait.count()) +
               " seconds";
    }
    if (error.IsReadOnly()) {
        return std::string("cannot be written: ") + error.what();
    }
    return std::string("failed: ") + error.what();
}

} // namespace RegTools::Detail

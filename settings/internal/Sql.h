#pragma once

// The thin layer over SQLite's C interface that the store is written in: the
// error of a failed call, and a prepared statement.

#include <cstdint>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace RegTools::Detail {

// A failed SQLite call. Operations turn it into the StoreError text that
// fits what they were doing.
class SqlError : public std::runtime_error
{
public:
    SqlError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}

    int Code() const { return m_code; }

    // The file is not a database, or its content is broken.
    bool IsDamage() const;
    // Another connection holds a lock this one needs.
    bool IsBusy() const;
    // The store cannot be written; the text says why.
    bool IsReadOnly() const;

private:
    int m_code;
};

// Why the settings store failed, after its name in an error text: "was
// locked by another process for more than 5 seconds", "cannot be written:
// Permission denied", ...
std::string StoreProblem(const SqlError& error);

// Throws the connection's last error.
[[noreturn]] void ThrowLast(sqlite3* db);

// Runs SQL text that returns no rows.
void Exec(sqlite3* db, const char* sql);

// Texts are bound without a copy (destructor nullptr): every bound string
// outlives the statement's steps.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, const std::string& text);
    Statement& Bind(int index, const char* text);
    Statement& Bind(int index, std::int64_t value);

    // True while there is a row.
    bool Step();

    int Type(int column) const;
    std::int64_t Integer(int column) const;
    std::string Text(int column) const;

private:
    void Check(int rc);

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace RegTools::Detail

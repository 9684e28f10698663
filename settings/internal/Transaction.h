#pragma once

// The statements of one operation inside its transaction: keys found or
// created by path, and typed values read, written and deleted.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace RegTools::Detail {

enum class Hive
{
    Machine,     // the settings
    ClassesRoot, // folder and file type verbs
};

// A key path split at "\": leading and trailing separators are dropped;
// nullopt when a name inside is empty ("a\\b"), which no key can have.
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path);

struct StoredValue
{
    bool IsInteger = false;
    std::string Text{};          // string values, cut at the first NUL
    std::int64_t Integer = 0;    // integer values
    bool IntegerReadable = true; // false when an 'integer' row holds no number
};

// The id of a key that is missing and may not be created because the store
// cannot be written: it holds no values and no sub-keys.
inline constexpr std::int64_t kNoKey = -1;

// The statements one operation runs inside its transaction. On a store that
// cannot be written, a key that would be created on the way is kNoKey, and
// only a change that is really needed fails: deleting what is missing and
// storing a value as it is stored already succeed.
class Transaction
{
public:
    // cannotWrite: empty when the store can be written, else why not.
    Transaction(sqlite3* db, const std::string& cannotWrite) : m_db(db), m_cannotWrite(cannotWrite)
    {
    }

    std::optional<std::int64_t> FindKey(Hive hive, const std::vector<std::string>& path,
                                        std::int64_t from = 0);
    // Creates every missing key on the way; returns the last one.
    std::int64_t CreateKey(Hive hive, const std::vector<std::string>& path);
    std::optional<StoredValue> GetValue(std::int64_t keyId, const std::string& name);
    void PutString(std::int64_t keyId, const std::string& name, const std::string& text);
    void PutInteger(std::int64_t keyId, const std::string& name, std::int32_t value);
    void DeleteValue(std::int64_t keyId, const std::string& name);
    // The key, its sub-keys at every depth, and all their values.
    void DeleteKeyTree(std::int64_t keyId);
    // Throws the read-only SqlError when the store cannot be written.
    void MustWrite() const;

private:
    sqlite3* m_db;
    const std::string& m_cannotWrite;
};

} // namespace RegTools::Detail

#include "settings/internal/Transaction.h"

#include <sqlite3.h>

#include "settings/internal/Sql.h"

namespace RegTools::Detail {

namespace {

const char* HiveName(Hive hive) { return hive == Hive::Machine ? "machine" : "classes_root"; }

std::string CutAtNul(const std::string& text) { return text.substr(0, text.find('\0')); }

std::optional<std::int64_t> FindChild(sqlite3* db, Hive hive, std::int64_t parent,
                                      const std::string& name)
{
    Statement find(db, "SELECT id FROM reg_keys WHERE hive = ?1 AND parent = ?2 AND name = ?3");
    find.Bind(1, HiveName(hive)).Bind(2, parent).Bind(3, name);
    if (find.Step()) {
        return find.Integer(0);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path)
{
    std::size_t begin = 0;
    std::size_t end = path.size();
    while (begin < end && path[begin] == '\\') {
        ++begin;
    }
    while (end > begin && path[end - 1] == '\\') {
        --end;
    }
    std::vector<std::string> names;
    if (begin == end) {
        return names;
    }
    while (true) {
        const std::size_t split = path.find('\\', begin);
        const std::size_t stop = split == std::string::npos || split > end ? end : split;
        if (stop == begin) {
            return std::nullopt;
        }
        names.push_back(path.substr(begin, stop - begin));
        if (stop == end) {
            return names;
        }
        begin = stop + 1;
    }
}

std::optional<std::int64_t> Transaction::FindKey(Hive hive, const std::vector<std::string>& path,
                                                 std::int64_t from)
{
    if (from == kNoKey) {
        return std::nullopt;
    }
    std::int64_t id = from;
    for (const auto& name : path) {
        const auto child = FindChild(m_db, hive, id, name);
        if (!child) {
            return std::nullopt;
        }
        id = *child;
    }
    return id;
}

std::int64_t Transaction::CreateKey(Hive hive, const std::vector<std::string>& path)
{
    std::int64_t id = 0;
    for (const auto& name : path) {
        if (const auto child = FindChild(m_db, hive, id, name)) {
            id = *child;
            continue;
        }
        if (!m_cannotWrite.empty()) {
            return kNoKey;
        }
        Statement insert(m_db, "INSERT INTO reg_keys (hive, parent, name) VALUES (?1, ?2, ?3)");
        insert.Bind(1, HiveName(hive)).Bind(2, id).Bind(3, name).Step();
        id = sqlite3_last_insert_rowid(m_db);
    }
    return id;
}

std::optional<StoredValue> Transaction::GetValue(std::int64_t keyId, const std::string& name)
{
    Statement select(m_db, "SELECT type, data FROM reg_values WHERE key_id = ?1 AND name = ?2");
    select.Bind(1, keyId).Bind(2, name);
    if (!select.Step()) {
        return std::nullopt;
    }
    StoredValue value;
    value.IsInteger = select.Text(0) == "integer";
    if (value.IsInteger) {
        value.IntegerReadable = select.Type(1) == SQLITE_INTEGER;
        value.Integer = select.Integer(1);
    } else {
        value.Text = CutAtNul(select.Text(1));
    }
    return value;
}

void Transaction::PutString(std::int64_t keyId, const std::string& name, const std::string& text)
{
    // An existing value keeps the letter case of its name, as in the registry.
    const std::string stored = CutAtNul(text);
    // Storing what is stored already needs no write.
    if (!m_cannotWrite.empty()) {
        const auto value = GetValue(keyId, name);
        if (value && !value->IsInteger && value->Text == stored) {
            return;
        }
    }
    MustWrite();
    Statement upsert(m_db, "INSERT INTO reg_values (key_id, name, type, data) "
                           "VALUES (?1, ?2, 'string', ?3) ON CONFLICT (key_id, name) "
                           "DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.Bind(1, keyId).Bind(2, name).Bind(3, stored).Step();
}

void Transaction::PutInteger(std::int64_t keyId, const std::string& name, std::int32_t value)
{
    // Storing what is stored already needs no write.
    if (!m_cannotWrite.empty()) {
        const auto stored = GetValue(keyId, name);
        if (stored && stored->IsInteger && stored->IntegerReadable && stored->Integer == value) {
            return;
        }
    }
    MustWrite();
    Statement upsert(m_db, "INSERT INTO reg_values (key_id, name, type, data) "
                           "VALUES (?1, ?2, 'integer', ?3) ON CONFLICT (key_id, name) "
                           "DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.Bind(1, keyId).Bind(2, name).Bind(3, std::int64_t{value}).Step();
}

void Transaction::DeleteValue(std::int64_t keyId, const std::string& name)
{
    // Removing what is not there needs no write.
    if (!m_cannotWrite.empty() && !GetValue(keyId, name)) {
        return;
    }
    MustWrite();
    Statement erase(m_db, "DELETE FROM reg_values WHERE key_id = ?1 AND name = ?2");
    erase.Bind(1, keyId).Bind(2, name).Step();
}

void Transaction::DeleteKeyTree(std::int64_t keyId)
{
    MustWrite();
    constexpr const char* kTree =
        "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL "
        "SELECT k.id FROM reg_keys AS k JOIN tree ON k.parent = tree.id) ";
    Statement values(
        m_db, (std::string(kTree) + "DELETE FROM reg_values WHERE key_id IN (SELECT id FROM tree)")
                  .c_str());
    values.Bind(1, keyId).Step();
    Statement keys(
        m_db,
        (std::string(kTree) + "DELETE FROM reg_keys WHERE id IN (SELECT id FROM tree)").c_str());
    keys.Bind(1, keyId).Step();
}

void Transaction::MustWrite() const
{
    if (!m_cannotWrite.empty()) {
        throw SqlError(SQLITE_READONLY, m_cannotWrite);
    }
}

} // namespace RegTools::Detail

#pragma once

// Shared by the settings and the verb operations: the error texts and the
// frame every operation runs in (open the store, do one thing, close it).

#include <memory>
#include <string>
#include <vector>

#include "settings/RegTools.h"
#include "settings/internal/Store.h"

namespace RegTools::Detail {

std::string ReadErrorText(const std::string& name);  // "Konnte Daten für '%s' nicht holen"
std::string WriteErrorText(const std::string& name); // "Konnte Daten für '%s' nicht setzen"
std::string TypeErrorText(const std::string& name);  // "Ungültiger Datentyp für '%s'"

// What an operation was doing when SQLite failed, which picks the text the
// user sees: reading or writing a named value gives the registry's fixed
// text followed by the file and the reason, anything else names the file and
// the reason.
enum class Failure
{
    Read,
    Write,
    Access,
};

StoreError Translate(const std::string& file, const SqlError& error, Failure kind,
                     const std::string& name);

// SplitKeyPath, or StoreError for a path with an empty key name inside.
std::vector<std::string> KeyPathOrThrow(const std::string& path);

// The connection one operation runs on: the thread's store batch's,
// opened on first use, or else one of its own that closes with it.
class StoreUse
{
public:
    explicit StoreUse(const std::string& file);
    ~StoreUse();
    StoreUse(const StoreUse&) = delete;
    StoreUse& operator=(const StoreUse&) = delete;

    StoreLink& Link() { return *m_link; }

    // The store failed: a batch's connection is not used again.
    void Failed() noexcept;

private:
    std::unique_ptr<StoreLink> m_own{};
    StoreLink* m_link = nullptr;
};

// Opens the store (or takes the batch's connection), runs op(StoreLink&)
// and closes the store again, also when op throws. A damaged store is
// reported as such whatever op was doing.
template <class Op> auto WithStore(Failure kind, const std::string& name, Op&& op)
{
    StoreUse use(StoreFilePath());
    try {
        return op(use.Link());
    } catch (const SqlError& error) {
        StoreError translated = Translate(use.Link().File(), error, kind, name);
        use.Failed();
        throw translated;
    }
}

} // namespace RegTools::Detail

#pragma once

// Shared by the settings and the verb operations: the error texts and the
// frame every operation runs in (open the store, do one thing, close it).

#include <string>
#include <vector>

#include "settings/RegTools.h"
#include "settings/internal/Store.h"

namespace RegTools::detail {

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

// Opens the store, runs op(StoreLink&) and closes the store again, also when
// op throws. A damaged store is reported as such whatever op was doing.
template <class Op> auto WithStore(Failure kind, const std::string& name, Op&& op)
{
    StoreLink link(StoreFilePath());
    try {
        return op(link);
    } catch (const SqlError& error) {
        throw Translate(link.File(), error, kind, name);
    }
}

} // namespace RegTools::detail

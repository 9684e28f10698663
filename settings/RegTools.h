#pragma once

// The settings store: named string and 32-bit integer values under keys, with
// the registry's semantics (case-insensitive names, create-on-open, typed
// values), kept in one SQLite database file. Every operation is one
// transaction (on a connection of its own, or its thread's StoreBatch's),
// so two Sonorix processes never lose each other's writes and a crash never
// leaves half a value.

#include <stdexcept>
#include <string>
#include <vector>

namespace RegTools {

inline constexpr const char* kVendor = "Brightfold";
inline constexpr const char* kProduct = "Sonorix";

// A store that cannot be opened, is damaged, or refuses a read or write. The
// texts of failed value operations begin with the fixed ones ("Konnte Daten
// für '%s' nicht setzen", ...), followed by the database file and the reason
// when the store itself failed; others name the file and the reason.
class StoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// $XDG_CONFIG_HOME/sonorix/registry.db, or ~/.config/sonorix/registry.db.
std::string StoreFilePath();

// While one lives on a thread, the store operations of that thread share one
// connection instead of opening the store each time; every operation is
// still a transaction of its own. For runs of operations, such as loading a
// profile, which would otherwise open and check the file dozens of times.
// Batches nest; the connection closes with the outermost one.
class StoreBatch
{
public:
    StoreBatch();
    ~StoreBatch();
    StoreBatch(const StoreBatch&) = delete;
    StoreBatch& operator=(const StoreBatch&) = delete;
};

// The machine hive, settings key "Software\<vendor>\<product>". Every
// operation except RegKeyExists and DeleteRegKey creates the settings key
// when it is missing; those two create only the vendor key. On a store that
// cannot be written nothing is created, and a missing key holds no values.
//
// What a read gives, as the registry gives it:
// - a missing value: ReadRegString gives "", ReadRegBool throws
//   "Konnte Daten für '<name>' nicht holen", DeleteRegValue does nothing and
//   RegValueExists is false; callers that want a default ask RegValueExists
//   first;
// - an integer read by ReadRegString: "Ungültiger Datentyp für '<name>'";
// - a string read by ReadRegBool: the type error when it fits a four-byte
//   buffer with its NUL (at most three bytes), else the read error;
// - an integer row that holds no number, or one outside both the signed and
//   the unsigned 32-bit range (written by another tool): the read error.
//   Any other integer is true when it is not 0.
// Strings are stored and read up to their first NUL.
void CreateRegKey(const std::string& vendor, const std::string& product);
bool RegKeyExists(const std::string& vendor, const std::string& product);
void DeleteRegKey(const std::string& vendor, const std::string& product);
bool RegValueExists(const std::string& vendor, const std::string& product, const std::string& name);
void WriteRegString(const std::string& vendor, const std::string& product, const std::string& name,
                    const std::string& text);
std::string ReadRegString(const std::string& vendor, const std::string& product,
                          const std::string& name);
void WriteRegBool(const std::string& vendor, const std::string& product, const std::string& name,
                  bool flag);
bool ReadRegBool(const std::string& vendor, const std::string& product, const std::string& name);
void DeleteRegValue(const std::string& vendor, const std::string& product, const std::string& name);

// Stored lists: every item followed by CR LF. Splitting accepts CR LF, lone CR
// and lone LF; a final break adds no item; a NUL ends the text.
std::vector<std::string> SplitList(const std::string& text);
std::string JoinList(const std::vector<std::string>& items);

// Folder context-menu verbs in the class-root hive, plus the desktop entry
// $XDG_DATA_HOME/applications/sonorix-folder.desktop for the "Folder" verb.
void RegisterShellVerb(const std::string& keyClass, const std::string& verb,
                       const std::string& programPath);
void UnregisterShellVerb(const std::string& keyClass, const std::string& verb);
std::string ResolveFileType(const std::string& extension, const std::string& fallback);

// $XDG_DATA_HOME/applications/sonorix-folder.desktop, or the same under
// ~/.local/share.
std::string DesktopEntryPath();

// Reads of the class-root hive that create nothing, for looking at what the
// verb operations left behind. A missing key or value reads as false or "";
// an integer value read as string raises the type error.
bool ClassRootKeyExists(const std::string& keyPath);
std::string ReadClassRootString(const std::string& keyPath, const std::string& name);

} // namespace RegTools

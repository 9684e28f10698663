#include "settings/RegTools.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "settings/internal/Paths.h"
#include "settings/internal/RegToolsInternal.h"
#include "settings/internal/Store.h"

namespace RegTools {

namespace Detail {

std::string ReadErrorText(const std::string& name)
{
    return "Konnte Daten für '" + name + "' nicht holen";
}

std::string WriteErrorText(const std::string& name)
{
    return "Konnte Daten für '" + name + "' nicht setzen";
}

std::string TypeErrorText(const std::string& name)
{
    return "Ungültiger Datentyp für '" + name + "'";
}

StoreError Translate(const std::string& file, const SqlError& error, Failure kind,
                     const std::string& name)
{
    if (error.IsDamage()) {
        return StoreError("The settings store '" + file + "' is damaged: " + error.what());
    }
    const std::string problem = "the settings store '" + file + "' " + StoreProblem(error);
    switch (kind) {
    case Failure::Read:
        return StoreError(ReadErrorText(name) + ": " + problem);
    case Failure::Write:
        return StoreError(WriteErrorText(name) + ": " + problem);
    case Failure::Access:
        break;
    }
    return StoreError("The settings store '" + file + "' " + StoreProblem(error));
}

namespace {

// The store batch of this thread: how many are open, and the connection
// they share once an operation has opened it.
struct BatchState
{
    int Depth = 0;
    std::unique_ptr<StoreLink> Link{};
};

thread_local BatchState t_batch;

} // namespace

StoreUse::StoreUse(const std::string& file)
{
    if (t_batch.Depth == 0) {
        m_own = std::make_unique<StoreLink>(file);
        m_link = m_own.get();
        return;
    }
    if (!t_batch.Link || t_batch.Link->File() != file) {
        t_batch.Link.reset();
        t_batch.Link = std::make_unique<StoreLink>(file);
    } else {
        t_batch.Link->RestartLockWait();
    }
    m_link = t_batch.Link.get();
}

StoreUse::~StoreUse()
{
    // A connection that holds the store locked for itself is not kept.
    if (!m_own && t_batch.Link && !t_batch.Link->Shareable()) {
        t_batch.Link.reset();
    }
}

void StoreUse::Failed() noexcept
{
    if (!m_own) {
        t_batch.Link.reset();
    }
}

std::vector<std::string> KeyPathOrThrow(const std::string& path)
{
    auto names = SplitKeyPath(path);
    if (!names) {
        throw StoreError("Invalid key name '" + path + "': a key name inside is empty");
    }
    return std::move(*names);
}

} // namespace Detail

using Detail::Hive;
using Detail::StoredValue;
using Detail::StoreLink;
using Detail::Transaction;

namespace {

std::vector<std::string> VendorPath(const std::string& vendor)
{
    return Detail::KeyPathOrThrow("Software\\" + vendor);
}

std::vector<std::string> SettingsPath(const std::string& vendor, const std::string& product)
{
    return Detail::KeyPathOrThrow("Software\\" + vendor + "\\" + product);
}

// The registry hands out a DWORD through a four-byte buffer: a string that
// fits (with its NUL) is the wrong type, anything longer cannot be read at all.
bool BoolFrom(const std::optional<StoredValue>& value, const std::string& name)
{
    if (!value) {
        throw StoreError(Detail::ReadErrorText(name));
    }
    if (!value->IsInteger) {
        if (value->Text.size() + 1 <= 4) {
            throw StoreError(Detail::TypeErrorText(name));
        }
        throw StoreError(Detail::ReadErrorText(name));
    }
    constexpr auto kLowest = std::int64_t{std::numeric_limits<std::int32_t>::min()};
    constexpr auto kHighest = std::int64_t{std::numeric_limits<std::uint32_t>::max()};
    if (!value->IntegerReadable || value->Integer < kLowest || value->Integer > kHighest) {
        throw StoreError(Detail::ReadErrorText(name));
    }
    return value->Integer != 0;
}

std::string StringFrom(const std::optional<StoredValue>& value, const std::string& name)
{
    if (!value) {
        return {};
    }
    if (value->IsInteger) {
        throw StoreError(Detail::TypeErrorText(name));
    }
    return value->Text;
}

} // namespace

void CreateRegKey(const std::string& vendor, const std::string& product)
{
    const auto path = SettingsPath(vendor, product);
    Detail::WithStore(Detail::Failure::Access, "", [&](StoreLink& link) {
        link.ReadOrCreate(Hive::Machine, path, [](Transaction& txn, std::int64_t id) {
            if (id == Detail::kNoKey) {
                txn.MustWrite();
            }
            return true;
        });
    });
}

bool RegKeyExists(const std::string& vendor, const std::string& product)
{
    const auto vendorPath = VendorPath(vendor);
    const auto productPath = Detail::KeyPathOrThrow(product);
    return Detail::WithStore(Detail::Failure::Access, "", [&](StoreLink& link) {
        return link.ReadOrCreate(
            Hive::Machine, vendorPath, [&](Transaction& txn, std::int64_t vendorId) {
                return txn.FindKey(Hive::Machine, productPath, vendorId).has_value();
            });
    });
}

void DeleteRegKey(const std::string& vendor, const std::string& product)
{
    const auto vendorPath = VendorPath(vendor);
    const auto productPath = Detail::KeyPathOrThrow(product);
    Detail::WithStore(Detail::Failure::Access, "", [&](StoreLink& link) {
        link.Write([&](Transaction& txn) {
            const auto vendorId = txn.CreateKey(Hive::Machine, vendorPath);
            // An empty product names the vendor key itself, which stays.
            if (!productPath.empty()) {
                if (const auto id = txn.FindKey(Hive::Machine, productPath, vendorId)) {
                    txn.DeleteKeyTree(*id);
                }
            }
            return true;
        });
    });
}

bool RegValueExists(const std::string& vendor, const std::string& product, const std::string& name)
{
    const auto path = SettingsPath(vendor, product);
    return Detail::WithStore(Detail::Failure::Read, name, [&](StoreLink& link) {
        return link.ReadOrCreate(Hive::Machine, path, [&](Transaction& txn, std::int64_t id) {
            return txn.GetValue(id, name).has_value();
        });
    });
}

void WriteRegString(const std::string& vendor, const std::string& product, const std::string& name,
                    const std::string& text)
{
    const auto path = SettingsPath(vendor, product);
    Detail::WithStore(Detail::Failure::Write, name, [&](StoreLink& link) {
        link.Write([&](Transaction& txn) {
            txn.PutString(txn.CreateKey(Hive::Machine, path), name, text);
            return true;
        });
    });
}

std::string ReadRegString(const std::string& vendor, const std::string& product,
                          const std::string& name)
{
    const auto path = SettingsPath(vendor, product);
    return Detail::WithStore(Detail::Failure::Read, name, [&](StoreLink& link) {
        return link.ReadOrCreate(Hive::Machine, path, [&](Transaction& txn, std::int64_t id) {
            return StringFrom(txn.GetValue(id, name), name);
        });
    });
}

void WriteRegBool(const std::string& vendor, const std::string& product, const std::string& name,
                  bool flag)
{
    const auto path = SettingsPath(vendor, product);
    Detail::WithStore(Detail::Failure::Write, name, [&](StoreLink& link) {
        link.Write([&](Transaction& txn) {
            txn.PutInteger(txn.CreateKey(Hive::Machine, path), name, flag ? 1 : 0);
            return true;
        });
    });
}

bool ReadRegBool(const std::string& vendor, const std::string& product, const std::string& name)
{
    const auto path = SettingsPath(vendor, product);
    return Detail::WithStore(Detail::Failure::Read, name, [&](StoreLink& link) {
        return link.ReadOrCreate(Hive::Machine, path, [&](Transaction& txn, std::int64_t id) {
            return BoolFrom(txn.GetValue(id, name), name);
        });
    });
}

void DeleteRegValue(const std::string& vendor, const std::string& product, const std::string& name)
{
    const auto path = SettingsPath(vendor, product);
    Detail::WithStore(Detail::Failure::Access, name, [&](StoreLink& link) {
        link.Write([&](Transaction& txn) {
            txn.DeleteValue(txn.CreateKey(Hive::Machine, path), name);
            return true;
        });
    });
}

bool ClassRootKeyExists(const std::string& keyPath)
{
    const auto path = Detail::SplitKeyPath(keyPath);
    if (!path) {
        return false;
    }
    return Detail::WithStore(Detail::Failure::Access, "", [&](StoreLink& link) {
        return link.Read(
            [&](Transaction& txn) { return txn.FindKey(Hive::ClassesRoot, *path).has_value(); });
    });
}

std::string ReadClassRootString(const std::string& keyPath, const std::string& name)
{
    const auto path = Detail::SplitKeyPath(keyPath);
    if (!path) {
        return {};
    }
    return Detail::WithStore(Detail::Failure::Read, name, [&](StoreLink& link) {
        return link.Read([&](Transaction& txn) -> std::string {
            const auto id = txn.FindKey(Hive::ClassesRoot, *path);
            return id ? StringFrom(txn.GetValue(*id, name), name) : std::string();
        });
    });
}

StoreBatch::StoreBatch() { ++Detail::t_batch.Depth; }

StoreBatch::~StoreBatch()
{
    if (--Detail::t_batch.Depth == 0) {
        Detail::t_batch.Link.reset();
    }
}

std::string StoreFilePath()
{
    return Detail::XdgHome("XDG_CONFIG_HOME", ".config") + "/sonorix/registry.db";
}

} // namespace RegTools

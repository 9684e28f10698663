// The store shared by two processes, a process killed while it writes, a
// lock held by another process, store files that are not (whole) databases,
// and a store that its user may not write.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "settings/RegTools.h"
#include "tests/support/RunInChild.h"
#include "tests/support/StoreSandbox.h"

using namespace RegTools;
using testing::StartsWith;

namespace {

// Starts body in a child process; its Ending() is "exit 0" when body returns,
// its Output the error when body throws.
TestSupport::Child Spawn(const std::function<void()>& body)
{
    return TestSupport::Child([body] {
        body();
        return std::string();
    });
}

std::string Name(int writer, int index)
{
    return "Writer" + std::to_string(writer) + "Value" + std::to_string(index);
}

std::string Text(int index) { return "folder " + std::to_string(index) + "/\r\n"; }

TEST(StoreProcesses, TwoWritersAtOnceLoseNothing)
{
    TestSupport::StoreSandbox sandbox;
    constexpr int kCount = 500;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    // Both children wait at the gate, so they also race to create the store.
    auto writer = [&](int id) {
        return [&, id] {
            ::close(gate[1]);
            char c;
            // Opened when the parent closes its end: a byte or the end of the pipe.
            const ssize_t opened = ::read(gate[0], &c, 1);
            static_cast<void>(opened);
            for (int i = 0; i < kCount; ++i) {
                WriteRegString(kVendor, kProduct, Name(id, i), Text(i));
                if (ReadRegString(kVendor, kProduct, Name(id, i)) != Text(i)) {
                    throw std::runtime_error("read back a different text for " + Name(id, i));
                }
            }
        };
    };
    TestSupport::Child first = Spawn(writer(1));
    TestSupport::Child second = Spawn(writer(2));
    ::close(gate[0]);
    ::close(gate[1]);
    for (TestSupport::Child* child : {&first, &second}) {
        const TestSupport::ChildResult ended = child->Wait();
        EXPECT_EQ(ended.Ending(), "exit 0") << ended.Output;
    }

    EXPECT_EQ(sandbox.Count("SELECT count(*) FROM reg_values"), 2 * kCount);
    for (int id = 1; id <= 2; ++id) {
        for (int i = 0; i < kCount; ++i) {
            ASSERT_EQ(ReadRegString(kVendor, kProduct, Name(id, i)), Text(i)) << Name(id, i);
        }
    }
}

TEST(StoreProcesses, AKilledWriterLeavesEveryCompletedWrite)
{
    TestSupport::StoreSandbox sandbox;
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    TestSupport::Child child = Spawn([&] {
        ::close(report[0]);
        for (std::uint32_t i = 0;; ++i) {
            WriteRegString(kVendor, kProduct, Name(0, static_cast<int>(i)),
                           Text(static_cast<int>(i)));
            if (::write(report[1], &i, sizeof i) != sizeof i) {
                throw std::runtime_error("cannot report");
            }
        }
    });
    ::close(report[1]);

    // Kill the child in the middle of its burst, then take what it reported.
    std::int64_t last = -1;
    std::uint32_t index = 0;
    while (last < 300 && ::read(report[0], &index, sizeof index) == sizeof index) {
        last = index;
    }
    child.Kill(SIGKILL);
    EXPECT_EQ(child.Wait().Ending(), "signal " + std::to_string(SIGKILL));
    while (::read(report[0], &index, sizeof index) == sizeof index) {
        last = index;
    }
    ::close(report[0]);

    ASSERT_GE(last, 300);
    for (int i = 0; i <= last; ++i) {
        ASSERT_EQ(ReadRegString(kVendor, kProduct, Name(0, i)), Text(i)) << i;
    }
    WriteRegString(kVendor, kProduct, "After", "x");
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "After"), "x");
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The bytes of the store file with one letter of the value name changed in
// the index of the values only. Every page stays sound on its own; only
// comparing the index with its table shows the damage.
std::string WithIndexOutOfStep(const std::string& file, std::string bytes, const std::string& name)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* pages = nullptr;
    EXPECT_EQ(sqlite3_open_v2(("file:" + file + "?immutable=1").c_str(), &db,
                              SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT pageno, (SELECT page_size FROM pragma_page_size) FROM "
                                 "dbstat WHERE name = 'sqlite_autoindex_reg_values_1' AND "
                                 "pagetype = 'leaf'",
                                 -1, &pages, nullptr),
              SQLITE_OK);
    bool changed = false;
    while (!changed && sqlite3_step(pages) == SQLITE_ROW) {
        const auto size = static_cast<std::size_t>(sqlite3_column_int64(pages, 1));
        const auto start = static_cast<std::size_t>(sqlite3_column_int64(pages, 0) - 1) * size;
        const std::size_t at = bytes.find(name, start);
        if (at != std::string::npos && at + name.size() <= start + size) {
            bytes[at + name.size() - 1] = 'x';
            changed = true;
        }
    }
    sqlite3_finalize(pages);
    sqlite3_close(db);
    EXPECT_TRUE(changed) << name << " is in no leaf page of the index";
    return bytes;
}

TEST(StoreProcesses, ADamagedStoreIsNamedAndLeftAsItIs)
{
    TestSupport::StoreSandbox sandbox;
    for (int i = 0; i < 200; ++i) {
        WriteRegString(kVendor, kProduct, Name(0, i), std::string(100, 'v'));
    }
    const std::string file = sandbox.StoreFile();
    const std::string good = TestSupport::ReadFileIfExists(file).value();
    ASSERT_GT(good.size(), 8192u);

    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (auto& byte : noise) {
        byte = static_cast<char>(random());
    }
    std::string brokenPage = good;
    brokenPage.replace(good.size() / 8192 * 4096, 4096, 4096, '\xAB');
    const std::string inIndex = WithIndexOutOfStep(file, good, Name(0, 150));
    // The same broken page, with a log of a later write that the file
    // still awaits beside it.
    const std::string update = "PRAGMA wal_autocheckpoint = 0; UPDATE reg_values SET data = 'w' "
                               "WHERE name = '" +
                               Name(0, 199) + "'";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, update.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    const std::string log = TestSupport::ReadFileIfExists(file + "-wal").value();
    sqlite3_close(db);
    // Other programs' databases: one without a layout version, and two
    // that carry ours (1) without our tables.
    const auto foreign = [&](const std::string& name, const char* sql) {
        const std::string path = sandbox.Root() + "/" + name;
        sqlite3* other = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        return TestSupport::ReadFileIfExists(path).value();
    };
    const std::tuple<const char*, std::string, std::string> rows[] = {
        {"random bytes", noise, ""},
        {"one byte", "x", ""},
        {"a text file", "Source=/music\n", ""},
        {"a cut header", good.substr(0, 50), ""},
        {"a store cut behind its first page", good.substr(0, 4096), ""},
        {"a store with a broken page inside", brokenPage, ""},
        {"a broken page and a log", brokenPage, log},
        {"an index that no longer matches its table", inIndex, ""},
        {"another program's database", foreign("songs.db", "CREATE TABLE songs (title TEXT)"), ""},
        {"a database of our layout version without tables",
         foreign("versioned.db", "PRAGMA user_version = 1"), ""},
        {"a database of our layout version with tables of other columns",
         foreign("lookalike.db", "CREATE TABLE reg_keys (id INTEGER PRIMARY KEY); "
                                 "CREATE TABLE reg_values (key_id INTEGER); "
                                 "PRAGMA user_version = 1"),
         ""},
    };
    for (const auto& [what, bytes, wal] : rows) {
        SCOPED_TRACE(what);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            ::unlink((file + suffix).c_str());
        }
        WriteFile(file, bytes);
        if (!wal.empty()) {
            WriteFile(file + "-wal", wal);
        }
        const std::function<void()> actions[] = {
            [] { ReadRegString(kVendor, kProduct, Name(0, 1)); },
            [] { WriteRegString(kVendor, kProduct, "Source", "x"); },
            [] { RegKeyExists(kVendor, kProduct); },
        };
        for (const auto& action : actions) {
            try {
                action();
                ADD_FAILURE() << "no error";
            } catch (const StoreError& error) {
                EXPECT_THAT(error.what(),
                            StartsWith("The settings store '" + file + "' is damaged: "));
            }
            EXPECT_TRUE(TestSupport::ReadFileIfExists(file) == bytes) << "the file was changed";
            if (!wal.empty()) {
                EXPECT_TRUE(TestSupport::ReadFileIfExists(file + "-wal") == wal) << "log changed";
            } else {
                EXPECT_FALSE(std::filesystem::exists(file + "-wal")) << "a log was left beside it";
            }
            EXPECT_FALSE(std::filesystem::exists(file + "-shm")) << "an index was left beside it";
        }
    }
}

TEST(StoreProcesses, DamageAfterTheStoreWasFoundWholeIsFound)
{
    TestSupport::StoreSandbox sandbox;
    for (int i = 0; i < 200; ++i) {
        WriteRegString(kVendor, kProduct, Name(0, i), std::string(100, 'v'));
    }
    const std::string file = sandbox.StoreFile();
    // Once the file has rested for a moment, a check that finds it whole
    // is remembered.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(ReadRegString(kVendor, kProduct, Name(0, 1)), std::string(100, 'v'));

    // The same file, changed in place and keeping its size.
    const std::string damaged =
        WithIndexOutOfStep(file, TestSupport::ReadFileIfExists(file).value(), Name(0, 150));
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary) << damaged;
    try {
        ReadRegString(kVendor, kProduct, Name(0, 1));
        ADD_FAILURE() << "no error";
    } catch (const StoreError& error) {
        EXPECT_THAT(error.what(), StartsWith("The settings store '" + file + "' is damaged: "));
    }
}

// Another process that holds the store's write lock for holdMs: it sets up
// nothing, so on an empty file it holds the lock of a store not set up yet.
// Returns once the lock is held.
TestSupport::Child HoldWriteLock(const std::string& file, int holdMs)
{
    int ready[2];
    if (::pipe(ready) != 0) {
        return Spawn([] { throw std::runtime_error("no pipe"); });
    }
    TestSupport::Child holder = Spawn([&] {
        ::close(ready[0]);
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK ||
            ::write(ready[1], "x", 1) != 1) {
            throw std::runtime_error("cannot take the write lock");
        }
        ::usleep(static_cast<useconds_t>(holdMs) * 1000);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
    ::close(ready[1]);
    char c;
    if (::read(ready[0], &c, 1) != 1) {
        holder.Kill(SIGKILL);
    }
    ::close(ready[0]);
    return holder;
}

TEST(StoreProcesses, ALockOfAnotherProcessIsAwaitedForFiveSeconds)
{
    TestSupport::StoreSandbox sandbox;
    const std::string file = sandbox.StoreFile();

    struct Row
    {
        const char* What;
        bool SetUp;
        int HoldMs;
        bool Written;
    };

    const Row rows[] = {
        {"an empty store held before it is set up", false, 300, true},
        {"a store held for a moment", true, 300, true},
        {"a store held for longer than the wait", true, 9000, false},
    };
    for (const auto& [what, setUp, holdMs, written] : rows) {
        SCOPED_TRACE(what);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            ::unlink((file + suffix).c_str());
        }
        if (setUp) {
            WriteRegString(kVendor, kProduct, "Source", "old");
        } else {
            ::mkdir((sandbox.ConfigHome() + "/sonorix").c_str(), 0700);
            WriteFile(file, "");
        }
        TestSupport::Child holder = HoldWriteLock(file, holdMs);
        const auto start = std::chrono::steady_clock::now();
        std::string error = "no error";
        try {
            WriteRegString(kVendor, kProduct, "Source", "new");
        } catch (const StoreError& caught) {
            error = caught.what();
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        holder.Kill(SIGKILL);
        static_cast<void>(holder.Wait());
        if (written) {
            EXPECT_EQ(error, "no error");
            EXPECT_EQ(ReadRegString(kVendor, kProduct, "Source"), "new");
        } else {
            EXPECT_EQ(error, "Konnte Daten für 'Source' nicht setzen: the settings store '" + file +
                                 "' was locked by another process for more than 5 seconds");
            EXPECT_GE(waited, std::chrono::milliseconds(4900));
            EXPECT_LE(waited, std::chrono::milliseconds(6500));
        }
    }
}

// A batch shares its connection, not a transaction: every operation in it
// sees what another process wrote before it, waits for that process's lock,
// and is seen by it at once. (The children work on a thread of their own,
// outside the batch they were forked in.)
TEST(StoreProcesses, OperationsOfABatchStayTransactionsOfTheirOwn)
{
    TestSupport::StoreSandbox sandbox;
    const auto inChild = [](std::function<void()> body) {
        return Spawn([&] { std::thread(body).join(); }).Wait().Ending();
    };
    WriteRegString(kVendor, kProduct, "Source", "old");
    const StoreBatch batch;
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "Source"), "old");
    EXPECT_EQ(inChild([] { WriteRegString(kVendor, kProduct, "Source", "theirs"); }), "exit 0");
    EXPECT_EQ(ReadRegString(kVendor, kProduct, "Source"), "theirs");

    TestSupport::Child holder = HoldWriteLock(sandbox.StoreFile(), 300);
    EXPECT_NO_THROW(WriteRegString(kVendor, kProduct, "Source", "mine"));
    EXPECT_EQ(holder.Wait().Ending(), "exit 0");
    EXPECT_EQ(inChild([] {
                  if (ReadRegString(kVendor, kProduct, "Source") != "mine") {
                      std::abort();
                  }
              }),
              "exit 0");
}

constexpr uid_t kNobody = 65534;

// Runs step in a child process that, when the tests run as root, first
// becomes user "nobody" so that file permissions apply; gives what step
// returned, or "StoreError: " and the text of the error it threw.
std::string AsOrdinaryUser(const std::function<std::string()>& step)
{
    const TestSupport::ChildResult ended = TestSupport::RunInChild(
        [&] {
            try {
                return step();
            } catch (const StoreError& error) {
                return std::string("StoreError: ") + error.what();
            }
        },
        {.Unprivileged = true});
    if (ended.ExitCode == 125) {
        return "cannot drop privileges";
    }
    return ended.Output;
}

// Name, size and mode of every file in the folder.
std::string FilesIn(const std::string& folder)
{
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        struct stat info
        {};

        ::stat(entry.path().c_str(), &info);
        lines.push_back(entry.path().filename().string() + " " + std::to_string(info.st_size) +
                        " " + std::to_string(info.st_mode & 07777));
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

TEST(StoreFiles, AStoreThatCannotBeWrittenIsReadAndLeftAsItWas)
{
    TestSupport::StoreSandbox sandbox;
    if (AsOrdinaryUser([] { return std::string(); }) == "cannot drop privileges") {
        GTEST_SKIP() << "no unprivileged user to test with";
    }
    // The user owns the store, as everyone owns their own settings.
    const std::string folder = sandbox.ConfigHome() + "/sonorix";
    const std::string file = sandbox.StoreFile();
    ASSERT_EQ(::chmod(sandbox.Root().c_str(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(sandbox.ConfigHome().c_str(), kNobody, kNobody), 0);
    }
    const auto lastWriteOnlyInLog = [&] {
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        const int rc =
            sqlite3_exec(db, "UPDATE reg_values SET data = '/logged' WHERE name = 'Source'",
                         nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return std::string(rc == SQLITE_OK ? "" : "cannot write the log");
    };

    struct Row
    {
        const char* What;
        std::function<void()> Lock, Unlock;
        std::string Source, Reason;
    };

    const Row rows[] = {
        {"a read-only file", [&] { ::chmod(file.c_str(), 0444); },
         [&] { ::chmod(file.c_str(), 0644); }, "/music", "Permission denied"},
        {"a read-only folder", [&] { ::chmod(folder.c_str(), 0555); },
         [&] { ::chmod(folder.c_str(), 0755); }, "/music",
         "cannot create '" + file + "-wal': Permission denied"},
        {"a read-only file whose last write is still in its log",
         [&] {
             EXPECT_EQ(AsOrdinaryUser(lastWriteOnlyInLog), "");
             ::chmod(file.c_str(), 0444);
         },
         [&] { ::chmod(file.c_str(), 0644); }, "/logged", "Permission denied"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.What);
        std::filesystem::remove_all(folder);
        ASSERT_EQ(AsOrdinaryUser([] {
                      WriteRegString(kVendor, kProduct, "Source", "/music");
                      WriteRegBool(kVendor, kProduct, "Rapidex", true);
                      return std::string("set up");
                  }),
                  "set up");
        row.Lock();
        const std::string before = FilesIn(folder);

        // Reading needs no write: not even the keys a read would create. Nor
        // does storing a value as it is stored (every start stores Rapidex).
        EXPECT_EQ(AsOrdinaryUser([] {
                      CreateRegKey(kVendor, kProduct);
                      DeleteRegValue(kVendor, kProduct, "Missing");
                      WriteRegBool(kVendor, kProduct, "Rapidex", true);
                      return ReadRegString(kVendor, kProduct, "Source") + " " +
                             std::to_string(ReadRegBool(kVendor, kProduct, "Rapidex")) + " " +
                             std::to_string(RegValueExists(kVendor, kProduct, "Missing")) + " " +
                             std::to_string(RegKeyExists("Elsewhere", kProduct));
                  }),
                  row.Source + " 1 0 0");
        EXPECT_EQ(AsOrdinaryUser([] {
                      WriteRegString(kVendor, kProduct, "Source", "/new");
                      return std::string("written");
                  }),
                  "StoreError: Konnte Daten für 'Source' nicht setzen: the settings store '" +
                      file + "' cannot be written: " + row.Reason);
        // A key's default value is named by its key.
        EXPECT_EQ(AsOrdinaryUser([] {
                      RegisterShellVerb("Folder", "Sonorix", "/opt/sonorix/bin/sonorix");
                      return std::string("registered");
                  }),
                  "StoreError: Konnte Daten für 'Folder\\shell\\Sonorix\\command' nicht "
                  "setzen: the settings store '" +
                      file + "' cannot be written: " + row.Reason);
        EXPECT_EQ(FilesIn(folder), before);

        row.Unlock();
        EXPECT_EQ(AsOrdinaryUser([] {
                      WriteRegString(kVendor, kProduct, "Source", "/new");
                      return ReadRegString(kVendor, kProduct, "Source");
                  }),
                  "/new");
    }
}

} // namespace

// What a user may not write is checked whole before anything is changed: a
// read-only store keeps a value that is there (deleting it is a write), and
// a store whose log index (-shm) may not be written counts as read-only.
TEST(StoreFiles, AStoreThatCannotBeWrittenKeepsEveryValueAndSaysWhy)
{
    TestSupport::StoreSandbox sandbox;
    const std::string folder = sandbox.ConfigHome() + "/sonorix";
    const std::string file = sandbox.StoreFile();
    ASSERT_EQ(::chmod(sandbox.Root().c_str(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(sandbox.ConfigHome().c_str(), kNobody, kNobody), 0);
    }
    const auto asUser = [](const std::function<std::string()>& step) {
        return TestSupport::RunInChild(step, {.Unprivileged = true});
    };

    struct Row
    {
        const char* What;
        std::function<void()> Lock;
        std::function<void()> Change;
        std::string Error;
    };

    const Row rows[] = {
        {"an existing value deleted from a read-only store",
         [&] { ASSERT_EQ(::chmod(file.c_str(), 0444), 0); },
         [] { DeleteRegValue(kVendor, kProduct, "Source"); },
         "error: The settings store '" + file + "' cannot be written: Permission denied"},
        {"a log index the user may not write",
         [&] {
             // Left by another user's process; the store itself is writable.
             std::ofstream(file + "-shm").close();
             ASSERT_EQ(::chmod((file + "-shm").c_str(), 0444), 0);
         },
         [] { WriteRegString(kVendor, kProduct, "Source", "/new"); },
         "error: Konnte Daten für 'Source' nicht setzen: the settings store '" + file +
             "' cannot be written: '" + file + "-shm': Permission denied"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.What);
        std::filesystem::remove_all(folder);
        const TestSupport::ChildResult setUp = asUser([] {
            WriteRegString(kVendor, kProduct, "Source", "/music");
            return std::string("set up");
        });
        if (setUp.ExitCode == 125) {
            GTEST_SKIP() << "no unprivileged user to test with";
        }
        ASSERT_EQ(setUp.Output, "set up");
        row.Lock();
        const std::string before = FilesIn(folder);
        EXPECT_EQ(asUser([&] {
                      row.Change();
                      return std::string("changed");
                  }).Output,
                  row.Error);
        EXPECT_EQ(asUser([] { return ReadRegString(kVendor, kProduct, "Source"); }).Output,
                  "/music");
        EXPECT_EQ(FilesIn(folder), before);
    }
}

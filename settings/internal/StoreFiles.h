#pragma once

// What the files of a store are and allow, looked at before SQLite opens any
// of them: SQLite would create a missing log or index, or take a file of a
// few bytes for an empty database, before it could tell what it found.

#include <cstdint>
#include <ctime>
#include <string>

namespace RegTools::Detail {

// One file's identity and the times of its last change: a file changed in
// any way, or replaced, has another stamp.
struct FileStamp
{
    bool Exists = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0; // also moves when the modification time is set back
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct StoreFiles
{
    std::string CannotWrite{};   // why the store cannot be written; empty when it can
    bool LogHasChanges = false;  // the write-ahead log holds commits not yet in the file
    bool LogIndexUsable = false; // the log's shared index exists and has content
    FileStamp File{};
    FileStamp Log{};
};

// Looks at the files before SQLite opens any of them; throws SqlError for a
// file that cannot be a store (a folder, stray bytes, no right to create it).
StoreFiles Inspect(const std::string& file);

// The path as a "file:" URI, for the open options only a URI can carry.
std::string FileUri(const std::string& path, const char* query);

inline std::int64_t Nanoseconds(const timespec& time)
{
    return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}

} // namespace RegTools::Detail

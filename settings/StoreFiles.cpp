#include "settings/internal/StoreFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Ascii.h"
#include "base/UniqueFd.h"
#include "settings/internal/Sql.h"

namespace RegTools::Detail {

namespace {

// Every SQLite database begins with these 16 bytes, in a header of 100.
constexpr char kMagic[] = "SQLite format 3";
constexpr std::size_t kHeaderSize = 100;

std::string FolderOf(const std::string& file)
{
    const auto slash = file.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : file.substr(0, slash);
}

// errno is left as the check found it.
bool MayWrite(const std::string& path, int mode = W_OK)
{
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// Why the store cannot be written, or "" when it can: the file itself, or the
// write-ahead log and its index beside it, which must exist or be creatable.
std::string WhyNotWritable(const std::string& file)
{
    if (!MayWrite(file)) {
        return std::strerror(errno);
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string companion = file + suffix;
        if (MayWrite(companion)) {
            continue;
        }
        if (errno != ENOENT) {
            return "'" + companion + "': " + std::strerror(errno);
        }
        if (!MayWrite(FolderOf(file), W_OK | X_OK)) {
            return "cannot create '" + companion + "': " + std::strerror(errno);
        }
    }
    return {};
}

// SQLite takes a file of one byte for an empty database and would write a
// fresh store over it; a file with any content must begin with a header.
// Called while the process holds no connection to the file: closing a
// descriptor of it would drop the locks of such a connection.
void CheckHeader(const std::string& file)
{
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        throw SqlError(SQLITE_CANTOPEN, std::strerror(errno));
    }
    char header[kHeaderSize];
    std::size_t got = 0;
    while (got < kHeaderSize) {
        const ssize_t n =
            ::pread(fd.Get(), header + got, kHeaderSize - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw SqlError(SQLITE_IOERR, std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got < kHeaderSize || std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        throw SqlError(SQLITE_NOTADB, "file is not a database");
    }
}

FileStamp StampOf(const struct stat& info)
{
    return {.Exists = true,
            .Device = info.st_dev,
            .Inode = info.st_ino,
            .Size = info.st_size,
            .ModifiedNs = Nanoseconds(info.st_mtim),
            .ChangedNs = Nanoseconds(info.st_ctim)};
}

FileStamp StampOf(const std::string& path)
{
    struct stat info
    {};

    return ::stat(path.c_str(), &info) == 0 ? StampOf(info) : FileStamp{};
}

} // namespace

std::string FileUri(const std::string& path, const char* query)
{
    std::string uri = "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || std::strchr("/-._~", byte) != nullptr;
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            Ascii::AppendHex(uri, byte, true);
        }
    }
    return uri + "?" + query;
}

// Looks at the files before SQLite opens any of them.
StoreFiles Inspect(const std::string& file)
{
    StoreFiles files;

    struct stat info
    {};

    if (::stat(file.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            throw SqlError(SQLITE_CANTOPEN, std::strerror(errno));
        }
        if (!MayWrite(FolderOf(file), W_OK | X_OK)) {
            throw SqlError(SQLITE_CANTOPEN,
                           std::string("cannot create it: ") + std::strerror(errno));
        }
        return files;
    }
    if (!S_ISREG(info.st_mode)) {
        throw SqlError(SQLITE_CANTOPEN,
                       S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "it is not a regular file");
    }
    // Only an empty file is a fresh store.
    if (info.st_size > 0) {
        CheckHeader(file);
    }
    files.CannotWrite = WhyNotWritable(file);
    files.File = StampOf(info);
    files.Log = StampOf(file + "-wal");
    files.LogHasChanges = files.Log.Exists && files.Log.Size > 0;
    files.LogIndexUsable = StampOf(file + "-shm").Size > 0;
    return files;
}

} // namespace RegTools::Detail

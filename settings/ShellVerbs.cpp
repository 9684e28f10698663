#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "base/IoError.h"
#include "base/UniqueFd.h"
#include "settings/RegTools.h"
#include "settings/internal/Paths.h"
#include "settings/internal/RegToolsInternal.h"
#include "settings/internal/Store.h"

namespace RegTools {

using Detail::Hive;
using Detail::StoreLink;
using Detail::Transaction;

namespace {

// Only this class is taken literally; any other text, "folder" included,
// names a file extension.
constexpr const char* kFolderClass = "Folder";

std::string KeyClass(const std::string& keyClass, const std::string& verb)
{
    return keyClass == kFolderClass ? keyClass : ResolveFileType(keyClass, verb);
}

// "<class>\shell\<verb>"; nullopt when the verb is empty or a name inside is
// empty, so a bad verb can never point at the "shell" key itself.
[[nodiscard]] std::optional<std::vector<std::string>> VerbKeyPath(const std::string& keyClass,
                                                                  const std::string& verb)
{
    auto path = Detail::SplitKeyPath(keyClass);
    const auto verbPath = Detail::SplitKeyPath(verb);
    if (!path || !verbPath || verbPath->empty()) {
        return std::nullopt;
    }
    path->push_back("shell");
    path->insert(path->end(), verbPath->begin(), verbPath->end());
    return path;
}

// A quoted argument of an Exec line: inside the quotes ", `, $ and \ take a
// backslash, and a literal % is doubled so it is no field code.
std::string QuoteExecArgument(const std::string& argument)
{
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// The escapes of a desktop entry string value, applied after the quoting.
std::string EscapeValue(const std::string& value)
{
    std::string escaped;
    for (const char c : value) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\t':
            escaped += "\\t";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string DesktopEntryText(const std::string& programPath)
{
    const std::string program = programPath.substr(0, programPath.find('\0'));
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Sonorix\n"
           "Comment=Catalogue the MPEG audio files of a folder\n"
           // Menus hide the entry once the program it names is gone.
           "TryExec=" +
           EscapeValue(program) +
           "\n"
           "Exec=" +
           EscapeValue(QuoteExecArgument(program)) +
           " %f\n"
           "MimeType=inode/directory;\n"
           "NoDisplay=true\n"
           "Terminal=false\n";
}

[[noreturn]] void ThrowEntryError(const std::string& what, const std::string& path, int error)
{
    throw StoreError(DescribeIoFailure(what + " the desktop entry", path, error));
}

// Written beside the target and renamed over it, so a file manager never
// reads half an entry.
void WriteDesktopEntry(const std::string& programPath)
{
    const std::string path = DesktopEntryPath();
    const std::string folder = path.substr(0, path.rfind('/'));
    Detail::MakeFolders(folder, "the desktop entry");
    std::string temp = folder + "/.sonorix-folder.desktop.XXXXXX";
    UniqueFd file(::mkostemp(temp.data(), O_CLOEXEC));
    if (!file.Valid()) {
        ThrowEntryError("write", path, errno);
    }
    const std::string text = DesktopEntryText(programPath);
    std::size_t done = 0;
    int error = 0;
    while (done < text.size() && error == 0) {
        const ssize_t n = ::write(file.Get(), text.data() + done, text.size() - done);
        if (n < 0) {
            error = errno == EINTR ? 0 : errno;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (error == 0 && (::fchmod(file.Get(), 0644) != 0 || ::fsync(file.Get()) != 0)) {
        error = errno;
    }
    // Closed here rather than by the owner: a failing close can mean a lost write.
    if (::close(file.Release()) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        ThrowEntryError("write", path, error);
    }
    // Best effort: lets the rename survive a crash; the entry is in place either way.
    if (const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        dir.Valid()) {
        static_cast<void>(::fsync(dir.Get()));
    }
}

void RemoveDesktopEntry()
{
    const std::string path = DesktopEntryPath();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        ThrowEntryError("remove", path, errno);
    }
}

} // namespace

std::string ResolveFileType(const std::string& extension, const std::string& fallback)
{
    const auto path = Detail::KeyPathOrThrow("." + extension);
    // The file type is the key's unnamed value: the key names it.
    const std::string valueName = "." + extension;
    return Detail::WithStore(Detail::Failure::Write, valueName, [&](StoreLink& link) {
        return link.Write([&](Transaction& txn) {
            const auto id = txn.CreateKey(Hive::ClassesRoot, path);
            const auto value = txn.GetValue(id, "");
            if (value && value->IsInteger) {
                throw StoreError(Detail::TypeErrorText(valueName));
            }
            if (value && !value->Text.empty()) {
                return value->Text;
            }
            txn.PutString(id, "", fallback);
            return fallback;
        });
    });
}

void RegisterShellVerb(const std::string& keyClass, const std::string& verb,
                       const std::string& programPath)
{
    const std::string resolved = KeyClass(keyClass, verb);
    auto path = VerbKeyPath(resolved, verb);
    if (!path) {
        throw StoreError("Invalid key name '" + resolved + "\\shell\\" + verb + "'");
    }
    path->push_back("command");
    const std::string command = "\"" + programPath + "\" \"%1\"";
    // The command is the key's unnamed value: the key names it.
    const std::string valueName = resolved + "\\shell\\" + verb + "\\command";
    Detail::WithStore(Detail::Failure::Write, valueName, [&](StoreLink& link) {
        link.Write([&](Transaction& txn) {
            txn.PutString(txn.CreateKey(Hive::ClassesRoot, *path), "", command);
            return true;
        });
    });
    if (keyClass == kFolderClass) {
        WriteDesktopEntry(programPath);
    }
}

void UnregisterShellVerb(const std::string& keyClass, const std::string& verb)
{
    const std::string resolved = KeyClass(keyClass, verb);
    if (const auto path = VerbKeyPath(resolved, verb)) {
        Detail::WithStore(Detail::Failure::Access, "", [&](StoreLink& link) {
            link.Write([&](Transaction& txn) {
                if (const auto id = txn.FindKey(Hive::ClassesRoot, *path)) {
                    txn.DeleteKeyTree(*id);
                }
                return true;
            });
        });
    }
    if (keyClass == kFolderClass) {
        RemoveDesktopEntry();
    }
}

std::string DesktopEntryPath()
{
    return Detail::XdgHome("XDG_DATA_HOME", ".local/share") +
           "/applications/sonorix-folder.desktop";
}

} // namespace RegTools

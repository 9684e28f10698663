// sonorix-bench-floor FOLDER [EXTENSION]
//
// The least work any cataloguer must do: walk the folder tree (hidden folders
// skipped, as the list job does) and, for every file whose name ends in "."
// + EXTENSION (default "mp3", letter case ignored), open it, read its first
// 32 KiB and its last 128 bytes, and close it. Prints the number of files
// and bytes read. Exit 0 on success, 1 on usage, 3 when a folder or file
// cannot be read.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kHeadBytes = 32 * 1024;
constexpr std::size_t kTailBytes = 128;

struct Totals
{
    std::int64_t Files = 0;
    std::int64_t Bytes = 0;
    bool Failed = false;
};

void Report(const char* action, const std::string& path)
{
    std::fprintf(stderr, "sonorix-bench-floor: cannot %s '%s': %s\n", action, path.c_str(),
                 std::strerror(errno));
}

bool Matches(const char* name, const std::string& suffix)
{
    const std::size_t length = std::strlen(name);
    return length > suffix.size() && strcasecmp(name + length - suffix.size(), suffix.c_str()) == 0;
}

void ReadFile(const std::string& path, std::vector<char>& buffer, Totals& totals)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Report("open", path);
        totals.Failed = true;
        return;
    }

    struct stat info
    {};

    const ssize_t head = pread(fd, buffer.data(), kHeadBytes, 0);
    ssize_t tail = 0;
    if (head >= 0 && fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(kTailBytes))
        tail = pread(fd, buffer.data(), kTailBytes, info.st_size - static_cast<off_t>(kTailBytes));
    if (head < 0 || tail < 0) {
        Report("read", path);
        totals.Failed = true;
    } else {
        ++totals.Files;
        totals.Bytes += head + tail;
    }
    close(fd);
}

void Walk(std::string& path, const std::string& suffix, std::vector<char>& buffer, Totals& totals)
{
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        Report("open folder", path);
        totals.Failed = true;
        return;
    }
    const std::size_t length = path.size();
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        path.resize(length);
        path += '/';
        path += name;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat info
            {};

            if (stat(path.c_str(), &info) != 0)
                continue;
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            if (name[0] != '.')
                Walk(path, suffix, buffer, totals);
        } else if (type == DT_REG && Matches(name, suffix)) {
            ReadFile(path, buffer, totals);
        }
    }
    path.resize(length);
    closedir(dir);
}

} // namespace

int main(int argc, char** argv)
{
    constexpr const char* kUsage = "usage: sonorix-bench-floor FOLDER [EXTENSION]\n";
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("%s"
                    "Walks FOLDER as the list job does and reads the head and tail of every\n"
                    "file ending in .EXTENSION (default mp3): the least work of any\n"
                    "cataloguer, the floor sonorix-bench measures sonorix-list against.\n",
                    kUsage);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    std::string root = argv[1];
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    const std::string suffix = std::string(".") + (argc == 3 ? argv[2] : "mp3");
    std::vector<char> buffer(kHeadBytes);
    Totals totals;
    Walk(root, suffix, buffer, totals);
    std::printf("%lld files, %lld bytes read\n", static_cast<long long>(totals.Files),
                static_cast<long long>(totals.Bytes));
    return totals.Failed ? 3 : 0;
}

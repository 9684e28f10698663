// The fuzz targets without libFuzzer: every file named on the command line,
// and every file in a folder named there, goes once through the target's
// entry function, in name order. A run that finds no file at all fails, so a
// missing corpus is never taken for a clean one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// The file's bytes, or nothing when it cannot be read: an unreadable input
// must not pass as an empty one.
std::optional<std::vector<std::uint8_t>> ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>{});
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path named(argv[i]);
        if (!std::filesystem::is_directory(named)) {
            files.push_back(named);
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(named)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "%s: no input files\n", argc > 0 ? argv[0] : "replay");
        return 1;
    }
    for (const auto& file : files) {
        const std::optional<std::vector<std::uint8_t>> bytes =
            std::filesystem::is_regular_file(file) ? ReadWhole(file) : std::nullopt;
        if (!bytes) {
            std::fprintf(stderr, "%s: cannot read\n", file.c_str());
            return 1;
        }
        // An empty vector may give a null data pointer; the entry gets a valid one.
        static const std::uint8_t kNone = 0;
        LLVMFuzzerTestOneInput(bytes->empty() ? &kNone : bytes->data(), bytes->size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}

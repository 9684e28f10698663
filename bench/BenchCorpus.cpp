#include "bench/BenchCorpus.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <sys/uio.h>
#include <unistd.h>

#include "base/IoError.h"
#include "bench/BenchProcess.h"
#include "profiles/ListFormat.h"

namespace fs = std::filesystem;

namespace Bench {

namespace {

// Raised when the way seeds or corpus files are made changes, so seeds and
// a corpus made by an older driver are not reused.
constexpr int kCorpusVersion = 2;
constexpr int kFoldersPerFolder = 5;

[[noreturn]] void Fail(const std::string& action, const std::string& path, int err)
{
    throw std::runtime_error(DescribeIoFailure(action, path, err));
}

void PutText(std::array<std::uint8_t, 128>& tag, std::size_t at, std::size_t width,
             const std::string& text)
{
    for (std::size_t i = 0; i < width && i < text.size(); ++i)
        tag[at + i] = static_cast<std::uint8_t>(text[i]);
}

std::string Numbered(const char* pattern, int number)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, number);
    return buffer;
}

} // namespace

std::uint64_t SeedsFingerprint(const std::vector<std::vector<std::uint8_t>>& seeds)
{
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    const auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    };
    for (const auto& seed : seeds) {
        for (int shift = 0; shift < 64; shift += 8)
            mix(static_cast<std::uint8_t>(seed.size() >> shift));
        for (const std::uint8_t byte : seed)
            mix(byte);
    }
    return hash;
}

std::vector<std::uint8_t> ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("read", path, errno);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWhole(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        Fail("write", path, errno);
}

void WriteCorpusFile(const std::string& path, const std::vector<std::uint8_t>& seed,
                     const std::array<std::uint8_t, 128>& tag)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail("create", path, errno);
    iovec parts[2] = {{const_cast<std::uint8_t*>(seed.data()), seed.size()},
                      {const_cast<std::uint8_t*>(tag.data()), tag.size()}};
    const auto expected = static_cast<ssize_t>(seed.size() + tag.size());
    const ssize_t written = writev(fd, parts, 2);
    const int err = written < 0 ? errno : ENOSPC;
    if (written != expected) {
        close(fd);
        Fail("write", path, err);
    }
    if (close(fd) != 0)
        Fail("close", path, errno);
}

std::string AllCaptions()
{
    std::string list;
    for (const char* caption : Profiles::kColumnCaptions) {
        list += list.empty() ? "" : ",";
        list += caption;
    }
    return list;
}

const std::vector<SeedSetting>& SeedSettings()
{
    // Constant and variable bit rate, stereo, joint stereo and mono, MPEG-1 and
    // MPEG-2: the frame layouts a real collection mixes.
    static const std::vector<SeedSetting> settings = {
        {.Name = "cbr128-stereo", .EncoderOptions = {"-m", "s", "-b", "128"}, .Seconds = 3.0},
        {.Name = "vbr-v2-joint", .EncoderOptions = {"-m", "j", "-V", "2"}, .Seconds = 3.0},
        {.Name = "cbr64-mono",
         .EncoderOptions = {"-m", "m", "-b", "64"},
         .Channels = 1,
         .Seconds = 4.0},
        {.Name = "cbr32-mpeg2-mono",
         .EncoderOptions = {"-m", "m", "-b", "32"},
         .SampleRate = 22050,
         .Channels = 1,
         .Seconds = 6.0},
        {.Name = "cbr192-joint", .EncoderOptions = {"-m", "j", "-b", "192"}, .Seconds = 2.0},
    };
    return settings;
}

std::vector<std::uint8_t> MakePcm(const SeedSetting& setting, int seedNumber)
{
    const auto rate = static_cast<double>(setting.SampleRate);
    const auto frames = static_cast<std::size_t>(setting.Seconds * rate);
    const double length = setting.Seconds;
    const double startHz = 180.0 + 40.0 * seedNumber;
    const double endHz = 1200.0 + 150.0 * seedNumber;
    const double toneHz = 330.0 + 25.0 * seedNumber;
    std::uint32_t noise = 0x2545F491u + static_cast<std::uint32_t>(seedNumber);

    std::vector<std::uint8_t> pcm;
    pcm.reserve(frames * static_cast<std::size_t>(setting.Channels) * 2);
    const auto put = [&pcm](double value) {
        const auto sample =
            static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32000.0));
        const auto bits = static_cast<std::uint16_t>(sample);
        pcm.push_back(static_cast<std::uint8_t>(bits & 0xFF));
        pcm.push_back(static_cast<std::uint8_t>(bits >> 8));
    };
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        // A linear chirp: the phase is the integral of the rising frequency.
        const double chirpPhase = startHz * t + (endHz - startHz) * t * t / (2.0 * length);
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 16) / 65535.0 - 0.5) * 0.004;
        put(0.45 * std::sin(2.0 * std::numbers::pi * chirpPhase) + hiss);
        if (setting.Channels == 2) {
            const double beat = 0.5 + 0.5 * std::sin(2.0 * std::numbers::pi * 0.7 * t);
            put(0.4 * beat * std::sin(2.0 * std::numbers::pi * toneHz * t) + hiss);
        }
    }
    return pcm;
}

std::vector<std::uint8_t> EncodeSeed(const std::string& seedDir, const std::string& encoder,
                                     const SeedSetting& setting, int seedNumber, int version,
                                     const std::vector<std::string>& extraOptions)
{
    fs::create_directories(seedDir);
    const std::string base = seedDir + "/" + setting.Name + ".v" + std::to_string(version);
    const std::string mp3 = base + ".mp3";
    std::error_code ec;
    if (!fs::exists(mp3, ec) || fs::file_size(mp3, ec) == 0) {
        const std::string raw = base + ".raw";
        const std::string partial = base + ".partial.mp3";
        const std::string log = base + ".log";
        WriteWhole(raw, MakePcm(setting, seedNumber));
        char rateText[16];
        std::snprintf(rateText, sizeof rateText, "%g", setting.SampleRate / 1000.0);
        std::vector<std::string> argv = {encoder, "--quiet",  "-r",
                                         "-s",    rateText,   "--bitwidth",
                                         "16",    "--signed", "--little-endian"};
        argv.insert(argv.end(), setting.EncoderOptions.begin(), setting.EncoderOptions.end());
        argv.insert(argv.end(), extraOptions.begin(), extraOptions.end());
        argv.push_back(raw);
        argv.push_back(partial);
        const ChildRun run = RunChild(argv, {}, "", log);
        if (run.ExitCode != 0) {
            std::ostringstream message;
            message << "Encoding seed '" << mp3 << "' with '" << encoder << "' failed (exit "
                    << run.ExitCode << "); see '" << log << "'";
            throw std::runtime_error(message.str());
        }
        fs::rename(partial, mp3);
        fs::remove(raw, ec);
        fs::remove(log, ec);
    }
    return ReadWhole(mp3);
}

std::vector<std::vector<std::uint8_t>> EncodeSeeds(const std::string& seedDir,
                                                   const std::string& encoder, int version,
                                                   const SeedExtraOptions& extraOptions)
{
    std::vector<std::vector<std::uint8_t>> seeds;
    int seedNumber = 0;
    for (const SeedSetting& setting : SeedSettings()) {
        seeds.push_back(
            EncodeSeed(seedDir, encoder, setting, seedNumber, version,
                       extraOptions ? extraOptions(seedNumber) : std::vector<std::string>{}));
        ++seedNumber;
    }
    return seeds;
}

std::vector<std::vector<std::uint8_t>> MakeSeeds(const std::string& seedDir,
                                                 const std::string& encoder)
{
    return EncodeSeeds(seedDir, encoder, kCorpusVersion, {});
}

std::array<std::uint8_t, 128> MakeTag(int index)
{
    std::array<std::uint8_t, 128> tag{};
    PutText(tag, 0, 3, "TAG");
    PutText(tag, 3, 30, Numbered("Track %05d", index));
    // Every seventh artist carries a Windows-1252 letter, as old tags do.
    PutText(tag, 33, 30,
            index % 7 == 0 ? Numbered("Caf\xE9 Orchestra %02d", index % 89)
                           : Numbered("Bench Artist %03d", index % 97));
    PutText(tag, 63, 30, Numbered("Bench Album %03d", (index / 12) % 500));
    PutText(tag, 93, 4, Numbered("%04d", 1970 + index % 50));
    PutText(tag, 97, 28, "generated by sonorix-bench");
    tag[125] = 0; // ID3v1.1: a zero byte, then the track number
    tag[126] = static_cast<std::uint8_t>(1 + index % 30);
    tag[127] = static_cast<std::uint8_t>(index % 148);
    return tag;
}

std::string FolderPath(int folderNumber)
{
    std::string path;
    for (int k = folderNumber; k > 0; k = (k - 1) / kFoldersPerFolder)
        path = Numbered("d%03d", k) + (path.empty() ? "" : "/" + path);
    return path;
}

bool BuildCorpus(const std::string& dir, const CorpusShape& shape,
                 const std::vector<std::vector<std::uint8_t>>& seeds)
{
    std::ostringstream stampText;
    stampText << "sonorix-bench corpus " << kCorpusVersion << " files " << shape.Files
              << " folders " << shape.Folders << " seeds " << std::hex << SeedsFingerprint(seeds)
              << "\n";
    return BuildCorpusWith(dir, shape, seeds, stampText.str(),
                           [](const std::string& path, const std::vector<std::uint8_t>& seed,
                              int index) { WriteCorpusFile(path, seed, MakeTag(index)); });
}

bool BuildCorpusWith(const std::string& dir, const CorpusShape& shape,
                     const std::vector<std::vector<std::uint8_t>>& seeds,
                     const std::string& stampText, const CorpusFileWriter& writeFile)
{
    if (seeds.empty() || shape.Files < 1 || shape.Folders < 1)
        throw std::runtime_error("BuildCorpus: nothing to build");
    const std::string stamp = dir + ".stamp";
    std::error_code ec;
    if (fs::is_directory(dir, ec) && ReadText(stamp) == stampText)
        return false;

    fs::remove(stamp, ec);
    fs::remove_all(dir);
    for (int k = 1; k <= shape.Folders; ++k)
        fs::create_directories(dir + "/" + FolderPath(k));
    for (int i = 0; i < shape.Files; ++i) {
        const int folder = 1 + i % shape.Folders;
        const std::string path =
            dir + "/" + FolderPath(folder) + "/" + Numbered("Track %05d.mp3", i);
        writeFile(path, seeds[static_cast<std::size_t>(i) % seeds.size()], i);
    }
    std::ofstream out(stamp, std::ios::trunc);
    out << stampText;
    if (!out.flush())
        Fail("write", stamp, errno);
    return true;
}

std::vector<std::string> WriteLinkSeeds(const std::string& dir,
                                        const std::vector<std::vector<std::uint8_t>>& seeds,
                                        int count, const CorpusFileWriter& writeFile)
{
    fs::create_directories(dir);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        const std::string path = dir + "/" + Numbered("seed-%03d.mp3", i);
        const std::vector<std::uint8_t>& seed = seeds[static_cast<std::size_t>(i) % seeds.size()];
        if (writeFile) {
            writeFile(path, seed, i);
        } else {
            WriteCorpusFile(path, seed, MakeTag(i));
        }
        paths.push_back(path);
    }
    return paths;
}

std::vector<std::string> BuildLinkedTrees(const std::string& dir, const std::vector<int>& sizes,
                                          const std::vector<std::string>& seedFiles, bool& built)
{
    built = false;
    if (sizes.empty() || seedFiles.empty())
        throw std::runtime_error("BuildLinkedTrees: nothing to build");
    // The largest tree is dir/tree, each smaller one the folder "inner" of
    // the next.
    std::vector<std::string> roots(sizes.size());
    roots.back() = dir + "/tree";
    for (std::size_t i = sizes.size() - 1; i > 0; --i)
        roots[i - 1] = roots[i] + "/inner";

    std::ostringstream stampText;
    stampText << "sonorix-bench linked trees " << kCorpusVersion << " files";
    for (const int size : sizes)
        stampText << " " << size;
    stampText << " seeds " << seedFiles.size() << " " << std::hex
              << SeedsFingerprint({ReadWhole(seedFiles.front())}) << "\n";
    const std::string stamp = dir + "/tree.stamp";
    std::error_code ec;
    if (fs::is_directory(roots.back(), ec)) {
        std::ifstream in(stamp);
        std::string previous(std::istreambuf_iterator<char>(in), {});
        if (previous == stampText.str())
            return roots;
    }

    fs::remove(stamp, ec);
    fs::remove_all(roots.back());
    int file = 0;
    for (std::size_t level = 0; level < sizes.size(); ++level) {
        const int own = sizes[level] - (level == 0 ? 0 : sizes[level - 1]);
        const int folders = (own + kLinkedFilesPerFolder - 1) / kLinkedFilesPerFolder;
        fs::create_directories(roots[level]);
        for (int k = 1; k <= folders; ++k)
            fs::create_directories(roots[level] + "/" + FolderPath(k));
        for (int i = 0; i < own; ++i, ++file) {
            const std::string path = roots[level] + "/" + FolderPath(1 + i % folders) + "/" +
                                     Numbered("Track %07d.mp3", file);
            const std::string& seed = seedFiles[static_cast<std::size_t>(file) % seedFiles.size()];
            if (::link(seed.c_str(), path.c_str()) != 0)
                Fail("link", path, errno);
        }
    }
    std::ofstream out(stamp, std::ios::trunc);
    out << stampText.str();
    if (!out.flush())
        Fail("write", stamp, errno);
    built = true;
    return roots;
}

} // namespace Bench

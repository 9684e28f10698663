#include "bench/BenchCache.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <malloc.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "analysis/MP3Tools.h"
#include "bench/BenchCorpus.h"
#include "bench/BenchProcess.h"
#include "listing/ScanCache.h"

namespace fs = std::filesystem;

namespace Bench {

namespace {

constexpr double kTargetWarm = 3.0;      // unchanged re-list against the one-thread floor
constexpr double kTargetCold = 10.0;     // unchanged re-list against the cold floor
constexpr double kTargetFirstRun = 1.05; // first run against the list without cache
constexpr double kTargetMemory = 1024.0; // bytes per file
constexpr double kTargetOnDisk = 200.0;  // bytes per file
// Raised when the small files of the listed tree are made differently.
constexpr int kSmallTreeVersion = 1;
// Files changed this recently are read but not remembered yet: a changed
// file is left to settle this long before the run that lists it.
constexpr std::chrono::milliseconds kSettle{2100};

struct Program
{
    std::string Label;
    std::vector<std::string> Argv;
    bool IsFloor = false;
    std::function<void(int round)> Prepare{}; // before each run, untimed
    std::vector<ChildRun> Runs{};
};

class CacheBench
{
public:
    explicit CacheBench(const CacheBenchSetup& setup) : m_setup(setup)
    {
        m_cacheHome = setup.Work + "/cache-bench";
        m_list = setup.Work + "/cache-list.csv";
        m_env = {{"HOME", setup.Home},
                 {"XDG_CONFIG_HOME", setup.Home + "/config"},
                 {"XDG_DATA_HOME", setup.Home + "/data"},
                 {"XDG_CACHE_HOME", m_cacheHome}};
    }

    int Run()
    {
        CollectFiles();
        const std::vector<std::string> list = {m_setup.List, "-f",          "csv",
                                               "-c",         AllCaptions(), "-q"};
        const auto listWith = [&](const std::string& label, std::vector<std::string> extra) {
            Program program{.Label = label, .Argv = list};
            program.Argv.insert(program.Argv.end(), extra.begin(), extra.end());
            program.Argv.insert(program.Argv.end(), {m_setup.Corpus, m_list});
            return program;
        };
        m_programs.push_back(
            Program{.Label = "floor", .Argv = {m_setup.Floor, m_setup.Corpus}, .IsFloor = true});
        m_programs.push_back(listWith("no cache, 1 thread", {"--no-cache", "--threads", "1"}));
        m_programs.push_back(listWith("first run, 1 thread", {"--threads", "1"}));
        m_programs.back().Prepare = [this](int) { fs::remove_all(m_cacheHome); };
        m_programs.push_back(listWith("unchanged, 1 thread", {"--threads", "1"}));
        m_programs.push_back(listWith("unchanged, default", {}));
        m_programs.push_back(listWith("1% changed, 1 thread", {"--threads", "1"}));
        m_programs.back().Prepare = [this](int round) { ChangeFiles(round); };
        m_programs.push_back(listWith("1% changed, default", {}));
        m_programs.back().Prepare = [this](int round) { ChangeFiles(round + 50); };

        std::printf("Scan cache: %ld files, cache in %s\n", m_setup.Files, m_cacheHome.c_str());
        std::fflush(stdout);
        if (!Rounds(m_setup.Rounds, false)) {
            return 2;
        }
        Report("warm", m_setup.Rounds);
        const auto cacheFile = m_cacheHome + "/sonorix/scan-classic.cache";
        std::error_code error;
        const auto onDisk = static_cast<double>(fs::file_size(cacheFile, error));
        const double perFile = onDisk / static_cast<double>(m_setup.Files);
        std::printf("  cache file: %.0f bytes = %.0f bytes per file (target below %.0f: %s)\n",
                    onDisk, perFile, kTargetOnDisk, Verdict(!error && perFile < kTargetOnDisk));
        if (m_setup.ColdRounds > 0) {
            if (!DropCaches()) {
                std::printf("Cold cache: not measured: the page cache cannot be dropped here "
                            "(needs root).\n");
            } else if (!Rounds(m_setup.ColdRounds, true)) {
                return 2;
            } else {
                Report("cold", m_setup.ColdRounds);
            }
        }
        MillionInProcess();
        return MillionListed() ? 0 : 2;
    }

private:
    void CollectFiles()
    {
        for (const auto& entry : fs::recursive_directory_iterator(m_setup.Corpus)) {
            if (entry.is_regular_file() && entry.path().extension() == ".mp3") {
                m_files.push_back(entry.path().string());
            }
        }
        std::sort(m_files.begin(), m_files.end());
    }

    // A different 1% of the files each time: their modification time moves
    // (and with it the change time), as a tag editor's would.
    void ChangeFiles(int round)
    {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const timespec when{.tv_sec = static_cast<time_t>(
                                std::chrono::duration_cast<std::chrono::seconds>(now).count()),
                            .tv_nsec = round};
        const timespec times[2] = {when, when};
        for (std::size_t i = static_cast<std::size_t>(round) % 100; i < m_files.size(); i += 100) {
            ::utimensat(AT_FDCWD, m_files[i].c_str(), times, 0);
        }
        std::this_thread::sleep_for(kSettle);
    }

    bool RunOnce(Program& program, bool cold, int round)
    {
        if (program.Prepare) {
            program.Prepare(round);
        }
        if (cold && !DropCaches()) {
            return false;
        }
        std::error_code ignored;
        fs::remove(m_list, ignored);
        const std::string out = m_setup.Work + "/cache-bench.out";
        const std::string err = m_setup.Work + "/cache-bench.err";
        const ChildRun run = RunChild(program.Argv, m_env, out, err);
        if (run.ExitCode != 0 || !ReadText(err).empty()) {
            std::fprintf(stderr, "sonorix-bench: %s exited with %d\n%s", program.Label.c_str(),
                         run.ExitCode, ReadText(err).c_str());
            return false;
        }
        long seen = 0;
        if (program.IsFloor) {
            seen = std::atol(ReadText(out).c_str());
        } else {
            const std::string text = ReadText(m_list);
            seen = static_cast<long>(std::count(text.begin(), text.end(), '\n')) - 1;
        }
        if (seen != m_setup.Files) {
            std::fprintf(stderr, "sonorix-bench: %s saw %ld files, the corpus has %ld\n",
                         program.Label.c_str(), seen, m_setup.Files);
            return false;
        }
        program.Runs.push_back(run);
        return true;
    }

    bool Rounds(int rounds, bool cold)
    {
        for (Program& program : m_programs) {
            program.Runs.clear();
        }
        // The order stays: each run finds the cache its predecessor left.
        for (int round = 0; round < rounds; ++round) {
            for (Program& program : m_programs) {
                if (!RunOnce(program, cold, round)) {
                    return false;
                }
            }
        }
        return true;
    }

    double Rate(const Program& program) const
    {
        std::vector<double> walls;
        for (const ChildRun& run : program.Runs) {
            walls.push_back(run.WallSeconds);
        }
        return static_cast<double>(m_setup.Files) / Median(walls);
    }

    void Report(const char* how, int rounds)
    {
        std::printf("Result, %s cache (median wall time of %d rounds):\n", how, rounds);
        for (const Program& program : m_programs) {
            long peak = 0;
            for (const ChildRun& run : program.Runs) {
                peak = std::max(peak, run.PeakKiB);
            }
            std::printf("  %-22s %9.0f files/s  %5.2f x floor", program.Label.c_str(),
                        Rate(program), Rate(program) / Rate(m_programs[0]));
            if (!program.IsFloor) {
                std::printf("  peak %7ld KiB = %.0f bytes per file", peak,
                            static_cast<double>(peak) * 1024.0 /
                                static_cast<double>(m_setup.Files));
            }
            std::printf("\n");
        }
        const double floor = Rate(m_programs[0]);
        const double unchanged = Rate(m_programs[3]);
        const double unchangedPool = Rate(m_programs[4]);
        const bool warm = std::string(how) == "warm";
        const double target = warm ? kTargetWarm : kTargetCold;
        std::printf("  %s: unchanged re-list / floor: 1 thread %.2f, default threads %.2f "
                    "(target at least %.0f: %s)\n",
                    how, unchanged / floor, unchangedPool / floor, target,
                    Verdict(std::max(unchanged, unchangedPool) / floor >= target));
        const double first = Rate(m_programs[1]) / Rate(m_programs[2]);
        std::printf("  %s: first run time / time without cache, 1 thread %.3f (target at most "
                    "%.2f: %s)\n",
                    how, first, kTargetFirstRun, Verdict(first <= kTargetFirstRun));
        std::fflush(stdout);
    }

    // A cache of ScaleFiles files made here, from records like the corpus's:
    // its bytes per file, the time to read it whole and to find every file,
    // and the memory that takes.
    void MillionInProcess()
    {
        const int count = m_setup.ScaleFiles;
        std::printf("A cache of %d files made in this process:\n", count);
        std::fflush(stdout);
        std::mt19937_64 random(20);
        ScanCache::Notes notes;
        MP3Tools::AudioFileInfo info;
        MP3Tools::TagInfo tag;
        info.LayerText = "Layer III";
        info.VersionText = "MPEG 1";
        info.ModeText = "joint stereo";
        info.ModeExtensionText = "intensity off, M/S on";
        info.OriginalText = info.ProtectionText = "yes";
        info.PaddingText = info.PrivateText = info.CopyrightText = "no";
        info.EmphasisText = "none";
        info.EncoderText = "LAME";
        info.Valid = true;
        tag.TagId = "TAG";
        tag.Tagged = true;
        std::vector<ScanCache::FileKey> keys;
        keys.reserve(static_cast<std::size_t>(count));
        std::string folder;
        const std::int64_t base = 1'600'000'000LL * 1'000'000'000LL;
        for (int i = 0; i < count; ++i) {
            if (i % 160 == 0) {
                folder = "/music/Artist " + std::to_string(i / 1600) + "/Album " +
                         std::to_string(i / 160) + "/";
            }
            const auto size = static_cast<std::int64_t>(3'000'000 + random() % 9'000'000);
            const auto seconds = size / 16'000;
            info.FileSize = std::to_string(size);
            info.DurationSeconds = std::to_string(seconds);
            info.DurationText = MP3Tools::FormatDuration(seconds);
            info.DurationMilliseconds = seconds * 1000 + static_cast<std::int64_t>(random() % 1000);
            info.FrameCount = std::to_string(seconds * 38);
            info.BitrateText = i % 3 == 0 ? "VBR" : "128";
            info.VariableBitrate = i % 3 == 0;
            info.SampleRateText = "44.1 kHz";
            info.SampleRateHz = 44100;
            info.FrameOffset = static_cast<std::int64_t>(random() % 4000);
            info.FrameLength = 417;
            info.FrameBodyLength = 413;
            tag.Title = "Song number " + std::to_string(i) + " of the collection";
            tag.Artist = "Artist " + std::to_string(i / 1600);
            tag.Album = "Album " + std::to_string(i / 160);
            tag.Year = std::to_string(1960 + (i / 160) % 60);
            tag.Genre = MP3Tools::GenreName(static_cast<std::uint8_t>((i / 160) % 148));
            tag.Track = std::to_string(i % 16 + 1);
            const auto modified =
                base + static_cast<std::int64_t>(random() % 100'000'000'000'000'000);
            const ScanCache::FileKey key{
                .Device = 2049,
                .Inode = 1000 + static_cast<std::uint64_t>(i) * 3,
                .Size = size,
                .ModifiedNs = modified,
                .ChangedNs = modified + static_cast<std::int64_t>(random() % 1'000'000'000'000)};
            keys.push_back(key);
            notes.Add(key, folder, info, tag);
        }
        const ScanCache::Kind kind{
            .Analysis = "classic", .DecimalSeparator = ".", .Program = "bench"};
        using Clock = std::chrono::steady_clock;
        auto start = Clock::now();
        const std::optional<std::string> bytes = ScanCache::Encode({}, {&notes}, {}, kind);
        const std::chrono::duration<double> encode = Clock::now() - start;
        const double perFile = static_cast<double>(bytes->size()) / count;
        std::printf("  on disk: %zu bytes = %.0f bytes per file (target below %.0f: %s); made "
                    "in %.2f s\n",
                    bytes->size(), perFile, kTargetOnDisk, Verdict(perFile < kTargetOnDisk),
                    encode.count());
        const long before = HeapKiB();
        start = Clock::now();
        const ScanCache::Snapshot snapshot = ScanCache::Snapshot::Parse(*bytes, kind);
        const std::chrono::duration<double> parse = Clock::now() - start;
        start = Clock::now();
        long found = 0;
        for (const ScanCache::FileKey& key : keys) {
            found += snapshot.Find(key) >= 0 ? 1 : 0;
        }
        const std::chrono::duration<double> find = Clock::now() - start;
        const long held = HeapKiB() - before;
        std::printf("  read whole in %.2f s; %ld of %d found in %.2f s (%.2f us each); held in "
                    "%ld KiB = %.0f bytes per file (target below %.0f: %s)\n",
                    parse.count(), found, count, find.count(), find.count() * 1e6 / count, held,
                    static_cast<double>(held) * 1024.0 / count, kTargetMemory,
                    Verdict(static_cast<double>(held) * 1024.0 / count < kTargetMemory));
        std::fflush(stdout);
    }

    // ScaleFiles small MP3 files of their own (a few frames and a tag each,
    // every one its own inode, so the cache keeps a record for each), listed
    // with an empty cache and then unchanged: the time and the peak memory
    // of the whole list per file, and the cache file's size. The tree stays
    // in the work folder for the next run.
    bool MillionListed()
    {
        const int count = m_setup.ScaleFiles;
        const SeedSetting small{.Name = "small-cbr128-joint",
                                .EncoderOptions = {"-m", "j", "-b", "128"},
                                .Seconds = 0.1};
        const std::vector<std::uint8_t> seed =
            EncodeSeed(m_setup.Seeds, m_setup.Encoder, small, 0, kSmallTreeVersion, {});
        const std::string tree = m_setup.Work + "/cache-tree";
        const CorpusShape shape{
            .Files = count, .Folders = (count + kLinkedFilesPerFolder - 1) / kLinkedFilesPerFolder};
        std::ostringstream stampText;
        stampText << "sonorix-bench cache tree " << kSmallTreeVersion << " files " << shape.Files
                  << " folders " << shape.Folders << " seed " << std::hex
                  << SeedsFingerprint({seed}) << "\n";
        using Clock = std::chrono::steady_clock;
        const auto buildStart = Clock::now();
        const bool built =
            BuildCorpusWith(tree, shape, {seed}, stampText.str(),
                            [](const std::string& path, const std::vector<std::uint8_t>& file,
                               int index) { WriteCorpusFile(path, file, MakeTag(index)); });
        const std::chrono::duration<double> buildTime = Clock::now() - buildStart;
        std::printf("Listed: %d files of %zu bytes in %d folders under %s ", count,
                    seed.size() + 128, shape.Folders, tree.c_str());
        if (built) {
            std::printf("(built in %.0f s)\n", buildTime.count());
            // The newest files would be read again, not yet kept, otherwise.
            std::this_thread::sleep_for(kSettle);
        } else {
            std::printf("(reused)\n");
        }
        std::fflush(stdout);

        const std::string cacheHome = m_setup.Work + "/cache-tree-bench";
        auto env = m_env;
        env.back().second = cacheHome; // XDG_CACHE_HOME
        fs::remove_all(cacheHome);
        const std::vector<std::string> argv = {m_setup.List,  "-f", "csv", "-c",
                                               AllCaptions(), "-q", tree,  m_list};
        for (const char* label : {"first run", "unchanged"}) {
            std::error_code ignored;
            fs::remove(m_list, ignored);
            const std::string err = m_setup.Work + "/cache-bench.err";
            const ChildRun run = RunChild(argv, env, "", err);
            if (run.ExitCode != 0 || !ReadText(err).empty()) {
                std::fprintf(stderr, "sonorix-bench: %s exited with %d\n%s", label, run.ExitCode,
                             ReadText(err).c_str());
                return false;
            }
            const long rows = CountLines(m_list) - 1;
            if (rows != count) {
                std::fprintf(stderr, "sonorix-bench: %s listed %ld files, the tree has %d\n", label,
                             rows, count);
                return false;
            }
            const double perFile = static_cast<double>(run.PeakKiB) * 1024.0 / count;
            std::printf("  %-10s %7.2f s = %7.0f files/s (%.2f s processor), peak %7ld KiB = "
                        "%.0f bytes per file (target below %.0f: %s)\n",
                        label, run.WallSeconds, count / run.WallSeconds, run.CpuSeconds,
                        run.PeakKiB, perFile, kTargetMemory, Verdict(perFile < kTargetMemory));
            std::fflush(stdout);
        }
        std::error_code ignored;
        fs::remove(m_list, ignored);
        std::error_code error;
        const auto onDisk =
            static_cast<double>(fs::file_size(cacheHome + "/sonorix/scan-classic.cache", error));
        const double perFile = onDisk / count;
        std::printf("  cache file: %.0f bytes = %.0f bytes per file (target below %.0f: %s)\n",
                    onDisk, perFile, kTargetOnDisk, Verdict(!error && perFile < kTargetOnDisk));
        std::fflush(stdout);
        return true;
    }

    // The lines of a file, without holding it whole.
    static long CountLines(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        long lines = 0;
        while (in) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            lines +=
                static_cast<long>(std::count(buffer.data(), buffer.data() + in.gcount(), '\n'));
        }
        return lines;
    }

    // The heap in use, in KiB: what a snapshot holds shows here whether
    // its memory is new to the process or was freed by the encoding before.
    static long HeapKiB()
    {
        const struct mallinfo2 heap = ::mallinfo2();
        return static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
    }

    const CacheBenchSetup& m_setup;
    std::string m_cacheHome{};
    std::string m_list{};
    std::vector<std::pair<std::string, std::string>> m_env{};
    std::vector<std::string> m_files{};
    std::vector<Program> m_programs{};
};

} // namespace

int RunCacheBench(const CacheBenchSetup& setup) { return CacheBench(setup).Run(); }

} // namespace Bench

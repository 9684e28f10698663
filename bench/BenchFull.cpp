#include "bench/BenchFull.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/uio.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/tbytevectorstream.h>
#include <unistd.h>

#include "base/IoError.h"
#include "bench/BenchProcess.h"

namespace fs = std::filesystem;

namespace Bench {

namespace {

constexpr double kTargetRatio = 1.3;
constexpr double kTargetBytesPerFile = 1024.0;
constexpr int kFullCorpusVersion = 2;
constexpr int kLinkSeeds = 40;
constexpr std::size_t kCoverBytes = 100 * 1024;
constexpr int kCoverEvery = 5; // the seed of this number (of five) carries the cover
constexpr int kCoverSeed = 1;
// The title of every seed, which each corpus file replaces by its own of
// the same length.
constexpr const char* kTitle = "Bench Title 00000000";

// Bytes a picture program would take for a JPEG file: the markers of one
// and noise, which no encoder squeezes.
std::vector<std::uint8_t> MakeCover()
{
    std::vector<std::uint8_t> cover = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    std::uint32_t noise = 0x9E3779B9u;
    while (cover.size() + 2 < kCoverBytes) {
        noise = noise * 1664525u + 1013904223u;
        cover.push_back(static_cast<std::uint8_t>(noise >> 24));
    }
    cover.push_back(0xFF);
    cover.push_back(0xD9);
    return cover;
}

// The seeds of the main corpus, encoded again with ID3v2 tags only (the
// corpus adds an ID3v1 tag of its own to each file), one with the cover.
std::vector<std::vector<std::uint8_t>> MakeTaggedSeeds(const std::string& dir,
                                                       const std::string& encoder)
{
    fs::create_directories(dir);
    const std::string cover = dir + "/cover.jpg";
    std::error_code ec;
    if (!fs::exists(cover, ec))
        WriteWhole(cover, MakeCover());
    return EncodeSeeds(dir, encoder, kFullCorpusVersion, [&cover](int seedNumber) {
        std::vector<std::string> options = {"--id3v2-only", "--id3v2-latin1", "--tt", kTitle,
                                            "--ta",         "Bench Artist",   "--tl", "Bench Album",
                                            "--ty",         "2024",           "--tn", "1"};
        if (seedNumber % kCoverEvery == kCoverSeed)
            options.insert(options.end(), {"--ti", cover});
        return options;
    });
}

// Seed seed with the title of file number index and its ID3v1 tag.
void WriteTaggedFile(const std::string& path, std::vector<std::uint8_t> seed, int index)
{
    const auto at = std::search(seed.begin(), seed.end(), kTitle, kTitle + std::strlen(kTitle));
    if (at == seed.end())
        throw std::runtime_error("no title to replace in a tagged seed for " + path);
    char title[32];
    std::snprintf(title, sizeof title, "Bench Title %08d", index);
    std::copy(title, title + std::strlen(kTitle), at);
    WriteCorpusFile(path, seed, MakeTag(index));
}

// The corpus of options.Shape below dir, unless its stamp says it is there.
bool BuildTaggedCorpus(const std::string& dir, const CorpusShape& shape,
                       const std::vector<std::vector<std::uint8_t>>& seeds)
{
    std::ostringstream stampText;
    stampText << "sonorix-bench full corpus " << kFullCorpusVersion << " files " << shape.Files
              << " folders " << shape.Folders << " seed bytes";
    for (const auto& seed : seeds)
        stampText << " " << seed.size();
    stampText << "\n";
    return BuildCorpusWith(dir, shape, seeds, stampText.str(), WriteTaggedFile);
}

struct ListRun
{
    std::string Label{};
    std::vector<std::string> Argv{};
    std::vector<ChildRun> Runs{};
};

// One run; false (after saying why) when the list failed or missed files.
bool RunList(ListRun& list, const FullBenchOptions& options, const std::string& listPath,
             long files, bool keep)
{
    std::error_code ec;
    fs::remove(listPath, ec);
    const std::string err = options.Work + "/full-list.err";
    const ChildRun run = RunChild(list.Argv, options.Env, options.Work + "/full-list.out", err);
    if (run.ExitCode != 0) {
        std::fprintf(stderr, "sonorix-bench: %s exited with %d\n%s", list.Label.c_str(),
                     run.ExitCode, ReadText(err).c_str());
        return false;
    }
    std::ifstream in(listPath, std::ios::binary);
    long rows = -1; // the header row
    long errors = 0;
    for (std::string line; std::getline(in, line);) {
        ++rows;
        errors += line.find(",ERROR,") != std::string::npos ? 1 : 0;
    }
    if (rows != files || errors != 0) {
        std::fprintf(stderr, "sonorix-bench: %s listed %ld files (%ld as ERROR) of %ld\n",
                     list.Label.c_str(), rows, errors, files);
        return false;
    }
    if (keep)
        list.Runs.push_back(run);
    return true;
}

// Rounds of both lists in turn (the order turned round each round); cold
// drops the page cache before every run. Prints the runs and the ratio.
bool MeasureRatio(ListRun& classic, ListRun& full, const FullBenchOptions& options,
                  const std::string& listPath, bool cold)
{
    const int rounds = cold ? options.ColdRounds : options.Rounds;
    const long files = options.Shape.Files;
    classic.Runs.clear();
    full.Runs.clear();
    for (int round = 0; round < rounds; ++round) {
        for (ListRun* list : round % 2 == 0 ? std::array<ListRun*, 2>{&classic, &full}
                                            : std::array<ListRun*, 2>{&full, &classic}) {
            if (cold && !DropCaches())
                return false;
            if (!RunList(*list, options, listPath, files, true))
                return false;
        }
    }
    const char* how = cold ? "cold" : "warm";
    std::printf("Full against classic analysis, %s cache, %d rounds taking turns:\n", how, rounds);
    for (const ListRun* list : {&classic, &full}) {
        const double wall = MedianOf(list->Runs, &ChildRun::WallSeconds);
        const long peak = PeakKiB(list->Runs);
        std::printf("  %-16s %7.3f s wall %7.3f s cpu %9.0f files/s  peak %7ld KiB = %4.0f bytes "
                    "per file\n",
                    list->Label.c_str(), wall, MedianOf(list->Runs, &ChildRun::CpuSeconds),
                    static_cast<double>(files) / wall, peak,
                    static_cast<double>(peak) * 1024.0 / static_cast<double>(files));
    }
    const double ratio = MedianOf(full.Runs, &ChildRun::WallSeconds) /
                         MedianOf(classic.Runs, &ChildRun::WallSeconds);
    const double cpu =
        MedianOf(full.Runs, &ChildRun::CpuSeconds) / MedianOf(classic.Runs, &ChildRun::CpuSeconds);
    std::printf("  %s: full / classic time %.2f (target at most %.2f: %s), processor time %.2f\n",
                how, ratio, kTargetRatio, Verdict(ratio <= kTargetRatio), cpu);
    return true;
}

// TagLib's own reading of the tags of every file in corpus, the files
// already in memory, on this thread: the processor time a file takes (in
// microseconds) with no reading of files, no audio facts and no list.
double TagLibAloneMicroseconds(const std::string& corpus)
{
    std::chrono::steady_clock::duration parsing{};
    long files = 0;
    std::size_t fields = 0; // kept, so nothing is left out as unused
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file())
            continue;
        const std::string bytes = ReadText(entry.path().string());
        TagLib::ByteVector data(bytes.data(), static_cast<unsigned int>(bytes.size()));
        const auto start = std::chrono::steady_clock::now();
        {
            TagLib::ByteVectorStream stream(data);
            TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
            if (const TagLib::Tag* tag = file.tag()) {
                fields += tag->title().size() + tag->artist().size() + tag->album().size() +
                          tag->comment().size() + tag->genre().size() + tag->year() + tag->track();
            }
        }
        parsing += std::chrono::steady_clock::now() - start;
        ++files;
    }
    if (files == 0 || fields == 0)
        return 0.0;
    return std::chrono::duration<double, std::micro>(parsing).count() / static_cast<double>(files);
}

// Why the ratio stays where it is: TagLib's reading alone against what the
// ratio leaves full analysis beside classic's processor time a file.
void PrintTagLibAlone(const ListRun& classic, const std::string& corpus, long files)
{
    const double classicUs =
        MedianOf(classic.Runs, &ChildRun::CpuSeconds) * 1e6 / static_cast<double>(files);
    const double tagLibUs = TagLibAloneMicroseconds(corpus);
    std::printf(
        "  TagLib alone, reading the same tags from memory on one thread: %.1f us a file;\n"
        "  classic analysis takes %.1f us of processor time a file, so %.2f leaves %.1f us\n"
        "  a file for all that full analysis adds\n",
        tagLibUs, classicUs, kTargetRatio, (kTargetRatio - 1.0) * classicUs);
}

std::vector<std::string> ListArgv(const FullBenchOptions& options, const char* analysis,
                                  const std::vector<std::string>& head)
{
    // Every file read: the scan cache would time neither analysis.
    std::vector<std::string> argv = {options.List, "-q", "--no-cache", "--analysis", analysis};
    if (options.Threads)
        argv.insert(argv.end(), {"--threads", std::to_string(*options.Threads)});
    argv.insert(argv.end(), head.begin(), head.end());
    return argv;
}

} // namespace

int RunFullComparison(const FullBenchOptions& options)
{
    const auto seeds = MakeTaggedSeeds(options.Work + "/full-seeds", options.Encoder);
    std::printf("Tagged seeds in %s/full-seeds (ID3v2; one in %d with %zu KiB of cover art):\n",
                options.Work.c_str(), kCoverEvery, kCoverBytes / 1024);
    for (std::size_t i = 0; i < seeds.size(); ++i)
        std::printf("  %-18s %7zu bytes\n", SeedSettings()[i].Name.c_str(), seeds[i].size());
    const std::string corpus = options.Work + "/full-corpus";
    const auto start = std::chrono::steady_clock::now();
    const bool built = BuildTaggedCorpus(corpus, options.Shape, seeds);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("Tagged corpus: %d files in %d folders under %s ", options.Shape.Files,
                options.Shape.Folders, corpus.c_str());
    if (built)
        std::printf("(built in %.1f s)\n", took.count());
    else
        std::printf("(reused)\n");

    const std::string listPath = options.Work + "/full-list.csv";
    const std::vector<std::string> tail = {"-f", "csv", "-c", AllCaptions(), corpus, listPath};
    const std::string threads =
        options.Threads ? "--threads " + std::to_string(*options.Threads) : "default threads";
    ListRun classic{.Label = "classic", .Argv = ListArgv(options, "classic", tail), .Runs = {}};
    ListRun full{.Label = "full", .Argv = ListArgv(options, "full", tail), .Runs = {}};
    std::printf("The CSV list of all columns, %s, --analysis classic and full:\n", threads.c_str());
    std::fflush(stdout);
    for (ListRun* list : {&classic, &full}) {
        if (!RunList(*list, options, listPath, options.Shape.Files, false))
            return 2;
    }
    if (!MeasureRatio(classic, full, options, listPath, false))
        return 2;
    PrintTagLibAlone(classic, corpus, options.Shape.Files);
    if (options.ColdRounds == 0)
        return 0;
    if (!DropCachesForColdRounds())
        return 0;
    return MeasureRatio(classic, full, options, listPath, true) ? 0 : 2;
}

int RunFullScale(const FullBenchOptions& options)
{
    const auto seeds = MakeTaggedSeeds(options.Work + "/full-seeds", options.Encoder);
    const std::vector<std::string> seedFiles =
        WriteLinkSeeds(options.Work + "/full-scale/seeds", seeds, kLinkSeeds, WriteTaggedFile);
    bool built = false;
    const auto roots =
        BuildLinkedTrees(options.Work + "/full-scale", {options.ScaleFiles}, seedFiles, built);
    std::printf("Full analysis at scale: a tree of %d hard links to %d tagged seeds (%s)\n",
                options.ScaleFiles, kLinkSeeds, built ? "built" : "reused");
    const std::string listPath = options.Work + "/full-scale-list.csv";
    const std::vector<std::string> tail = {"-s",        "Default",    "-f",    "csv",
                                           "--no-sort", roots.back(), listPath};
    ListRun classic{.Label = "classic", .Argv = ListArgv(options, "classic", tail), .Runs = {}};
    ListRun full{.Label = "full", .Argv = ListArgv(options, "full", tail), .Runs = {}};
    for (ListRun* list : {&classic, &full}) {
        std::fflush(stdout);
        if (!RunList(*list, options, listPath, options.ScaleFiles, true))
            return 2;
        const ChildRun& run = list->Runs.back();
        const double perFile =
            static_cast<double>(run.PeakKiB) * 1024.0 / static_cast<double>(options.ScaleFiles);
        std::printf("  %-8s %8.2f s %9.0f files/s  peak %8ld KiB = %4.0f bytes per file",
                    list->Label.c_str(), run.WallSeconds, options.ScaleFiles / run.WallSeconds,
                    run.PeakKiB, perFile);
        if (list == &full)
            std::printf(" (target below %.0f: %s)", kTargetBytesPerFile,
                        Verdict(perFile < kTargetBytesPerFile));
        std::printf("\n");
    }
    return 0;
}

} // namespace Bench

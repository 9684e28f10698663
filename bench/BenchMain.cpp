// sonorix-bench: builds a corpus of real MP3 files and times sonorix-list
// against the floor program (walk, open, read head and tail, close), taking
// turns in one run: the list with one reader thread and with its default
// pool, on a warm cache and then on a cold one (the page cache dropped before
// every run, where the system allows it). With --scale it lists trees of hard
// links of 10,000 to 1,000,000 files instead, for the time per file, the
// memory per file and the cost of sorting. Prints files per second, ratios
// and peak memory; then full analysis against classic (BenchFull.h). Exit 0
// when every run succeeded (whether or not the targets were met), 1 on bad
// options, 2 when a run failed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/BenchCache.h"
#include "bench/BenchCorpus.h"
#include "bench/BenchFull.h"
#include "bench/BenchProcess.h"

namespace fs = std::filesystem;

namespace {

using Bench::DropCaches;
using Bench::DropCachesForColdRounds;
using Bench::PeakKiB;
using Bench::ReadText;
using Bench::Verdict;

constexpr double kTargetOneThread = 1.0;
constexpr double kTargetPool = 1.4;
constexpr double kTargetBytesPerFile = 1024.0;
constexpr double kTargetSortCost = 1.5;
constexpr double kTargetWindow = 1.1;
constexpr int kLinkSeeds = 40;

struct Options
{
    Bench::CorpusShape Shape{};
    int Rounds = 5;
    int ColdRounds = 3;
    std::optional<int> Threads{}; // the pool's size; default: the list's own
    bool Scale = false;
    bool Cache = false; // the scan cache's figures instead (bench/BenchCache.h)
    int ScaleFiles = 1'000'000;
    int ScaleRounds = 2;
    std::string Work = "sonorix-bench-work";
    std::string Corpus{}; // default: Work + "/corpus"
    std::string Seeds{};  // default: Work + "/seeds"
    std::string List{};   // default: beside this program, ../cli/sonorix-list
    std::string Floor{};  // default: beside this program
    std::string Window{}; // default: beside this program
    std::string Encoder = "lame";
};

void Usage(std::FILE* out)
{
    std::fputs("usage: sonorix-bench [--files N] [--folders M] [--rounds R] [--cold-rounds R]\n"
               "                     [--threads N] [--scale] [--scale-files N] [--scale-rounds R]\n"
               "                     [--corpus DIR] [--seeds DIR] [--work DIR] [--list EXE]\n"
               "                     [--floor EXE] [--window EXE] [--encoder EXE]\n"
               "Defaults: 20000 files in 125 folders, 5 warm rounds, then 3 cold rounds (the\n"
               "page cache dropped before every run; needs root, --cold-rounds 0 skips them),\n"
               "the list with --threads 1 and with its default threads (or --threads N), work\n"
               "folder ./sonorix-bench-work (corpus, seed cache, settings store and lists).\n"
               "Without --threads the same list is also made from the desktop program's\n"
               "window (sonorix-bench-window, on Qt's offscreen platform), timed from the\n"
               "press of \"Create List\" to the end of the job.\n"
               "Then full against classic analysis (--analysis) on a corpus of the same seeds\n"
               "with ID3v2 tags (one in five with 100 KiB of cover art), warm and cold.\n"
               "--scale lists trees of hard links of 40 seeds with 1%, 10% and all of\n"
               "--scale-files files (default 1000000), unsorted, then the largest sorted and\n"
               "unsorted in turn, --scale-rounds times (default 2); then a tree of tagged\n"
               "seeds with classic and full analysis, for the memory per file.\n"
               "--cache times the scan cache on the corpus instead, makes a cache of\n"
               "--scale-files files in the process, and lists a tree of as many small files\n"
               "of their own (kept in the work folder) with an empty cache and unchanged.\n",
               out);
}

bool ParseCount(const char* text, int& value, long least)
{
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < least || parsed > 10'000'000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            std::exit(0);
        }
        if (option == "--scale" || option == "--cache") {
            (option == "--scale" ? options.Scale : options.Cache) = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "sonorix-bench: %s needs a value\n", option.c_str());
            return false;
        }
        const char* value = argv[++i];
        bool good = true;
        int threads = 0;
        if (option == "--files")
            good = ParseCount(value, options.Shape.Files, 1);
        else if (option == "--folders")
            good = ParseCount(value, options.Shape.Folders, 1);
        else if (option == "--rounds")
            good = ParseCount(value, options.Rounds, 1);
        else if (option == "--cold-rounds")
            good = ParseCount(value, options.ColdRounds, 0);
        else if (option == "--threads") {
            good = ParseCount(value, threads, 1) && threads <= 256;
            options.Threads = threads;
        } else if (option == "--scale-files")
            good = ParseCount(value, options.ScaleFiles, 100);
        else if (option == "--scale-rounds")
            good = ParseCount(value, options.ScaleRounds, 1);
        else if (option == "--corpus")
            options.Corpus = value;
        else if (option == "--seeds")
            options.Seeds = value;
        else if (option == "--work")
            options.Work = value;
        else if (option == "--list")
            options.List = value;
        else if (option == "--floor")
            options.Floor = value;
        else if (option == "--window")
            options.Window = value;
        else if (option == "--encoder")
            options.Encoder = value;
        else {
            std::fprintf(stderr, "sonorix-bench: unknown option %s\n", option.c_str());
            return false;
        }
        if (!good) {
            std::fprintf(stderr, "sonorix-bench: %s does not take '%s'\n", option.c_str(), value);
            return false;
        }
    }
    return true;
}

std::string ProgramFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

// What the figures came from.
void PrintMachine()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model = "unknown processor";
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    std::string load = ReadText("/proc/loadavg");
    load = load.substr(0, load.find(' ', load.find(' ', load.find(' ') + 1) + 1));
    std::printf("Machine: %u cores (%s), load average %s\n", std::thread::hardware_concurrency(),
                model.c_str(), load.c_str());
}

struct ListCheck
{
    long Rows = 0;
    long ErrorRows = 0;
};

// Data rows of the written list (the header row aside) and how many of them
// are the rows of files the probe did not accept: CSV lines, or the table
// rows of an HTML page.
ListCheck CheckList(const std::string& path, bool html)
{
    std::ifstream in(path, std::ios::binary);
    ListCheck check;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (html && line.rfind("<tr>", 0) != 0)
            continue;
        if (header) {
            header = false;
            continue;
        }
        ++check.Rows;
        if (line.find(html ? "<td>ERROR</td>" : ",ERROR,") != std::string::npos)
            ++check.ErrorRows;
    }
    return check;
}

struct Program
{
    std::string Label;
    bool IsFloor;
    bool ReportsJob = false; // prints "job SECONDS", the time that counts
    std::vector<std::string> Argv;
    std::vector<std::pair<std::string, std::string>> Env;
    std::string Out;
    std::string Err;
};

// One run of program on a tree of files; false (after saying why) when the
// program failed or did not see every file.
bool RunOnce(Program& program, long files, const std::string& listPath,
             std::vector<Bench::ChildRun>* record)
{
    std::error_code ec;
    fs::remove(listPath, ec);
    const Bench::ChildRun run =
        Bench::RunChild(program.Argv, program.Env, program.Out, program.Err);
    if (run.ExitCode != 0) {
        std::fprintf(stderr, "sonorix-bench: %s exited with %d\n%s", program.Label.c_str(),
                     run.ExitCode, ReadText(program.Err).c_str());
        return false;
    }
    long seen = 0;
    if (program.IsFloor) {
        seen = std::atol(ReadText(program.Out).c_str());
    } else {
        const ListCheck check = CheckList(listPath, listPath.ends_with(".html"));
        seen = check.Rows;
        if (check.ErrorRows > 0)
            std::fprintf(stderr, "sonorix-bench: warning: %ld files listed as ERROR\n",
                         check.ErrorRows);
    }
    if (seen != files) {
        std::fprintf(stderr, "sonorix-bench: %s saw %ld files, the tree has %ld\n",
                     program.Label.c_str(), seen, files);
        return false;
    }
    Bench::ChildRun timed = run;
    if (program.ReportsJob) {
        long long microseconds = 0;
        if (std::sscanf(ReadText(program.Out).c_str(), "job %lld", &microseconds) != 1) {
            std::fprintf(stderr, "sonorix-bench: %s printed no job time\n", program.Label.c_str());
            return false;
        }
        timed.WallSeconds = static_cast<double>(microseconds) / 1e6;
    }
    if (record != nullptr)
        record->push_back(timed);
    return true;
}

double MedianWall(const std::vector<Bench::ChildRun>& runs)
{
    return Bench::MedianOf(runs, &Bench::ChildRun::WallSeconds);
}

void PrintRuns(const Program& program, const std::vector<Bench::ChildRun>& runs, long files)
{
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Bench::ChildRun& run = runs[i];
        std::printf("  round %zu  %-22s %7.3f s wall %7.3f s cpu %9.0f files/s  peak %7ld KiB\n",
                    i + 1, program.Label.c_str(), run.WallSeconds, run.CpuSeconds,
                    static_cast<double>(files) / run.WallSeconds, run.PeakKiB);
    }
}

// Rounds of every program in turn, the order turned round each round so no
// program always runs right after another; cold drops the cache before each.
bool RunRounds(std::vector<Program*> programs, int rounds, bool cold, long files,
               const std::string& listPath, std::vector<std::vector<Bench::ChildRun>>& runs)
{
    runs.assign(programs.size(), {});
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t n = 0; n < programs.size(); ++n) {
            const std::size_t i = round % 2 == 0 ? n : programs.size() - 1 - n;
            if (cold && !DropCaches())
                return false;
            if (!RunOnce(*programs[i], files, listPath, &runs[i]))
                return false;
        }
    }
    return true;
}

// The ratios against the floor, with their targets.
void PrintRates(const std::vector<Program*>& programs,
                const std::vector<std::vector<Bench::ChildRun>>& runs, long files, const char* how)
{
    std::vector<double> rates;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        rates.push_back(static_cast<double>(files) / MedianWall(runs[i]));
        const long peak = PeakKiB(runs[i]);
        std::printf("  %-22s %9.0f files/s   peak %7ld KiB", programs[i]->Label.c_str(), rates[i],
                    peak);
        // The window's peak is mostly the window system's.
        if (!programs[i]->IsFloor && !programs[i]->ReportsJob)
            std::printf(" = %.0f bytes per listed file",
                        static_cast<double>(peak) * 1024.0 / static_cast<double>(files));
        std::printf("\n");
    }
    const double single = rates[1] / rates[0];
    const double pool = rates[2] / rates[0];
    // One reader waits on a cold disk much as the floor does: the target for
    // one thread is the warm one.
    if (std::strcmp(how, "warm") == 0)
        std::printf("  %s: list --threads 1 / floor %.2f (target at least %.2f: %s)\n", how, single,
                    kTargetOneThread, Verdict(single >= kTargetOneThread));
    else
        std::printf("  %s: list --threads 1 / floor %.2f (no target)\n", how, single);
    std::printf("  %s: list %s / floor %.2f (target at least %.2f: %s)\n", how,
                programs[2]->Label.substr(std::strlen("list ")).c_str(), pool, kTargetPool,
                Verdict(pool >= kTargetPool));
    if (programs.size() > 3) {
        const double window = MedianWall(runs[3]) / MedianWall(runs[2]);
        std::printf("  %s: window job time / list time %.2f (target at most %.2f: %s)\n", how,
                    window, kTargetWindow, Verdict(window <= kTargetWindow));
    }
}

// Rounds as RunRounds takes them, then every run and the rates against the
// floor; false when a run failed.
bool MeasureRounds(const std::vector<Program*>& programs, int rounds, bool cold, long files,
                   const std::string& listPath, std::vector<std::vector<Bench::ChildRun>>& runs)
{
    if (!RunRounds(programs, rounds, cold, files, listPath, runs))
        return false;
    std::printf("%s, %d rounds taking turns:\n",
                cold ? "Cold cache (page cache dropped before every run)" : "Warm cache", rounds);
    for (std::size_t i = 0; i < programs.size(); ++i)
        PrintRuns(*programs[i], runs[i], files);
    const char* how = cold ? "cold" : "warm";
    std::printf("Result, %s cache (median wall time of %d rounds):\n", how, rounds);
    PrintRates(programs, runs, files, how);
    return true;
}

std::vector<std::pair<std::string, std::string>> ListEnvironment(const std::string& home)
{
    return {
        {"XDG_CONFIG_HOME", home + "/config"}, {"XDG_DATA_HOME", home + "/data"}, {"HOME", home}};
}

std::string PoolLabel(const Options& options)
{
    return options.Threads ? "list --threads " + std::to_string(*options.Threads)
                           : std::string("list (default threads)");
}

int RunComparison(const Options& options, const std::string& work, const std::string& home)
{
    const std::string listPath = work + "/list.csv";
    Program floor{.Label = "floor",
                  .IsFloor = true,
                  .Argv = {options.Floor, options.Corpus},
                  .Env = {},
                  .Out = work + "/floor.out",
                  .Err = work + "/floor.err"};
    // Every file read: the scan cache has its figures of its own (--cache).
    const std::vector<std::string> listArgs = {options.List,         "-f", "csv",       "-c",
                                               Bench::AllCaptions(), "-q", "--no-cache"};
    Program single{.Label = "list --threads 1",
                   .IsFloor = false,
                   .Argv = listArgs,
                   .Env = ListEnvironment(home),
                   .Out = work + "/list.out",
                   .Err = work + "/list.err"};
    single.Argv.insert(single.Argv.end(), {"--threads", "1", options.Corpus, listPath});
    Program pool = single;
    pool.Label = PoolLabel(options);
    pool.Argv = listArgs;
    if (options.Threads)
        pool.Argv.insert(pool.Argv.end(), {"--threads", std::to_string(*options.Threads)});
    pool.Argv.insert(pool.Argv.end(), {options.Corpus, listPath});
    std::vector<Program*> programs = {&floor, &single, &pool};
    // The window has no thread option: it is compared with the default pool.
    Program window{.Label = "window job (default)",
                   .IsFloor = false,
                   .ReportsJob = true,
                   .Argv = {options.Window, options.Corpus, listPath},
                   .Env = ListEnvironment(home),
                   .Out = work + "/window.out",
                   .Err = work + "/window.err"};
    window.Env.insert(window.Env.end(),
                      {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", home + "/runtime"}});
    if (options.Threads) {
        std::printf("The window is left out: it always has the default threads.\n");
    } else if (access(options.Window.c_str(), X_OK) != 0) {
        std::printf("The window is left out: no program at '%s'.\n", options.Window.c_str());
    } else {
        programs.push_back(&window);
    }
    const long files = options.Shape.Files;

    std::printf("Warming the cache (one untimed run of each) ...\n");
    std::fflush(stdout);
    for (Program* program : programs) {
        if (!RunOnce(*program, files, listPath, nullptr))
            return 2;
    }
    std::vector<std::vector<Bench::ChildRun>> runs;
    if (!MeasureRounds(programs, options.Rounds, false, files, listPath, runs))
        return 2;
    const long peak = std::max(PeakKiB(runs[1]), PeakKiB(runs[2]));
    const double bytesPerFile = static_cast<double>(peak) * 1024.0 / static_cast<double>(files);
    std::printf("  peak memory per listed file: %.0f bytes (target below %.0f: %s)\n", bytesPerFile,
                kTargetBytesPerFile, Verdict(bytesPerFile < kTargetBytesPerFile));

    if (options.ColdRounds == 0)
        return 0;
    if (!DropCachesForColdRounds())
        return 0;
    return MeasureRounds(programs, options.ColdRounds, true, files, listPath, runs) ? 0 : 2;
}

int RunScale(const Options& options, const std::vector<std::vector<std::uint8_t>>& seeds,
             const std::string& work, const std::string& home)
{
    const std::vector<int> sizes = {options.ScaleFiles / 100, options.ScaleFiles / 10,
                                    options.ScaleFiles};
    const auto linkSeeds = Bench::WriteLinkSeeds(work + "/scale/seeds", seeds, kLinkSeeds);
    const auto buildStart = std::chrono::steady_clock::now();
    bool built = false;
    const auto roots = Bench::BuildLinkedTrees(work + "/scale", sizes, linkSeeds, built);
    const std::chrono::duration<double> buildTime = std::chrono::steady_clock::now() - buildStart;
    std::printf("Trees of hard links of %d seeds under %s/scale ", kLinkSeeds, work.c_str());
    if (built)
        std::printf("(built in %.1f s)\n", buildTime.count());
    else
        std::printf("(reused)\n");

    const std::string listPath = work + "/scale-list.html";
    const auto listOf = [&](const std::string& root, bool sort) {
        Program list{.Label = std::string(sort ? "sorted" : "unsorted"),
                     .IsFloor = false,
                     .Argv = {options.List, "-s", "Default", "-f", "html", "-q", "--no-cache",
                              sort ? "--sort" : "--no-sort"},
                     .Env = ListEnvironment(home),
                     .Out = work + "/list.out",
                     .Err = work + "/list.err"};
        if (options.Threads)
            list.Argv.insert(list.Argv.end(), {"--threads", std::to_string(*options.Threads)});
        list.Argv.insert(list.Argv.end(), {root, listPath});
        return list;
    };
    std::printf("HTML list of the Default profile, %s, one run each:\n",
                PoolLabel(options).c_str());
    std::fflush(stdout);
    // The largest tree, which holds the others, once untimed: the programs,
    // the folders and the file records are read, as for the warm corpus.
    Program warm = listOf(roots.back(), false);
    if (!RunOnce(warm, sizes.back(), listPath, nullptr))
        return 2;
    std::vector<Bench::ChildRun> unsorted;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        Program list = listOf(roots[i], false);
        if (!RunOnce(list, sizes[i], listPath, &unsorted))
            return 2;
        const Bench::ChildRun& run = unsorted.back();
        std::printf("  %8d files unsorted %8.2f s %9.0f files/s  peak %8ld KiB = %4.0f bytes per "
                    "file\n",
                    sizes[i], run.WallSeconds, sizes[i] / run.WallSeconds, run.PeakKiB,
                    static_cast<double>(run.PeakKiB) * 1024.0 / sizes[i]);
        std::fflush(stdout);
    }
    // At the largest size the sorted and the unsorted list take turns, and
    // their medians are compared.
    std::vector<Bench::ChildRun> sorted;
    std::vector<Bench::ChildRun> largest = {unsorted.back()};
    for (int round = 0; round < options.ScaleRounds; ++round) {
        Program sortedList = listOf(roots.back(), true);
        Program unsortedList = listOf(roots.back(), false);
        if (!RunOnce(sortedList, sizes.back(), listPath, &sorted) ||
            (round + 1 < options.ScaleRounds &&
             !RunOnce(unsortedList, sizes.back(), listPath, &largest)))
            return 2;
        const Bench::ChildRun& run = sorted.back();
        std::printf("  %8d files sorted   %8.2f s %9.0f files/s  peak %8ld KiB = %4.0f bytes per "
                    "file\n",
                    sizes.back(), run.WallSeconds, sizes.back() / run.WallSeconds, run.PeakKiB,
                    static_cast<double>(run.PeakKiB) * 1024.0 / sizes.back());
        if (largest.size() > static_cast<std::size_t>(round + 1)) {
            const Bench::ChildRun& again = largest.back();
            std::printf("  %8d files unsorted %8.2f s %9.0f files/s  peak %8ld KiB\n", sizes.back(),
                        again.WallSeconds, sizes.back() / again.WallSeconds, again.PeakKiB);
        }
        std::fflush(stdout);
    }
    const Bench::ChildRun unsortedRun{.ExitCode = 0,
                                      .WallSeconds = MedianWall(largest),
                                      .CpuSeconds = 0,
                                      .PeakKiB = PeakKiB(largest)};
    const Bench::ChildRun sortedRun{.ExitCode = 0,
                                    .WallSeconds = MedianWall(sorted),
                                    .CpuSeconds = 0,
                                    .PeakKiB = PeakKiB(sorted)};

    const double first = sizes.front() / unsorted.front().WallSeconds;
    const double last = sizes.back() / unsorted.back().WallSeconds;
    std::printf("Result:\n  files/s at %d files against %d files: %.2f (1.00 is linear)\n",
                sizes.back(), sizes.front(), last / first);
    const double bytesPerFile =
        static_cast<double>(std::max(unsortedRun.PeakKiB, sortedRun.PeakKiB)) * 1024.0 /
        sizes.back();
    std::printf("  peak memory per listed file at %d files: %.0f bytes (target below %.0f: %s)\n",
                sizes.back(), bytesPerFile, kTargetBytesPerFile,
                Verdict(bytesPerFile < kTargetBytesPerFile));
    const double time = sortedRun.WallSeconds / unsortedRun.WallSeconds;
    const double memory =
        static_cast<double>(sortedRun.PeakKiB) / static_cast<double>(unsortedRun.PeakKiB);
    std::printf("  sorted against unsorted (medians of %zu and %zu runs): time %.2f, memory %.2f "
                "(target at most %.2f: %s)\n",
                sorted.size(), largest.size(), time, memory, kTargetSortCost,
                Verdict(time <= kTargetSortCost && memory <= kTargetSortCost));
    return 0;
}

int RunBenchmark(Options& options)
{
    const std::string here = ProgramFolder();
    if (options.List.empty())
        options.List = here + "/../cli/sonorix-list";
    if (options.Floor.empty())
        options.Floor = here + "/sonorix-bench-floor";
    if (options.Window.empty())
        options.Window = here + "/sonorix-bench-window";
    for (const std::string* exe : {&options.List, &options.Floor}) {
        if (access(exe->c_str(), X_OK) != 0) {
            std::fprintf(stderr, "sonorix-bench: no program at '%s' (build it first)\n",
                         exe->c_str());
            return 2;
        }
    }
    fs::create_directories(options.Work);
    const std::string work = fs::absolute(options.Work).lexically_normal().string();
    if (options.Corpus.empty())
        options.Corpus = work + "/corpus";
    if (options.Seeds.empty())
        options.Seeds = work + "/seeds";
    PrintMachine();

    const auto seeds = Bench::MakeSeeds(options.Seeds, options.Encoder);
    std::printf("Seeds in %s:\n", options.Seeds.c_str());
    for (std::size_t i = 0; i < seeds.size(); ++i)
        std::printf("  %-18s %6zu bytes\n", Bench::SeedSettings()[i].Name.c_str(), seeds[i].size());

    // The list's settings store lives in the work folder, never in the
    // user's home.
    const std::string home = work + "/home";
    fs::create_directories(home + "/config");
    fs::create_directories(home + "/data");
    fs::create_directories(home + "/runtime");
    fs::permissions(home + "/runtime", fs::perms::owner_all);
    // Full analysis against classic on a corpus of its own, after the floor.
    const Bench::FullBenchOptions full{.Work = work,
                                       .List = options.List,
                                       .Encoder = options.Encoder,
                                       .Env = ListEnvironment(home),
                                       .Shape = options.Shape,
                                       .Rounds = options.Rounds,
                                       .ColdRounds = options.ColdRounds,
                                       .Threads = options.Threads,
                                       .ScaleFiles = options.ScaleFiles};
    int result = 0;
    if (options.Scale) {
        result = RunScale(options, seeds, work, home);
        result = result != 0 ? result : Bench::RunFullScale(full);
    } else {
        const auto buildStart = std::chrono::steady_clock::now();
        const bool built = Bench::BuildCorpus(options.Corpus, options.Shape, seeds);
        const std::chrono::duration<double> buildTime =
            std::chrono::steady_clock::now() - buildStart;
        std::printf("Corpus: %d files in %d folders under %s ", options.Shape.Files,
                    options.Shape.Folders, options.Corpus.c_str());
        if (built)
            std::printf("(built in %.1f s)\n", buildTime.count());
        else
            std::printf("(reused)\n");
        result = options.Cache ? Bench::RunCacheBench({.List = options.List,
                                                       .Floor = options.Floor,
                                                       .Corpus = options.Corpus,
                                                       .Work = work,
                                                       .Home = home,
                                                       .Seeds = options.Seeds,
                                                       .Encoder = options.Encoder,
                                                       .Files = options.Shape.Files,
                                                       .Rounds = options.Rounds,
                                                       .ColdRounds = options.ColdRounds,
                                                       .ScaleFiles = options.ScaleFiles})
                               : RunComparison(options, work, home);
        result = result != 0 || options.Cache ? result : Bench::RunFullComparison(full);
    }
    PrintMachine();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage(stderr);
        return 1;
    }
    try {
        return RunBenchmark(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sonorix-bench: %s\n", error.what());
        return 2;
    }
}

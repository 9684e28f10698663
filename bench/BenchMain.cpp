// sonorix-bench: builds a corpus of real MP3 files and times sonorix-list
// against the floor program (walk, open, read head and tail, close), taking
// turns in one run. Prints files per second for both, their ratio and the
// peak memory of the list. Exit 0 when every run succeeded (whether or not the
// targets were met), 1 on bad options, 2 when a run failed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/BenchCorpus.h"
#include "bench/BenchProcess.h"
#include "profiles/ListFormat.h"

namespace fs = std::filesystem;

namespace {

constexpr double kTargetRatio = 0.5;
constexpr double kTargetBytesPerFile = 1024.0;

struct Options
{
    Bench::CorpusShape Shape{};
    int Rounds = 5;
    std::string Work = "sonorix-bench-work";
    std::string Corpus{}; // default: Work + "/corpus"
    std::string Seeds{};  // default: Work + "/seeds"
    std::string List{};   // default: beside this program, ../cli/sonorix-list
    std::string Floor{};  // default: beside this program
    std::string Encoder = "lame";
};

void Usage(std::FILE* out)
{
    std::fputs("usage: sonorix-bench [--files N] [--folders M] [--rounds R] [--corpus DIR]\n"
               "                     [--seeds DIR] [--work DIR] [--list EXE] [--floor EXE]\n"
               "                     [--encoder EXE]\n"
               "Defaults: 20000 files in 125 folders, 5 rounds, work folder\n"
               "./sonorix-bench-work (corpus, seed cache, settings store and lists inside).\n",
               out);
}

bool ParseCount(const char* text, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 1 || parsed > 10'000'000)
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
        if (i + 1 >= argc) {
            std::fprintf(stderr, "sonorix-bench: %s needs a value\n", option.c_str());
            return false;
        }
        const char* value = argv[++i];
        bool good = true;
        if (option == "--files")
            good = ParseCount(value, options.Shape.Files);
        else if (option == "--folders")
            good = ParseCount(value, options.Shape.Folders);
        else if (option == "--rounds")
            good = ParseCount(value, options.Rounds);
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
        else if (option == "--encoder")
            options.Encoder = value;
        else {
            std::fprintf(stderr, "sonorix-bench: unknown option %s\n", option.c_str());
            return false;
        }
        if (!good) {
            std::fprintf(stderr, "sonorix-bench: %s wants a whole number from 1, not '%s'\n",
                         option.c_str(), value);
            return false;
        }
    }
    return true;
}

// The --columns argument that selects all twenty columns.
std::string AllCaptions()
{
    std::string list;
    for (const char* caption : Profiles::kColumnCaptions) {
        list += list.empty() ? "" : ",";
        list += caption;
    }
    return list;
}

std::string ProgramFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ListCheck
{
    long Rows = 0;
    long ErrorRows = 0;
};

// Data rows of the written CSV (the header row aside) and how many of them
// are the rows of files the probe did not accept.
ListCheck CheckList(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    ListCheck check;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            continue;
        }
        ++check.Rows;
        if (line.find(",ERROR,") != std::string::npos)
            ++check.ErrorRows;
    }
    return check;
}

struct Program
{
    const char* Label;
    bool IsFloor;
    std::vector<std::string> Argv;
    std::vector<std::pair<std::string, std::string>> Env;
    std::string Out;
    std::string Err;
    std::vector<Bench::ChildRun> Runs{};
};

// One run; false (after saying why) when the program failed or did not see
// every corpus file.
bool RunOnce(Program& program, const Options& options, const std::string& listPath, bool record)
{
    std::error_code ec;
    fs::remove(listPath, ec);
    const Bench::ChildRun run =
        Bench::RunChild(program.Argv, program.Env, program.Out, program.Err);
    if (run.ExitCode != 0) {
        std::fprintf(stderr, "sonorix-bench: %s exited with %d\n%s", program.Label, run.ExitCode,
                     ReadText(program.Err).c_str());
        return false;
    }
    long seen = 0;
    if (program.IsFloor) {
        seen = std::atol(ReadText(program.Out).c_str());
    } else {
        const ListCheck check = CheckList(listPath);
        seen = check.Rows;
        if (check.ErrorRows > 0)
            std::fprintf(stderr, "sonorix-bench: warning: %ld corpus files listed as ERROR\n",
                         check.ErrorRows);
    }
    if (seen != options.Shape.Files) {
        std::fprintf(stderr, "sonorix-bench: %s saw %ld files, the corpus has %d\n", program.Label,
                     seen, options.Shape.Files);
        return false;
    }
    if (record)
        program.Runs.push_back(run);
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double MedianWall(const Program& program)
{
    std::vector<double> walls;
    for (const auto& run : program.Runs)
        walls.push_back(run.WallSeconds);
    return Median(walls);
}

long PeakKiB(const Program& program)
{
    long peak = 0;
    for (const auto& run : program.Runs)
        peak = std::max(peak, run.PeakKiB);
    return peak;
}

void PrintRuns(const Program& program, long files)
{
    for (std::size_t i = 0; i < program.Runs.size(); ++i) {
        const Bench::ChildRun& run = program.Runs[i];
        std::printf("  round %zu  %-12s %7.3f s wall %7.3f s cpu %9.0f files/s  peak %6ld KiB\n",
                    i + 1, program.Label, run.WallSeconds, run.CpuSeconds,
                    static_cast<double>(files) / run.WallSeconds, run.PeakKiB);
    }
}

int RunBenchmark(Options& options)
{
    const std::string here = ProgramFolder();
    if (options.List.empty())
        options.List = here + "/../cli/sonorix-list";
    if (options.Floor.empty())
        options.Floor = here + "/sonorix-bench-floor";
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

    const auto seeds = Bench::MakeSeeds(options.Seeds, options.Encoder);
    std::printf("Seeds in %s:\n", options.Seeds.c_str());
    for (std::size_t i = 0; i < seeds.size(); ++i)
        std::printf("  %-18s %6zu bytes\n", Bench::SeedSettings()[i].Name.c_str(), seeds[i].size());

    const auto buildStart = std::chrono::steady_clock::now();
    const bool built = Bench::BuildCorpus(options.Corpus, options.Shape, seeds);
    const std::chrono::duration<double> buildTime = std::chrono::steady_clock::now() - buildStart;
    std::printf("Corpus: %d files in %d folders under %s ", options.Shape.Files,
                options.Shape.Folders, options.Corpus.c_str());
    if (built)
        std::printf("(built in %.1f s)\n", buildTime.count());
    else
        std::printf("(reused)\n");

    // The list's settings store lives in the work folder, never in the
    // user's home.
    const std::string home = work + "/home";
    fs::create_directories(home + "/config");
    fs::create_directories(home + "/data");
    const std::string listPath = work + "/list.csv";
    Program floor{.Label = "floor",
                  .IsFloor = true,
                  .Argv = {options.Floor, options.Corpus},
                  .Env = {},
                  .Out = work + "/floor.out",
                  .Err = work + "/floor.err"};
    Program list{
        .Label = "sonorix-list",
        .IsFloor = false,
        .Argv = {options.List, "-f", "csv", "-c", AllCaptions(), "-q", options.Corpus, listPath},
        .Env = {{"XDG_CONFIG_HOME", home + "/config"},
                {"XDG_DATA_HOME", home + "/data"},
                {"HOME", home}},
        .Out = work + "/list.out",
        .Err = work + "/list.err"};

    std::printf("Warming the cache (one untimed run of each) ...\n");
    std::fflush(stdout);
    if (!RunOnce(floor, options, listPath, false) || !RunOnce(list, options, listPath, false))
        return 2;
    // Alternate the order so neither program always runs right after the other.
    for (int round = 0; round < options.Rounds; ++round) {
        Program& first = round % 2 == 0 ? floor : list;
        Program& second = round % 2 == 0 ? list : floor;
        if (!RunOnce(first, options, listPath, true) || !RunOnce(second, options, listPath, true))
            return 2;
    }

    const long files = options.Shape.Files;
    std::printf("Runs (%d rounds, taking turns):\n", options.Rounds);
    PrintRuns(floor, files);
    PrintRuns(list, files);
    const double floorRate = static_cast<double>(files) / MedianWall(floor);
    const double listRate = static_cast<double>(files) / MedianWall(list);
    const double ratio = listRate / floorRate;
    const long listPeak = PeakKiB(list);
    const double bytesPerFile = static_cast<double>(listPeak) * 1024.0 / static_cast<double>(files);
    std::printf("Result (median wall time of %d rounds):\n", options.Rounds);
    std::printf("  floor          %9.0f files/s   peak %6ld KiB\n", floorRate, PeakKiB(floor));
    std::printf("  sonorix-list   %9.0f files/s   peak %6ld KiB = %.0f bytes per listed file\n",
                listRate, listPeak, bytesPerFile);
    const double aboveFloor = static_cast<double>(std::max(0L, listPeak - PeakKiB(floor))) *
                              1024.0 / static_cast<double>(files);
    std::printf("  (of which %.0f bytes per listed file above the floor's peak)\n", aboveFloor);
    std::printf("  throughput ratio list/floor: %.2f (target at least %.2f: %s)\n", ratio,
                kTargetRatio, ratio >= kTargetRatio ? "met" : "MISSED");
    std::printf("  peak memory per listed file: %.0f bytes (target below %.0f: %s)\n", bytesPerFile,
                kTargetBytesPerFile, bytesPerFile < kTargetBytesPerFile ? "met" : "MISSED");
    return 0;
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

#pragma once

// Full analysis against classic analysis on one corpus of LAME files as a
// tagger of today leaves them: the seeds of the main corpus with ID3v2 tags
// (a title of their own per file, one seed in five with 100 KB of cover art)
// and an ID3v1 tag. Both lists are the same command line but --analysis.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchCorpus.h"

namespace Bench {

struct FullBenchOptions
{
    std::string Work{};    // the benchmark's work folder
    std::string List{};    // sonorix-list
    std::string Encoder{}; // lame
    std::vector<std::pair<std::string, std::string>> Env{};
    CorpusShape Shape{};
    int Rounds = 5;
    int ColdRounds = 3;
    std::optional<int> Threads{};
    int ScaleFiles = 1'000'000;
};

// Times the classic and the full list taking turns, warm and then cold
// (when the page cache may be dropped), and prints the ratio. 0 when every
// run succeeded, 2 when one failed.
int RunFullComparison(const FullBenchOptions& options);

// Lists a tree of options.ScaleFiles hard links to the tagged seeds with
// full analysis and prints its peak memory per file. 0 or 2 as above.
int RunFullScale(const FullBenchOptions& options);

} // namespace Bench

#pragma once

// The scan cache's benchmark (sonorix-bench --cache): sonorix-list on the
// corpus with an empty cache, with a full one and nothing changed, and after
// 1% of the files changed, warm and cold, against the floor and against the
// list without the cache; then a cache of a million files made in the
// process, for its size on disk and the time to read it; last a tree of a
// million small files of their own (no links: the cache keys them by inode)
// listed with an empty cache and again unchanged, for the time and the peak
// memory per file of the whole list.

#include <string>

namespace Bench {

struct CacheBenchSetup
{
    std::string List{};
    std::string Floor{};
    std::string Corpus{};
    std::string Work{};  // the cache, lists and outputs go here
    std::string Home{};  // HOME and the XDG folders of the list
    std::string Seeds{}; // the seed cache
    std::string Encoder{};
    long Files = 0;
    int Rounds = 5;
    int ColdRounds = 3;
    int ScaleFiles = 1'000'000;
};

// Exit status: 0 when every run succeeded (targets met or not), 2 when one
// failed.
int RunCacheBench(const CacheBenchSetup& setup);

} // namespace Bench

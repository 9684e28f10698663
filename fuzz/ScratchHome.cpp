#include "fuzz/ScratchHome.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace FuzzSupport {

namespace {

std::string MakeHome()
{
    const char* base = ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : nullptr;
    if (base == nullptr) {
        base = std::getenv("TMPDIR");
    }
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/sonorix-fuzz-home-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "cannot make a scratch home %s: %s\n", pattern.c_str(),
                     std::strerror(errno));
        std::abort();
    }
    ::setenv("HOME", pattern.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (pattern + "/data").c_str(), 1);
    return pattern;
}

} // namespace

const std::string& ScratchHome()
{
    static const std::string home = MakeHome();
    static const bool cleanup = [] {
        return std::atexit([] {
                   std::error_code ignored;
                   std::filesystem::remove_all(home, ignored);
               }) == 0;
    }();
    static_cast<void>(cleanup);
    return home;
}

} // namespace FuzzSupport

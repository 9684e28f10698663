#include "base/SignalCleanup.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SignalCleanup {

namespace {

// A place's state: free, being filled or emptied by its owner, or holding a
// file the handler may remove.
enum State : int
{
    kFree,
    kOwned,
    kArmed
};

struct Place
{
    std::atomic<int> Status{kFree};
    int Folder = -1;
    dev_t Device = 0;
    ino_t Inode = 0;
    std::array<char, 4096> Name{};
};

// A job holds at most a reserved name and a temporary list at once; a few
// more places cover jobs run one after another in tests.
std::array<Place, 8> g_places;
std::atomic<bool> g_ending{false};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "read in a signal handler");

constexpr std::array<int, 4> kEndingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// The longest a handler waits for files being made to be identified.
constexpr long kOwnerWaitNs = 2'000'000'000;

long NowNs()
{
    struct timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000L + now.tv_nsec;
}

// Until no place is being filled, or the wait is over. A file may exist
// already while its place is being filled: its maker, holding the ending
// signals back, identifies it within a few system calls.
void WaitForOwners()
{
    const long until = NowNs() + kOwnerWaitNs;
    for (;;) {
        bool owned = false;
        for (const Place& place : g_places) {
            owned = owned || place.Status.load() == kOwned;
        }
        if (!owned || NowNs() >= until) {
            return;
        }
        struct timespec pause = {.tv_sec = 0, .tv_nsec = 1'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

// Only what is safe in a signal handler.
void RemoveRegistered(int signal)
{
    const int savedErrno = errno;
    // First, so that a file created from now on is removed by its creator.
    g_ending.store(true);
    WaitForOwners();
    for (Place& place : g_places) {
        if (place.Status.load() != kArmed) {
            continue;
        }
        struct stat status = {};
        if (::fstatat(place.Folder, place.Name.data(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            status.st_dev == place.Device && status.st_ino == place.Inode) {
            ::unlinkat(place.Folder, place.Name.data(), 0);
        }
    }
    errno = savedErrno;
    // The handler was reset to the default on entry (SA_RESETHAND).
    ::raise(signal);
}

} // namespace

void InstallHandlers()
{
    for (const int signal : kEndingSignals) {
        struct sigaction current = {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action = {};
        action.sa_handler = RemoveRegistered;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

Registration::Registration(int folder, const char* name)
{
    const std::size_t length = std::strlen(name);
    for (std::size_t i = 0; i < g_places.size() && length < g_places[i].Name.size(); ++i) {
        int expected = kFree;
        if (g_places[i].Status.compare_exchange_strong(expected, kOwned)) {
            Place& place = g_places[i];
            place.Folder = folder;
            std::memcpy(place.Name.data(), name, length + 1);
            m_slot = static_cast<int>(i);
            return;
        }
    }
}

Registration::~Registration() { Release(); }

bool Registration::Identify(dev_t device, ino_t inode)
{
    if (m_slot >= 0) {
        Place& place = g_places[static_cast<std::size_t>(m_slot)];
        place.Device = device;
        place.Inode = inode;
        place.Status.store(kArmed);
    }
    // Read after arming: a handler that began before it set the flag first,
    // and one that begins later sees the place armed.
    return !g_ending.load();
}

void Registration::Release()
{
    if (m_slot >= 0) {
        g_places[static_cast<std::size_t>(m_slot)].Status.store(kFree);
        m_slot = -1;
    }
}

bool Ending() { return g_ending.load(); }

HoldBack::HoldBack()
{
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : kEndingSignals) {
        sigaddset(&ending, signal);
    }
    m_held = ::pthread_sigmask(SIG_BLOCK, &ending, &m_previous) == 0;
}

HoldBack::~HoldBack()
{
    if (m_held) {
        ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
}

} // namespace SignalCleanup

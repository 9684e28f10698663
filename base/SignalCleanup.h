#pragma once

// Files that must not outlive the program when a signal ends it: a list
// still being written under its temporary name, a numbered name reserved
// for a list. The signal handler removes each registered file that is still
// the very file registered (same device and inode), then ends the program by
// the same signal. Everything it reads lives in fixed storage and is
// published through atomics, so it is safe from a handler on any thread.

#include <csignal>
#include <sys/types.h>

namespace SignalCleanup {

// From now on a hang-up, interrupt, quit or terminate signal first removes
// the registered files, then ends the program as it would have; a signal the
// program ignores (nohup) stays ignored. A file-size limit no longer kills
// the program: the write fails with "File too large" and is reported like
// any failed write. For the programs' main functions.
void InstallHandlers();

// One registered file, removed on an ending signal until it is released.
// The name is taken before the file is created (so no moment is left in
// which it exists unregistered); Identify gives its device and inode once it
// has been created, and only then may the handler remove it. So a file is
// made under a HoldBack: the Registration; no file when Ending() is already
// true (a handler may have looked); the file; Identify. A handler that meets
// a registration not yet identified waits for it a while.
class Registration
{
public:
    // name lies in the open folder (or is a path when folder is AT_FDCWD),
    // which must stay open while registered. A registration that finds no
    // room, or a name too long for its place, is inactive (Active() false):
    // that file is then not removed by a signal.
    Registration(int folder, const char* name);
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    [[nodiscard]] bool Active() const { return m_slot >= 0; }

    // The file has been created: the handler may remove it from now on.
    // False when an ending signal has already begun to end the program:
    // the caller then removes the file itself and stops.
    [[nodiscard]] bool Identify(dev_t device, ino_t inode);

    // The file is no longer ours to remove (renamed into place, given back).
    void Release();

private:
    int m_slot = -1;
};

// True once an ending signal has begun to end the program.
[[nodiscard]] bool Ending();

// While one lives, the ending signals wait on this thread: for the steps
// from a Registration to its Identify (or its end), which a handler on
// another thread waits for, and which one on this thread would cut short.
class HoldBack
{
public:
    HoldBack();
    ~HoldBack();
    HoldBack(const HoldBack&) = delete;
    HoldBack& operator=(const HoldBack&) = delete;

private:
    sigset_t m_previous{};
    bool m_held = false;
};

} // namespace SignalCleanup

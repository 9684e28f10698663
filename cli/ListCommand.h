#pragma once

// What sonorix-list does once its command line is read: list the stored
// styles, or load a profile, lay the options over it and run the list job.

#include "cli/ListOptions.h"

namespace ListCli {

inline constexpr int kExitWritten = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitNoFiles = 2;
inline constexpr int kExitIoError = 3;

// --list-styles or the list job (not --help, --version or --list-columns,
// which need no store). Returns the exit status; a style that cannot be used
// throws UsageError, the store and the job throw their errors.
int RunListCommand(const ListOptions& options);

} // namespace ListCli

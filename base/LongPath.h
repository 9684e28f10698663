#pragma once

// Paths of any length. The system takes a path of at most PATH_MAX - 1 bytes
// in one call; a longer one (a deep collection easily has them) is resolved a
// stretch at a time, each stretch opened relative to the folder before it,
// so its last part is always opened relative to its own folder. A path that
// fits is handed over whole, as before.

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#include "base/UniqueFd.h"

namespace LongPath {

// Opens a folder only to stand on it, for opening or looking at what lies in
// it: O_PATH asks for no read permission, only the search permission that
// resolving a path through the folder needs anyway.
#ifdef O_PATH
inline constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
inline constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// openat(base, path, flags, mode) for a path of any length; base is a folder
// descriptor or AT_FDCWD. Gives 0 and the open file in fd, or the errno value
// of the failure (a leading folder that cannot be reached fails the same way
// the whole path would). An interrupted open is retried.
[[nodiscard]] int Open(int base, const std::string& path, int flags, UniqueFd& fd, mode_t mode = 0);

// fstatat(base, path, status, flags) for a path of any length: 0 or the errno
// value.
[[nodiscard]] int Stat(int base, const std::string& path, struct stat& status, int flags = 0);

} // namespace LongPath

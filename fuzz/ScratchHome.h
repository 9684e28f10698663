#pragma once

// A home of its own for the fuzz targets that reach the settings store or the
// desktop entry: HOME, XDG_CONFIG_HOME and XDG_DATA_HOME point into a fresh
// temporary folder (in memory, under /dev/shm, where there is one), so a run
// never touches the user's settings and its many small writes cost no disk.
// The folder is removed when the program ends normally.

#include <string>

namespace FuzzSupport {

// Makes the folder and sets the variables at the first call; later calls
// return the same folder.
const std::string& ScratchHome();

} // namespace FuzzSupport

#pragma once

// What --version prints: "Sonorix 4.1", and the git revision the program was
// built from when it was built from a git checkout.

#include <string>

std::string VersionText();

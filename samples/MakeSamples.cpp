// sonorix-make-samples FOLDER
//
// Writes the bundled sample collection into FOLDER (created when missing;
// files of the same names are replaced). Exit 0 when written, 1 on usage,
// 3 when a file or folder cannot be written.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "base/TerminalText.h"
#include "samples/Samples.h"

namespace {

constexpr const char* kUsage = "Usage: sonorix-make-samples [--] FOLDER\n";

constexpr const char* kHelp =
    "Writes the bundled sample collection of audio files into FOLDER\n"
    "(created when missing; files of the same names are replaced).\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --          the argument after it is the FOLDER, even when it starts with \"-\"\n"
    "\n"
    "Exit status: 0 written, 1 wrong usage, 3 a file or folder cannot be written.\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> folders;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "sonorix-make-samples: unknown option '%s'\n%s",
                         TerminalSafe(arg).c_str(), kUsage);
            return 1;
        } else {
            folders.push_back(arg);
        }
    }
    if (folders.size() != 1) {
        std::fprintf(stderr, "%sTry 'sonorix-make-samples --help' for more information.\n", kUsage);
        return 1;
    }
    const std::string& folder = folders.front();
    try {
        const auto written = Samples::WriteSamples(folder);
        std::printf("Wrote %zu sample files into %s\n", written.size(),
                    TerminalSafe(folder).c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sonorix-make-samples: %s\n", TerminalSafe(error.what()).c_str());
        return 3;
    }
}

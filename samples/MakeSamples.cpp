// sonorix-make-samples FOLDER
//
// Writes the bundled sample collection into FOLDER (created when missing;
// files of the same names are replaced). Exit 0 when written, 1 on usage,
// 3 when a file or folder cannot be written.

#include <cstdio>
#include <exception>

#include "samples/Samples.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: sonorix-make-samples FOLDER\n");
        return 1;
    }
    try {
        const auto written = Samples::WriteSamples(argv[1]);
        std::printf("Wrote %zu sample files into %s\n", written.size(), argv[1]);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sonorix-make-samples: %s\n", error.what());
        return 3;
    }
}

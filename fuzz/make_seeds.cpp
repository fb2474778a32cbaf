// Writes one small seed per benchmark workload into the folder given, each prefixed by
// a control script that cuts the stream at varied points and mixes in host operations.
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/TerminalWorkloads.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvik-fuzz-seeds FOLDER\n");
        return 2;
    }
    using namespace tarvik::workloads;
    // Script: slice lengths 1, 10, 50, 170, 5, ... with resize, scroll back, copy,
    // clear-dirty and return-to-live operations between them.
    const std::string script = {12, 0x01, 0x1C, 0x3A, 0x6C, 0x14, 0x23, 0x49, 0x0B, 0x2E, 0x55, 0x03, 0x1D};
    for (Workload w : allWorkloads) {
        const std::string path = std::string(argv[1]) + "/" + std::string(name(w)) + ".bin";
        std::ofstream out(path, std::ios::binary);
        out << script << generate(w, 40, 12, 3000, 7);
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

// Whole-process timing of the document's file paths: propdump_loadsave FILE [OUT]
// Loads FILE (reading its header), then saves it to OUT when given, and prints each time.
#include "model/Propdmp.h"

#include <chrono>
#include <cstdio>
#include <exception>

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s FILE [OUT]\n", argv[0]);
        return 2;
    }
    try {
        TPropdumpFile doc;
        auto start = std::chrono::steady_clock::now();
        doc.LoadFromFile(argv[1], 0);
        std::printf("load: %.3f s (%d objects, version %d)\n", SecondsSince(start), doc.Count(), doc.Version);
        if (argc == 3) {
            doc.FileName = argv[2];
            start = std::chrono::steady_clock::now();
            doc.Save();
            std::printf("save: %.3f s\n", SecondsSince(start));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

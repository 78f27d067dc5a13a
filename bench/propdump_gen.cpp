// Writes a seeded corpus file: propdump_gen OUT N VERSION SEED
#include "bench/Corpus.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s OUT N VERSION SEED\n", argv[0]);
        return 2;
    }
    try {
        const std::size_t count = std::stoull(argv[2]);
        const int version = std::stoi(argv[3]);
        const uint64_t seed = std::stoull(argv[4]);
        if (version < 2 || version > 4) {
            std::fprintf(stderr, "VERSION must be 2, 3 or 4\n");
            return 2;
        }
        WriteCorpusFile(argv[1], count, version, seed);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

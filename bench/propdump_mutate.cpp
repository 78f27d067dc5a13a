// Writes a later dump of a corpus file: propdump_mutate IN OUT SEED [PERCENT]
// PERCENT (default 1) of the objects changed, as many removed and as many added.
#include "bench/Corpus.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s IN OUT SEED [PERCENT]\n", argv[0]);
        return 2;
    }
    try {
        TPropdumpFile document;
        document.LoadFromFile(argv[1], 0);
        const uint64_t seed = std::stoull(argv[3]);
        const unsigned percent = argc == 5 ? static_cast<unsigned>(std::stoul(argv[4])) : 1;
        document.Objects =
            MutateCorpus(std::move(document.Objects), document.Version, seed, percent);
        document.FileName = argv[2];
        document.Save();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

// The document's whole-file operations on the seeded corpus at 10k, 100k and 1M objects.
#include "bench/Corpus.h"
#include "model/Propdmp.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

namespace {

constexpr int CorpusVersion = 4;
constexpr uint64_t CorpusSeed = 1;

const std::string& CorpusText(std::size_t count) {
    static std::map<std::size_t, std::string> texts;
    auto it = texts.find(count);
    if (it == texts.end())
        it = texts.emplace(count, GenerateCorpusText(count, CorpusVersion, CorpusSeed)).first;
    return it->second;
}

TPropdumpFile LoadedCorpus(std::size_t count) {
    TPropdumpFile doc;
    doc.LoadFromMemory(CorpusText(count), "corpus", 0);
    return doc;
}

void CorpusSizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

void BM_Load(benchmark::State& state) {
    const std::string& text = CorpusText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        TPropdumpFile doc;
        doc.LoadFromMemory(text, "corpus", 0);
        benchmark::DoNotOptimize(doc.Objects.data());
        state.PauseTiming(); // freeing a million objects is not part of loading them
        doc.Clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Load)->Apply(CorpusSizes);

void BM_Save(benchmark::State& state) {
    TPropdumpFile doc = LoadedCorpus(static_cast<std::size_t>(state.range(0)));
    char path[] = "/tmp/propdump-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("cannot create a temporary file");
        return;
    }
    ::close(fd);
    doc.FileName = path;
    for (auto _ : state)
        doc.Save();
    std::remove(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CorpusText(doc.Objects.size()).size()));
}
BENCHMARK(BM_Save)->Apply(CorpusSizes);

void BM_CitizenNumbersAndModelNames(benchmark::State& state) {
    const TPropdumpFile doc = LoadedCorpus(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(doc.GetCitizenNumbers());
        benchmark::DoNotOptimize(doc.GetModelNames());
    }
}
BENCHMARK(BM_CitizenNumbersAndModelNames)->Apply(CorpusSizes);

void BM_DeleteEverySecond(benchmark::State& state) {
    const TPropdumpFile original = LoadedCorpus(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        TPropdumpFile doc = original;
        for (std::size_t i = 0; i < doc.Objects.size(); i += 2)
            doc.Objects[i].MarkedForDeletion = true;
        state.ResumeTiming();
        doc.DeleteMarked();
        benchmark::DoNotOptimize(doc.Objects.data());
        state.PauseTiming();
        doc.Clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteEverySecond)->Apply(CorpusSizes);

} // namespace

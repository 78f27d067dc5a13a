// Per-object text work that runs for every painted row and every object of a search: matching a
// model or description pattern, and building the location and date/time columns.

#include "bench/Corpus.h"
#include "model/CFunctions.h"
#include "text/DateTimeText.h"
#include "text/PositionInfo.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

namespace {

constexpr std::size_t LargestCorpus = 1000000;

// One seeded corpus; smaller runs use its leading objects.
const std::vector<TPropObject>& Corpus() {
    static const std::vector<TPropObject> objects = GenerateCorpus(LargestCorpus, 4, 20240611);
    return objects;
}

void ReportPerObject(benchmark::State& state, std::size_t count) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(count));
    // Seconds of CPU time per object, printed with an SI prefix (for example "35.2ns").
    state.counters["per_object"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void MatchField(benchmark::State& state, std::string TPropObject::*Field, const char* pattern) {
    const std::vector<TPropObject>& objects = Corpus();
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    std::size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (std::size_t i = 0; i < count; ++i)
            matches += WildcardMatch(pattern, objects[i].*Field) ? 1 : 0;
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = static_cast<double>(matches);
    ReportPerObject(state, count);
}

void BM_PositionToText(benchmark::State& state) {
    const std::vector<TPropObject>& objects = Corpus();
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        for (std::size_t i = 0; i < count; ++i) {
            const TPropObject& o = objects[i];
            std::string text = PositionToText(o.X, o.Y, o.Z, o.Yaw);
            benchmark::DoNotOptimize(text.data());
        }
    }
    ReportPerObject(state, count);
}

void BM_ListDateTime(benchmark::State& state) {
    const std::vector<TPropObject>& objects = Corpus();
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        for (std::size_t i = 0; i < count; ++i) {
            std::string text = FormatListDateTime(SecondsToDateTime(objects[i].Timestamp));
            benchmark::DoNotOptimize(text.data());
        }
    }
    ReportPerObject(state, count);
}

void BM_ModelMatch(benchmark::State& state, const char* pattern) {
    MatchField(state, &TPropObject::Model, pattern);
}

void BM_DescriptionMatch(benchmark::State& state, const char* pattern) {
    MatchField(state, &TPropObject::Description, pattern);
}

} // namespace

BENCHMARK_CAPTURE(BM_ModelMatch, model_tree_star, "tree*")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
// "*sale*" occurs in no description, so every text is scanned to its end; "*garden*" often matches.
BENCHMARK_CAPTURE(BM_DescriptionMatch, description_star_sale_star, "*sale*")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DescriptionMatch, description_star_garden_star, "*garden*")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PositionToText)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListDateTime)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

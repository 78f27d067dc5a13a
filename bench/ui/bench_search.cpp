// The search on the seeded corpus: the per-object test alone, a whole search from the action to
// the listed rows, and the deletion of what a search found with the refresh that follows.
#include "bench/ui/BenchWindow.h"
#include "text/DateTimeText.h"
#include "ops/SearchMatcher.h"
#include "ui/SearchResultsModel.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QTabWidget>

#include <benchmark/benchmark.h>

namespace {

// The corpus stamps its objects evenly over these seconds; a tenth of the span finds about a
// tenth of the objects.
constexpr int64_t FirstStamp = 946684800;
constexpr int64_t StampSpan = 1650000000 - FirstStamp;

void CorpusSizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

// Models "tree*" and a description pattern: the text tests, which cost the most per object.
void BM_SearchMatcher(benchmark::State& State) {
    const TPropdumpFile& Document = BenchCorpus(static_cast<std::size_t>(State.range(0)));
    TSearchCriteria Criteria;
    Criteria.Fields.Set(sfModels, true);
    Criteria.ModelsText = "tree*";
    Criteria.Fields.Set(sfDescription, true);
    Criteria.DescriptionText = "*garden*";
    Criteria.Exclude.Set(sfDescription, true);
    int64_t Found = 0;
    for (auto _ : State) {
        const TSearchMatcher Matcher(Criteria);
        Found = 0;
        for (const TPropObject& Object : Document.Objects)
            Found += Matcher.Matches(Object) ? 1 : 0;
        benchmark::DoNotOptimize(Found);
    }
    State.counters["found"] = static_cast<double>(Found);
    State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(Document.Objects.size()));
}
BENCHMARK(BM_SearchMatcher)->Apply(CorpusSizes);

// A window with the corpus open and criteria that find about a tenth of it.
struct TSearchWindow : TBenchWindow {
    explicit TSearchWindow(const TPropdumpFile& Document) : TBenchWindow(Document) {
        Form.PageControl1->setCurrentIndex(TMainForm::SearchTab);
        TSearchCriteria& Criteria = Form.SearchCriteria;
        Criteria.Fields.Set(sfModels, true);
        Criteria.ModelsText = "*";
        Criteria.Fields.Set(sfMinTime, true);
        Criteria.MinTime = SecondsToDateTime(FirstStamp);
        Criteria.Fields.Set(sfMaxTime, true);
        Criteria.MaxTime = SecondsToDateTime(FirstStamp + StampSpan / 10);
    }
};

void BM_SearchToListedRows(benchmark::State& State) {
    TSearchWindow Window(BenchCorpus(static_cast<std::size_t>(State.range(0))));
    for (auto _ : State)
        Window.Click(Window.Form.DoSearch);
    State.counters["found"] = Window.Form.SearchResults->RowCount();
    if (!Window.Platform.Errors.isEmpty())
        State.SkipWithError(qPrintable(Window.Platform.Errors.first()));
}
BENCHMARK(BM_SearchToListedRows)->Apply(CorpusSizes)->Iterations(5);

void BM_DeleteFoundAndRefresh(benchmark::State& State) {
    const TPropdumpFile& Document = BenchCorpus(static_cast<std::size_t>(State.range(0)));
    TSearchWindow Window(Document);
    int Found = 0;
    for (auto _ : State) {
        State.PauseTiming();
        Window.Form.Propdump.Objects = Document.Objects;
        Window.Click(Window.Form.DoSearch);
        Found = Window.Form.SearchResults->RowCount();
        State.ResumeTiming();
        Window.Click(Window.Form.DeleteSearchResults);
    }
    State.counters["found"] = Found;
    State.counters["left"] = Window.Form.Propdump.Count();
    if (!Window.Platform.Errors.isEmpty())
        State.SkipWithError(qPrintable(Window.Platform.Errors.first()));
}
BENCHMARK(BM_DeleteFoundAndRefresh)->Apply(CorpusSizes)->Iterations(3);

} // namespace

// The bulk edits on the seeded corpus, each from the action to the refreshed window, and the
// refresh of the summary views alone.
#include "bench/MostFrequent.h"
#include "bench/ui/BenchWindow.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <utility>

namespace {

// Names the last report and fails the run when an error was shown.
void Report(benchmark::State& State, const TBenchWindow& Window) {
    State.counters["objects"] = Window.Form.Propdump.Count();
    State.SetLabel(Window.Platform.LastMessage.toStdString());
    if (!Window.Platform.Errors.isEmpty())
        State.SkipWithError(Window.Platform.Errors.first().toStdString().c_str());
}

void CorpusSizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

// Replaces From by To and back, one way per run.
void RunReplaceAndBack(benchmark::State& State, TBenchWindow& Window, QLineEdit* Find,
                       QLineEdit* Replace, QAction* Action, QString From, QString To) {
    for (auto _ : State) {
        Find->setText(From);
        Replace->setText(To);
        Window.Click(Action);
        std::swap(From, To);
    }
    Report(State, Window);
}

// The owner of the most objects handed to a new citizen number.
void BM_CitNumReplace(benchmark::State& State) {
    const TPropdumpFile& Document = BenchCorpus(static_cast<std::size_t>(State.range(0)));
    TBenchWindow Window(Document);
    const int32_t Owner =
        MostFrequent<int32_t>(Document, [](const TPropObject& O) { return O.Owner; });
    RunReplaceAndBack(State, Window, Window.Form.FindCitNum, Window.Form.ReplaceCitNum,
                      Window.Form.DoCitNumReplace, QString::number(Owner),
                      QStringLiteral("1999999999"));
}
BENCHMARK(BM_CitNumReplace)->Apply(CorpusSizes)->Iterations(4);

// The most used model name, found in another letter case.
void BM_ReplaceModels(benchmark::State& State) {
    const TPropdumpFile& Document = BenchCorpus(static_cast<std::size_t>(State.range(0)));
    TBenchWindow Window(Document);
    const std::string Model =
        MostFrequent<std::string>(Document, [](const TPropObject& O) { return O.Model; });
    RunReplaceAndBack(State, Window, Window.Form.FindModelName, Window.Form.ReplaceModelName,
                      Window.Form.ReplaceModels, QString::fromStdString(Model).toUpper(),
                      QStringLiteral("replaced.rwx"));
}
BENCHMARK(BM_ReplaceModels)->Apply(CorpusSizes)->Iterations(4);

// Each run starts from the corpus as loaded; restoring it is not timed.
void BM_SuffixEdit(benchmark::State& State, QAction* TMainForm::*Action) {
    const TPropdumpFile& Document = BenchCorpus(static_cast<std::size_t>(State.range(0)));
    TBenchWindow Window(Document);
    for (auto _ : State) {
        Window.Click(Window.Form.*Action);
        State.PauseTiming();
        Window.Form.Propdump.Objects = Document.Objects;
        State.ResumeTiming();
    }
    Report(State, Window);
}
BENCHMARK_CAPTURE(BM_SuffixEdit, NormalizeModels, &TMainForm::NormalizeModels)
    ->Apply(CorpusSizes)
    ->Iterations(4);
BENCHMARK_CAPTURE(BM_SuffixEdit, DenormalizeModels, &TMainForm::DenormalizeModels)
    ->Apply(CorpusSizes)
    ->Iterations(4);

// What every bulk edit ends with: the citizen-number and model lists rebuilt in full.
void BM_RefreshViews(benchmark::State& State) {
    TBenchWindow Window(BenchCorpus(static_cast<std::size_t>(State.range(0))));
    for (auto _ : State)
        Window.Form.RefreshViews();
    Report(State, Window);
}
BENCHMARK(BM_RefreshViews)->Apply(CorpusSizes)->Iterations(4);

} // namespace

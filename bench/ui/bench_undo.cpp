// Undo and redo on the seeded 1M corpus, each from the menu's action to the refreshed and painted
// window: a citizen-number replacement over every object, and the deletion of 500,000 found
// objects. The change itself is made once, untimed; each iteration undoes and redoes it.
#include "bench/ui/BenchWindow.h"
#include "ui/SearchResultsModel.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void ReplaceEveryOwner(TBenchWindow& Window) {
    Window.Form.FindCitNum->setText(QStringLiteral("-1"));
    Window.Form.ReplaceCitNum->setText(QStringLiteral("1999999999"));
    Window.Click(Window.Form.DoCitNumReplace);
}

// Every second object, listed as a search lists what it found.
void DeleteHalfAsFound(TBenchWindow& Window) {
    std::vector<TSearchResultsModel::TRow> Rows;
    for (int Position = 2; Position <= Window.Form.Propdump.Count(); Position += 2)
        Rows.push_back(TSearchResultsModel::MakeRow(Position, {}, {}, {}, {}));
    Window.Form.SearchResults->SetRows(std::move(Rows));
    Window.Form.DeleteSearchResults->setEnabled(true);
    Window.Click(Window.Form.DeleteSearchResults);
}

void BM_UndoRedo(benchmark::State& State, void (*Change)(TBenchWindow&)) {
    TBenchWindow Window(BenchCorpus(static_cast<std::size_t>(State.range(0))));
    Change(Window);
    const QString Undo = Window.Form.EditUndo->text();
    QElapsedTimer Timer;
    qint64 UndoNs = 0;
    qint64 RedoNs = 0;
    for (auto _ : State) {
        Timer.start();
        Window.Click(Window.Form.EditUndo);
        UndoNs += Timer.nsecsElapsed();
        Timer.start();
        Window.Click(Window.Form.EditRedo);
        RedoNs += Timer.nsecsElapsed();
    }
    const double Iterations = static_cast<double>(State.iterations());
    State.counters["undo_ms"] = static_cast<double>(UndoNs) / 1e6 / Iterations;
    State.counters["redo_ms"] = static_cast<double>(RedoNs) / 1e6 / Iterations;
    State.counters["objects"] = Window.Form.Propdump.Count();
    State.SetLabel(Undo.toStdString());
    if (!Window.Platform.Errors.isEmpty())
        State.SkipWithError(Window.Platform.Errors.first().toStdString().c_str());
}
BENCHMARK_CAPTURE(BM_UndoRedo, CitNumEveryObject, ReplaceEveryOwner)
    ->Arg(1000000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_UndoRedo, Delete500kFound, DeleteHalfAsFound)
    ->Arg(1000000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

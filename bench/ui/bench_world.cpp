// The window's work on the world as a space, each from its action to the listed rows: moving the
// objects a search found, comparing with a later dump of the corpus (1% of the objects changed, 1%
// removed and 1% added) read from disk, and importing what the document lacks from that dump.
#include "bench/ui/BenchWindow.h"
#include "model/Propdmp.h"
#include "ops/SearchCriteria.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmImport.h"
#include "ui/uFrmMove.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

#include <benchmark/benchmark.h>

namespace {

// Answers the file dialog with File and fills in the move and import dialogs.
class TWorldPlatform : public TAnsweringPlatform {
public:
    QString File;
    QString GetOpenFileName(QWidget*, const QString&) override { return File; }
    int RunModal(QDialog& Dialog) override {
        if (auto* Move = qobject_cast<TFrmMove*>(&Dialog)) {
            Move->OffsetEdit->setText(QStringLiteral("200N 0E"));
            Move->OkButton->click();
        } else if (auto* Import = qobject_cast<TFrmImport*>(&Dialog)) {
            Import->MissingCheck->setChecked(true);
            Import->OkButton->click();
        }
        return Dialog.result();
    }
};

struct TWorldWindow {
    TWorldPlatform Answers;
    TBenchWindow Window;

    explicit TWorldWindow(std::size_t Count) : Window(BenchCorpus(Count)) {
        // Over the window's own answers, which it installed after these.
        SetPlatform(&Answers);
        Window.Form.Propdump.FileName = "corpus.pd";
        Window.Form.RefreshViews();
        Answers.File = LaterDump(Count);
    }

    // The later dump on disk, written once per size.
    static QString LaterDump(std::size_t Count) {
        const QString Path =
            QDir::temp().filePath(QStringLiteral("propdump-bench-later-%1.pd").arg(Count));
        if (!QFile::exists(Path)) {
            TPropdumpFile Later = BenchCorpus(Count);
            Later.Objects = MutateCorpus(std::move(Later.Objects), Later.Version, 7, 1);
            Later.FileName = Path.toStdString();
            Later.Save();
        }
        return Path;
    }

    void Check(benchmark::State& State, int Rows) const {
        if (!Answers.Errors.isEmpty())
            State.SkipWithError(qPrintable(Answers.Errors.first()));
        State.counters["rows"] = Rows;
    }
};

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

// A tenth of the objects (the owner most of them share is left out) moved 200 units north.
void BM_MoveFound(benchmark::State& State) {
    TWorldWindow World(static_cast<std::size_t>(State.range(0)));
    TMainForm& Form = World.Window.Form;
    Form.SearchCriteria.Fields.Set(sfModels, true);
    Form.SearchCriteria.ModelsText = "a*,b*";
    World.Window.Click(Form.DoSearch);
    for (auto _ : State)
        World.Window.Click(Form.MoveSearchResults);
    World.Check(State, Form.SearchResults->RowCount());
}
BENCHMARK(BM_MoveFound)->Apply(Sizes)->Iterations(3);

void BM_CompareWithLaterDump(benchmark::State& State) {
    TWorldWindow World(static_cast<std::size_t>(State.range(0)));
    for (auto _ : State)
        World.Window.Click(World.Window.Form.CompareWith);
    World.Check(State, World.Window.Form.SearchResults->RowCount());
}
BENCHMARK(BM_CompareWithLaterDump)->Apply(Sizes)->Iterations(3);

// What the document lacks of the later dump, undone between the runs.
void BM_ImportMissing(benchmark::State& State) {
    TWorldWindow World(static_cast<std::size_t>(State.range(0)));
    TMainForm& Form = World.Window.Form;
    int Rows = 0;
    for (auto _ : State) {
        World.Window.Click(Form.ImportObjects);
        State.PauseTiming();
        Rows = Form.SearchResults->RowCount();
        World.Window.Click(Form.EditUndo);
        State.ResumeTiming();
    }
    World.Check(State, Rows);
}
BENCHMARK(BM_ImportMissing)->Apply(Sizes)->Iterations(3);

} // namespace

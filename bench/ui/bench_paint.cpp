// The objects list on the seeded corpus: one page of rows painted, the way from a new object count
// to the first rows on screen, and a walk page by page from the top of the list to its end.
#include "BenchWindow.h"
#include "bench/Corpus.h"
#include "ui/ObjectsListModel.h"
#include "ui/uMainForm.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QListView>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

namespace {

constexpr int CorpusVersion = 4;
constexpr uint64_t CorpusSeed = 1;

// This thread's processor time: apart from the wall time, it tells a slow page from a machine
// busy with other work.
double ThreadMillis() {
    timespec Now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
    return static_cast<double>(Now.tv_sec) * 1e3 + static_cast<double>(Now.tv_nsec) / 1e6;
}

// A shown main window whose document holds Count corpus objects, the list on screen.
TMainForm& ListShowing(std::size_t Count) {
    static std::map<std::size_t, std::unique_ptr<TMainForm>> Forms;
    std::unique_ptr<TMainForm>& Form = Forms[Count];
    if (!Form) {
        Form = std::make_unique<TMainForm>();
        Form->Propdump.Objects = GenerateCorpus(Count, CorpusVersion, CorpusSeed);
        Form->Propdump.FileName = "corpus.pd";
        Form->Propdump.Version = CorpusVersion;
        Form->show();
        Form->RefreshViews();
        QCoreApplication::processEvents();
    }
    return *Form;
}

TObjectsListModel& Rows(TMainForm& Form) {
    return *qobject_cast<TObjectsListModel*>(Form.ListBox1->model());
}

QImage PageImage(const QListView& List) {
    QImage Image(List.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    Image.fill(Qt::white);
    return Image;
}

// Paints the rows in view into Image, as a repaint of the whole list does.
void PaintPage(QListView& List, QImage& Image) {
    List.viewport()->render(&Image);
}

void BM_ListPaintPage(benchmark::State& State) {
    TMainForm& Form = ListShowing(static_cast<std::size_t>(State.range(0)));
    QListView& List = *Form.ListBox1;
    QScrollBar& Bar = *List.verticalScrollBar();
    QImage Image = PageImage(List);
    // A different page each time, spread over the whole list.
    int Position = 0;
    for (auto _ : State) {
        State.PauseTiming();
        Position = (Position + 7919 * Bar.pageStep()) % std::max(1, Bar.maximum());
        Bar.setValue(Position);
        State.ResumeTiming();
        PaintPage(List, Image);
    }
    State.counters["rows/page"] = Bar.pageStep();
}
BENCHMARK(BM_ListPaintPage)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// From a new count (the end of a load) until the list has painted its first rows.
void BM_ListFirstRows(benchmark::State& State) {
    TMainForm& Form = ListShowing(static_cast<std::size_t>(State.range(0)));
    TObjectsListModel& Model = Rows(Form);
    TPaintCounter Counter;
    Form.ListBox1->viewport()->installEventFilter(&Counter);
    for (auto _ : State) {
        State.PauseTiming();
        Model.SetCount(0);
        QCoreApplication::processEvents();
        Counter.Paints = 0;
        State.ResumeTiming();
        Model.SetCount(Form.Propdump.Count());
        while (Counter.Paints == 0)
            QCoreApplication::processEvents();
    }
    Form.ListBox1->viewport()->removeEventFilter(&Counter);
}
BENCHMARK(BM_ListFirstRows)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The whole refresh that ends a load, until the list has painted its first rows.
void BM_RefreshToFirstRows(benchmark::State& State) {
    TMainForm& Form = ListShowing(static_cast<std::size_t>(State.range(0)));
    TPaintCounter Counter;
    Form.ListBox1->viewport()->installEventFilter(&Counter);
    for (auto _ : State) {
        State.PauseTiming();
        QCoreApplication::processEvents();
        Counter.Paints = 0;
        State.ResumeTiming();
        Form.RefreshViews();
        while (Counter.Paints == 0)
            QCoreApplication::processEvents();
    }
    Form.ListBox1->viewport()->removeEventFilter(&Counter);
}
BENCHMARK(BM_RefreshToFirstRows)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Page Down from the first row to the last, one page painted per step: the slowest page tells
// whether scrolling ever stalls.
void BM_ListScrollAllPages(benchmark::State& State) {
    using TClock = std::chrono::steady_clock;
    TMainForm& Form = ListShowing(static_cast<std::size_t>(State.range(0)));
    QListView& List = *Form.ListBox1;
    QScrollBar& Bar = *List.verticalScrollBar();
    QImage Image = PageImage(List);
    double Slowest = 0;
    double SlowestCpu = 0;
    double Total = 0;
    long Pages = 0;
    for (auto _ : State) {
        Bar.setValue(0);
        bool First = true;
        while (First || Bar.value() < Bar.maximum()) {
            const auto Start = TClock::now();
            const double StartCpu = ThreadMillis();
            if (!First)
                Bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
            First = false;
            PaintPage(List, Image);
            const double Millis =
                std::chrono::duration<double, std::milli>(TClock::now() - Start).count();
            Slowest = std::max(Slowest, Millis);
            SlowestCpu = std::max(SlowestCpu, ThreadMillis() - StartCpu);
            Total += Millis;
            ++Pages;
        }
    }
    State.counters["pages"] = static_cast<double>(Pages);
    State.counters["slowest_ms"] = Slowest;
    State.counters["slowest_cpu_ms"] = SlowestCpu;
    State.counters["mean_ms"] = Pages ? Total / static_cast<double>(Pages) : 0;
}
BENCHMARK(BM_ListScrollAllPages)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

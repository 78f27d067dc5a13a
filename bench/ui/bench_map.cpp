// The world map on the seeded corpus: opening it until every object is drawn at "Fit", one
// redraw after a pan or a zoom step, finding the objects of an area (about a tenth of the world)
// through to the listed results, and the map's own memory.
#include "BenchWindow.h"

#include "ops/MapArea.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmWorldMap.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

TBenchWindow& Window(std::size_t Count) {
    static std::map<std::size_t, std::unique_ptr<TBenchWindow>> Windows;
    std::unique_ptr<TBenchWindow>& Window = Windows[Count];
    if (!Window)
        Window = std::make_unique<TBenchWindow>(BenchCorpus(Count));
    return *Window;
}

TFrmWorldMap& OpenMap(TBenchWindow& Bench) {
    if (!Bench.Form.WorldMapWindow()) {
        Bench.Click(Bench.Form.WorldMap);
        QCoreApplication::processEvents();
    }
    return *Bench.Form.WorldMapWindow();
}

// From the "World map" command until the map has painted every object at "Fit".
void BM_MapOpenToFit(benchmark::State& State) {
    TBenchWindow& Bench = Window(static_cast<std::size_t>(State.range(0)));
    double Bytes = 0;
    for (auto _ : State) {
        State.PauseTiming();
        if (TFrmWorldMap* Open = Bench.Form.WorldMapWindow()) {
            Open->close();
            QCoreApplication::processEvents();
        }
        State.ResumeTiming();
        Bench.Form.WorldMap->trigger();
        TFrmWorldMap& Map = *Bench.Form.WorldMapWindow();
        TPaintCounter Counter;
        Map.MapView->installEventFilter(&Counter);
        while (Counter.Paints == 0)
            QCoreApplication::processEvents();
        Map.MapView->removeEventFilter(&Counter);
        Bytes = static_cast<double>(Map.MapView->MemoryBytes());
    }
    TFrmWorldMap& Map = OpenMap(Bench);
    State.counters["map_bytes"] = Bytes;
    State.counters["bytes/object"] = Bytes / static_cast<double>(State.range(0));
    State.counters["point_bytes/object"] =
        static_cast<double>(Map.MapView->Points().MemoryBytes()) /
        static_cast<double>(State.range(0));
    State.counters["view_w"] = Map.MapView->width();
    State.counters["view_h"] = Map.MapView->height();
}
BENCHMARK(BM_MapOpenToFit)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One redraw of the whole view after a pan or a zoom step, alternating; range(1) zoom steps in
// from "Fit" first (each step 1.25 times closer).
void BM_MapPanZoomRedraw(benchmark::State& State) {
    TBenchWindow& Bench = Window(static_cast<std::size_t>(State.range(0)));
    TMapView& View = *OpenMap(Bench).MapView;
    View.Fit();
    const QPointF Centre(View.width() / 2.0, View.height() / 2.0);
    for (int Step = 0; Step < State.range(1); ++Step)
        View.ZoomAt(Centre, 1.25);
    int Turn = 0;
    for (auto _ : State) {
        switch (Turn++ % 4) {
        case 0:
            View.PanBy(QPointF(15, 10));
            break;
        case 1:
            View.ZoomAt(Centre + QPointF(40, -30), 1.25);
            break;
        case 2:
            View.PanBy(QPointF(-15, -10));
            break;
        default:
            View.ZoomAt(Centre + QPointF(40, -30), 1 / 1.25);
            break;
        }
        View.repaint();
    }
}
BENCHMARK(BM_MapPanZoomRedraw)
    ->Args({1'000'000, 0})
    ->Args({1'000'000, 20})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// "Find objects in this area" for the southern tenth of the world, until the results are listed.
void BM_MapAreaFind(benchmark::State& State) {
    TBenchWindow& Bench = Window(static_cast<std::size_t>(State.range(0)));
    const TMapArea Area = TMapArea::FromCorners(-2'000'000, -2'000'000, 2'000'000, -1'600'000);
    for (auto _ : State) {
        Bench.Form.FindObjectsInArea(Area, false);
        QCoreApplication::processEvents();
    }
    State.counters["found"] = Bench.Form.SearchResults->RowCount();
}
BENCHMARK(BM_MapAreaFind)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

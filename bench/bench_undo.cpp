// Undo records on the seeded 1M corpus: the bytes a record holds against the bytes its change
// made different, undo and redo of each kind of change, and the history's memory bound.
//
// The bytes changed are found by comparing the document before and after, not by the record: four
// bytes of position per changed object plus its old field value (the owner, or the model name's
// bytes), and for a deletion the removed objects as the document held them (the object and its
// texts and data on the heap). "field_bytes" gives a deletion's objects by their field values
// alone, for comparison.
#include "bench/Corpus.h"
#include "bench/MostFrequent.h"
#include "model/FileSystem.h"
#include "ops/BulkEdit.h"
#include "ops/Deletion.h"
#include "model/HeapBytes.h"
#include "ops/UndoHistory.h"
#include "ops/UndoRecord.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

const TPropdumpFile& Corpus() {
    static const TPropdumpFile Document = [] {
        TPropdumpFile Loaded;
        Loaded.LoadFromMemory(GenerateCorpusText(1000000, 4, 1), "corpus.pd", 0);
        return Loaded;
    }();
    return Document;
}

std::size_t FieldBytes(const TPropObject& Object) {
    return 10 * sizeof(int32_t) + 1 + Object.Model.size() + Object.Description.size() +
           Object.Action.size() + Object.Data.size();
}

struct TChanged {
    std::size_t Objects = 0;
    std::size_t Bytes = 0;
    std::size_t FieldBytes = 0;
};

// Objects removed are told apart from objects kept by their place in the order: the kept ones
// keep their order, and a removed object is one the next kept object is not.
TChanged Compare(const TPropdumpFile& Before, const TPropdumpFile& After,
                 const std::vector<bool>& Removed) {
    TChanged Result;
    std::size_t Kept = 0;
    for (std::size_t i = 0; i < Before.Objects.size(); ++i) {
        const TPropObject& Old = Before.Objects[i];
        if (!Removed.empty() && Removed[i]) {
            ++Result.Objects;
            Result.Bytes += 4 + sizeof(TPropObject) + HeapBytesOf(Old);
            Result.FieldBytes += 4 + FieldBytes(Old);
            continue;
        }
        const TPropObject& New = After.Objects[Kept++];
        const bool OwnerChanged = Old.Owner != New.Owner;
        const bool ModelChanged = Old.Model != New.Model;
        const bool DescriptionChanged = Old.Description != New.Description;
        if (!OwnerChanged && !ModelChanged && !DescriptionChanged)
            continue;
        const std::size_t OldBytes = (OwnerChanged ? sizeof(Old.Owner) : 0) +
                                     (ModelChanged ? Old.Model.size() : 0) +
                                     (DescriptionChanged ? Old.Description.size() : 0);
        ++Result.Objects;
        Result.Bytes += 4 + OldBytes;
        Result.FieldBytes += 4 + OldBytes;
    }
    return Result;
}

std::unique_ptr<TUndoStep> Bulk(TPropdumpFile& Document, const TBulkEdit& Edit) {
    TBulkEditRecorder Recorder(Edit);
    for (std::size_t First = 0; First < Document.Objects.size(); First += 1024)
        Recorder.ApplyRange(Document.Objects, First,
                            std::min(First + 1024, Document.Objects.size()));
    return Recorder.Finish();
}

using TChange = std::function<std::unique_ptr<TUndoStep>(TPropdumpFile&, std::vector<bool>&)>;

// One change made once (not timed), then undone and redone per iteration (timed).
void BM_UndoRecord(benchmark::State& State, const TChange& Change) {
    TPropdumpFile Document = Corpus();
    std::vector<bool> Removed;
    TUndoHistory History;
    const auto Started = std::chrono::steady_clock::now();
    History.Add(Change(Document, Removed));
    const std::chrono::duration<double, std::milli> DoTime =
        std::chrono::steady_clock::now() - Started;
    const TChanged Made = Compare(Corpus(), Document, Removed);
    const std::size_t Record = History.Bytes();
    for (auto _ : State) {
        History.Undo(Document);
        History.Redo(Document);
    }
    State.counters["objects"] = static_cast<double>(Made.Objects);
    State.counters["changed_bytes"] = static_cast<double>(Made.Bytes);
    State.counters["record_bytes"] = static_cast<double>(Record);
    State.counters["ratio"] = Made.Bytes ? static_cast<double>(Record) / Made.Bytes : 0;
    State.counters["field_bytes"] = static_cast<double>(Made.FieldBytes);
    State.counters["do_ms"] = DoTime.count();
}

std::unique_ptr<TUndoStep> EditObject17(TPropdumpFile& Document, std::vector<bool>&) {
    TPropObject& Object = Document.Objects[16];
    const TPropObject Before = Object;
    Object.Model = "a new model name.rwx";
    Object.Description = "a new description of the object";
    return ObjectEditStep(16, Before, Object);
}

std::unique_ptr<TUndoStep> DeleteEverySecond(TPropdumpFile& Document, std::vector<bool>& Removed) {
    Removed.assign(Document.Objects.size(), false);
    TDeletion Deletion(Document);
    for (std::size_t i = 1; i < Document.Objects.size(); i += 2) {
        Deletion.Mark(static_cast<int>(i));
        Removed[i] = true;
    }
    return CommitDeletion(Deletion);
}

BENCHMARK_CAPTURE(BM_UndoRecord, ObjectEdit, EditObject17)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_UndoRecord, Delete500k, DeleteEverySecond)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_UndoRecord, OwnerEveryObject,
                  [](TPropdumpFile& D, std::vector<bool>&) {
                      return Bulk(D, TBulkEdit::ReplaceOwner(-1, 1999999999));
                  })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_UndoRecord, OwnerMostFrequent,
                  [](TPropdumpFile& D, std::vector<bool>&) {
                      const int32_t Owner = MostFrequent<int32_t>(
                          Corpus(), [](const TPropObject& O) { return O.Owner; });
                      return Bulk(D, TBulkEdit::ReplaceOwner(Owner, 1999999999));
                  })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_UndoRecord, ModelMostFrequent,
                  [](TPropdumpFile& D, std::vector<bool>&) {
                      const std::string Model = MostFrequent<std::string>(
                          Corpus(), [](const TPropObject& O) { return O.Model; });
                      return Bulk(D, TBulkEdit::ReplaceModel(Model, "replaced.rwx"));
                  })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_UndoRecord, Normalize,
                  [](TPropdumpFile& D, std::vector<bool>&) {
                      return Bulk(D, TBulkEdit::Normalize());
                  })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_UndoRecord, Denormalize,
                  [](TPropdumpFile& D, std::vector<bool>&) {
                      return Bulk(D, TBulkEdit::Denormalize());
                  })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Deletions of half the corpus, about 37 MB each, one after another on fresh copies of it (no
// change to one document keeps that much), past the default bound of 512 MiB: the history stays
// under it by dropping the oldest steps. Timed: adding a step, with the dropping it causes.
void BM_HistoryBound(benchmark::State& State) {
    TUndoHistory History;
    const int Changes = static_cast<int>(State.range(0));
    std::size_t Peak = 0;
    std::size_t Step = 0;
    for (auto _ : State) {
        for (int Change = 0; Change < Changes; ++Change) {
            State.PauseTiming();
            TPropdumpFile Document = Corpus();
            std::vector<bool> Removed;
            std::unique_ptr<TUndoStep> Deletion = DeleteEverySecond(Document, Removed);
            Step = Deletion->HeapBytes();
            State.ResumeTiming();
            History.Add(std::move(Deletion));
            Peak = std::max(Peak, History.Bytes());
        }
    }
    State.counters["changes"] = Changes;
    State.counters["step_MB"] = static_cast<double>(Step) / (1 << 20);
    State.counters["kept"] = static_cast<double>(History.UndoCount());
    State.counters["peak_MB"] = static_cast<double>(Peak) / (1 << 20);
    State.counters["limit_MB"] = static_cast<double>(History.Limit()) / (1 << 20);
}
BENCHMARK(BM_HistoryBound)->Arg(16)->Iterations(1)->Unit(benchmark::kMillisecond);

// Deleting every second object of the dump named by PROPDUMP_UNDO_FILE (for the 10M figure:
// propdump_gen F 10000000 4 1), as the window does it: the size told before, the step's size,
// the limit the window gives that document on this machine, and whether the history keeps the
// step. Timed: undo and redo, once each. Skipped without the variable.
void BM_DeleteHalfOfFile(benchmark::State& State) {
    const char* Path = std::getenv("PROPDUMP_UNDO_FILE");
    if (!Path) {
        State.SkipWithError("set PROPDUMP_UNDO_FILE to a dump");
        return;
    }
    TPropdumpFile Document;
    Document.LoadFromFile(Path, 0);
    using TMilliseconds = std::chrono::duration<double, std::milli>;
    const auto Measuring = std::chrono::steady_clock::now();
    const std::size_t DocumentBytes = HeapBytesOf(Document);
    const TMilliseconds MeasureTime = std::chrono::steady_clock::now() - Measuring;
    // What the window pays before every bulk edit, for the two edits that cost the most.
    const auto Telling = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(BulkEditStepBytes(TBulkEdit::ReplaceOwner(-1, 1), Document.Objects));
    benchmark::DoNotOptimize(
        BulkEditStepBytes(TBulkEdit::ReplaceModel("tree.rwx", "x"), Document.Objects));
    const TMilliseconds TellTime = std::chrono::steady_clock::now() - Telling;
    const std::size_t Objects = Document.Objects.size();
    TUndoHistory History(TUndoHistory::LimitFor(DocumentBytes, FileSystem::PhysicalMemoryBytes()));
    TDeletion Deletion(Document);
    for (std::size_t i = 1; i < Document.Objects.size(); i += 2)
        Deletion.Mark(static_cast<int>(i));
    const std::size_t Told = DeletionStepBytes(Deletion);
    const auto Started = std::chrono::steady_clock::now();
    std::unique_ptr<TUndoStep> Step = CommitDeletion(Deletion);
    const TMilliseconds DoTime = std::chrono::steady_clock::now() - Started;
    const std::size_t Record = Step->HeapBytes();
    const bool Kept = History.CanKeep(Told) && History.Add(std::move(Step));
    for (auto _ : State) {
        if (!Kept)
            break;
        History.Undo(Document);
        History.Redo(Document);
    }
    constexpr double MB = 1 << 20;
    State.counters["objects"] = static_cast<double>(Objects);
    State.counters["deleted"] = static_cast<double>(Objects / 2);
    State.counters["document_MB"] = static_cast<double>(DocumentBytes) / MB;
    State.counters["told_MB"] = static_cast<double>(Told) / MB;
    State.counters["record_MB"] = static_cast<double>(Record) / MB;
    State.counters["limit_MB"] = static_cast<double>(History.Limit()) / MB;
    State.counters["kept"] = Kept ? 1 : 0;
    State.counters["do_ms"] = DoTime.count();
    State.counters["measure_ms"] = MeasureTime.count();
    State.counters["bulk_told_ms"] = TellTime.count();
}
BENCHMARK(BM_DeleteHalfOfFile)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

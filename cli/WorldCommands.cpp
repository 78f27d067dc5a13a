#include "cli/WorldCommands.h"

#include "cli/CommandOutput.h"
#include "cli/Errors.h"
#include "cli/Rereadable.h"
#include "cli/WorldStreams.h"
#include "ops/Import.h"
#include "ops/ObjectFilter.h"
#include "ops/Relocation.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The first object, in file order, that a move would take out of range.
using TFirstFault = std::optional<std::pair<uint64_t, TRangeFault>>;

[[noreturn]] void Refuse(const TRereadable& File, const std::pair<uint64_t, TRangeFault>& Fault) {
    throw EInputError(File.Name(), 0, ERelocationRange(Fault.first, Fault.second).what());
}

struct TSurvey {
    uint64_t Found = 0;
    TBounds Bounds;
    TFirstFault Fault;
    std::vector<TComparison::TKeyed> Keys;
    // What the objects to bring in lose, each on its own, by their place in the file.
    std::vector<std::pair<uint64_t, TVersionLoss>> Losses;
    void Clear() { *this = {}; }
};

void Header(const TByteSink& Sink, int Version) {
    const std::string Line = HeaderLine(Version);
    Sink(Line.data(), Line.size());
}

// One read: how many objects Finder finds, their extent, and with Move the first of them it
// would take out of range.
TSurvey SurveyMove(const TRereadable& Input, const TObjectFilter& Finder, const TRelocation* Move) {
    TSurvey Total;
    Input.Read([&](TObjectSource& Source) {
        StreamObjects<TSurvey>(
            Source, Finder.PartsNeeded(),
            [&](unsigned, const TPropObject& Object, uint64_t Index, TSurvey& Batch) {
                if (!Finder.Finds(Object))
                    return;
                ++Batch.Found;
                Batch.Bounds.Add(Object);
                if (Move && !Batch.Fault)
                    if (const auto Fault = Move->Fault(Object))
                        Batch.Fault.emplace(Index, *Fault);
            },
            StopAtBadLine(Source.Name()),
            [&](const TBatch&, TSurvey& Batch) {
                Total.Found += Batch.Found;
                Total.Bounds.Merge(Batch.Bounds);
                if (!Total.Fault)
                    Total.Fault = Batch.Fault;
            });
    });
    return Total;
}

} // namespace

int RunMove(const TInvocation& Invocation) {
    RefuseIrregularInPlace(Invocation);
    const TRereadable Input(Invocation.File, Invocation.FileVersion);
    const TObjectFilter Finder(Invocation.Criteria, Invocation.Area);
    const char* const Done = Invocation.Copy ? "Objects copied: " : "Objects moved: ";
    const auto About = [&Invocation](int32_t X, int32_t Z) {
        return TRelocation(Invocation.By, Invocation.Turn, X, Z);
    };
    TRelocation Move =
        Invocation.Around ? About(Invocation.Around->X, Invocation.Around->Z) : About(0, 0);
    // Without a centre the found objects' extent must be known before any of them can turn.
    const bool CentreKnown = Invocation.Around || !Move.Turns();
    TSurvey Found = SurveyMove(Input, Finder, CentreKnown ? &Move : nullptr);
    if (Found.Found == 0) {
        Report(Invocation, Counted(Done, 0) + '\n');
        return 1;
    }
    if (!CentreKnown) {
        Move = About(Found.Bounds.CentreX(), Found.Bounds.CentreZ());
        Found.Fault = SurveyMove(Input, Finder, &Move).Fault;
    }
    if (Found.Fault)
        Refuse(Input, *Found.Fault);

    const int Version = Input.Version();
    WriteResult(Invocation, [&](const TByteSink& Sink) {
        Header(Sink, Version);
        Input.Read([&](TObjectSource& Source) {
            WriteObjectLines(Source, Version, Sink, [&](TPropObject& Object, uint64_t) {
                if (!Invocation.Copy && Finder.Finds(Object))
                    Move.Apply(Object);
                return true;
            });
        });
        // The copies follow the whole document, in the found objects' order.
        if (Invocation.Copy)
            Input.Read([&](TObjectSource& Source) {
                WriteObjectLines(Source, Version, Sink, [&](TPropObject& Object, uint64_t) {
                    if (!Finder.Finds(Object))
                        return false;
                    Move.Apply(Object);
                    return true;
                });
            });
    });
    Report(Invocation, Counted(Done, Found.Found) + '\n');
    return 0;
}

int RunMerge(const TInvocation& Invocation) {
    RefuseIrregularInPlace(Invocation);
    const TRereadable Into(Invocation.File, Invocation.FileVersion);
    const TRereadable From(Invocation.Other, Invocation.OtherVersion);
    const int Version = Into.Version();
    const TImportRule Rule(
        {Invocation.Criteria, Invocation.Area, Invocation.By, Invocation.OnlyMissing}, Version);
    const bool OnlyMissing = Rule.OnlyMissing();

    // What FILE lacks is what a comparison with the objects to bring in as the old side finds
    // removed.
    TComparison Comparison(TDumpSide::New);
    if (OnlyMissing) {
        ReserveFor(Comparison, Into);
        Into.Read([&](TObjectSource& Source) {
            ReadPlaceKeys(Source, [&](const auto& Keys) { Comparison.Hold(Keys); });
        });
    }
    TSurvey Chosen;
    From.Read([&](TObjectSource& Source) {
        StreamObjects<TSurvey>(
            Source, lpAllParts,
            [&](unsigned, TPropObject& Object, uint64_t Index, TSurvey& Batch) {
                if (!Rule.Selects(Object))
                    return;
                ++Batch.Found;
                if (const auto Fault = Rule.Fault(Object)) {
                    if (!Batch.Fault)
                        Batch.Fault.emplace(Index, *Fault);
                    return;
                }
                TVersionLoss Lost;
                Rule.Prepare(Object, Lost);
                if (Lost.Any())
                    Batch.Losses.emplace_back(Index, Lost);
                if (OnlyMissing)
                    Batch.Keys.emplace_back(PlaceKeyOf(Object), Index);
            },
            StopAtBadLine(Source.Name()),
            [&](const TBatch&, TSurvey& Batch) {
                Chosen.Found += Batch.Found;
                if (!Chosen.Fault)
                    Chosen.Fault = Batch.Fault;
                if (Chosen.Fault)
                    return;
                Comparison.Stream(Batch.Keys);
                Chosen.Losses.insert(Chosen.Losses.end(), Batch.Losses.begin(), Batch.Losses.end());
            });
    });
    if (Chosen.Fault)
        Refuse(From, *Chosen.Fault);
    if (Chosen.Found == 0) {
        Report(Invocation, Counted("Objects imported: ", 0) + '\n');
        return 1;
    }
    Comparison.Finish();
    const std::vector<uint64_t>& Missing = Comparison.RemovedPositions();
    const auto Imports = [&](uint64_t Index) {
        return !OnlyMissing || std::binary_search(Missing.begin(), Missing.end(), Index);
    };
    const uint64_t Imported = OnlyMissing ? Missing.size() : Chosen.Found;
    if (Imported == 0) {
        Report(Invocation, Counted("Objects imported: ", 0) + '\n');
        return 0;
    }
    TVersionLoss Loss;
    for (const auto& [Index, Lost] : Chosen.Losses)
        if (Imports(Index))
            Loss += Lost;
    if (Loss.Any() && !Invocation.DropV4Data)
        throw EInputError(From.Name(), 0,
                          LossText(Loss, Version) +
                              "; nothing written (--drop-v4-data imports anyway)");

    WriteResult(Invocation, [&](const TByteSink& Sink) {
        Header(Sink, Version);
        Into.Read([&](TObjectSource& Source) {
            WriteObjectLines(Source, Version, Sink, [](TPropObject&, uint64_t) { return true; });
        });
        From.Read([&](TObjectSource& Source) {
            WriteObjectLines(Source, Version, Sink, [&](TPropObject& Object, uint64_t Index) {
                if (!Rule.Selects(Object) || !Imports(Index))
                    return false;
                // Counted in the first read already.
                TVersionLoss Again;
                Rule.Prepare(Object, Again);
                return true;
            });
        });
    });
    Report(Invocation, Counted("Objects imported: ", Imported) + '\n' + LossLines(Loss));
    return 0;
}

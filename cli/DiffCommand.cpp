#include "cli/WorldCommands.h"

#include "cli/CommandOutput.h"
#include "cli/Rereadable.h"
#include "cli/TextCodec.h"
#include "cli/WorldStreams.h"
#include "model/Base16.h"
#include "ops/Comparison.h"
#include "text/DateTimeText.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string CountLines(const TComparison& Comparison) {
    return Counted("Added: ", Comparison.Added()) + '\n' +
           Counted("Removed: ", Comparison.Removed()) + '\n' +
           Counted("Changed: ", Comparison.Changed()) + '\n';
}

void AppendHex(std::string& Out, const TCharArray& Data) {
    Out += '"';
    Base16Append(Out, Data.data(), Data.size());
    Out += '"';
}

void AppendTime(std::string& Out, int32_t Timestamp) {
    Out += FormatListDateTime(SecondsToDateTime(Timestamp));
}

// "\towner: 5 -> 7" for every field in which the two objects of a changed pair differ; their
// places are the same.
void AppendChanges(std::string& Out, const TPropObject& Old, const TPropObject& New) {
    const auto Number = [&Out](const char* Name, int32_t Before, int32_t After) {
        if (Before != After)
            Out += std::string("\t") + Name + ": " + std::to_string(Before) + " -> " +
                   std::to_string(After);
    };
    Number("owner", Old.Owner, New.Owner);
    if (Old.Timestamp != New.Timestamp) {
        Out += "\ttime: ";
        AppendTime(Out, Old.Timestamp);
        Out += " -> ";
        AppendTime(Out, New.Timestamp);
    }
    Number("yaw", Old.Yaw, New.Yaw);
    Number("tilt", Old.Tilt, New.Tilt);
    Number("roll", Old.Roll, New.Roll);
    Number("type", Old.ObjectType, New.ObjectType);
    for (const auto& [Name, Before, After] :
         {std::tuple{"model", &Old.Model, &New.Model},
          std::tuple{"description", &Old.Description, &New.Description},
          std::tuple{"action", &Old.Action, &New.Action}})
        if (*Before != *After) {
            Out += std::string("\t") + Name + ": ";
            AppendJsonString(Out, *Before);
            Out += " -> ";
            AppendJsonString(Out, *After);
        }
    if (Old.Data != New.Data) {
        Out += "\tdata: ";
        AppendHex(Out, Old.Data);
        Out += " -> ";
        AppendHex(Out, New.Data);
    }
}

void AppendDifference(std::string& Out, TDiffOutput Mode, const char* Sign, const char* Kind,
                      uint64_t Index, const TPropObject& Object, const TPropObject* Old = nullptr,
                      uint64_t OldIndex = 0) {
    if (Mode == TDiffOutput::List) {
        Out += Sign;
        Out += '\t';
        AppendRow(Out, Index, Object);
        if (Old)
            AppendChanges(Out, *Old, Object);
        Out += '\n';
        return;
    }
    Out += std::string("{\"kind\":\"") + Kind + "\",";
    AppendJsonFields(Out, Index, Object);
    if (Old) {
        Out += ",\"old\":{";
        AppendJsonFields(Out, OldIndex, *Old);
        Out += '}';
    }
    Out += "}\n";
}

struct TDifferences {
    std::string Text;
    std::vector<std::pair<std::size_t, TPropObject>> Olds; // of changed pairs, by pair
    void Clear() {
        Text.clear();
        Olds.clear();
    }
};

bool Holds(const std::vector<uint64_t>& Positions, uint64_t Position) {
    return std::binary_search(Positions.begin(), Positions.end(), Position);
}

// Prints the differences of a finished comparison: the removed objects in the old dump's order,
// then the added and changed ones in the new dump's order; or one kind as a propdump file.
void PrintDifferences(const TInvocation& Invocation, const TRereadable& Old, const TRereadable& New,
                      const TComparison& Comparison) {
    const TDiffOutput Mode = Invocation.DiffOutput;
    const TDiffKind Kind = Invocation.DiffLines;
    const auto& Pairs = Comparison.ChangedPairs();
    if (Mode == TDiffOutput::Lines) {
        const bool FromOld = Kind == TDiffKind::Removed;
        const TRereadable& File = FromOld ? Old : New;
        std::vector<uint64_t> Changed;
        if (Kind == TDiffKind::Changed)
            for (const auto& Pair : Pairs)
                Changed.push_back(Pair.second);
        const std::vector<uint64_t>& Wanted = Kind == TDiffKind::Added ? Comparison.AddedPositions()
                                              : Kind == TDiffKind::Removed
                                                  ? Comparison.RemovedPositions()
                                                  : Changed;
        WriteOut(HeaderLine(File.Version()));
        File.Read([&](TObjectSource& Source) {
            WriteObjectLines(
                Source, File.Version(),
                [](const char* Data, std::size_t Size) { WriteOut(std::string_view(Data, Size)); },
                [&](TPropObject&, uint64_t Index) { return Holds(Wanted, Index); });
        });
        return;
    }

    // The old object of each changed pair, found by its old position.
    std::vector<std::pair<uint64_t, std::size_t>> OldOfPair;
    OldOfPair.reserve(Pairs.size());
    for (std::size_t Pair = 0; Pair < Pairs.size(); ++Pair)
        OldOfPair.emplace_back(Pairs[Pair].first, Pair);
    std::sort(OldOfPair.begin(), OldOfPair.end());
    std::vector<TPropObject> OldObjects(Pairs.size());

    Old.Read([&](TObjectSource& Source) {
        StreamObjects<TDifferences>(
            Source, lpAllParts,
            [&](unsigned, const TPropObject& Object, uint64_t Index, TDifferences& Batch) {
                if (Holds(Comparison.RemovedPositions(), Index))
                    AppendDifference(Batch.Text, Mode, "-", "removed", Index, Object);
                const auto Found = std::lower_bound(OldOfPair.begin(), OldOfPair.end(),
                                                    std::pair<uint64_t, std::size_t>{Index, 0});
                if (Found != OldOfPair.end() && Found->first == Index)
                    Batch.Olds.emplace_back(Found->second, Object);
            },
            StopAtBadLine(Source.Name()),
            [&](const TBatch&, TDifferences& Batch) {
                WriteOut(Batch.Text);
                for (auto& [Pair, Object] : Batch.Olds)
                    OldObjects[Pair] = std::move(Object);
            });
    });
    New.Read([&](TObjectSource& Source) {
        StreamObjects<TDifferences>(
            Source, lpAllParts,
            [&](unsigned, const TPropObject& Object, uint64_t Index, TDifferences& Batch) {
                if (Holds(Comparison.AddedPositions(), Index))
                    AppendDifference(Batch.Text, Mode, "+", "added", Index, Object);
                const auto Found = std::lower_bound(
                    Pairs.begin(), Pairs.end(), Index,
                    [](const auto& Pair, uint64_t Position) { return Pair.second < Position; });
                if (Found != Pairs.end() && Found->second == Index)
                    AppendDifference(Batch.Text, Mode, "~", "changed", Index, Object,
                                     &OldObjects[static_cast<std::size_t>(Found - Pairs.begin())],
                                     Found->first);
            },
            StopAtBadLine(Source.Name()),
            [](const TBatch&, TDifferences& Batch) { WriteOut(Batch.Text); });
    });
}

} // namespace

int RunDiff(const TInvocation& Invocation) {
    const TRereadable Old(Invocation.File, Invocation.FileVersion);
    const TRereadable New(Invocation.Other, Invocation.OtherVersion);
    const TDiffOutput Mode = Invocation.DiffOutput;
    // The smaller file's places are held; the larger streams past.
    const bool HoldNew = New.Size() < Old.Size();
    const TRereadable& Held = HoldNew ? New : Old;
    const TRereadable& Streamed = HoldNew ? Old : New;
    TComparison Comparison(HoldNew ? TDumpSide::New : TDumpSide::Old, Mode != TDiffOutput::Counts);
    ReserveFor(Comparison, Held);
    Held.Read([&](TObjectSource& Source) {
        ReadPlaceKeys(Source, [&](const auto& Keys) { Comparison.Hold(Keys); });
    });
    Streamed.Read([&](TObjectSource& Source) {
        ReadPlaceKeys(Source, [&](const auto& Keys) { Comparison.Stream(Keys); });
    });
    Comparison.Finish();

    // The counts come first in a list; beside a file or JSON lines they go to standard error.
    if (Mode == TDiffOutput::Counts || Mode == TDiffOutput::List)
        WriteOut(CountLines(Comparison));
    else
        std::fputs(CountLines(Comparison).c_str(), stderr);
    if (Mode != TDiffOutput::Counts)
        PrintDifferences(Invocation, Old, New, Comparison);
    return Comparison.Same() ? 0 : 1;
}

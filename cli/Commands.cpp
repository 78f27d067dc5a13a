#include "cli/Commands.h"

#include "cli/CommandOutput.h"
#include "cli/Errors.h"
#include "cli/ObjectStream.h"
#include "cli/Progress.h"
#include "cli/TextCodec.h"
#include "cli/WorldCommands.h"
#include "model/FileIo.h"
#include "model/LineFormat.h"
#include "ops/BulkEdit.h"
#include "ops/Conversion.h"
#include "ops/CsvRow.h"
#include "ops/ObjectFilter.h"
#include "ops/ObjectTypeLabels.h"
#include "ops/Summary.h"
#include "text/DateTimeText.h"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// A result with nothing to hand on: the work is kept per thread.
struct TNoResult {
    void Clear() {}
};

void PrintGroups(const char* Title, const std::vector<TSummary::TGroup>& Groups, int Top) {
    const std::size_t Shown = Top == 0 ? Groups.size() : std::min<std::size_t>(Groups.size(), Top);
    std::string Text = Counted(std::string(Title) + ": ", Groups.size());
    if (Shown < Groups.size())
        Text += " (the " + std::to_string(Shown) + " with the most objects)";
    Text += '\n';
    for (std::size_t i = 0; i < Shown; ++i) {
        Text += "  ";
        Append1252AsUtf8(Text, Groups[i].Name);
        Text += Counted(": ", Groups[i].Objects) + '\n';
    }
    WriteOut(Text);
}

int RunInfo(const TInvocation& Invocation) {
    TObjectSource Source(Invocation.File, Invocation.FileVersion);
    std::vector<TPerWorker<TSummary>> Summaries(WorkerThreads());
    StreamObjects<TNoResult>(
        Source, lpModel,
        [&](unsigned Worker, const TPropObject& Object, uint64_t Index, TNoResult&) {
            Summaries[Worker].Value.Add(Object, Index);
        },
        StopAtBadLine(Source.Name()), [](const TBatch&, TNoResult&) {});
    TSummary Total;
    for (TPerWorker<TSummary>& Part : Summaries)
        Total.Merge(std::move(Part.Value));

    std::string Text = "Version: " + std::to_string(Source.Version()) + '\n';
    Text += Counted("Objects: ", Total.Objects()) + '\n';
    if (Total.Objects() == 0)
        Text += "Time range: none\n";
    else
        Text += "Time range: " + FormatListDateTime(SecondsToDateTime(Total.Earliest())) + " to " +
                FormatListDateTime(SecondsToDateTime(Total.Latest())) + '\n';
    Text += "Object types:\n";
    for (const auto& [Type, Count] : Total.Types()) {
        Text += "  " + std::to_string(Type);
        if (Type >= 1 && Type <= 5) {
            Text += ' ';
            Append1252AsUtf8(Text, ObjectTypeLabel(Type));
        }
        Text += Counted(": ", Count) + '\n';
    }
    WriteOut(Text);
    PrintGroups("Owners", Total.Owners(), Invocation.Top);
    PrintGroups("Model names", Total.Models(), Invocation.Top);
    return 0;
}

struct TFound {
    std::string Out;
    uint64_t Count = 0;
    void Clear() {
        Out.clear();
        Count = 0;
    }
};

int RunSearch(const TInvocation& Invocation) {
    const TObjectFilter Finder(Invocation.Criteria, Invocation.Area);
    TObjectSource Source(Invocation.File, Invocation.FileVersion);
    const TSearchOutput Mode = Invocation.SearchOutput;
    if (Mode == TSearchOutput::Lines)
        WriteOut(HeaderLine(Source.Version()));
    uint64_t Found = 0;
    if (Mode == TSearchOutput::Csv)
        WriteOut(CsvHeader());
    // Most lines are not found: only the parts the test needs are taken from every line, the
    // rest only from the lines that go to the output.
    const unsigned TestParts = Finder.PartsNeeded();
    const unsigned OutputParts = Mode == TSearchOutput::Rows    ? lpModel
                                 : Mode == TSearchOutput::Count ? 0u
                                                                : lpAllParts;
    // A search for owners passes over the lines of other owners after a check that they are
    // readable, a fraction of the cost of parsing them; a bad line is parsed and named as ever.
    // The lines that are parsed then are mostly found ones: they are taken whole at once.
    const bool ByOwner = Finder.LooksAtOwner();
    const int Version = Source.Version();
    const unsigned ParseParts = ByOwner ? TestParts | OutputParts : TestParts;
    // When the owner alone decides, a found line needs no object either: it is counted, or
    // copied when it is the very line the object would be written as.
    TSearchFields OwnerOnly;
    OwnerOnly.Set(sfCitNums, true);
    const bool OwnerDecides = Invocation.Criteria.Fields == OwnerOnly && !Invocation.Area;
    const bool CopyFound = OwnerDecides && Mode == TSearchOutput::Lines;
    const bool CountFound = OwnerDecides && Mode == TSearchOutput::Count;
    StreamObjects<TFound>(
        Source, ParseParts,
        [&](std::string_view Line, TFound& Result) {
            if (!ByOwner)
                return false;
            std::optional<TLineOwner> Owner;
            if (CopyFound)
                Owner = ReadableLineOwnerAsWritten(Version, Line);
            else if (const std::optional<int32_t> Found = ReadableLineOwner(Version, Line))
                Owner = TLineOwner{*Found, false};
            if (!Owner)
                return false;
            if (Finder.RulesOutOwner(Owner->Owner))
                return true;
            if (CountFound || (CopyFound && Owner->AsWritten)) {
                ++Result.Count;
                if (CopyFound)
                    Result.Out.append(Line).append("\r\n");
                return true;
            }
            return false;
        },
        [&](unsigned, TPropObject& Object, uint64_t Index, TFound& Result, std::string_view Line) {
            if (!Finder.Finds(Object))
                return;
            ++Result.Count;
            if ((OutputParts & ~ParseParts) != 0)
                Object.ParseLine(Version, Line, OutputParts | TestParts);
            if (Mode == TSearchOutput::Rows) {
                AppendRow(Result.Out, Index, Object);
                Result.Out += '\n';
            } else if (Mode == TSearchOutput::Json) {
                Result.Out += '{';
                AppendJsonFields(Result.Out, Index, Object);
                Result.Out += "}\n";
            } else if (Mode == TSearchOutput::Csv) {
                AppendCsvRow(Result.Out, Index, Object);
            } else if (Mode == TSearchOutput::Lines)
                AppendObjectLine(Object, Source.Version(), Result.Out);
        },
        StopAtBadLine(Source.Name()),
        [&](const TBatch&, TFound& Result) {
            WriteOut(Result.Out);
            Found += Result.Count;
        });
    if (Mode == TSearchOutput::Count)
        WriteOut(std::to_string(Found) + '\n');
    return Found > 0 ? 0 : 1;
}

struct TBadLines {
    std::vector<std::pair<uint64_t, std::string>> Lines;
    void Clear() { Lines.clear(); }
};

int RunCheck(const TInvocation& Invocation) {
    TObjectSource Source(Invocation.File, Invocation.FileVersion);
    uint64_t Bad = 0;
    StreamObjects<TBadLines>(
        Source, 0, [](unsigned, const TPropObject&, uint64_t, TBadLines&) {},
        [](uint64_t Line, const char* Message, TBadLines& Result) {
            Result.Lines.emplace_back(Line, Message);
        },
        [&](const TBatch&, TBadLines& Result) {
            std::string Text;
            for (const auto& [Line, Message] : Result.Lines)
                Text += Source.Name() + ':' + std::to_string(Line) + ": " + Message + '\n';
            WriteOut(Text);
            Bad += Result.Lines.size();
        });
    WriteOut(Counted("Lines: ", Source.Lines()) + '\n' + Counted("Bad lines: ", Bad) + '\n');
    return Bad == 0 ? 0 : 1;
}

struct TEdited {
    std::string Out;
    uint64_t Changed = 0; // objects changed, or removed
    TVersionLoss Loss;
    void Clear() {
        Out.clear();
        Changed = 0;
        Loss = {};
    }
};

struct TRewritten {
    uint64_t Objects = 0; // objects written
    uint64_t Changed = 0;
    TVersionLoss Loss;
    bool Untouched = false; // nothing would change, so nothing was written
};

// Nothing matched where something had to: nothing is written.
struct TNothingFound {};

// Streams every object through Edit(Object, Result), which changes it as the command does and
// returns whether it stays, and writes what stays in version OutVersion (0: the file's own) as
// the window's Save would: the header line, then every object's line, each ended by CR LF. The
// target is replaced only once the whole new file is on disk; BeforeCommit sees the totals first
// and may still refuse by raising. A file rewritten in place that would change in nothing (no
// object changed, the same version) is not written at all: it keeps its inode and its time.
template <class TEdit, class TBeforeCommit>
TRewritten Rewrite(const TInvocation& Invocation, int OutVersion, TEdit&& Edit,
                   TBeforeCommit&& BeforeCommit) {
    const bool Replacing = InPlace(Invocation);
    RefuseIrregularInPlace(Invocation);
    TObjectSource Source(Invocation.File, Invocation.FileVersion);
    const int Version = OutVersion != 0 ? OutVersion : Source.Version();
    TRewritten Totals;
    const auto Produce = [&](const TByteSink& Sink) {
        const std::string Header = HeaderLine(Version);
        Sink(Header.data(), Header.size());
        StreamObjects<TEdited>(
            Source, lpAllParts,
            [&](unsigned, TPropObject& Object, uint64_t, TEdited& Result) {
                if (Edit(Object, Result))
                    AppendObjectLine(Object, Version, Result.Out);
            },
            StopAtBadLine(Source.Name()),
            [&](const TBatch& Batch, TEdited& Result) {
                Sink(Result.Out.data(), Result.Out.size());
                Totals.Objects +=
                    Batch.Lines.size() - (Batch.FirstLine <= Source.HeaderLines() ? 1 : 0);
                Totals.Changed += Result.Changed;
                Totals.Loss += Result.Loss;
            });
        BeforeCommit(Source, Totals);
        // A conversion to the file's own version still gives a file without a header its header.
        if (Replacing && Totals.Changed == 0 && Version == Source.Version() &&
            (OutVersion == 0 || Source.HeaderLines() == 1))
            throw TNothingChanged();
    };
    Totals.Untouched = !WriteResult(Invocation, Produce);
    return Totals;
}

const auto AlwaysCommit = [](const TObjectSource&, const TRewritten&) {};

TBulkEdit BulkEditOf(const TInvocation& Invocation) {
    switch (Invocation.Command) {
    case TCommand::ReplaceOwner:
        return TBulkEdit::ReplaceOwner(Invocation.FindOwner, Invocation.ReplacementOwner);
    case TCommand::ReplaceModel:
        return TBulkEdit::ReplaceModel(Invocation.FindModel, Invocation.ReplacementModel);
    case TCommand::Normalize:
        return TBulkEdit::Normalize();
    default:
        return TBulkEdit::Denormalize();
    }
}

int RunBulkEdit(const TInvocation& Invocation) {
    const TBulkEdit Edit = BulkEditOf(Invocation);
    const TRewritten Totals = Rewrite(
        Invocation, 0,
        [&Edit](TPropObject& Object, TEdited& Result) {
            Result.Changed += Edit.Apply(Object) ? 1 : 0;
            return true;
        },
        AlwaysCommit);
    Report(Invocation, Counted(Edit.ReportLabel(), Totals.Changed) + '\n');
    return 0;
}

int RunDelete(const TInvocation& Invocation) {
    const TObjectFilter Finder(Invocation.Criteria, Invocation.Area);
    try {
        const TRewritten Totals = Rewrite(
            Invocation, 0,
            [&Finder](const TPropObject& Object, TEdited& Result) {
                if (!Finder.Finds(Object))
                    return true;
                ++Result.Changed;
                return false;
            },
            [](const TObjectSource&, const TRewritten& Totals) {
                if (Totals.Changed == 0)
                    throw TNothingFound();
            });
        Report(Invocation, Counted("Objects deleted: ", Totals.Changed) + '\n');
        return 0;
    } catch (const TNothingFound&) {
        Report(Invocation, Counted("Objects deleted: ", 0) + '\n');
        return 1;
    }
}

int RunConvert(const TInvocation& Invocation) {
    const int To = Invocation.ToVersion;
    const TRewritten Totals = Rewrite(
        Invocation, To,
        [To](const TPropObject& Object, TEdited& Result) {
            Result.Loss.Add(Object, To);
            return true;
        },
        [&Invocation, To](const TObjectSource& Source, const TRewritten& Totals) {
            if (Totals.Loss.Any() && !Invocation.DropV4Data)
                throw EInputError(Source.Name(), 0,
                                  LossText(Totals.Loss, To) +
                                      "; nothing written (--drop-v4-data converts anyway)");
        });
    if (Totals.Untouched) {
        Report(Invocation, "Objects converted: 0 (the file is of version " + std::to_string(To) +
                               " already; it is left as it was)\n");
        return 0;
    }
    Report(Invocation,
           Counted("Objects converted: ", Totals.Objects) + '\n' + LossLines(Totals.Loss));
    return 0;
}

} // namespace

int RunCommand(const TInvocation& Invocation) {
    switch (Invocation.Command) {
    case TCommand::Info:
        return RunInfo(Invocation);
    case TCommand::Search:
        return RunSearch(Invocation);
    case TCommand::Check:
        return RunCheck(Invocation);
    case TCommand::Delete:
        return RunDelete(Invocation);
    case TCommand::Convert:
        return RunConvert(Invocation);
    case TCommand::ReplaceOwner:
    case TCommand::ReplaceModel:
    case TCommand::Normalize:
    case TCommand::Denormalize:
        return RunBulkEdit(Invocation);
    case TCommand::Move:
        return RunMove(Invocation);
    case TCommand::Merge:
        return RunMerge(Invocation);
    case TCommand::Diff:
        return RunDiff(Invocation);
    }
    return 2;
}

int RunPropdump(int Argc, const char* const* Argv) {
    // diff answers 1 for "different", as diff(1) does, so its trouble is 2.
    int TroubleStatus = 1;
    try {
        const std::optional<TInvocation> Invocation = ParseCommandLine(Argc, Argv);
        if (!Invocation)
            return 0;
        if (Invocation->Command == TCommand::Diff)
            TroubleStatus = 2;
        const int Status = RunCommand(*Invocation);
        FlushOut();
        return Status;
    } catch (const EUsageError& Error) {
        std::fprintf(stderr, "propdump: %s\nRun 'propdump --help' for the commands and options.\n",
                     Error.what());
        return 2;
    } catch (const EInputError& Error) {
        std::fflush(stdout);
        if (Error.Line != 0)
            std::fprintf(stderr, "propdump: %s:%llu: %s\n", Error.File.c_str(),
                         static_cast<unsigned long long>(Error.Line), Error.what());
        else
            std::fprintf(stderr, "propdump: %s: %s\n", Error.File.c_str(), Error.what());
        return TroubleStatus;
    } catch (const std::exception& Error) {
        std::fflush(stdout);
        std::fprintf(stderr, "propdump: %s\n", Error.what());
        return TroubleStatus;
    }
}

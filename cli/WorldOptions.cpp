#include "cli/WorldOptions.h"

#include "cli/Errors.h"
#include "model/Convert.h"
#include "ops/Relocation.h"
#include "text/PositionInfo.h"

namespace {

const char* const OffsetHelp =
    "move by this much, as a position text: \"200N 0E\" is 200 north, \"1.5S 2W 0.5a\" south, west "
    "and up";

template <class TRead>
auto ReadOption(const CLI::Option& Option, const std::string& Text, TRead&& Read) {
    try {
        return Read(Text);
    } catch (const EConvertError& Error) {
        throw EUsageError(Option.get_name() + ": " + Error.what());
    }
}

void AddVersionOption(CLI::App& Command, int& Version, const std::string& Name,
                      const std::string& Which) {
    Command
        .add_option(Name, Version,
                    "version (2, 3 or 4) of " + Which +
                        " when it has no \"propdump version N\" "
                        "header")
        ->type_name("N")
        ->check(CLI::Range(2, 4));
}

} // namespace

void AddWorldCommands(CLI::App& App, std::map<CLI::App*, TCommand>& Commands,
                      TInvocation& Invocation, TWorldOptions& Options) {
    CLI::App* Move = App.add_subcommand(
        "move", "move the objects that search would find by an offset, turn them about a "
                "centre, or copy them");
    Commands[Move] = TCommand::Move;
    AddFileOptions(*Move, Invocation);
    Options.By = Move->add_option("--by", Options.ByText, OffsetHelp)->type_name("OFFSET");
    Options.Turn =
        Move->add_option("--turn", Options.TurnText,
                         "turn by this many degrees (one decimal) about the centre, first: "
                         "positive anticlockwise seen from above, north towards west; each yaw "
                         "turns with it")
            ->type_name("DEGREES");
    Options.Around = Move->add_option("--around", Options.AroundText,
                                      "the centre of the turn, as a position text; default: the "
                                      "middle of the found objects' extent")
                         ->type_name("POSITION")
                         ->needs(Options.Turn);
    Move->add_flag("--copy", Invocation.Copy,
                   "leave the objects where they are and append moved copies at the end");
    Options.All = Move->add_flag("--all")->description("every object of the file");
    AddCriteriaOptions(*Move, Options.MoveCriteria);
    AddWriteOptions(*Move, Invocation);

    CLI::App* Merge = App.add_subcommand(
        "merge", "append the objects of OTHER (or those meeting the criteria) to FILE, in FILE's "
                 "version");
    Commands[Merge] = TCommand::Merge;
    AddFileOptions(*Merge, Invocation);
    Merge->add_option("OTHER", Invocation.Other, "the propdump file to take objects from")
        ->required();
    AddVersionOption(*Merge, Invocation.OtherVersion, "--other-version", "OTHER");
    Options.MergeBy = Merge->add_option("--by", Options.ByText, OffsetHelp)->type_name("OFFSET");
    Merge->add_flag("--only-missing", Invocation.OnlyMissing,
                    "only the objects FILE lacks: those that diff OTHER FILE counts as removed");
    Merge->add_flag("--drop-v4-data", Invocation.DropV4Data,
                    "import even though objects lose what FILE's version cannot hold");
    AddCriteriaOptions(*Merge, Options.MergeCriteria);
    AddWriteOptions(*Merge, Invocation);

    CLI::App* Diff = App.add_subcommand(
        "diff", "count the objects added, removed and changed from OLD to NEW; exit status 0 "
                "when they are the same, 1 when they differ, 2 on trouble");
    Commands[Diff] = TCommand::Diff;
    Diff->add_option("OLD", Invocation.File, "the older propdump file; - reads standard input")
        ->required();
    Diff->add_option("NEW", Invocation.Other, "the newer propdump file")->required();
    AddVersionOption(*Diff, Invocation.FileVersion, "--old-version", "OLD");
    AddVersionOption(*Diff, Invocation.OtherVersion, "--new-version", "NEW");
    Options.List = Diff->add_flag("--list")->description(
        "after the counts, a row for each difference: + added, - removed, ~ changed with the "
        "fields that changed");
    Options.Json =
        Diff->add_flag("--json")->description("each difference as one line of JSON with its kind");
    Options.Lines = Diff->add_option("--lines", Options.LinesKind,
                                     "the objects of one kind as a propdump file (of NEW for "
                                     "added and changed, of OLD for removed)")
                        ->type_name("KIND")
                        ->check(CLI::IsMember({"added", "removed", "changed"}));
    Options.List->excludes(Options.Json)->excludes(Options.Lines);
    Options.Json->excludes(Options.Lines);
}

void FinishWorldCommand(const TWorldOptions& Options, TInvocation& Invocation) {
    switch (Invocation.Command) {
    case TCommand::Move: {
        Invocation.Criteria = BuildCriteria(Options.MoveCriteria);
        Invocation.Area = BuildArea(Options.MoveCriteria);
        const bool NoCriterion = Invocation.Criteria.Fields.IsEmpty() && !Invocation.Area;
        if (NoCriterion == (Options.All->count() == 0))
            throw EUsageError(NoCriterion ? "move needs at least one criterion, or --all"
                                          : "--all moves every object; it takes no criteria");
        if (Options.By->count() == 0 && Options.Turn->count() == 0)
            throw EUsageError("move needs --by OFFSET, --turn DEGREES or both");
        if (Options.By->count() > 0)
            Invocation.By = ReadOption(*Options.By, Options.ByText, ReadOffsetText);
        if (Options.Turn->count() > 0)
            Invocation.Turn = ReadOption(*Options.Turn, Options.TurnText, ReadTurnText);
        if (Options.Around->count() > 0)
            Invocation.Around =
                ReadOption(*Options.Around, Options.AroundText, RequirePositionText);
        // Rewriting the file for it would change nothing.
        if (!Invocation.Copy && Invocation.By == TOffset{} && Invocation.Turn % 3600 == 0)
            throw EUsageError("nothing would move: the offset is 0N 0W and there is no turn");
        break;
    }
    case TCommand::Merge:
        if (Invocation.File == "-" && Invocation.Other == "-")
            throw EUsageError("FILE and OTHER cannot both be standard input");
        Invocation.Criteria = BuildCriteria(Options.MergeCriteria);
        Invocation.Area = BuildArea(Options.MergeCriteria);
        if (Options.MergeBy->count() > 0)
            Invocation.By = ReadOption(*Options.MergeBy, Options.ByText, ReadOffsetText);
        break;
    case TCommand::Diff:
        if (Invocation.File == "-" && Invocation.Other == "-")
            throw EUsageError("OLD and NEW cannot both be standard input");
        Invocation.DiffOutput = Options.List->count() > 0    ? TDiffOutput::List
                                : Options.Json->count() > 0  ? TDiffOutput::Json
                                : Options.Lines->count() > 0 ? TDiffOutput::Lines
                                                             : TDiffOutput::Counts;
        Invocation.DiffLines = Options.LinesKind == "removed"   ? TDiffKind::Removed
                               : Options.LinesKind == "changed" ? TDiffKind::Changed
                                                                : TDiffKind::Added;
        break;
    default:
        break;
    }
}

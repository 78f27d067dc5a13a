#include "cli/Options.h"

#include "cli/CriteriaOptions.h"
#include "cli/Errors.h"
#include "cli/TextCodec.h"
#include "cli/WorldOptions.h"
#include "model/Convert.h"
#include "text/DateTimeText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <vector>

#ifndef PROPDUMP_VERSION
#define PROPDUMP_VERSION "unknown"
#endif

namespace {

void AddCriterion(CLI::App& Command, TCriterionOptions& Options, const std::string& Name,
                  const std::string& Value, const std::string& Help) {
    Options.Include = Command.add_option("--" + Name, Options.IncludeText, Help)->type_name(Value);
    Options.Exclude = Command
                          .add_option("--not-" + Name, Options.ExcludeText,
                                      "objects that --" + Name + " would not find")
                          ->type_name(Value);
    Options.Include->excludes(Options.Exclude);
}

} // namespace

void AddCriteriaOptions(CLI::App& Command, TCriteriaOptions& Options) {
    AddCriterion(Command, Options.Owner, "owner", "LIST",
                 "citizen numbers separated by commas, such as 104,2045");
    AddCriterion(Command, Options.Model, "model", "PATTERNS",
                 "model name patterns separated by commas ('*' any run, '?' any one character, "
                 "letter case ignored), such as 'tree*,bush*'");
    AddCriterion(Command, Options.Description, "description", "PATTERN",
                 "one pattern the whole description must match, such as '*for sale*'");
    Options.DescriptionExact =
        Command.add_flag("--description-exact")
            ->description("compare the description text as it stands: '*' and '?' are ordinary "
                          "characters");
    AddCriterion(Command, Options.Action, "action", "PATTERN",
                 "one pattern the whole action must match");
    Options.ActionExact =
        Command.add_flag("--action-exact")->description("compare the action text as it stands");
    Options.After =
        Command.add_option("--after", Options.AfterText, "objects changed at or after this time")
            ->type_name("\"mm/dd/yyyy hh:nn:ss\"");
    Options.Before =
        Command
            .add_option("--before", Options.BeforeText, "objects changed at or before this time")
            ->type_name("\"mm/dd/yyyy hh:nn:ss\"");
    AddCriterion(Command, Options.Type, "type", "TYPE",
                 "version-4 object type: zone, emitter, mover, camera or unknown");
    Options.Type.Include->check(CLI::IsMember({"zone", "emitter", "mover", "camera", "unknown"}));
    Options.Type.Exclude->check(CLI::IsMember({"zone", "emitter", "mover", "camera", "unknown"}));
    Options.Area = Command
                       .add_option("--area", Options.AreaCorners,
                                   "objects inside the rectangle between two opposite corners, "
                                   "edges included, such as --area \"12.5N 7W\" \"10S 3E\"")
                       ->type_name("CORNER")
                       ->expected(2);
}

std::optional<TMapArea> BuildArea(const TCriteriaOptions& Options) {
    if (Options.Area->count() == 0)
        return std::nullopt;
    try {
        return TMapArea::FromCornerTexts(Options.AreaCorners.at(0), Options.AreaCorners.at(1));
    } catch (const EConvertError& Error) {
        throw EUsageError("--area: " + std::string(Error.what()));
    }
}

namespace {

// A line break typed into the dialog's description and action boxes is stored as CR LF.
std::string WithCrLfBreaks(const std::string& Text) {
    std::string Result;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' || Text[i] == '\n') {
            Result += "\r\n";
            if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')
                ++i;
        } else {
            Result += Text[i];
        }
    }
    return Result;
}

TDateTimeValue TimeOption(const CLI::Option& Option, const std::string& Text) {
    try {
        return ParseDateTimeText(Text);
    } catch (const EConvertError& Error) {
        throw EUsageError(Option.get_name() + ": " + Error.what());
    }
}

// Text typed for a criterion, as the criteria dialog stores it: Windows-1252, at most 255 bytes,
// and for the description and the action with its line breaks as CR LF.
void SetTextCriterion(TSearchCriteria& Criteria, TSearchField Field,
                      const TCriterionOptions& Options, std::string& Text, bool Exact,
                      bool LineBreaks) {
    if (!Options.Given())
        return;
    Criteria.Fields.Set(Field, true);
    Criteria.Exclude.Set(Field, Options.Excluded());
    Criteria.ExactMatch.Set(Field, Exact);
    std::optional<std::string> Bytes =
        Utf8To1252(LineBreaks ? WithCrLfBreaks(Options.Text()) : Options.Text());
    if (!Bytes)
        throw EUsageError(Options.Name() + ": '" + Options.Text() +
                          "' holds characters that cannot appear in a propdump file");
    if (Bytes->size() > TSearchCriteria::MaxTextLength)
        throw EUsageError(Options.Name() + ": at most 255 characters");
    Text = std::move(*Bytes);
}

} // namespace

TSearchCriteria BuildCriteria(const TCriteriaOptions& Options) {
    TSearchCriteria Criteria;
    if (Options.Owner.Given() &&
        !std::all_of(Options.Owner.Text().begin(), Options.Owner.Text().end(),
                     [](char c) { return c == ',' || (c >= '0' && c <= '9'); }))
        throw EUsageError(Options.Owner.Name() +
                          " takes citizen numbers (digits) separated by commas, not '" +
                          Options.Owner.Text() + "'");
    SetTextCriterion(Criteria, sfCitNums, Options.Owner, Criteria.CitNumsText, false, false);
    SetTextCriterion(Criteria, sfModels, Options.Model, Criteria.ModelsText, false, false);
    for (const auto& [Exact, Text] : {std::pair{Options.DescriptionExact, &Options.Description},
                                      std::pair{Options.ActionExact, &Options.Action}})
        if (Exact->count() > 0 && !Text->Given())
            throw EUsageError(Exact->get_name() + " needs " + Text->Include->get_name() + " or " +
                              Text->Exclude->get_name());
    SetTextCriterion(Criteria, sfDescription, Options.Description, Criteria.DescriptionText,
                     Options.DescriptionExact->count() > 0, true);
    SetTextCriterion(Criteria, sfAction, Options.Action, Criteria.ActionText,
                     Options.ActionExact->count() > 0, true);
    if (Options.After->count() > 0) {
        Criteria.Fields.Set(sfMinTime, true);
        Criteria.MinTime = TimeOption(*Options.After, Options.AfterText);
    }
    if (Options.Before->count() > 0) {
        Criteria.Fields.Set(sfMaxTime, true);
        Criteria.MaxTime = TimeOption(*Options.Before, Options.BeforeText);
    }
    if (Options.Type.Given()) {
        // The dialog's list: Zone, Particle Emitter, Mover, Camera are 2 to 5; no choice is 1.
        static const std::map<std::string, int32_t> Types{
            {"unknown", 1}, {"zone", 2}, {"emitter", 3}, {"mover", 4}, {"camera", 5}};
        Criteria.Fields.Set(sfObjType, true);
        Criteria.Exclude.Set(sfObjType, Options.Type.Excluded());
        Criteria.ObjType = Types.at(Options.Type.Text());
    }
    return Criteria;
}

namespace {

int32_t OwnerArgument(const std::string& Text) {
    try {
        return StrToInt(Text);
    } catch (const EConvertError& Error) {
        throw EUsageError(Error.what());
    }
}

// Numbers are written in decimal digits: "0x10" or "1e3" would otherwise be taken as 16 or
// refused with a puzzling range message.
const CLI::Validator Decimal(
    [](std::string& Text) {
        const std::size_t Digits = !Text.empty() && Text[0] == '-' ? 1 : 0;
        if (Text.size() > Digits &&
            Text.find_first_not_of("0123456789", Digits) == std::string::npos)
            return std::string();
        return "'" + Text + "' is not a decimal number";
    },
    "");

} // namespace

void AddFileOptions(CLI::App& Command, TInvocation& Invocation) {
    Command.add_option("FILE", Invocation.File, "propdump file; - reads standard input")
        ->required();
    Command
        .add_option("--file-version", Invocation.FileVersion,
                    "version (2, 3 or 4) of a file that has no \"propdump version N\" header")
        ->type_name("N")
        ->check(Decimal)
        ->check(CLI::Range(2, 4));
}

void AddWriteOptions(CLI::App& Command, TInvocation& Invocation) {
    Command
        .add_option("-o,--output", Invocation.Output,
                    "write the result to OUT (- for standard output) instead of replacing FILE")
        ->type_name("OUT");
    Command.add_flag("--dry-run", Invocation.DryRun, "report what would change; write nothing");
}

std::optional<TInvocation> ParseCommandLine(int Argc, const char* const* Argv) {
    TInvocation Invocation;
    CLI::App App("Look into and change propdump files: the editor's searches and bulk edits on "
                 "the command line. A changed file is written whole to a temporary file and "
                 "renamed over the old one.",
                 "propdump");
    App.set_version_flag("-V,--version", "propdump " PROPDUMP_VERSION);
    App.require_subcommand(1);

    std::map<CLI::App*, TCommand> Commands;
    const auto Add = [&](const char* Name, const char* Help, TCommand Command) {
        CLI::App* Sub = App.add_subcommand(Name, Help);
        Commands[Sub] = Command;
        AddFileOptions(*Sub, Invocation);
        return Sub;
    };

    CLI::App* Info = Add("info",
                         "version, object count, time range, object types, and the "
                         "owners and model names with the most objects",
                         TCommand::Info);
    Info->add_option("--top", Invocation.Top, "owners and model names to list (0: all)")
        ->type_name("N")
        ->check(Decimal)
        ->check(CLI::Range(0, std::numeric_limits<int>::max()));

    TCriteriaOptions SearchCriteria;
    CLI::App* Search =
        Add("search", "list the objects that meet every criterion given", TCommand::Search);
    AddCriteriaOptions(*Search, SearchCriteria);
    CLI::Option* Count =
        Search->add_flag("--count")->description("print only how many objects were found");
    CLI::Option* Lines = Search->add_flag("--lines")->description(
        "print the objects as a propdump file (header and object lines)");
    CLI::Option* Json =
        Search->add_flag("--json")->description("print each object as one line of JSON");
    CLI::Option* Csv = Search->add_flag("--csv")->description(
        "print the objects as CSV for spreadsheets (UTF-8, a header row, every field)");
    Count->excludes(Lines)->excludes(Json)->excludes(Csv);
    Lines->excludes(Json)->excludes(Csv);
    Json->excludes(Csv);

    TCriteriaOptions DeleteCriteria;
    CLI::App* Delete = Add("delete", "remove the objects that search would find", TCommand::Delete);
    AddCriteriaOptions(*Delete, DeleteCriteria);
    AddWriteOptions(*Delete, Invocation);

    std::string Find;
    std::string Replacement;
    CLI::App* ReplaceOwner = Add("replace-owner",
                                 "give the objects of citizen FIND (-1: every object) to citizen "
                                 "REPLACE",
                                 TCommand::ReplaceOwner);
    CLI::App* ReplaceModel =
        Add("replace-model", "rename model FIND (the whole name, letter case ignored) to REPLACE",
            TCommand::ReplaceModel);
    ReplaceOwner->add_option("FIND", Find, "citizen number to find; -1: every object")->required();
    ReplaceOwner->add_option("REPLACE", Replacement, "the new citizen number")->required();
    ReplaceModel->add_option("FIND", Find, "model name to find; may be empty")->required();
    ReplaceModel->add_option("REPLACE", Replacement, "the new model name")->required();
    for (CLI::App* Sub : {ReplaceOwner, ReplaceModel})
        AddWriteOptions(*Sub, Invocation);
    CLI::App* Normalize =
        Add("normalize", "add \".rwx\" to the model names of plain objects that have no extension",
            TCommand::Normalize);
    CLI::App* Denormalize =
        Add("denormalize", "remove \".rwx\" from the model names of plain objects",
            TCommand::Denormalize);
    CLI::App* Convert = Add("convert", "rewrite the file in another version", TCommand::Convert);
    Convert->add_option("--to-version", Invocation.ToVersion, "the version to write: 2, 3 or 4")
        ->type_name("N")
        ->required()
        ->check(Decimal)
        ->check(CLI::Range(2, 4));
    Convert->add_flag("--drop-v4-data", Invocation.DropV4Data,
                      "convert even though objects lose what the new version cannot hold (type "
                      "and data below version 4, tilt and roll in version 2)");
    for (CLI::App* Sub : {Normalize, Denormalize, Convert})
        AddWriteOptions(*Sub, Invocation);
    Add("check", "report every line that cannot be read, then a summary", TCommand::Check);
    TWorldOptions World;
    AddWorldCommands(App, Commands, Invocation, World);

    // Without this, a misspelt command would be reported as a missing one.
    if (Argc > 1 && Argv[1][0] != '-' &&
        std::none_of(Commands.begin(), Commands.end(),
                     [&](const auto& Command) { return Command.first->check_name(Argv[1]); }))
        throw EUsageError(std::string("'") + Argv[1] + "' is not a propdump command");
    try {
        App.parse(Argc, Argv);
    } catch (const CLI::CallForHelp& Help) {
        App.exit(Help);
        return std::nullopt;
    } catch (const CLI::CallForAllHelp& Help) {
        App.exit(Help);
        return std::nullopt;
    } catch (const CLI::CallForVersion& Version) {
        App.exit(Version);
        return std::nullopt;
    } catch (const CLI::ParseError& Error) {
        throw EUsageError(Error.what());
    }

    CLI::App* Chosen = App.get_subcommands().front();
    // An unset variable in "-o $OUT" must not turn into a rewrite of FILE.
    if (const CLI::Option* Output = Chosen->get_option_no_throw("--output");
        Output && Output->count() > 0 && Invocation.Output.empty())
        throw EUsageError("-o/--output: the file name is empty (- writes to standard output)");
    Invocation.Command = Commands.at(Chosen);
    switch (Invocation.Command) {
    case TCommand::Search:
        Invocation.Criteria = BuildCriteria(SearchCriteria);
        Invocation.Area = BuildArea(SearchCriteria);
        Invocation.SearchOutput = Count->count() > 0   ? TSearchOutput::Count
                                  : Lines->count() > 0 ? TSearchOutput::Lines
                                  : Json->count() > 0  ? TSearchOutput::Json
                                  : Csv->count() > 0   ? TSearchOutput::Csv
                                                       : TSearchOutput::Rows;
        break;
    case TCommand::Delete:
        Invocation.Criteria = BuildCriteria(DeleteCriteria);
        Invocation.Area = BuildArea(DeleteCriteria);
        break;
    case TCommand::ReplaceOwner:
        Invocation.FindOwner = OwnerArgument(Find);
        Invocation.ReplacementOwner = OwnerArgument(Replacement);
        break;
    case TCommand::ReplaceModel:
        // The window's own refusals and messages for the two model names.
        if (Find == Replacement)
            throw EUsageError("FIND and REPLACE are the same; nothing would change");
        if (std::optional<std::string> Bytes = Utf8To1252(Find))
            Invocation.FindModel = std::move(*Bytes);
        else
            throw EUsageError("The model name to find contains characters that no propdump file "
                              "can hold, so no object can have it.");
        if (Replacement.find_first_of("\r\n") != std::string::npos)
            throw EUsageError("The replacement model name cannot contain line breaks.");
        if (std::optional<std::string> Bytes = Utf8To1252(Replacement))
            Invocation.ReplacementModel = std::move(*Bytes);
        else
            throw EUsageError("The replacement model name contains characters that cannot be "
                              "saved in a propdump file.");
        break;
    case TCommand::Move:
    case TCommand::Merge:
    case TCommand::Diff:
        FinishWorldCommand(World, Invocation);
        break;
    default:
        break;
    }
    const bool NoCriterion = Invocation.Criteria.Fields.IsEmpty() && !Invocation.Area;
    if (Invocation.Command == TCommand::Delete && NoCriterion)
        throw EUsageError("delete needs at least one criterion");
    if (Invocation.Command == TCommand::Search && NoCriterion)
        throw EUsageError("No search criteria specified");
    return Invocation;
}

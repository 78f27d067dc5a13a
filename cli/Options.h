#pragma once

// The tool's command line: subcommands and options (parsed by CLI11) turned into one plain
// record. Search criteria come out as the same record the window's criteria dialog fills in.

#include "ops/MapArea.h"
#include "ops/Relocation.h"
#include "ops/SearchCriteria.h"
#include "text/PositionInfo.h"

#include <cstdint>
#include <optional>
#include <string>

enum class TCommand {
    Info,
    Search,
    Delete,
    ReplaceOwner,
    ReplaceModel,
    Normalize,
    Denormalize,
    Convert,
    Check,
    Move,
    Merge,
    Diff
};
enum class TSearchOutput { Rows, Count, Lines, Json, Csv };
enum class TDiffOutput { Counts, List, Json, Lines };
enum class TDiffKind { Added, Removed, Changed };

struct TInvocation {
    TCommand Command = TCommand::Info;
    std::string File;    // "-" for standard input
    int FileVersion = 0; // 0: read it from the header line
    std::string Output;  // -o; empty: in place ("-": standard output)
    bool DryRun = false;
    TSearchCriteria Criteria;
    std::optional<TMapArea> Area; // --area: only objects inside it, besides the criteria
    TSearchOutput SearchOutput = TSearchOutput::Rows;
    int Top = 20; // 0: all
    int32_t FindOwner = 0;
    int32_t ReplacementOwner = 0;
    std::string FindModel; // Windows-1252
    std::string ReplacementModel;
    int ToVersion = 0;
    bool DropV4Data = false;
    // move and merge
    TOffset By;
    int32_t Turn = 0;                      // tenths of a degree
    std::optional<TObjectPosition> Around; // the centre of the turn; none: the found objects'
    bool Copy = false;
    // merge: the dump whose objects come in; diff: the new dump, File the old one
    std::string Other;
    int OtherVersion = 0;
    bool OnlyMissing = false;
    TDiffOutput DiffOutput = TDiffOutput::Counts;
    TDiffKind DiffLines = TDiffKind::Added;
};

// Raises EUsageError for a command line the tool cannot follow. Returns nullopt when the help or
// the version was asked for; it has been printed then.
std::optional<TInvocation> ParseCommandLine(int Argc, const char* const* Argv);

#pragma once

// The command line of move, merge and diff.

#include "cli/CriteriaOptions.h"
#include "cli/Options.h"

#include <CLI/CLI.hpp>

#include <map>
#include <string>

struct TWorldOptions {
    TCriteriaOptions MoveCriteria;
    TCriteriaOptions MergeCriteria;
    CLI::Option* All = nullptr;
    CLI::Option* By = nullptr;
    CLI::Option* MergeBy = nullptr;
    CLI::Option* Turn = nullptr;
    CLI::Option* Around = nullptr;
    CLI::Option* List = nullptr;
    CLI::Option* Json = nullptr;
    CLI::Option* Lines = nullptr;
    std::string ByText;
    std::string TurnText;
    std::string AroundText;
    std::string LinesKind;
};

// Adds the three commands to App, each in Commands.
void AddWorldCommands(CLI::App& App, std::map<CLI::App*, TCommand>& Commands,
                      TInvocation& Invocation, TWorldOptions& Options);

// Fills in Invocation for one of the three commands once the command line is parsed. Raises
// EUsageError.
void FinishWorldCommand(const TWorldOptions& Options, TInvocation& Invocation);

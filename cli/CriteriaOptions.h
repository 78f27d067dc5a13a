#pragma once

// The options that several commands share: the search criteria, the file and its version, and
// where a changed file goes.

#include "cli/Options.h"
#include "ops/MapArea.h"
#include "ops/SearchCriteria.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

// A criterion's two options, "--owner" and "--not-owner": at most one of them.
struct TCriterionOptions {
    CLI::Option* Include = nullptr;
    CLI::Option* Exclude = nullptr;
    std::string IncludeText;
    std::string ExcludeText;

    bool Given() const { return Include->count() > 0 || Exclude->count() > 0; }
    bool Excluded() const { return Exclude->count() > 0; }
    const std::string& Text() const { return Excluded() ? ExcludeText : IncludeText; }
    std::string Name() const { return Excluded() ? Exclude->get_name() : Include->get_name(); }
};

struct TCriteriaOptions {
    TCriterionOptions Owner, Model, Description, Action, Type;
    CLI::Option* DescriptionExact = nullptr;
    CLI::Option* ActionExact = nullptr;
    CLI::Option* After = nullptr;
    CLI::Option* Before = nullptr;
    std::string AfterText;
    std::string BeforeText;
    CLI::Option* Area = nullptr;
    std::vector<std::string> AreaCorners;
};

void AddCriteriaOptions(CLI::App& Command, TCriteriaOptions& Options);
// Raise EUsageError for values the criteria cannot take.
TSearchCriteria BuildCriteria(const TCriteriaOptions& Options);
std::optional<TMapArea> BuildArea(const TCriteriaOptions& Options);

// FILE and --file-version.
void AddFileOptions(CLI::App& Command, TInvocation& Invocation);
// -o and --dry-run.
void AddWriteOptions(CLI::App& Command, TInvocation& Invocation);

#pragma once

#include "cli/Options.h"

// Runs one command; returns the exit status: 0 done, 1 nothing found where something had to be.
// Raises EInputError for a file the command cannot use, EUsageError, and std::system_error for
// files that cannot be read or written.
int RunCommand(const TInvocation& Invocation);

// The whole tool: parses the command line, runs the command and reports any error on standard
// error as "propdump: FILE:LINE: message". Exit status 0 success, 1 a bad file or nothing found,
// 2 a usage error.
int RunPropdump(int Argc, const char* const* Argv);

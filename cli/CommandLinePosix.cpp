#include "cli/CommandLine.h"

// File names are bytes here, passed on as they are.
std::vector<std::string> Utf8Arguments(int Argc, char** Argv) {
    return {Argv, Argv + Argc};
}

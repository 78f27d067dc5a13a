#include "cli/CommandLine.h"

#include "model/Utf16Win32.h"

#include <windows.h>

#include <shellapi.h>

std::vector<std::string> Utf8Arguments(int Argc, char** Argv) {
    int Count = 0;
    wchar_t** const Wide = ::CommandLineToArgvW(::GetCommandLineW(), &Count);
    if (!Wide)
        return {Argv, Argv + Argc};
    std::vector<std::string> Arguments;
    for (int i = 0; i < Count; ++i)
        Arguments.push_back(Utf8(Wide[i]));
    ::LocalFree(Wide);
    return Arguments;
}

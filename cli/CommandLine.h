#pragma once

// The program's arguments as UTF-8, whatever the system hands over: Windows gives main() its
// arguments in the ANSI code page, where a file name of any other script is lost.

#include <string>
#include <vector>

std::vector<std::string> Utf8Arguments(int Argc, char** Argv);

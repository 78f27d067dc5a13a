// propdump: the editor's searches and bulk edits on the command line.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "model/FileSystem.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> Arguments = Utf8Arguments(argc, argv);
    std::vector<const char*> Words;
    for (const std::string& Argument : Arguments)
        Words.push_back(Argument.c_str());
    Words.push_back(nullptr);
    FileSystem::UseBinaryStandardOutput();
    return RunPropdump(static_cast<int>(Arguments.size()), Words.data());
}

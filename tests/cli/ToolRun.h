#pragma once

// Runs the built propdump program as a user would: arguments, standard input, and what it
// prints and returns.

#include "../model/ScratchFiles.h"

#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

struct TToolRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

inline TToolRun RunTool(const std::vector<std::string>& Args, const std::string& Input = {}) {
    TScratchDir Io;
    const std::string In = Io / "in", Out = Io / "out", Err = Io / "err";
    WriteBytes(In, Input);
    std::vector<std::string> Words{PROPDUMP_TOOL};
    Words.insert(Words.end(), Args.begin(), Args.end());
    std::vector<char*> Argv;
    for (std::string& Word : Words)
        Argv.push_back(Word.data());
    Argv.push_back(nullptr);
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::dup2(::open(In.c_str(), O_RDONLY), STDIN_FILENO);
        ::dup2(::open(Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        ::dup2(::open(Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        ::execv(Argv[0], Argv.data());
        ::_exit(127);
    }
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    return {WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status), ReadBytes(Out),
            ReadBytes(Err)};
}

#pragma once

// Runs the built propdump program as a user would: arguments, standard input, and what it
// prints and returns.

#include "../model/ScratchFiles.h"

#include <string>
#include <vector>

#include <csignal>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

struct TToolRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// Program and its arguments as execv takes them, made before a fork so the child allocates
// nothing.
class TCommandLine {
public:
    TCommandLine(const std::string& Program, const std::vector<std::string>& Args)
        : Words{Program} {
        Words.insert(Words.end(), Args.begin(), Args.end());
        for (std::string& Word : Words)
            Argv.push_back(Word.data());
        Argv.push_back(nullptr);
    }
    [[noreturn]] void Exec() {
        ::execv(Argv[0], Argv.data());
        ::_exit(127);
    }

private:
    std::vector<std::string> Words;
    std::vector<char*> Argv;
};

// Runs Program with Args. With TimeoutSeconds, a program still running then is killed (status
// 128 + SIGKILL).
inline TToolRun RunProgram(const std::string& Program, const std::vector<std::string>& Args,
                           const std::string& Input = {}, int TimeoutSeconds = 0) {
    TScratchDir Io;
    const std::string In = Io / "in", Out = Io / "out", Err = Io / "err";
    WriteBytes(In, Input);
    TCommandLine Command(Program, Args);
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::dup2(::open(In.c_str(), O_RDONLY), STDIN_FILENO);
        ::dup2(::open(Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        ::dup2(::open(Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        Command.Exec();
    }
    int Status = 0;
    for (int Waited = 0; TimeoutSeconds > 0 && ::waitpid(Child, &Status, WNOHANG) != Child;
         ++Waited) {
        if (Waited == TimeoutSeconds * 100) {
            ::kill(Child, SIGKILL);
            break;
        }
        ::usleep(10000);
    }
    if (TimeoutSeconds == 0 || !WIFEXITED(Status))
        ::waitpid(Child, &Status, 0);
    return {WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status), ReadBytes(Out),
            ReadBytes(Err)};
}

inline TToolRun RunTool(const std::vector<std::string>& Args, const std::string& Input = {},
                        int TimeoutSeconds = 0) {
    return RunProgram(PROPDUMP_TOOL, Args, Input, TimeoutSeconds);
}

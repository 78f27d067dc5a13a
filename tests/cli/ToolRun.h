#pragma once

// Runs the built propdump program as a user would: arguments, standard input, and what it
// prints and returns.

#include "../model/ScratchFiles.h"

#include <string>
#include <vector>

struct TToolRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

#ifdef _WIN32
#include <windows.h>

#include "model/Utf16Win32.h"

// One argument as Windows' C runtime and CommandLineToArgvW split it back out: quoted when it
// holds blanks or quotes, backslashes doubled only where a quote follows them.
inline std::wstring QuotedArgument(const std::string& Argument) {
    const std::wstring Wide = Utf16(Argument);
    if (!Wide.empty() && Wide.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return Wide;
    std::wstring Quoted = L"\"";
    for (std::size_t At = 0;; ++At) {
        std::size_t Backslashes = 0;
        for (; At < Wide.size() && Wide[At] == L'\\'; ++At)
            ++Backslashes;
        if (At == Wide.size()) {
            Quoted.append(Backslashes * 2, L'\\');
            break;
        }
        Quoted.append(Wide[At] == L'"' ? Backslashes * 2 + 1 : Backslashes, L'\\');
        Quoted += Wide[At];
    }
    return Quoted + L'"';
}

// Runs Program with Args. With TimeoutSeconds, a program still running then is ended (status
// 128 + 9, as a SIGKILL reads elsewhere).
inline TToolRun RunProgram(const std::string& Program, const std::vector<std::string>& Args,
                           const std::string& Input = {}, int TimeoutSeconds = 0) {
    TScratchDir Io;
    const std::string In = Io / "in", Out = Io / "out", Err = Io / "err";
    WriteBytes(In, Input);
    SECURITY_ATTRIBUTES Inherited{sizeof Inherited, nullptr, TRUE};
    const auto Open = [&](const std::string& Path, DWORD Access, DWORD Disposition) {
        return ::CreateFileW(Utf16(Path).c_str(), Access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &Inherited, Disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    Startup.dwFlags = STARTF_USESTDHANDLES;
    Startup.hStdInput = Open(In, GENERIC_READ, OPEN_EXISTING);
    Startup.hStdOutput = Open(Out, GENERIC_WRITE, CREATE_ALWAYS);
    Startup.hStdError = Open(Err, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring Line = QuotedArgument(Program);
    for (const std::string& Arg : Args)
        Line += L' ' + QuotedArgument(Arg);
    PROCESS_INFORMATION Process{};
    // Under wine a process now and then fails to start while the prefix is young; a program
    // that cannot start at all fails every try.
    bool Started = false;
    DWORD Error = 0;
    for (int Try = 0; Try < 5 && !Started; ++Try) {
        if (Try > 0)
            ::Sleep(200);
        Started = ::CreateProcessW(nullptr, Line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &Startup, &Process);
        if (!Started)
            Error = ::GetLastError();
    }
    for (const HANDLE Standard : {Startup.hStdInput, Startup.hStdOutput, Startup.hStdError})
        ::CloseHandle(Standard);
    if (!Started)
        return {127, {}, "cannot start " + Program + " (error " + std::to_string(Error) + ")\n"};
    DWORD Status = 127;
    if (::WaitForSingleObject(Process.hProcess, TimeoutSeconds > 0 ? TimeoutSeconds * 1000
                                                                    : INFINITE) == WAIT_TIMEOUT) {
        ::TerminateProcess(Process.hProcess, 128 + 9);
        ::WaitForSingleObject(Process.hProcess, INFINITE);
    }
    ::GetExitCodeProcess(Process.hProcess, &Status);
    ::CloseHandle(Process.hProcess);
    ::CloseHandle(Process.hThread);
    return {static_cast<int>(Status), ReadBytes(Out), ReadBytes(Err)};
}
#else
#include <csignal>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

#endif

inline TToolRun RunTool(const std::vector<std::string>& Args, const std::string& Input = {},
                        int TimeoutSeconds = 0) {
    return RunProgram(PROPDUMP_TOOL, Args, Input, TimeoutSeconds);
}

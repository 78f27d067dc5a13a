// The propdump tool and the files around it: a rewrite that would change nothing, files that
// cannot be rewritten in place, the ending signals in the middle of a rewrite, the progress bar
// on a terminal, and the memory a very long line costs.

#include "SampleDocument.h"
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

struct TStamp {
    ino_t Inode;
    timespec Modified;
    bool operator==(const TStamp& Other) const {
        return Inode == Other.Inode && Modified.tv_sec == Other.Modified.tv_sec &&
               Modified.tv_nsec == Other.Modified.tv_nsec;
    }
};

TStamp Stamp(const std::string& Path) {
    struct stat Status {};
    EXPECT_EQ(::stat(Path.c_str(), &Status), 0) << Path;
    return {Status.st_ino, Status.st_mtim};
}

// What a child process gets that a shell would give it: the three ending signals as they are by
// default, whatever the test runner set.
void DefaultSignals() {
    for (const int Signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(Signal, SIG_DFL);
    sigset_t None;
    sigemptyset(&None);
    ::sigprocmask(SIG_SETMASK, &None, nullptr);
}

// Starts the tool as a shell would, reading from a new pipe whose write end goes to Feed; on a
// terminal of its own when Terminal is given, which then gets the terminal's other end.
pid_t StartTool(const std::vector<std::string>& Args, int& Feed, int* Terminal = nullptr) {
    int In[2];
    if (::pipe(In) != 0)
        return -1;
    TCommandLine Command(PROPDUMP_TOOL, Args);
    const pid_t Child = Terminal ? ::forkpty(Terminal, nullptr, nullptr, nullptr) : ::fork();
    if (Child == 0) {
        DefaultSignals();
        ::dup2(In[0], STDIN_FILENO);
        ::close(In[0]);
        ::close(In[1]);
        Command.Exec();
    }
    ::close(In[0]);
    Feed = In[1];
    return Child;
}

void WriteAll(int Fd, const std::string& Bytes) {
    for (std::size_t At = 0; At < Bytes.size();) {
        const ssize_t N = ::write(Fd, Bytes.data() + At, Bytes.size() - At);
        ASSERT_GT(N, 0);
        At += static_cast<std::size_t>(N);
    }
}

// Waits for Child for at most Seconds; kills it when it is still running then.
int WaitFor(pid_t Child, int Seconds) {
    int Status = 0;
    for (int Waited = 0; Waited < Seconds * 100; ++Waited) {
        if (::waitpid(Child, &Status, WNOHANG) == Child)
            return Status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(Child, SIGKILL);
    ::waitpid(Child, &Status, 0);
    ADD_FAILURE() << "the tool was still running after " << Seconds << " s";
    return Status;
}

// "1 2 3 4 5 6 4 0 0 bush" lines, one in Every with the model "tree" instead.
std::string Lines(std::size_t Bytes, std::size_t Every) {
    std::string Text;
    for (std::size_t i = 0; Text.size() < Bytes; ++i)
        Text += i % Every == 0 ? "1 2 3 4 5 6 4 0 0 tree\r\n" : "1 2 3 4 5 6 4 0 0 bush\r\n";
    return Text;
}

} // namespace

// The window's answer to a change that finds nothing: nothing happens. A file named with -o is
// still written, since the user asked for it.
TEST(PropdumpToolFiles, RewriteThatChangesNothingLeavesTheFileAlone) {
    const std::string Plain = "propdump version 4\n5 1 0 0 0 0 0 0 0 8 0 0 0 tree.rwx\n";
    const struct {
        std::vector<std::string> Args;
        std::string Report;
    } Cases[] = {
        {{"replace-owner", "999", "5"}, "Models changed: 0\n"},
        {{"replace-model", "bush", "tree"}, "Models replaced: 0\n"},
        {{"normalize"}, "Models normalized: 0\n"},
        {{"convert", "--to-version", "4"},
         "Objects converted: 0 (the file is of version 4 already; it is left as it was)\n"},
    };
    // Converted to its own version, a file without a header gets one.
    {
        TScratchDir Dir;
        WriteBytes(Dir / "f.pd", "5 1 0 0 0 0 0 0 0 8 0 0 0 tree.rwx\r\n");
        EXPECT_EQ(
            RunTool({"convert", Dir / "f.pd", "--file-version", "4", "--to-version", "4"}).Out,
            "Objects converted: 1\n");
        EXPECT_EQ(ReadBytes(Dir / "f.pd"), "propdump version 4\r\n5 1 0 0 0 0 0 0 0 8 0 0 0 "
                                           "tree.rwx\r\n");
    }
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Args[0]);
        TScratchDir Dir;
        WriteBytes(Dir / "f.pd", Plain);
        const TStamp Before = Stamp(Dir / "f.pd");
        // In place, and through -o naming the file by another of its names.
        for (const bool Linked : {false, true}) {
            std::vector<std::string> Args{Case.Args[0], Dir / "f.pd"};
            Args.insert(Args.end(), Case.Args.begin() + 1, Case.Args.end());
            if (Linked) {
                ASSERT_EQ(::link((Dir / "f.pd").c_str(), (Dir / "g.pd").c_str()), 0);
                Args.insert(Args.end(), {"-o", Dir / "g.pd"});
            }
            const TToolRun Run = RunTool(Args);
            EXPECT_EQ(Run.Status, 0) << Run.Err;
            EXPECT_EQ(Run.Out, Case.Report);
            EXPECT_TRUE(Stamp(Dir / "f.pd") == Before) << (Linked ? "linked" : "in place");
            EXPECT_EQ(ReadBytes(Dir / "f.pd"), Plain);
        }
        std::vector<std::string> Args{Case.Args[0], Dir / "f.pd"};
        Args.insert(Args.end(), Case.Args.begin() + 1, Case.Args.end());
        Args.insert(Args.end(), {"-o", Dir / "out.pd"});
        EXPECT_EQ(RunTool(Args).Status, 0);
        EXPECT_EQ(ReadBytes(Dir / "out.pd"), "propdump version 4\r\n5 1 0 0 0 0 0 0 0 8 0 0 0 "
                                             "tree.rwx\r\n");
    }
}

// What the file carries besides its bytes, as the shell tools show it.
std::string Carried(const std::string& Path) {
    TScratchDir Io;
    const std::string Out = Io / "out";
    EXPECT_EQ(std::system(("stat -c '%a %u %g %h' '" + Path + "' >" + Out + " && getfacl -cp '" +
                           Path + "' >>" + Out + " && getfattr -d '" + Path + "' >>" + Out)
                              .c_str()),
              0);
    return ReadBytes(Out);
}

// The tool's rewrites save as the window does: the file keeps all it carries, written in place
// where renaming could not keep it. The user is an unprivileged one where it matters.
TEST(PropdumpToolFiles, RewriteKeepsWhatTheFileCarries) {
    const bool Root = ::geteuid() == 0;
    const struct {
        const char* Name;
        std::string SetUp; // {f} the file, {d} its folder
        bool AsNobody;
        bool InPlace;
    } Cases[] = {
        {"ACL and attributes",
         "chmod 640 {f} && setfacl -m u:1:rw {f} && setfattr -n user.a -v 1 {f}", false, false},
        {"other names", "ln {f} {d}/g.pd && setfattr -n user.a -v 1 {f}", false, true},
        {"folder the user may not write",
         "chown nobody {f} && setfacl -m u:nobody:rx {d} && chmod 555 {d}", true, true},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TScratchDir Dir;
        WriteBytes(Dir / "f.pd", "propdump version 2\r\n1 2 3 4 5 6 4 0 0 tree\r\n");
        std::string SetUp = Case.SetUp;
        for (const auto& [Name, Value] :
             {std::pair{"{f}", Dir / "f.pd"}, {"{d}", Dir.Path.string()}})
            for (std::size_t At; (At = SetUp.find(Name)) != std::string::npos;)
                SetUp.replace(At, 3, "'" + Value + "'");
        if (Case.AsNobody && !Root)
            SetUp = SetUp.substr(SetUp.find("chmod"));
        ASSERT_EQ(std::system(SetUp.c_str()), 0) << SetUp;
        const std::string Before = Carried(Dir / "f.pd");
        const TStamp Old = Stamp(Dir / "f.pd");
        std::vector<std::string> Args{"normalize", Dir / "f.pd"};
        if (Case.AsNobody && Root)
            Args.insert(Args.begin(), {"-u", "nobody", "--", PROPDUMP_TOOL});
        const TToolRun Run =
            Case.AsNobody && Root ? RunProgram("/usr/sbin/runuser", Args) : RunTool(Args);
        EXPECT_EQ(Run.Status, 0) << Run.Err;
        EXPECT_EQ(ReadBytes(Dir / "f.pd"), "propdump version 2\r\n1 2 3 4 5 6 8 0 0 tree.rwx\r\n");
        EXPECT_EQ(Carried(Dir / "f.pd"), Before);
        EXPECT_EQ(Stamp(Dir / "f.pd").Inode == Old.Inode, Case.InPlace);
        EXPECT_EQ(Dir.Entries().size(), Case.InPlace && !Case.AsNobody ? 2u : 1u);
    }
}

// A pipe cannot take back what was read from it, and a device is no file to replace: refused at
// once, before anything waits for them.
TEST(PropdumpToolFiles, WhatIsNoRegularFileIsNotRewrittenInPlace) {
    TScratchDir Dir;
    ASSERT_EQ(::mkfifo((Dir / "pipe").c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> Commands = {
        {"normalize"}, {"move", "--by", "1N 0W", "--all"}, {"merge", "/dev/null"}};
    for (const std::string& Path : {Dir / "pipe", std::string("/dev/null")})
        for (std::vector<std::string> Args : Commands) {
            SCOPED_TRACE(Path + " " + Args[0]);
            Args.insert(Args.begin() + 1, Path);
            const TToolRun Run = RunTool(Args, "", 10);
            EXPECT_EQ(Run.Status, 1);
            EXPECT_EQ(Run.Err, "propdump: " + Path +
                                   ": not a regular file, so it cannot be "
                                   "rewritten in place; write the result elsewhere "
                                   "with -o OUT\n");
        }
}

// Killed in the middle of a rewrite, the tool takes its temporary file with it and leaves the
// old file as it was. Its input is a pipe that the test fills, so the rewrite is caught while it
// runs, however fast the machine.
TEST(PropdumpToolFiles, EndingSignalRemovesTheTemporaryFile) {
    for (const int Signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(Signal);
        TScratchDir Dir;
        WriteBytes(Dir / "out.pd", SampleDocument);
        int Feed = -1;
        const pid_t Child = StartTool({"normalize", "-", "-o", Dir / "out.pd"}, Feed);
        ASSERT_GT(Child, 0);
        WriteAll(Feed, "propdump version 2\r\n" + Lines(300000, 7));
        bool Writing = false;
        for (int Waited = 0; !Writing && Waited < 1000; ++Waited) {
            Writing = Dir.Entries().size() == 2;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(Writing) << "no temporary file appeared";
        ::kill(Child, Signal);
        const int Status = WaitFor(Child, 10);
        ::close(Feed);
        EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << Status;
        EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"out.pd"});
        EXPECT_EQ(ReadBytes(Dir / "out.pd"), SampleDocument);
    }
}

// On a terminal the bar shares the screen with the results: it is wiped before each of them, so
// no result ever starts on the bar's line.
TEST(PropdumpToolFiles, ProgressBarIsWipedBeforeAnythingElseIsWritten) {
    const std::vector<std::string> Commands[] = {{"info", "-"}, {"search", "-", "--model", "tree"}};
    for (const std::vector<std::string>& Args : Commands) {
        SCOPED_TRACE(Args[0]);
        int Feed = -1;
        int Terminal = -1;
        const pid_t Child = StartTool(Args, Feed, &Terminal);
        ASSERT_GT(Child, 0);
        std::string Screen;
        std::thread Reader([&] {
            char Buffer[65536];
            for (ssize_t N; (N = ::read(Terminal, Buffer, sizeof Buffer)) > 0;)
                Screen.append(Buffer, static_cast<std::size_t>(N));
        });
        // The bar appears after a second; then the results of a few batches come while it shows.
        WriteAll(Feed, "propdump version 2\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        const std::string More = Lines(4 << 20, 20000);
        for (std::size_t At = 0; At < More.size(); At += 256 << 10) {
            WriteAll(Feed, More.substr(At, 256 << 10));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        ::close(Feed);
        const int Status = WaitFor(Child, 20);
        Reader.join();
        ::close(Terminal);
        EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Screen;
        const std::string Bar = " MB read";
        std::size_t Shown = 0;
        // After the bar comes the bar again, drawn over itself, or the sequence that wipes it.
        for (std::size_t At = Screen.find(Bar); At != std::string::npos;
             At = Screen.find(Bar, At + 1), ++Shown) {
            const std::string After = Screen.substr(At + Bar.size(), 11);
            EXPECT_TRUE(After.starts_with("\r\033[K") || After == "\rpropdump: ")
                << testing::PrintToString(Screen.substr(At, 40));
        }
        EXPECT_GT(Shown, 0u) << "the bar never showed: " << testing::PrintToString(Screen);
    }
}

// A line of 50 MB costs a small multiple of its length, whatever the command does with it.
TEST(PropdumpToolFiles, LongLineInMemoryProportionateToIt) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's own memory hides the tool's";
#endif
    constexpr std::size_t Length = 50 * 1000 * 1000;
    TScratchDir Dir;
    WriteBytes(Dir / "long.pd", "propdump version 2\r\n1 2 3 4 5 6 " + std::to_string(Length) +
                                    " 0 0 " + std::string(Length, 'm') + "\r\n");
    for (const char* Name : {"check", "info", "search"}) {
        SCOPED_TRACE(Name);
        std::vector<std::string> Args{Name, Dir / "long.pd"};
        if (std::string(Name) == "search")
            Args.insert(Args.end(), {"--model", "m*", "--count"});
        TCommandLine Command(PROPDUMP_TOOL, Args);
        const pid_t Child = ::fork();
        if (Child == 0) {
            ::freopen("/dev/null", "w", stdout);
            Command.Exec();
        }
        int Status = 0;
        rusage Usage{};
        ASSERT_EQ(::wait4(Child, &Status, 0, &Usage), Child);
        EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
        EXPECT_LT(static_cast<std::size_t>(Usage.ru_maxrss) * 1024, 4 * Length + (32 << 20))
            << Usage.ru_maxrss / 1024 << " MiB at the peak";
    }
}

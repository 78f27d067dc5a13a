#pragma once

// Root ignores file permissions, so the cases about them run in a forked child that has become
// "nobody"; anyone else runs them as themselves.

#include "tests/model/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

constexpr uid_t Nobody = 65534;

inline uid_t ChildUser() {
    return ::geteuid() == 0 ? Nobody : ::geteuid();
}

inline gid_t ChildGroup() {
    return ::geteuid() == 0 ? Nobody : ::getegid();
}

// Hands the folder (and the named files in it) to the user the child process runs as.
inline void GiveToChildUser(const TScratchDir& dir, const std::vector<std::string>& names = {}) {
    ASSERT_EQ(::chown(dir.Path.c_str(), ChildUser(), static_cast<gid_t>(-1)), 0);
    for (const std::string& name : names)
        ASSERT_EQ(::chown((dir / name).c_str(), ChildUser(), static_cast<gid_t>(-1)), 0);
}

// Outcomes a child reports through its exit status.
enum TChildResult {
    Saved = 0,
    FailedAsExpected = 1,
    FailedOtherwise = 2,
    WrongMessage = 3,
    CannotDropPrivileges = 4,
    Unexpected = 5,
};

// Runs Body in a forked child, as "nobody" when the test runs as root, and returns its result.
inline int RunAsChildUser(const std::function<int()>& Body) {
    std::cout.flush();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::system_error(errno, std::generic_category(), "fork");
    if (pid == 0) {
        int result = Unexpected;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)) {
            result = CannotDropPrivileges;
        } else {
            try {
                result = Body();
            } catch (...) {
                result = Unexpected;
            }
        }
        ::_exit(result);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

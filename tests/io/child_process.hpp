// A statement run in a child process, for the file tests that need what
// must never touch the test process: a file size limit, a death by signal
// in the middle of a write, or another user (the tests run as root in CI,
// and root may write any file). The child sends back the message of the
// error it caught.
#pragma once

#include "test_support.hpp"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace test {

struct child_setup {
    // Run as this user and group (switch_user) instead of the test's own.
    bool switch_user = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // its supplementary groups
    // The largest file the child may write (its soft limit).
    rlim_t file_size_limit = RLIM_INFINITY;
    // A write past the limit kills the child (SIGXFSZ), as a save killed
    // in the middle; otherwise the write fails with EFBIG.
    bool killed_at_limit = false;
    // A statement that has not ended after this many seconds is killed
    // (SIGALRM), so that a write that would wait forever fails its test
    // instead of stopping the run; 0: no limit.
    unsigned time_limit = 0;
};

struct child_outcome {
    bool ran = false;      // the statement was started (else `message` says why not)
    std::string message;   // the error the statement raised; "" for none
    int signal = 0;        // the signal that ended the child; 0 when it exited
    pid_t pid = 0;         // the child's process id (it has gone when the call returns)
};

// The unprivileged user a root test process runs its child as.
constexpr uid_t unprivileged_uid = 65534;  // nobody
constexpr gid_t unprivileged_gid = 65534;

inline child_outcome run_in_child(const child_setup& setup, const std::function<void()>& statement)
{
    child_outcome outcome;
    int ends[2];
    if (::pipe(ends) != 0) {
        outcome.message = "no pipe";
        return outcome;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        outcome.message = "no fork";
        return outcome;
    }
    if (child == 0) {
        ::close(ends[0]);
        auto send = [&](const std::string& text) {
            return ::write(ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        };
        std::string refused;
        if (setup.switch_user &&
            (::setgroups(setup.groups.size(), setup.groups.data()) != 0 || ::setgid(setup.gid) != 0 || ::setuid(setup.uid) != 0))
            refused = std::string("could not become user ") + std::to_string(setup.uid) + ": " + std::strerror(errno);
        const struct rlimit no_core {0, 0};
        ::setrlimit(RLIMIT_CORE, &no_core);
        if (refused.empty() && setup.file_size_limit != RLIM_INFINITY) {
            struct rlimit r {};
            ::getrlimit(RLIMIT_FSIZE, &r);
            r.rlim_cur = setup.file_size_limit;
            if (::setrlimit(RLIMIT_FSIZE, &r) != 0)
                refused = std::string("setrlimit: ") + std::strerror(errno);
        }
        if (!refused.empty()) {
            send("F" + refused);
            ::_exit(2);
        }
        ::signal(SIGXFSZ, setup.killed_at_limit ? SIG_DFL : SIG_IGN);
        send("S");
        if (setup.time_limit > 0)
            ::alarm(setup.time_limit);
        const std::string message = error_of(statement);
        ::_exit(send(message) ? 0 : 1);
    }
    ::close(ends[1]);
    std::string got;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(ends[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            got.append(buffer, static_cast<std::size_t>(n));
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.pid = child;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    outcome.ran = !got.empty() && got[0] == 'S';
    outcome.message = got.empty() ? std::string() : got.substr(1);
    return outcome;
}

} // namespace test

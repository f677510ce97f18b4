// SPDX-License-Identifier: GPL-3.0-or-later
// Runs work that might never end in a child process with a time limit, so that a test fails
// (naming where the work was) instead of hanging the suite.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelt::test {

/// How a bounded child ended.
struct ChildOutcome {
    bool finished = false;   ///< ended by itself within the limit
    int exitCode = -1;       ///< its exit status when it exited normally
    int signal = 0;          ///< the signal that ended it (a crash), 0 otherwise
    std::string lastStep;    ///< the last step it reported before it ended or was stopped
    std::string error;       ///< what an exception it threw said
};

/// Reports a step to the parent (within the work of runBounded), so that a child that has to be
/// stopped can be told where it was.
inline int& boundedChildPipe()
{
    static int fd = -1;
    return fd;
}
inline std::string& boundedStepName()
{
    static std::string name;
    return name;
}
inline void boundedStep(const std::string& what)
{
    if (what.rfind("warning", 0) != 0 && what.rfind("error", 0) != 0)
        boundedStepName() = what;
    const std::string line = what + '\n';
    if (boundedChildPipe() >= 0 && ::write(boundedChildPipe(), line.data(), line.size()) < 0)
        boundedChildPipe() = -1;
}

/// Runs `work` in a forked child and waits at most `seconds` for it; a child past the limit is
/// killed. The child exits 0 when `work` returns, 3 when it throws.
inline ChildOutcome runBounded(const std::function<void()>& work, int seconds)
{
    ChildOutcome out;
    int fds[2];
    if (::pipe(fds) != 0)
        return out;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return out;
    }
    if (pid == 0) {
        ::close(fds[0]);
        boundedChildPipe() = fds[1];
        ::alarm(unsigned(seconds) + 30);   // never outlives a parent that was itself stopped
        try {
            work();
        } catch (const std::exception& e) {
            boundedStep(std::string("error: ") + e.what());
            ::_exit(3);
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    bool open = true;
    for (;;) {
        if (open) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buf[4096];
                const ssize_t n = ::read(fds[0], buf, sizeof buf);
                if (n > 0)
                    text.append(buf, std::size_t(n));
                else
                    open = false;
                if (text.size() > 65536)
                    text.erase(0, text.size() - 4096);
            }
        } else {
            ::usleep(50000);
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            out.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
    }
    ::close(fds[0]);
    if (out.finished) {
        if (WIFEXITED(status))
            out.exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            out.signal = WTERMSIG(status);
    }
    // The last whole line reported.
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const auto nl = text.rfind('\n');
    out.lastStep = nl == std::string::npos ? text : text.substr(nl + 1);
    if (out.lastStep.rfind("error: ", 0) == 0)
        out.error = out.lastStep.substr(7);
    return out;
}

/// A one-line account of how the child ended, for a failure message.
inline std::string describe(const ChildOutcome& o, int seconds)
{
    if (!o.finished)
        return "did not finish within " + std::to_string(seconds) + " s; last step: " + o.lastStep;
    if (o.signal)
        return "crashed with signal " + std::to_string(o.signal) + "; last step: " + o.lastStep;
    if (o.exitCode != 0)
        return "failed (exit " + std::to_string(o.exitCode) + "); last step: " + o.lastStep;
    return "finished";
}

}  // namespace zelt::test

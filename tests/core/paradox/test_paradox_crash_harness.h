// SPDX-License-Identifier: GPL-3.0-or-later
// Qt-free random-kill harness: a child posts rows and reports each acknowledged post; it is killed.
#pragma once

#include "test_paradox_rows.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zelt::test::px {

/// One post as the child announces it before doing it and confirms it after.
struct PostMessage {
    std::uint8_t done = 0;   ///< 0 = about to post, 1 = post returned (acknowledged), 2 = child failed
    std::uint8_t kind = 0;   ///< 0 append, 1 insert, 2 update, 3 delete
    std::uint32_t index = 0;
    std::int32_t id = 0;     ///< the row's content is traverseRow(id)
};

/// Applies a post to a model of the table's rows.
inline void applyPost(std::vector<Row>& rows, const PostMessage& m)
{
    switch (m.kind) {
    case 0: rows.push_back(traverseRow(m.id)); break;
    case 1: rows.insert(rows.begin() + m.index, traverseRow(m.id)); break;
    case 2: rows[m.index] = traverseRow(m.id); break;
    default: rows.erase(rows.begin() + m.index); break;
    }
}

/// The child: posts random rows for ever, announcing and acknowledging each through `fd`.
/// The table keeps between `lowRows` and `highRows` rows on the whole.
[[noreturn]] inline void runPoster(const std::filesystem::path& table, int fd, std::uint32_t seed,
                                   std::size_t lowRows = 50, std::size_t highRows = 1500)
{
    auto send = [fd](const PostMessage& m) {
        if (::write(fd, &m, sizeof m) != static_cast<ssize_t>(sizeof m))
            ::_exit(4);
    };
    try {
        auto t = ParadoxTable::open(table);
        if (t->isReadOnly())
            throw ParadoxError(t->readOnlyReason());
        std::mt19937 rng(seed);
        std::int32_t nextId = static_cast<std::int32_t>((seed % 2000) * 1000000);
        for (;;) {
            const std::size_t n = t->rowCount();
            PostMessage m;
            const unsigned roll = rng() % 100;
            m.kind = n < lowRows ? (roll < 50 ? 0 : 1)
                : n > highRows   ? 3
                : roll < 35      ? 0
                : roll < 65      ? 1
                : roll < 85      ? 2
                                 : 3;
            m.index = static_cast<std::uint32_t>(m.kind == 0 ? n : rng() % (m.kind == 1 ? n + 1 : n));
            m.id = nextId++;
            send(m);
            switch (m.kind) {
            case 0: t->appendRow(traverseRow(m.id)); break;
            case 1: t->insertRow(m.index, traverseRow(m.id)); break;
            case 2: t->updateRow(m.index, traverseRow(m.id)); break;
            default: t->deleteRow(m.index); break;
            }
            m.done = 1;
            send(m);
        }
    } catch (...) {
        send(PostMessage{2, 0, 0, 0});
        ::_exit(3);
    }
}

struct TrialResult {
    std::string problem;         ///< empty when every acknowledged post is in the file, in order
    std::size_t acknowledged = 0;
    bool pendingInFile = false;  ///< the interrupted post had already reached the file
    bool repaired = false;       ///< the reopen corrected the header or links
};

/// One trial: the child posts for `killAfter`, is killed with SIGKILL, and the table is reopened.
/// `rows` holds the table's rows before the trial and is updated to the rows after it.
inline TrialResult runKillTrial(const std::filesystem::path& table, std::vector<Row>& rows, std::uint32_t seed,
                                std::chrono::microseconds killAfter)
{
    TrialResult result;
    int fds[2];
    if (::pipe(fds) != 0)
        return {"pipe failed"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        runPoster(table, fds[1], seed);
    }
    ::close(fds[1]);
    std::this_thread::sleep_for(killAfter);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);

    std::vector<Row> acked = rows;
    PostMessage pending;
    bool hasPending = false;
    PostMessage m;
    for (;;) {
        const ssize_t n = ::read(fds[0], &m, sizeof m);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != static_cast<ssize_t>(sizeof m))
            break;
        if (m.done == 2) {
            ::close(fds[0]);
            return {"the posting child failed"};
        }
        if (m.done == 1) {
            applyPost(acked, m);
            ++result.acknowledged;
            hasPending = false;
        } else {
            pending = m;
            hasPending = true;
        }
    }
    ::close(fds[0]);

    try {
        auto t = ParadoxTable::open(table);
        if (t->isReadOnly())
            return {"reopened read-only: " + t->readOnlyReason()};
        result.repaired = !t->openNotes().empty();
        const std::vector<Row> got = t->readAll();
        std::vector<Row> withPending = acked;
        if (hasPending)
            applyPost(withPending, pending);
        if (firstDifference(got, acked).empty()) {
            rows = acked;
        } else if (hasPending && firstDifference(got, withPending).empty()) {
            rows = withPending;
            result.pendingInFile = true;
        } else {
            result.problem = "after " + std::to_string(result.acknowledged) + " acknowledged posts: "
                + firstDifference(got, acked);
        }
    } catch (const std::exception& e) {
        result.problem = std::string("reopen failed: ") + e.what();
    }
    return result;
}

}  // namespace zelt::test::px

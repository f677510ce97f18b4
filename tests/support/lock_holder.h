// SPDX-License-Identifier: GPL-3.0-or-later
// A child process that holds a table's write lock, as another running program editing it does.
#pragma once

#include "paradox/table_lock.h"

#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelt::test {

/// Forks a child that opens `table` for writing and holds its lock until this object ends.
class OtherProcessLock {
public:
    explicit OtherProcessLock(const std::filesystem::path& table)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        if (::pipe(m_release) != 0) {
            ::close(ready[0]);
            ::close(ready[1]);
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(table.c_str(), O_RDWR);
            std::string detail;
            const char ok = fd >= 0 && zelt::document::TableLock::tryLock(fd, detail)
                    == zelt::document::TableLock::Result::Locked ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(m_release[0], &c, 1);
            ::_exit(0);
        }
        char ok = 'n';
        if (m_pid > 0)
            (void)!::read(ready[0], &ok, 1);
        m_locked = ok == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~OtherProcessLock()
    {
        if (m_pid > 0) {
            (void)!::write(m_release[1], "x", 1);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_release[0] >= 0) {
            ::close(m_release[0]);
            ::close(m_release[1]);
        }
    }
    OtherProcessLock(const OtherProcessLock&) = delete;
    OtherProcessLock& operator=(const OtherProcessLock&) = delete;
    /// Whether the child took the lock.
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release[2] = {-1, -1};
    bool m_locked = false;
};

}  // namespace zelt::test

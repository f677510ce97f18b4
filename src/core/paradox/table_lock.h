// SPDX-License-Identifier: GPL-3.0-or-later
// Advisory write lock on a table file, so that two running programs never write one table at once.
#pragma once

#include <string>

namespace zelt::document {

/// An advisory lock held on an open table file descriptor. The lock lives on the table file itself
/// (an open-file-description lock), so there is no lock file to leave behind or to rename: the
/// system drops it when the descriptor is closed or the process ends, even when it is killed.
/// Two descriptors exclude each other even inside one process.
class TableLock {
public:
    enum class Result { Locked, Busy, Unsupported };

    /// Tries to take the exclusive write lock on `fd` (opened for writing) without waiting.
    /// Busy: another program (or another open of the same file) holds it. Unsupported: the file
    /// system offers no locks; `detail` then says why.
    static Result tryLock(int fd, std::string& detail);
    /// Releases the lock held through `fd` (closing the descriptor releases it too).
    static void unlock(int fd);
    /// Whether another holder (another program, or another open of the file in this process)
    /// has the write lock on the file open as `fd`. Takes no lock itself; `fd` may be read-only.
    static bool isHeldElsewhere(int fd);
};

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// Named pipes, links to devices and a watchdog, for tests of files that must not block a read.
#pragma once

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::test {

/// Makes a named pipe at `p`. Nobody writes to it, so a plain open for reading waits for ever.
inline bool makeFifo(const std::filesystem::path& p) { return ::mkfifo(p.c_str(), 0600) == 0; }

/// Makes `p` a symbolic link to /dev/zero, whose reads never end.
inline bool linkToDevZero(const std::filesystem::path& p)
{
    std::error_code ec;
    std::filesystem::create_symlink("/dev/zero", p, ec);
    return !ec;
}

/// Ends the test program with SIGALRM when the scope is not left within `seconds`, so a call that
/// blocks on a non-regular file fails the test at once instead of hanging until the runner's timeout.
class HangGuard {
public:
    explicit HangGuard(unsigned seconds) { ::alarm(seconds); }
    ~HangGuard() { ::alarm(0); }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
};

}  // namespace zelt::test

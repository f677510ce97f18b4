// SPDX-License-Identifier: GPL-3.0-or-later
// Advisory table lock through open-file-description locks (flock on systems without them).
#include "paradox/table_lock.h"

#include "base/atomic_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zelt::document {

TableLock::Result TableLock::tryLock(int fd, std::string& detail)
{
#ifdef F_OFD_SETLK
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;  // the whole file, however large it grows
    if (fcntl(fd, F_OFD_SETLK, &fl) == 0)
        return Result::Locked;
#else
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return Result::Locked;
#endif
    const int err = errno;
    if (err == EAGAIN || err == EACCES || err == EWOULDBLOCK)
        return Result::Busy;
    detail = systemReason(err);
    return Result::Unsupported;
}

bool TableLock::isHeldElsewhere(int fd)
{
#ifdef F_OFD_GETLK
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0)
        return false;  // no locks on this file system: nobody can hold one
    return fl.l_type != F_UNLCK;
#else
    // flock has no query: take the lock for a moment on this descriptor and give it back.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK || errno == EAGAIN;
#endif
}

void TableLock::unlock(int fd)
{
#ifdef F_OFD_SETLK
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fcntl(fd, F_OFD_SETLK, &fl);
#else
    flock(fd, LOCK_UN);
#endif
}

}  // namespace zelt::document

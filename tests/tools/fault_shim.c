// SPDX-License-Identifier: GPL-3.0-or-later
// LD_PRELOAD fault injector: counts the calls that change files and fails or kills at one of them.
//
// Counted: write, pwrite and writev on regular files, rename (and renameat, renameat2),
// ftruncate, truncate, fsync, fdatasync and unlink. Environment:
//   ZELT_FAULT_AT=k      the k-th counted call (from 1) fails; unset or 0: none fails
//   ZELT_FAULT_MODE=kill the process is killed (SIGKILL) instead of making that call
//                  eio / enospc: the call fails with EIO / ENOSPC and the program goes on
//   ZELT_FAULT_COUNT=FILE the number of counted calls is written to FILE when the program exits
//   ZELT_FAULT_REPORT=FILE the name of the call that was made to fail ("fsync") is written to
//                  FILE when the program exits (nothing when none failed)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long g_calls;
static const char* g_failed;  // the name of the call made to fail
static long g_failAt = -1;
static int g_mode;  // 0 kill, 1 EIO, 2 ENOSPC

static void setUp(void)
{
    if (g_failAt >= 0)
        return;
    const char* at = getenv("ZELT_FAULT_AT");
    g_failAt = at ? atol(at) : 0;
    const char* mode = getenv("ZELT_FAULT_MODE");
    g_mode = mode && strcmp(mode, "eio") == 0 ? 1 : mode && strcmp(mode, "enospc") == 0 ? 2 : 0;
}

/// The next definition of `name` (the C library's). A union turns dlsym's object pointer into a
/// function pointer without the cast ISO C forbids.
#define REAL(name) (((union { void* object; __typeof__(&name) function; }){dlsym(RTLD_NEXT, #name)}).function)

/// Counts one call of `name`; returns -1 (errno set) when it is the one to fail.
#define counted() countedCall(__func__)
static int countedCall(const char* name)
{
    setUp();
    ++g_calls;
    if (g_failAt <= 0 || g_calls != g_failAt)
        return 0;
    if (g_mode == 0) {
        raise(SIGKILL);
        _exit(137);
    }
    g_failed = name;
    errno = g_mode == 1 ? EIO : ENOSPC;
    return -1;
}

static int regular(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

ssize_t write(int fd, const void* buf, size_t n)
{
    if (regular(fd) && counted() < 0)
        return -1;
    return REAL(write)(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t off)
{
    if (regular(fd) && counted() < 0)
        return -1;
    return REAL(pwrite)(fd, buf, n, off);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t off)
{
    if (regular(fd) && counted() < 0)
        return -1;
    return REAL(pwrite64)(fd, buf, n, off);
}

ssize_t writev(int fd, const struct iovec* iov, int count)
{
    if (regular(fd) && counted() < 0)
        return -1;
    return REAL(writev)(fd, iov, count);
}

int rename(const char* from, const char* to)
{
    if (counted() < 0)
        return -1;
    return REAL(rename)(from, to);
}

int renameat(int a, const char* from, int b, const char* to)
{
    if (counted() < 0)
        return -1;
    return REAL(renameat)(a, from, b, to);
}

int renameat2(int a, const char* from, int b, const char* to, unsigned flags)
{
    if (counted() < 0)
        return -1;
    return REAL(renameat2)(a, from, b, to, flags);
}

int ftruncate(int fd, off_t size)
{
    if (counted() < 0)
        return -1;
    return REAL(ftruncate)(fd, size);
}

int ftruncate64(int fd, off_t size)
{
    if (counted() < 0)
        return -1;
    return REAL(ftruncate64)(fd, size);
}

int truncate(const char* path, off_t size)
{
    if (counted() < 0)
        return -1;
    return REAL(truncate)(path, size);
}

int fsync(int fd)
{
    if (counted() < 0)
        return -1;
    return REAL(fsync)(fd);
}

int fdatasync(int fd)
{
    if (counted() < 0)
        return -1;
    return REAL(fdatasync)(fd);
}

int unlink(const char* path)
{
    if (counted() < 0)
        return -1;
    return REAL(unlink)(path);
}

__attribute__((destructor)) static void reportFailed(void)
{
    const char* file = getenv("ZELT_FAULT_REPORT");
    if (!file || !g_failed)
        return;
    const int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    REAL(write)(fd, g_failed, strlen(g_failed));
    close(fd);
}

__attribute__((destructor)) static void reportCount(void)
{
    const char* file = getenv("ZELT_FAULT_COUNT");
    if (!file)
        return;
    const int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char text[32];
    const int n = snprintf(text, sizeof text, "%ld\n", g_calls);
    REAL(write)(fd, text, (size_t)n);
    close(fd);
}

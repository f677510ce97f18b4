// SPDX-License-Identifier: GPL-3.0-or-later
// LD_PRELOAD meter for the journal benchmark: counts the bytes a program writes into journals
// ("*-journal" and their temporary files) and logs each write into a table ("*.db": offset and
// size), so that the table's writes can be replayed alone as the cost floor.
//   ZELT_JOURNAL_BYTES=FILE  the journal byte count is written to FILE at exit
//   ZELT_TABLE_WRITES=FILE   one line "OFFSET SIZE" per write into a table
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static unsigned long long g_journalBytes;
static FILE* g_log;

#define REAL(name) (((union { void* object; __typeof__(&name) function; }){dlsym(RTLD_NEXT, #name)}).function)

static void report(void)
{
    const char* out = getenv("ZELT_JOURNAL_BYTES");
    FILE* f = out ? fopen(out, "w") : NULL;
    if (f) {
        fprintf(f, "%llu\n", g_journalBytes);
        fclose(f);
    }
    if (g_log)
        fclose(g_log);
}

/// 1: a journal, 2: a table, 0: anything else.
static int kindOf(int fd)
{
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    const char* name = strrchr(path, '/');
    name = name ? name + 1 : path;
    if (strstr(name, "-journal"))
        return 1;
    return n > 3 && strcmp(path + n - 3, ".db") == 0 ? 2 : 0;
}

static void note(int fd, size_t size, long long offset)
{
    static int started;
    if (!started) {
        started = 1;
        const char* log = getenv("ZELT_TABLE_WRITES");
        g_log = log ? fopen(log, "w") : NULL;
        atexit(report);
    }
    const int kind = kindOf(fd);
    if (kind == 1)
        g_journalBytes += size;
    else if (kind == 2 && g_log && offset >= 0)
        fprintf(g_log, "%lld %zu\n", offset, size);
}

ssize_t write(int fd, const void* buf, size_t n)
{
    note(fd, n, -1);
    return REAL(write)(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t off)
{
    note(fd, n, (long long)off);
    return REAL(pwrite)(fd, buf, n, off);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t off)
{
    note(fd, n, (long long)off);
    return REAL(pwrite64)(fd, buf, n, off);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The cost floor of a command's table writes: replays the writes logged by journal_io_shim
// ("OFFSET SIZE" lines) into a copy of the table, each a pwrite, then one fdatasync, and prints the
// elapsed seconds. Usage: journal_floor TABLE LOG
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: journal_floor TABLE LOG\n");
        return 2;
    }
    FILE* log = fopen(argv[2], "r");
    const int fd = open(argv[1], O_RDWR);
    if (!log || fd < 0) {
        perror("journal_floor");
        return 1;
    }
    static char buf[1 << 16];
    long long offset;
    size_t size;
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    while (fscanf(log, "%lld %zu", &offset, &size) == 2) {
        while (size > 0) {
            const size_t n = size < sizeof buf ? size : sizeof buf;
            if (pwrite(fd, buf, n, offset) != (ssize_t)n) {
                perror("journal_floor");
                return 1;
            }
            size -= n;
            offset += (long long)n;
        }
    }
    fdatasync(fd);
    clock_gettime(CLOCK_MONOTONIC, &b);
    printf("%.3f\n", (double)(b.tv_sec - a.tv_sec) + (double)(b.tv_nsec - a.tv_nsec) / 1e9);
    return 0;
}

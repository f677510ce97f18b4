// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark: the traverse dataset over a 100,000-row table (open, a pass posting every row, appends, inserts).
#include "document/traverse_table.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using zelt::document::TraverseTable;

double secondsOf(const std::function<void()>& work)
{
    const auto t0 = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void appendRows(TraverseTable& t, int rows)
{
    t.disableControls();
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setInteger("Azimuth", (i * 37) % 360);
        t.setFloat("Pairs", 10.0 + (i % 50));
        t.setInteger("Procent", (i % 21) - 10);
        if (i % 7 == 0)
            t.setText("Mark", "mark " + std::to_string(i));
        t.post();
    }
    t.enableControls();
}

/// The pattern of every pass: suspend updates, walk from the first row, edit, set, post.
void postEveryRow(TraverseTable& t)
{
    const auto mark = t.bookmark();
    t.disableControls();
    double acc = 0;
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        acc += t.asFloat("Pairs");
        t.setFloat("sumPairs", acc);
        t.post();
    }
    t.enableControls();
    t.gotoBookmark(mark);
}

}  // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const auto dir = std::filesystem::temp_directory_path() / ("zelt-dataset-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = dir / "bench.db";
    int slow = 0;
    auto report = [&](const char* name, double seconds, double target) {
        const bool ok = target <= 0 || seconds < target;
        slow += ok ? 0 : 1;
        if (target > 0)
            std::printf("%-28s %8.3f s  (target < %.1f s) %s\n", name, seconds, target, ok ? "ok" : "SLOW");
        else
            std::printf("%-28s %8.3f s\n", name, seconds);
    };
    {
        TraverseTable t;
        t.setPath(path);
        t.create();
        t.open();
        report("append and post rows", secondsOf([&] { appendRows(t, rows); }), 0);
        t.close();
        report("open", secondsOf([&] { t.open(); }), 0.2);
        std::printf("rows: %d\n", t.rowCount());
        report("pass posting every row", secondsOf([&] { postEveryRow(t); }), 0.3);
        const double inserts = secondsOf([&] {
            for (int i = 0; i < 1000; ++i) {
                t.setRecNo(t.rowCount() / 2);
                t.insert();
                t.setFloat("Pairs", 1);
                t.post();
            }
        });
        std::printf("%-28s %8.3f ms each\n", "insert in the middle", inserts);  // 1000 inserts: s = ms each
        report("close", secondsOf([&] { t.close(); }), 0);
    }
    std::filesystem::remove_all(dir);
    return slow == 0 ? 0 : 1;
}

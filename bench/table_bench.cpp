// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of the Paradox table codec on a traverse table, against pxlib, plus a long kill run.
//
// Usage: table_bench [--rows N] [--kill-trials N] [--dir DIR] [--pxlib 0|1]
#include "test_paradox_crash_harness.h"
#include "test_paradox_rows.h"

#include "paradox/paradox_table.h"

#ifdef ZELT_HAVE_PXLIB
extern "C" {
#include <paradox.h>
}
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <ctime>

using namespace zelt::document;
using namespace zelt::test::px;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

/// CPU time of this process, to tell a slow codec from a busy machine.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

int g_failed = 0;
double g_cpuStart = 0;

/// Prints a wall-clock time against its target, with the CPU time used since `g_cpuStart`.
void report(const char* what, double seconds, double target, const char* unit = "s", double scale = 1)
{
    const bool ok = seconds < target;
    if (!ok)
        ++g_failed;
    std::printf("%-44s %10.4f %s   target < %g %s   %-6s (cpu %.4f %s)\n", what, seconds, unit, target, unit,
                ok ? "ok" : "MISSED", (cpuSeconds() - g_cpuStart) * scale, unit);
}

#ifdef ZELT_HAVE_PXLIB
/// The same appends through pxlib's write path (PX_put_data_* into a record, PX_put_record).
double pxlibAppends(const fs::path& path, int rows)
{
    const std::vector<FieldDef> defs = traverseFields();
    std::vector<pxfield_t> fields(defs.size());
    for (std::size_t i = 0; i < defs.size(); ++i) {
        fields[i].px_fname = strdup(defs[i].name.c_str());
        fields[i].px_ftype = defs[i].type == FieldType::Alpha ? pxfAlpha
            : defs[i].type == FieldType::Short                ? pxfShort
            : defs[i].type == FieldType::Long                 ? pxfLong
                                                              : pxfNumber;
        fields[i].px_flen = defs[i].size;
        fields[i].px_fdc = 0;
    }
    PX_boot();
    pxdoc_t* doc = PX_new();
    // pxlib takes ownership of the field array and frees it with the document.
    auto* owned = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "bench fields"));
    std::copy(fields.begin(), fields.end(), owned);
    const auto start = Clock::now();
    if (PX_create_file(doc, owned, int(fields.size()), path.c_str(), pxfFileTypNonIndexDB) < 0) {
        std::printf("pxlib: cannot create %s\n", path.c_str());
        return -1;
    }
    std::vector<char> record(171);
    for (int i = 0; i < rows; ++i) {
        const Row row = traverseRow(i);
        std::fill(record.begin(), record.end(), 0);
        char* p = record.data();
        for (std::size_t f = 0; f < defs.size(); ++f) {
            const Value& v = row[f];
            if (!isEmpty(v)) {
                if (defs[f].type == FieldType::Alpha)
                    PX_put_data_alpha(doc, p, defs[f].size, const_cast<char*>(std::get<std::string>(v).c_str()));
                else if (defs[f].type == FieldType::Short)
                    PX_put_data_short(doc, p, 2, short(std::get<std::int32_t>(v)));
                else if (defs[f].type == FieldType::Long)
                    PX_put_data_long(doc, p, 4, std::get<std::int32_t>(v));
                else
                    PX_put_data_double(doc, p, 8, std::get<double>(v));
            }
            p += defs[f].size;
        }
        PX_put_record(doc, record.data());
    }
    PX_close(doc);
    const double seconds = secondsSince(start);
    PX_delete(doc);
    return seconds;
}
#endif

void killRun(const fs::path& dir, int trials)
{
    const fs::path p = dir / "killed.db";
    ParadoxTable::create(p, traverseFields());
    std::vector<Row> rows;
    std::mt19937 rng(99);
    std::size_t acknowledged = 0, pending = 0, repaired = 0, lost = 0;
    const fs::path pxcheck = fs::path(ZELT_SHARED_DIR) / "paradox-samples" / "pxcheck.py";
    int checkFailures = 0, checks = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const TrialResult r = runKillTrial(p, rows, std::uint32_t(trial + 1), std::chrono::microseconds(rng() % 40000));
        acknowledged += r.acknowledged;
        pending += r.pendingInFile;
        repaired += r.repaired;
        if (!r.problem.empty()) {
            ++lost;
            std::printf("  trial %d: %s\n", trial, r.problem.c_str());
            rows = ParadoxTable::open(p, {.readOnly = true})->readAll();
        }
        if (fs::exists(pxcheck) && trial % 10 == 0) {
            ++checks;
            const std::string cmd = "python3 '" + pxcheck.string() + "' '" + p.string() + "' > /dev/null";
            checkFailures += std::system(cmd.c_str()) != 0;
        }
    }
    std::printf("kill run: %d trials, %zu acknowledged posts, %zu trials with a lost acknowledged row\n", trials,
                acknowledged, lost);
    std::printf("          %zu interrupted posts already in the file, %zu reopens corrected header or links\n", pending,
                repaired);
    std::printf("          independent checker: %d of %d checks failed\n", checkFailures, checks);
    g_failed += lost > 0 || checkFailures > 0;
}

/// Appends, open, a full update pass, and inserts and deletes in the middle; returns the
/// time of the appends.
double codecBenchmarks(const fs::path& table, std::size_t n)
{
    auto start = Clock::now();
    g_cpuStart = cpuSeconds();
    auto t = ParadoxTable::create(table, traverseFields());
    for (std::size_t i = 0; i < n; ++i)
        t->appendRow(traverseRow(int(i)));
    const double appendSeconds = secondsSince(start);
    report("appends (each in the file on return)", appendSeconds, 0.3);
    start = Clock::now();
    t->sync();
    std::printf("%-44s %10.4f s\n", "  then fdatasync", secondsSince(start));
    t.reset();

    start = Clock::now();
    g_cpuStart = cpuSeconds();
    t = ParadoxTable::open(table);
    std::vector<Row> rows = t->readAll();
    report("open and read all rows", secondsSince(start), 0.2);

    start = Clock::now();
    g_cpuStart = cpuSeconds();
    for (std::size_t i = 0; i < n; ++i) {
        rows[i][11] = 400.0 + double(i % 1000) * 0.1;  // FillHeight, as a height pass does
        t->updateRow(i, rows[i]);
    }
    t->sync();
    report("pass updating every row, with fdatasync", secondsSince(start), 0.3);

    std::mt19937 rng(7);
    double worst = 0;
    double worstCpu = 0;
    start = Clock::now();
    g_cpuStart = cpuSeconds();
    for (int i = 0; i < 1000; ++i) {
        const std::size_t at = t->rowCount() / 4 + rng() % (t->rowCount() / 2);
        const Row row = traverseRow(1000000 + i);
        const auto one = Clock::now();
        const double cpu = cpuSeconds();
        t->insertRow(at, row);
        worst = std::max(worst, secondsSince(one));
        worstCpu = std::max(worstCpu, cpuSeconds() - cpu);
    }
    // Total seconds of 1,000 inserts is the mean in milliseconds.
    report("insert in the middle, mean of 1,000", secondsSince(start), 1.0, "ms");
    std::printf("%-44s %10.4f ms   (cpu %.4f ms)\n", "  slowest insert", worst * 1000, worstCpu * 1000);
    start = Clock::now();
    for (int i = 0; i < 1000; ++i)
        t->deleteRow(t->rowCount() / 4 + rng() % (t->rowCount() / 2));
    std::printf("%-44s %10.4f ms\n", "delete in the middle, mean of 1,000", secondsSince(start));
    t->sync();
    return appendSeconds;
}

}  // namespace

int main(int argc, char** argv)
{
    int rowsWanted = 100000;
    int killTrials = 300;
    bool withPxlib = true;
    fs::path dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--rows")
            rowsWanted = std::max(1000, std::atoi(argv[i + 1]));
        else if (a == "--kill-trials")
            killTrials = std::atoi(argv[i + 1]);
        else if (a == "--dir")
            dir = argv[i + 1];
        else if (a == "--pxlib")
            withPxlib = std::atoi(argv[i + 1]) != 0;
    }
    const bool ownDir = dir.empty();
    if (ownDir) {
        char templ[] = "/tmp/zelt-table-bench-XXXXXX";
        dir = ::mkdtemp(templ);
    }
    std::printf("table_bench: %d rows of 171 bytes in %s\n", rowsWanted, dir.c_str());
    const double appendSeconds = codecBenchmarks(dir / "bench.db", std::size_t(rowsWanted));

#ifdef ZELT_HAVE_PXLIB
    const double pxSeconds = withPxlib ? pxlibAppends(dir / "pxlib.db", rowsWanted) : -1;
    if (pxSeconds > 0) {
        std::printf("%-44s %10.4f s\n", "pxlib: the same appends", pxSeconds);
        const double ratio = pxSeconds / appendSeconds;
        const bool ok = ratio >= 30;
        g_failed += !ok;
        std::printf("%-44s %10.1f x   target >= 30 x   %s\n", "  ours faster by", ratio, ok ? "ok" : "MISSED");
    }
#else
    (void)withPxlib;
    std::printf("pxlib not available: no comparison\n");
#endif

    if (killTrials > 0)
        killRun(dir, killTrials);
    if (ownDir)
        fs::remove_all(dir);
    std::printf("%s\n", g_failed ? "SOME TARGETS MISSED" : "all targets met");
    return g_failed ? 1 : 0;
}

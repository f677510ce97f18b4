// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark: each height pass over a 100,000-row traverse, every row posted to the table file.
#include "compute/field_rules.h"
#include "compute/height_passes.h"
#include "document/document.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kTargetSeconds = 0.5;

double secondsOf(const std::function<void()>& work)
{
    const auto t0 = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void fill(zelt::document::Document& doc, int rows)
{
    auto& t = doc.table;
    t.disableControls();
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setInteger("Azimuth", (i * 37) % 360);
        t.setFloat("Pairs", i == 0 ? 0.0 : 10.0 + (i % 50));
        t.setInteger("Procent", (i % 21) - 10);
        if (i % 7 == 0)
            t.setFloat("Altimeter", 400.0 + (i % 300));
        t.post();
    }
    t.enableControls();
}

}  // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const auto dir = std::filesystem::temp_directory_path() / ("zelt-compute-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    int slow = 0;
    {
        zelt::document::Document doc;
        doc.table.setPath(dir / "bench.db");
        doc.table.create();
        doc.table.open();
        const double build = secondsOf([&] { fill(doc, rows); });
        zelt::compute::attachFieldRules(doc);
        std::printf("rows: %d (appended and posted in %.3f s)\n", rows, build);

        auto run = [&](const char* name, const std::function<void()>& pass) {
            const double s = secondsOf(pass);
            const bool ok = s < kTargetSeconds;
            slow += ok ? 0 : 1;
            std::printf("%-22s %8.3f s  (target < %.1f s) %s\n", name, s, kTargetSeconds, ok ? "ok" : "SLOW");
        };
        run("UpdateSumPairs", [&] { zelt::compute::UpdateSumPairs(doc); });
        run("FillHeights", [&] { zelt::compute::FillHeights(doc); });
        run("PercentHeights", [&] { zelt::compute::PercentHeights(doc); });
        doc.table.first();
        zelt::compute::chooseCalcRow(doc, zelt::compute::CalcEnd::Start, 402.0);
        doc.table.last();
        zelt::compute::chooseCalcRow(doc, zelt::compute::CalcEnd::End, 436.0);
        run("RecalcBetween", [&] { zelt::compute::RecalcBetween(doc, "FillHeight", "Recalc"); });
        run("recalculate command", [&] { zelt::compute::recalculateHeights(doc); });
        run("begin-way shift", [&] { zelt::compute::shiftBeginWay(doc, 1.0); });
        doc.table.close();
    }
    std::filesystem::remove_all(dir);
    return slow == 0 ? 0 : 1;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of the document window: opening a 100,000-row table and scrolling through its grid.
//
// Usage: grid_bench [--rows N] [--dir DIR]   (runs on the offscreen platform unless a display is set)
#include "desktop_bench.h"
#include "document/traverse_table.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

using zelt::bench::Clock;
using zelt::bench::msSince;
using zelt::document::TraverseTable;

namespace {

zelt::bench::Targets g_targets(46);

void report(const char* what, double ms, double targetMs) { g_targets.report(what, ms, targetMs); }

/// Counts cursor moves of the dataset: painting must read rows by index and never move it.
class MoveCounter : public zelt::document::TableObserver {
public:
    int moves = 0;
    void tableReset() override {}
    void rowsInserted(int, int) override {}
    void rowsRemoved(int, int) override {}
    void rowChanged(int) override {}
    void currentChanged(int) override { ++moves; }
    void stateChanged() override {}
};

}  // namespace

int main(int argc, char** argv)
{
    const zelt::bench::Options options = zelt::bench::parseOptions(argc, argv);
    const int rows = options.rows;
    zelt::bench::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    const zelt::bench::Folder folder(options.dir);
    const QString path = folder.file(QStringLiteral("bench.db"));
    QFile::remove(path);

    auto start = Clock::now();
    zelt::bench::writeBenchTable(path, rows, 7);
    std::printf("%-46s %10.1f ms   (set-up)\n", ("writing " + std::to_string(rows) + " rows").c_str(), msSince(start));

    zelt::shell::TMainForm form;
    form.resize(1000, 700);
    form.show();
    QApplication::processEvents();

    start = Clock::now();
    form.OpenDocument(path);
    zelt::shell::TMDIChild* child = form.activeDocument();
    QTableView* grid = child->DBGrid1();
    grid->grab();  // the first screen of rows painted
    report("open a 100,000-row table and paint the grid", msSince(start), 500);
    if (child->Table1().displayRowCount() != rows + 1 && child->Table1().displayRowCount() != rows)
        std::printf("unexpected row count %d\n", child->Table1().displayRowCount());

    MoveCounter counter;
    zelt::document::ObserverRegistration registration = child->Table1().addObserver(&counter);
    QScrollBar* bar = grid->verticalScrollBar();
    double worst = 0, total = 0;
    const int steps = 400;
    for (int i = 0; i <= steps; ++i) {
        const auto step = Clock::now();
        // Page steps through the first screens, then jumps across the whole table.
        bar->setValue(i < 100 ? i * bar->pageStep() : bar->maximum() / (steps - 100) * (i - 100));
        grid->grab();
        const double ms = msSince(step);
        worst = std::max(worst, ms);
        total += ms;
    }
    report("slowest of 400 scroll steps with repaint", worst, 50);
    std::printf("%-46s %10.2f ms\n", "average scroll step", total / (steps + 1));
    std::printf("%-46s %10d      target 0   %s\n", "dataset cursor moves while scrolling", counter.moves,
                counter.moves == 0 ? "ok" : "MISSED");
    if (counter.moves != 0)
        g_targets.miss();
    registration.reset();
    form.close();
    return g_targets.exitStatus();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of the undo history: a height pass over 100,000 rows, taken back and brought back.
//
// Usage: undo_bench [--rows N] [--dir DIR]   (runs on the offscreen platform unless a display is set)
#include "desktop_bench.h"
#include "document/traverse_table.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/undo_commands.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QUndoStack>

#include <cstdio>
#include <fstream>
#include <string>

using zelt::bench::Clock;
using zelt::bench::msSince;
using zelt::document::TraverseTable;

namespace {

zelt::bench::Targets g_targets(46);

/// Resident memory of the process in MB (Linux; 0 elsewhere).
double residentMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    if (!(statm >> pages >> resident))
        return 0;
    return resident * 4096.0 / (1024 * 1024);
}

double valueAt(const TraverseTable& t, int row, const char* field)
{
    const auto v = t.valueAt(row, t.fieldIndex(field));
    return zelt::document::numberOf(v).value_or(-1);
}

}  // namespace

int main(int argc, char** argv)
{
    const zelt::bench::Options options = zelt::bench::parseOptions(argc, argv);
    zelt::bench::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    const zelt::bench::Folder folder(options.dir);
    const QString path = folder.file(QStringLiteral("undo.db"));
    QFile::remove(path);
    zelt::bench::writeBenchTable(path, options.rows);

    zelt::shell::TMainForm form;
    form.resize(1000, 700);
    form.show();
    QApplication::processEvents();
    form.OpenDocument(path);
    zelt::shell::TMDIChild* child = form.activeDocument();
    const TraverseTable& t = child->Table1();
    const int probe = t.rowCount() / 2 + 1;   // a row between two readings
    const double before = valueAt(t, probe, "FillHeight");

    // Commands are enabled when the program is idle; here that moment is made by hand.
    const auto trigger = [&form](QAction* action) {
        form.updateEnabling();
        action->trigger();
    };
    for (QAction* pass : {form.actions().FillHeight1, form.actions().PercentCalc1}) {
        const std::string name = pass->text().toStdString();
        const double rss = residentMb();
        auto start = Clock::now();
        trigger(pass);
        const double passMs = msSince(start);
        std::printf("%-46s %10.1f ms\n", (name + ": the pass").c_str(), passMs);
        const double after = valueAt(t, probe, "FillHeight");
        const double held = child->history()->memoryBytes() / (1024.0 * 1024.0);
        std::printf("%-46s %10.1f MB   (resident +%.1f MB)\n", (name + ": history holds").c_str(), held,
                    residentMb() - rss);

        start = Clock::now();
        trigger(form.actions().EditUndo1);
        // Writing back what a pass wrote costs about what the pass did: no more than half again.
        g_targets.report((name + ": undo").c_str(), msSince(start), 1.5 * passMs);
        const bool undone = valueAt(t, probe, "FillHeight") != after;
        start = Clock::now();
        trigger(form.actions().EditRedo1);
        g_targets.report((name + ": redo").c_str(), msSince(start), 1.5 * passMs);
        if (!undone || valueAt(t, probe, "FillHeight") != after) {
            std::printf("undo or redo did not change row %d\n", probe + 1);
            g_targets.miss();
        }
        std::printf("%-46s %10.1f MB   target < 32 MB   %s\n", (name + ": per pass").c_str(), held,
                    held < 32 ? "ok" : "MISSED");
        if (held >= 32)
            g_targets.miss();
        trigger(form.actions().EditUndo1);
    }
    if (valueAt(t, probe, "FillHeight") != before) {
        std::printf("undoing both passes did not restore row %d\n", probe + 1);
        g_targets.miss();
    }
    std::printf("%-46s %10d steps, %.1f MB\n", "history at the end", child->history()->stack()->count(),
                child->history()->memoryBytes() / (1024.0 * 1024.0));
    form.close();
    return g_targets.exitStatus();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of the route dock: first draw of a 100,000-row route, repaint after one post, zoom
// steps, new rows posted at the end of the table with known points, and zelt-cli plot against
// zelt-cli dump of the same table.
//
// Usage: route_view_bench [--rows N] [--dir DIR]   (offscreen unless a display is set)
#include "desktop_bench.h"
#include "document/known_points.h"
#include "document/traverse_table.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/grid/table_model.h"
#include "shell/route/route_dock.h"
#include "shell/route/route_model.h"
#include "shell/paint/route_painter.h"
#include "shell/route/route_plan_widget.h"
#include "shell/route/route_profile_widget.h"

#include <QApplication>
#include <QPainter>
#include <QDockWidget>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using zelt::bench::Clock;
using zelt::bench::msSince;
using zelt::document::TraverseTable;

namespace {

zelt::bench::Targets g_targets(52);

void report(const char* what, double ms, double targetMs) { g_targets.report(what, ms, targetMs); }

void writeTable(const QString& path, int rows)
{
    TraverseTable t;
    t.setPath(path.toStdString());
    t.create();
    t.open();
    t.disableControls();
    double h = 420;
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setInteger("Azimuth", (i * 37) % 360);
        t.setFloat("Pairs", 10 + i % 50);
        if (i % 11 == 0)
            t.setText("Povorot", i % 2 ? "Left" : "Right");
        if (i % 7 == 0)
            t.setText("Mark", "m" + std::to_string(i));
        h += (i % 13) - 6;
        h = std::clamp(h, 100.0, 2900.0);
        if (i % 5 == 0)
            t.setFloat("Altimeter", h);
        t.setFloat("FillHeight", h + 0.5);
        t.post();
    }
    t.enableControls();
    t.close();
}

/// Known points on the second row, the middle row and the last row, as a user records them.
void writePoints(const QString& path, int rows)
{
    zelt::document::KnownPoints points;
    points.points = {{2, 10, 10}, {rows / 2, 400, 300}, {rows, 900, 700}};
    zelt::document::writeKnownPoints(path.toStdString(), points);
}

/// New rows typed at the end of the table in the window's grid: a row is added after the last
/// one, an azimuth and the pace pairs are put into its cells through the grid's model (the pairs
/// rule stores the row), and leaving it posts what is left. Storing the row is timed against the
/// target (the file, the grid, the route and the known points following it); the whole row,
/// with the grid making room for it, is printed beside it.
void newRowsAtTheEnd(zelt::shell::TMDIChild& child)
{
    TraverseTable& t = child.Table1();
    zelt::shell::TraverseTableModel& model = *child.model();
    int azimuthColumn = -1, pairsColumn = -1;
    for (int c = 0; c < model.columnCount(); ++c) {
        const int field = model.fieldIndexOf(c);
        if (field == t.fieldIndex("Azimuth"))
            azimuthColumn = c;
        else if (field == t.fieldIndex("Pairs"))
            pairsColumn = c;
    }
    std::vector<double> rows, posts;
    for (int i = 0; i < 21; ++i) {
        t.last();
        QApplication::processEvents();
        const auto s = Clock::now();
        t.append();
        const auto a = Clock::now();
        const int row = t.currentIndex();
        model.setData(model.index(row, azimuthColumn), QString::number((i * 41) % 360), Qt::EditRole);
        const auto b = Clock::now();
        model.setData(model.index(row, pairsColumn), QString::number(12 + i), Qt::EditRole);
        const auto c = Clock::now();
        t.post();
        rows.push_back(msSince(s));
        posts.push_back(msSince(b));
        if (i == 10)
            std::printf("  a new row: append %.3f, azimuth %.3f, pairs (stores the row) %.3f, post %.3f ms\n",
                        std::chrono::duration<double, std::milli>(a - s).count(),
                        std::chrono::duration<double, std::milli>(b - a).count(),
                        std::chrono::duration<double, std::milli>(c - b).count(), msSince(c));
        QApplication::processEvents();
    }
    std::sort(rows.begin(), rows.end());
    std::sort(posts.begin(), posts.end());
    std::printf("  new rows at the end, whole row: median %.3f ms, slowest %.3f ms (%d rows now)\n",
                rows[rows.size() / 2], rows.back(), t.rowCount());
    report("new row at the end stored (median)", posts[posts.size() / 2], 1);
}

void drawBoth(zelt::shell::RouteDock& dock)
{
    dock.plan()->grab();
    dock.profile()->grab();
}

double runCli(const QStringList& args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    const auto start = Clock::now();
    p.start(QStringLiteral(ZELT_CLI), args);
    p.waitForFinished(-1);
    const double ms = msSince(start);
    if (p.exitCode() != 0)
        std::printf("zelt-cli %s failed: %s\n", qPrintable(args.join(QLatin1Char(' '))), p.readAllStandardError().constData());
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    const zelt::bench::Options options = zelt::bench::parseOptions(argc, argv);
    const int rows = options.rows;
    zelt::bench::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    const zelt::bench::Folder folder(options.dir);
    const QString path = folder.file(QStringLiteral("route.db"));
    QFile::remove(path);
    writeTable(path, rows);
    writePoints(path, rows);

    zelt::shell::TMainForm form;
    form.resize(1280, 800);
    form.show();
    auto* dock = form.findChild<zelt::shell::RouteDock*>();
    dock->hide();   // the first draw below is measured from the dock being shown
    form.OpenDocument(path);
    zelt::shell::TMDIChild* child = form.activeDocument();
    QApplication::processEvents();
    std::printf("%d rows\n", child->Table1().rowCount());

    auto start = Clock::now();
    dock->show();   // makes the document's route and shows it
    dock->model()->flush();
    drawBoth(*dock);
    report("first draw (route made, plan and profile painted)", msSince(start), 300);
    std::printf("%-52s %4dx%d, %dx%d\n", "plan and profile sizes (px)", dock->plan()->width(), dock->plan()->height(),
                dock->profile()->width(), dock->profile()->height());
    std::printf("%-52s %10zu\n", "route line points", dock->model()->scene().route.points.size());

    // One post, as typing makes it: near the start (the whole route after it moves), in the
    // middle, at the end; and a post that changes a height only.
    TraverseTable& t = child->Table1();
    double worst = 0;
    for (const int row : {1, rows / 2, rows - 1, 2, rows / 3}) {
        t.setRecNo(row + 1);
        QApplication::processEvents();
        t.edit();
        t.setFloat("Pairs", 33 + row % 7);
        const auto s = Clock::now();
        t.post();
        const auto a = Clock::now();
        dock->model()->flush();
        const auto b = Clock::now();
        dock->plan()->grab();
        const auto c = Clock::now();
        dock->profile()->grab();
        std::printf("  row %6d: post %.1f, route update %.1f, plan %.1f, profile %.1f ms\n", row + 1,
                    std::chrono::duration<double, std::milli>(a - s).count(),
                    std::chrono::duration<double, std::milli>(b - a).count(),
                    std::chrono::duration<double, std::milli>(c - b).count(), msSince(c));
        worst = std::max(worst, msSince(s));
    }
    report("slowest single post with repaint (length)", worst, 16);
    {
        QImage img(dock->profile()->size(), QImage::Format_ARGB32_Premultiplied);
        {
            QPainter p(&img);
            const auto s = Clock::now();
            zelt::shell::paintProfile(p, QRectF(img.rect()), dock->model()->scene(), zelt::shell::RouteColours::forPaper());
            std::printf("  profile painted into an image: %.1f ms\n", msSince(s));
        }
        QImage img2(dock->plan()->size(), QImage::Format_ARGB32_Premultiplied);
        {
            QPainter p(&img2);
            const auto s = Clock::now();
            const QRectF area(img2.rect());
            const auto& scene = dock->model()->scene();
            zelt::shell::paintPlan(p, area, scene, zelt::shell::fitView(scene.route, area),
                                   zelt::shell::RouteColours::forPaper());
            std::printf("  plan painted into an image (line not cached): %.1f ms\n", msSince(s));
        }
    }
    worst = 0;
    for (const int row : {1, rows / 2, rows - 1}) {
        t.setRecNo(row + 1);
        t.edit();
        t.setFloat("FillHeight", 500 + row % 7);
        const auto s = Clock::now();
        t.post();
        dock->model()->flush();
        dock->profile()->grab();   // the plan is not drawn again for a height
        worst = std::max(worst, msSince(s));
    }
    report("slowest single post with repaint (height)", worst, 16);
    newRowsAtTheEnd(*child);

    worst = 0;
    double total = 0;
    const QPointF centre = QRectF(dock->plan()->rect()).center();
    for (int i = 0; i < 20; ++i) {
        const auto s = Clock::now();
        dock->plan()->zoomAt(centre + QPointF(i, -i), i < 10 ? 1.25 : 0.8);
        dock->plan()->grab();
        const double ms = msSince(s);
        worst = std::max(worst, ms);
        total += ms;
    }
    report("slowest zoom step with repaint", worst, 16);
    std::printf("%-52s %10.1f ms\n", "average zoom step", total / 20);
    form.close();

    // Whole processes, alternated, five runs each: the medians are compared.
    const QString png = folder.file(QStringLiteral("route.png"));
    std::vector<double> plots, dumps;
    for (int run = 0; run < 5; ++run) {
        plots.push_back(runCli({QStringLiteral("plot"), path, png}));
        dumps.push_back(runCli({QStringLiteral("dump"), path}));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double plotMs = median(plots), dumpMs = median(dumps);
    std::printf("%-52s %10.1f ms\n", "zelt-cli plot to PNG (median of 5)", plotMs);
    std::printf("%-52s %10.1f ms\n", "zelt-cli dump (median of 5)", dumpMs);
    // For comparison only: reading the table is most of a plot's time.
    std::printf("%-52s %10.2f\n", "plot / dump", plotMs / dumpMs);
    return g_targets.exitStatus();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli route and plot: the route of a table in ground metres as JSON or a table, or drawn.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"
#include "cli/cli_route_source.h"
#include "cli/cli_session.h"
#include "cli/cli_json.h"
#include "cli/cli_util.h"
#include "shell/paint/route_known_marks.h"
#include "shell/paint/route_painter.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QLocale>

#include <charconv>
#include <future>
#include <ostream>
#include <stdexcept>
#include <system_error>

namespace zelt::cli {

namespace {

using zelt::compute::Route;
using zelt::compute::RoutePoint;

void printRouteJson(const RouteSource& src, std::ostream& out)
{
    const Route& r = src.route;
    QJsonArray line;
    for (const RoutePoint& p : r.points)
        line.append(QJsonArray{jsonValue(p.xM), jsonValue(p.yM)});
    QJsonArray rows;
    for (std::size_t i = 0; i < r.rowCount(); ++i) {
        const auto& row = src.rows[i];
        rows.append(QJsonObject{{QStringLiteral("row"), static_cast<qint64>(i + 1)},
                                {QStringLiteral("point"), static_cast<qint64>(r.rowPoints[i])},
                                {QStringLiteral("distance"), jsonValue(r.rowDistanceM(i))},
                                {QStringLiteral("Altimeter"), jsonValue(row.altimeter)},
                                {QStringLiteral("FillHeight"), jsonValue(row.fillHeight)},
                                {QStringLiteral("Recalc"), jsonValue(row.recalc)},
                                {QStringLiteral("Mark"), jsonText(src.marks[i])},
                                {QStringLiteral("Povorot"), jsonText(row.turnNote)}});
    }
    writeJson(QJsonObject{{QStringLiteral("pairsPer100m"), jsonValue(src.pairsPer100m)},
                          {QStringLiteral("startHeight"), jsonValue(src.startHeight)},
                          {QStringLiteral("line"), line},
                          {QStringLiteral("rows"), rows}},
              out);
}

// Fixed decimals with the chosen separator.
std::string fixed(double v, int decimals, char separator)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s = ec == std::errc() ? std::string(buf, end) : std::string("?");
    for (char& c : s)
        if (c == '.')
            c = separator;
    return s;
}

std::string column(std::string s, std::size_t width, bool right = true)
{
    if (s.size() >= width)
        return s;
    const std::string pad(width - s.size(), ' ');
    return right ? pad + s : s + pad;
}

void writeTable(const RouteSource& src, std::ostream& out, char sep)
{
    const Route& r = src.route;
    const auto height = [&](const std::optional<double>& v) { return v ? fixed(*v, 1, sep) : std::string(); };
    out << "Pairs per 100 m: " << fixed(src.pairsPer100m, 2, sep) << "   start height: " << fixed(src.startHeight, 1, sep)
        << " m   rows: " << r.rowCount() << "   line points: " << r.points.size()
        << "   walked: " << fixed(r.lengthM(), 1, sep) << " m\n";
    out << column("Row", 6) << column("Point", 7) << column("East m", 11) << column("North m", 11)
        << column("Walked m", 11) << column("Altimeter", 10) << column("FillHeight", 11) << column("Recalc", 9)
        << "  " << column("Povorot", 14, false) << "Mark\n";
    out << column("", 6) << column("0", 7) << column(fixed(0, 2, sep), 11) << column(fixed(0, 2, sep), 11)
        << column(fixed(0, 1, sep), 11) << "  start\n";
    for (std::size_t i = 0; i < r.rowCount(); ++i) {
        const auto& row = src.rows[i];
        const RoutePoint& p = r.points[r.rowPoints[i]];
        out << column(std::to_string(i + 1), 6) << column(std::to_string(r.rowPoints[i]), 7)
            << column(fixed(p.xM, 2, sep), 11) << column(fixed(p.yM, 2, sep), 11)
            << column(fixed(p.distanceM, 1, sep), 11) << column(height(row.altimeter), 10)
            << column(height(row.fillHeight), 11) << column(height(row.recalc), 9) << "  "
            << column(row.turnNote, 14, false) << src.marks[i] << '\n';
        // The row's figure points follow its own end point in the line.
        const std::size_t next = i + 1 < r.rowCount() ? r.rowPoints[i + 1] : r.points.size();
        for (std::size_t k = r.rowPoints[i] + 1; k < next; ++k)
            out << column("", 6) << column(std::to_string(k), 7) << column(fixed(r.points[k].xM, 2, sep), 11)
                << column(fixed(r.points[k].yM, 2, sep), 11) << "  figure\n";
    }
}

int routeCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 1, 1, "TABLE.db");
    RouteSource src = loadRouteSource(args);
    printDiagnostics(err, src.warnings);
    if (args.has("--json"))
        printRouteJson(src, out);
    else
        writeTable(src, out, decimalSeparatorOf(args));
    src.finishClosing();
    return 0;
}

// "WxH" in pixels.
QSize pictureSize(const Args& args)
{
    const std::string text = args.option("--size", "1600x1000");
    const auto x = text.find('x');
    int w = 0, h = 0;
    const char* end = text.data() + text.size();
    if (x == std::string::npos || std::from_chars(text.data(), text.data() + x, w).ptr != text.data() + x ||
        std::from_chars(text.data() + x + 1, end, h).ptr != end || w < 16 || h < 16 || w > 20000 || h > 20000)
        throw UsageError{"--size takes WIDTHxHEIGHT in pixels, 16 to 20000 a side, not '" + text + "'"};
    return {w, h};
}

/// The picture's format: --format, else the extension of OUT; standard output is PNG unless
/// --format says otherwise.
std::string pictureFormat(const Args& args)
{
    const std::string& out = args.positional[1];
    const std::string ext = QFileInfo(QFile::decodeName(out.c_str())).suffix().toLower().toStdString();
    const std::string format = args.option("--format", out == "-" ? "png" : ext);
    if (format != "png" && format != "svg" && format != "pdf")
        throw UsageError{out == "-" || args.has("--format")
                             ? "--format takes png, svg or pdf, not '" + format + "'"
                             : "the picture is written as .png, .svg or .pdf, not '" + out + "'"};
    if (out != "-" && format != ext)
        throw UsageError{"--format " + format + " does not match the name '" + out + "'"};
    return format;
}

int plotCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 2, 2, "TABLE.db OUT.png|OUT.svg|OUT.pdf|-");
    const QSize size = pictureSize(args);
    OutputTarget target(args.positional[1], "route." + pictureFormat(args));
    const QString path = QFile::decodeName(target.path().c_str());
    // The table is read on a worker thread while the GUI application (fonts, the platform
    // plugin) starts on this one; the reading touches no GUI object.
    std::future<RouteSource> loading = std::async(std::launch::async, [&args] { return loadRouteSource(args); });

    const auto app = windowlessGuiApplication();
    // Numbers drawn into the picture (the known points' note) have a point unless --locale
    // names a locale, whatever the process locale is.
    const bool localeGiven = args.has("--locale");
    QLocale::setDefault(localeGiven ? QLocale(QString::fromStdString(args.option("--locale"))) : QLocale::c());
    {
        // Finding and loading the font takes a while the first time; do it while the table is read.
        QImage warm(8, 8, QImage::Format_RGB32);
        QPainter p(&warm);
        p.drawText(QPointF(0, 8), QStringLiteral("0m"));
    }

    RouteSource src = loading.get();
    printDiagnostics(err, src.warnings);

    zelt::shell::RouteScene scene;
    scene.route = std::move(src.route);
    scene.startHeight = src.startHeight;
    if (!src.known.empty()) {
        auto marks = std::make_shared<zelt::shell::KnownPointMarks>(
            zelt::shell::knownPointMarks(scene.route, src.known, src.pairsPer100m));
        // The picture notes them too; the warning tells whoever runs the command.
        if (!marks->pastEndRows.empty()) {
            const bool one = marks->pastEndRows.size() == 1;
            std::string text = one ? "the known point of row " : "the known points of rows ";
            for (std::size_t i = 0; i < marks->pastEndRows.size(); ++i)
                text += (i ? ", " : "") + std::to_string(marks->pastEndRows[i]);
            text += std::string(one ? " lies" : " lie") + " past the route's end (row "
                    + std::to_string(scene.route.rowCount() + 1) + ") and " + (one ? "is" : "are") + " not drawn";
            printDiagnostics(err, {document::Diagnostic::warning(text)});
        }
        scene.knownPoints = std::move(marks);
    }
    scene.marks.reserve(src.marks.size());
    for (const std::string& m : src.marks)
        scene.marks.push_back(QString::fromStdString(m));
    const QDate today = QDate::currentDate();
    const QString caption = QString::fromStdString(src.tableName) + QStringLiteral("  \u2014  ") +
                            (localeGiven ? QLocale().toString(today, QLocale::ShortFormat) : today.toString(Qt::ISODate));
    QString error;
    if (!zelt::shell::writeRoutePicture(path, size, scene, !args.has("--no-profile"), caption, &error))
        throw std::runtime_error(error.toStdString());
    target.finish(out);
    const std::size_t rows = scene.route.rowCount();
    printStatus(args, target.statusStream(out, err),
                std::to_string(size.width()) + 'x' + std::to_string(size.height()) + ", " + std::to_string(rows)
                    + (rows == 1 ? " row to " : " rows to ") + target.name());
    src.finishClosing();
    return 0;
}

}  // namespace

void registerRouteCommands()
{
    registerCommand("route", "route TABLE.db [--figures FILE] [--horizontal] [--json]", routeCommand,
                    "Print the route of the table in metres east and north of its start: every point of the route "
                    "line (turn figures from the figure file included) and, for each row, the index of its own end "
                    "point, the metres walked to it and its heights. --horizontal reduces each walked length by its slope "
                    "(Procent). --json prints one object: \"pairsPer100m\", \"startHeight\" (metres), \"line\" ([[east, north]] "
                    "in metres) and \"rows\" ([{\"row\", \"point\" (index into line), \"distance\" (metres walked), "
                    "\"Altimeter\", \"FillHeight\", \"Recalc\" (metres; null when empty), \"Mark\", \"Povorot\" "
                    "(null when empty)}]). Reads only: "
                    "nothing is written beside the table.");
    registerCommand("plot",
                    "plot TABLE.db OUT.png|OUT.svg|OUT.pdf|- [--format png|svg|pdf] [--size WxH] [--figures FILE] "
                    "[--no-profile] [--horizontal]",
                    plotCommand,
                    "Draw the route as the route view shows it: the plan (north up, scale bar, marks, known points "
                    "with their residuals exaggerated) above the height profile, as PNG, SVG or PDF by the file's extension or --format (- writes PNG to standard output "
                    "unless --format says otherwise); 1600x1000 pixels unless --size says otherwise. --horizontal draws each leg with its walked length reduced by its slope (Procent). Reads only: nothing is written beside the table.");
}

}  // namespace zelt::cli

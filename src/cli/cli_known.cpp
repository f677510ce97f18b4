// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli known-points and fit: the table's known points and the placement of its route on them.
#include "cli/cli_commands.h"
#include "cli/cli_geo.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_json.h"
#include "cli/cli_util.h"

#include "base/atomic_file.h"
#include "compute/fit_wording.h"
#include "compute/route_placement.h"
#include "document/document.h"
#include "document/document_files.h"
#include "document/known_points.h"
#include "document/value_format.h"

#include <QLocale>
#include <QString>

#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <ostream>

namespace zelt::cli {

namespace {

using zelt::document::KnownPoints;
namespace fs = std::filesystem;

/// Opens the table with its survey values for reading only: these commands never change the
/// table, so neither the start-row rule nor the closing writes of .inf and .ing apply, and the
/// column layout is not needed.
std::unique_ptr<CliSession> openForReading(const fs::path& table, const Args& args)
{
    return std::make_unique<CliSession>(table, args, CliSession::Mode::ReadOnly, CliSession::Layout::Ignore);
}

int parseRowNumber(const std::string& text, const char* option)
{
    const auto row = zelt::document::parseInteger(text);
    if (!row || *row < 1)
        throw UsageError{std::string(option) + " takes a row number from 1, not '" + text + "'"};
    return *row;
}

double parseNumber(std::string_view text, char separator, const std::string& whole)
{
    const auto v = zelt::document::parseDecimal(text, separator);
    if (!v || !std::isfinite(*v))
        throw UsageError{"--set takes ROW:X,Y with numbers for X and Y, not '" + whole + "'"};
    return *v;
}

/// How --set gives a point.
enum class Given { MapMm, Crs, LatLon };

/// ROW:X,Y, or ROW:X;Y (needed where the decimal separator is the comma).
void applySet(KnownPoints& kp, const std::string& value, char separator, int rowCount, Given given)
{
    const std::size_t colon = value.find(':');
    if (colon == std::string::npos)
        throw UsageError{"--set takes ROW:X,Y, not '" + value + "'"};
    // "end" names the route's end: where a row added after the last one would have its mark.
    const std::string rowText = value.substr(0, colon);
    const int row = rowText == "end" ? rowCount + 1 : parseRowNumber(rowText, "--set");
    const std::string xy = value.substr(colon + 1);
    std::size_t split = xy.find(';');
    if (split == std::string::npos) {
        if (separator == ',')
            throw UsageError{"with a ',' decimal separator write --set ROW:X;Y, not '" + value + "'"};
        split = xy.find(',');
    }
    if (split == std::string::npos)
        throw UsageError{"--set takes ROW:X,Y, not '" + value + "'"};
    double x = parseNumber(std::string_view(xy).substr(0, split), separator, value);
    double y = parseNumber(std::string_view(xy).substr(split + 1), separator, value);
    if (row > rowCount + 1)
        throw ValueError{"row " + std::to_string(row) + " is beyond the table's " + std::to_string(rowCount)
                         + (rowCount == 1 ? " row" : " rows")};
    if (given != Given::MapMm) {
        const auto mm = knownPointFromCrs(kp, x, y, given == Given::LatLon);
        x = mm.x;
        y = mm.y;
    }
    try {
        kp.set(row, x, y);
    } catch (const zelt::document::KnownPointsError& e) {
        throw UsageError{e.what()};
    }
}

int knownPointsCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 1, 1, "TABLE.db");
    const auto tablePath = tableArgument(args);
    const char sep = decimalSeparatorOf(args);
    // Only the .kpt file changes; the table and its other companions are only read.
    const auto session = openForReading(tablePath, args);
    zelt::document::DocumentKnownPoints& known = session->document().knownPoints;
    const int rowCount = session->table().rowCount();

    const bool changes = args.has("--set") || args.has("--remove") || args.has("--clear") || args.has("--scale")
                         || args.has("--from-track");
    // A program that has the table open owns its known points too: they are changed only
    // while this command holds the table.
    std::optional<HeldTableLock> held;
    if (changes)
        held.emplace(tablePath);
    // Without --clear a damaged file stops the command: changing it would lose the points it
    // still holds. --clear starts from nothing and so replaces it.
    if (args.has("--crs") && args.has("--latlon"))
        throw UsageError{"--crs and --latlon exclude each other"};
    const Given given = args.has("--crs") ? Given::Crs : args.has("--latlon") ? Given::LatLon : Given::MapMm;
    KnownPoints kp;
    if (!args.has("--clear")) {
        if (!known.damage().empty())
            throw zelt::document::KnownPointsError(known.damage());
        kp = known.points();
    } else if (known.damage().empty()) {
        // The points go; where the map lies does not.
        kp.mapScale = known.points().mapScale;
        kp.georef = known.points().georef;
    }
    for (const auto& [name, value] : args.options) {
        if (name == "--remove") {
            const int row = value == "end" ? rowCount + 1 : parseRowNumber(value, "--remove");
            if (!kp.remove(row))
                throw ValueError{"row " + std::to_string(row) + " has no known point"};
        } else if (name == "--set") {
            applySet(kp, value, sep, rowCount, given);
        } else if (name == "--from-track") {
            const auto table = &session->table();
            std::vector<std::string> marks;
            const int markField = table->fieldIndex("Mark");
            for (int i = 0; i < rowCount; ++i) {
                const auto v = markField < 0 ? zelt::document::Value{} : table->valueAt(i, markField);
                const auto* text = std::get_if<std::string>(&v);
                marks.push_back(text ? *text : std::string());
            }
            const auto matched = pointsFromTrack(kp, value, marks, err);
            printStatus(args, err, std::to_string(matched) + " waypoint" + (matched == 1 ? "" : "s")
                                       + " of the track became known points");
        } else if (name == "--scale") {
            const auto s = zelt::document::parseDecimal(value, sep);
            if (!s || !(*s >= 1 && *s <= 1e7))
                throw UsageError{"--scale takes the map's scale denominator (1 to 10000000), not '" + value + "'"};
            kp.mapScale = *s;
        }
    }
    if (changes) {
        try {
            known.replace(kp);
        } catch (const zelt::document::KnownPointsNotSyncedError& e) {
            throw zelt::document::NotDurableError(e.what());
        }
    }
    if (args.has("--json")) {
        QJsonArray points;
        for (const auto& p : kp.points)
            points.append(QJsonObject{{QStringLiteral("row"), p.row}, {QStringLiteral("x"), jsonValue(p.xMm)}, {QStringLiteral("y"), jsonValue(p.yMm)}});
        writeJson(QJsonObject{{QStringLiteral("table"), QString::fromStdString(tablePath.string())},
                              {QStringLiteral("mapScale"), jsonValue(kp.mapScale)},
                              {QStringLiteral("points"), points}},
                  out);
        return 0;
    }
    for (const auto& p : kp.points)
        out << p.row << '\t' << plainNumber(p.xMm, sep) << '\t' << plainNumber(p.yMm, sep) << '\n';
    return 0;
}

void printJson(const zelt::compute::FitReport& r, zelt::compute::LegLengths lengths, std::ostream& out)
{
    QJsonArray residuals;
    for (const auto& res : r.residuals)
        residuals.append(QJsonObject{{QStringLiteral("row"), res.row}, {QStringLiteral("dx"), jsonValue(res.dxMm)}, {QStringLiteral("dy"), jsonValue(res.dyMm)}});
    QJsonValue sd(QJsonValue::Null);
    if (const auto& d = r.deviations)
        sd = QJsonObject{{QStringLiteral("scale"), jsonValue(d->scale)},
                         {QStringLiteral("rotation"), jsonValue(d->rotationDeg)},
                         {QStringLiteral("pairsPer100m"), jsonValue(d->pairsPer100m)},
                         {QStringLiteral("sigma0"), jsonValue(d->sigma0Mm)}};
    writeJson(QJsonObject{{QStringLiteral("points"), r.points},
                          {QStringLiteral("scale"), jsonValue(r.scale)},
                          {QStringLiteral("rotation"), jsonValue(r.compassCorrectionDeg)},
                          {QStringLiteral("shift"), QJsonArray{jsonValue(r.shift.x), jsonValue(r.shift.y)}},
                          {QStringLiteral("pairsPer100m"), jsonValue(r.pairsPer100m)},
                          {QStringLiteral("residuals"), residuals},
                          {QStringLiteral("rms"), jsonValue(r.rmsMm)},
                          {QStringLiteral("lengths"), lengths == zelt::compute::LegLengths::Horizontal ? QStringLiteral("horizontal") : QStringLiteral("walked")},
                          {QStringLiteral("sd"), sd}},
              out);
}

void printReport(const zelt::compute::FitReport& r, const zelt::compute::FitWording& wording, char sep,
                 std::ostream& out)
{
    out << zelt::compute::fitReportText(r, wording) << '\n';
    // With fewer than three places on the route the residuals are zero by construction.
    if (r.distinctPoints < 3)
        return;
    out << "residuals, fitted minus known:\n";
    out << "  row\tdX mm\tdY mm\tdX m\tdY m\n";
    for (const auto& res : r.residuals)
        out << "  " << res.row << '\t' << fixedNumber(res.dxMm, 2, sep) << '\t' << fixedNumber(res.dyMm, 2, sep) << '\t'
            << fixedNumber(res.dxM, 1, sep) << '\t' << fixedNumber(res.dyM, 1, sep) << '\n';
}

int fitCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 1, "TABLE.db");
    const auto tablePath = tableArgument(args);
    const char sep = decimalSeparatorOf(args);
    const auto session = openForReading(tablePath, args);
    const zelt::document::Document& doc = session->document();
    if (!doc.knownPoints.damage().empty())
        throw zelt::document::KnownPointsError(doc.knownPoints.damage());
    const KnownPoints& known = doc.knownPoints.points();
    if (known.empty())
        throw std::runtime_error("the table has no known points (add them with known-points --set ROW:X,Y)");
    const auto lengths = args.has("--horizontal") ? zelt::compute::LegLengths::Horizontal : zelt::compute::LegLengths::Walked;
    const auto report = zelt::compute::placeOnKnownPoints(doc, known, known.mapScale, lengths);
    if (args.has("--json")) {
        printJson(report, lengths, out);
    } else {
        const zelt::compute::FitWording wording{doc.pairsPer100m, known.mapScale, lengths,
                                                [sep](double v, int decimals) { return fixedNumber(v, decimals, sep); }};
        printReport(report, wording, sep, out);
    }
    return 0;
}

}  // namespace

void registerKnownPointCommands()
{
    registerCommand("known-points",
                    "known-points TABLE.db [--set ROW:X,Y]... [--remove ROW]... [--clear] [--scale N] [--crs] [--latlon] "
                    "[--from-track FILE] [--json]",
                    knownPointsCommand,
                    "List the table's known points (row, X, Y in mm on the map, one a line), or change them: "
                    "--set gives the map position where row ROW's mark stands, the point where its leg begins and "
                    "the map export writes its labels (write ROW:X;Y where the decimal separator is the comma; ROW "
                    "'end', or one past the last row, is the end of the route), --remove drops one, --clear drops "
                    "all (also a damaged file), --scale records the map's scale (default 1:15000). With --crs the points of --set are "
                    "easting and northing in the table's coordinate reference system, with --latlon WGS 84 latitude and "
                    "longitude (see georef); they are converted to the map and kept in TABLE.kpt beside the table, "
                    "like all known points. --from-track makes a known point of every waypoint of a GPS track (GPX "
                    "or any file GDAL reads) whose name is the Mark of exactly one row; the table needs a georeference. "
                    "--json prints one object: \"table\" (full path), \"mapScale\" "
                    "(the scale denominator) and \"points\" ([{\"row\", \"x\", \"y\"}], x and y in mm on the map).");
    registerCommand("fit", "fit TABLE.db [--horizontal] [--json]", fitCommand,
                    "Place the route on the known points (one point: a shift; more: the least-squares shift, turn "
                    "and scale) and say how far the compass and the pace count are off and what to do about it, "
                    "where the start lands and, from three points on, the residuals (fitted minus known) and the "
                    "standard deviations. --horizontal lays the route out with each walked length reduced by its "
                    "slope (Procent). --json prints {\"points\", \"scale\", \"rotation\" (degrees clockwise to add to "
                    "every azimuth), \"shift\" ([x, y]), \"pairsPer100m\", \"residuals\" ([{\"row\", \"dx\", \"dy\"}]), "
                    "\"rms\", \"lengths\" (\"walked\" or \"horizontal\"), \"sd\" ({\"scale\", \"rotation\", "
                    "\"pairsPer100m\", \"sigma0\"}, null below three points)}; shift, dx, dy, rms and sigma0 are in mm "
                    "on the map.");
}

}  // namespace zelt::cli

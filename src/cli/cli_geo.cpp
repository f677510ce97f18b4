// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli georef and export-gis: where the table's map lies on Earth, and the route written
// for GIS programs and GPS devices.
#include "cli/cli_commands.h"
#include "cli/cli_geo.h"
#include "cli/cli_register.h"
#include "cli/cli_route_source.h"
#include "cli/cli_session.h"
#include "cli/cli_util.h"

#include "document/document.h"
#include "document/known_points.h"
#include "document/value_format.h"
#include "base/atomic_file.h"
#include "export/ocad_writer.h"
#include "geo/crs.h"
#include "geo/gis_export.h"
#include "geo/track.h"
#include "compute/map_grid.h"

#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

namespace zelt::cli {

namespace {

using zelt::document::Georeference;
using zelt::document::KnownPoints;
namespace fs = std::filesystem;

/// "A,B" (or "A;B" where the decimal separator is the comma) as two finite numbers.
std::pair<double, double> parsePair(const std::string& value, char separator, const std::string& option,
                                    const std::string& what)
{
    std::size_t split = value.find(';');
    if (split == std::string::npos && separator != ',')
        split = value.find(',');
    const auto bad = [&] {
        return UsageError{option + " takes " + what + (separator == ',' ? " separated by ';'" : "") + ", not '" + value
                          + "'"};
    };
    if (split == std::string::npos)
        throw bad();
    const auto a = zelt::document::parseDecimal(std::string_view(value).substr(0, split), separator);
    const auto b = zelt::document::parseDecimal(std::string_view(value).substr(split + 1), separator);
    if (!a || !b || !std::isfinite(*a) || !std::isfinite(*b))
        throw bad();
    return {*a, *b};
}

double parseOne(const std::string& value, char separator, const std::string& option, const std::string& what)
{
    const auto v = zelt::document::parseDecimal(value, separator);
    if (!v || !std::isfinite(*v))
        throw UsageError{option + " takes " + what + ", not '" + value + "'"};
    return *v;
}

int georefCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 1, 1, "TABLE.db");
    const auto tablePath = tableArgument(args);
    const char sep = decimalSeparatorOf(args);
    const bool clear = args.has("--clear");
    const bool fromMap = args.has("--from-map");
    const bool changes = clear || fromMap || args.has("--crs") || args.has("--origin") || args.has("--grivation")
                         || args.has("--scale");
    if (clear && changes && (fromMap || args.has("--crs") || args.has("--origin") || args.has("--grivation")
                             || args.has("--scale")))
        throw UsageError{"--clear takes no other option"};
    if (fromMap && (args.has("--origin") || args.has("--grivation") || args.has("--scale")))
        throw UsageError{"--from-map takes the origin, grivation and scale from the map; give only --crs with it"};

    // Only the .kpt file changes; the table and its other companions are only read.
    CliSession session(tablePath, args, CliSession::Mode::ReadOnly, CliSession::Layout::Ignore);
    zelt::document::DocumentKnownPoints& known = session.document().knownPoints;
    // A program that has the table open owns its known points and georeference too: they are
    // changed only while this command holds the table.
    std::optional<HeldTableLock> held;
    if (changes)
        held.emplace(tablePath);
    if (!known.damage().empty())
        throw zelt::document::KnownPointsError(known.damage());
    KnownPoints kp = known.points();
    // A file written whose folder could not be synced is in place: the command did its work.
    auto replace = [&known](const KnownPoints& points) {
        try {
            known.replace(points);
        } catch (const zelt::document::KnownPointsNotSyncedError& e) {
            throw zelt::document::NotDurableError(e.what());
        }
    };

    if (clear) {
        kp.georef.reset();
        replace(kp);
        printStatus(args, out, "the georeference was removed");
        return 0;
    }
    if (changes) {
        Georeference g = kp.georef.value_or(Georeference{});
        if (fromMap) {
            if (!args.has("--crs"))
                throw UsageError{"--from-map needs --crs CRS: the map does not say which system its coordinates are in"};
            const auto map = zelt::mapexport::ReadMapGeoreference(args.option("--from-map"));
            g.originEastM = map.ofsX;
            g.originNorthM = map.ofsY;
            g.grivationDeg = map.angleDeg;
            if (!(map.scale >= 1 && map.scale <= 1e7))
                throw std::runtime_error("the map's scale 1:" + jsonNumber(map.scale) + " is not usable");
            kp.mapScale = map.scale;
            if (!map.realWorldOn && map.ofsX == 0 && map.ofsY == 0)
                err << "warning: the map's real-world offsets are 0; it may not be georeferenced\n";
        }
        if (args.has("--crs"))
            g.crs = args.option("--crs");
        if (args.has("--origin")) {
            const auto [e, n] = parsePair(args.option("--origin"), sep, "--origin", "E,N (the map origin's easting and northing)");
            g.originEastM = e;
            g.originNorthM = n;
        }
        if (args.has("--grivation"))
            g.grivationDeg = parseOne(args.option("--grivation"), sep, "--grivation", "degrees");
        if (args.has("--scale")) {
            const double s = parseOne(args.option("--scale"), sep, "--scale", "the map's scale denominator");
            if (!(s >= 1 && s <= 1e7))
                throw UsageError{"--scale takes the map's scale denominator (1 to 10000000), not '" + args.option("--scale") + "'"};
            kp.mapScale = s;
        }
        if (g.crs.empty())
            throw UsageError{"the table has no georeference yet: give --crs CRS and --origin E,N"};
        if (!kp.georef && !args.has("--origin") && !fromMap)
            throw UsageError{"the table has no georeference yet: give --origin E,N (the map origin's easting and northing)"};
        try {
            zelt::document::checkGeoreference(g);
        } catch (const zelt::document::KnownPointsError& e) {
            throw UsageError{e.what()};
        }
        // Refused before anything is written: an unknown system, one without an inverse, an
        // origin outside the projection.
        const zelt::geo::Crs crs(g.crs);
        crs.toLonLat({g.originEastM, g.originNorthM});
        kp.georef = g;
        replace(kp);
    }
    if (!kp.georef) {
        out << "the table has no georeference\n";
        return 0;
    }
    const Georeference& g = *kp.georef;
    const zelt::geo::Crs crs(g.crs);
    const auto ll = crs.toLonLat({g.originEastM, g.originNorthM});
    out << "crs\t" << g.crs << "\nname\t" << crs.name() << "\norigin\t" << plainNumber(g.originEastM, sep) << '\t'
        << plainNumber(g.originNorthM, sep) << "\norigin lon/lat\t" << fixedNumber(ll.lon, 8, sep) << '\t'
        << fixedNumber(ll.lat, 8, sep) << "\ngrivation\t" << plainNumber(g.grivationDeg, sep) << "\nscale\t"
        << plainNumber(kp.mapScale, sep) << '\n';
    return 0;
}

// The height each row carries: its recalculated height, else its filled height, else its
// altimeter reading; rows without any take the last one before them (the start height first).
std::vector<double> rowHeights(const RouteSource& src)
{
    std::vector<double> heights;
    heights.reserve(src.rows.size());
    double last = src.startHeight;
    for (const auto& row : src.rows) {
        if (row.recalc)
            last = *row.recalc;
        else if (row.fillHeight)
            last = *row.fillHeight;
        else if (row.altimeter)
            last = *row.altimeter;
        heights.push_back(last);
    }
    return heights;
}

int exportGisCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 2, 2, "TABLE.db OUT");
    const char sep = decimalSeparatorOf(args);
    const std::string output = args.positional[1];
    const zelt::geo::GisFormat format = zelt::geo::gisFormat(args.option("--format"), output == "-" ? fs::path() : fs::path(output));
    if (output == "-" && !format.streams)
        throw UsageError{"a " + format.driver + " file cannot go to standard output; name a file"};
    std::optional<std::pair<double, double>> start;
    if (args.has("--start"))
        start = parsePair(args.option("--start"), sep, "--start", "E,N (where the route starts)");
    OutputTarget target(output, "route" + format.extension);

    RouteSource src = loadRouteSource(args, RouteExtras::LegsAndFit);
    printDiagnostics(err, src.warnings);
    const KnownPoints& kp = src.known;
    const double mapScale = kp.mapScale;

    // The route's map millimetres go into the system through a georeference: the table's, or
    // for a table without one, a map whose origin is the start given, turned by nothing.
    Georeference georef;
    zelt::compute::Placement placement;
    std::string how;
    if (kp.georef) {
        georef = *kp.georef;
        if (args.has("--crs") && zelt::geo::Crs(args.option("--crs")).name() != zelt::geo::Crs(georef.crs).name())
            err << "warning: the route is written in the table's system '" << georef.crs << "', not in '"
                << args.option("--crs") << "'\n";
        if (src.fit) {
            placement = src.fit->placement;
            how = "placed on " + std::to_string(src.fit->points) + " known point" + (src.fit->points == 1 ? "" : "s");
            if (start)
                err << "warning: --start is not used: the route is placed on its known points\n";
        } else if (start) {
            const auto at = zelt::compute::gridToMap(georef, mapScale, {start->first, start->second});
            placement.tx = at.x;
            placement.ty = at.y;
            how = "starting at the point given";
        } else {
            how = "starting at the map's origin";
        }
    } else {
        if (!start || !args.has("--crs"))
            throw std::runtime_error("nothing says where the route lies: georeference the table (georef TABLE --crs CRS "
                                     "--origin E,N) or give --start E,N with --crs CRS");
        if (!kp.empty())
            err << "warning: the known points are not used: they are in map millimetres and the table has no "
                   "georeference\n";
        georef = Georeference{args.option("--crs"), start->first, start->second, 0.0};
        how = "starting at the point given";
    }
    const zelt::geo::Crs crs(georef.crs);

    const auto toGrid = [&](double eastM, double northM) {
        return zelt::compute::mapToGrid(georef, mapScale,
                                    placement.apply(zelt::compute::groundToMapMm(eastM, northM, mapScale)));
    };
    const zelt::compute::Route& r = src.route;
    const std::vector<double> rowZ = rowHeights(src);
    zelt::geo::GisRoute gis;
    gis.line.reserve(r.points.size());
    gis.heights.reserve(r.points.size());
    for (const auto& p : r.points) {
        gis.line.push_back(toGrid(p.xM, p.yM));
        gis.heights.push_back(p.row < 0 ? src.startHeight : rowZ[std::size_t(p.row)]);
    }
    gis.stations.reserve(r.rowCount());
    for (std::size_t i = 0; i < r.rowCount(); ++i) {
        const auto& row = src.rows[i];
        const auto& end = r.points[r.rowPoints[i]];
        zelt::geo::GisStation s;
        s.row = int(i + 1);
        s.azimuth = row.azimuth;
        s.pairs = i < src.pairs.size() ? src.pairs[i].value_or(0.0) : 0.0;
        s.metres = row.lengthM;
        s.slope = i < src.slopes.size() ? src.slopes[i] : std::nullopt;
        s.turn = row.turnNote;
        s.mark = src.marks[i];
        s.altimeter = row.altimeter;
        s.fillHeight = row.fillHeight;
        s.recalc = row.recalc;
        s.height = rowZ[i];
        s.at = toGrid(end.xM, end.yM);
        gis.stations.push_back(std::move(s));
        if (!src.marks[i].empty()) {
            const auto& at = r.points[r.rowMarkPoint(i)];
            gis.marks.push_back({int(i + 1), src.marks[i], toGrid(at.xM, at.yM)});
        }
    }
    if (kp.georef) {
        for (const auto& p : kp.points) {
            zelt::geo::GisKnownPoint k{p.row, zelt::compute::mapToGrid(georef, mapScale, {p.xMm, p.yMm}), {}, {}};
            if (src.fit)
                for (const auto& res : src.fit->residuals)
                    if (res.row == p.row) {
                        // Fitted minus known on the ground, turned into the grid's axes.
                        const auto d = zelt::compute::mapToGrid(Georeference{georef.crs, 0, 0, georef.grivationDeg},
                                                            mapScale, {res.dxMm, res.dyMm});
                        k.residualEastM = d.east;
                        k.residualNorthM = d.north;
                    }
            gis.known.push_back(k);
        }
    }
    zelt::geo::writeGis(target.path(), format, crs, gis);
    src.finishClosing();
    if (target.isStandardOutput())
        target.finish(out);
    printStatus(args, target.statusStream(out, err),
                std::to_string(r.rowCount()) + " rows written to " + target.name() + " as " + format.driver + ", " + how
                    + (format.lonLat ? ", in WGS 84 longitude/latitude" : ", in " + crs.name()));
    return 0;
}

}  // namespace

zelt::compute::MapPointMm knownPointFromCrs(const KnownPoints& kp, double first, double second, bool latLon)
{
    if (!kp.georef)
        throw std::runtime_error("the table has no georeference: set one with georef TABLE --crs CRS --origin E,N, "
                                 "or give the known points in map millimetres");
    const zelt::geo::Crs crs(kp.georef->crs);
    const zelt::geo::EastNorth grid = latLon ? crs.fromLonLat({second, first}) : zelt::geo::EastNorth{first, second};
    return zelt::compute::gridToMap(*kp.georef, kp.mapScale, grid);
}

int pointsFromTrack(KnownPoints& kp, const std::string& file, const std::vector<std::string>& marks, std::ostream& err)
{
    if (!kp.georef)
        throw std::runtime_error("the table has no georeference: set one with georef TABLE --crs CRS --origin E,N "
                                 "before taking known points from a track");
    const zelt::geo::Crs crs(kp.georef->crs);
    const zelt::geo::Track track = zelt::geo::readTrack(file);
    std::map<std::string, std::vector<int>> rowsOf;
    for (std::size_t i = 0; i < marks.size(); ++i)
        if (!marks[i].empty())
            rowsOf[marks[i]].push_back(int(i + 1));
    int matched = 0;
    for (const auto& w : track.waypoints) {
        const auto it = rowsOf.find(w.name);
        if (it == rowsOf.end())
            continue;
        if (it->second.size() > 1) {
            err << "warning: the waypoint \"" << w.name << "\" names the mark of " << it->second.size()
                << " rows; it was left out\n";
            continue;
        }
        const auto mm = zelt::compute::gridToMap(*kp.georef, kp.mapScale, crs.fromLonLat(w.at));
        try {
            kp.set(it->second.front(), mm.x, mm.y);
        } catch (const zelt::document::KnownPointsError& e) {
            throw std::runtime_error("the waypoint \"" + w.name + "\": " + e.what());
        }
        ++matched;
    }
    return matched;
}

void registerGeoCommands()
{
    registerCommand("georef",
                    "georef TABLE.db [--crs CRS] [--origin E,N] [--grivation DEG] [--scale N] [--from-map MAP.ocd] [--clear]",
                    georefCommand,
                    "Print or set where the table's map lies on Earth, kept with its known points in TABLE.kpt: the "
                    "coordinate reference system (an EPSG code such as EPSG:32633 or any definition PROJ accepts; it "
                    "must be a projected one, convertible to and from longitude/latitude), the easting and northing of "
                    "the map's origin (--origin E,N; E;N where the decimal separator is the comma), the grivation (the "
                    "map's up direction in degrees clockwise from grid north) and the map's scale. --from-map reads "
                    "the origin, grivation and scale from an OCAD map's setup; --crs names its system. --clear "
                    "removes the georeference and keeps the known points.");
    registerCommand("export-gis",
                    "export-gis TABLE.db OUT [--format NAME] [--crs CRS] [--start E,N] [--horizontal] [--figures FILE]",
                    exportGisCommand,
                    "Write the route where it lies for GIS programs and GPS devices, through GDAL: GeoPackage (.gpkg), "
                    "GeoJSON (.geojson), GPX (.gpx), KML (.kml), ESRI Shapefile (.shp: NAME.shp with NAME_stations.shp, "
                    "NAME_marks.shp, NAME_known_points.shp), DXF (.dxf), FlatGeobuf (.fgb) or CSV (.csv), from the "
                    "extension or --format; OUT '-' is standard output for GeoJSON, GPX, KML, DXF and CSV. Layers: "
                    "route (the line, heights as Z), stations (each row at its end point with its fields), marks, "
                    "known_points (with the fit's residuals in metres); GeoJSON, FlatGeobuf, CSV and DXF hold them in "
                    "one layer told apart by the field 'layer', GPX holds the route as a track and the marks as "
                    "waypoints. GeoJSON, GPX and KML are in WGS 84 longitude/latitude, the others in the table's "
                    "system. The route is placed on its known points when it has any, else started at --start E,N "
                    "(in the table's system) or at the map's origin; a table without a georeference needs --start "
                    "and --crs.");
}

}  // namespace zelt::cli

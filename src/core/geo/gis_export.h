// SPDX-License-Identifier: GPL-3.0-or-later
// The route where it lies, written as a GIS file through GDAL/OGR.
#pragma once

#include "geo/crs.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelt::geo {

/// One row of the table at its end point.
struct GisStation {
    int row = 0;
    int azimuth = 0;
    double pairs = 0;
    double metres = 0;                 ///< leg length as laid out
    std::optional<double> slope;       ///< Procent
    std::string turn;
    std::string mark;
    std::optional<double> altimeter, fillHeight, recalc;
    double height = 0;                 ///< the height the route line carries there
    EastNorth at;
};

/// A row's mark where its leg begins.
struct GisMark {
    int row = 0;
    std::string mark;
    EastNorth at;
};

/// A known point where it was given, with fitted minus known in metres when there was a fit.
struct GisKnownPoint {
    int row = 0;
    EastNorth at;
    std::optional<double> residualEastM, residualNorthM;
};

/// Everything a GIS file receives, in the table's coordinate reference system.
struct GisRoute {
    std::vector<EastNorth> line;
    std::vector<double> heights;       ///< one per line point: the route's Z
    std::vector<GisStation> stations;
    std::vector<GisMark> marks;
    std::vector<GisKnownPoint> known;
};

/// How one format is written.
enum class GisLayout {
    Layers,        ///< route, stations, marks, known_points as four layers (GeoPackage, KML, Shapefile)
    OneLayer,      ///< every feature in one layer with a "layer" field (GeoJSON, FlatGeobuf, CSV, DXF)
    Gpx,           ///< the route as a track, the marks as waypoints named by their marks
};

struct GisFormat {
    std::string driver;       ///< GDAL's short name
    GisLayout layout = GisLayout::Layers;
    bool lonLat = false;      ///< WGS 84 longitude/latitude, as the format's standard says
    bool streams = false;     ///< can go to standard output
    std::string extension;    ///< with the dot
};

/// The format named by `name` (GDAL's name or a usual one: "GPKG", "GeoPackage", "GeoJSON",
/// "GPX", "KML", "ESRI Shapefile", "Shapefile", "DXF", "FlatGeobuf", "CSV"; any case), or with an
/// empty name the one of the path's extension (.gpkg, .geojson, .json, .gpx, .kml, .shp, .dxf,
/// .fgb, .csv). GeoError naming what was given otherwise.
GisFormat gisFormat(const std::string& name, const std::filesystem::path& path);

/// Writes `route` in `format` to `target`, through a private folder beside it: each file the
/// driver makes (a Shapefile makes several: NAME.shp, NAME_stations.shp, ... with their
/// .shx, .dbf, .prj and .cpg) is then put in place through AtomicFile, so a failure leaves no
/// file half written. Coordinates go in `crs`, or in WGS 84 longitude/latitude when the format
/// asks for them. GeoError naming what failed; nothing is left behind then.
void writeGis(const std::filesystem::path& target, const GisFormat& format, const Crs& crs, const GisRoute& route);

}  // namespace zelt::geo

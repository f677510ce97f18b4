// SPDX-License-Identifier: GPL-3.0-or-later
// A georeferenced map: map millimetres to the coordinate reference system's metres and back.
#pragma once

#include "compute/route_fit.h"
#include "document/known_points.h"

namespace zelt::compute {

/// Easting and northing in a projected coordinate reference system, metres (x east, y north,
/// whatever the system's own axis order).
struct GridPoint {
    double east = 0;
    double north = 0;
};

/// Where map point (`p.x`, `p.y`) mm (x east, y up on the paper, from the map's origin) lies in
/// the georeference's system: the origin's coordinates plus the point at `mapScale`, turned by
/// the grivation (the map's up direction is `grivationDeg` clockwise from grid north):
/// E = E0 + k (x cos g + y sin g), N = N0 + k (y cos g - x sin g), k = mapScale / 1000.
GridPoint mapToGrid(const zelt::document::Georeference& g, double mapScale, MapPointMm p);
/// The inverse of mapToGrid.
MapPointMm gridToMap(const zelt::document::Georeference& g, double mapScale, GridPoint p);

}  // namespace zelt::compute

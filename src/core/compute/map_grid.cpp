// SPDX-License-Identifier: GPL-3.0-or-later
// A georeferenced map: map millimetres to the coordinate reference system's metres and back.
#include "compute/map_grid.h"

#include <cmath>
#include <numbers>

namespace zelt::compute {

namespace {
double radians(double deg) { return deg * std::numbers::pi / 180.0; }
}  // namespace

GridPoint mapToGrid(const zelt::document::Georeference& g, double mapScale, MapPointMm p)
{
    const double k = mapScale / 1000.0;
    const double c = std::cos(radians(g.grivationDeg));
    const double s = std::sin(radians(g.grivationDeg));
    return {g.originEastM + k * (p.x * c + p.y * s), g.originNorthM + k * (p.y * c - p.x * s)};
}

MapPointMm gridToMap(const zelt::document::Georeference& g, double mapScale, GridPoint p)
{
    const double k = mapScale / 1000.0;
    const double c = std::cos(radians(g.grivationDeg));
    const double s = std::sin(radians(g.grivationDeg));
    const double de = (p.east - g.originEastM) / k;
    const double dn = (p.north - g.originNorthM) / k;
    return {de * c - dn * s, de * s + dn * c};
}

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// The route of a document placed on its known points: unfitted positions of the known rows and the fit.
#include "compute/route_placement.h"

#include "compute/field_rules.h"
#include "compute/route_geometry.h"
#include "document/document.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace zelt::compute {

using zelt::document::Document;

std::vector<GroundPointM> rowEndPointsM(const Document& doc, LegLengths lengths)
{
    if (!isUsablePairsRatio(doc.pairsPer100m))
        throw FitError(pairsRatioMessage(doc.pairsPer100m));
    return rowEndPointsM(routeRowsOf(doc.table, doc.pairsPer100m, -1, nullptr, lengths));
}

std::vector<GroundPointM> rowEndPointsM(std::span<const RouteRow> rows)
{
    // Figures only follow a row's end point; the next leg starts from the end point itself.
    const Route route = computeRoute(rows);
    std::vector<GroundPointM> ends;
    ends.reserve(route.rowCount());
    for (std::size_t index : route.rowPoints)
        ends.push_back({route.points[index].xM, route.points[index].yM});
    return ends;
}

GroundPointM rowMarkPointM(const std::vector<GroundPointM>& ends, int row)
{
    const auto end = row < 1 ? std::nullopt : rowStandsAtEndOf(std::size_t(row - 1));
    return end ? ends[*end] : GroundPointM{};
}

double routeExtentMm(const std::vector<GroundPointM>& ends, double mapScale)
{
    GroundPointM lo, hi;   // the start is part of the route
    for (const GroundPointM& g : ends) {
        lo = {std::min(lo.eastM, g.eastM), std::min(lo.northM, g.northM)};
        hi = {std::max(hi.eastM, g.eastM), std::max(hi.northM, g.northM)};
    }
    const MapPointMm size = groundToMapMm(hi.eastM - lo.eastM, hi.northM - lo.northM, mapScale);
    return std::hypot(size.x, size.y);
}

std::vector<FitPair> knownPointPairsOn(const std::vector<GroundPointM>& ends, const zelt::document::KnownPoints& known,
                                  double mapScale)
{
    std::vector<FitPair> pairs;
    for (const auto& k : known.points) {
        // Row count + 1 is the route's end: the last row's end point.
        if (k.row < 1 || k.row > int(ends.size()) + 1)
            throw FitError("A known point is given for row " + std::to_string(k.row) + ", but the table has "
                           + std::to_string(ends.size()) + (ends.size() == 1 ? " row" : " rows")
                           + "; remove or move that point.");
        const GroundPointM g = rowMarkPointM(ends, k.row);
        pairs.push_back({k.row, groundToMapMm(g.eastM, g.northM, mapScale), {k.xMm, k.yMm}});
    }
    return pairs;
}

namespace {

void requireMapScale(double mapScale)
{
    if (!(mapScale > 0) || !std::isfinite(mapScale))
        throw FitError("The map scale is not set.");
}

}  // namespace

std::vector<FitPair> knownPointPairs(const Document& doc, const zelt::document::KnownPoints& known, double mapScale,
                                     LegLengths lengths)
{
    requireMapScale(mapScale);
    return knownPointPairsOn(rowEndPointsM(doc, lengths), known, mapScale);
}

FitReport placeOnKnownPoints(const Document& doc, const zelt::document::KnownPoints& known, double mapScale,
                             LegLengths lengths)
{
    requireMapScale(mapScale);
    const std::vector<GroundPointM> ends = rowEndPointsM(doc, lengths);
    return fitRoute(knownPointPairsOn(ends, known, mapScale), doc.pairsPer100m, mapScale, routeExtentMm(ends, mapScale));
}

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// The route of a document placed on its known points: unfitted positions of the known rows and the fit.
#pragma once

#include "compute/route_fit.h"
#include "compute/route_geometry.h"
#include "document/known_points.h"

#include <span>
#include <vector>

namespace zelt::document {
struct Document;
}

namespace zelt::compute {

/// A position on the ground, metres east and north of the route's start.
struct GroundPointM {
    double eastM = 0;
    double northM = 0;
};

/// Where the route puts the end point of every row, metres east and north of the start, before
/// any placement: the route geometry of the map export (Pairs converted with PairsPer100m, walked
/// or horizontal as `lengths` says, along the whole degrees of Azimuth); figures do not move the
/// rows' end points. Reads the stored rows without moving the cursor. FitError when PairsPer100m
/// is not usable.
std::vector<GroundPointM> rowEndPointsM(const zelt::document::Document& doc, LegLengths lengths = LegLengths::Walked);

/// The same for rows already read: their azimuths and leg lengths.
std::vector<GroundPointM> rowEndPointsM(std::span<const RouteRow> rows);

/// Where row `row` (1-based) has its mark, given rowEndPointsM: where its leg begins, the end of
/// the row before it (the start for row 1). Row count + 1 is the route's end. The map export
/// writes a row's labels at the same point.
GroundPointM rowMarkPointM(const std::vector<GroundPointM>& ends, int row);

/// The size of the unfitted route on the map at 1:`mapScale`, mm: the diagonal of the box around
/// its start and its rows' end points.
double routeExtentMm(const std::vector<GroundPointM>& ends, double mapScale);

/// The known points paired with the unfitted positions of their rows' marks on the route whose
/// rows end at `ends` (rowStandsAtEndOf says where), in row order. FitError when a known point
/// names a row past the route's end.
std::vector<FitPair> knownPointPairsOn(const std::vector<GroundPointM>& ends, const zelt::document::KnownPoints& known,
                                       double mapScale);

/// The known points paired with the route's unfitted positions of their rows' marks at the scale
/// 1:`mapScale`, in row order. FitError when a known point names a row past the route's end.
std::vector<FitPair> knownPointPairs(const zelt::document::Document& doc, const zelt::document::KnownPoints& known,
                                     double mapScale, LegLengths lengths = LegLengths::Walked);

/// fitRoute over knownPointPairs with the document's pace count and the route's extent.
FitReport placeOnKnownPoints(const zelt::document::Document& doc, const zelt::document::KnownPoints& known,
                             double mapScale, LegLengths lengths = LegLengths::Walked);

}  // namespace zelt::compute

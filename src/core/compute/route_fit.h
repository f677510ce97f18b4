// SPDX-License-Identifier: GPL-3.0-or-later
// Placing the route on known points: the least-squares similarity and its report.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <vector>

namespace zelt::compute {

/// A position on the map in millimetres, X east and Y north.
struct MapPointMm {
    double x = 0;
    double y = 0;
};

/// One known point: where the route puts the mark of `row` (where its leg begins) before
/// fitting, and where that point really is on the map.
struct FitPair {
    int row = 0;          ///< 1-based row number, carried into the report
    MapPointMm route;     ///< unfitted: ground metres at the map's scale, start at (0, 0)
    MapPointMm known;
};

/// A similarity transform of map millimetres: p' = [a -b; b a] p + (tx, ty). a = s cos t and
/// b = s sin t, with s the uniform scale and t the turn counter-clockwise (east towards north).
struct Placement {
    double a = 1;
    double b = 0;
    double tx = 0;  ///< mm
    double ty = 0;  ///< mm

    MapPointMm apply(MapPointMm p) const { return {a * p.x - b * p.y + tx, b * p.x + a * p.y + ty}; }
    /// The same transform for a position in map units of 0.01 mm (the shift scaled to units).
    void applyUnits(long double& x, long double& y) const
    {
        const long double nx = a * x - b * y + tx * 100.0L;
        y = b * x + a * y + ty * 100.0L;
        x = nx;
    }
    bool isIdentity() const { return a == 1 && b == 0 && tx == 0 && ty == 0; }
};

/// Fitted minus known for one known point.
struct FitResidual {
    int row = 0;
    double dxMm = 0, dyMm = 0;  ///< on the map
    double dxM = 0, dyM = 0;    ///< on the ground, at the map's scale
};

/// Standard deviations of a fit over three or more distinct points, from its residuals: the
/// variance of one coordinate is sigma0^2 = sum(residual^2) / (2n - 4), and the inverse of the
/// normal matrix of the similarity's four parameters carries it to each of them.
struct FitDeviations {
    double sigma0Mm = 0;        ///< of one map coordinate of a known point
    double scale = 0;           ///< of FitReport::scale
    double rotationDeg = 0;     ///< of FitReport::compassCorrectionDeg
    double pairsPer100m = 0;    ///< of FitReport::pairsPer100m
};

/// What the fit found, in the terms a mapper uses.
struct FitReport {
    int points = 0;
    int distinctPoints = 0;             ///< points at different route positions: 1 is a shift, 2 an exact fit
    Placement placement;
    double scale = 1;                   ///< ground length the route needs per walked length
    double compassCorrectionDeg = 0;    ///< degrees clockwise to add to every azimuth, (-180, 180]
    MapPointMm shift;                   ///< where the route's start lands, mm
    double pairsPer100m = 0;            ///< the pace count the fit implies: PairsPer100m / scale
    std::vector<FitResidual> residuals; ///< in the order of the pairs given
    double rmsMm = 0;                   ///< root mean square of the residuals' lengths, one spot counted once
    double rmsM = 0;
    std::optional<FitDeviations> deviations;   ///< with three or more distinct points
};

/// A fit that cannot be made; what() is the user's message.
class FitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Two route positions closer than this share of the route's extent count as one spot (and so do
/// two known positions, measured against the known points' extent): a proportion, so that the
/// test means the same on the ground at any map scale.
inline constexpr double kCoincidentShare = 1e-6;

/// The pairs that count in a fit: of the pairs the route puts on one spot (within
/// kCoincidentShare of the route's extent, as fitRoute measures it) the first given, each spot
/// once. Indices into `pairs`, in the order given.
std::vector<std::size_t> distinctSpotPairs(const std::vector<FitPair>& pairs, double routeExtentMm = 0);

/// One pair: a shift only (scale 1, no turn). Two or more: the least-squares similarity carrying
/// the route positions onto the known ones. `mapScale` (the denominator, e.g. 15000) converts
/// residuals to ground metres; `pairsPer100m` is the document's pace count. `routeExtentMm` is the
/// size of the whole unfitted route on the map (0: the extent of the pairs' route positions and
/// the start). Each route spot counts once (distinctSpotPairs) in the placement, the rms and the
/// standard deviations; every pair has its residual. FitError when there is no pair, a value is not finite or not positive, or two rows
/// share a route position but not a known one. When every route position is the same point (and
/// so is every known one) the fit is a shift.
FitReport fitRoute(const std::vector<FitPair>& pairs, double pairsPer100m, double mapScale, double routeExtentMm = 0);

/// Ground metres east/north of the start to unfitted map millimetres at the scale 1:`mapScale`.
inline MapPointMm groundToMapMm(double eastM, double northM, double mapScale)
{
    return {eastM * 1000.0 / mapScale, northM * 1000.0 / mapScale};
}

}  // namespace zelt::compute

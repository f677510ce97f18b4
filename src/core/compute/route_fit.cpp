// SPDX-License-Identifier: GPL-3.0-or-later
// Least-squares similarity of the route onto known points, and the report a mapper reads.
#include "compute/route_fit.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <numbers>
#include <string>

namespace zelt::compute {

namespace {

double distance(MapPointMm p, MapPointMm q) { return std::hypot(p.x - q.x, p.y - q.y); }

std::string rowText(int row) { return "row " + std::to_string(row); }

// The size of a set of positions: the diagonal of their bounding box (with `origin` when given).
double extentOf(const std::vector<FitPair>& pairs, MapPointMm FitPair::*which, const MapPointMm* origin)
{
    MapPointMm lo = origin ? *origin : pairs.front().*which, hi = lo;
    for (const FitPair& p : pairs) {
        const MapPointMm q = p.*which;
        lo = {std::min(lo.x, q.x), std::min(lo.y, q.y)};
        hi = {std::max(hi.x, q.x), std::max(hi.y, q.y)};
    }
    return distance(lo, hi);
}

// How close two positions must be to share a spot: a share of the route's extent, so that a
// route a few millimetres long on a small-scale map keeps its points apart.
struct SpotTolerance {
    double routeMm = 0;
    double knownMm = 0;
};

SpotTolerance spotTolerance(const std::vector<FitPair>& pairs, double routeExtentMm)
{
    const MapPointMm start{};
    const double route = std::max(routeExtentMm, extentOf(pairs, &FitPair::route, &start));
    return {kCoincidentShare * route, kCoincidentShare * extentOf(pairs, &FitPair::known, nullptr)};
}

// Pairs sorted by the east of their route position, so that only neighbours within the
// tolerance need comparing; calls `visit(earlier, later)` for every two pairs on one route spot
// (`earlier` first in the order given).
template<typename Visit>
void forSameSpots(const std::vector<FitPair>& pairs, double toleranceMm, Visit visit)
{
    std::vector<std::size_t> order(pairs.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return pairs[a].route.x < pairs[b].route.x || (pairs[a].route.x == pairs[b].route.x && a < b);
    });
    const auto eastGap = [&](std::size_t i, std::size_t j) { return pairs[order[j]].route.x - pairs[order[i]].route.x; };
    for (std::size_t i = 0; i < order.size(); ++i)
        for (std::size_t j = i + 1; j < order.size() && eastGap(i, j) <= toleranceMm; ++j) {
            const std::size_t p = std::min(order[i], order[j]), q = std::max(order[i], order[j]);
            if (distance(pairs[p].route, pairs[q].route) <= toleranceMm)
                visit(p, q);
        }
}

void checkInput(const std::vector<FitPair>& pairs, double pairsPer100m, double mapScale, double routeExtentMm)
{
    if (pairs.empty())
        throw FitError("There are no known points to place the route on.");
    if (!(mapScale > 0) || !std::isfinite(mapScale))
        throw FitError("The map scale is not set.");
    if (!(pairsPer100m > 0) || !std::isfinite(pairsPer100m))
        throw FitError("The pace count (pairs per 100 m) must be a positive number.");
    if (!std::isfinite(routeExtentMm))
        throw FitError("The route's extent is not a finite number.");
    for (const FitPair& p : pairs)
        if (!std::isfinite(p.route.x) || !std::isfinite(p.route.y) || !std::isfinite(p.known.x)
            || !std::isfinite(p.known.y))
            throw FitError("The position of " + rowText(p.row) + " is not a finite number.");
    // Two rows the route puts on one spot cannot be carried to two different places by any
    // similarity; the fit would only spread the contradiction over the other points.
    const SpotTolerance tol = spotTolerance(pairs, routeExtentMm);
    forSameSpots(pairs, tol.routeMm, [&](std::size_t a, std::size_t b) {
        if (distance(pairs[a].known, pairs[b].known) > tol.knownMm)
            throw FitError("The route puts " + rowText(pairs[a].row) + " and " + rowText(pairs[b].row)
                           + " on the same spot, but their known points differ; remove one of them.");
    });
}


// Least squares in complex form: with z the route and w the known positions about their
// centroids, the factor a + ib = sum(conj(z) w) / sum(|z|^2) minimises sum |(a+ib) z - w|^2.
Placement similarity(const std::vector<FitPair>& pairs)
{
    const double n = double(pairs.size());
    MapPointMm zc, wc;
    for (const FitPair& p : pairs) {
        zc.x += p.route.x / n;
        zc.y += p.route.y / n;
        wc.x += p.known.x / n;
        wc.y += p.known.y / n;
    }
    double re = 0, im = 0, norm = 0;
    for (const FitPair& p : pairs) {
        const double zx = p.route.x - zc.x, zy = p.route.y - zc.y;
        const double wx = p.known.x - wc.x, wy = p.known.y - wc.y;
        re += zx * wx + zy * wy;
        im += zx * wy - zy * wx;
        norm += zx * zx + zy * zy;
    }
    Placement t;
    if (norm > 0) {
        t.a = re / norm;
        t.b = im / norm;
    }
    t.tx = wc.x - (t.a * zc.x - t.b * zc.y);
    t.ty = wc.y - (t.b * zc.x + t.a * zc.y);
    return t;
}

// Standard deviations from the residuals. About the route's centroid the normal matrix of the
// four parameters (a, b, tx, ty) is diag(S, S, n, n), S = sum |z - centroid|^2, so a and b each
// have the variance sigma0^2 / S; the scale sqrt(a^2 + b^2) has the same, the turn atan2(b, a)
// that divided by the scale squared, and the pace count P / scale that times (P / scale^2)^2.
FitDeviations deviationsOf(const std::vector<FitPair>& pairs, double sumSquaresMm2, double scale, double pairsPer100m)
{
    const double n = double(pairs.size());
    MapPointMm c;
    for (const FitPair& p : pairs) {
        c.x += p.route.x / n;
        c.y += p.route.y / n;
    }
    double spread = 0;
    for (const FitPair& p : pairs)
        spread += (p.route.x - c.x) * (p.route.x - c.x) + (p.route.y - c.y) * (p.route.y - c.y);
    FitDeviations d;
    d.sigma0Mm = std::sqrt(sumSquaresMm2 / (2 * n - 4));
    d.scale = d.sigma0Mm / std::sqrt(spread);
    d.rotationDeg = d.scale / scale * 180.0 / std::numbers::pi;
    d.pairsPer100m = pairsPer100m / (scale * scale) * d.scale;
    return d;
}

}  // namespace

std::vector<std::size_t> distinctSpotPairs(const std::vector<FitPair>& pairs, double routeExtentMm)
{
    if (pairs.empty())
        return {};
    std::vector<bool> repeated(pairs.size(), false);
    forSameSpots(pairs, spotTolerance(pairs, routeExtentMm).routeMm,
                 [&](std::size_t, std::size_t later) { repeated[later] = true; });
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        if (!repeated[i])
            out.push_back(i);
    return out;
}

FitReport fitRoute(const std::vector<FitPair>& pairs, double pairsPer100m, double mapScale, double routeExtentMm)
{
    checkInput(pairs, pairsPer100m, mapScale, routeExtentMm);
    FitReport r;
    r.points = int(pairs.size());
    // A spot given twice (rows the route puts on one point, with one known position) is one
    // observation: counted twice it would pull the fit and shrink sigma0 without new evidence.
    std::vector<FitPair> spots;
    for (std::size_t i : distinctSpotPairs(pairs, routeExtentMm))
        spots.push_back(pairs[i]);
    r.distinctPoints = int(spots.size());
    if (r.distinctPoints == 1) {
        r.placement.tx = spots.front().known.x - spots.front().route.x;
        r.placement.ty = spots.front().known.y - spots.front().route.y;
    } else {
        r.placement = similarity(spots);
    }
    const Placement& t = r.placement;
    r.scale = std::hypot(t.a, t.b);
    if (!(r.scale > 0) || !std::isfinite(r.scale))
        throw FitError("The known points give no usable placement: they would shrink the route to a point.");
    // The transform turns counter-clockwise by atan2(b, a); an azimuth turns clockwise, so the
    // correction to add to every azimuth is the negated angle.
    double correction = -std::atan2(t.b, t.a) * 180.0 / std::numbers::pi;
    if (correction <= -180.0)
        correction += 360.0;
    r.compassCorrectionDeg = correction == 0 ? 0.0 : correction;  // no "-0" in the report
    r.shift = {t.tx, t.ty};
    r.pairsPer100m = pairsPer100m / r.scale;

    const double metresPerMm = mapScale / 1000.0;
    for (const FitPair& p : pairs) {
        const MapPointMm fitted = t.apply(p.route);
        FitResidual res;
        res.row = p.row;
        res.dxMm = fitted.x - p.known.x;
        res.dyMm = fitted.y - p.known.y;
        res.dxM = res.dxMm * metresPerMm;
        res.dyM = res.dyMm * metresPerMm;
        r.residuals.push_back(res);
    }
    double sumSquares = 0;
    for (const FitPair& p : spots) {
        const MapPointMm fitted = t.apply(p.route);
        sumSquares += (fitted.x - p.known.x) * (fitted.x - p.known.x) + (fitted.y - p.known.y) * (fitted.y - p.known.y);
    }
    r.rmsMm = std::sqrt(sumSquares / double(spots.size()));
    r.rmsM = r.rmsMm * metresPerMm;
    if (r.distinctPoints >= 3)
        r.deviations = deviationsOf(spots, sumSquares, r.scale, pairsPer100m);
    return r;
}

}  // namespace zelt::compute

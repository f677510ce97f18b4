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

void checkInput(const std::vector<FitPair>& pairs, double pairsPer100m, double mapScale)
{
    if (pairs.empty())
        throw FitError("There are no known points to place the route on.");
    if (!(mapScale > 0) || !std::isfinite(mapScale))
        throw FitError("The map scale is not set.");
    if (!(pairsPer100m > 0) || !std::isfinite(pairsPer100m))
        throw FitError("The pace count (pairs per 100 m) must be a positive number.");
    for (const FitPair& p : pairs)
        if (!std::isfinite(p.route.x) || !std::isfinite(p.route.y) || !std::isfinite(p.known.x)
            || !std::isfinite(p.known.y))
            throw FitError("The position of " + rowText(p.row) + " is not a finite number.");
    // Two rows the route puts on one spot cannot be carried to two different places by any
    // similarity; the fit would only spread the contradiction over the other points. Sorted by
    // east, only neighbours within the tolerance need comparing.
    std::vector<std::size_t> order(pairs.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return pairs[a].route.x < pairs[b].route.x || (pairs[a].route.x == pairs[b].route.x && a < b);
    });
    const auto eastGap = [&](std::size_t i, std::size_t j) { return pairs[order[j]].route.x - pairs[order[i]].route.x; };
    for (std::size_t i = 0; i < order.size(); ++i)
        for (std::size_t j = i + 1; j < order.size() && eastGap(i, j) < kCoincidentMm; ++j) {
            const FitPair& p = pairs[std::min(order[i], order[j])];
            const FitPair& q = pairs[std::max(order[i], order[j])];
            if (distance(p.route, q.route) < kCoincidentMm && distance(p.known, q.known) >= kCoincidentMm)
                throw FitError("The route puts " + rowText(p.row) + " and " + rowText(q.row)
                               + " on the same spot, but their known points differ; remove one of them.");
        }
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

bool allRoutePointsCoincide(const std::vector<FitPair>& pairs)
{
    for (const FitPair& p : pairs)
        if (distance(p.route, pairs.front().route) >= kCoincidentMm)
            return false;
    return true;
}

}  // namespace

FitReport fitRoute(const std::vector<FitPair>& pairs, double pairsPer100m, double mapScale)
{
    checkInput(pairs, pairsPer100m, mapScale);
    FitReport r;
    r.points = int(pairs.size());
    if (pairs.size() == 1 || allRoutePointsCoincide(pairs)) {
        r.placement.tx = pairs.front().known.x - pairs.front().route.x;
        r.placement.ty = pairs.front().known.y - pairs.front().route.y;
    } else {
        r.placement = similarity(pairs);
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

    double sumSquares = 0;
    const double metresPerMm = mapScale / 1000.0;
    for (const FitPair& p : pairs) {
        const MapPointMm fitted = t.apply(p.route);
        FitResidual res;
        res.row = p.row;
        res.dxMm = fitted.x - p.known.x;
        res.dyMm = fitted.y - p.known.y;
        res.dxM = res.dxMm * metresPerMm;
        res.dyM = res.dyMm * metresPerMm;
        sumSquares += res.dxMm * res.dxMm + res.dyMm * res.dyMm;
        r.residuals.push_back(res);
    }
    r.rmsMm = std::sqrt(sumSquares / double(pairs.size()));
    r.rmsM = r.rmsMm * metresPerMm;
    return r;
}

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// The one misread Azimuth or Pairs that best closes the route on its known points.
#include "compute/plan_blunders.h"

#include "compute/route_geometry.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>

namespace zelt::compute {

namespace {

using Cx = std::complex<double>;  // east + i north, metres

constexpr double kPi = std::numbers::pi;
constexpr double kTieM = 0.05;
constexpr double kMatchDegrees = 5;  ///< an optimum this close to a typical azimuth is that reading
constexpr double kMatchPairs = 3;    ///< likewise for pairs

/// The direction of a whole-degree azimuth as a unit vector (east = sin, north = cos).
Cx direction(int degrees)
{
    const double t = double(degrees) * kPi / 180.0;
    return {std::sin(t), std::cos(t)};
}

int normalisedAzimuth(double degrees)
{
    const int a = int(std::lround(degrees)) % 360;
    return a < 0 ? a + 360 : a;
}

/// The sums of the least-squares similarity over the known points (route z, known w, both
/// about a fixed origin). The fit's residual sum of squares is
///   sum|W|^2 - |sum conj(Z) W|^2 / sum|Z|^2
/// with Z, W about their centroids, which the raw sums give. A changed reading of row j moves
/// every later end point by one vector d, so only the sums over the known points from row j on
/// change, and by amounts those points' own sums give: each hypothesis costs O(1).
struct FitSums {
    double n = 0;
    Cx sz, sw, szw;
    double szz = 0, sww = 0;

    void add(Cx z, Cx w)
    {
        n += 1;
        sz += z;
        sw += w;
        szw += std::conj(z) * w;
        szz += std::norm(z);
        sww += std::norm(w);
    }
};

/// The residual sum of squares of the fit when the points from some row on move by one vector
/// d, as a function of d alone: sse(d) = W - |P0 + conj(d) g|^2 / (Q0 + 2 Re(conj(d) a) + b |d|^2).
/// Plain doubles: this runs 360 times a row.
struct ShiftedFit {
    double q0 = 0, w = 0, b = 0;
    double p0x = 0, p0y = 0, ax = 0, ay = 0, gx = 0, gy = 0;

    ShiftedFit(const FitSums& all, const FitSums& later)
    {
        const double n = all.n, m = later.n;
        const Cx a = later.sz - m * all.sz / n;
        const Cx g = later.sw - m * all.sw / n;
        const Cx p0 = all.szw - std::conj(all.sz) * all.sw / n;
        q0 = all.szz - std::norm(all.sz) / n;
        w = all.sww - std::norm(all.sw) / n;
        b = m - m * m / n;
        p0x = p0.real(), p0y = p0.imag(), ax = a.real(), ay = a.imag(), gx = g.real(), gy = g.imag();
    }

    double sse(double dx, double dy) const
    {
        const double q = q0 + 2 * (dx * ax + dy * ay) + b * (dx * dx + dy * dy);
        // Every route point on one spot: the placement is a shift and leaves the spread of w.
        if (!(q > 1e-9))
            return std::max(0.0, w);
        const double px = p0x + dx * gx + dy * gy, py = p0y + dx * gy - dy * gx;
        return std::max(0.0, w - (px * px + py * py) / q);
    }

    /// The length change t (metres) along the unit vector (ux, uy) that leaves the least sse:
    /// sse(t) = W - N(t)/D(t) with N and D quadratics in t, so the optimum solves a quadratic
    /// (the cubic terms of N'D - ND' cancel). The roots; the caller rounds and compares them.
    std::vector<double> bestLengthChanges(double ux, double uy) const
    {
        const double q1 = ux * ax + uy * ay;
        const double p1x = ux * gx + uy * gy, p1y = ux * gy - uy * gx;
        const double a0 = p0x * p0x + p0y * p0y, a1 = p0x * p1x + p0y * p1y, a2 = p1x * p1x + p1y * p1y;
        const double A = a2 * q1 - a1 * b, B = a2 * q0 - a0 * b, C = a1 * q0 - a0 * q1;
        const double scale = std::max({std::fabs(A), std::fabs(B), std::fabs(C)});
        if (!(scale > 0))
            return {};
        if (std::fabs(A) <= 1e-12 * scale)
            return std::fabs(B) > 0 ? std::vector<double>{-C / B} : std::vector<double>{};
        const double disc = B * B - 4 * A * C;
        if (disc < 0)
            return {};
        const double root = std::sqrt(disc);
        return {(-B + root) / (2 * A), (-B - root) / (2 * A)};
    }
};

struct Choice {
    double value = 0;
    double sse = 0;
    BlunderKind kind = BlunderKind::None;
};

/// The free optimum, or the best typical misreading when it explains the misclosure as well,
/// or lies within `matchDistance` of the optimum leaving at most twice its rms. The noise of a
/// walked route moves the optimum by a few degrees or pairs from the value read, while the rms
/// rises steeply around it on a long leg: the nearby typical value is the likelier reading. On
/// a walk without noise the optimum leaves no rms, and a nearby typical value is not preferred.
Choice preferTypical(const Choice& free, const std::vector<Choice>& typical, double n, double tieFactor,
                     const std::function<double(double, double)>& distance, double matchDistance)
{
    const double freeRms = std::sqrt(free.sse / n);
    const Choice* chosen = nullptr;
    for (const Choice& t : typical) {
        const double rms = std::sqrt(t.sse / n);
        const bool tie = rms <= tieFactor * freeRms + kTieM;
        const bool near = distance(t.value, free.value) <= matchDistance && rms <= 2 * freeRms + kTieM;
        if ((tie || near) && (!chosen || t.sse < chosen->sse))
            chosen = &t;
    }
    return chosen ? *chosen : free;
}

/// Digits exchanged pairwise in `digits`; each result once, without `digits` itself.
std::vector<std::string> swappedDigits(const std::string& digits)
{
    std::vector<std::string> out;
    if (digits.size() > 12)
        return out;
    for (std::size_t i = 0; i < digits.size(); ++i)
        for (std::size_t j = i + 1; j < digits.size(); ++j) {
            if (digits[i] == digits[j])
                continue;
            std::string s = digits;
            std::swap(s[i], s[j]);
            if (std::find(out.begin(), out.end(), s) == out.end())
                out.push_back(s);
        }
    return out;
}

/// The whole number the digits spell.
std::int64_t wholeOf(const std::string& digits)
{
    std::int64_t v = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), v);
    return v;
}

}  // namespace

std::vector<std::pair<double, BlunderKind>> typicalMisreadings(CheckField field, double value)
{
    std::vector<std::pair<double, BlunderKind>> out;
    switch (field) {
    case CheckField::Azimuth: {
        const int a = normalisedAzimuth(value);
        out.emplace_back((a + 180) % 360, BlunderKind::Reversed);
        std::string digits = std::to_string(a);
        digits.insert(0, 3 - digits.size(), '0');
        for (const std::string& s : swappedDigits(digits))
            if (const auto v = wholeOf(s); v < 360)
                out.emplace_back(double(v), BlunderKind::SwappedDigits);
        break;
    }
    case CheckField::Pairs: {
        for (const double v : {value + 10, value - 10})
            if (v >= 0)
                out.emplace_back(v, BlunderKind::Tally);
        const double whole = std::trunc(value);
        if (whole >= 0 && whole < 1e9)
            for (const std::string& s : swappedDigits(std::to_string(std::int64_t(whole))))
                if (s.front() != '0')
                    out.emplace_back(double(wholeOf(s)) + (value - whole), BlunderKind::SwappedDigits);
        break;
    }
    case CheckField::Procent: {
        const int p = int(std::lround(value));
        if (p != 0)
            out.emplace_back(-p, BlunderKind::Reversed);
        for (const std::string& s : swappedDigits(std::to_string(std::abs(p))))
            if (const auto v = wholeOf(s); v <= 150 && s.front() != '0')
                out.emplace_back(double(p < 0 ? -v : v), BlunderKind::SwappedDigits);
        break;
    }
    }
    return out;
}

double tieFactor(std::size_t knownPoints)
{
    // The fit has 2n - 4 spare coordinates and a changed reading takes one more. Their rms
    // scatters by about 1/sqrt(2 dof) relative, and so do two rms compared: a band of 1.5 of
    // that scatter.
    const double dof = std::max(1.0, 2.0 * double(knownPoints) - 5.0);
    return 1.0 + 1.5 / std::sqrt(dof);
}

PlanCheck planCandidates(std::span<const CheckRow> rows, double pairsPer100m, std::span<const KnownGround> known)
{
    const double tie = tieFactor(known.size());
    // End points exactly as the map export and the fit compute them.
    std::vector<Cx> ends;
    ends.reserve(rows.size());
    GroundPoint at;
    for (const CheckRow& r : rows) {
        at = moveAlong(at, r.pairs / pairsPer100m * 100.0, r.azimuth);
        ends.emplace_back(at.x, at.y);
    }
    // Sums about the first point's positions, which keeps them small on a long route.
    const Cx z0 = ends[std::size_t(known.front().row)];
    const Cx w0(known.front().eastM, known.front().northM);
    FitSums all;
    std::vector<FitSums> suffix(known.size() + 1);
    for (std::size_t i = known.size(); i-- > 0;) {
        const Cx z = ends[std::size_t(known[i].row)] - z0;
        const Cx w = Cx(known[i].eastM, known[i].northM) - w0;
        all.add(z, w);
        suffix[i] = suffix[i + 1];
        suffix[i].add(z, w);
    }
    PlanCheck result;
    const double n = all.n;
    result.rmsM = std::sqrt(ShiftedFit(all, suffix.back()).sse(0, 0) / n);

    std::array<Cx, 360> unit;
    for (int a = 0; a < 360; ++a)
        unit[std::size_t(a)] = direction(a);
    std::array<double, 360> sseOf{};
    // Rows up to the first known point move every point alike, rows after the last none.
    std::size_t first = 1;  // the first known point from the row on
    for (int j = known.front().row + 1; j <= known.back().row; ++j) {
        while (known[first].row < j)
            ++first;
        const ShiftedFit fit(all, suffix[first]);
        const CheckRow& r = rows[std::size_t(j)];
        const double lengthM = r.pairs / pairsPer100m * 100.0;
        if (!(lengthM > 0))
            continue;
        const int a = normalisedAzimuth(r.azimuth);
        const Cx u = unit[std::size_t(a)];

        // Azimuth: the leg's end runs on a circle of the leg's length; all 360 whole degrees.
        Choice free{double(a), fit.sse(0, 0)};
        for (int b = 0; b < 360; ++b) {
            const Cx d = lengthM * (unit[std::size_t(b)] - u);
            sseOf[std::size_t(b)] = fit.sse(d.real(), d.imag());
            if (b != a && sseOf[std::size_t(b)] < free.sse)
                free = {double(b), sseOf[std::size_t(b)]};
        }
        std::vector<Choice> typical;
        for (const auto& [v, kind] : typicalMisreadings(CheckField::Azimuth, r.azimuth))
            typical.push_back({v, sseOf[std::size_t(v)], kind});
        const auto degreesApart = [](double x, double y) { return std::fabs(std::remainder(x - y, 360.0)); };
        Choice c = preferTypical(free, typical, n, tie, degreesApart, kMatchDegrees);
        if (int(c.value) != a)
            result.candidates.push_back({j + 1, CheckField::Azimuth, double(r.azimuth), c.value, c.kind, result.rmsM,
                                         std::sqrt(c.sse / n), 0});

        // Pairs: the leg's end moves along the leg, linearly in the change.
        const auto sseOfPairs = [&](double pairs) {
            const double t = (pairs - r.pairs) / pairsPer100m * 100.0;
            return fit.sse(t * u.real(), t * u.imag());
        };
        free = {r.pairs, fit.sse(0, 0)};
        for (const double t : fit.bestLengthChanges(u.real(), u.imag())) {
            const double pairs = std::max(0.0, r.pairs + std::round(t / 100.0 * pairsPer100m));
            if (const double s = sseOfPairs(pairs); std::isfinite(pairs) && pairs != r.pairs && s < free.sse)
                free = {pairs, s};
        }
        typical.clear();
        for (const auto& [v, kind] : typicalMisreadings(CheckField::Pairs, r.pairs))
            typical.push_back({v, sseOfPairs(v), kind});
        const auto pairsApart = [](double x, double y) { return std::fabs(x - y); };
        c = preferTypical(free, typical, n, tie, pairsApart, kMatchPairs);
        if (c.value != r.pairs)
            result.candidates.push_back(
                {j + 1, CheckField::Pairs, r.pairs, c.value, c.kind, result.rmsM, std::sqrt(c.sse / n), 0});
    }
    return result;
}

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// The plan's misclosures at the known points under the walk's error model, and how one changed
// reading would change them.
#pragma once

#include "compute/blunder_check.h"

#include <array>
#include <complex>
#include <span>
#include <vector>

namespace zelt::compute {

/// A known point on the ground: where row `row` (1-based) stands on the unfitted route, and
/// where it is, metres east and north at the map's scale.
struct KnownGround {
    int row = 0;
    std::complex<double> route;  ///< east + i north, unfitted
    std::complex<double> known;
};

/// The misclosures of a placement on known points, weighed by their covariance: each known
/// point's own error, and the route's compass and pace errors carried along to it. The
/// placement is the least-squares similarity; a hypothesis that moves every point after some
/// row by one vector is weighed in O(1) from sums over the later points.
class PlanMisclosure {
public:
    /// `known` sorted by row, at least three at different spots; `legs[i]` is the 2x2
    /// covariance (east, north) of row i+1's leg end relative to its start; `linear` the
    /// placement's [a -b; b a] as (a, b); `knownSigmaM` each known coordinate's deviation.
    PlanMisclosure(std::span<const KnownGround> known, std::span<const std::array<double, 3>> legs,
                   std::complex<double> linear, double knownSigmaM);

    double chi2() const { return m_chi2; }
    int dof() const { return 2 * int(m_known.size()) - 4; }
    /// The plain rms of the least-squares placement, metres.
    double rms() const { return m_rms; }
    /// The first known point moved by a change of row `row` (1-based): the one after it;
    /// size() when none is.
    std::size_t firstMovedBy(int row) const;
    std::size_t size() const { return m_known.size(); }
    const KnownGround& point(std::size_t i) const { return m_known[i]; }
    /// Weighted sum of squares (the weighted placement fitted again, exactly) and plain rms when
    /// the unfitted route from known point `from` on moves by `d` metres.
    double chi2Moved(std::size_t from, std::complex<double> d) const;
    double rmsMoved(std::size_t from, std::complex<double> d) const;
    /// The smallest shift of the points from `from` on that gives the noncentrality `lambda`,
    /// in the least favourable direction.
    double minimalDetectable(std::size_t from, double lambda) const;
    /// The plain rms the error model expects of the placement without a blunder, metres.
    double expectedRms() const { return m_expectedRms; }

private:
    std::vector<KnownGround> m_known;
    std::complex<double> m_linear;
    double m_chi2 = 0, m_rms = 0, m_expectedRms = 0;
    // For each suffix of known points: sum of (P w) over it, and the 2x2 sum of P over its pairs
    // (xx, xy, yy), P the residual's weight matrix.
    std::vector<std::complex<double>> m_g;
    std::vector<std::array<double, 3>> m_s;
    // Plain sums for the unweighted rms (about the first point).
    struct Sums {
        double n = 0;
        std::complex<double> sz, sw, szw;
        double szz = 0, sww = 0;
    };
    std::vector<Sums> m_suffix;
    // For the exact weighted test of a moved suffix: W the inverse covariance, M the design.
    struct Exact {
        std::array<double, 8> mtc{};  ///< sum over the suffix's columns of M^T W, 4 x 2 row-major
        std::array<double, 3> sw{};   ///< the suffix's 2x2 sum of W (xx, xy, yy)
        std::array<double, 2> gw{};   ///< the suffix's sum of W w
    };
    std::vector<Exact> m_exact;
    std::array<double, 16> m_n0{};    ///< M^T W M
    std::array<double, 4> m_b0{};     ///< M^T W w
    double m_wWw = 0;
};

/// A typical misreading of a value: what it would then have been, and how often it happens
/// relative to the others (the prior the suspects are ranked with).
struct Misreading {
    double value = 0;
    BlunderKind kind = BlunderKind::None;
    double prior = 0;
};

/// The values a typical misreading of `value` gives, each once: Azimuth reversed (+-180, prior
/// 3), swapped digits (read as three digits, 045; 1 each), +-10 degrees (1 each), +-100 degrees
/// (0.5 each), all normalised to 0..359; Pairs tally +-10 (2 each), +-20 (0.5 each), swapped
/// digits of the whole part (1 each); Procent lost sign (3), swapped digits (1 each);
/// Altimeter +-10 to +-90 metres in steps of 10 and +-100 (0.5 each). Only values the field can
/// hold. When two kinds give one value, their priors add and the likelier kind names it.
std::vector<Misreading> typicalMisreadings(CheckField field, double value);

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the blunder: the route's misclosures weighed by the walk's own error model, and the
// single misread reading that explains them best, with its probability.
#include "compute/blunder_check.h"

#include "compute/field_rules.h"
#include "compute/plan_blunders.h"
#include "compute/route_fit.h"
#include "compute/route_geometry.h"
#include "compute/route_placement.h"
#include "document/traverse_schema.h"
#include "document/traverse_table.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace zelt::compute {

using zelt::document::Diagnostic;

namespace {

/// More distinct known points than this leave the plan unchecked: the weighted test works on
/// a dense matrix of twice their number.
constexpr std::size_t kMaxPlanPoints = 400;

/// A leg's walked length exactly as the route (and so the fit) lays it out.
double walkedM(double pairs, double pairsPer100m)
{
    return legLengthM(pairs, 0, pairsPer100m, LegLengths::Walked).value_or(0.0);
}

double gainM(double pairs, int procent, double pairsPer100m)
{
    const auto leg = legProjection(pairs, procent, pairsPer100m);
    return leg ? leg->g : 0.0;
}

/// The height stretches with their tests, and what a changed reading does to their weighted sum
/// of squares. Two stretches meeting at a reading share its error: the misclosures' covariance
/// is tridiagonal with -sigma_a^2 beside the diagonal.
struct HeightModel {
    std::vector<HeightStretch> stretches;
    std::vector<double> y;         ///< Sigma^-1 d
    std::vector<double> invDiag;   ///< (Sigma^-1)_kk
    std::vector<double> invNext;   ///< (Sigma^-1)_k,k+1
    std::vector<int> stretchOfRow; ///< 0-based row -> the stretch its leg is in, -1 none
    std::vector<int> endingAt;     ///< 0-based row -> the stretch its reading ends, -1 none
    double chi2 = 0;
    double sumSquares = 0;
    int flaggedCount = 0;

    double rmsWith(int k, double dk, int l = -1, double dl = 0) const
    {
        double s = sumSquares;
        const auto swap = [&](int i, double delta) {
            if (i >= 0) {
                const double d = stretches[std::size_t(i)].differenceM;
                s += (d + delta) * (d + delta) - d * d;
            }
        };
        swap(k, dk);
        swap(l, dl);
        return std::sqrt(std::max(0.0, s) / double(stretches.size()));
    }
    /// The weighted sum of squares with stretch k's difference changed by dk (and l's by dl, l = k+1).
    double chi2With(int k, double dk, int l = -1, double dl = 0) const
    {
        double c = chi2;
        if (k >= 0)
            c += 2 * dk * y[std::size_t(k)] + dk * dk * invDiag[std::size_t(k)];
        if (l >= 0)
            c += 2 * dl * y[std::size_t(l)] + dl * dl * invDiag[std::size_t(l)];
        if (k >= 0 && l == k + 1)
            c += 2 * dk * dl * invNext[std::size_t(k)];
        return std::max(0.0, c);
    }
    /// How many stretches are flagged with those changes.
    int flaggedWith(int k, double dk, int l = -1, double dl = 0) const
    {
        int count = flaggedCount;
        const auto redo = [&](int i, double delta) {
            if (i < 0)
                return;
            const HeightStretch& s = stretches[std::size_t(i)];
            count += int(std::fabs(s.differenceM + delta) > s.toleranceM) - int(s.flagged);
        };
        redo(k, dk);
        redo(l, dl);
        return count;
    }
};

HeightModel heightModel(std::span<const CheckRow> rows, double pairsPer100m, const CheckOptions& o, double z,
                        double zPower)
{
    HeightModel h;
    h.stretchOfRow.assign(rows.size(), -1);
    h.endingAt.assign(rows.size(), -1);
    std::optional<std::size_t> from;
    double rise = 0, length = 0, variance = 0;
    const double sa2 = o.altimeterSigmaM * o.altimeterSigmaM;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (from) {
            const double walked = walkedM(rows[i].pairs, pairsPer100m);
            const double g = gainM(rows[i].pairs, rows[i].procent, pairsPer100m);
            rise += g;
            length += walked;
            // A slope read off by sigma_s changes the leg's gain by about its length times it;
            // a pace error changes the gain in proportion.
            variance += (o.slopeSigma * walked) * (o.slopeSigma * walked) + (o.paceSigma * g) * (o.paceSigma * g);
            h.stretchOfRow[i] = int(h.stretches.size());
        }
        if (!rows[i].altimeter)
            continue;
        if (from) {
            HeightStretch s;
            s.fromRow = int(*from) + 1;
            s.toRow = int(i) + 1;
            s.slopeRiseM = rise;
            s.altimeterRiseM = *rows[i].altimeter - *rows[*from].altimeter;
            s.differenceM = s.slopeRiseM - s.altimeterRiseM;
            s.lengthM = length;
            s.sigmaM = std::sqrt(2 * sa2 + variance);
            s.toleranceM = z * s.sigmaM;
            s.mdbM = (z + zPower) * s.sigmaM;
            s.flagged = std::fabs(s.differenceM) > s.toleranceM;
            h.endingAt[i] = int(h.stretches.size());
            h.stretches.push_back(s);
        } else {
            // Legs before the first reading are in no stretch.
            for (std::size_t j = 0; j < i; ++j)
                h.stretchOfRow[j] = -1;
        }
        from = i;
        rise = length = variance = 0;
    }
    // Legs after the last reading are in no stretch either.
    for (std::size_t i = rows.size(); i-- > 0 && !rows[i].altimeter;)
        h.stretchOfRow[i] = -1;
    const std::size_t n = h.stretches.size();
    if (n == 0)
        return h;
    // L D L^T of the tridiagonal covariance (diagonal a, beside it b = -sigma_a^2); the
    // inverse's diagonal and off-diagonal from the forward pivots D and the backward ones E.
    std::vector<double> a(n), dv(n), e(n);
    for (std::size_t k = 0; k < n; ++k)
        a[k] = h.stretches[k].sigmaM * h.stretches[k].sigmaM;
    const double b = -sa2;
    dv[0] = a[0];
    for (std::size_t k = 1; k < n; ++k)
        dv[k] = a[k] - b * b / dv[k - 1];
    e[n - 1] = a[n - 1];
    for (std::size_t k = n - 1; k-- > 0;)
        e[k] = a[k] - b * b / e[k + 1];
    std::vector<double> u(n);
    for (std::size_t k = 0; k < n; ++k)
        u[k] = h.stretches[k].differenceM - (k ? b / dv[k - 1] * u[k - 1] : 0.0);
    h.y.assign(n, 0.0);
    for (std::size_t k = n; k-- > 0;)
        h.y[k] = u[k] / dv[k] - (k + 1 < n ? b / dv[k] * h.y[k + 1] : 0.0);
    h.invDiag.resize(n);
    h.invNext.assign(n, 0.0);
    for (std::size_t k = 0; k < n; ++k)
        h.invDiag[k] = 1.0 / (dv[k] + e[k] - a[k]);
    for (std::size_t k = 0; k + 1 < n; ++k)
        h.invNext[k] = -b / dv[k] * h.invDiag[k + 1];
    for (std::size_t k = 0; k < n; ++k) {
        h.chi2 += h.stretches[k].differenceM * h.y[k];
        h.sumSquares += h.stretches[k].differenceM * h.stretches[k].differenceM;
        h.flaggedCount += int(h.stretches[k].flagged);
    }
    h.chi2 = std::max(0.0, h.chi2);
    return h;
}

/// The plan placed as the fit places it, with its weighted misclosure; nothing (and a note)
/// when it cannot be checked.
struct PlanModel {
    std::optional<PlanMisclosure> misclosure;
    double limit = 0;
    std::vector<GroundPointM> ends;
};

PlanModel planModel(std::span<const CheckRow> rows, double pairsPer100m, const zelt::document::KnownPoints& known,
                    const CheckOptions& o, CheckReport& report)
{
    PlanModel plan;
    if (known.points.empty()) {
        report.notes.push_back(Diagnostic::note("the plan is not checked: that needs known points at three or more "
                                                "spots of the route, the table has none"));
        return plan;
    }
    std::vector<RouteRow> routeRows(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        routeRows[i].azimuth = rows[i].azimuth;
        routeRows[i].lengthM = walkedM(rows[i].pairs, pairsPer100m);
    }
    plan.ends = rowEndPointsM(routeRows);
    FitReport fit;
    std::vector<FitPair> pairs;
    try {
        pairs = knownPointPairsOn(plan.ends, known, known.mapScale);
        fit = fitRoute(pairs, pairsPer100m, known.mapScale, routeExtentMm(plan.ends, known.mapScale));
    } catch (const FitError& e) {
        std::string why = e.what();
        if (!why.empty() && why.back() == '.')
            why.pop_back();
        if (!why.empty())
            why[0] = char(std::tolower(static_cast<unsigned char>(why[0])));
        report.notes.push_back(Diagnostic::warning("the plan is not checked: " + why));
        return plan;
    }
    if (fit.distinctPoints < 3) {
        report.notes.push_back(Diagnostic::note("the plan is not checked: that needs known points at three or more "
                                                "spots of the route, the table has "
                                                + std::to_string(fit.distinctPoints)));
        return plan;
    }
    if (std::size_t(fit.distinctPoints) > kMaxPlanPoints) {
        report.notes.push_back(Diagnostic::note("the plan is not checked: it weighs at most "
                                                + std::to_string(kMaxPlanPoints) + " known points, the table has "
                                                + std::to_string(fit.distinctPoints)));
        return plan;
    }
    const double metresPerMm = known.mapScale / 1000.0;
    std::vector<KnownGround> ground;
    for (std::size_t i : distinctSpotPairs(pairs, routeExtentMm(plan.ends, known.mapScale))) {
        const FitPair& p = pairs[i];
        ground.push_back({p.row, {p.route.x * metresPerMm, p.route.y * metresPerMm},
                          {p.known.x * metresPerMm, p.known.y * metresPerMm}});
    }
    std::stable_sort(ground.begin(), ground.end(), [](const KnownGround& a, const KnownGround& b) { return a.row < b.row; });
    // Each leg's end moves relative to its start by the pace error along the leg and the
    // compass error across it.
    const double compassRad = o.compassSigmaDeg * std::numbers::pi / 180.0;
    std::vector<std::array<double, 3>> legs(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double l = walkedM(rows[i].pairs, pairsPer100m);
        const double t = double(rows[i].azimuth) * std::numbers::pi / 180.0;
        const double ux = std::sin(t), uy = std::cos(t);
        const double along = (o.paceSigma * l) * (o.paceSigma * l), across = (compassRad * l) * (compassRad * l);
        legs[i] = {along * ux * ux + across * uy * uy, (along - across) * ux * uy, along * uy * uy + across * ux * ux};
    }
    try {
        plan.misclosure.emplace(ground, legs, std::complex<double>(fit.placement.a, fit.placement.b), o.knownSigmaM);
    } catch (const std::exception& e) {
        report.notes.push_back(Diagnostic::warning(std::string("the plan is not checked: ") + e.what()));
        return plan;
    }
    const PlanMisclosure& m = *plan.misclosure;
    plan.limit = chi2UpperQuantileEven(m.dof(), o.significance);
    report.planRmsM = fit.rmsM;
    report.planChi2 = m.chi2();
    report.planChi2Limit = plan.limit;
    report.planDof = m.dof();
    report.planFlagged = m.chi2() > plan.limit;
    // The rms at which misclosures of this shape reach the limit (the shape the model expects
    // when there are none).
    report.planToleranceM = m.chi2() > 1e-12 ? fit.rmsM * std::sqrt(plan.limit / m.chi2())
                                              : m.expectedRms() * std::sqrt(plan.limit / double(m.dof()));
    return plan;
}

/// The noncentrality a chi-squared test with `dof` degrees at `limit` needs to be passed with
/// probability `power` (normal approximation of the noncentral distribution).
double noncentralityFor(int dof, double limit, double power)
{
    const double zp = power > 0.5 ? twoSidedNormalQuantile(2 * (1 - power)) : -twoSidedNormalQuantile(2 * power);
    double lo = 0, hi = 1e6;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double mean = dof + mid, sd = std::sqrt(2 * (dof + 2 * mid));
        (mean - zp * sd > limit ? hi : lo) = mid;
    }
    return hi;
}

void describePlanStretches(std::span<const CheckRow> rows, double pairsPer100m, const PlanMisclosure& m,
                           double lambda, CheckReport& report)
{
    const auto walkedBetween = [&](int fromRow, int toRow) {
        // Legs of rows fromRow .. toRow-1 lie between the points of those rows.
        double s = 0;
        for (int r = std::max(1, fromRow); r < toRow && r <= int(rows.size()); ++r)
            s += walkedM(rows[std::size_t(r - 1)].pairs, pairsPer100m);
        return s;
    };
    for (std::size_t k = 0; k + 1 < m.size(); ++k) {
        PlanStretch s;
        s.fromRow = m.point(k).row;
        s.toRow = m.point(k + 1).row;
        s.lengthM = walkedBetween(s.fromRow, s.toRow);
        s.mdbM = m.minimalDetectable(k + 1, lambda);
        report.planStretches.push_back(s);
    }
    const int lastRow = int(rows.size()) + 1;
    const double before = walkedBetween(1, m.point(0).row), after = walkedBetween(m.point(m.size() - 1).row, lastRow);
    if (before > 0 || after > 0) {
        report.suggestedKnownRow = before >= after ? 1 : lastRow;
        return;
    }
    const PlanStretch* worst = nullptr;
    for (const PlanStretch& s : report.planStretches)
        if (s.toRow - s.fromRow > 1 && (!worst || s.mdbM > worst->mdbM))
            worst = &s;
    if (!worst)
        return;
    double half = 0.5 * worst->lengthM, walked = 0;
    int row = worst->fromRow + 1;
    for (; row < worst->toRow - 1; ++row) {
        walked += walkedM(rows[std::size_t(row - 2)].pairs, pairsPer100m);
        if (walked >= half)
            break;
    }
    report.suggestedKnownRow = row;
}

/// One hypothesis: a reading and the value it is taken to have been.
struct Hypothesis {
    Suspect suspect;
    double logWeight = 0;  ///< log(prior) - chi2 / 2
    bool detectable = false;
};

}  // namespace

double twoSidedNormalQuantile(double alpha)
{
    double lo = 0, hi = 40;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (std::erfc(mid / std::numbers::sqrt2) > alpha ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double chi2UpperQuantileEven(int dof, double alpha)
{
    // For 2m degrees P(X > x) = exp(-x/2) sum_{i<m} (x/2)^i / i!, decreasing in x.
    const int m = std::max(1, dof / 2);
    const auto upper = [m](double x) {
        double term = 1, sum = 1;
        for (int i = 1; i < m; ++i) {
            term *= (x / 2) / i;
            sum += term;
        }
        return std::exp(-x / 2 + std::log(sum));
    };
    double lo = 0, hi = 10.0 * (dof + 40);
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (upper(mid) > alpha ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

bool CheckReport::flagged() const
{
    return planFlagged
           || std::any_of(stretches.begin(), stretches.end(), [](const HeightStretch& s) { return s.flagged; });
}

CheckReport checkTraverse(std::span<const CheckRow> rows, double pairsPer100m,
                          const zelt::document::KnownPoints& known, const CheckOptions& options)
{
    if (!isUsablePairsRatio(pairsPer100m))
        throw FitError(pairsRatioMessage(pairsPer100m));
    // One unreadable number would turn every sum into NaN and the check into silence.
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!std::isfinite(rows[i].pairs) || rows[i].pairs < 0 || (rows[i].altimeter && !std::isfinite(*rows[i].altimeter)))
            throw FitError("Row " + std::to_string(i + 1) + " holds a length or altimeter reading that is not a number.");
    const CheckOptions& o = options;
    if (!(o.significance > 0 && o.significance < 1) || !(o.power > 0 && o.power < 1) || !(o.knownSigmaM > 0)
        || !(o.altimeterSigmaM > 0) || !(o.compassSigmaDeg >= 0) || !(o.paceSigma >= 0) || !(o.slopeSigma >= 0))
        throw FitError("The check's standard deviations must be positive and its levels between 0 and 1.");
    const double z = twoSidedNormalQuantile(o.significance);
    const double zPower = twoSidedNormalQuantile(2 * (1 - o.power));

    CheckReport report;
    const HeightModel heights = heightModel(rows, pairsPer100m, o, z, zPower);
    report.stretches = heights.stretches;
    const PlanModel plan = planModel(rows, pairsPer100m, known, o, report);
    const PlanMisclosure* m = plan.misclosure ? &*plan.misclosure : nullptr;
    if (m)
        describePlanStretches(rows, pairsPer100m, *m, noncentralityFor(m->dof(), plan.limit, o.power), report);

    const double chi2Before = (m ? m->chi2() : 0.0) + heights.chi2;
    const double heightRms = heights.stretches.empty() ? 0.0 : heights.rmsWith(-1, 0);
    std::vector<Hypothesis> all;
    double undetectableMass = 0;  // priors of hypotheses the data cannot tell from no blunder
    const auto consider = [&](Suspect s, double prior, bool detectable, double planChi2, double heightChi2,
                              bool explains) {
        if (!detectable) {
            undetectableMass += prior;
            return;
        }
        s.chi2After = planChi2 + heightChi2;
        s.explains = explains;
        all.push_back({s, std::log(prior) - 0.5 * (s.chi2After - chi2Before), true});
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CheckRow& r = rows[i];
        const int row = int(i) + 1;
        const double length = walkedM(r.pairs, pairsPer100m);
        const std::size_t moved = m ? m->firstMovedBy(row) : 0;
        const bool planSees = m && moved > 0 && moved < m->size();
        const int stretch = heights.stretchOfRow[i];
        const double planChi2 = m ? m->chi2() : 0.0, planRms = report.planRmsM.value_or(0.0);
        const auto planPasses = [&](double c) { return !m || c <= plan.limit; };
        const double t = double(r.azimuth) * std::numbers::pi / 180.0;
        const std::complex<double> u(std::sin(t), std::cos(t));

        for (const Misreading& alt : typicalMisreadings(CheckField::Azimuth, r.azimuth)) {
            Suspect s{row, CheckField::Azimuth, double(r.azimuth), alt.value, alt.kind, planRms, planRms};
            const double ta = alt.value * std::numbers::pi / 180.0;
            const std::complex<double> d = length * (std::complex<double>(std::sin(ta), std::cos(ta)) - u);
            const bool seen = planSees && std::abs(d) > 0;
            const double c = seen ? m->chi2Moved(moved, d) : planChi2;
            if (seen)
                s.rmsAfterM = m->rmsMoved(moved, d);
            consider(s, alt.prior, seen, c, heights.chi2, planPasses(c) && heights.flaggedCount == 0);
        }
        for (const Misreading& alt : typicalMisreadings(CheckField::Pairs, r.pairs)) {
            const bool planUsed = m != nullptr;
            Suspect s{row, CheckField::Pairs, r.pairs, alt.value, alt.kind, planUsed ? planRms : heightRms,
                      planUsed ? planRms : heightRms};
            const std::complex<double> d = walkedM(alt.value - r.pairs, pairsPer100m) * u;
            const bool planSeen = planSees && std::abs(d) > 0;
            const double c = planSeen ? m->chi2Moved(moved, d) : planChi2;
            const double dg = stretch >= 0 ? gainM(alt.value, r.procent, pairsPer100m) - gainM(r.pairs, r.procent, pairsPer100m) : 0.0;
            const bool heightSeen = stretch >= 0 && dg != 0;
            if (planSeen)
                s.rmsAfterM = m->rmsMoved(moved, d);
            else if (!planUsed && heightSeen)
                s.rmsAfterM = heights.rmsWith(stretch, dg);
            consider(s, alt.prior, planSeen || heightSeen, c, heightSeen ? heights.chi2With(stretch, dg) : heights.chi2,
                     planPasses(c) && (heightSeen ? heights.flaggedWith(stretch, dg) : heights.flaggedCount) == 0);
        }
        for (const Misreading& alt : typicalMisreadings(CheckField::Procent, r.procent)) {
            Suspect s{row, CheckField::Procent, double(r.procent), alt.value, alt.kind, heightRms, heightRms};
            const double dg = stretch >= 0 ? gainM(r.pairs, int(alt.value), pairsPer100m) - gainM(r.pairs, r.procent, pairsPer100m) : 0.0;
            const bool seen = stretch >= 0 && dg != 0;
            if (seen)
                s.rmsAfterM = heights.rmsWith(stretch, dg);
            consider(s, alt.prior, seen, planChi2, seen ? heights.chi2With(stretch, dg) : heights.chi2,
                     planPasses(planChi2) && (seen ? heights.flaggedWith(stretch, dg) : heights.flaggedCount) == 0);
        }
        if (r.altimeter) {
            // A reading ends the stretch before it and begins the one after: a misread reading
            // leaves equal and opposite differences in the two.
            const int ending = heights.endingAt[i];
            const int before = ending;
            const int after = ending >= 0 ? (std::size_t(ending + 1) < heights.stretches.size() ? ending + 1 : -1)
                                          : (heights.stretches.empty() || heights.stretches.front().fromRow != row ? -1 : 0);
            for (const Misreading& alt : typicalMisreadings(CheckField::Altimeter, *r.altimeter)) {
                Suspect s{row, CheckField::Altimeter, *r.altimeter, alt.value, alt.kind, heightRms, heightRms};
                const double delta = alt.value - *r.altimeter;
                const bool seen = before >= 0 || after >= 0;
                const int k = before >= 0 ? before : after, l = before >= 0 ? after : -1;
                const double dk = before >= 0 ? -delta : delta, dl = delta;
                if (seen)
                    s.rmsAfterM = heights.rmsWith(k, dk, l, dl);
                consider(s, alt.prior, seen, planChi2, seen ? heights.chi2With(k, dk, l, dl) : heights.chi2,
                         planPasses(planChi2) && (seen ? heights.flaggedWith(k, dk, l, dl) : heights.flaggedCount) == 0);
            }
        }
    }
    if (!report.flagged() || all.empty())
        return report;
    // The probability of each hypothesis given that one reading was misread: prior times
    // likelihood, normalised over every hypothesis tried, those the data cannot see included.
    double top = std::log(std::max(undetectableMass, 1e-300));
    for (const Hypothesis& h : all)
        top = std::max(top, h.logWeight);
    double total = undetectableMass > 0 ? std::exp(std::log(undetectableMass) - top) : 0.0;
    for (const Hypothesis& h : all)
        total += std::exp(h.logWeight - top);
    for (Hypothesis& h : all)
        h.suspect.probability = std::exp(h.logWeight - top) / total;
    std::stable_sort(all.begin(), all.end(), [](const Hypothesis& a, const Hypothesis& b) {
        return a.logWeight > b.logWeight;
    });
    // Equal probabilities (to rounding) share a rank; whole ties are kept past maxSuspects.
    const auto equal = [](const Hypothesis& a, const Hypothesis& b) {
        return std::fabs(a.logWeight - b.logWeight) <= 1e-9 * std::max(1.0, std::fabs(a.logWeight));
    };
    for (std::size_t i = 0; i < all.size(); ++i) {
        const bool tie = i > 0 && equal(all[i], all[i - 1]);
        // Readings with no real chance are not worth a look, once one suspect is listed.
        if (!tie && (i >= options.maxSuspects || (i > 0 && all[i].suspect.probability < options.minProbability)))
            break;
        Suspect s = all[i].suspect;
        s.rank = i == 0 ? 1 : equal(all[i], all[i - 1]) ? report.suspects.back().rank : report.suspects.back().rank + 1;
        report.suspects.push_back(s);
    }
    return report;
}

std::vector<CheckRow> checkRowsOf(const zelt::document::TraverseTable& table)
{
    using namespace zelt::document::fields;
    const int azimuth = table.fieldIndex(kAzimuth), pairs = table.fieldIndex(kPairs);
    const int procent = table.fieldIndex(kProcent), altimeter = table.fieldIndex(kAltimeter);
    const auto number = [&](int row, int field) {
        return field < 0 ? std::nullopt : zelt::document::numberOf(table.valueAt(row, field));
    };
    std::vector<CheckRow> rows(std::size_t(std::max(0, table.rowCount())));
    for (int i = 0; i < int(rows.size()); ++i) {
        CheckRow& r = rows[std::size_t(i)];
        // Whole-degree and whole-percent fields; a float read rounds half to even, as the
        // route geometry reads them.
        r.azimuth = std::int32_t(std::nearbyint(number(i, azimuth).value_or(0.0)));
        r.pairs = number(i, pairs).value_or(0.0);
        r.procent = std::int32_t(std::nearbyint(number(i, procent).value_or(0.0)));
        r.altimeter = number(i, altimeter);
    }
    return rows;
}

const char* fieldName(CheckField field)
{
    switch (field) {
    case CheckField::Azimuth: return "Azimuth";
    case CheckField::Pairs: return "Pairs";
    case CheckField::Procent: return "Procent";
    case CheckField::Altimeter: return "Altimeter";
    }
    return "";
}

const char* kindName(BlunderKind kind)
{
    switch (kind) {
    case BlunderKind::None: return "";
    case BlunderKind::Reversed: return "reversed";
    case BlunderKind::SwappedDigits: return "swapped digits";
    case BlunderKind::Tally: return "tally";
    case BlunderKind::TenDegrees: return "ten degrees";
    case BlunderKind::HundredDegrees: return "hundred degrees";
    case BlunderKind::LostSign: return "lost sign";
    case BlunderKind::Misread: return "misread";
    }
    return "";
}

}  // namespace zelt::compute

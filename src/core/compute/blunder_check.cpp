// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the blunder: slopes against the altimeter, the suspects of both checks and their ranks.
#include "compute/blunder_check.h"

#include "compute/field_rules.h"
#include "compute/plan_blunders.h"
#include "compute/route_fit.h"
#include "document/traverse_schema.h"
#include "document/traverse_table.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace zelt::compute {

using zelt::document::Diagnostic;

namespace {

double walkedM(const CheckRow& r, double pairsPer100m) { return r.pairs / pairsPer100m * 100.0; }

double gainM(const CheckRow& r, int procent, double pairsPer100m)
{
    const auto leg = legProjection(r.pairs, procent, pairsPer100m);
    return leg ? leg->g : 0.0;
}

std::vector<HeightStretch> heightStretches(std::span<const CheckRow> rows, double pairsPer100m,
                                           const CheckOptions& o)
{
    std::vector<HeightStretch> out;
    std::optional<std::size_t> from;
    double rise = 0, length = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (from) {
            rise += gainM(rows[i], rows[i].procent, pairsPer100m);
            length += walkedM(rows[i], pairsPer100m);
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
            s.toleranceM = o.heightToleranceM + o.heightTolerancePerM * length;
            s.flagged = std::fabs(s.differenceM) > s.toleranceM;
            out.push_back(s);
        }
        from = i;
        rise = length = 0;
    }
    return out;
}

/// The whole-percent slope of a leg walked `lengthM` that gains `gainM`; none when the leg is
/// too short for that gain or the slope is beyond the field's range.
std::optional<int> procentFor(double gainM, double lengthM)
{
    if (!(std::fabs(gainM) < lengthM))
        return std::nullopt;
    const double p = std::round(100.0 * std::tan(std::asin(gainM / lengthM)));
    if (!(std::fabs(p) <= 150))
        return std::nullopt;
    return int(p);
}

/// A suspect with the rms difference below which another explains the misclosure as well.
struct Ranked {
    Suspect suspect;
    double tieBandM = 0;
};

/// For every flagged stretch and every leg in it: the Procent that best closes the stretch on
/// the altimeter, the others unchanged. The rms is over the differences of all stretches. Any
/// leg long enough can close a stretch, and the readings cannot tell apart legs that close it
/// within its tolerance: that is the tie band.
std::vector<Ranked> procentCandidates(std::span<const CheckRow> rows, double pairsPer100m,
                                      const std::vector<HeightStretch>& stretches)
{
    double sumSquares = 0;
    for (const HeightStretch& s : stretches)
        sumSquares += s.differenceM * s.differenceM;
    const double n = double(stretches.size());
    const double rmsBefore = std::sqrt(sumSquares / n);
    std::vector<Ranked> out;
    for (const HeightStretch& s : stretches) {
        if (!s.flagged)
            continue;
        const auto rmsWith = [&](double difference) {
            return std::sqrt(std::max(0.0, sumSquares - s.differenceM * s.differenceM + difference * difference) / n);
        };
        for (int row = s.fromRow + 1; row <= s.toRow; ++row) {
            const CheckRow& r = rows[std::size_t(row - 1)];
            const double g = gainM(r, r.procent, pairsPer100m);
            const auto differenceWith = [&](int procent) { return s.differenceM - g + gainM(r, procent, pairsPer100m); };
            const auto best = procentFor(g - s.differenceM, walkedM(r, pairsPer100m));
            if (!best || *best == r.procent)
                continue;
            Suspect c{row, CheckField::Procent, double(r.procent), double(*best), BlunderKind::None, rmsBefore,
                      rmsWith(differenceWith(*best)), 0};
            // A typical misreading is named when it closes the stretch nearly as well: within
            // half of what the stretch may miss by.
            double typicalMiss = HUGE_VAL;
            for (const auto& [v, kind] : typicalMisreadings(CheckField::Procent, r.procent)) {
                const double miss = std::fabs(differenceWith(int(v)));
                if (miss < typicalMiss && miss <= std::fabs(differenceWith(*best)) + 0.5 * s.toleranceM) {
                    typicalMiss = miss;
                    c.suggested = v;
                    c.kind = kind;
                    c.rmsAfterM = rmsWith(differenceWith(int(v)));
                }
            }
            if (std::fabs(differenceWith(int(c.suggested))) <= s.toleranceM)
                out.push_back({c, rmsWith(s.toleranceM) - rmsWith(0)});
        }
    }
    return out;
}

/// Best first, rank by rank: suspects within their group best's tie band share its rank (they
/// explain the misclosure equally well), a named blunder listed first within it. Whole groups
/// are kept up to `maxSuspects`, so a tie is never cut.
std::vector<Suspect> rankSuspects(std::vector<Ranked> ranked, std::size_t maxSuspects)
{
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const Ranked& a, const Ranked& b) { return a.suspect.rmsAfterM < b.suspect.rmsAfterM; });
    std::vector<Suspect> out;
    for (std::size_t start = 0; start < ranked.size() && out.size() < maxSuspects;) {
        const Ranked& best = ranked[start];
        std::size_t end = start + 1;
        while (end < ranked.size() && ranked[end].suspect.rmsAfterM <= best.suspect.rmsAfterM + best.tieBandM)
            ++end;
        const int rank = out.empty() ? 1 : out.back().rank + 1;
        const std::size_t first = out.size();
        for (std::size_t k = start; k < end; ++k) {
            out.push_back(ranked[k].suspect);
            out.back().rank = rank;
        }
        std::stable_sort(out.begin() + std::ptrdiff_t(first), out.end(), [](const Suspect& a, const Suspect& b) {
            const bool na = a.kind != BlunderKind::None, nb = b.kind != BlunderKind::None;
            return na != nb ? na : a.row < b.row;
        });
        start = end;
    }
    return out;
}

/// The known points on the ground, sorted by row; a note and nothing when the plan cannot be
/// checked.
std::vector<KnownGround> knownOnGround(const zelt::document::KnownPoints& known, std::size_t rowCount,
                                       CheckReport& report)
{
    if (known.points.size() < 3) {
        report.notes.push_back(Diagnostic::note("the plan is not checked: that needs at least three known points, the "
                                                "table has " + std::to_string(known.points.size())));
        return {};
    }
    const double metresPerMm = known.mapScale / 1000.0;
    std::vector<KnownGround> out;
    for (const auto& p : known.points) {
        if (p.row < 1 || std::size_t(p.row) > rowCount) {
            report.notes.push_back(Diagnostic::warning("the plan is not checked: a known point is given for row "
                                                       + std::to_string(p.row) + ", but the table has "
                                                       + std::to_string(rowCount) + " rows", p.row));
            return {};
        }
        out.push_back({p.row - 1, p.xMm * metresPerMm, p.yMm * metresPerMm});
    }
    std::sort(out.begin(), out.end(), [](const KnownGround& a, const KnownGround& b) { return a.row < b.row; });
    return out;
}

}  // namespace

bool CheckReport::flagged() const
{
    return planFlagged || !suspects.empty()
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
    CheckReport report;
    report.stretches = heightStretches(rows, pairsPer100m, options);
    std::vector<Ranked> suspects;
    if (std::any_of(report.stretches.begin(), report.stretches.end(), [](const HeightStretch& s) { return s.flagged; }))
        suspects = procentCandidates(rows, pairsPer100m, report.stretches);

    const std::vector<KnownGround> ground = knownOnGround(known, rows.size(), report);
    if (!ground.empty()) {
        double walked = 0;
        for (int j = ground.front().row + 1; j <= ground.back().row; ++j)
            walked += walkedM(rows[std::size_t(j)], pairsPer100m);
        report.planToleranceM =
            options.planToleranceM + options.planTolerancePerM * walked / double(ground.size() - 1);
        PlanCheck plan = planCandidates(rows, pairsPer100m, ground);
        const double tie = tieFactor(ground.size());
        report.planRmsM = plan.rmsM;
        report.planFlagged = plan.rmsM > report.planToleranceM;
        // A reading explains the misclosure when changing it brings the fit within the
        // tolerance, or halves its rms where noise alone exceeds the tolerance.
        if (report.planFlagged)
            for (const Suspect& s : plan.candidates)
                if (s.rmsAfterM <= std::max(report.planToleranceM, 0.5 * plan.rmsM))
                    suspects.push_back({s, (tie - 1) * s.rmsAfterM + 0.05});
    }
    report.suspects = rankSuspects(std::move(suspects), options.maxSuspects);
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
    }
    return "";
}

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the blunder: the route's misclosures weighed by the walk's own error model, and the
// single misread reading that explains them best, with its probability.
#pragma once

#include "base/diagnostic.h"
#include "document/known_points.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zelt::document {
class TraverseTable;
}

namespace zelt::compute {

/// The readings of one row the check works on.
struct CheckRow {
    std::int32_t azimuth = 0;  ///< whole degrees clockwise from north
    double pairs = 0;          ///< pace pairs; an empty field counts as 0
    std::int32_t procent = 0;  ///< slope in percent
    std::optional<double> altimeter;
};

/// The walk's error model (one standard deviation each) and the test's levels. Compass and pace
/// errors of each leg are independent, so a position's error grows along the route and the
/// misclosures at known points are correlated; a compass offset and a pace factor common to
/// the whole walk are taken up by the placement's turn and scale.
struct CheckOptions {
    double compassSigmaDeg = 2.0;  ///< one azimuth reading
    double paceSigma = 0.03;       ///< share of each leg's walked length
    double knownSigmaM = 2.0;      ///< one coordinate of a known point, metres on the ground
    double altimeterSigmaM = 2.0;  ///< one altimeter reading
    double slopeSigma = 0.02;      ///< one slope reading (2 % = 0.02), on the leg's walked length
    double significance = 0.001;   ///< false-alarm rate of each test
    double power = 0.8;            ///< chance that a blunder of the minimal detectable size is flagged
    std::size_t maxSuspects = 10;  ///< listed at most, not counting ties with the last one
    double minProbability = 0.001; ///< suspects less likely are not listed (the likeliest always is)
};

/// The legs between two consecutive altimeter readings: rows after `fromRow` up to `toRow`.
struct HeightStretch {
    int fromRow = 0;             ///< 1-based row of the first reading
    int toRow = 0;               ///< 1-based row of the second reading
    double slopeRiseM = 0;       ///< sum of the legs' height gain G
    double altimeterRiseM = 0;   ///< second reading minus the first
    double differenceM = 0;      ///< slopeRiseM - altimeterRiseM
    double lengthM = 0;          ///< walked length of the stretch's legs
    double sigmaM = 0;           ///< the difference's standard deviation under the error model
    double toleranceM = 0;       ///< the test's limit: z(significance) * sigmaM
    double mdbM = 0;             ///< the smallest error in one of its slopes the test reveals (at `power`)
    bool flagged = false;        ///< |differenceM| > toleranceM
};

/// The legs between two consecutive known points (the rows whose readings move the later ones).
struct PlanStretch {
    int fromRow = 0;     ///< 1-based row of the first known point
    int toRow = 0;       ///< 1-based row of the next one
    double lengthM = 0;  ///< walked between them
    /// The smallest shift of the later route, in its least favourable direction, that the plan's
    /// test reveals at the options' power, metres on the ground. A misreading of one leg here
    /// moves the rest of the route by at least this much before it can be found.
    double mdbM = 0;
};

/// The reading a suspect is about. Stored in no file.
enum class CheckField { Azimuth, Pairs, Procent, Altimeter };

/// A typical misreading the suggested value matches.
enum class BlunderKind {
    None,
    Reversed,        ///< azimuth off by 180 degrees
    SwappedDigits,   ///< two digits of the reading exchanged (125 for 152)
    Tally,           ///< ten or twenty pairs too many or too few
    TenDegrees,      ///< azimuth off by 10 degrees
    HundredDegrees,  ///< azimuth off by 100 degrees
    LostSign,        ///< a slope with its sign lost
    Misread,         ///< an altimeter reading off by a whole 10 or 100 metres
};

/// One reading that, changed alone to `suggested`, is a typical misreading explaining the
/// misclosures.
struct Suspect {
    int row = 0;  ///< 1-based
    CheckField field = CheckField::Azimuth;
    double value = 0;
    double suggested = 0;
    BlunderKind kind = BlunderKind::None;
    /// Rms before and after the change, metres on the ground: for Azimuth and Pairs the rms of
    /// the placement on the known points (as the fit gives it), for Procent and Altimeter the
    /// rms of the height stretches' differences.
    double rmsBeforeM = 0;
    double rmsAfterM = 0;
    /// Weighted sum of squares of all misclosures (plan and heights) with the change made.
    double chi2After = 0;
    /// The chance that this is the misread reading, given that one reading of the kinds tried was
    /// misread: its prior times its likelihood under the error model, over all hypotheses.
    double probability = 0;
    /// Whether, with the change, no test flags anything.
    bool explains = false;
    /// 1 for the likeliest; only suspects of equal probability share a rank.
    int rank = 0;
};

/// What the check found. Suspects are ordered likeliest first.
struct CheckReport {
    std::vector<HeightStretch> stretches;
    std::vector<PlanStretch> planStretches;
    std::optional<double> planRmsM;   ///< the placement's rms, as the fit gives it; empty when not checked
    double planToleranceM = 0;        ///< the rms the plan's test allows for misclosures of this shape
    double planChi2 = 0;              ///< weighted sum of squares of the placement's misclosures
    double planChi2Limit = 0;         ///< the test's limit for planDof
    int planDof = 0;                  ///< 2 x distinct known points - 4
    bool planFlagged = false;         ///< planChi2 > planChi2Limit
    /// Where one more known point would help most (1-based row; row count + 1 is the route's
    /// end): readings before the first or after the last known point cannot be checked at all,
    /// else the middle of the stretch with the largest minimal detectable blunder.
    std::optional<int> suggestedKnownRow;
    std::vector<Suspect> suspects;    ///< empty when nothing is flagged
    zelt::document::Diagnostics notes;  ///< why a part was not checked

    bool flagged() const;
};

/// Checks the rows (table order) with their pace count and known points. The height stretches
/// need altimeter readings; the plan needs three known points at different spots, each on a row
/// of the table or the route's end (otherwise a note says why it was not checked). FitError
/// when the pace count is not usable, or a row's Pairs or Altimeter is not a finite number
/// (Pairs also when negative). The plan is placed as the fit places it (the same pairs and the
/// same least squares), each known point where its row's leg begins.
CheckReport checkTraverse(std::span<const CheckRow> rows, double pairsPer100m,
                          const zelt::document::KnownPoints& known, const CheckOptions& options = {});

/// The rows of `table` as the check reads them, by index (the cursor does not move).
std::vector<CheckRow> checkRowsOf(const zelt::document::TraverseTable& table);

/// "Azimuth", "Pairs", "Procent", "Altimeter": the field's name in the table.
const char* fieldName(CheckField field);
/// "reversed", "swapped digits", "tally", "ten degrees", "hundred degrees", "lost sign",
/// "misread", or "" for none.
const char* kindName(BlunderKind kind);

/// The value z with P(|Z| > z) = `alpha` for a standard normal Z.
double twoSidedNormalQuantile(double alpha);
/// The value x with P(X > x) = `alpha` for X chi-squared with an even number `dof` of degrees.
double chi2UpperQuantileEven(int dof, double alpha);

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// The one misread Azimuth or Pairs that best closes the route on its known points.
#pragma once

#include "compute/blunder_check.h"

#include <span>
#include <vector>

namespace zelt::compute {

/// A known point on the ground: the end point of row `row` (0-based) lies `east`/`north`
/// metres from the map's origin, at the map's scale.
struct KnownGround {
    int row = 0;
    double eastM = 0;
    double northM = 0;
};

/// For every row between the first and the last known point and for its Azimuth and its Pairs:
/// the value that, changed alone, leaves the least rms of the placement, or a typical
/// misreading when it leaves an rms within the tie factor of that. Rows are 1-based in the
/// result, `rank` is 0. `known` must be sorted by row, at least three points on rows of `rows`.
struct PlanCheck {
    double rmsM = 0;                 ///< the placement's rms as the readings stand
    std::vector<Suspect> candidates; ///< one per row and field that a change would improve
};
PlanCheck planCandidates(std::span<const CheckRow> rows, double pairsPer100m, std::span<const KnownGround> known);

/// How much larger an rms left by one hypothesis may be than another's and still explain the
/// misclosure as well, given `knownPoints` points: the fit's noise cannot tell them apart.
double tieFactor(std::size_t knownPoints);

/// The values a typical misreading of `value` gives: Reversed (Azimuth +-180, normalised to
/// 0..359; Procent's sign), SwappedDigits (two digits of the whole part exchanged; an azimuth
/// is read as three digits, 045), Tally (Pairs +-10). Only values the field can hold.
std::vector<std::pair<double, BlunderKind>> typicalMisreadings(CheckField field, double value);

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the blunder: slopes against the altimeter, and the one misread leg between known points.
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

/// How far a traverse may miss before the check flags it. Each tolerance is a fixed part plus a
/// share of a distance walked, because reading errors come with each reading and pacing and
/// slope errors grow with the distance.
struct CheckOptions {
    double heightToleranceM = 3.0;        ///< fixed part of a stretch's allowed height difference
    double heightTolerancePerM = 0.01;    ///< plus this share of the stretch's walked length
    double planToleranceM = 3.0;          ///< fixed part of the fit's allowed rms on the ground
    double planTolerancePerM = 0.01;      ///< plus this share of the mean walk between known points
    std::size_t maxSuspects = 10;         ///< listed at most, not counting ties with the last one
};

/// The legs between two consecutive altimeter readings: rows after `fromRow` up to `toRow`.
struct HeightStretch {
    int fromRow = 0;             ///< 1-based row of the first reading
    int toRow = 0;               ///< 1-based row of the second reading
    double slopeRiseM = 0;       ///< sum of the legs' height gain G
    double altimeterRiseM = 0;   ///< second reading minus the first
    double differenceM = 0;      ///< slopeRiseM - altimeterRiseM
    double lengthM = 0;          ///< walked length of the stretch's legs
    double toleranceM = 0;
    bool flagged = false;        ///< |differenceM| > toleranceM
};

/// The reading a suspect is about. Stored in no file.
enum class CheckField { Azimuth, Pairs, Procent };

/// A typical misreading the suggested value matches.
enum class BlunderKind {
    None,
    Reversed,       ///< azimuth off by 180 degrees, or a slope with its sign lost
    SwappedDigits,  ///< two digits of the reading exchanged (125 for 152)
    Tally,          ///< ten pairs too many or too few
};

/// One reading that, changed alone to `suggested`, would close the traverse.
struct Suspect {
    int row = 0;  ///< 1-based
    CheckField field = CheckField::Azimuth;
    double value = 0;
    double suggested = 0;
    BlunderKind kind = BlunderKind::None;
    /// Rms before and after the change, metres on the ground: for Azimuth and Pairs the rms of
    /// the placement on the known points, for Procent the rms of the stretches' differences.
    double rmsBeforeM = 0;
    double rmsAfterM = 0;
    /// 1 for the best; suspects that explain the misclosure equally well share a rank.
    int rank = 0;
};

/// What the check found. Suspects are ordered best first.
struct CheckReport {
    std::vector<HeightStretch> stretches;
    std::optional<double> planRmsM;   ///< the placement's rms; empty when the plan was not checked
    double planToleranceM = 0;
    bool planFlagged = false;
    std::vector<Suspect> suspects;
    zelt::document::Diagnostics notes;  ///< why a part was not checked

    bool flagged() const;
};

/// Checks the rows (table order) with their pace count and known points. The height stretches
/// need altimeter readings; the plan needs at least three known points, each on a row of the
/// table (otherwise a note says why it was not checked). FitError when the pace count is not
/// usable, or a row's Pairs or Altimeter is not a finite number (Pairs also when negative).
/// The plan is placed as the map export places it: each leg's walked length along its azimuth,
/// by the least-squares shift, turn and scale.
CheckReport checkTraverse(std::span<const CheckRow> rows, double pairsPer100m,
                          const zelt::document::KnownPoints& known, const CheckOptions& options = {});

/// The rows of `table` as the check reads them, by index (the cursor does not move).
std::vector<CheckRow> checkRowsOf(const zelt::document::TraverseTable& table);

/// "Azimuth", "Pairs", "Procent": the field's name in the table.
const char* fieldName(CheckField field);
/// "reversed", "swapped digits", "tally", or "" for none.
const char* kindName(BlunderKind kind);

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// Height passes over a traverse: running pace count, Fill Height, percent heights, recalculation, begin-way shift.
#pragma once

#include "base/diagnostic.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::document {
struct Document;
}

namespace zelt::compute {

/// A note a pass leaves about a row it treated in a particular way (not an error).
using Diagnostic = zelt::document::Diagnostic;

/// What a pass did. Errors of the table layer are thrown (zelt::document::EngineError) instead.
struct PassResult {
    int rowsPosted = 0;
    std::vector<Diagnostic> diagnostics;
};

/// A pass that refused to start; nothing was changed. what() is the message for the user.
class PassRefused : public std::runtime_error {
public:
    enum class Reason {
        NotSelected,     ///< start or end of the recalculation not chosen
        RowDeleted,      ///< a chosen row no longer exists
        EndBeforeStart,
        SameRow,
        ZeroSpan,        ///< no pace pairs between start and end
        UnusableRatio,   ///< PairsPer100m outside 1 to 1000 (document::isUsablePairsRatio)
        OutOfLimits,     ///< an offset or start height outside its limits
    };
    PassRefused(Reason reason, const std::string& message);
    Reason reason() const { return m_reason; }

private:
    Reason m_reason;
};

/// The message box text when the start or end of the recalculation is missing.
inline constexpr const char* kNotSelectedMessage = "The Start or Finish Height is not selected";

/// Every pass below follows one pattern: remember the current row, suspend display updates,
/// walk from the first row posting each changed row at once, then return to the remembered
/// row and resume display updates. On an error the row being edited is cancelled, the table
/// returns to the remembered row, updates resume and the error is rethrown; rows posted before
/// it stay posted.

/// Rewrites the running pace count: `sumPairs` = `Pairs` + the previous row's `sumPairs`.
PassResult UpdateSumPairs(zelt::document::Document& doc);

/// Runs UpdateSumPairs, then fills `FillHeight`: a row with an `Altimeter` reading takes it;
/// rows between two readings are interpolated by pace count. Rows before the first reading
/// are anchored at `StartHeight` at pace count 0; rows after the last reading take the last
/// reading; a run whose anchor and closing reading share one pace count takes the anchor's
/// height.
PassResult FillHeights(zelt::document::Document& doc);

/// `FillHeight` = `StartHeight` + the sum of G over the rows so far; `id` = 1..N. Does nothing
/// on a table of fewer than 2 rows. Refuses, changing nothing, when `PairsPer100m` is unusable
/// (PassRefused::UnusableRatio) or `StartHeight` lies outside the `Altimeter` range
/// (PassRefused::OutOfLimits): values an .inf may carry from elsewhere.
PassResult PercentHeights(zelt::document::Document& doc);

/// Shifts the heights of `source` between the chosen start and end rows into `target` so that
/// they meet the heights typed into `target` at both ends, the correction spread by pace count.
/// Refuses (PassRefused, no change) when a row is not chosen, was deleted, when the end row is
/// not after the start row, or when no pace pairs lie between them.
PassResult RecalcBetween(zelt::document::Document& doc, std::string_view source, std::string_view target);

/// The recalculate command: checks the selection first (so a refusal changes nothing), then
/// UpdateSumPairs and RecalcBetween(FillHeight, Recalc).
PassResult recalculateHeights(zelt::document::Document& doc);

/// Checks the chosen start and end rows of `doc` as RecalcBetween will see them after the pace
/// count is brought up to date; nullopt when they can be used. Moves no row.
std::optional<PassRefused> recalcSelectionProblem(zelt::document::Document& doc);

/// Which end of the recalculation a chosen height belongs to.
enum class CalcEnd { Start, End };
/// OK of the height selection dialog: stores `height` in `Recalc` of the current row, posts,
/// and marks the row as start or end. Returns the status-line prompt to show afterwards.
std::string chooseCalcRow(zelt::document::Document& doc, CalcEnd which, double height);

/// Limits of the begin-way offset.
inline constexpr double kBeginWayMin = -9999999.0;
inline constexpr double kBeginWayMax = 9999999.0;

/// Adds `offset` to every non-empty `Altimeter`, then to `StartHeight`. A row whose shifted
/// reading the field would refuse stops the shift before any row changes (EngineError with the
/// range message of the first such row); the readings and `StartHeight` stay unchanged.
PassResult shiftBeginWay(zelt::document::Document& doc, double offset);

/// OK of the survey values dialog: refuses values outside document/survey_values.h's ranges
/// (PassRefused with that file's message, no change), sets
/// `StartHeight`, then `PairsPer100m`, refreshes F and G, and runs PercentHeights. A read-only
/// table of two rows or more is refused (EngineError) before anything changes.
PassResult applySurveyValues(zelt::document::Document& doc, double startHeight, double pairsPer100m);

// --- the computations on plain values, shared by the passes and usable on their own

/// FillHeight per row from the readings (nullopt = no reading) and the pace counts.
std::vector<double> fillHeightValues(const std::vector<std::optional<double>>& readings,
                                     const std::vector<double>& sumPairs, double startHeight);
/// The recalculated height of a row with source height `v` at pace count `c`, between a start
/// (source s1, typed t1, pace c1) and an end (source s2, typed t2, pace c2); c2 != c1.
double recalcValue(double v, double c, double s1, double t1, double c1, double s2, double t2, double c2);

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// Field rules of a traverse row: pairs/metres conversion, turn words, calculated F and G.
#pragma once

#include "document/column_set.h"

#include <optional>
#include <string>
#include <string_view>

namespace zelt::document {
struct Document;
}

namespace zelt::compute {

/// Whether `pairsPer100m` can convert lengths; the range lives in document/survey_values.h
/// (document::isUsablePairsRatio), which this forwards to.
bool isUsablePairsRatio(double pairsPer100m);

/// The message shown when an unusable ratio is refused (document::pairsRatioMessage).
std::string pairsRatioMessage(double pairsPer100m);

/// metres = pairs / PairsPer100m x 100; nullopt when the ratio is not usable.
std::optional<double> metresFromPairs(double pairs, double pairsPer100m);
/// pairs = metres / 100 x PairsPer100m; nullopt when the ratio is not usable.
std::optional<double> pairsFromMetres(double metres, double pairsPer100m);

/// Horizontal length `f` and height gain `g` of one leg, in metres.
struct LegProjection {
    double f = 0;
    double g = 0;
};
/// F and G of a leg: slope factor cos(atan(procent / 100)) applied to the walked length in
/// metres; G = procent x F / 100. Empty `pairs` or an unusable ratio give nullopt (F, G empty).
std::optional<LegProjection> legProjection(std::optional<double> pairs, double procent,
                                           double pairsPer100m);

/// The text stored for `typed` entered into `Povorot`: entry n (1-based) of the pick list of
/// the first column showing `Povorot` when `typed` parses as n in 1..list size, else `typed`.
/// The number is read by document::parseInteger with leading spaces (not tabs) skipped.
std::string turnText(std::string_view typed, const zelt::document::ColumnSet& columns);

/// Installs the field rules on `doc.table` (hooks capture `doc`, which must outlive them):
///  - change rules of `Pairs` and `metru`: store the typed value and post, then derive the
///    other length and post again (with an unusable ratio the other length is cleared, never
///    left stale); both rules are detached while either runs and attached again on every exit,
///    also when a post fails (the error is rethrown);
///  - the text-entry rule of `Povorot` (turnText over the live `doc.columns`);
///  - the calculated fields `F` and `G` from `Pairs`, `Procent` and `doc.pairsPer100m`.
/// Call `doc.table.recalculate()` after changing `doc.pairsPer100m`.
void attachFieldRules(zelt::document::Document& doc);

}  // namespace zelt::compute

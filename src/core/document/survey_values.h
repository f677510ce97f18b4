// SPDX-License-Identifier: GPL-3.0-or-later
// The ranges of a document's survey values (pairs per 100 m, start height) and their messages.
#pragma once

#include <optional>
#include <string>

namespace zelt::document {

/// The survey values of a new document, and of one whose survey values file cannot be read
/// by a command that only reads.
inline constexpr double kDefaultPairsPer100m = 64.0;
inline constexpr double kDefaultStartHeight = 420.0;

/// Pace pairs per 100 m that give finite, meaningful lengths: a walker's count lies far inside.
inline constexpr double kMinPairsPer100m = 1.0;
inline constexpr double kMaxPairsPer100m = 1000.0;

/// True when `pairsPer100m` can convert lengths: finite and within 1 to 1000. Any other value
/// (0 from an empty .inf, a denormal, a huge number) converts nothing and leaves F and G empty.
bool isUsablePairsRatio(double pairsPer100m);
/// "Pairs per 100 m must be between 1 and 1000 (it is X)", X in the shortest general form.
std::string pairsRatioMessage(double pairsPer100m);

/// True when `startHeight` (metres) is finite and within the range of the `Altimeter` field
/// (0 to 3000), so the start row can carry it as its reading.
bool isUsableStartHeight(double startHeight);
/// "The start height must be between 0 and 3000 m (it is X)".
std::string startHeightMessage(double startHeight);

/// The message for the first unusable value (the ratio before the start height); nullopt when
/// both can be used. Callers refuse a computation or export on it before writing anything.
std::optional<std::string> surveyValuesProblem(double pairsPer100m, double startHeight);

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// The fit's report in a mapper's words: what to do to the azimuths and the pace count.
#pragma once

#include "compute/route_fit.h"
#include "compute/route_geometry.h"

#include <functional>
#include <string>
#include <vector>

namespace zelt::compute {

/// `value` with `decimals` digits after the separator, written in the reader's convention (the
/// user's locale in the desktop, the chosen separator in the command line). Never given -0.
using NumberText = std::function<std::string(double value, int decimals)>;

/// What a line of the report says, so that a short note can pick some of them.
enum class FitLineKind {
    Points,    ///< how many known points, the map scale and which leg lengths were used
    Checks,    ///< what the points can tell: a shift only, an exact fit, or the RMS residual
    Compass,   ///< how far the compass is off and what to do to every azimuth
    Pace,      ///< how far the route lengths are off and the pace count to use
    Scale,     ///< the scale with its standard deviation
    Start,     ///< where the route's start lands on the map
    Warning,   ///< a result that pacing and compass errors cannot explain
};

struct FitLine {
    FitLineKind kind;
    std::string text;
};

/// What the report needs beside the fit itself.
struct FitWording {
    double tablePairsPer100m = 0;              ///< PairsPer100m of the survey values
    double mapScale = 0;                       ///< denominator, e.g. 15000
    LegLengths lengths = LegLengths::Walked;   ///< the lengths the fitted route was laid out with
    NumberText number;                         ///< empty: plain numbers with a '.'
};

/// Scales outside this range are more than pacing and compass errors explain: a wrong known
/// point, row or map scale is likelier.
inline constexpr double kPlausibleScaleMin = 0.75;
inline constexpr double kPlausibleScaleMax = 1.33;
/// Pace counts outside this range (pairs per 100 m) are not walked by a person.
inline constexpr double kPlausiblePairsMin = 30;
inline constexpr double kPlausiblePairsMax = 150;

/// The report of `report`, one sentence a line. One distinct point: the shift only, no scale,
/// compass or pace line. Two: those lines and a note that nothing checks them. Three or more:
/// the RMS residual and the standard deviations, each error marked when it is within twice its
/// standard deviation. Warnings for an implausible scale or pace count come last.
std::vector<FitLine> fitReportLines(const FitReport& report, const FitWording& wording);

/// fitReportLines joined with newlines (no newline after the last).
std::string fitReportText(const FitReport& report, const FitWording& wording);

}  // namespace zelt::compute

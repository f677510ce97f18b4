// SPDX-License-Identifier: GPL-3.0-or-later
// The fit's report in a mapper's words: what to do to the azimuths and the pace count.
#include "compute/fit_wording.h"

#include "document/value_format.h"

#include <cmath>

namespace zelt::compute {

namespace {

const char* const kDegree = "\u00b0";
const char* const kPlusMinus = "\u00b1";

// The lines of one report: numbers go through the reader's formatter, and a value that rounds
// to zero is written as 0, never "-0.0".
class Wording {
public:
    explicit Wording(const FitWording& w) : m_w(w) {}

    std::string num(double v, int decimals) const
    {
        if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals))
            v = 0;
        return m_w.number ? m_w.number(v, decimals) : zelt::document::formatFixed(v, decimals);
    }
    // A count as short as it can be written without losing a hundredth: 64, 64.5, 63.25.
    std::string shortNum(double v) const
    {
        const int decimals = std::fabs(v - std::round(v)) < 0.005 ? 0 : std::fabs(v * 10 - std::round(v * 10)) < 0.05 ? 1 : 2;
        return num(v, decimals);
    }
    // " (± 0.4°)" or " (± 0.4°, within the noise)" when the error is under twice its standard
    // deviation `sd`; nothing when there is none (sd < 0). One decimal, two below 0.1.
    std::string spread(double value, double sd, const std::string& unit) const
    {
        if (sd < 0)
            return {};
        std::string text = std::string(" (") + kPlusMinus + ' ' + num(sd, sd < 0.095 ? 2 : 1) + unit;
        if (std::fabs(value) < 2 * sd)
            text += ", within the noise";
        return text + ')';
    }

    std::string points(const FitReport& r) const
    {
        std::string text = std::to_string(r.points) + (r.points == 1 ? " known point" : " known points")
            + ", map scale 1:" + num(m_w.mapScale, 0) + "; ";
        return text + (m_w.lengths == LegLengths::Horizontal
                           ? "horizontal leg lengths (each walked length reduced by its slope)."
                           : "leg lengths as walked (slopes not taken out).");
    }

    std::string checks(const FitReport& r) const
    {
        if (r.distinctPoints <= 1)
            return std::string(r.points == 1 ? "One point only shifts" : "Points on one spot of the route only shift")
                + " the route: scale, compass and pace need a second point elsewhere on it.";
        if (r.distinctPoints == 2)
            return "Two points are met exactly, so nothing checks them: add a third to see how well the route fits.";
        return "RMS residual " + num(r.rmsMm, 2) + " mm on the map, " + num(r.rmsM, 1) + " m on the ground.";
    }

    // The correction is what to add to every azimuth: negative when the compass reads high.
    std::string compass(const FitReport& r) const
    {
        const double c = r.compassCorrectionDeg;
        const double sd = r.deviations ? r.deviations->rotationDeg : -1;
        const std::string noise = spread(c, sd, kDegree);
        if (num(std::fabs(c), 1) == num(0, 1))
            return "Your compass agrees with the map: leave the azimuths as they are" + noise + '.';
        const std::string by = num(std::fabs(c), 1) + kDegree;
        return c < 0 ? "Your compass reads " + by + " too high: subtract " + by + " from every azimuth" + noise + '.'
                     : "Your compass reads " + by + " too low: add " + by + " to every azimuth" + noise + '.';
    }

    // Route lengths compared with the map: the implied count over the table's, less one, which
    // is also how far the table's count is off.
    std::string pace(const FitReport& r) const
    {
        const double table = m_w.tablePairsPer100m, implied = r.pairsPer100m;
        const double percent = (implied / table - 1) * 100;
        const double sd = r.deviations ? r.deviations->pairsPer100m : -1;
        const std::string noise = spread(implied - table, sd, "");
        if (num(std::fabs(percent), 1) == num(0, 1))
            return "Route lengths agree with the map: keep " + shortNum(table) + " pairs per 100 m" + noise + '.';
        return "Route lengths " + num(std::fabs(percent), 1) + (percent > 0 ? " % too long" : " % too short") + ": use "
            + num(implied, 1) + " pairs per 100 m" + (noise.empty() ? " (" : noise.substr(0, noise.size() - 1) + "; ")
            + "the table uses " + shortNum(table) + ").";
    }

    std::string scale(const FitReport& r) const
    {
        std::string text = "Scale " + num(r.scale, 4);
        if (r.deviations)
            text += std::string(" ") + kPlusMinus + ' ' + num(r.deviations->scale, 4);
        return text + " (map length per route length).";
    }

    std::string start(const FitReport& r) const
    {
        return "The start lands at X " + num(r.shift.x, 2) + " mm, Y " + num(r.shift.y, 2) + " mm.";
    }

private:
    const FitWording& m_w;
};

}  // namespace

std::vector<FitLine> fitReportLines(const FitReport& r, const FitWording& w)
{
    const Wording say(w);
    std::vector<FitLine> lines;
    lines.push_back({FitLineKind::Points, say.points(r)});
    lines.push_back({FitLineKind::Checks, say.checks(r)});
    if (r.distinctPoints >= 2) {
        lines.push_back({FitLineKind::Compass, say.compass(r)});
        lines.push_back({FitLineKind::Pace, say.pace(r)});
        lines.push_back({FitLineKind::Scale, say.scale(r)});
    }
    lines.push_back({FitLineKind::Start, say.start(r)});
    if (r.distinctPoints >= 2) {
        if (!(r.scale >= kPlausibleScaleMin && r.scale <= kPlausibleScaleMax))
            lines.push_back({FitLineKind::Warning, "Check the known points and the map scale: a scale of "
                                                       + say.num(r.scale, 2)
                                                       + " is more than pacing and compass errors explain."});
        if (!(r.pairsPer100m >= kPlausiblePairsMin && r.pairsPer100m <= kPlausiblePairsMax))
            lines.push_back({FitLineKind::Warning, "Check the known points: " + say.num(r.pairsPer100m, 1)
                                                       + " pairs per 100 m is not a pace count a person walks."});
    }
    return lines;
}

std::string fitReportText(const FitReport& report, const FitWording& wording)
{
    std::string text;
    for (const FitLine& line : fitReportLines(report, wording))
        text += (text.empty() ? "" : "\n") + line.text;
    return text;
}

}  // namespace zelt::compute

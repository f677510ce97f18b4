// SPDX-License-Identifier: GPL-3.0-or-later
// The route of a traverse on the ground: leg ends, turn figures, distances walked and the
// height profile, in metres east and north of the start. Map writers only convert and encode it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::document {
class TraverseTable;
}

namespace zelt::compute {

/// One point of a figure: turned `angleDeg` from the leg's azimuth, `lengthUnits` x 5 m from the
/// point before it.
struct FigureStep {
    double angleDeg = 0;
    double lengthUnits = 0;
    bool operator==(const FigureStep&) const = default;
};

/// Figure shapes by figure key, as read from a figure file.
using FigureShapes = std::map<std::string, std::vector<FigureStep>, std::less<>>;

/// Finds the figure of a key (empty when there is none). May throw; the error then ends the
/// computation at the row that asked.
using FigureLookup = std::function<std::vector<FigureStep>(std::string_view key)>;

/// A lookup over `shapes` (which must outlive it); a missing key has no points.
FigureLookup lookupIn(const FigureShapes& shapes);

/// The figure key of a turn note: "Left" -> "1" ... "Centr_Object" -> "7", anything else itself.
std::string figureKey(std::string_view turnNote);

/// A position on the ground, metres east (x) and north (y) of the route's start.
struct GroundPoint {
    double x = 0;
    double y = 0;
    bool operator==(const GroundPoint&) const = default;
};

/// `from` moved `distanceM` along `azimuthDeg` (degrees clockwise from north), computed in
/// extended precision and stored as doubles, exactly as the map export places its points.
GroundPoint moveAlong(GroundPoint from, double distanceM, double azimuthDeg);

/// Which length of each leg the route is laid out with.
enum class LegLengths {
    Walked,      ///< Pairs converted with PairsPer100m: the length paced along the slope
    Horizontal,  ///< the walked length reduced by the leg's slope: walked / sqrt(1 + p^2), p = Procent / 100
};

/// The length of one leg in metres: `pairs` converted with `pairsPer100m`, and with
/// LegLengths::Horizontal reduced by the slope `procent` (percent) exactly as the calculated
/// field F is. Nullopt when the ratio is not usable.
std::optional<double> legLengthM(double pairs, double procent, double pairsPer100m, LegLengths lengths);

/// What the route needs of one table row.
struct RouteRow {
    std::int32_t azimuth = 0;  ///< whole degrees
    double lengthM = 0;        ///< leg length (pairs converted, walked or horizontal), metres
    std::string turnNote;      ///< `Povorot`, empty when the field is empty
    std::optional<double> altimeter;
    std::optional<double> fillHeight;
    std::optional<double> recalc;
};

/// Where row `row` (0-based) stands: where its leg begins, at the end point of the row before
/// it, or at the route's start for the first row (nullopt). `row` may be the row count: the
/// route's end. The one rule for where a row's mark, labels and known point are; every picture,
/// the map export, the fit and the check ask it.
inline std::optional<std::size_t> rowStandsAtEndOf(std::size_t row)
{
    return row == 0 ? std::nullopt : std::optional<std::size_t>(row - 1);
}

/// One point of the route line.
struct RoutePoint {
    double xM = 0;
    double yM = 0;
    double distanceM = 0;    ///< walked from the start to the end of this point's row
    std::int32_t row = -1;   ///< 0-based row that added the point; -1 for the start
    bool corner = false;     ///< the end point of a row without a turn note
    bool figure = false;     ///< a figure (or contour mark) point rather than a leg's point
};

/// One height of the profile: at `distanceM` walked, the value of a row's field.
struct ProfilePoint {
    std::int32_t row = 0;
    double distanceM = 0;
    double heightM = 0;
};

/// The height profile: each series holds the rows whose field has a value, in row order.
struct HeightProfile {
    std::vector<ProfilePoint> altimeter;
    std::vector<ProfilePoint> fillHeight;
    std::vector<ProfilePoint> recalc;
};

/// A route: every point of the line (start first, figure points included), for each row the
/// index of its own end point (before its figure), and the height profile.
struct Route {
    std::vector<RoutePoint> points{RoutePoint{}};
    std::vector<std::size_t> rowPoints;
    HeightProfile profile;

    std::size_t rowCount() const { return rowPoints.size(); }
    /// Metres walked from the start to the end of row `row`.
    double rowDistanceM(std::size_t row) const { return points[rowPoints[row]].distanceM; }
    /// The index of the point where row `row` (0-based) has its mark and labels: where its leg
    /// begins, the previous row's own end point (the start for the first row). `row` may be
    /// rowCount(), the route's end.
    std::size_t rowMarkPoint(std::size_t row) const
    {
        const auto end = rowStandsAtEndOf(row);
        return end ? rowPoints[*end] : 0;
    }
    /// Metres walked to the end of the last row (0 for an empty route).
    double lengthM() const { return rowPoints.empty() ? 0.0 : rowDistanceM(rowPoints.size() - 1); }
};

/// Builds a route row by row, so a writer can encode each row's points as they are made.
/// Each leg starts at the previous row's own end point (not at its figure's last point); the
/// figure of a row continues from the row's end point, turned by the row's azimuth.
class RouteBuilder {
public:
    RouteBuilder() = default;
    /// Continues `route` (as made by a builder) after its last row.
    explicit RouteBuilder(Route route);

    /// Adds the row's end point and its figure (`figures` may be empty: no figure points).
    /// Without a turn note the end point is a corner. Returns the index of the row's end point.
    /// A lookup that throws leaves the route as it was.
    std::size_t addRow(const RouteRow& row, const FigureLookup& figures);

    /// Drops the rows from `rows` on (their points and heights), so that changed rows can be
    /// added again; the route up to there stays as it was computed.
    void truncate(std::size_t rows);

    const Route& route() const { return m_route; }
    Route take() { return std::move(m_route); }

private:
    Route m_route;
    GroundPoint m_rowEnd;
    double m_walkedM = 0;
};

/// Puts `fresh` in place of row `row` of `route` (made by a RouteBuilder): the row's end point
/// and figure are computed again from the previous row's end, and every later point, distance
/// and profile entry moves with the row's end. Later points are moved rather than computed
/// again, so they agree with a full computation to rounding only: this keeps a drawing of a
/// long route up to date; files are written from a whole computation. O(points) with a small
/// constant. A lookup that throws leaves the route as it was.
void replaceRow(Route& route, std::size_t row, const RouteRow& fresh, const FigureLookup& figures);

/// Puts the heights of `fresh` into the profile entries of row `row` (adding, changing or
/// removing them) at the row's distance walked; the line is not touched. Nothing for a row
/// the route does not have.
void setRowHeights(Route& route, std::size_t row, const RouteRow& fresh);

/// The whole route of `rows`; with an empty `figures` no figure points are added.
Route computeRoute(std::span<const RouteRow> rows, const FigureLookup& figures = {});

/// The rows of `table` in table order, read by index (the cursor does not move); lengths are
/// legLengthM of `Pairs` and `Procent` (0 when the ratio is not usable).
/// `count` rows from the first (-1: the stored rows; the grid's count includes a row being inserted).
/// With `marks`, each row's `Mark` is read in the same pass (empty when the field is empty).
std::vector<RouteRow> routeRowsOf(const zelt::document::TraverseTable& table, double pairsPer100m, int count = -1,
                                  std::vector<std::string>* marks = nullptr, LegLengths lengths = LegLengths::Walked);
/// One row of `table`, read by index.
RouteRow routeRowAt(const zelt::document::TraverseTable& table, int rowIndex, double pairsPer100m,
                    LegLengths lengths = LegLengths::Walked);

/// The contour route's points at most unless set otherwise: 500 map line objects, far more than
/// any walked traverse crosses, and few enough that a height far out of range (each 5 m of it a
/// crossing) ends in a moment.
inline constexpr std::size_t kMaxContourRoutePoints = 1000000;

/// The route as a height profile: each leg (its horizontal length) from the height where the
/// previous one ended to the row's height, cut where it crosses a contour level, with a mark
/// figure ("+", "++", "-", "--") inserted at every crossing. Every move starts from the last
/// point of the line, so figures shift the rest of the route.
class ContourRouteBuilder {
public:
    /// `startCount` is the running contour count at the start height.
    ContourRouteBuilder(double startHeightM, std::int32_t startCount, double intervalM = 5.0);
    /// A leg can cross very many levels; past `maxPoints` points (kMaxContourRoutePoints unless
    /// set) addRow throws std::length_error and keeps the points made so far.
    void setPointLimit(std::size_t maxPoints) { m_pointLimit = maxPoints; }

    /// Draws one leg of `lengthM` along `azimuth` to `endHeightM`, then the row's turn figure.
    std::size_t addRow(std::int32_t azimuth, double lengthM, double endHeightM, std::string_view turnNote,
                       const FigureLookup& figures);

    const Route& route() const { return m_route; }
    double legStartHeight() const { return m_legStartHeight; }
    std::int32_t contourCount() const { return m_counter; }
    std::int32_t direction() const { return m_direction; }

private:
    void moveBy(double distanceM, double azimuth, std::int32_t row, bool figure);
    void insertFigure(std::string_view key, double azimuth, std::int32_t row, const FigureLookup& figures);
    void insertMark(bool climbing, std::int32_t row, double azimuth, const FigureLookup& figures);

    Route m_route;
    GroundPoint m_at;
    double m_walkedM = 0;
    double m_legStartHeight;
    double m_interval;
    std::int32_t m_counter;
    std::int32_t m_direction = 0;
    std::size_t m_pointLimit = kMaxContourRoutePoints;
};

}  // namespace zelt::compute

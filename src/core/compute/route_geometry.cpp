// SPDX-License-Identifier: GPL-3.0-or-later
// Leg arithmetic, figure insertion and contour crossings of the route, in ground metres.
#include "compute/route_geometry.h"

#include "compute/field_rules.h"
#include "document/traverse_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <future>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace zelt::compute {
using zelt::document::TraverseTable;
using zelt::document::Value;

FigureLookup lookupIn(const FigureShapes& shapes)
{
    return [&shapes](std::string_view key) {
        const auto it = shapes.find(key);
        return it == shapes.end() ? std::vector<FigureStep>{} : it->second;
    };
}

std::string figureKey(std::string_view turnNote)
{
    static const std::array<std::string_view, 7> kTurns = {"Left",         "Right",       "Center",      "Left_Object",
                                                           "Right_Object", "Both_Object", "Centr_Object"};
    for (std::size_t i = 0; i < kTurns.size(); ++i)
        if (turnNote == kTurns[i])
            return std::to_string(i + 1);
    return std::string(turnNote);
}

namespace {

long double radians(double degrees) { return static_cast<long double>(degrees) * std::numbers::pi_v<long double> / 180.0L; }

// Sine and cosine of every whole degree that a leg or a figure step can run along. Legs have
// whole-degree azimuths and most figure angles are whole too, so nearly every move is a table
// read instead of an extended-precision sin and cos (whose argument reduction dominates a long
// route). The table holds exactly what std::sin and std::cos return for the same argument, so
// the points are bit for bit those of the direct computation.
struct WholeDegrees {
    static constexpr int kLimit = 1080;
    std::array<long double, 2 * kLimit + 1> sin{}, cos{};
    WholeDegrees()
    {
        for (int d = -kLimit; d <= kLimit; ++d) {
            const long double theta = radians(d);
            sin[std::size_t(d + kLimit)] = std::sin(theta);
            cos[std::size_t(d + kLimit)] = std::cos(theta);
        }
    }
};

const WholeDegrees& wholeDegrees()
{
    static const WholeDegrees table;
    return table;
}

}  // namespace

GroundPoint moveAlong(GroundPoint from, double distanceM, double azimuthDeg)
{
    long double s, c;
    if (std::fabs(azimuthDeg) <= WholeDegrees::kLimit && azimuthDeg == std::trunc(azimuthDeg) &&
        !(azimuthDeg == 0 && std::signbit(azimuthDeg))) {
        const WholeDegrees& t = wholeDegrees();
        const auto i = static_cast<std::size_t>(static_cast<int>(azimuthDeg) + WholeDegrees::kLimit);
        s = t.sin[i];
        c = t.cos[i];
    } else {
        const long double theta = radians(azimuthDeg);
        s = std::sin(theta);
        c = std::cos(theta);
    }
    return {static_cast<double>(from.x + s * distanceM), static_cast<double>(from.y + c * distanceM)};
}

std::optional<double> legLengthM(double pairs, double procent, double pairsPer100m, LegLengths lengths)
{
    if (lengths == LegLengths::Walked)
        return metresFromPairs(pairs, pairsPer100m);
    // The field rules' own projection, so the route agrees with the table's F to the last bit.
    const auto leg = legProjection(pairs, procent, pairsPer100m);
    return leg ? std::optional<double>(leg->f) : std::nullopt;
}

namespace {

void addProfile(HeightProfile& profile, const RouteRow& row, std::int32_t index, double distanceM)
{
    if (row.altimeter)
        profile.altimeter.push_back({index, distanceM, *row.altimeter});
    if (row.fillHeight)
        profile.fillHeight.push_back({index, distanceM, *row.fillHeight});
    if (row.recalc)
        profile.recalc.push_back({index, distanceM, *row.recalc});
}

// Appends the points of one row: its end point (the leg from `from`), then its figure, a chain
// in which each step starts at the point before it. Returns the end point.
GroundPoint appendRowPoints(std::vector<RoutePoint>& out, GroundPoint from, double walkedM, std::int32_t index,
                            const RouteRow& row, const std::vector<FigureStep>& figure)
{
    const GroundPoint end = moveAlong(from, row.lengthM, row.azimuth);
    out.push_back({end.x, end.y, walkedM, index, row.turnNote.empty(), false});
    GroundPoint at = end;
    for (const FigureStep& step : figure) {
        at = moveAlong(at, step.lengthUnits * 5.0, row.azimuth + step.angleDeg);
        out.push_back({at.x, at.y, walkedM, index, false, true});
    }
    return end;
}

}  // namespace

std::size_t RouteBuilder::addRow(const RouteRow& row, const FigureLookup& figures)
{
    const auto index = static_cast<std::int32_t>(m_route.rowPoints.size());
    // Look the figure up first: a lookup that fails leaves the route as it was.
    const std::vector<FigureStep> figure = figures ? figures(figureKey(row.turnNote)) : std::vector<FigureStep>{};
    m_walkedM += row.lengthM;
    const std::size_t end = m_route.points.size();
    m_rowEnd = appendRowPoints(m_route.points, m_rowEnd, m_walkedM, index, row, figure);
    m_route.rowPoints.push_back(end);
    addProfile(m_route.profile, row, index, m_walkedM);
    return end;
}

RouteBuilder::RouteBuilder(Route route) : m_route(std::move(route))
{
    truncate(m_route.rowPoints.size());
}

void RouteBuilder::truncate(std::size_t rows)
{
    if (rows < m_route.rowPoints.size()) {
        // A row's own end point is the first point it added.
        m_route.points.resize(m_route.rowPoints[rows]);
        m_route.rowPoints.resize(rows);
        const auto keep = static_cast<std::int32_t>(rows);
        for (auto* series : {&m_route.profile.altimeter, &m_route.profile.fillHeight, &m_route.profile.recalc})
            while (!series->empty() && series->back().row >= keep)
                series->pop_back();
    }
    rows = m_route.rowPoints.size();
    if (rows == 0) {
        m_rowEnd = {};
        m_walkedM = 0;
    } else {
        const RoutePoint& end = m_route.points[m_route.rowPoints[rows - 1]];
        m_rowEnd = {end.xM, end.yM};
        m_walkedM = end.distanceM;
    }
}

void replaceRow(Route& route, std::size_t row, const RouteRow& fresh, const FigureLookup& figures)
{
    auto& pts = route.points;
    auto& ends = route.rowPoints;
    if (row >= ends.size())
        throw std::out_of_range("replaceRow: no such row");
    const std::vector<FigureStep> figure = figures ? figures(figureKey(fresh.turnNote)) : std::vector<FigureStep>{};

    // The row's own points, from the end of the row before it.
    const auto index = static_cast<std::int32_t>(row);
    const RoutePoint before = row == 0 ? RoutePoint{} : pts[ends[row - 1]];
    const double walked = before.distanceM + fresh.lengthM;
    std::vector<RoutePoint> mine;
    const GroundPoint end = appendRowPoints(mine, {before.xM, before.yM}, walked, index, fresh, figure);

    const std::size_t first = ends[row];
    const std::size_t last = row + 1 < ends.size() ? ends[row + 1] : pts.size();
    const double dx = end.x - pts[first].xM, dy = end.y - pts[first].yM, dd = walked - pts[first].distanceM;
    const auto oldCount = static_cast<std::ptrdiff_t>(last - first);
    const auto newCount = static_cast<std::ptrdiff_t>(mine.size());
    if (newCount > oldCount)
        pts.insert(pts.begin() + std::ptrdiff_t(last), std::size_t(newCount - oldCount), RoutePoint{});
    else if (newCount < oldCount)
        pts.erase(pts.begin() + std::ptrdiff_t(first) + newCount, pts.begin() + std::ptrdiff_t(last));
    std::copy(mine.begin(), mine.end(), pts.begin() + std::ptrdiff_t(first));
    if (newCount != oldCount)
        for (std::size_t r = row + 1; r < ends.size(); ++r)
            ends[r] = std::size_t(std::ptrdiff_t(ends[r]) + newCount - oldCount);
    if (dx != 0 || dy != 0 || dd != 0)
        for (std::size_t k = first + mine.size(); k < pts.size(); ++k) {
            pts[k].xM += dx;
            pts[k].yM += dy;
            pts[k].distanceM += dd;
        }

    // The distances of the rows after it, then the row's own heights.
    if (dd != 0)
        for (auto* series : {&route.profile.altimeter, &route.profile.fillHeight, &route.profile.recalc})
            for (auto it = std::upper_bound(series->begin(), series->end(), index,
                                            [](std::int32_t r, const ProfilePoint& p) { return r < p.row; });
                 it != series->end(); ++it)
                it->distanceM += dd;
    setRowHeights(route, row, fresh);
}

void setRowHeights(Route& route, std::size_t row, const RouteRow& fresh)
{
    if (row >= route.rowCount())
        return;
    const auto index = static_cast<std::int32_t>(row);
    const double distance = route.rowDistanceM(row);
    auto set = [&](std::vector<ProfilePoint>& s, const std::optional<double>& v) {
        auto it = std::lower_bound(s.begin(), s.end(), index, [](const ProfilePoint& p, std::int32_t r) { return p.row < r; });
        const bool present = it != s.end() && it->row == index;
        if (present && v)
            *it = {index, distance, *v};
        else if (present)
            s.erase(it);
        else if (v)
            s.insert(it, ProfilePoint{index, distance, *v});
    };
    set(route.profile.altimeter, fresh.altimeter);
    set(route.profile.fillHeight, fresh.fillHeight);
    set(route.profile.recalc, fresh.recalc);
}

Route computeRoute(std::span<const RouteRow> rows, const FigureLookup& figures)
{
    RouteBuilder builder;
    for (const RouteRow& row : rows)
        builder.addRow(row, figures);
    return builder.take();
}

namespace {

std::optional<double> numberAt(const TraverseTable& table, int row, int field)
{
    return field < 0 ? std::nullopt : zelt::document::numberOf(table.valueAt(row, field));
}

struct RouteFields {
    explicit RouteFields(const TraverseTable& t)
        : azimuth(t.fieldIndex("Azimuth")), pairs(t.fieldIndex("Pairs")), procent(t.fieldIndex("Procent")),
          turn(t.fieldIndex("Povorot")), altimeter(t.fieldIndex("Altimeter")), fillHeight(t.fieldIndex("FillHeight")),
          recalc(t.fieldIndex("Recalc"))
    {
    }
    int azimuth, pairs, procent, turn, altimeter, fillHeight, recalc;
};

RouteRow readRow(const TraverseTable& table, const RouteFields& f, int index, double pairsPer100m, LegLengths lengths)
{
    RouteRow row;
    // Azimuth is a whole-degree field; a float read rounds half to even, as the table's reads do.
    if (const auto az = numberAt(table, index, f.azimuth))
        row.azimuth = static_cast<std::int32_t>(std::nearbyint(*az));
    const double slope = lengths == LegLengths::Walked ? 0.0 : numberAt(table, index, f.procent).value_or(0.0);
    row.lengthM = legLengthM(numberAt(table, index, f.pairs).value_or(0.0), slope, pairsPer100m, lengths).value_or(0.0);
    if (f.turn >= 0)
        if (Value note = table.valueAt(index, f.turn); auto* text = std::get_if<std::string>(&note))
            row.turnNote = std::move(*text);
    row.altimeter = numberAt(table, index, f.altimeter);
    row.fillHeight = numberAt(table, index, f.fillHeight);
    row.recalc = numberAt(table, index, f.recalc);
    return row;
}

}  // namespace

namespace {

// Rows [first, end) of the table, and their marks when `marks` is given.
void readRows(const TraverseTable& table, const RouteFields& f, int markField, double pairsPer100m, LegLengths lengths,
              int first, int end, std::vector<RouteRow>& rows, std::vector<std::string>* marks)
{
    rows.reserve(static_cast<std::size_t>(end - first));
    if (marks)
        marks->reserve(static_cast<std::size_t>(end - first));
    for (int i = first; i < end; ++i) {
        rows.push_back(readRow(table, f, i, pairsPer100m, lengths));
        if (marks) {
            Value mark = markField < 0 ? Value{} : table.valueAt(i, markField);
            auto* text = std::get_if<std::string>(&mark);
            marks->push_back(text ? std::move(*text) : std::string());
        }
    }
}

}  // namespace

std::vector<RouteRow> routeRowsOf(const TraverseTable& table, double pairsPer100m, int count,
                                  std::vector<std::string>* marks, LegLengths lengths)
{
    const RouteFields f(table);
    const int markField = marks ? table.fieldIndex("Mark") : -1;
    const int n = count < 0 ? table.rowCount() : count;
    std::vector<RouteRow> rows;
    if (marks)
        marks->clear();
    // A long table is read in two halves at once: reading rows by index changes nothing in the
    // table, so two readers never disturb each other.
    constexpr int kSplitFrom = 20000;
    if (n < kSplitFrom) {
        readRows(table, f, markField, pairsPer100m, lengths, 0, n, rows, marks);
        return rows;
    }
    const int mid = n / 2;
    std::vector<RouteRow> later;
    std::vector<std::string> laterMarks;
    std::future<void> second = std::async(std::launch::async, [&] {
        readRows(table, f, markField, pairsPer100m, lengths, mid, n, later, marks ? &laterMarks : nullptr);
    });
    readRows(table, f, markField, pairsPer100m, lengths, 0, mid, rows, marks);
    second.get();
    rows.insert(rows.end(), std::make_move_iterator(later.begin()), std::make_move_iterator(later.end()));
    if (marks)
        marks->insert(marks->end(), std::make_move_iterator(laterMarks.begin()), std::make_move_iterator(laterMarks.end()));
    return rows;
}

RouteRow routeRowAt(const TraverseTable& table, int rowIndex, double pairsPer100m, LegLengths lengths)
{
    return readRow(table, RouteFields(table), rowIndex, pairsPer100m, lengths);
}

// --- the contour route -----------------------------------------------------------------------

namespace {
double intPart(double x) { return std::trunc(x); }
double fracPart(double x) { return x - std::trunc(x); }
}  // namespace

ContourRouteBuilder::ContourRouteBuilder(double startHeightM, std::int32_t startCount, double intervalM)
    : m_legStartHeight(startHeightM), m_interval(intervalM), m_counter(startCount)
{
}

void ContourRouteBuilder::moveBy(double distanceM, double azimuth, std::int32_t row, bool figure)
{
    if (m_route.points.size() >= m_pointLimit)
        throw std::length_error("The contour route has more points than its limit.");
    m_at = moveAlong(m_at, distanceM, azimuth);
    m_route.points.push_back({m_at.x, m_at.y, 0.0, row, false, figure});
}

void ContourRouteBuilder::insertFigure(std::string_view key, double azimuth, std::int32_t row,
                                       const FigureLookup& figures)
{
    if (!figures)
        return;
    for (const FigureStep& step : figures(key))
        moveBy(step.lengthUnits * 5.0, azimuth + step.angleDeg, row, true);
}

// "++"/"+" on a climbing or level leg, "--"/"-" on a descending one; doubled at every count
// divisible by 5.
void ContourRouteBuilder::insertMark(bool climbing, std::int32_t row, double azimuth, const FigureLookup& figures)
{
    const bool fifth = m_counter % 5 == 0;
    insertFigure(climbing ? (fifth ? "++" : "+") : (fifth ? "--" : "-"), azimuth, row, figures);
}

std::size_t ContourRouteBuilder::addRow(std::int32_t azimuth, double lengthM, double endHeightM,
                                        std::string_view turnNote, const FigureLookup& figures)
{
    const auto row = static_cast<std::int32_t>(m_route.rowPoints.size());
    const double I = m_interval, H0 = m_legStartHeight, H1 = endHeightM, D = lengthM;
    const double az = azimuth;
    const bool climbing = H1 >= H0;
    // The counter stays within its type at any height: a wild reading may start it at a bound.
    auto count = [this](int by) {
        if ((by > 0 && m_counter < std::numeric_limits<std::int32_t>::max())
            || (by < 0 && m_counter > std::numeric_limits<std::int32_t>::min()))
            m_counter += by;
    };
    if (fracPart(H0 / I) == 0) {
        count(1);
        insertMark(climbing, row, az, figures);
    }
    const double diff = intPart(H1 / I) - intPart(H0 / I);
    if (std::fabs(diff) < 1) {
        moveBy(D, az, row, false);
    } else {
        // Each crossing adds at least one point; the map writer's point limit ends a huge count.
        const double k = std::fabs(std::nearbyint(diff));
        for (double i = 0; i < k; ++i) {
            double f = diff >= 0 ? intPart(H0 / I) + 1 - H0 / I : H0 / I - intPart(H0 / I);
            if (m_walkedM != 0)
                f = 1;
            const double step = std::fabs(f * D / (H1 / I - H0 / I));
            moveBy(step, az, row, false);
            if (climbing) {
                if (m_direction != -1)
                    count(1);
            } else if (m_direction != 1) {
                count(-1);
            }
            m_direction = climbing ? 1 : -1;
            insertMark(climbing, row, az, figures);
            m_walkedM += step;
        }
        moveBy(D - m_walkedM, az, row, false);
        m_walkedM = 0;
    }
    m_legStartHeight = H1;

    const std::size_t end = m_route.points.size() - 1;
    m_route.rowPoints.push_back(end);
    const double walked = (row == 0 ? 0.0 : m_route.rowDistanceM(static_cast<std::size_t>(row - 1))) + D;
    for (std::size_t i = m_route.points.size(); i-- > 0 && m_route.points[i].row == row;)
        m_route.points[i].distanceM = walked;
    if (turnNote.empty())
        m_route.points[end].corner = true;
    insertFigure(figureKey(turnNote), az, row, figures);
    for (std::size_t i = end + 1; i < m_route.points.size(); ++i)
        m_route.points[i].distanceM = walked;
    return end;
}

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// Where the plan's mark labels go: beside their points, clear of one another and of the plan's
// fixed parts.
#include "shell/paint/route_painter.h"

#include "shell/paint/route_known_marks.h"
#include "shell/paint/route_painter_private.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace zelt::shell {

using namespace detail;
using zelt::compute::Route;
using zelt::compute::RoutePoint;

std::vector<MarkLabel> markLabels(const RouteScene& scene, const PlanView& view, const QRectF& area,
                                  const QFontMetricsF& fm)
{
    std::vector<MarkLabel> labels;
    const Route& r = scene.route;
    // Taken space is kept in a coarse grid of cells: a label goes only where it overlaps no
    // label placed before it, nor the north arrow or the scale bar, so a dense route shows as
    // many readable marks as fit and no smudge.
    constexpr double kCell = 6.0;
    const int columns = int(std::ceil(area.width() / kCell)) + 1;
    const int cellRows = int(std::ceil(area.height() / kCell)) + 1;
    std::vector<bool> taken(std::size_t(columns) * std::size_t(cellRows), false);
    auto cells = [&](const QRectF& box, bool take) {
        // A box without a place (from a point of no finite position) takes nothing and is never free.
        if (!std::isfinite(box.left()) || !std::isfinite(box.right()) || !std::isfinite(box.top())
            || !std::isfinite(box.bottom()))
            return take;
        const auto cellOf = [](double v, int count) { return int(std::clamp(v / kCell, -1.0, double(count))); };
        const int c0 = std::max(0, cellOf(box.left() - area.left(), columns));
        const int c1 = std::min(columns - 1, cellOf(box.right() - area.left(), columns));
        const int r0 = std::max(0, cellOf(box.top() - area.top(), cellRows));
        const int r1 = std::min(cellRows - 1, cellOf(box.bottom() - area.top(), cellRows));
        for (int y = r0; y <= r1; ++y)
            for (int x = c0; x <= c1; ++x) {
                auto cell = taken[std::size_t(y) * std::size_t(columns) + std::size_t(x)];
                if (!take && cell)
                    return false;
                if (take)
                    cell = true;
            }
        return true;
    };
    cells(northArrowBox(area), true);
    cells(scaleBarBox(area), true);
    if (scene.knownPoints) {
        for (const KnownPointMark& k : scene.knownPoints->marks)
            cells(QRectF(view.toDevice(area, k.xM, k.yM) - QPointF(6, 6), QSizeF(12, 12)), true);
        cells(knownPointsNoteBox(area, *scene.knownPoints, fm), true);
    }
    const QRectF inside = area.adjusted(2, 2, -2, -2);
    // The start triangle: the marks of the first row and of rows after a start row of no length
    // stand at its centre, and their labels right or left above it clear the triangle's slanting
    // sides (below, its base is in the way); no other label touches its box.
    const QPointF start = view.toDevice(area, 0, 0);
    const QRectF startBox = startMarkBox(start);
    // A known point's own label keeps clear of its square.
    std::vector<bool> knownRow(scene.marks.size(), false);
    if (scene.knownPoints)
        for (const KnownPointMark& k : scene.knownPoints->marks)
            if (k.row >= 1 && std::size_t(k.row) <= knownRow.size())
                knownRow[std::size_t(k.row) - 1] = true;
    // A placed label takes a few pixels more than its text, so no two labels run together.
    constexpr double kGapX = 4, kGapY = 1;
    // Above right of the point first; then above left, below right and below left.
    std::size_t row = 0;
    auto place = [&](const QPointF& d, double width, int where) {
        const double clear = knownRow[row] ? 12 : 5, lift = knownRow[row] ? 12 : 2;
        QRectF box(d + QPointF(clear, -fm.height() - lift), QSizeF(width, fm.height()));
        if (where & 1)
            box.moveRight(d.x() - clear);
        if (where & 2)
            box.moveTop(d.y() + lift);
        return box;
    };
    // Widths as the sum of the characters' advances, kept per character: laying out each text
    // would cost more than the rest of the plan. Kerning only narrows a text, so no label is
    // cut; text with combining marks or outside the basic plane is measured whole.
    std::unordered_map<char16_t, qreal> advances;
    auto width = [&](const QString& text) {
        qreal sum = 0;
        for (const QChar ch : text) {
            if (ch.isSurrogate() || ch.isMark())
                return fm.horizontalAdvance(text);
            auto [it, added] = advances.try_emplace(ch.unicode(), 0.0);
            if (added)
                it->second = fm.horizontalAdvance(ch);
            sum += it->second;
        }
        return sum;
    };
    const std::size_t rows = std::min(r.rowPoints.size(), scene.marks.size());
    const bool fewMarks = rows <= 5000 ||
                          std::count_if(scene.marks.begin(), scene.marks.end(), [](const QString& m) { return !m.isEmpty(); }) <= 2000;
    for (std::size_t i = 0; i < rows; ++i) {
        if (scene.marks[i].isEmpty())
            continue;
        row = i;
        const RoutePoint& at = r.points[r.rowMarkPoint(i)];
        const QPointF d = view.toDevice(area, at.xM, at.yM);
        if (!isFinitePoint(d) || !inside.contains(d))
            continue;
        double w = -1;   // measured only for a place whose first cell is free
        // A label may go to any side of its point on a route of a few thousand marks; on a
        // longer one (where more labels would only crowd) only a known point's label does, the
        // others go left only where the right edge would cut them.
        const bool anySide = knownRow[i] || fewMarks;
        for (int where = 0; where < (anySide ? 4 : 2); ++where) {
            if (where == 1 && !anySide && place(d, w < 0 ? 1 : w, 0).right() <= inside.right())
                break;
            // Most labels of a dense route fail already on their first cell.
            const QRectF first = place(d, 1, where);
            if (!cells((where & 1) ? first.translated(-1, 0) : first, false))
                continue;
            if (w < 0)
                w = width(scene.marks[i]);
            const QRectF box = place(d, w, where);
            const bool atStart = !knownRow[i] && (d - start).manhattanLength() < 0.5;
            const bool clearOfStart = atStart ? (where & 2) == 0 : !box.intersects(startBox);
            if (!inside.contains(box) || !clearOfStart || !cells(box, false))
                continue;
            cells(box.adjusted(-kGapX, -kGapY, kGapX, kGapY), true);
            labels.push_back({i, box});
            break;
        }
    }
    return labels;
}

}  // namespace zelt::shell

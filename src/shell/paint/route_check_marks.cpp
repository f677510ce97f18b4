// SPDX-License-Identifier: GPL-3.0-or-later
// The findings of the blunder check drawn over the route's plan and profile.
#include "shell/paint/route_check_marks.h"

#include "shell/paint/route_painter_private.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace zelt::shell {

namespace {

using zelt::compute::CheckReport;
using zelt::compute::Route;

/// The leg of row `row` (1-based) in ground metres: from where its mark stands to its end.
bool legOf(const Route& route, int row, QPointF& from, QPointF& to)
{
    if (row < 1 || std::size_t(row) > route.rowCount())
        return false;
    const auto i = std::size_t(row) - 1;
    const auto& a = route.points[route.rowMarkPoint(i)];
    const auto& b = route.points[route.rowPoints[i]];
    from = {a.xM, a.yM};
    to = {b.xM, b.yM};
    return detail::isFinitePoint(from) && detail::isFinitePoint(to);
}

/// Metres walked where row `row` (1-based) begins and ends.
bool walkOf(const Route& route, int row, double& fromM, double& toM)
{
    if (row < 1 || std::size_t(row) > route.rowCount())
        return false;
    fromM = row == 1 ? 0.0 : route.rowDistanceM(std::size_t(row) - 2);
    toM = route.rowDistanceM(std::size_t(row) - 1);
    return std::isfinite(fromM) && std::isfinite(toM);
}

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

}  // namespace

QColor checkStretchColour() { return QColor(230, 159, 0); }
QColor checkSuspectColour() { return QColor(213, 94, 0); }

void paintPlanCheckMarks(QPainter& p, const QRectF& area, const PlanView& view, const Route& route,
                         const CheckReport& report)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(area);
    const auto toDevice = [&](const QPointF& g) { return detail::boundedPoint(view.toDevice(area, g.x(), g.y()), area); };
    QPen band(withAlpha(checkStretchColour(), 110), 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(band);
    for (const auto& s : report.stretches) {
        if (!s.flagged)
            continue;
        QPolygonF line;
        for (int row = s.fromRow + 1; row <= s.toRow; ++row) {
            QPointF from, to;
            if (!legOf(route, row, from, to))
                break;
            if (line.isEmpty())
                line << toDevice(from);
            line << toDevice(to);
        }
        detail::drawPolylineInPieces(p, line.constData(), line.size());
    }
    for (const auto& s : report.suspects) {
        QPointF from, to;
        if (!legOf(route, s.row, from, to))
            continue;
        const bool best = s.rank == 1;
        const QPointF a = toDevice(from), b = toDevice(to);
        p.setPen(QPen(withAlpha(checkSuspectColour(), best ? 255 : 150), best ? 3.5 : 2.0, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QPointF leg[2] = {a, b};
        detail::drawPolylineInPieces(p, leg, 2);
        p.drawEllipse((a + b) / 2, best ? 8.0 : 6.0, best ? 8.0 : 6.0);
    }
    p.restore();
}

void paintProfileCheckMarks(QPainter& p, const QRectF& area, const RouteScene& scene, const CheckReport& report)
{
    const Route& route = scene.route;
    if (route.rowCount() == 0)
        return;
    const ProfileFrame f = profileFrame(scene, area);
    const auto span = [&](double fromM, double toM) {
        const double x0 = detail::boundedPoint(f.toDevice(fromM, f.y0), f.plot).x();
        const double x1 = detail::boundedPoint(f.toDevice(toM, f.y0), f.plot).x();
        return QRectF(QPointF(std::min(x0, x1), f.plot.top()), QPointF(std::max(x0, x1) + 1, f.plot.bottom()));
    };
    p.save();
    p.setClipRect(f.plot.adjusted(-1, -1, 1, 1));
    for (const auto& s : report.stretches) {
        double a0 = 0, a1 = 0, b0 = 0, b1 = 0;
        if (s.flagged && walkOf(route, s.fromRow + 1, a0, a1) && walkOf(route, s.toRow, b0, b1))
            p.fillRect(span(a0, b1), withAlpha(checkStretchColour(), 60));
    }
    for (const auto& s : report.suspects) {
        double fromM = 0, toM = 0;
        if (!walkOf(route, s.row, fromM, toM))
            continue;
        const QRectF r = span(fromM, toM);
        const bool best = s.rank == 1;
        p.fillRect(r, withAlpha(checkSuspectColour(), best ? 70 : 35));
        p.fillRect(QRectF(r.left(), r.top(), std::max(3.0, r.width()), 5), checkSuspectColour());
    }
    p.restore();
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The route plan: its view of the ground, the thinned route line, hit tests and painting.
#include "shell/paint/route_painter.h"

#include "shell/paint/route_known_marks.h"
#include "shell/paint/route_painter_private.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zelt::shell {

using namespace detail;
using zelt::compute::Route;
using zelt::compute::RoutePoint;

namespace detail {

QRectF scaleBarBox(const QRectF& area) { return {area.left() + 8, area.bottom() - 38, 216, 38}; }
QRectF northArrowBox(const QRectF& area) { return {area.right() - 34, area.top() + 6, 30, 50}; }
QRectF startMarkBox(const QPointF& start) { return {start.x() - 9, start.y() - 10, 18, 17}; }

}  // namespace detail

namespace {

// Whether pixels set into an image and drawn 1:1 look as the painter would draw them.
bool isRasterTarget(const QPainter& p)
{
    const QPaintEngine* engine = p.paintEngine();
    return engine && engine->type() == QPaintEngine::Raster && p.worldTransform().isIdentity();
}

void drawScaleBar(QPainter& p, const QRectF& area, double scale, const RouteColours& c)
{
    const double metres = niceStep(std::min(area.width() * 0.3, 200.0) / scale);
    const double len = metres * scale;
    const QPointF a(area.left() + 12, area.bottom() - 14);
    p.setPen(QPen(c.text, 2));
    p.drawLine(a, a + QPointF(len, 0));
    p.drawLine(a + QPointF(0, -5), a + QPointF(0, 3));
    p.drawLine(a + QPointF(len, -5), a + QPointF(len, 3));
    p.drawText(QRectF(a.x(), a.y() - 22, std::max(len, 80.0), 16), Qt::AlignLeft | Qt::AlignBottom, metresText(metres));
}

void drawNorthArrow(QPainter& p, const QRectF& area, const RouteColours& c)
{
    const QPointF tip(area.right() - 20, area.top() + 10);
    QPolygonF arrow;
    arrow << tip << tip + QPointF(7, 22) << tip + QPointF(0, 16) << tip + QPointF(-7, 22);
    p.setPen(QPen(c.text, 1));
    p.setBrush(c.text);
    p.drawPolygon(arrow);
    p.setBrush(Qt::NoBrush);
    p.drawText(QRectF(tip.x() - 10, tip.y() + 22, 20, 16), Qt::AlignCenter, QStringLiteral("N"));
}

// Points of the line from `first` to `last` (inclusive) in device coordinates.
QPolygonF devicePoints(const Route& r, std::size_t first, std::size_t last, const PlanView& v, const QRectF& area)
{
    QPolygonF poly;
    for (std::size_t i = first; i <= last && i < r.points.size(); ++i)
        if (const QPointF d = v.toDevice(area, r.points[i].xM, r.points[i].yM); isFinitePoint(d))
            poly << boundedPoint(d, area);
    return poly;
}

double segmentDistance(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    double t = len2 > 0 ? QPointF::dotProduct(p - a, ab) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF d = p - (a + ab * t);
    return std::hypot(d.x(), d.y());
}

}  // namespace

QRectF routeBounds(const Route& route)
{
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const RoutePoint& p : route.points) {
        if (!isNearValue(p.xM) || !isNearValue(p.yM))
            continue;   // no walked route's point: left out, so the rest stays readable
        minX = std::min(minX, p.xM);
        maxX = std::max(maxX, p.xM);
        minY = std::min(minY, p.yM);
        maxY = std::max(maxY, p.yM);
    }
    QRectF r(QPointF(minX, minY), QPointF(maxX, maxY));
    if (r.width() < 1)
        r.adjust(-0.5, 0, 0.5, 0);
    if (r.height() < 1)
        r.adjust(0, -0.5, 0, 0.5);
    return r;
}

PlanView fitView(const Route& route, const QRectF& area, double marginPx, double bottomBandPx)
{
    const QRectF b = routeBounds(route);
    const double bottom = bottomBandPx > 0 ? std::max(marginPx, bottomBandPx + 10) : marginPx;
    const QRectF inner = area.adjusted(marginPx, marginPx, -marginPx, -bottom);
    const double w = std::max(1.0, inner.width()), h = std::max(1.0, inner.height());
    PlanView v;
    v.scale = std::min(w / b.width(), h / b.height());
    // The route's centre lands in the middle of what is left; the view maps from the whole area.
    v.centre = b.center() + QPointF((area.center().x() - inner.center().x()) / v.scale,
                                    (inner.center().y() - area.center().y()) / v.scale);
    return v;
}

PlanView fitPlanView(const RouteScene& scene, const QRectF& area, const QFont& font)
{
    double band = scaleBarBox(area).height();
    if (scene.knownPoints) {
        const QRectF note = knownPointsNoteBox(area, *scene.knownPoints, QFontMetricsF(planLabelFont(font)));
        if (!note.isEmpty())
            band = std::max(band, area.bottom() - note.top() + 2);
    }
    return fitView(scene.route, area, 24.0, band);
}

const QPolygonF& PlanPathCache::polyline(const RouteScene& scene, double scale)
{
    if (m_version == scene.version && m_scale == scale && m_route == &scene.route)
        return m_polyline;
    m_version = scene.version;
    m_scale = scale;
    m_route = &scene.route;
    m_polyline.clear();
    const auto& pts = scene.route.points;
    m_polyline.reserve(static_cast<qsizetype>(std::min<std::size_t>(pts.size(), 200000)));
    const double minStep = 0.5 / scale;   // half a pixel in metres
    QPointF last(pts.front().xM, pts.front().yM);
    m_polyline << last;
    for (std::size_t i = 1; i < pts.size(); ++i) {
        const QPointF p(pts[i].xM, pts[i].yM);
        if (!isFinitePoint(p))
            continue;   // a point without a place (a leg of no finite length) is left out
        if (std::fabs(p.x() - last.x()) < minStep && std::fabs(p.y() - last.y()) < minStep && i + 1 < pts.size())
            continue;
        m_polyline << p;
        last = p;
    }
    return m_polyline;
}

int rowNearPoint(const RouteScene& scene, const PlanView& view, const QRectF& area, const QPointF& devicePoint,
                 double tolerancePx)
{
    const Route& r = scene.route;
    if (r.rowPoints.empty())
        return -1;
    // Compare in ground metres: no conversion of every point.
    const QPointF g = view.toGround(area, devicePoint);
    const double tol = tolerancePx / view.scale;
    double best = tol;
    int row = -1;
    for (std::size_t k = 1; k < r.points.size(); ++k) {
        const RoutePoint& a = r.points[k - 1];
        const RoutePoint& b = r.points[k];
        if (std::min(a.xM, b.xM) - tol > g.x() || std::max(a.xM, b.xM) + tol < g.x() ||
            std::min(a.yM, b.yM) - tol > g.y() || std::max(a.yM, b.yM) + tol < g.y())
            continue;
        const double d = segmentDistance(g, {a.xM, a.yM}, {b.xM, b.yM});
        if (d <= best) {
            best = d;
            row = b.row;
        }
    }
    return row;
}

void paintPlan(QPainter& p, const QRectF& area, const RouteScene& scene, const PlanView& view,
               const RouteColours& c, PlanPathCache* cache)
{
    p.save();
    p.setClipRect(area);
    p.fillRect(area, c.background);
    p.setRenderHint(QPainter::Antialiasing, true);
    const Route& r = scene.route;

    // The route line: the thinned polyline, mapped to the device here. A dense line is drawn
    // with a one-pixel pen, which the raster engine strokes many times faster than wider ones.
    PlanPathCache local;
    const QPolygonF& line = (cache ? cache : &local)->polyline(scene, view.scale);
    if (line.size() > kDenseLine && isRasterTarget(p)) {
        drawDenseLine(p, area, line, view, c.route);
    } else {
        QPolygonF device(line.size());
        for (qsizetype i = 0; i < line.size(); ++i)
            device[i] = boundedPoint(view.toDevice(area, line[i].x(), line[i].y()), area);
        p.setPen(routePen(c.route, device.size()));
        // A dense line is a one-pixel web of short segments: drawn without antialiasing it
        // looks the same and costs a fraction.
        p.setRenderHint(QPainter::Antialiasing, device.size() <= kDenseLine);
        drawPolylineInPieces(p, device.constData(), device.size());
        p.setRenderHint(QPainter::Antialiasing, true);
    }

    // Leg ends as small dots when there is room for them.
    const std::size_t rows = r.rowPoints.size();
    if (rows > 0 && rows < 4000 && view.scale * r.lengthM() / double(rows) > 6) {
        p.setPen(Qt::NoPen);
        p.setBrush(c.route);
        for (std::size_t i = 0; i < rows; ++i) {
            const QPointF d = view.toDevice(area, r.points[r.rowPoints[i]].xM, r.points[r.rowPoints[i]].yM);
            if (isFinitePoint(d) && area.adjusted(-3, -3, 3, 3).contains(d))
                p.drawEllipse(d, 2.0, 2.0);
        }
        p.setBrush(Qt::NoBrush);
    }

    // The current row: the drawn line into its end point, and its figure.
    if (scene.currentRow >= 0 && std::size_t(scene.currentRow) < rows) {
        const std::size_t end = r.rowPoints[std::size_t(scene.currentRow)];
        const std::size_t last = std::size_t(scene.currentRow) + 1 < rows ? r.rowPoints[std::size_t(scene.currentRow) + 1] - 1
                                                                           : r.points.size() - 1;
        QPen pen(c.currentLeg, 4.0);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        const QPolygonF leg = devicePoints(r, end - 1, last, view, area);
        drawPolylineInPieces(p, leg.constData(), leg.size());
        p.setBrush(c.currentLeg);
        if (const QPointF d = view.toDevice(area, r.points[end].xM, r.points[end].yM); isFinitePoint(d))
            p.drawEllipse(boundedPoint(d, area), 3.5, 3.5);
        p.setBrush(Qt::NoBrush);
    }

    // The start: a triangle around the route's first point.
    {
        const QPointF s = view.toDevice(area, 0, 0);
        QPolygonF tri;
        tri << s + QPointF(0, -9) << s + QPointF(8, 5.5) << s + QPointF(-8, 5.5) << s + QPointF(0, -9);
        p.setPen(QPen(kVermillion, 2));
        p.drawPolyline(tri);
    }

    // Marks as small labels beside the point where their row's leg begins, as on the map.
    // The labels and the known points' note share the smaller font, whose metrics place both.
    p.setFont(planLabelFont(p.font()));
    if (scene.showMarks) {
        p.setPen(c.text);
        const QFontMetricsF fm(p.font());
        for (const MarkLabel& label : markLabels(scene, view, area, fm))
            p.drawText(QPointF(label.box.left(), label.box.top() + fm.ascent()), scene.marks[label.row]);
    }

    if (scene.knownPoints)
        paintKnownPointMarks(p, area, view, *scene.knownPoints, c.known);

    drawScaleBar(p, area, view.scale, c);
    drawNorthArrow(p, area, c);
    p.restore();
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Route plan and height profile painting, and the picture files written from them.
#include "shell/route_painter.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelt::shell {

using zelt::compute::ProfilePoint;
using zelt::compute::Route;
using zelt::compute::RoutePoint;

namespace {

// Colours told apart with the common colour-vision deficiencies (blue, vermillion, orange,
// bluish green, reddish purple).
const QColor kBlue(0x00, 0x72, 0xB2);
const QColor kVermillion(0xD5, 0x5E, 0x00);
const QColor kOrange(0xE6, 0x9F, 0x00);
const QColor kGreen(0x00, 0x9E, 0x73);
const QColor kPurple(0xCC, 0x79, 0xA7);
const QColor kSkyBlue(0x56, 0xB4, 0xE9);

// Long antialiased polylines are stroked as one self-intersecting outline, which costs far
// more than the same line drawn in short pieces; pieces also let the painter skip what lies
// outside the clip.
void drawPolylineInPieces(QPainter& p, const QPointF* points, qsizetype count)
{
    constexpr qsizetype kPiece = 64;
    for (qsizetype start = 0; start + 1 < count; start += kPiece)
        p.drawPolyline(points + start, int(std::min(kPiece + 1, count - start)));
}

// Lines of more points than this are drawn one pixel wide.
constexpr qsizetype kDenseLine = 2500;

QPen routePen(const QColor& colour, qsizetype points, Qt::PenStyle style = Qt::SolidLine)
{
    const bool dense = points > kDenseLine;
    QPen pen(colour, dense ? 1.0 : 2.0, dense ? Qt::SolidLine : style);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

bool isDark(const QColor& background) { return background.lightnessF() < 0.45; }

// A "nice" length for a scale bar or an axis step: 1, 2 or 5 times a power of ten, at most `limit`.
double niceStep(double limit)
{
    if (!(limit > 0) || !std::isfinite(limit))
        return 1;
    const double p = std::pow(10.0, std::floor(std::log10(limit)));
    for (const double f : {5.0, 2.0, 1.0})
        if (f * p <= limit)
            return f * p;
    return p;
}

QString metresText(double m)
{
    if (m >= 1000)
        return QString::number(m / 1000.0, 'g', 4) + QStringLiteral(" km");
    return QString::number(m, 'g', 4) + QStringLiteral(" m");
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
        poly << v.toDevice(area, r.points[i].xM, r.points[i].yM);
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

RouteColours RouteColours::fromPalette(const QPalette& palette)
{
    RouteColours c;
    c.text = palette.color(QPalette::WindowText);
    c.background = palette.color(QPalette::Base);
    const bool dark = isDark(c.background);
    c.route = dark ? kSkyBlue : kBlue;
    c.currentLeg = kVermillion;
    c.altimeter = kOrange;
    c.fillHeight = kGreen;
    c.recalc = kPurple;
    c.contour = c.text;
    c.contour.setAlphaF(0.18f);
    return c;
}

RouteColours RouteColours::forPaper()
{
    QPalette paper;
    paper.setColor(QPalette::WindowText, Qt::black);
    paper.setColor(QPalette::Base, Qt::white);
    return fromPalette(paper);
}

QRectF routeBounds(const Route& route)
{
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const RoutePoint& p : route.points) {
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

PlanView fitView(const Route& route, const QRectF& area, double marginPx)
{
    const QRectF b = routeBounds(route);
    const double w = std::max(1.0, area.width() - 2 * marginPx), h = std::max(1.0, area.height() - 2 * marginPx);
    PlanView v;
    v.scale = std::min(w / b.width(), h / b.height());
    v.centre = b.center();
    return v;
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
               const RouteColours& c, PlanPathCache* cache, const std::vector<const PlanOverlay*>& overlays)
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
    {
        QPolygonF device(line.size());
        for (qsizetype i = 0; i < line.size(); ++i)
            device[i] = view.toDevice(area, line[i].x(), line[i].y());
        p.setPen(routePen(c.route, device.size()));
        drawPolylineInPieces(p, device.constData(), device.size());
    }

    // Leg ends as small dots when there is room for them.
    const std::size_t rows = r.rowPoints.size();
    if (rows > 0 && rows < 4000 && view.scale * r.lengthM() / double(rows) > 6) {
        p.setPen(Qt::NoPen);
        p.setBrush(c.route);
        for (std::size_t i = 0; i < rows; ++i) {
            const QPointF d = view.toDevice(area, r.points[r.rowPoints[i]].xM, r.points[r.rowPoints[i]].yM);
            if (area.adjusted(-3, -3, 3, 3).contains(d))
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
        p.drawPolyline(devicePoints(r, end - 1, last, view, area));
        p.setBrush(c.currentLeg);
        p.drawEllipse(view.toDevice(area, r.points[end].xM, r.points[end].yM), 3.5, 3.5);
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

    // Marks as small labels beside their row's end point; skipped where a label would overlap
    // the one drawn just before it.
    if (scene.showMarks) {
        p.setPen(c.text);
        QFont f = p.font();
        f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.85));
        p.setFont(f);
        const QFontMetricsF fm(f);
        // At most a few hundred labels: more could not be read anyway, and each costs its layout.
        constexpr int kMaxLabels = 300;
        int drawn = 0;
        QRectF lastLabel;
        for (std::size_t i = 0; i < rows && i < scene.marks.size() && drawn < kMaxLabels; ++i) {
            if (scene.marks[i].isEmpty())
                continue;
            const QPointF d = view.toDevice(area, r.points[r.rowPoints[i]].xM, r.points[r.rowPoints[i]].yM);
            if (!area.contains(d))
                continue;
            const QRectF box(d + QPointF(5, -fm.height() - 2), QSizeF(fm.height() * 0.6 * scene.marks[i].size(), fm.height()));
            if (lastLabel.intersects(box))
                continue;
            p.drawText(QPointF(box.left(), box.top() + fm.ascent()), scene.marks[i]);
            lastLabel = box;
            ++drawn;
        }
    }

    for (const PlanOverlay* o : overlays)
        if (o)
            o->paint(p, area, view);

    drawScaleBar(p, area, view.scale, c);
    drawNorthArrow(p, area, c);
    p.restore();
}

ProfileFrame profileFrame(const RouteScene& scene, const QRectF& area)
{
    ProfileFrame f;
    f.plot = area.adjusted(52, 26, -12, -30);
    if (f.plot.width() < 10)
        f.plot.setWidth(10);
    if (f.plot.height() < 10)
        f.plot.setHeight(10);
    const auto& pr = scene.route.profile;
    double lo = scene.startHeight, hi = scene.startHeight;
    for (const auto* s : {&pr.altimeter, &pr.fillHeight, &pr.recalc})
        for (const ProfilePoint& pt : *s) {
            lo = std::min(lo, pt.heightM);
            hi = std::max(hi, pt.heightM);
        }
    const double pad = std::max(2.0, (hi - lo) * 0.08);
    f.y0 = std::floor((lo - pad) / 5.0) * 5.0;
    f.y1 = std::ceil((hi + pad) / 5.0) * 5.0;
    f.x0 = 0;
    f.x1 = std::max(1.0, scene.route.lengthM());
    return f;
}

int rowAtDistance(const Route& route, double distanceM)
{
    const std::size_t n = route.rowCount();
    if (n == 0)
        return -1;
    // Distances are non-decreasing: the first row ending at or after the distance, or the one before.
    std::size_t lo = 0, hi = n;
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (route.rowDistanceM(mid) < distanceM)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo >= n)
        return int(n - 1);
    if (lo > 0 && distanceM - route.rowDistanceM(lo - 1) < route.rowDistanceM(lo) - distanceM)
        return int(lo - 1);
    return int(lo);
}

namespace {

// One series as a polyline thinned to the device's columns: per column the first, lowest,
// highest and last point, so peaks survive. Rows without a value break the line.
void drawSeriesLine(QPainter& p, const std::vector<ProfilePoint>& s, const ProfileFrame& f)
{
    QPolygonF poly;
    auto flush = [&] {
        drawPolylineInPieces(p, poly.constData(), poly.size());
        poly.clear();
    };
    int column = std::numeric_limits<int>::min();
    QPointF lowest, highest;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i > 0 && s[i].row != s[i - 1].row + 1)
            flush();
        const QPointF d = f.toDevice(s[i].distanceM, s[i].heightM);
        const int col = int(std::floor(d.x()));
        if (col == column && !poly.isEmpty()) {
            if (d.y() < lowest.y())
                lowest = d;
            if (d.y() > highest.y())
                highest = d;
            poly.back() = d;   // the last point of the column follows
            continue;
        }
        if (!poly.isEmpty() && (lowest != poly.back() || highest != poly.back())) {
            const QPointF last = poly.back();
            poly.back() = lowest;
            poly << highest << last;
        }
        column = col;
        lowest = highest = d;
        poly << d;
    }
    flush();
}

}  // namespace

void paintProfile(QPainter& p, const QRectF& area, const RouteScene& scene, const RouteColours& c)
{
    p.save();
    p.setClipRect(area);
    p.fillRect(area, c.background);
    const ProfileFrame f = profileFrame(scene, area);
    const QFontMetricsF fm(p.font());

    // Levels: every 5 m faint (when at least 3 pixels apart), every 25 m stronger and labelled.
    const double pxPerMetre = f.plot.height() / (f.y1 - f.y0);
    double labelStep = 25;
    while (labelStep * pxPerMetre < fm.height() * 1.2)
        labelStep *= 5;
    for (double h = std::ceil(f.y0 / 5.0) * 5.0; h <= f.y1 + 1e-9; h += 5.0) {
        const bool labelled = std::fmod(std::fabs(h), labelStep) < 1e-9;
        if (!labelled && pxPerMetre * 5 < 3)
            continue;
        QColor lc = c.contour;
        if (labelled)
            lc.setAlphaF(std::min(1.0f, lc.alphaF() * 2.2f));
        p.setPen(QPen(lc, 1));
        const double y = f.toDevice(0, h).y();
        p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
        if (labelled) {
            p.setPen(c.text);
            p.drawText(QRectF(area.left(), y - fm.height() / 2, f.plot.left() - area.left() - 4, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(h, 'f', 0));
        }
    }
    // Distance axis along the bottom.
    p.setPen(c.text);
    p.drawLine(f.plot.bottomLeft(), f.plot.bottomRight());
    const double xStep = niceStep((f.x1 - f.x0) / std::max(1.0, f.plot.width() / 90.0) * 2) ;
    for (double x = 0; x <= f.x1 + 1e-9 && xStep > 0; x += xStep) {
        const double dx = f.toDevice(x, f.y0).x();
        p.drawLine(QPointF(dx, f.plot.bottom()), QPointF(dx, f.plot.bottom() + 4));
        p.drawText(QRectF(dx - 40, f.plot.bottom() + 4, 80, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   metresText(x));
    }

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(f.plot.adjusted(-4, -4, 4, 4));
    const auto& pr = scene.route.profile;
    const QPen fill = routePen(c.fillHeight, qsizetype(std::min<double>(double(pr.fillHeight.size()), f.plot.width() * 4)));
    p.setPen(fill);
    drawSeriesLine(p, pr.fillHeight, f);
    const QPen recalc =
        routePen(c.recalc, qsizetype(std::min<double>(double(pr.recalc.size()), f.plot.width() * 4)), Qt::DashLine);
    p.setPen(recalc);
    drawSeriesLine(p, pr.recalc, f);
    // Altimeter readings: open circles; thinned to one per device column when dense.
    p.setPen(QPen(c.altimeter, 1.6));
    int lastColumn = std::numeric_limits<int>::min();
    for (const ProfilePoint& pt : pr.altimeter) {
        const QPointF d = f.toDevice(pt.distanceM, pt.heightM);
        if (pr.altimeter.size() > 2000 && int(d.x()) == lastColumn)
            continue;
        lastColumn = int(d.x());
        p.drawEllipse(d, 3.0, 3.0);
    }
    // The current row.
    if (scene.currentRow >= 0 && std::size_t(scene.currentRow) < scene.route.rowCount()) {
        const double x = f.toDevice(scene.route.rowDistanceM(std::size_t(scene.currentRow)), f.y0).x();
        p.setPen(QPen(c.currentLeg, 2));
        p.drawLine(QPointF(x, f.plot.top()), QPointF(x, f.plot.bottom()));
    }

    // Legend along the top.
    p.setClipRect(area);
    p.setRenderHint(QPainter::Antialiasing, true);
    double lx = f.plot.left();
    const double ly = area.top() + 4 + fm.height() / 2;
    auto legend = [&](const QPen& pen, bool circle, const QString& text) {
        p.setPen(pen);
        if (circle)
            p.drawEllipse(QPointF(lx + 9, ly), 3.0, 3.0);
        else
            p.drawLine(QPointF(lx, ly), QPointF(lx + 18, ly));
        p.setPen(c.text);
        p.drawText(QPointF(lx + 24, ly + fm.ascent() / 2 - 1), text);
        lx += 24 + fm.horizontalAdvance(text) + 16;
    };
    legend(QPen(c.altimeter, 1.6), true, QStringLiteral("Altimeter"));
    auto wide = [](QPen pen) {
        pen.setWidthF(2.0);
        return pen;
    };
    legend(wide(fill), false, QStringLiteral("FillHeight"));
    legend(wide(recalc), false, QStringLiteral("Recalc"));
    p.restore();
}

void paintRoutePicture(QPainter& p, const QRectF& area, const RouteScene& scene, const RouteColours& c,
                       bool withProfile, const QString& caption)
{
    p.fillRect(area, c.background);
    QRectF rest = area;
    if (!caption.isEmpty()) {
        const QFontMetricsF fm(p.font());
        p.setPen(c.text);
        p.drawText(QRectF(area.left() + 8, area.top() + 4, area.width() - 16, fm.height() + 2),
                   Qt::AlignLeft | Qt::AlignVCenter, caption);
        rest.setTop(area.top() + fm.height() + 8);
    }
    QRectF plan = rest;
    if (withProfile) {
        plan.setHeight(rest.height() * 0.62);
        paintProfile(p, QRectF(rest.left(), plan.bottom(), rest.width(), rest.bottom() - plan.bottom()), scene, c);
    }
    paintPlan(p, plan, scene, fitView(scene.route, plan), c);
}

bool writeRoutePicture(const QString& path, const QSize& size, const RouteScene& scene, bool withProfile,
                       const QString& caption, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext != QLatin1String("png") && ext != QLatin1String("svg") && ext != QLatin1String("pdf"))
        return fail(QStringLiteral("'%1': the picture is written as .png, .svg or .pdf.").arg(path));
    if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
        return fail(QStringLiteral("A picture of %1x%2 pixels cannot be written; use 16 to 20000 pixels a side.")
                        .arg(size.width())
                        .arg(size.height()));
    // Written beside the target and renamed over it at the end: a failed write leaves nothing.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    const RouteColours colours = RouteColours::forPaper();
    const QRectF area(QPointF(0, 0), QSizeF(size));
    bool painted = false;
    if (ext == QLatin1String("png")) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(colours.background);
        {
            QPainter p(&image);
            paintRoutePicture(p, area, scene, colours, withProfile, caption);
        }
        painted = image.save(&file, "PNG");
    } else if (ext == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(caption);
        QPainter p;
        painted = p.begin(&svg);
        if (painted) {
            paintRoutePicture(p, area, scene, colours, withProfile, caption);
            painted = p.end();
        }
    } else {
        QPdfWriter pdf(&file);
        pdf.setTitle(caption);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size) * 25.4 / 96.0, QPageSize::Millimeter));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p;
        painted = p.begin(&pdf);
        if (painted) {
            const QRectF page(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
            paintRoutePicture(p, page, scene, colours, withProfile, caption);
            painted = p.end();
        }
    }
    if (!painted) {
        file.cancelWriting();
        return fail(QStringLiteral("Cannot write '%1': the picture could not be drawn.").arg(path));
    }
    if (!file.commit())
        return fail(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    return true;
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Route plan and height profile painting, and the picture files written from them.
#include "shell/paint/route_painter.h"

#include "shell/paint/atomic_file_device.h"
#include "shell/paint/png_writer.h"
#include "shell/paint/route_known_marks.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPalette>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <future>
#include <limits>
#include <unordered_map>

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

// Clips the segment a-b to the rectangle [0, w-1] x [top, bottom] (Liang-Barsky); false when
// nothing of it is left.
bool clipSegment(QPointF& a, QPointF& b, double w, double top, double bottom)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x(), w - 1 - a.x(), a.y() - top, bottom - a.y()};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    a = start + QPointF(dx, dy) * t0;
    b = start + QPointF(dx, dy) * t1;
    return true;
}

// Pixels of a 32-bit image, taken once so that threads setting disjoint rows share no state.
struct PixelRows {
    QRgb* bits;
    qsizetype stride;   ///< pixels per row
    int width;
};

// Sets the pixels of the line through `points` (image coordinates) that lie in the rows
// [top, bottom].
void setLinePixels(const PixelRows& rows, const std::vector<QPointF>& points, int top, int bottom, QRgb pixel)
{
    QRgb* const bits = rows.bits;
    const qsizetype stride = rows.stride;
    const int w = rows.width;
    for (std::size_t i = 1; i < points.size(); ++i) {
        QPointF a = points[i - 1], b = points[i];
        if (!clipSegment(a, b, w, top, bottom))
            continue;
        // Clipped into the band, so every pixel stepped on lies inside it. One coordinate
        // steps by whole pixels, the other in 16.16 fixed point.
        const int x0 = int(std::lround(a.x())), y0 = int(std::lround(a.y()));
        const int x1 = int(std::lround(b.x())), y1 = int(std::lround(b.y()));
        const int dx = x1 - x0, dy = y1 - y0;
        const int steps = std::max(std::abs(dx), std::abs(dy));
        if (steps == 0) {
            bits[qsizetype(y0) * stride + x0] = pixel;
            continue;
        }
        if (std::abs(dx) >= std::abs(dy)) {
            const int sx = dx > 0 ? 1 : -1;
            const qint64 step = (qint64(dy) << 16) / steps;
            qint64 y = (qint64(y0) << 16) + 0x8000;
            for (int k = 0, x = x0; k <= steps; ++k, x += sx, y += step)
                bits[qsizetype(y >> 16) * stride + x] = pixel;
        } else {
            const int sy = dy > 0 ? 1 : -1;
            const qint64 step = (qint64(dx) << 16) / steps;
            qint64 x = (qint64(x0) << 16) + 0x8000;
            for (int k = 0, y = y0; k <= steps; ++k, y += sy, x += step)
                bits[qsizetype(y) * stride + qsizetype(x >> 16)] = pixel;
        }
    }
}

// A one-pixel line through many short segments, set pixel by pixel into a transparent image
// that is then drawn at once: a hundred thousand legs cost about a millisecond this way, many
// times less than stroking them. A large picture is set in two bands of rows at once. Only for
// raster targets; SVG and PDF pictures keep lines.
void drawDenseLine(QPainter& p, const QRectF& area, const QPolygonF& ground, const PlanView& view, const QColor& colour)
{
    const qreal ratio = p.device()->devicePixelRatio();
    const QSize size = (area.size() * ratio).toSize();
    if (size.isEmpty() || ground.isEmpty())
        return;
    // Painting into an opaque image (a picture file) at whole pixels: the pixels are set in it
    // directly. Otherwise into a transparent image of the area, drawn over it afterwards.
    auto* target = p.device()->devType() == QInternal::Image ? static_cast<QImage*>(p.device()) : nullptr;
    const QRect whole = area.toRect();
    const bool direct = target && ratio == 1 && colour.alpha() == 255 && QRectF(whole) == area &&
                        target->rect().contains(whole) &&
                        (target->format() == QImage::Format_RGB32 ||
                         target->format() == QImage::Format_ARGB32_Premultiplied);
    QImage own;
    PixelRows rows{};
    if (direct) {
        const qsizetype stride = target->bytesPerLine() / qsizetype(sizeof(QRgb));
        rows = {reinterpret_cast<QRgb*>(target->bits()) + qsizetype(whole.top()) * stride + whole.left(), stride,
                size.width()};
    } else {
        own = QImage(size, QImage::Format_ARGB32_Premultiplied);
        own.fill(Qt::transparent);
        rows = {reinterpret_cast<QRgb*>(own.bits()), own.bytesPerLine() / qsizetype(sizeof(QRgb)), size.width()};
    }
    const QRectF local(QPointF(0, 0), area.size());
    std::vector<QPointF> points;
    points.reserve(std::size_t(ground.size()));
    for (const QPointF& g : ground)
        points.push_back(view.toDevice(local, g.x(), g.y()) * ratio);
    const QRgb pixel = qPremultiply(colour.rgba());
    const int h = size.height();
    if (qint64(size.width()) * h >= 150000) {
        // The bands are disjoint rows of the image, so the two threads never touch one pixel.
        const int split = h / 2;
        std::future<void> lower = std::async(std::launch::async, [&rows, &points, split, h, pixel] {
            setLinePixels(rows, points, split, h - 1, pixel);
        });
        setLinePixels(rows, points, 0, split - 1, pixel);
        lower.get();
    } else {
        setLinePixels(rows, points, 0, h - 1, pixel);
    }
    if (!direct) {
        own.setDevicePixelRatio(ratio);
        p.drawImage(area.topLeft(), own);
    }
}

// Whether pixels set into an image and drawn 1:1 look as the painter would draw them.
bool isRasterTarget(const QPainter& p)
{
    const QPaintEngine* engine = p.paintEngine();
    return engine && engine->type() == QPaintEngine::Raster && p.worldTransform().isIdentity();
}

QPen routePen(const QColor& colour, qsizetype points, Qt::PenStyle style = Qt::SolidLine)
{
    const bool dense = points > kDenseLine;
    QPen pen(colour, dense ? 1.0 : 2.0, dense ? Qt::SolidLine : style);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

bool isDark(const QColor& background) { return background.lightnessF() < 0.45; }

QString metresText(double m)
{
    if (m >= 1000)
        return QString::number(m / 1000.0, 'g', 4) + QStringLiteral(" km");
    return QString::number(m, 'g', 4) + QStringLiteral(" m");
}

// The corners the scale bar and the north arrow take (labels keep out of them).
QRectF scaleBarBox(const QRectF& area) { return {area.left() + 8, area.bottom() - 38, 216, 38}; }
QRectF northArrowBox(const QRectF& area) { return {area.right() - 34, area.top() + 6, 30, 50}; }

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
    c.known = kPurple;
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
        const int c0 = std::max(0, int((box.left() - area.left()) / kCell));
        const int c1 = std::min(columns - 1, int((box.right() - area.left()) / kCell));
        const int r0 = std::max(0, int((box.top() - area.top()) / kCell));
        const int r1 = std::min(cellRows - 1, int((box.bottom() - area.top()) / kCell));
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
    if (scene.knownPoints)
        for (const KnownPointMark& k : scene.knownPoints->marks)
            cells(QRectF(view.toDevice(area, k.xM, k.yM) - QPointF(6, 6), QSizeF(12, 12)), true);
    const QRectF inside = area.adjusted(2, 2, -2, -2);
    // A known point's own label keeps clear of its square.
    std::vector<bool> knownRow(scene.marks.size(), false);
    if (scene.knownPoints)
        for (const KnownPointMark& k : scene.knownPoints->marks)
            if (k.row >= 1 && std::size_t(k.row) <= knownRow.size())
                knownRow[std::size_t(k.row) - 1] = true;
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
        const RoutePoint& end = r.points[r.rowPoints[i]];
        const QPointF d = view.toDevice(area, end.xM, end.yM);
        if (!inside.contains(d))
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
            if (!inside.contains(box) || !cells(box, false))
                continue;
            cells(box, true);
            labels.push_back({i, box});
            break;
        }
    }
    return labels;
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
            device[i] = view.toDevice(area, line[i].x(), line[i].y());
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

    // Marks as small labels beside their row's end point.
    if (scene.showMarks) {
        p.setPen(c.text);
        QFont f = p.font();
        f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.85));
        p.setFont(f);
        const QFontMetricsF fm(f);
        for (const MarkLabel& label : markLabels(scene, view, area, fm))
            p.drawText(QPointF(label.box.left(), label.box.top() + fm.ascent()), scene.marks[label.row]);
    }

    if (scene.knownPoints)
        paintKnownPointMarks(p, area, view, *scene.knownPoints, c.known);

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

// A series with many points to a column, drawn as the band between its lowest and highest
// point in each column: one filled outline per run of rows with values, without antialiasing.
// Stroking the same data as a zigzag line costs many times more and shows nothing else.
void drawSeriesBand(QPainter& p, const std::vector<ProfilePoint>& s, const ProfileFrame& f, const QColor& colour)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(colour, 1));
    p.setBrush(colour);
    std::vector<double> top, bottom;   // per column of the run
    int firstColumn = 0;
    auto flush = [&] {
        if (top.empty())
            return;
        QPolygonF outline;
        outline.reserve(qsizetype(2 * top.size() + 1));
        for (std::size_t k = 0; k < top.size(); ++k)
            outline << QPointF(firstColumn + double(k), top[k]);
        for (std::size_t k = bottom.size(); k-- > 0;)
            outline << QPointF(firstColumn + double(k), bottom[k]);
        if (top.size() == 1)
            p.drawLine(outline[0], outline[1]);
        else
            p.drawPolygon(outline);
        top.clear();
        bottom.clear();
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i > 0 && s[i].row != s[i - 1].row + 1)
            flush();
        const QPointF d = f.toDevice(s[i].distanceM, s[i].heightM);
        const int col = int(std::floor(d.x()));
        if (top.empty()) {
            firstColumn = col;
        } else if (col < firstColumn + int(top.size()) - 1) {
            continue;   // a leg of zero length after a longer one: already covered
        }
        while (firstColumn + int(top.size()) <= col) {
            // Columns a long leg jumps over take the line between its ends.
            if (top.empty()) {
                top.push_back(d.y());
                bottom.push_back(d.y());
            } else {
                const double y0 = (top.back() + bottom.back()) / 2;
                const int from = firstColumn + int(top.size()) - 1;
                const double t = double(firstColumn + int(top.size()) - from) / double(col - from);
                const double y = y0 + (d.y() - y0) * t;
                top.push_back(y);
                bottom.push_back(y);
            }
        }
        double& hi = top.back();
        double& lo = bottom.back();
        hi = std::min(hi, d.y());
        lo = std::max(lo, d.y());
    }
    flush();
    p.restore();
}

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
    const QPen recalc =
        routePen(c.recalc, qsizetype(std::min<double>(double(pr.recalc.size()), f.plot.width() * 4)), Qt::DashLine);
    // More points than columns: bands; otherwise lines, Recalc dashed.
    auto draw = [&](const std::vector<ProfilePoint>& series, const QPen& pen) {
        if (double(series.size()) > f.plot.width() * 2) {
            drawSeriesBand(p, series, f, pen.color());
        } else {
            p.setPen(pen);
            drawSeriesLine(p, series, f);
        }
    };
    draw(pr.fillHeight, fill);
    draw(pr.recalc, recalc);
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

namespace {

// Where the parts of a picture go: the caption's line at the top, the plan below it and, with a
// profile, the profile under the plan (split on a whole pixel).
struct PictureLayout {
    QRectF caption, plan, profile;
};

PictureLayout pictureLayout(const QRectF& area, const QFont& font, bool withProfile, bool withCaption)
{
    PictureLayout l;
    QRectF rest = area;
    if (withCaption) {
        const QFontMetricsF fm(font);
        l.caption = QRectF(area.left() + 8, area.top() + 4, area.width() - 16, fm.height() + 2);
        rest.setTop(std::round(area.top() + fm.height() + 8));
    }
    l.plan = rest;
    if (withProfile) {
        l.plan.setHeight(std::round(rest.height() * 0.62));
        l.profile = QRectF(rest.left(), l.plan.bottom(), rest.width(), rest.bottom() - l.plan.bottom());
    }
    return l;
}

void paintCaptionAndPlan(QPainter& p, const PictureLayout& l, const RouteScene& scene, const RouteColours& c,
                         const QString& caption)
{
    if (!caption.isEmpty()) {
        p.setPen(c.text);
        p.drawText(l.caption, Qt::AlignLeft | Qt::AlignVCenter, caption);
    }
    paintPlan(p, l.plan, scene, fitView(scene.route, l.plan), c);
}

}  // namespace

void paintRoutePicture(QPainter& p, const QRectF& area, const RouteScene& scene, const RouteColours& c,
                       bool withProfile, const QString& caption)
{
    p.fillRect(area, c.background);
    const PictureLayout l = pictureLayout(area, p.font(), withProfile, !caption.isEmpty());
    if (withProfile)
        paintProfile(p, l.profile, scene, c);
    paintCaptionAndPlan(p, l, scene, c, caption);
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
    AtomicFileDevice file;
    if (!file.begin(path))
        return fail(QStringLiteral("Cannot write the picture: %1").arg(file.errorText()));
    const RouteColours colours = RouteColours::forPaper();
    const QRectF area(QPointF(0, 0), QSizeF(size));
    bool painted = false;
    if (ext == QLatin1String("png")) {
        const PictureLayout l = pictureLayout(area, QFont(), withProfile, !caption.isEmpty());
        // The picture is two bands of rows: caption and plan above, the profile below. The
        // profile is painted and compressed on a second thread while this one paints the plan
        // (painting into images is safe on any thread); the bands are joined into one file.
        const int split = withProfile ? int(l.profile.top()) : size.height();
        std::future<PngBand> profile;
        if (withProfile)
            profile = std::async(std::launch::async, [&scene, &colours, &size, split] {
                QImage part(size.width(), size.height() - split, QImage::Format_RGB32);
                part.fill(colours.background);
                QPainter p(&part);
                paintProfile(p, QRectF(part.rect()), scene, colours);
                p.end();
                return PngBand::compress(part, 0, part.height(), true);
            });
        QImage top(size.width(), split, QImage::Format_RGB32);
        top.fill(colours.background);
        {
            QPainter p(&top);
            paintCaptionAndPlan(p, l, scene, colours, caption);
        }
        if (profile.valid()) {
            // The upper band in two halves at once, the profile's band done by then or soon.
            std::future<PngBand> lowerHalf = std::async(std::launch::async, [&top, split] {
                return PngBand::compress(top, split / 2, split, false);
            });
            std::vector<PngBand> bands;
            bands.push_back(PngBand::compress(top, 0, split / 2, false));
            bands.push_back(lowerHalf.get());
            bands.push_back(profile.get());
            painted = writeFastPng(bands, file);
        } else {
            painted = writeFastPng(top, file);
        }
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
    if (!painted || !file.commit()) {
        file.cancel();
        return fail(file.errorText().isEmpty() ? QStringLiteral("Cannot write '%1': the picture could not be drawn.").arg(path)
                                               : QStringLiteral("Cannot write the picture: %1").arg(file.errorText()));
    }
    return true;
}

}  // namespace zelt::shell

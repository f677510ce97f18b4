// SPDX-License-Identifier: GPL-3.0-or-later
// The height profile: its frame, the row at a distance, and painting the series.
#include "shell/paint/route_painter.h"

#include "shell/paint/route_painter_private.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelt::shell {

using namespace detail;
using zelt::compute::ProfilePoint;
using zelt::compute::Route;

ProfileFrame profileFrame(const RouteScene& scene, const QRectF& area)
{
    ProfileFrame f;
    f.plot = area.adjusted(52, 26, -12, -30);
    if (f.plot.width() < 10)
        f.plot.setWidth(10);
    if (f.plot.height() < 10)
        f.plot.setHeight(10);
    const auto& pr = scene.route.profile;
    // Heights that are no terrain's (huge, infinite, not a number) stay out of the frame.
    const double start = isNearValue(scene.startHeight) ? scene.startHeight : 0.0;
    double lo = start, hi = start;
    for (const auto* s : {&pr.altimeter, &pr.fillHeight, &pr.recalc})
        for (const ProfilePoint& pt : *s)
            if (isNearValue(pt.heightM)) {
                lo = std::min(lo, pt.heightM);
                hi = std::max(hi, pt.heightM);
            }
    const double pad = std::max(2.0, (hi - lo) * 0.08);
    f.y0 = std::floor((lo - pad) / 5.0) * 5.0;
    f.y1 = std::ceil((hi + pad) / 5.0) * 5.0;
    f.x0 = 0;
    double length = scene.route.lengthM();
    if (!isNearValue(length)) {
        length = 0;   // the farthest row walked to that is a walk's
        for (std::size_t i = 0; i < scene.route.rowCount(); ++i)
            if (isNearValue(scene.route.rowDistanceM(i)))
                length = std::max(length, scene.route.rowDistanceM(i));
    }
    f.x1 = std::max(1.0, length);
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
    // Columns a little beyond the plot on either side: a point farther out (a huge distance)
    // is taken there, so the columns filled between two points stay as many as the plot has.
    const double firstCol = std::floor(f.plot.left()) - 2, lastCol = std::ceil(f.plot.right()) + 2;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i > 0 && s[i].row != s[i - 1].row + 1)
            flush();
        const QPointF far = f.toDevice(s[i].distanceM, s[i].heightM);
        if (!isFinitePoint(far)) {   // no value to draw: the band breaks as at a row without one
            flush();
            continue;
        }
        // Far above or below the plot a band looks the same at any height.
        const QPointF d = boundedPoint(far, f.plot.adjusted(0, kFarPx - 100, 0, 100 - kFarPx));
        const int col = int(std::clamp(std::floor(d.x()), firstCol, lastCol));
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
        const QPointF far = f.toDevice(s[i].distanceM, s[i].heightM);
        if (!isFinitePoint(far)) {   // no value to draw: the line breaks as at a row without one
            flush();
            continue;
        }
        const QPointF d = boundedPoint(far, f.plot);
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

    // Levels: every 5 m faint (when at least 3 pixels apart), every 25 m stronger and labelled;
    // a range too short to hold two levels of 25 m (a flat profile) labels every 10 or 5 m
    // where the labels have room.
    // The frame is finite and at most some 2e7 m high, so the steps and counts below are
    // bounded; the loops count levels by whole numbers all the same, so that no step too small
    // for the height it is added to can keep one going.
    const double pxPerMetre = f.plot.height() / (f.y1 - f.y0);
    double labelStep = 25;
    for (int k = 0; k < 64 && labelStep * pxPerMetre < fm.height() * 1.2; ++k)
        labelStep *= 5;
    const auto labelledLevels = [&](double step) { return std::floor(f.y1 / step) - std::ceil(f.y0 / step) + 1; };
    for (const double finer : {10.0, 5.0})
        if (labelStep > finer && labelledLevels(labelStep) < 2 && finer * pxPerMetre >= fm.height() * 1.2)
            labelStep = finer;
    // Every 5 m when those levels are drawn (3 pixels apart or more), else only the labelled ones.
    const double levelStep = pxPerMetre * 5 >= 3 ? 5.0 : labelStep;
    const double firstLevel = std::ceil(f.y0 / levelStep), levels = std::floor(f.y1 / levelStep) - firstLevel + 1;
    const int levelCount = levels > 0 && levels <= 10000 ? int(levels) : 0;
    for (int k = 0; k < levelCount; ++k) {
        const double h = (firstLevel + k) * levelStep;
        const bool labelled = std::fmod(std::fabs(h), labelStep) < 1e-9;
        QColor lc = c.contour;
        if (labelled)
            lc.setAlphaF(std::min(1.0f, lc.alphaF() * 2.2f));
        p.setPen(QPen(lc, 1));
        const double y = f.toDevice(0, h).y();
        p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
        if (labelled) {
            p.setPen(c.text);
            // The lowest label keeps above the distances along the bottom.
            const double top = std::min(y - fm.height() / 2, f.plot.bottom() + 3 - fm.height());
            p.drawText(QRectF(area.left(), top, f.plot.left() - area.left() - 4, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(h, 'f', 0));
        }
    }
    // Distance axis along the bottom.
    p.setPen(c.text);
    p.drawLine(f.plot.bottomLeft(), f.plot.bottomRight());
    const double xStep = niceStep((f.x1 - f.x0) / std::max(1.0, f.plot.width() / 90.0) * 2) ;
    // Each label centred under its tick, but moved in to stay whole inside the picture; one that
    // would then run into the label before it is left out.
    double labelsEnd = -std::numeric_limits<double>::infinity();
    const double ticks = std::floor((f.x1 + 1e-9) / xStep) + 1;
    const int tickCount = ticks > 0 && ticks <= 10000 ? int(ticks) : 0;
    for (int k = 0; k < tickCount; ++k) {
        const double x = k * xStep;
        const double dx = f.toDevice(x, f.y0).x();
        p.drawLine(QPointF(dx, f.plot.bottom()), QPointF(dx, f.plot.bottom() + 4));
        const QString text = metresText(x);
        const double width = fm.horizontalAdvance(text);
        const double left = std::max(area.left() + 1, std::min(dx - width / 2, area.right() - 1 - width));
        if (left < labelsEnd + fm.averageCharWidth())
            continue;
        labelsEnd = left + width;
        p.drawText(QPointF(left, f.plot.bottom() + 4 + fm.ascent()), text);
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
        const QPointF far = f.toDevice(pt.distanceM, pt.heightM);
        if (!isFinitePoint(far))
            continue;
        const QPointF d = boundedPoint(far, f.plot);
        if (pr.altimeter.size() > 2000 && int(d.x()) == lastColumn)
            continue;
        lastColumn = int(d.x());
        p.drawEllipse(d, 3.0, 3.0);
    }
    // The current row.
    if (scene.currentRow >= 0 && std::size_t(scene.currentRow) < scene.route.rowCount()) {
        const QPointF at = f.toDevice(scene.route.rowDistanceM(std::size_t(scene.currentRow)), f.y0);
        if (isFinitePoint(at)) {
            const double x = boundedPoint(at, f.plot).x();
            p.setPen(QPen(c.currentLeg, 2));
            p.drawLine(QPointF(x, f.plot.top()), QPointF(x, f.plot.bottom()));
        }
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

}  // namespace zelt::shell

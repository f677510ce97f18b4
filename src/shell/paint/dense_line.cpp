// SPDX-License-Identifier: GPL-3.0-or-later
// Dense route lines set pixel by pixel into the picture, in two bands of rows at once when large.
#include "shell/paint/route_painter_private.h"

#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <future>
#include <vector>

namespace zelt::shell::detail {

namespace {

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
        // The band [0, w-1] x [top, bottom].
        if (!clipSegment(a, b, QRectF(0, top, w - 1, bottom - top)))
            continue;
        // Clipped into the band, so every pixel stepped on lies inside it (the ends are held
        // there against rounding too). One coordinate steps by whole pixels, the other in 16.16
        // fixed point.
        const auto px = [w](double x) { return int(std::clamp(std::lround(x), 0L, long(w - 1))); };
        const auto py = [top, bottom](double y) { return int(std::clamp(std::lround(y), long(top), long(bottom))); };
        const int x0 = px(a.x()), y0 = py(a.y());
        const int x1 = px(b.x()), y1 = py(b.y());
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

}  // namespace

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
        if (const QPointF d = view.toDevice(local, g.x(), g.y()); isFinitePoint(d))
            points.push_back(boundedPoint(d, local) * ratio);
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

}  // namespace zelt::shell::detail

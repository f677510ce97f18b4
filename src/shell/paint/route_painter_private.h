// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces the route painting files share: colours, pens, the dense-line threshold, the plan's
// corners. Private to src/shell/paint.
#pragma once

#include "shell/paint/route_painter.h"

#include <QColor>
#include <QFont>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cmath>

#include <QRectF>

class QPainter;
class QPolygonF;

namespace zelt::shell::detail {

// Colours told apart with the common colour-vision deficiencies (blue, vermillion, orange,
// bluish green, reddish purple).
inline const QColor kBlue(0x00, 0x72, 0xB2);
inline const QColor kVermillion(0xD5, 0x5E, 0x00);
inline const QColor kOrange(0xE6, 0x9F, 0x00);
inline const QColor kGreen(0x00, 0x9E, 0x73);
inline const QColor kPurple(0xCC, 0x79, 0xA7);
inline const QColor kSkyBlue(0x56, 0xB4, 0xE9);

// Ground metres (distances, heights, plan coordinates) beyond this size are no walked route's:
// a value edited into a table from elsewhere. The pictures' frames leave them out, so the rest
// of the route stays readable, and what is drawn of them leaves the picture.
constexpr double kFarM = 1e7;
inline bool isNearValue(double v) { return std::fabs(v) <= kFarM; }   // false for NaN too

// Device coordinates are kept within this many pixels of the area painted: a point farther out
// is drawn at that distance, along each axis, so the painter and the pixel loops only meet
// numbers of a sane size. A route fitted to its view never comes near it.
constexpr double kFarPx = 1e6;
inline bool isFinitePoint(const QPointF& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }
inline QPointF boundedPoint(const QPointF& p, const QRectF& area)
{
    return {std::clamp(p.x(), area.left() - kFarPx, area.right() + kFarPx),
            std::clamp(p.y(), area.top() - kFarPx, area.bottom() + kFarPx)};
}

// Clips the segment a-b to `r` (Liang-Barsky); false when nothing of it is left. The painter
// strokes a line reaching far outside the picture at great cost, so lines are cut first.
bool clipSegment(QPointF& a, QPointF& b, const QRectF& r);

// Lines of more points than this are drawn one pixel wide.
constexpr qsizetype kDenseLine = 2500;

// Long antialiased polylines are stroked as one self-intersecting outline, which costs far
// more than the same line drawn in short pieces; pieces also let the painter skip what lies
// outside the clip. Segments are cut to the painter's clip (or its window) with a margin.
void drawPolylineInPieces(QPainter& p, const QPointF* points, qsizetype count);

// Pen of a route line or profile series of `points` points: one pixel wide (and solid) when
// dense, two pixels otherwise.
QPen routePen(const QColor& colour, qsizetype points, Qt::PenStyle style = Qt::SolidLine);

// "850 m", "1.25 km".
QString metresText(double m);

// The corners the scale bar and the north arrow take (labels keep out of them).
QRectF scaleBarBox(const QRectF& area);
QRectF northArrowBox(const QRectF& area);
// The box the start triangle takes around the device point of the route's start.
QRectF startMarkBox(const QPointF& start);

// `font` with its size in pixels of the picture's own coordinates (a point taken as 96/72
// pixels, as on a screen of 96 dpi). A font given in points is resolved at the resolution of
// the device painted on, which a printer's 1200 dpi makes giant under a painter scaled to 96-dpi
// units, and the metrics that place the texts (taken without a device) would no longer fit.
QFont pictureFont(const QFont& font);
// `font` made `factor` times larger, in whichever unit its size is given; at least `minimum`
// points (or the same in pixels).
QFont scaledFont(const QFont& font, double factor, double minimum);
// The plan's font for mark labels and the known points' note: 0.85 of the plan's font.
inline QFont planLabelFont(const QFont& font) { return scaledFont(font, 0.85, 6.0); }

// A one-pixel line through many short segments, set pixel by pixel into a transparent image
// that is then drawn at once: a hundred thousand legs cost about a millisecond this way, many
// times less than stroking them. A large picture is set in two bands of rows at once. Only for
// raster targets; SVG and PDF pictures keep lines.
void drawDenseLine(QPainter& p, const QRectF& area, const QPolygonF& ground, const PlanView& view, const QColor& colour);

}  // namespace zelt::shell::detail

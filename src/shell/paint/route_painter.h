// SPDX-License-Identifier: GPL-3.0-or-later
// Paints the route plan and the height profile with QPainter (QtGui only, shared with zelt-cli).
#pragma once

#include "compute/route_geometry.h"

#include <QColor>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QFont;
class QFontMetricsF;
class QPainter;
class QPalette;

namespace zelt::shell {

struct KnownPointMarks;

/// Colours of the route pictures. Text and background come from the palette (a dark theme
/// works); the series colours are told apart with the common colour-vision deficiencies and
/// the profile's lines also differ in dash and marker.
struct RouteColours {
    QColor text;
    QColor background;
    QColor route;        ///< the route line
    QColor currentLeg;   ///< the current row's leg
    QColor altimeter;    ///< altimeter readings (points)
    QColor fillHeight;   ///< FillHeight (solid line)
    QColor recalc;       ///< Recalc (dashed line)
    QColor contour;      ///< 5 m levels (faint)
    QColor known;        ///< known points and their residual arrows

    static RouteColours fromPalette(const QPalette& palette);
    /// Dark text on white, for files and paper.
    static RouteColours forPaper();
};

/// What the pictures show of one route.
struct RouteScene {
    zelt::compute::Route route;
    std::vector<QString> marks;   ///< `Mark` of each row
    double startHeight = 420.0;
    int currentRow = -1;          ///< 0-based; -1 for none
    bool showMarks = true;
    /// Incremented by whoever changes `route`, so cached paths know they are stale.
    std::uint64_t version = 0;
    /// Known points with their residuals, drawn over the plan (null or empty: none).
    std::shared_ptr<const KnownPointMarks> knownPoints;
};

/// The plan's mapping of ground metres to the drawing: `scale` pixels per metre, `centre` the
/// ground point in the middle of the drawing area; north is up.
struct PlanView {
    double scale = 1.0;
    QPointF centre;

    QPointF toDevice(const QRectF& area, double xM, double yM) const
    {
        return {area.center().x() + (xM - centre.x()) * scale, area.center().y() - (yM - centre.y()) * scale};
    }
    QPointF toGround(const QRectF& area, const QPointF& p) const
    {
        return {centre.x() + (p.x() - area.center().x()) / scale, centre.y() - (p.y() - area.center().y()) / scale};
    }
};

/// A "nice" number for a scale bar, an axis step or a magnification: 1, 2 or 5 times a power
/// of ten, at most `limit` (1 for a limit that is not a positive number).
double niceStep(double limit);

/// The ground rectangle holding every point of the route (x east, y north; never empty).
QRectF routeBounds(const zelt::compute::Route& route);
/// The view that shows all of `route` inside `area` with `marginPx` to spare and, with a
/// `bottomBandPx` above 0, that band along the bottom (and 10 pixels above it) left free.
PlanView fitView(const zelt::compute::Route& route, const QRectF& area, double marginPx = 24.0,
                 double bottomBandPx = 0);
/// The fitted view of the plan that paintPlan draws with `font` into `area`: the whole route,
/// clear of the band along the bottom that holds the scale bar and the known points' note.
PlanView fitPlanView(const RouteScene& scene, const QRectF& area, const QFont& font);

/// The route line thinned for one scale: points closer than half a pixel to the last kept one
/// are dropped (leg ends are never merged across rows that matter for the picture). Rebuilt
/// when the route's version or the scale changes; panning reuses it.
class PlanPathCache {
public:
    const QPolygonF& polyline(const RouteScene& scene, double scale);

private:
    QPolygonF m_polyline;   ///< ground metres, y north
    std::uint64_t m_version = ~std::uint64_t(0);
    double m_scale = 0;
    const void* m_route = nullptr;
};

/// The drawn segment nearest to `devicePoint` within `tolerancePx`: the row it belongs to
/// (the row of its end point), or -1. The start point counts as row 0.
int rowNearPoint(const RouteScene& scene, const PlanView& view, const QRectF& area, const QPointF& devicePoint,
                 double tolerancePx);

/// A mark's label on the plan: the row and the box its text fills.
struct MarkLabel {
    std::size_t row = 0;
    QRectF box;
};
/// The labels the plan draws for the rows' marks in `area`: each inside the area, a few pixels
/// clear of every other label and overlapping no known point, the start triangle, the north
/// arrow, the scale bar or the known points' note, right of its point or, near the right edge,
/// left of it. Where labels would crowd, the earlier row's label wins; the work is linear in the
/// rows (taken space is kept in a grid of cells).
std::vector<MarkLabel> markLabels(const RouteScene& scene, const PlanView& view, const QRectF& area,
                                  const QFontMetricsF& metrics);

/// Paints the plan into `area`: background, route line, start triangle, marks, the current
/// leg, known points, scale bar and north arrow. `cache` may be null.
void paintPlan(QPainter& painter, const QRectF& area, const RouteScene& scene, const PlanView& view,
               const RouteColours& colours, PlanPathCache* cache = nullptr);

/// The profile's frame: the plot rectangle inside `area` and the ranges it shows.
struct ProfileFrame {
    QRectF plot;
    double x0 = 0, x1 = 1;   ///< metres walked
    double y0 = 0, y1 = 1;   ///< metres of height
    QPointF toDevice(double distanceM, double heightM) const
    {
        return {plot.left() + (distanceM - x0) / (x1 - x0) * plot.width(),
                plot.bottom() - (heightM - y0) / (y1 - y0) * plot.height()};
    }
    double distanceAt(double deviceX) const { return x0 + (deviceX - plot.left()) / plot.width() * (x1 - x0); }
};

ProfileFrame profileFrame(const RouteScene& scene, const QRectF& area);
/// The row whose end lies nearest to `distanceM` walked; -1 without rows.
int rowAtDistance(const zelt::compute::Route& route, double distanceM);

/// Paints the height profile into `area`: levels every 5 m (every 25 m labelled), FillHeight
/// and Recalc as lines, Altimeter readings as points, the legend and the current row's marker.
void paintProfile(QPainter& painter, const QRectF& area, const RouteScene& scene, const RouteColours& colours);

/// The whole picture as the dock shows it: the plan fitted into the upper part of `area` and
/// the profile below it (or the plan alone). `caption` (may be empty) is written at the top.
void paintRoutePicture(QPainter& painter, const QRectF& area, const RouteScene& scene, const RouteColours& colours,
                       bool withProfile, const QString& caption = {});

/// Writes the picture to a PNG, SVG or PDF file chosen by the file's extension, 16 to 20000
/// pixels a side (a picture too low for the caption or the profile leaves them out). False with
/// `error` set when the extension or the size is refused or the file cannot be written.
bool writeRoutePicture(const QString& path, const QSize& size, const RouteScene& scene, bool withProfile,
                       const QString& caption, QString* error);

}  // namespace zelt::shell

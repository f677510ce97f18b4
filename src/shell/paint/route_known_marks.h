// SPDX-License-Identifier: GPL-3.0-or-later
// Known points on the route plan: where they are on the route and how far the fit leaves them.
// QtGui only, shared with zelt-cli.
#pragma once

#include "compute/route_fit.h"
#include "compute/route_geometry.h"
#include "document/known_points.h"
#include "shell/paint/route_painter.h"

#include <QString>

#include <optional>
#include <vector>

class QColor;
class QFontMetricsF;
class QPainter;

namespace zelt::shell {

/// One known point as the plan shows it, in the plan's ground metres (unfitted, start at 0, 0).
struct KnownPointMark {
    int row = 0;            ///< 1-based
    double xM = 0, yM = 0;  ///< where the row's mark stands on the route (where its leg begins)
    /// Towards where the fitted route should have put the point (known minus fitted), ground
    /// metres in the plan's frame; zero without a fit.
    double towardsKnownXM = 0, towardsKnownYM = 0;
    double residualM = 0;   ///< length of the residual on the ground, at the map's scale
};

/// What the plan draws for the known points of a route.
struct KnownPointMarks {
    std::vector<KnownPointMark> marks;
    bool fitted = false;   ///< a fit was made (so the arrows mean something)
    double rmsM = 0;       ///< of the fit, ground metres
    QString problem;       ///< why there is no fit (e.g. coinciding points), empty otherwise
    std::optional<zelt::compute::FitReport> report;   ///< the fit, for the note's advice
    double tablePairsPer100m = 0;                       ///< the pace count the route was drawn with
    std::vector<int> pastEndRows;   ///< rows (1-based) of known points past the route's end, not drawn
};

/// The known points of `known` on `route`: each where its row's mark stands (row count + 1: the
/// route's end), with the residual the least-squares placement leaves, turned back into the
/// plan's frame. Points naming rows past the route's end are left out and listed in pastEndRows.
KnownPointMarks knownPointMarks(const zelt::compute::Route& route, const zelt::document::KnownPoints& known,
                                double pairsPer100m);

/// How many times the residual arrows are drawn longer than they are, so that the longest is
/// about `targetPx` long at `pixelsPerMetre`: 1, 2 or 5 times a power of ten, 1 to 1000 (1 when
/// every residual is under a centimetre).
double residualExaggeration(const KnownPointMarks& marks, double pixelsPerMetre, double targetPx = 48.0);

/// The note the plan writes about its known points with arrows drawn `factor` times their
/// length: the exaggeration and the RMS residual (or why there is no fit), and the points it
/// leaves out past the route's end. Empty when there is nothing to say.
QString knownPointsNote(const KnownPointMarks& marks, double factor);
/// Where the plan writes the known points' note in `area` with `metrics`: right of the scale bar
/// at the bottom, or above it where the plan is too narrow; sized for the widest exaggeration, so
/// any note fits. Empty without a note.
QRectF knownPointsNoteBox(const QRectF& area, const KnownPointMarks& marks, const QFontMetricsF& metrics);

/// Draws known points on the route plan in `colour`: a square where each known row's mark stands and
/// an arrow, exaggerated, towards where the placement says the point is; the note (the exaggeration
/// and the RMS residual or why there is no fit, then what the fit says of the compass and the pace
/// count) goes into knownPointsNoteBox() with the painter's font.
void paintKnownPointMarks(QPainter& painter, const QRectF& area, const PlanView& view, const KnownPointMarks& marks,
                          const QColor& colour);

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The findings of the blunder check drawn over the route's plan and profile (QtGui only).
#pragma once

#include "compute/blunder_check.h"
#include "shell/paint/route_painter.h"

class QPainter;

namespace zelt::shell {

/// The colours of the findings: amber for stretches whose slopes disagree with the altimeter,
/// vermilion for suspect legs. Both stay apart from the route's own colours, also for the
/// common colour-vision deficiencies.
QColor checkStretchColour();
QColor checkSuspectColour();

/// Draws over a plan painted by paintPlan: the legs of each flagged stretch under a wide
/// translucent band, each suspect leg drawn again in the suspect colour with a ring at its
/// middle (thicker for the best suspects). Rows past the route's end are left out.
void paintPlanCheckMarks(QPainter& painter, const QRectF& area, const PlanView& view, const zelt::compute::Route& route,
                         const zelt::compute::CheckReport& report);

/// Draws over a profile painted by paintProfile into the same `area`: each flagged stretch
/// shaded over the metres it walks, each suspect leg shaded over its own metres with a mark
/// at the top of the plot.
void paintProfileCheckMarks(QPainter& painter, const QRectF& area, const RouteScene& scene,
                            const zelt::compute::CheckReport& report);

}  // namespace zelt::shell

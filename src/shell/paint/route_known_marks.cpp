// SPDX-License-Identifier: GPL-3.0-or-later
// Known points and their residuals on the route plan.
#include "shell/paint/route_known_marks.h"

#include "compute/fit_wording.h"
#include "shell/paint/route_painter_private.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace zelt::shell {

using zelt::compute::FitPair;
using zelt::compute::FitReport;

KnownPointMarks knownPointMarks(const zelt::compute::Route& route, const zelt::document::KnownPoints& known,
                                double pairsPer100m)
{
    KnownPointMarks out;
    std::vector<FitPair> pairs;
    for (const zelt::document::KnownPoint& k : known.points) {
        // Row count + 1 is the route's end.
        if (k.row < 1)
            continue;
        if (std::size_t(k.row) > route.rowCount() + 1) {
            out.pastEndRows.push_back(k.row);
            continue;
        }
        const zelt::compute::RoutePoint& at = route.points[route.rowMarkPoint(std::size_t(k.row) - 1)];
        out.marks.push_back({k.row, at.xM, at.yM, 0, 0});
        pairs.push_back({k.row, zelt::compute::groundToMapMm(at.xM, at.yM, known.mapScale), {k.xMm, k.yMm}});
    }
    if (pairs.empty())
        return out;
    // The route's extent decides which known rows share a spot: its start and its rows' ends.
    double east[2] = {0, 0}, north[2] = {0, 0};
    for (const std::size_t i : route.rowPoints) {
        east[0] = std::min(east[0], route.points[i].xM), east[1] = std::max(east[1], route.points[i].xM);
        north[0] = std::min(north[0], route.points[i].yM), north[1] = std::max(north[1], route.points[i].yM);
    }
    const zelt::compute::MapPointMm size = zelt::compute::groundToMapMm(east[1] - east[0], north[1] - north[0], known.mapScale);
    try {
        const FitReport report = zelt::compute::fitRoute(pairs, pairsPer100m, known.mapScale, std::hypot(size.x, size.y));
        // Residuals are fitted minus known on the map; the plan is the unfitted route, so the
        // way to the known point is turned and scaled back by the inverse of the placement.
        const double a = report.placement.a, b = report.placement.b, det = a * a + b * b;
        for (std::size_t i = 0; i < out.marks.size() && i < report.residuals.size(); ++i) {
            const double dx = -report.residuals[i].dxM, dy = -report.residuals[i].dyM;
            out.marks[i].towardsKnownXM = (a * dx + b * dy) / det;
            out.marks[i].towardsKnownYM = (-b * dx + a * dy) / det;
            out.marks[i].residualM = std::hypot(dx, dy);
        }
        out.fitted = true;
        out.rmsM = report.rmsM;
        out.report = report;
        out.tablePairsPer100m = pairsPer100m;
    } catch (const std::exception& e) {
        out.problem = QString::fromUtf8(e.what());
    }
    return out;
}

double residualExaggeration(const KnownPointMarks& marks, double pixelsPerMetre, double targetPx)
{
    double longest = 0;
    for (const KnownPointMark& m : marks.marks)
        longest = std::max(longest, std::hypot(m.towardsKnownXM, m.towardsKnownYM));
    // Residuals under a centimetre are rounding, not errors to show; and no arrow is drawn more
    // than a thousand times its length.
    const double px = longest * pixelsPerMetre;
    if (longest < 0.01 || !std::isfinite(px) || px >= targetPx)
        return 1;
    return std::max(1.0, niceStep(std::min(1000.0, targetPx / px)));
}

QString knownPointsNote(const KnownPointMarks& marks, double factor)
{
    const QLocale locale;
    QString note;
    if (marks.fitted && marks.marks.size() >= 2)
        note = QCoreApplication::translate("RoutePlan", "Known points: residuals \u00d7%1, RMS %2 m")
                   .arg(locale.toString(factor, 'f', 0), locale.toString(marks.rmsM, 'f', 1));
    else if (!marks.problem.isEmpty())
        note = QCoreApplication::translate("RoutePlan", "Known points: %1").arg(marks.problem);
    // The advice of a fit that can turn and stretch the route, in the report's own words.
    if (marks.report && marks.report->distinctPoints >= 2) {
        zelt::compute::FitWording wording;
        wording.tablePairsPer100m = marks.tablePairsPer100m;
        wording.mapScale = 1;
        wording.number = [&locale](double v, int decimals) { return locale.toString(v, 'f', decimals).toStdString(); };
        for (const zelt::compute::FitLine& line : zelt::compute::fitReportLines(*marks.report, wording))
            if (line.kind == zelt::compute::FitLineKind::Compass || line.kind == zelt::compute::FitLineKind::Pace
                || line.kind == zelt::compute::FitLineKind::Warning
                || (line.kind == zelt::compute::FitLineKind::Checks && marks.report->distinctPoints == 2))
                note += QLatin1Char('\n') + QString::fromStdString(line.text);
    }
    if (!marks.pastEndRows.empty()) {
        QStringList rows;
        for (const int row : marks.pastEndRows)
            rows << locale.toString(row);
        const QString past =
            marks.pastEndRows.size() == 1
                ? QCoreApplication::translate("RoutePlan", "the known point of row %1 lies past the route's end "
                                                           "and is not shown")
                : QCoreApplication::translate("RoutePlan", "the known points of rows %1 lie past the route's end "
                                                           "and are not shown");
        note += (note.isEmpty() ? QString() : QStringLiteral("; ")) + past.arg(rows.join(QStringLiteral(", ")));
    }
    return note;
}

QRectF knownPointsNoteBox(const QRectF& area, const KnownPointMarks& marks, const QFontMetricsF& fm)
{
    const QString note = knownPointsNote(marks, 1000);
    if (note.isEmpty())
        return {};
    constexpr int kFlags = Qt::AlignRight | Qt::AlignBottom | Qt::TextWordWrap;
    const QRectF scaleBar = detail::scaleBarBox(area);
    const double besideScaleBar = area.right() - 8 - (scaleBar.right() + 8);
    const bool beside = besideScaleBar >= 160;
    const double width = beside ? besideScaleBar : area.width() - 16;
    if (width < 1)
        return {};
    const QRectF text = fm.boundingRect(QRectF(0, 0, width, 1e6), kFlags, note);
    const double bottom = beside ? area.bottom() - 6 : scaleBar.top() - 2;
    return {area.right() - 8 - std::min(width, text.width()), bottom - text.height(), std::min(width, text.width()),
            text.height()};
}

void paintKnownPointMarks(QPainter& p, const QRectF& area, const PlanView& view, const KnownPointMarks& marks,
                          const QColor& colour)
{
    if (marks.marks.empty() && marks.pastEndRows.empty())
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const double factor = residualExaggeration(marks, view.scale);
    QPen pen(colour, 2.0);
    pen.setJoinStyle(Qt::MiterJoin);
    for (const KnownPointMark& m : marks.marks) {
        const QPointF at = view.toDevice(area, m.xM, m.yM);
        if (!detail::isFinitePoint(at) || !area.adjusted(-60, -60, 60, 60).contains(at))
            continue;
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(at - QPointF(5, 5), QSizeF(10, 10)));
        const QPointF tip = view.toDevice(area, m.xM + m.towardsKnownXM * factor, m.yM + m.towardsKnownYM * factor);
        const QPointF d = tip - at;
        const double len = std::hypot(d.x(), d.y());
        if (len < 2)
            continue;
        p.drawLine(at, tip);
        // The head: two strokes back from the tip, 30 degrees either side of the shaft.
        const QPointF u = d / len;
        const QPointF n(-u.y(), u.x());
        const double head = std::min(8.0, len * 0.5);
        QPainterPath arrow;
        arrow.moveTo(tip - u * head + n * head * 0.5);
        arrow.lineTo(tip);
        arrow.lineTo(tip - u * head - n * head * 0.5);
        p.drawPath(arrow);
    }
    // What the arrows mean, in the band the fitted route leaves free at the bottom (the labels
    // keep out of it too).
    const QRectF box = knownPointsNoteBox(area, marks, QFontMetricsF(p.font()));
    if (!box.isEmpty()) {
        p.setPen(colour);
        p.drawText(box, Qt::AlignRight | Qt::AlignBottom | Qt::TextWordWrap, knownPointsNote(marks, factor));
    }
    p.restore();
}

}  // namespace zelt::shell

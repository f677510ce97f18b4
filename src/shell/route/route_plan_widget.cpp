// SPDX-License-Identifier: GPL-3.0-or-later
// Plan pane: painting through the shared route painter, zoom, pan, hover texts, row selection.
#include "shell/route/route_plan_widget.h"

#include "shell/paint/route_check_marks.h"
#include "shell/paint/route_known_marks.h"
#include "shell/route/route_model.h"

#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace zelt::shell {

RouteModel* RoutePlanWidget::model() const { return m_model.data(); }

namespace {
constexpr double kHitTolerancePx = 6.0;
constexpr double kMinScale = 1e-4;   // pixels per metre
constexpr double kMaxScale = 500.0;
}  // namespace

RoutePlanWidget::RoutePlanWidget(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setMinimumSize(16, 40);
}

void RoutePlanWidget::setModel(RouteModel* model)
{
    if (m_model == model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    m_autoFit = true;
    if (m_model) {
        connect(m_model, &RouteModel::routeChanged, this, &RoutePlanWidget::routeChanged);
        connect(m_model, &RouteModel::currentRowChanged, this, qOverload<>(&QWidget::update));
        connect(m_model, &RouteModel::knownPointsChanged, this, qOverload<>(&QWidget::update));
        connect(m_model, &RouteModel::checkMarksChanged, this, qOverload<>(&QWidget::update));
    }
    routeChanged();
}

void RoutePlanWidget::routeChanged()
{
    if (m_autoFit)
        fitToRoute();
    update();
}

void RoutePlanWidget::fitToRoute()
{
    m_autoFit = true;
    if (m_model)
        m_view = fitPlanView(m_model->scene(), QRectF(rect()), font());
    update();
}

void RoutePlanWidget::zoomAt(const QPointF& at, double factor)
{
    const QRectF area(rect());
    const QPointF ground = m_view.toGround(area, at);
    m_view.scale = std::clamp(m_view.scale * factor, kMinScale, kMaxScale);
    // Keep the ground point under the cursor where it was.
    m_view.centre = ground - QPointF((at.x() - area.center().x()) / m_view.scale,
                                     -(at.y() - area.center().y()) / m_view.scale);
    m_autoFit = false;
    update();
}

QPointF RoutePlanWidget::toWidget(double xM, double yM) const { return m_view.toDevice(QRectF(rect()), xM, yM); }

int RoutePlanWidget::rowAt(const QPointF& widgetPoint) const
{
    if (!m_model)
        return -1;
    return rowNearPoint(m_model->scene(), m_view, QRectF(rect()), widgetPoint, kHitTolerancePx);
}

void RoutePlanWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const RouteColours colours = RouteColours::fromPalette(palette());
    if (!m_model) {
        p.fillRect(rect(), colours.background);
        p.setPen(colours.text);
        p.drawText(rect(), Qt::AlignCenter, tr("No traverse is open."));
        return;
    }
    paintPlan(p, QRectF(rect()), m_model->scene(), m_view, colours, &m_cache);
    if (const zelt::compute::CheckReport* found = m_model->checkReport())
        paintPlanCheckMarks(p, QRectF(rect()), m_view, m_model->scene().route, *found);
    QString note = m_model->lengthProblem();
    if (note.isEmpty() && m_model->showFigures())
        note = m_model->figureProblem();
    if (!note.isEmpty()) {
        p.setPen(colours.text);
        p.drawText(QRectF(rect()).adjusted(8, 4, -40, -4), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, note);
    }
}

void RoutePlanWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_autoFit)
        fitToRoute();
}

void RoutePlanWidget::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        zoomAt(event->position(), std::pow(1.25, steps));
    event->accept();
}

void RoutePlanWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_dragged = false;
    m_pressAt = event->position();
    m_pressCentre = m_view.centre;
}

void RoutePlanWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    const QPointF d = event->position() - m_pressAt;
    if (!m_dragged && std::hypot(d.x(), d.y()) < 4)
        return;
    m_dragged = true;
    m_autoFit = false;
    m_view.centre = m_pressCentre - QPointF(d.x() / m_view.scale, -d.y() / m_view.scale);
    update();
}

void RoutePlanWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return QWidget::mouseReleaseEvent(event);
    m_dragging = false;
    if (!m_dragged && m_model) {
        const int row = rowAt(event->position());
        if (row >= 0)
            m_model->selectRow(row);
    }
}

QString RoutePlanWidget::legText(int row) const
{
    const auto& scene = m_model->scene();
    if (row < 0 || std::size_t(row) >= scene.route.rowCount())
        return {};
    const QLocale locale;
    const auto& pts = scene.route.points;
    const std::size_t end = scene.route.rowPoints[std::size_t(row)];
    const double before = row == 0 ? 0.0 : scene.route.rowDistanceM(std::size_t(row) - 1);
    const double length = pts[end].distanceM - before;
    // The azimuth as the leg runs on the ground.
    const double fromX = row == 0 ? 0.0 : pts[scene.route.rowPoints[std::size_t(row) - 1]].xM;
    const double fromY = row == 0 ? 0.0 : pts[scene.route.rowPoints[std::size_t(row) - 1]].yM;
    double azimuth = std::atan2(pts[end].xM - fromX, pts[end].yM - fromY) * 180.0 / M_PI;
    if (azimuth < 0)
        azimuth += 360.0;
    QString text = tr("Row %1: azimuth %2°, %3 m").arg(row + 1).arg(locale.toString(azimuth, 'f', 0), locale.toString(length, 'f', 1));
    auto height = [&](const char* name, const std::vector<zelt::compute::ProfilePoint>& s) {
        auto it = std::lower_bound(s.begin(), s.end(), row, [](const auto& p, int r) { return p.row < r; });
        if (it != s.end() && it->row == row)
            text += QStringLiteral("\n%1 %2 m").arg(QString::fromLatin1(name), locale.toString(it->heightM, 'f', 1));
    };
    height("Altimeter", scene.route.profile.altimeter);
    height("FillHeight", scene.route.profile.fillHeight);
    height("Recalc", scene.route.profile.recalc);
    if (std::size_t(row) < scene.marks.size() && !scene.marks[std::size_t(row)].isEmpty())
        text += QStringLiteral("\n") + scene.marks[std::size_t(row)];
    if (const QString found = m_model->checkText(row + 1); !found.isEmpty())
        text += QStringLiteral("\n") + found;
    if (scene.knownPoints)
        for (const KnownPointMark& k : scene.knownPoints->marks)
            if (k.row == row + 1) {
                text += scene.knownPoints->fitted
                            ? tr("\nKnown point: %1 m from where the placed route puts it")
                                  .arg(locale.toString(k.residualM, 'f', 1))
                            : tr("\nKnown point");
                break;
            }
    return text;
}

bool RoutePlanWidget::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && m_model) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = legText(rowAt(help->pos()));
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

}  // namespace zelt::shell

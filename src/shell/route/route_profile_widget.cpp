// SPDX-License-Identifier: GPL-3.0-or-later
// Profile pane: painting through the shared route painter, hover texts, row selection.
#include "shell/route/route_profile_widget.h"

#include "shell/route/route_model.h"
#include "shell/paint/route_check_marks.h"
#include "shell/paint/route_painter.h"

#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace zelt::shell {

RouteProfileWidget::RouteProfileWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(16, 30);
}

void RouteProfileWidget::setModel(RouteModel* model)
{
    if (m_model == model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (m_model) {
        connect(m_model, &RouteModel::routeChanged, this, qOverload<>(&QWidget::update));
        connect(m_model, &RouteModel::heightsChanged, this, qOverload<>(&QWidget::update));
        connect(m_model, &RouteModel::currentRowChanged, this, qOverload<>(&QWidget::update));
        connect(m_model, &RouteModel::checkMarksChanged, this, qOverload<>(&QWidget::update));
    }
    update();
}

int RouteProfileWidget::rowAt(const QPointF& widgetPoint) const
{
    if (!m_model)
        return -1;
    const ProfileFrame f = profileFrame(m_model->scene(), QRectF(rect()));
    if (widgetPoint.x() < f.plot.left() - 4 || widgetPoint.x() > f.plot.right() + 4)
        return -1;
    return rowAtDistance(m_model->scene().route, f.distanceAt(widgetPoint.x()));
}

void RouteProfileWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const RouteColours colours = RouteColours::fromPalette(palette());
    if (!m_model) {
        p.fillRect(rect(), colours.background);
        return;
    }
    paintProfile(p, QRectF(rect()), m_model->scene(), colours);
    if (const zelt::compute::CheckReport* found = m_model->checkReport())
        paintProfileCheckMarks(p, QRectF(rect()), m_model->scene(), *found);
}

void RouteProfileWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_model) {
        const int row = rowAt(event->position());
        if (row >= 0)
            m_model->selectRow(row);
        return;
    }
    QWidget::mousePressEvent(event);
}

bool RouteProfileWidget::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && m_model) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int row = rowAt(help->pos());
        if (row < 0) {
            QToolTip::hideText();
        } else {
            const QLocale locale;
            QToolTip::showText(help->globalPos(),
                               tr("Row %1, %2 m walked")
                                   .arg(row + 1)
                                   .arg(locale.toString(m_model->scene().route.rowDistanceM(std::size_t(row)), 'f', 1)),
                               this);
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The plan pane of the route dock: the route north up, zoom, pan, hover and click.
#pragma once

#include "shell/paint/route_painter.h"

#include <QPointer>
#include <QWidget>

#include <vector>

namespace zelt::shell {

class RouteModel;

/// Shows a RouteModel's plan. Wheel zooms about the cursor, dragging pans, fitToRoute() shows
/// it all (also when a new route is shown, until the user zooms or pans). Hovering a leg shows
/// its row, azimuth, length and heights; clicking a leg or point makes its row current.
class RoutePlanWidget : public QWidget {
    Q_OBJECT
public:
    explicit RoutePlanWidget(QWidget* parent = nullptr);

    void setModel(RouteModel* model);
    RouteModel* model() const;

    void fitToRoute();
    /// Zooms by `factor` about the widget point `at`.
    void zoomAt(const QPointF& at, double factor);
    const PlanView& view() const { return m_view; }
    /// The widget point of a ground point.
    QPointF toWidget(double xM, double yM) const;
    /// The row whose leg is drawn nearest to the widget point (within a few pixels), or -1.
    int rowAt(const QPointF& widgetPoint) const;

    QSize sizeHint() const override { return {360, 320}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void routeChanged();
    QString legText(int row) const;

    QPointer<RouteModel> m_model;
    PlanView m_view;
    PlanPathCache m_cache;
    bool m_autoFit = true;
    bool m_dragging = false;
    bool m_dragged = false;
    QPointF m_pressAt;
    QPointF m_pressCentre;
};

}  // namespace zelt::shell

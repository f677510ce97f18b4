// SPDX-License-Identifier: GPL-3.0-or-later
// The height profile pane of the route dock.
#pragma once

#include <QPointer>
#include <QWidget>

namespace zelt::shell {

class RouteModel;

/// Shows a RouteModel's height profile over the metres walked; clicking selects the row whose
/// end lies nearest to the clicked distance, hovering names it.
class RouteProfileWidget : public QWidget {
    Q_OBJECT
public:
    explicit RouteProfileWidget(QWidget* parent = nullptr);
    void setModel(RouteModel* model);
    /// The row nearest to the widget point's distance, or -1.
    int rowAt(const QPointF& widgetPoint) const;
    QSize sizeHint() const override { return {360, 180}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QPointer<RouteModel> m_model;
};

}  // namespace zelt::shell

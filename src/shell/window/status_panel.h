// SPDX-License-Identifier: GPL-3.0-or-later
// One panel of the main window's status bar, with a width set by the window's sizing rule.
#pragma once

#include <QFrame>
#include <QLabel>

namespace zelt::shell {

/// A status bar panel: a sunken text field whose width is set by the main window. It takes
/// that width whenever the bar has room and gives way when it has not, so a narrow window can
/// still be made narrower.
class StatusPanel : public QLabel {
    Q_OBJECT
public:
    explicit StatusPanel(QWidget* parent = nullptr) : QLabel(parent)
    {
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
        setTextFormat(Qt::PlainText);
    }
    /// The panel's width in pixels as the sizing rule gave it.
    int panelWidth() const { return m_width; }
    void setPanelWidth(int width)
    {
        m_width = std::max(0, width);
        if (!m_stretches)
            setMaximumWidth(m_width);
        updateGeometry();
    }
    /// The last panel of a bar takes the room left after the others (at least its width).
    void setStretches(bool stretches)
    {
        m_stretches = stretches;
        setSizePolicy(stretches ? QSizePolicy::Expanding : QSizePolicy::Maximum, QSizePolicy::Preferred);
        setMaximumWidth(stretches ? QWIDGETSIZE_MAX : m_width);
    }
    QSize sizeHint() const override { return {m_width, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

private:
    int m_width = 50;
    bool m_stretches = false;
};

}  // namespace zelt::shell

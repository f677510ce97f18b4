// SPDX-License-Identifier: GPL-3.0-or-later
// A named docking area of the main window (`Dock971` .. `Dock974`).
#pragma once

#include <QObject>

namespace zelt::shell {

/// Stands for one toolbar area of the main window under a component name, so that stored
/// settings can name the dock that holds a toolbar ("Dock971" top, "Dock972" left,
/// "Dock973" right, "Dock974" bottom). Child of the main window.
class DockArea : public QObject {
    Q_OBJECT
public:
    DockArea(const QString& name, Qt::ToolBarArea area, QObject* parent)
        : QObject(parent), m_area(area)
    {
        setObjectName(name);
    }
    Qt::ToolBarArea area() const { return m_area; }

private:
    Qt::ToolBarArea m_area;
};

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The "Route" dock: the active document's plan and height profile, pictures and printing.
#pragma once

#include "compute/route_geometry.h"

#include <QDateTime>
#include <QDockWidget>
#include <QPointer>
#include <QRectF>

class QAction;
class QPainter;
class QPrinter;
class QPrintPreviewDialog;
class QSplitter;

namespace zelt::shell {

class RouteModel;
class RoutePlanWidget;
class RouteProfileWidget;
class TMainForm;
class TMDIChild;

/// The route dock: a small toolbar (Fit, Figures, Marks, Horizontal, Save Picture...) above a
/// splitter with the plan and the profile. Shows the model of whichever document is active.
class RouteDock : public QDockWidget {
    Q_OBJECT
public:
    explicit RouteDock(QWidget* parent = nullptr);

    void setModel(RouteModel* model);
    RouteModel* model() const;
    RoutePlanWidget* plan() const { return m_plan; }
    RouteProfileWidget* profile() const { return m_profile; }
    QAction* fitAction() const { return m_fit; }
    QAction* figuresAction() const { return m_figures; }
    QAction* marksAction() const { return m_marks; }
    /// "Horizontal Lengths": lays the route out (and fits it) with each walked length reduced by
    /// its slope; kept in the settings store.
    QAction* horizontalAction() const { return m_horizontal; }
    zelt::compute::LegLengths legLengths() const;
    QAction* savePictureAction() const { return m_savePicture; }

    /// Writes the dock's picture (plan above profile) to `path` (.png, .svg or .pdf); false with
    /// `error` set when it cannot.
    bool savePicture(const QString& path, QString* error) const;

signals:
    /// The print preview is about to run (tests answer it).
    void printPreviewShown(QPrintPreviewDialog* dialog);

public slots:
    /// "Save Picture...": asks for a file and writes the picture.
    void savePictureInteractive();
    /// File > "Print Route...": previews and prints the route on an A4 page.
    void printRoute();

private:
    void showModel(RouteModel* model);
    void updateTitle();

    QPointer<RouteModel> m_model;
    RoutePlanWidget* m_plan = nullptr;
    RouteProfileWidget* m_profile = nullptr;
    QSplitter* m_splitter = nullptr;
    QAction* m_fit = nullptr;
    QAction* m_figures = nullptr;
    QAction* m_marks = nullptr;
    QAction* m_horizontal = nullptr;
    QAction* m_savePicture = nullptr;
    QString m_tableName;
};

/// Paints the printed route page: table name and date at the top, the plan fitted to the upper
/// part (scale bar, north arrow), the profile below it. `page` is in device pixels at `dpi`.
void paintRoutePage(QPainter& painter, const QRectF& page, double dpi, const RouteModel& model,
                    const QString& tableName, const QDateTime& printedAt);

/// Creates the route dock right of the documents, puts its toggle and "Horizontal Lengths" into
/// the View menu and "Print Route..." into the File menu, and lets it follow the active document.
RouteDock* installRouteDock(TMainForm& main);

/// The leg lengths chosen with the route dock's "Horizontal Lengths" (walked without a dock):
/// the known-points dialog fits, and the map export starts from, the same lengths.
zelt::compute::LegLengths chosenLegLengths(const TMainForm& main);

}  // namespace zelt::shell

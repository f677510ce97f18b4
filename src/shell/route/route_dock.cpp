// SPDX-License-Identifier: GPL-3.0-or-later
// The route dock, its picture and print commands, and its place in the main window.
#include "shell/route/route_dock.h"

#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/settings/reg_save.h"
#include "shell/settings/registry_store.h"
#include "shell/route/route_model.h"
#include "shell/paint/route_painter.h"
#include "shell/route/route_plan_widget.h"
#include "shell/route/route_profile_widget.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSettings>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

namespace zelt::shell {

RouteModel* RouteDock::model() const { return m_model.data(); }

RouteDock::RouteDock(QWidget* parent) : QDockWidget(tr("Route"), parent)
{
    setObjectName(QStringLiteral("RouteDock"));
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QToolBar(content);
    bar->setObjectName(QStringLiteral("RouteDockBar"));
    bar->setIconSize(QSize(16, 16));
    // The dock may be made narrow; the bar then folds its buttons into its extension menu.
    bar->setMinimumWidth(16);
    m_fit = bar->addAction(tr("Fit"));
    m_fit->setToolTip(tr("Show the whole route"));
    m_figures = bar->addAction(tr("Figures"));
    m_figures->setCheckable(true);
    m_figures->setChecked(true);
    m_figures->setToolTip(tr("Draw the turn figures of the figure file"));
    m_marks = bar->addAction(tr("Marks"));
    m_marks->setCheckable(true);
    m_marks->setChecked(true);
    m_marks->setToolTip(tr("Label the rows' marks"));
    m_horizontal = bar->addAction(tr("Horizontal"));
    m_horizontal->setObjectName(QStringLiteral("HorizontalLengths1"));
    m_horizontal->setText(tr("Horizontal Lengths"));
    m_horizontal->setIconText(tr("Horizontal"));
    m_horizontal->setCheckable(true);
    m_horizontal->setToolTip(tr("Lay out and fit the route with each walked length reduced by its slope"));
    bar->addSeparator();
    m_savePicture = bar->addAction(tr("Save Picture..."));
    m_savePicture->setToolTip(tr("Save the plan and the profile as PNG, SVG or PDF"));
    layout->addWidget(bar);

    m_splitter = new QSplitter(Qt::Vertical, content);
    m_splitter->setObjectName(QStringLiteral("RouteSplitter"));
    m_plan = new RoutePlanWidget(m_splitter);
    m_profile = new RouteProfileWidget(m_splitter);
    m_splitter->addWidget(m_plan);
    m_splitter->addWidget(m_profile);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);
    layout->addWidget(m_splitter, 1);
    setWidget(content);

    connect(m_fit, &QAction::triggered, m_plan, &RoutePlanWidget::fitToRoute);
    connect(m_figures, &QAction::toggled, this, [this](bool on) {
        if (m_model)
            m_model->setShowFigures(on);
    });
    connect(m_marks, &QAction::toggled, this, [this](bool on) {
        if (m_model)
            m_model->setShowMarks(on);
    });
    connect(m_horizontal, &QAction::toggled, this, [this] {
        if (m_model)
            m_model->setLegLengths(legLengths());
    });
    connect(m_savePicture, &QAction::triggered, this, &RouteDock::savePictureInteractive);
    showModel(nullptr);
}

zelt::compute::LegLengths RouteDock::legLengths() const
{
    return m_horizontal->isChecked() ? zelt::compute::LegLengths::Horizontal : zelt::compute::LegLengths::Walked;
}

void RouteDock::setModel(RouteModel* model)
{
    if (model != m_model)
        showModel(model);
    else
        updateTitle();   // the table may have been opened or renamed since
}

void RouteDock::updateTitle()
{
    m_tableName = m_model ? QFileInfo(QString::fromStdString(m_model->document().table.path().string())).fileName()
                          : QString();
    setWindowTitle(m_tableName.isEmpty() ? tr("Route") : tr("Route - %1").arg(m_tableName));
}

void RouteDock::showModel(RouteModel* model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (m_model) {
        // The dock's switches apply to whichever document it shows.
        m_model->setShowFigures(m_figures->isChecked());
        m_model->setShowMarks(m_marks->isChecked());
        m_model->setLegLengths(legLengths());
        connect(m_model, &RouteModel::routeChanged, this, &RouteDock::updateTitle);
        connect(m_model, &QObject::destroyed, this, [this] { showModel(nullptr); });
        connect(m_model, &RouteModel::errorRaised, this, [this](const QString& m) { TMDIChild::showError(this, m); });
    }
    m_plan->setModel(model);
    m_profile->setModel(model);
    m_savePicture->setEnabled(model != nullptr);
    updateTitle();
}

bool RouteDock::savePicture(const QString& path, QString* error) const
{
    if (!m_model) {
        if (error)
            *error = tr("No traverse is open.");
        return false;
    }
    const QString caption = m_tableName + QStringLiteral("  \u2014  ") +
                            QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    return writeRoutePicture(path, QSize(1600, 1000), m_model->scene(), true, caption, error);
}

void RouteDock::savePictureInteractive()
{
    if (!m_model)
        return;
    QString filter = tr("PNG picture (*.png)");
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save Route Picture"), QFileInfo(m_tableName).completeBaseName() + QStringLiteral(".png"),
        tr("PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"), &filter);
    if (path.isEmpty())
        return;
    QString target = path;
    if (QFileInfo(target).suffix().isEmpty())
        target += filter.contains(QLatin1String("svg")) ? QStringLiteral(".svg")
                  : filter.contains(QLatin1String("pdf")) ? QStringLiteral(".pdf")
                                                          : QStringLiteral(".png");
    QString error;
    if (!savePicture(target, &error))
        TMDIChild::showError(this, error);
}

void paintRoutePage(QPainter& painter, const QRectF& page, double dpi, const RouteModel& model,
                    const QString& tableName, const QDateTime& printedAt)
{
    // Laid out in 96-dpi units so that lines and labels keep their screen proportions on paper.
    // The font's size is given in those units too (9 points are 12 of them): a size in points
    // would be taken at the printer's resolution and then scaled once more.
    const double k = dpi / 96.0;
    painter.save();
    painter.translate(page.topLeft());
    painter.scale(k, k);
    const QRectF area(0, 0, page.width() / k, page.height() / k);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QString caption = tableName + QStringLiteral("  \u2014  ") +
                            QLocale().toString(printedAt, QLocale::ShortFormat);
    paintRoutePicture(painter, area, model.scene(), RouteColours::forPaper(), true, caption);
    painter.restore();
}

void RouteDock::printRoute()
{
    if (!m_model)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setDocName(tr("Route %1").arg(m_tableName));
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(tr("Print Route"));
    const QDateTime now = QDateTime::currentDateTime();
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, now](QPrinter* p) {
        QPainter painter;
        if (!m_model || !painter.begin(p))
            return;
        const QRectF page = p->pageLayout().paintRectPixels(p->resolution()).translated(
            -p->pageLayout().paintRectPixels(p->resolution()).topLeft());
        paintRoutePage(painter, page, p->resolution(), *m_model, m_tableName, now);
        painter.end();
    });
    QMetaObject::invokeMethod(this, [this, &preview] { emit printPreviewShown(&preview); }, Qt::QueuedConnection);
    preview.exec();
}

namespace {

const QString kPlacementKey = QStringLiteral("Software/Zelt/RouteDock");

// The dock's place is kept in the settings store beside the window's placement: its area,
// whether it is shown or floating, and its size (its geometry when floating). Set with the
// window's values when they are saved, and written with them.
void saveDockPlacement(QSettings& store, const QMainWindow& main, const RouteDock& dock)
{
    store.beginGroup(kPlacementKey);
    store.setValue(QStringLiteral("Area"), int(main.dockWidgetArea(const_cast<RouteDock*>(&dock))));
    store.setValue(QStringLiteral("Visible"), dock.isHidden() ? 0 : 1);
    store.setValue(QStringLiteral("Floating"), dock.isFloating() ? 1 : 0);
    store.setValue(QStringLiteral("DockLeft"), dock.x());
    store.setValue(QStringLiteral("DockTop"), dock.y());
    store.setValue(QStringLiteral("DockWidth"), dock.width());
    store.setValue(QStringLiteral("DockHeight"), dock.height());
    store.setValue(QStringLiteral("HorizontalLengths"), dock.horizontalAction()->isChecked() ? 1 : 0);
    store.endGroup();
}

int storedInt(QSettings& store, const QString& name, int fallback, bool* ok)
{
    bool good = false;
    const int v = store.value(name).toInt(&good);
    if (!good)
        *ok = false;
    return good ? v : fallback;
}

void restoreDockPlacement(QMainWindow& main, RouteDock& dock)
{
    const std::unique_ptr<QSettings> store = RegistryStore::open();
    store->beginGroup(kPlacementKey);
    bool known = true;
    dock.horizontalAction()->setChecked(storedInt(*store, QStringLiteral("HorizontalLengths"), 0, &known) == 1);
    if (!store->contains(QStringLiteral("Area")))
        return;
    bool ok = true;
    const int area = storedInt(*store, QStringLiteral("Area"), Qt::RightDockWidgetArea, &ok);
    const bool visible = storedInt(*store, QStringLiteral("Visible"), 1, &ok) != 0;
    const bool floating = storedInt(*store, QStringLiteral("Floating"), 0, &ok) != 0;
    const QRect place(storedInt(*store, QStringLiteral("DockLeft"), 0, &ok), storedInt(*store, QStringLiteral("DockTop"), 0, &ok),
                      storedInt(*store, QStringLiteral("DockWidth"), 360, &ok), storedInt(*store, QStringLiteral("DockHeight"), 480, &ok));
    if (!ok)
        return;   // a damaged entry: the dock keeps its default place
    const auto dockArea = Qt::DockWidgetArea(area);
    if (dockArea == Qt::LeftDockWidgetArea || dockArea == Qt::RightDockWidgetArea || dockArea == Qt::TopDockWidgetArea ||
        dockArea == Qt::BottomDockWidgetArea)
        main.addDockWidget(dockArea, &dock);
    dock.setFloating(floating);
    if (floating && place.width() > 50 && place.height() > 50) {
        dock.setGeometry(place);
    } else if (place.width() > 50 && place.height() > 50) {
        const bool sideways = dockArea == Qt::LeftDockWidgetArea || dockArea == Qt::RightDockWidgetArea;
        main.resizeDocks({&dock}, {sideways ? place.width() : place.height()}, sideways ? Qt::Horizontal : Qt::Vertical);
    }
    dock.setVisible(visible);
}

QMenu* menuNamed(QMenuBar* bar, const QString& title)
{
    for (QAction* a : bar->actions())
        if (a->menu() && a->text() == title)
            return a->menu();
    return nullptr;
}

}  // namespace

RouteDock* installRouteDock(TMainForm& main)
{
    auto* dock = new RouteDock(&main);
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    main.addDockWidget(Qt::RightDockWidgetArea, dock);

    QAction* toggle = dock->toggleViewAction();
    toggle->setObjectName(QStringLiteral("ViewRoute1"));
    toggle->setText(QObject::tr("Route"));
    if (QMenu* view = menuNamed(main.menuBar(), QStringLiteral("&View"))) {
        view->addSeparator();
        view->addAction(toggle);
        view->addAction(dock->horizontalAction());
    }
    auto* print = new QAction(QObject::tr("Print Ro&ute..."), &main);
    print->setObjectName(QStringLiteral("PrintRoute1"));
    print->setStatusTip(QObject::tr("Preview and print the route and its height profile"));
    if (QMenu* file = menuNamed(main.menuBar(), QStringLiteral("&File"))) {
        // After the report's two commands.
        const QList<QAction*> items = file->actions();
        const qsizetype at = items.indexOf(main.actions().PrintPreview1);
        file->insertAction(at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr, print);
    }
    QObject::connect(print, &QAction::triggered, dock, [&main, dock, toggle] {
        if (dock->isHidden())
            toggle->trigger();   // the route must be there to be printed
        if (!dock->model())
            if (TMDIChild* child = main.activeDocument())
                dock->setModel(child->routeModel());
        dock->printRoute();
    });

    // A hidden dock computes nothing: the document's route is made when it is shown.
    // The main window's base destructors still close its documents and hide the dock; by then it
    // is no longer a TMainForm and has no documents to offer.
    QObject* const mainObject = &main;
    auto follow = [mainObject, dock, print] {
        auto* form = qobject_cast<TMainForm*>(mainObject);
        if (!form) {
            dock->setModel(nullptr);
            return;
        }
        TMDIChild* child = form->activeDocument();
        const bool live = child && !child->isClosed();
        dock->setModel(live && !dock->isHidden() ? child->routeModel() : nullptr);
        print->setEnabled(live);
    };
    QObject::connect(main.mdiArea(), &QMdiArea::subWindowActivated, dock, follow);
    QObject::connect(&main, &TMainForm::documentCreated, dock, follow);
    // The action is checked before the dock is shown, so follow the dock itself. A dock that is
    // hidden only drops its model: it is also hidden while the main window is destroyed, when
    // the window must not be asked for its documents any more.
    QObject::connect(dock, &QDockWidget::visibilityChanged, dock, [dock, follow](bool visible) {
        if (visible)
            follow();
        else
            dock->setModel(nullptr);
    });
    // Hidden until the user shows it: the designed first window is too small to share.
    dock->hide();
    restoreDockPlacement(main, *dock);
    main.regSave().alsoSave([&main, guard = QPointer<RouteDock>(dock)](QSettings& store) {
        if (guard)
            saveDockPlacement(store, main, *guard);
    });
    // The model of a closing window goes with it; the dock forgets it through its QPointer.
    follow();
    return dock;
}

zelt::compute::LegLengths chosenLegLengths(const TMainForm& main)
{
    const auto* dock = main.findChild<RouteDock*>();
    return dock ? dock->legLengths() : zelt::compute::LegLengths::Walked;
}

}  // namespace zelt::shell

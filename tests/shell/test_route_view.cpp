// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the route dock: clicks select rows, posts and document switches update the
// view, pictures are written and read back, the dock's place is kept, the route prints.
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/settings/registry_store.h"
#include "shell/route/route_dock.h"
#include "shell/paint/route_known_marks.h"
#include "shell/route/route_model.h"
#include "shell/route/route_plan_widget.h"
#include "shell/route/route_profile_widget.h"
#include "shell/settings/toolbar_arrangement.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPalette>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>

using namespace zelt::shell;
using zelt::test::idle;
using zelt::test::ShellRow;

class TestRouteView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clickingALegSelectsItsRow();
    void postsAndSurveyValuesUpdateTheView();
    void switchingDocumentsSwitchesTheView();
    void picturesAreWrittenAndReadBack();
    void hiddenDockComputesNothingAndPlaceIsKept();
    void printRouteShowsOnePage();
    void knownPointsAreMarkedOnThePlan();

private:
    // A square walked anticlockwise from the start: north, west, south, east, 64 pairs = 100 m each.
    TMDIChild* openSquare(const QString& name = QStringLiteral("square.db"));
    RouteDock* dock() const { return m_shell.form->findChild<RouteDock*>(); }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

void TestRouteView::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
}

void TestRouteView::init()
{
    RegistryStore::setRegistryFile(m_settings.filePath(QStringLiteral("registry.reg")));
    QFile::remove(RegistryStore::registryFile());
    QVERIFY(m_shell.show(QSize(1280, 800)));
    // The dock starts hidden; the View menu shows it.
    QAction* toggle = m_shell.form->findChild<QAction*>(QStringLiteral("ViewRoute1"));
    QVERIFY(toggle && !toggle->isChecked());
    toggle->trigger();
    QVERIFY(dock()->isVisible());
}

void TestRouteView::cleanup() { m_shell.close(); }

TMDIChild* TestRouteView::openSquare(const QString& name)
{
    const QString path = m_shell.dir->filePath(name);
    zelt::test::writeTraverse(path, {ShellRow(64, 420.0, 420.0), ShellRow(64, {}, 425.0), ShellRow(64, 430.0, 430.0),
                                     ShellRow(64, {}, 428.0)});
    {
        // Azimuths 0, 270, 180, 90 (the fixture writes pairs and heights only).
        zelt::document::TraverseTable t;
        t.setPath(path.toStdString());
        t.open();
        const int az[] = {0, 270, 180, 90};
        for (int i = 0; i < 4; ++i) {
            t.setRecNo(i + 1);
            t.edit();
            t.setInteger("Azimuth", az[i]);
            t.post();
        }
        t.close();
    }
    m_shell.form->OpenDocument(path);
    idle();
    return m_shell.form->activeDocument();
}

// Clicking the middle of a leg in the plan, or near a row's distance in the profile, makes that
// row current in the table and in the grid; a click beside the route selects nothing.
void TestRouteView::clickingALegSelectsItsRow()
{
    TMDIChild* child = openSquare();
    QVERIFY(child);
    RouteDock* d = dock();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->model(), child->routeModel());
    RoutePlanWidget* plan = d->plan();
    const auto& route = d->model()->scene().route;
    QCOMPARE(route.rowCount(), std::size_t(4));

    // Row 3 runs south from (-100, 100) to (-100, 0).
    QTest::mouseClick(plan, Qt::LeftButton, {}, plan->toWidget(-100, 50).toPoint());
    idle();
    QCOMPARE(child->Table1().currentIndex(), 2);
    QCOMPARE(child->DBGrid1()->currentIndex().row(), 2);
    QCOMPARE(d->model()->scene().currentRow, 2);

    const int before = child->Table1().currentIndex();
    QTest::mouseClick(plan, Qt::LeftButton, {}, plan->toWidget(-50, 50).toPoint());   // inside the square
    idle();
    QCOMPARE(child->Table1().currentIndex(), before);

    // The profile: row 2 ends 200 m along the route.
    RouteProfileWidget* profile = d->profile();
    const ProfileFrame f = profileFrame(d->model()->scene(), QRectF(profile->rect()));
    QTest::mouseClick(profile, Qt::LeftButton, {}, f.toDevice(195, f.y0 + 1).toPoint());
    idle();
    QCOMPARE(child->Table1().currentIndex(), 1);
    QCOMPARE(child->DBGrid1()->currentIndex().row(), 1);
}

// A posted length moves the rest of the route, a posted height changes the profile only, a
// deleted row shortens the route, new survey values reach the view.
void TestRouteView::postsAndSurveyValuesUpdateTheView()
{
    TMDIChild* child = openSquare();
    RouteModel* model = dock()->model();
    QVERIFY(model);
    auto& t = child->Table1();
    QSignalSpy changed(model, &RouteModel::routeChanged);

    t.setRecNo(1);
    t.edit();
    t.setFloat("Pairs", 128);   // 200 m north
    t.post();
    idle();
    QVERIFY(!changed.isEmpty());
    const auto& r = model->scene().route;
    QVERIFY(std::fabs(r.points[r.rowPoints[0]].yM - 200) < 1e-9);
    QVERIFY(std::fabs(r.points[r.rowPoints[3]].yM - 100) < 1e-9);   // the last leg moved with it
    QVERIFY(std::fabs(r.lengthM() - 500) < 1e-9);

    const QImage before = dock()->profile()->grab().toImage();
    t.setRecNo(2);
    t.edit();
    t.setFloat("Recalc", 440);
    t.post();
    idle();
    QCOMPARE(model->scene().route.profile.recalc.size(), std::size_t(1));
    QCOMPARE(model->scene().route.profile.recalc[0].row, 1);
    QVERIFY(dock()->profile()->grab().toImage() != before);

    t.setRecNo(4);
    t.deleteRow();
    idle();
    QCOMPARE(model->scene().route.rowCount(), std::size_t(3));

    child->document().setPairsPer100m(128.0);   // every leg half as long
    idle();
    QVERIFY(std::fabs(model->scene().route.lengthM() - 200) < 1e-9);
    child->document().setStartHeight(300.0);
    idle();
    QCOMPARE(model->scene().startHeight, 300.0);
}

// The dock shows the active document's route and follows the switch between documents; closing
// the last document empties it.
void TestRouteView::switchingDocumentsSwitchesTheView()
{
    TMDIChild* first = openSquare(QStringLiteral("a.db"));
    const QString path = m_shell.dir->filePath(QStringLiteral("b.db"));
    zelt::test::writeTraverse(path, {ShellRow(10), ShellRow(20), ShellRow(30)});
    m_shell.form->OpenDocument(path);
    idle();
    TMDIChild* second = m_shell.form->activeDocument();
    QVERIFY(second && second != first);
    QCOMPARE(dock()->model(), second->routeModel());
    QCOMPARE(dock()->model()->scene().route.rowCount(), std::size_t(3));
    QVERIFY(dock()->windowTitle().contains(QStringLiteral("b.db")));

    m_shell.form->mdiArea()->setActiveSubWindow(m_shell.form->mdiArea()->subWindowList().first());
    idle();
    QCOMPARE(m_shell.form->activeDocument(), first);
    QCOMPARE(dock()->model(), first->routeModel());
    QCOMPARE(dock()->model()->scene().route.rowCount(), std::size_t(4));

    zelt::test::ModalAnswerer answer;
    m_shell.form->mdiArea()->closeAllSubWindows();
    idle();
    QVERIFY(!dock()->model());
    QVERIFY(!dock()->savePictureAction()->isEnabled());
}

// PNG, SVG and PDF pictures are written whole: the PNG has the size and the route's colour,
// the SVG parses and holds drawing elements, the PDF starts as one; an unknown extension is
// refused and writes nothing.
void TestRouteView::picturesAreWrittenAndReadBack()
{
    openSquare();
    RouteDock* d = dock();
    QString error;
    const QString png = m_shell.dir->filePath(QStringLiteral("route.png"));
    QVERIFY2(d->savePicture(png, &error), qPrintable(error));
    const QImage image(png);
    QCOMPARE(image.size(), QSize(1600, 1000));
    const QColor route = RouteColours::forPaper().route;
    int routePixels = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (image.pixelColor(x, y) == route)
                ++routePixels;
    QVERIFY2(routePixels > 200, qPrintable(QString::number(routePixels)));

    const QString svg = m_shell.dir->filePath(QStringLiteral("route.svg"));
    QVERIFY2(d->savePicture(svg, &error), qPrintable(error));
    QFile svgFile(svg);
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svgFile);
    int drawn = 0;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            (xml.name() == QLatin1String("path") || xml.name() == QLatin1String("polyline")))
            ++drawn;
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(drawn > 5);

    const QString pdf = m_shell.dir->filePath(QStringLiteral("route.pdf"));
    QVERIFY2(d->savePicture(pdf, &error), qPrintable(error));
    QFile pdfFile(pdf);
    QVERIFY(pdfFile.open(QIODevice::ReadOnly));
    QVERIFY(pdfFile.read(5) == "%PDF-");

    const QString bad = m_shell.dir->filePath(QStringLiteral("route.bmp"));
    QVERIFY(!d->savePicture(bad, &error));
    QVERIFY(error.contains(QStringLiteral(".png")));
    QVERIFY(!QFile::exists(bad));
}

// A hidden dock makes no route; its place (hidden, area) comes back after a restart, and the
// toolbars are still read from the window's state with the dock in it.
void TestRouteView::hiddenDockComputesNothingAndPlaceIsKept()
{
    QAction* toggle = m_shell.form->findChild<QAction*>(QStringLiteral("ViewRoute1"));
    QVERIFY(toggle && toggle->isChecked());
    QVERIFY(ToolbarArrangement::capture(*m_shell.form));
    toggle->trigger();
    QVERIFY(dock()->isHidden());
    TMDIChild* child = openSquare();
    QVERIFY(child);
    QVERIFY(!dock()->model());
    // Shown from the View menu after the document opened, it draws that document at once.
    toggle->trigger();
    idle();
    QVERIFY(dock()->isVisible());
    QCOMPARE(dock()->model(), child->routeModel());
    toggle->trigger();
    QVERIFY(dock()->isHidden());
    m_shell.form->addDockWidget(Qt::LeftDockWidgetArea, dock());
    m_shell.close();

    QVERIFY(m_shell.show(QSize(1280, 800)));
    QVERIFY(dock()->isHidden());
    QCOMPARE(m_shell.form->dockWidgetArea(dock()), Qt::LeftDockWidgetArea);
    toggle = m_shell.form->findChild<QAction*>(QStringLiteral("ViewRoute1"));
    QVERIFY(!toggle->isChecked());
    toggle->trigger();
    idle();
    QVERIFY(dock()->isVisible());
}

// File > Print Route... previews one page of the active document's route.
void TestRouteView::printRouteShowsOnePage()
{
    openSquare();
    QAction* print = m_shell.form->findChild<QAction*>(QStringLiteral("PrintRoute1"));
    QVERIFY(print && print->isEnabled());
    int pages = -1;
    connect(dock(), &RouteDock::printPreviewShown, this, [&pages](QPrintPreviewDialog* dialog) {
        if (auto* w = dialog->findChild<QPrintPreviewWidget*>()) {
            w->updatePreview();
            pages = w->pageCount();
        }
        dialog->reject();
    });
    print->trigger();
    QCOMPARE(pages, 1);
}

// Known points set on the document appear on the plan at their rows' marks, follow a deleted row,
// and go when they are cleared.
void TestRouteView::knownPointsAreMarkedOnThePlan()
{
    TMDIChild* child = openSquare();
    RouteDock* d = dock();
    auto& known = child->document().knownPoints;
    zelt::document::KnownPoints points;
    points.mapScale = 10000;
    points.set(3, -10.0, 10.0);   // 100 m west and north of the start: where row 3's leg begins
    points.set(5, 0.5, 0.0);      // the route's end, back at the start; the map says 5 m east of it
    known.replace(points);
    idle();
    QVERIFY(d->model()->scene().knownPoints);
    const KnownPointMarks& marks = *d->model()->scene().knownPoints;
    QCOMPARE(marks.marks.size(), std::size_t(2));
    QCOMPARE(marks.marks[0].row, 3);
    QVERIFY(std::fabs(marks.marks[0].xM + 100) < 1e-9 && std::fabs(marks.marks[0].yM - 100) < 1e-9);
    QVERIFY(marks.fitted);

    const QColor colour = RouteColours::fromPalette(QPalette()).known;
    auto knownPixelsNear = [&](double xM, double yM) {
        const QImage image = d->plan()->grab().toImage();
        const QPoint at = d->plan()->toWidget(xM, yM).toPoint();
        int n = 0;
        for (int y = at.y() - 7; y <= at.y() + 7; ++y)
            for (int x = at.x() - 7; x <= at.x() + 7; ++x)
                n += image.valid(x, y) && image.pixelColor(x, y) == colour;
        return n;
    };
    QVERIFY(knownPixelsNear(-100, 100) > 8);

    // Deleting row 1 moves the points up a row: row 3's point now belongs to row 2.
    child->Table1().setRecNo(1);
    child->Table1().deleteRow();
    idle();
    QCOMPARE(d->model()->scene().knownPoints->marks.size(), std::size_t(2));
    QCOMPARE(d->model()->scene().knownPoints->marks[0].row, 2);

    // The saved picture shows them too.
    QString error;
    const QString png = m_shell.dir->filePath(QStringLiteral("known.png"));
    QVERIFY2(d->savePicture(png, &error), qPrintable(error));
    const QImage saved(png);
    int knownPixels = 0;
    for (int y = 0; y < saved.height(); ++y)
        for (int x = 0; x < saved.width(); ++x)
            knownPixels += saved.pixelColor(x, y) == colour;
    QVERIFY(knownPixels > 20);

    known.replace(zelt::document::KnownPoints{});
    idle();
    QVERIFY(!d->model()->scene().knownPoints);
}

QTEST_MAIN(TestRouteView)
#include "test_route_view.moc"

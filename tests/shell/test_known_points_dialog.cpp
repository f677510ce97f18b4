// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of Settings > "Known Points...": editing, the report, the pace count, damaged files.
#include "document/known_points.h"
#include "shell/commands/export_dialog.h"
#include "shell/commands/known_points_dialog.h"
#include "shell/route/route_dock.h"
#include "shell/route/route_model.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace zelt::shell;
using zelt::test::ModalAnswerer;

class TestKnownPointsDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg"))); }
    void init() { QVERIFY(m_shell.show()); }
    void cleanup() { m_shell.close(); }

    /// Points added in the dialog are written beside the table, listed with their residuals and
    /// fitted; "Use this pace count" sets the implied count after the user agrees.
    void editFitAndUsePaceCount()
    {
        TMDIChild* child = open(QStringLiteral("k.db"));
        auto* action = m_shell.form->findChild<QAction*>(QStringLiteral("KnownPoints1"));
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        action->trigger();
        KnownPointsDialog* dlg = dialog();
        QVERIFY(dlg->isVisible());
        QVERIFY(dlg->reportView()->toPlainText().contains(QStringLiteral("No known points")));

        // North legs of 100, 100 and 200 m at 1:15000, walked with paces 10 % long: row 3's mark
        // and the route's end (row 5, one past the last row).
        QVERIFY(dlg->setPoint(3, 10, 20 + 100 * 1.1 / 15));
        QVERIFY(dlg->setPoint(5, 10, 20 + 400 * 1.1 / 15));
        QCOMPARE(dlg->list()->rowCount(), 2);
        QCOMPARE(dlg->list()->item(1, 0)->text(), QStringLiteral("5"));
        QCOMPARE(dlg->list()->item(1, 1)->text(), QStringLiteral("(end of route)"));
        QVERIFY(!dlg->list()->item(1, 4)->text().isEmpty());
        const auto onDisk = zelt::document::readKnownPoints(child->Table1().path());
        QVERIFY(onDisk && onDisk->points.size() == 2);
        QVERIFY(dlg->report());
        QVERIFY(std::fabs(dlg->report()->scale - 1.1) < 1e-9);
        QVERIFY(dlg->usePaceButton()->isEnabled());

        {
            ModalAnswerer no(QMessageBox::No);
            QVERIFY(!dlg->usePaceCount());
        }
        QCOMPARE(child->document().pairsPer100m, 64.0);
        auto& t = child->Table1();
        std::vector<zelt::document::Value> metres;
        for (int i = 0; i < t.rowCount(); ++i)
            metres.push_back(t.valueAt(i, t.fieldIndex("metru")));
        {
            ModalAnswerer yes(QMessageBox::Yes);
            QVERIFY(dlg->usePaceCount());
            // The question says what happens: the stored metres stay, as they do.
            QCOMPARE(yes.texts.size(), 1);
            QVERIFY2(yes.texts[0].contains(QStringLiteral("metres already stored in the rows (metru) stay")),
                     qPrintable(yes.texts[0]));
            QVERIFY(!yes.texts[0].contains(QStringLiteral("metres of every row are recalculated")));
        }
        QVERIFY(std::fabs(child->document().pairsPer100m - 64 / 1.1) < 1e-9);
        QVERIFY(std::fabs(dlg->report()->scale - 1.0) < 1e-9);
        for (int i = 0; i < t.rowCount(); ++i)
            QCOMPARE(t.valueAt(i, t.fieldIndex("metru")), metres[std::size_t(i)]);
        const auto infNow = [&] {
            double pairs = 0, start = 0;
            zelt::document::readInf(zelt::document::companionPath(t.path(), ".inf"), pairs, start);
            return pairs;
        };
        QVERIFY(std::fabs(infNow() - 64 / 1.1) < 1e-9);
        // Taken back, the .inf holds the old count at once (not only when the window closes).
        m_shell.form->actions().EditUndo1->trigger();
        QCOMPARE(child->document().pairsPer100m, 64.0);
        QCOMPARE(infNow(), 64.0);
        m_shell.form->actions().EditRedo1->trigger();
        QVERIFY(std::fabs(infNow() - 64 / 1.1) < 1e-9);

        QVERIFY(dlg->removePoint(3));
        QVERIFY(dlg->removePoint(5));
        QVERIFY(!std::filesystem::exists(zelt::document::knownPointsPath(child->Table1().path())));
    }

    /// A damaged file is shown as such and only replaced when the user agrees.
    void damagedFileIsKeptUnlessReplaced()
    {
        TMDIChild* child = open(QStringLiteral("d.db"));
        const auto kpt = zelt::document::knownPointsPath(child->Table1().path());
        zelt::test::writeBytes(kpt, {'b', 'a', 'd', '\n'});
        dialog()->showForActive();
        QVERIFY(dialog()->reportView()->toPlainText().contains(QStringLiteral("is damaged")));
        {
            ModalAnswerer no(QMessageBox::No);
            QVERIFY(!dialog()->setPoint(2, 1, 1));
        }
        QCOMPARE(zelt::test::readBytes(kpt), (std::vector<unsigned char>{'b', 'a', 'd', '\n'}));
        {
            ModalAnswerer yes(QMessageBox::Yes);
            QVERIFY(dialog()->setPoint(2, 1, 1));
        }
        QCOMPARE(zelt::document::readKnownPoints(child->Table1().path())->points.size(), std::size_t(1));
    }

    /// The export dialog offers the placement only for a table with known points, unchecked.
    void exportOptionFollowsTheTable()
    {
        TMDIChild* child = open(QStringLiteral("e.db"));
        auto* command = m_shell.form->findChild<ExportCommand*>();
        QVERIFY(command);
        {
            ModalAnswerer closer;
            command->Export1Execute();
        }
        QVERIFY(!command->ExportDlg()->PlaceOnKnownPoints->isEnabled());
        QVERIFY(!command->ExportDlg()->choice().placeOnKnownPoints);

        zelt::document::KnownPoints kp;
        kp.set(3, 5, 5);
        zelt::document::writeKnownPoints(child->Table1().path(), kp);
        {
            ModalAnswerer closer;
            command->Export1Execute();
        }
        QVERIFY(command->ExportDlg()->PlaceOnKnownPoints->isEnabled());
        QVERIFY(!command->ExportDlg()->PlaceOnKnownPoints->isChecked());
        command->ExportDlg()->PlaceOnKnownPoints->setChecked(true);
        QVERIFY(command->ExportDlg()->choice().placeOnKnownPoints);
    }

    /// "Horizontal Lengths" of the route view is kept in the settings and reaches the route, the
    /// known points' report and the export dialog.
    void horizontalLengthsReachTheFitAndTheExport()
    {
        TMDIChild* child = open(QStringLiteral("h.db"));
        auto* horizontal = m_shell.form->findChild<QAction*>(QStringLiteral("HorizontalLengths1"));
        QVERIFY(horizontal && !horizontal->isChecked());
        dialog()->showForActive();
        QVERIFY(dialog()->setPoint(2, 0, 0));
        QVERIFY(dialog()->setPoint(4, 0, 20));
        QVERIFY(dialog()->reportView()->toPlainText().contains(QStringLiteral("leg lengths as walked")));

        horizontal->setChecked(true);
        QVERIFY(dialog()->reportView()->toPlainText().contains(QStringLiteral("horizontal leg lengths")));
        auto* view = m_shell.form->findChild<QAction*>(QStringLiteral("ViewRoute1"));
        view->trigger();   // the route shown takes the choice
        QVERIFY(child->routeModel()->legLengths() == zelt::compute::LegLengths::Horizontal);
        view->trigger();
        auto* command = m_shell.form->findChild<ExportCommand*>();
        {
            ModalAnswerer closer;
            command->Export1Execute();
        }
        QVERIFY(command->ExportDlg()->HorizontalLengths->isChecked());
        QVERIFY(command->ExportDlg()->choice().params.legLengths == zelt::compute::LegLengths::Horizontal);

        m_shell.close();
        QVERIFY(m_shell.show());
        horizontal = m_shell.form->findChild<QAction*>(QStringLiteral("HorizontalLengths1"));
        QVERIFY(horizontal->isChecked());
        horizontal->setChecked(false);   // the settings file serves the other tests too
    }

    /// The dialog lists the document's own points: a table opened without a start row gets one
    /// and the points move with their legs; a row deleted in the window drops its point and
    /// moves the later ones, in the open dialog and on disk.
    void pointsFollowTheWindowsRows()
    {
        const QString path = m_shell.dir->filePath(QStringLiteral("legs.db"));
        {
            zelt::document::TraverseTable t;
            t.setPath(path.toStdString());
            t.create();
            t.open();
            for (int i = 0; i < 3; ++i) {
                t.append();
                t.setInteger("Azimuth", 90);
                t.setFloat("Pairs", 64);
                t.post();
            }
        }
        zelt::document::KnownPoints kp;
        kp.set(1, 5, 5);
        kp.set(3, 7, 7);
        zelt::document::writeKnownPoints(path.toStdString(), kp);
        m_shell.form->OpenDocument(path);
        m_shell.form->updateEnabling();
        TMDIChild* child = m_shell.form->activeDocument();
        QCOMPARE(child->Table1().rowCount(), 4);
        dialog()->showForActive();
        QCOMPARE(dialog()->list()->rowCount(), 2);
        QCOMPARE(dialog()->list()->item(0, 0)->text(), QStringLiteral("2"));
        QCOMPARE(dialog()->list()->item(1, 0)->text(), QStringLiteral("4"));

        child->Table1().setRecNo(2);
        QAction* remove = child->navigatorButton(5);
        QVERIFY(remove->isEnabled());
        {
            ModalAnswerer ok(QMessageBox::Ok);   // the navigator asks before deleting
            remove->trigger();
        }
        QCOMPARE(child->Table1().rowCount(), 3);
        QCOMPARE(dialog()->list()->rowCount(), 1);
        QCOMPARE(dialog()->list()->item(0, 0)->text(), QStringLiteral("3"));
        QCOMPARE(dialog()->points().points.front().xMm, 7.0);
        QCOMPARE(zelt::document::readKnownPoints(path.toStdString())->points.front().row, 3);
    }

    void coordinatesInTheUsersNumbers_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("stored");   // NaN: refused with `message`
        QTest::addColumn<QString>("message");
        const double no = std::nan("");
        QTest::newRow("de_DE comma") << "de_DE" << "111,5" << 111.5 << "";
        QTest::newRow("de_DE point") << "de_DE" << "111.5" << no
                                     << "'111.5' is not a valid value for field 'X (east)'. The allowed range is "
                                        "-10000000 to 10000000 mm, written with ',' as the decimal separator";
        QTest::newRow("C point") << "C" << "-2.25" << -2.25 << "";
        QTest::newRow("C comma") << "C" << "2,25" << no << "'2,25' is not a valid value";
        QTest::newRow("letters") << "C" << "12a" << no << "'12a' is not a valid value";
        QTest::newRow("11 digits") << "de_DE" << "12345678901" << no
                                   << "12345678901 is not a valid value for field 'X (east)'. The allowed range is "
                                      "-10000000 to 10000000 mm";
        QTest::newRow("range end") << "C" << "-10000000" << -1e7 << "";
    }

    /// Map coordinates are typed as the grid takes numbers, with the decimal separator of the
    /// user's locale; anything else is refused with a message naming it and the range, and no
    /// point is stored (a spin box took "111.5" for 1115 under de_DE, dropped letters silently
    /// and clipped long numbers).
    void coordinatesInTheUsersNumbers()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(double, stored);
        QFETCH(QString, message);
        QLocale::setDefault(QLocale(locale));   // a document takes its separator when created
        open(QStringLiteral("n.db"))->Table1().setRecNo(2);
        QLocale::setDefault(QLocale::c());
        dialog()->showForActive();
        // Types once and presses OK (after the slot returns: a refusal waits in the click),
        // answers the refusal, then cancels.
        QStringList shown;
        bool typedIn = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* w = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                shown << box->text();
                box->accept();
            } else if (auto* ask = qobject_cast<QDialog*>(w); ask && typedIn) {
                ask->reject();
            } else if (ask) {
                const QList<QLineEdit*> edits = ask->findChildren<QLineEdit*>();
                edits.value(0)->setText(typed);
                edits.value(1)->setText(QStringLiteral("7"));
                typedIn = true;
                QTimer::singleShot(0, ask->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                                   &QAbstractButton::click);
            }
        });
        poll.start(10);
        QMetaObject::invokeMethod(dialog(), "addCurrentRow");
        const auto* point = dialog()->points().find(2);
        QCOMPARE(shown.size(), message.isEmpty() ? 0 : 1);
        QVERIFY2(message.isEmpty() || shown[0].startsWith(message), qPrintable(shown.value(0)));
        QCOMPARE(point ? point->xMm : std::nan(""), stored);
    }

    /// The open dialog shows the points of whichever document window is active, at once.
    void followsTheActiveWindow()
    {
        open(QStringLiteral("first.db"));
        dialog()->showForActive();
        QVERIFY(dialog()->setPoint(2, 1, 1));
        open(QStringLiteral("second.db"));
        QTRY_VERIFY(dialog()->windowTitle().endsWith(QLatin1String("second.db")));
        QCOMPARE(dialog()->list()->rowCount(), 0);
        m_shell.form->mdiArea()->setActiveSubWindow(m_shell.form->mdiArea()->subWindowList().front());
        QTRY_VERIFY(dialog()->windowTitle().endsWith(QLatin1String("first.db")));
        QCOMPARE(dialog()->list()->rowCount(), 1);
    }

private:
    TMDIChild* open(const QString& name)
    {
        const QString path = m_shell.dir->filePath(name);
        zelt::test::writeTraverse(path, {{0, 420.0}, {64}, {64}, {128}});
        m_shell.form->OpenDocument(path);
        m_shell.form->updateEnabling();   // as the next idle moment would
        return m_shell.form->activeDocument();
    }
    KnownPointsDialog* dialog() const { return m_shell.form->findChild<KnownPointsDialog*>(); }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

QTEST_MAIN(TestKnownPointsDialog)
#include "test_known_points_dialog.moc"

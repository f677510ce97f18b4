// SPDX-License-Identifier: GPL-3.0-or-later
// The export dialog's choices and the "&Export" command on an open document window.
#include "document/document_files.h"
#include "shell/commands/diagnostics_dialog.h"
#include "shell/commands/export_dialog.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/settings/registry_store.h"

#include "export_test_util.h"
#include "shell_test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>

#include <map>

using namespace zelt::test;
using namespace zelt::shell;
using zelt::mapexport::HeightField;
namespace fs = std::filesystem;

namespace {

// Closes every modal message box while it lives and keeps the texts it showed.
class BoxCloser : public QObject {
public:
    BoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(10);
    }
    QStringList texts;

private:
    QTimer m_timer;
};

/// The files of a folder with their sizes.
std::map<std::string, std::uintmax_t> listing(const QTemporaryDir& dir)
{
    std::map<std::string, std::uintmax_t> files;
    for (const auto& e : fs::directory_iterator(dir.path().toStdString()))
        files[e.path().filename().string()] = e.is_regular_file() ? e.file_size() : 0;
    return files;
}

}  // namespace

class ExportDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        zelt::test::failOnQtWarnings();
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("ZeltTest"));
        RegistryStore::setRegistryFile(m_dir.filePath(QStringLiteral("registry.ini")));
    }

    // The controls map to the routine and its four values as the mapping table gives them.
    void choices_data()
    {
        QTest::addColumn<bool>("onlyWay");
        QTest::addColumn<bool>("absolute");
        QTest::addColumn<int>("list1");
        QTest::addColumn<int>("list3");
        QTest::addColumn<int>("list4");
        QTest::addColumn<bool>("contours");
        QTest::addColumn<bool>("expContours");
        QTest::addColumn<bool>("expAbsolute");
        QTest::addColumn<int>("expField");
        QTest::addColumn<int>("expFrequency");
        QTest::addColumn<bool>("expEveryNth");
        const int A = int(HeightField::Altimeter), F = int(HeightField::FillHeight), R = int(HeightField::Recalc);
        QTest::newRow("only way") << true << false << 0 << 0 << 2 << true << false << false << F << 99 << false;
        QTest::newRow("absolute Altimeter") << true << true << 0 << 1 << 1 << false << false << true << A << 99 << false;
        QTest::newRow("absolute Fill Height") << true << true << 1 << 1 << 1 << false << false << true << F << 99 << false;
        QTest::newRow("absolute Recalc") << true << true << 2 << 1 << 1 << true << false << true << R << 99 << false;
        QTest::newRow("every 5 Recalc") << false << true << 0 << 0 << 1 << false << false << false << R << 5 << true;
        QTest::newRow("every 10 Altimeter") << false << false << 0 << 1 << 2 << false << false << false << A << 10 << true;
        QTest::newRow("altimeter FillHeight") << false << false << 0 << 2 << 0 << false << false << false << F << 5 << false;
        QTest::newRow("contours every 10") << false << false << 0 << 1 << 0 << true << true << false << F << 10 << true;
    }
    void choices()
    {
        QFETCH(bool, onlyWay);
        QFETCH(bool, absolute);
        QFETCH(int, list1);
        QFETCH(int, list3);
        QFETCH(int, list4);
        QFETCH(bool, contours);
        TExportDlg dlg;
        (onlyWay ? dlg.RadioButton1 : dlg.RadioButton2)->setChecked(true);
        dlg.CheckBox1->setChecked(absolute);
        dlg.ComboBox1->setCurrentIndex(list1);
        dlg.ComboBox3->setCurrentIndex(list3);
        dlg.ComboBox4->setCurrentIndex(list4);
        dlg.CheckBox2->setChecked(contours);
        const TExportDlg::Choice c = dlg.choice();
        QTEST(c.withContours, "expContours");
        QTEST(c.params.WithAbsoluteHeights, "expAbsolute");
        QTEST(int(c.params.heightField), "expField");
        QTEST(int(c.params.Frequency), "expFrequency");
        QTEST(c.params.EveryNth, "expEveryNth");
        QVERIFY(dlg.RadioButton1->isChecked() != dlg.RadioButton2->isChecked());
    }

    // Showing the dialog again resets the three lists but keeps the buttons and boxes; only the
    // absolute-heights box enables its list.
    void formActivate()
    {
        TExportDlg dlg;
        QVERIFY(!dlg.ComboBox1->isEnabled());
        QTest::mouseClick(dlg.CheckBox1, Qt::LeftButton);
        QVERIFY(dlg.ComboBox1->isEnabled());
        dlg.RadioButton2->setChecked(true);
        dlg.CheckBox2->setChecked(true);
        dlg.ComboBox1->setCurrentIndex(2), dlg.ComboBox3->setCurrentIndex(0), dlg.ComboBox4->setCurrentIndex(2);
        dlg.FormActivate();
        QCOMPARE(dlg.ComboBox1->currentText(), QStringLiteral("Fill Height"));
        QCOMPARE(dlg.ComboBox3->currentText(), QStringLiteral("Altimeter"));
        QCOMPARE(dlg.ComboBox4->currentText(), QStringLiteral("FillHeight"));
        QVERIFY(dlg.RadioButton2->isChecked() && dlg.CheckBox2->isChecked() && dlg.CheckBox1->isChecked());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Export"));
    }

    // OK on an open document writes the map, returns the grid to its row; a refused map shows
    // its error, stays untouched, and the grid is back on its row too; cancelling writes nothing.
    void exportFromTheMainWindow()
    {
        const fs::path table = m_dir.filePath(QStringLiteral("way.db")).toStdString();
        {
            zelt::document::TraverseTable t;
            t.setPath(table);
            t.create();
            t.open();
            for (int i = 0; i < 40; ++i) {
                t.append();
                t.setInteger("Azimuth", (10 * i) % 360);
                t.setFloat("Pairs", 30);
                t.setFloat("Altimeter", 420 + i);
                t.post();
            }
            t.close();
            zelt::document::writeInf(zelt::document::companionPath(table, ".inf"), 64, 420);
        }
        TMainForm main;
        main.OpenDocument(QString::fromStdString(table.string()));
        TMDIChild* child = main.activeDocument();
        QVERIFY(child);
        child->Table1().setRecNo(17);
        auto* command = main.findChild<ExportCommand*>();
        QVERIFY(command);
        const fs::path figures = m_dir.filePath(QStringLiteral("dani.dat")).toStdString();
        writeBytes(figures, Bytes{'1', '\n', '0', ' ', '1', '\n'});
        command->zelt().setFigureFile(figures);

        QString target = m_dir.filePath(QStringLiteral("out.ocd"));
        command->setMapChooser([&](QWidget*) { return target; });
        command->ExportDlg()->RadioButton2->setChecked(true);
        command->ExportDlg()->CheckBox2->setChecked(true);
        command->ExportDlg()->FormActivate();
        command->ExportDlg()->OKBtnClick();
        QVERIFY(fs::file_size(target.toStdString()) > 29992);
        QCOMPARE(child->Table1().recNo(), 17);
        QVERIFY(!child->Table1().controlsDisabled());
        const fs::path written = target.toStdString();

        target = m_dir.filePath(QStringLiteral("v8.ocd"));
        Bytes v8(48, 0);
        put16(v8, 0, 0x0CAD), put16(v8, 2, 2), put16(v8, 4, 8);
        writeBytes(target.toStdString(), v8);
        {
            BoxCloser closer;
            command->ExportDlg()->OKBtnClick();
            QCOMPARE(closer.texts.size(), 1);
            QVERIFY2(closer.texts[0].contains(QStringLiteral("OCAD version 8")), qPrintable(closer.texts[0]));
        }
        QVERIFY(readBytes(target.toStdString()) == v8);
        QCOMPARE(child->Table1().recNo(), 17);

        // The user cancels the save-file dialog: it was asked once, and nothing is shown,
        // created or changed; the grid stays on its row.
        const Bytes writtenBytes = readBytes(written);
        const std::map<std::string, std::uintmax_t> filesBefore = listing(m_dir);
        int asked = 0;
        command->setMapChooser([&](QWidget*) {
            ++asked;
            return QString();
        });
        {
            BoxCloser closer;
            command->ExportDlg()->OKBtnClick();
            QTest::qWait(50);  // a message box would be up by now
            QCOMPARE(asked, 1);
            QCOMPARE(closer.texts, QStringList());
        }
        QCOMPARE(listing(m_dir), filesBefore);
        QVERIFY(readBytes(written) == writtenBytes);
        QCOMPARE(child->Table1().recNo(), 17);
        QVERIFY(!child->Table1().controlsDisabled());
        ZELT_VERIFY_INSPECT_CLEAN(written);
    }

    // The export's warnings reach the window as diagnostics: a map without the route's and the
    // labels' symbols takes the route and lists both warnings.
    void warningsReachTheWindow()
    {
        const fs::path samples = sharedDir("ocad-samples");
        if (samples.empty())
            ZELT_SKIP_OUTSIDE("the outside sample maps are absent");
        const fs::path table = m_dir.filePath(QStringLiteral("warn.db")).toStdString();
        {
            zelt::document::TraverseTable t;
            t.setPath(table);
            t.create();
            t.open();
            for (int i = 0; i < 3; ++i) {
                t.append();
                t.setInteger("Azimuth", 45);
                t.setFloat("Pairs", 20);
                t.post();
            }
            t.close();
            zelt::document::writeInf(zelt::document::companionPath(table, ".inf"), 64, 420);
        }
        const QString target = m_dir.filePath(QStringLiteral("nosymbols.ocd"));
        writeBytes(target.toStdString(), readBytes(samples / "fixture-route-v7.ocd"));
        TMainForm main;
        main.OpenDocument(QString::fromStdString(table.string()));
        auto* command = main.findChild<ExportCommand*>();
        QVERIFY(command && main.activeDocument());
        const fs::path figures = m_dir.filePath(QStringLiteral("dani.dat")).toStdString();
        writeBytes(figures, Bytes{'1', '\n', '0', ' ', '1', '\n'});
        command->zelt().setFigureFile(figures);
        command->setMapChooser([&](QWidget*) { return target; });
        command->ExportDlg()->RadioButton1->setChecked(true);
        {
            BoxCloser closer;
            command->ExportDlg()->OKBtnClick();
            QCOMPARE(closer.texts, QStringList());
        }

        DiagnosticsDialog* list = main.diagnosticsDialog();
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->windowTitle(), QStringLiteral("Export"));
        QCOMPARE(list->text(),
                 QStringLiteral("warning: The map defines no symbol 517.1; OCAD shows the route line as an unknown symbol.\n"
                                "warning: The map defines no symbol 802.1; OCAD shows the labels as an unknown symbol."));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(ExportDialogTest)
#include "export_dialog_test.moc"

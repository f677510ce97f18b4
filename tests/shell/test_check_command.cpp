// SPDX-License-Identifier: GPL-3.0-or-later
// Widget test of the Check command: the suspects in the non-modal list, leading to their cells.
#include "document/document_files.h"
#include "document/known_points.h"
#include "document/traverse_table.h"
#include "shell/commands/diagnostics_dialog.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/status_panel.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QTest>
#include <QTreeWidget>

#include <cmath>
#include <numbers>

using namespace zelt::shell;

namespace {

// A start row and eight legs at 64 pairs per 100 m; known points on rows 1, 4, 7 and 9 lie
// exactly on the route as walked.
const int kAzimuth[] = {0, 40, 95, 130, 170, 152, 200, 250, 300};
const double kPairs[] = {0, 64, 80, 72, 96, 88, 70, 64, 90};

/// The walk with `azimuth6` typed in row 6.
void writeWalk(const QString& path, int azimuth6)
{
    double x = 0, y = 0;
    zelt::document::KnownPoints known;
    zelt::document::TraverseTable t;
    t.setPath(path.toStdString());
    t.create();
    t.open();
    for (int i = 0; i < 9; ++i) {
        const double lengthM = kPairs[i] / 64 * 100, a = kAzimuth[i] * std::numbers::pi / 180;
        x += std::sin(a) * lengthM;
        y += std::cos(a) * lengthM;
        t.append();
        t.setInteger("Azimuth", i == 5 ? azimuth6 : kAzimuth[i]);
        t.setFloat("Pairs", kPairs[i]);
        t.post();
        if (i == 0 || i == 3 || i == 6 || i == 8)
            known.set(i + 1, x / 15, y / 15);
    }
    t.close();
    zelt::document::writeInf(zelt::document::companionPath(path.toStdString(), ".inf"), 64.0, 420.0);
    zelt::document::writeKnownPoints(path.toStdString(), known);
}

}  // namespace

class TestCheckCommand : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg"))); }
    void init() { QVERIFY(m_shell.show()); }
    void cleanup() { m_shell.close(); }

    // A walk that closes leaves a status line; a swapped azimuth opens the list with its row as
    // the best suspect, and double-clicking that entry makes its Azimuth cell current.
    void suspectLeadsToItsCell()
    {
        const QString clean = m_shell.dir->filePath(QStringLiteral("clean.db"));
        writeWalk(clean, 152);
        m_shell.form->OpenDocument(clean);
        m_shell.form->updateEnabling();
        m_shell.form->actions().Check1->trigger();
        QVERIFY2(m_shell.form->statusPanel(0)->text().startsWith(QStringLiteral("Check: nothing flagged")),
                 qPrintable(m_shell.form->statusPanel(0)->text()));
        QVERIFY(!m_shell.form->diagnosticsDialog());

        const QString swapped = m_shell.dir->filePath(QStringLiteral("swapped.db"));
        writeWalk(swapped, 125);
        m_shell.form->OpenDocument(swapped);
        m_shell.form->updateEnabling();
        TMDIChild* child = m_shell.form->activeDocument();
        QVERIFY(child);
        child->Table1().setRecNo(1);
        m_shell.form->actions().Check1->trigger();
        QCOMPARE(m_shell.form->statusPanel(0)->text(), QStringLiteral("Check: flagged; the findings are in the list"));
        DiagnosticsDialog* dialog = m_shell.form->diagnosticsDialog();
        QVERIFY(dialog && dialog->isVisible());
        QTreeWidget* list = dialog->list();
        QTreeWidgetItem* suspect = nullptr;
        for (int i = 0; i < list->topLevelItemCount() && !suspect; ++i)
            if (list->topLevelItem(i)->text(2).startsWith(QStringLiteral("suspect, rank 1")))
                suspect = list->topLevelItem(i);
        QVERIFY(suspect);
        QCOMPARE(suspect->text(1), QStringLiteral("Azimuth"));
        QVERIFY2(suspect->text(2).contains(QStringLiteral("125, try 152 (swapped digits)")), qPrintable(suspect->text(2)));
        const int row = suspect->text(0).toInt();
        QCOMPARE(child->Table1().valueAt(row - 1, child->Table1().fieldIndex("Azimuth")),
                 zelt::document::Value(std::int32_t{125}));

        const QPoint at = list->visualItemRect(suspect).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(child->Table1().recNo(), row);
        QCOMPARE(child->selectedFieldName(), QStringLiteral("Azimuth"));
    }

private:
    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

QTEST_MAIN(TestCheckCommand)
#include "test_check_command.moc"

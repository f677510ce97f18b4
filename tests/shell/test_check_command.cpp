// SPDX-License-Identifier: GPL-3.0-or-later
// Widget test of the Check command: the suspects in the non-modal list, leading to their cells.
#include "compute/route_placement.h"
#include "document/document_files.h"
#include "document/known_points.h"
#include "document/traverse_table.h"
#include "paradox/paradox_table.h"
#include "shell/commands/diagnostics_dialog.h"
#include "shell/grid/table_model.h"
#include "shell/route/route_model.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/status_panel.h"
#include "shell/window/undo_commands.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUndoStack>

#include <cmath>
#include <numbers>

using namespace zelt::shell;
using zelt::document::TraverseTable;

namespace {

// A start row and eight legs at 64 pairs per 100 m; known points where rows 2, 5, 8 and 10 (the
// route's end) begin lie exactly on the route as walked.
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
        // (x, y) is where row i+1 ends and row i+2 begins.
        if (i == 0 || i == 3 || i == 6 || i == 8)
            known.set(i + 2, x / 15, y / 15);
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
            if (list->topLevelItem(i)->text(2).startsWith(QStringLiteral("suspect, rank 1,")))
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

    // The check places the route as Known Points does: the rms in its list is the placement's
    // the dialog and the route view show, for the same known points.
    void checkRmsIsTheKnownPointsRms()
    {
        TMDIChild* child = checkSwapped();
        const auto& known = child->document().knownPoints.points();
        const double rms = zelt::compute::placeOnKnownPoints(child->document(), known, known.mapScale).rmsM;
        QVERIFY(rms > 10);
        DiagnosticsDialog* dialog = m_shell.form->diagnosticsDialog();
        QVERIFY(dialog);
        const QString first = dialog->list()->topLevelItem(0)->text(2);
        QVERIFY2(first.startsWith(QStringLiteral("placed on the known points: rms %1 m").arg(rms, 0, 'f', 1)),
                 qPrintable(first));
    }

    void marksInTheGrid_data();
    void marksInTheGrid();
    void applyIsOneUndoStep();

private:
    /// Opens the walk with 125 typed for 152 in row 6 and checks it.
    TMDIChild* checkSwapped()
    {
        const QString path = m_shell.dir->filePath(QStringLiteral("swapped.db"));
        writeWalk(path, 125);
        m_shell.form->OpenDocument(path);
        m_shell.form->updateEnabling();
        m_shell.form->actions().Check1->trigger();
        zelt::test::idle();
        return m_shell.form->activeDocument();
    }
    QVariant cell(TMDIChild* child, int row, const char* field, int role) const
    {
        return child->model()->index(row - 1, columnOf(child, field)).data(role);
    }
    static int columnOf(TMDIChild* child, const char* field)
    {
        for (int i = 0; i < child->model()->columnCount(); ++i)
            if (child->model()->column(i).fieldName == field)
                return i;
        return -1;
    }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

// A suspect's cell is tinted and tells what was found; other cells keep the column's colour.
// Any edit takes the marks away (in the grid and the route view), since rows may have moved.
void TestCheckCommand::marksInTheGrid_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("tip");   // empty: the cell is not marked
    QTest::newRow("best suspect") << 6 << QStringLiteral("Azimuth") << QStringLiteral("125, try 152 (swapped digits)");
    QTest::newRow("same row, other reading") << 6 << QStringLiteral("Pairs") << QString();
    QTest::newRow("other row") << 5 << QStringLiteral("Azimuth") << QString();
}

void TestCheckCommand::marksInTheGrid()
{
    QFETCH(int, row);
    QFETCH(QString, field);
    QFETCH(QString, tip);
    TMDIChild* child = checkSwapped();
    const QByteArray name = field.toLatin1();
    const QVariant plain = child->model()->index(0, columnOf(child, name.constData())).data(Qt::BackgroundRole);
    const QString shown = cell(child, row, name.constData(), Qt::ToolTipRole).toString();
    QVERIFY2(tip.isEmpty() ? shown.isEmpty() : shown.contains(tip), qPrintable(shown));
    QCOMPARE(cell(child, row, name.constData(), Qt::BackgroundRole) == plain, tip.isEmpty());
    QVERIFY(child->routeModel()->checkReport());

    child->Table1().setRecNo(2);
    child->Table1().enterText("Pairs", "65");
    child->Table1().post();
    QVERIFY(cell(child, row, name.constData(), Qt::ToolTipRole).toString().isEmpty());
    QVERIFY(cell(child, row, name.constData(), Qt::BackgroundRole) == plain);
    QVERIFY(!child->routeModel()->checkReport());
}

// Apply puts the suggested value into its cell and stores it at once, as one named step that
// Undo takes back (in the file too); the list then shows what is left.
void TestCheckCommand::applyIsOneUndoStep()
{
    TMDIChild* child = checkSwapped();
    TraverseTable& t = child->Table1();
    const int azimuth = t.fieldIndex("Azimuth");
    DiagnosticsDialog* dialog = m_shell.form->diagnosticsDialog();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(!dialog->applyButton()->isEnabled());   // the first entry is the placement's rms
    QTreeWidget* list = dialog->list();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(2).startsWith(QStringLiteral("suspect, rank 1,")))
            list->setCurrentItem(list->topLevelItem(i));
    QVERIFY(dialog->applyButton()->isEnabled());
    const int steps = child->history()->stack()->count();
    QTest::mouseClick(dialog->applyButton(), Qt::LeftButton);

    const auto onDisk = [&t, azimuth] {
        zelt::document::ParadoxOpenOptions options;
        options.readOnly = true;
        return zelt::document::ParadoxTable::open(t.path(), options)->readAll()[5][static_cast<std::size_t>(azimuth)];
    };
    QCOMPARE(t.valueAt(5, azimuth), zelt::document::Value(std::int32_t{152}));
    QCOMPARE(onDisk(), zelt::document::Value(std::int32_t{152}));
    QCOMPARE(child->history()->stack()->count(), steps + 1);
    QVERIFY2(m_shell.form->statusPanel(0)->text().startsWith(QStringLiteral("Applied 152 to row 6's Azimuth; check: nothing flagged")),
             qPrintable(m_shell.form->statusPanel(0)->text()));
    m_shell.form->updateEnabling();
    QCOMPARE(m_shell.form->actions().EditUndo1->text(), QStringLiteral("&Undo Apply Suggested Azimuth"));

    m_shell.form->actions().EditUndo1->trigger();
    QCOMPARE(t.valueAt(5, azimuth), zelt::document::Value(std::int32_t{125}));
    QCOMPARE(onDisk(), zelt::document::Value(std::int32_t{125}));
}

QTEST_MAIN(TestCheckCommand)
#include "test_check_command.moc"

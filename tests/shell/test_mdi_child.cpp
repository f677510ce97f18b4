// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the document window: grid columns, the Enter rule, deleting, pick list, model.
#include "document/document_files.h"
#include "paradox/paradox_table.h"
#include "interchange/layout_stream.h"
#include "shell/grid/grid_look.h"
#include "shell/grid/grid_view.h"
#include "shell/window/status_panel.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/grid/table_model.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QWheelEvent>

#include <memory>

using namespace zelt::shell;
using zelt::document::TraverseTable;
using zelt::test::idle;
using zelt::test::ModalAnswerer;

class TestMdiChild : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void builtInColumns();
    void enterOnLastRowAppends();
    void enterOnMiddleRowMoves();
    void typedValueIsStoredWhenLeavingTheRow();
    void escapeGivesUpTheRowsChanges();
    void ctrlDeleteAsksFirst();
    void turnColumnPickList();
    void turnColumnKeysAndWheelMoveBetweenRows();
    void pickListOpensAndChoosesExplicitly();
    void refusedValueStaysInItsEditor();
    void readOnlyTableSaysWhy();
    void builtInLayoutIsTheSameInBothPrograms();
    void leavingGridDropsUntouchedInsert();
    void navigatorButtons();
    void gridFollowsTheDatasetCursor();
    void suspendedUpdatesGiveOneReset();
    void eachWindowKeepsTheNumberFormatItOpenedWith();
    void columnsShowTheirTitlesAndTexts();
    void laterTextsWidenTheirColumns();

private:
    TMDIChild* openWithRows(int rows);
    QWidget* editor() const { return QApplication::focusWidget(); }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

void TestMdiChild::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
}

void TestMdiChild::init()
{
    QVERIFY(m_shell.show(QSize(900, 600)));
}

void TestMdiChild::cleanup()
{
    m_shell.close();
}

// A document window takes the user's decimal separator when it opens and keeps it as its own:
// a window opened under another locale later does not change it.
void TestMdiChild::eachWindowKeepsTheNumberFormatItOpenedWith()
{
    TMDIChild* point = openWithRows(1);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    m_shell.form->OpenDocument(m_shell.dir->filePath(QStringLiteral("u.db")));
    TMDIChild* comma = m_shell.form->activeDocument();
    QLocale::setDefault(QLocale::c());
    QVERIFY(comma != point);
    QCOMPARE(comma->model()->index(0, 2).data().toString(), QStringLiteral("420,0"));
    QCOMPARE(point->model()->index(0, 2).data().toString(), QStringLiteral("420.0"));
}

// Shown first, every column is wide enough for its title and the texts in view, however narrow
// the layout made it ("umbling" for Tumbling, "pa..." for a mark).
void TestMdiChild::columnsShowTheirTitlesAndTexts()
{
    const QString path = m_shell.dir->filePath(QStringLiteral("marks.db"));
    {
        TraverseTable t;
        t.setPath(path.toStdString());
        t.create();
        t.open();
        t.append();
        t.setText("Mark", "pass 1046 north");
        t.setFloat("Pairs", 104612.5);
        t.post();
        t.close();
    }
    m_shell.form->OpenDocument(path);
    TMDIChild* child = m_shell.form->activeDocument();
    QVERIFY(child);
    idle();
    auto* grid = static_cast<GridView*>(child->DBGrid1());
    QHeaderView* header = grid->horizontalHeader();
    // Also after the grid was read again (as after a pass or an undo).
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < child->model()->columnCount(); ++i) {
            if (grid->isColumnHidden(i))
                continue;
            const QString title = child->model()->headerData(i, Qt::Horizontal).toString();
            const QFontMetrics titleFont(child->model()->headerData(i, Qt::Horizontal, Qt::FontRole).value<QFont>());
            QVERIFY2(header->sectionSize(i) >= titleFont.horizontalAdvance(title), qPrintable(title));
            const QString text = child->model()->index(0, i).data().toString();
            const QFontMetrics cellFont(child->model()->index(0, i).data(Qt::FontRole).value<QFont>());
            QVERIFY2(header->sectionSize(i) > cellFont.horizontalAdvance(text), qPrintable(title + u' ' + text));
        }
        child->refreshRows();
        idle();
    }
}

// A text typed later, or first scrolled into view, is not cut by its column.
void TestMdiChild::laterTextsWidenTheirColumns()
{
    TMDIChild* child = openWithRows(36);
    auto* grid = static_cast<GridView*>(child->DBGrid1());
    TraverseTable& t = child->Table1();
    const int mark = t.fieldIndex("Mark");
    int column = -1;
    for (int i = 0; i < child->model()->columnCount(); ++i)
        if (child->model()->headerData(i, Qt::Horizontal).toString() == QStringLiteral("Mark"))
            column = i;
    QVERIFY(column >= 0 && mark >= 0);
    const QString longText = QStringLiteral("m1 ford by the old mill");
    const QFontMetrics font(child->model()->index(0, column).data(Qt::FontRole).value<QFont>());
    QVERIFY(grid->columnWidth(column) <= font.horizontalAdvance(longText));

    // Stored in a row far below the rows in view (as a pass or another program would).
    t.setRecNo(35);
    t.edit();
    t.setText("Mark", longText.toStdString());
    t.post();
    t.first();
    child->refreshRows();
    idle();
    grid->scrollToBottom();
    QTRY_VERIFY2(grid->columnWidth(column) > font.horizontalAdvance(longText), qPrintable(QString::number(grid->columnWidth(column))));

    // Typed into a cell.
    const QString typed = longText + QStringLiteral(" and the second bridge");
    grid->setCurrentIndex(child->model()->index(34, column));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), typed);
    QTest::keyClick(editor(), Qt::Key_Up);
    QTRY_COMPARE(QString::fromStdString(t.displayTextAt(34, mark)), typed);
    QTRY_VERIFY(grid->columnWidth(column) > font.horizontalAdvance(typed));
}

/// A new document whose table holds `rows` rows (the start row and rows with azimuths 10, 20...).
TMDIChild* TestMdiChild::openWithRows(int rows)
{
    m_shell.form->OpenDocument(m_shell.dir->filePath(QStringLiteral("t.db")));
    TMDIChild* child = m_shell.form->activeDocument();
    TraverseTable& t = child->Table1();
    for (int i = 1; i < rows; ++i) {
        t.append();
        t.setInteger("Azimuth", 10 * i);
        t.setFloat("Pairs", 5 * i);
        t.post();
    }
    t.first();
    child->DBGrid1()->setFocus();
    idle();
    return child;
}

// The grid starts with the built-in column set: titles, widths, hidden columns, colours,
// alignment and read-only columns.
void TestMdiChild::builtInColumns()
{
    TMDIChild* child = openWithRows(1);
    QTableView* grid = child->DBGrid1();
    auto* model = child->model();
    QCOMPARE(model->columnCount(), 14);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Azimuth"));
    QCOMPARE(model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Tumbling"));
    QCOMPARE(model->headerData(13, Qt::Horizontal).toString(), QStringLiteral("Id"));
    QCOMPARE(grid->columnWidth(0), child->screenWidth(47));
    // Widened to its title on screen; the layout keeps its own width.
    QVERIFY(grid->columnWidth(5) >= child->screenWidth(28));
    QCOMPARE(child->document().columns.columns[5].width, 28);
    QVERIFY(child->screenWidth(47) >= 47);
    // Widths follow the screen font, so a title fits its column as it did when laid out.
    QVERIFY(grid->columnWidth(0) >= grid->fontMetrics().horizontalAdvance(QStringLiteral("Azimuth")));
    QVERIFY(grid->isColumnHidden(3));   // Procent
    QVERIFY(grid->isColumnHidden(7));   // metru
    QVERIFY(!grid->isColumnHidden(13));
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(), right);
    QCOMPARE(model->index(0, 4).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), right);
    QCOMPARE(model->index(0, 5).data(Qt::BackgroundRole).value<QColor>(),
             grid->palette().color(QPalette::ToolTipBase));
    QCOMPARE(model->index(0, 13).data(Qt::BackgroundRole).value<QColor>(),
             grid->palette().color(QPalette::Button));
    QVERIFY(!(model->flags(model->index(0, 13)) & Qt::ItemIsEditable));  // id
    QVERIFY(!(model->flags(model->index(0, 7)) & Qt::ItemIsEditable));   // metru
    QVERIFY(!(model->flags(model->index(0, 8)) & Qt::ItemIsEditable));   // F
    QVERIFY(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
    // The start row carries the start height in Altimeter.
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("420.0"));
    QCOMPARE(child->navigatorButton(0)->toolTip(), QStringLiteral("First record"));
    QCOMPARE(child->navigatorButton(9)->toolTip(), QStringLiteral("Refresh"));
}

// Enter on the last row appends a row with the new-row defaults, cursor in Azimuth.
void TestMdiChild::enterOnLastRowAppends()
{
    TMDIChild* child = openWithRows(1);
    QTableView* grid = child->DBGrid1();
    grid->setCurrentIndex(child->model()->index(0, 1));  // Pairs of the start row
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("12"));
    QTest::keyClick(editor(), Qt::Key_Return);

    TraverseTable& t = child->Table1();
    QTRY_COMPARE(t.displayRowCount(), 2);
    QCOMPARE(t.currentIndex(), 1);
    QCOMPARE(t.state(), TraverseTable::State::Insert);
    QCOMPARE(child->selectedFieldName(), QStringLiteral("Azimuth"));
    QCOMPARE(grid->currentIndex().row(), 1);
    for (const char* f : {"Azimuth", "Pairs", "Procent", "metru"})
        QCOMPARE(t.asFloat(f), 0.0);
    QVERIFY(t.isNull("Altimeter"));

    // The typed pairs reached the first row; typing the new leg and Enter opens the next one.
    QCOMPARE(t.valueAt(0, t.fieldIndex("Pairs")), zelt::document::Value(12.0));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("90"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(t.displayRowCount(), 3);
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.valueAt(1, t.fieldIndex("Azimuth")), zelt::document::Value(std::int32_t(90)));
    QCOMPARE(t.currentIndex(), 2);
}

// Enter on a middle row moves to the next row's Azimuth without adding a row.
void TestMdiChild::enterOnMiddleRowMoves()
{
    TMDIChild* child = openWithRows(3);
    QTableView* grid = child->DBGrid1();
    grid->setCurrentIndex(child->model()->index(0, 2));  // Altimeter of row 1
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Return);
    TraverseTable& t = child->Table1();
    QCOMPARE(t.displayRowCount(), 3);
    QCOMPARE(t.currentIndex(), 1);
    QCOMPARE(grid->currentIndex(), child->model()->index(1, 0));
    QCOMPARE(t.state(), TraverseTable::State::Browse);
}

// Leaving a row stores what was typed; a refused value keeps the row in editing.
void TestMdiChild::typedValueIsStoredWhenLeavingTheRow()
{
    ModalAnswerer answers;
    TMDIChild* child = openWithRows(3);
    QTableView* grid = child->DBGrid1();
    TraverseTable& t = child->Table1();
    grid->setCurrentIndex(child->model()->index(1, 2));  // Altimeter of row 2
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("455"));
    grid->setCurrentIndex(child->model()->index(2, 2));
    QTRY_COMPARE(t.currentIndex(), 2);
    QCOMPARE(t.valueAt(1, t.fieldIndex("Altimeter")), zelt::document::Value(455.0));

    // Out of range: the field rule refuses it with the engine's message.
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("5000"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(answers.texts.size(), 1);
    QCOMPARE(answers.texts[0],
             QStringLiteral("5000 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000"));
    QVERIFY(t.isNull("Altimeter"));
}

// Escape in a cell gives up what was typed in the row; the cell editor comes back.
void TestMdiChild::escapeGivesUpTheRowsChanges()
{
    TMDIChild* child = openWithRows(2);
    TraverseTable& t = child->Table1();
    child->DBGrid1()->setCurrentIndex(child->model()->index(1, 5));  // Mark
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("spring"));
    QTest::keyClick(editor(), Qt::Key_Tab);  // to the next cell: the row is now in editing
    QTRY_COMPARE(t.state(), TraverseTable::State::Edit);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Escape);
    QCOMPARE(t.state(), TraverseTable::State::Browse);
    QVERIFY(t.isNull("Mark"));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
}

// Ctrl+Delete deletes the current row only after "Delete record?" is confirmed.
void TestMdiChild::ctrlDeleteAsksFirst()
{
    TMDIChild* child = openWithRows(3);
    child->DBGrid1()->setCurrentIndex(child->model()->index(1, 0));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    {
        ModalAnswerer answers(QMessageBox::Cancel);
        QTest::keyClick(editor(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(answers.texts, QStringList{QStringLiteral("Delete record?")});
        QCOMPARE(child->Table1().rowCount(), 3);
    }
    // The same key on the grid itself (a read-only cell has no editor).
    ModalAnswerer answers(QMessageBox::Ok);
    QTest::keyClick(child->DBGrid1(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(answers.texts.size(), 1);
    QCOMPARE(child->Table1().rowCount(), 2);
    QCOMPARE(child->Table1().valueAt(1, 0), zelt::document::Value(std::int32_t(20)));
}

// The turn column offers its pick list in a drop-down of 15 rows; a typed number becomes
// the turn word of that place in the list.
void TestMdiChild::turnColumnPickList()
{
    TMDIChild* child = openWithRows(2);
    TraverseTable& t = child->Table1();
    child->DBGrid1()->setCurrentIndex(child->model()->index(1, 4));
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    auto* combo = qobject_cast<QComboBox*>(editor());
    QCOMPARE(combo->count(), 7);
    QCOMPARE(combo->itemText(0), QStringLiteral("Left"));
    QCOMPARE(combo->itemText(6), QStringLiteral("Centr_Object"));
    QCOMPARE(combo->maxVisibleItems(), 15);

    combo->setCurrentIndex(3);
    QTest::keyClick(editor(), Qt::Key_Return);
    QCOMPARE(t.valueAt(1, t.fieldIndex("Povorot")), zelt::document::Value(std::string("Left_Object")));

    child->DBGrid1()->setCurrentIndex(child->model()->index(0, 4));
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("2"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QCOMPARE(t.valueAt(0, t.fieldIndex("Povorot")), zelt::document::Value(std::string("Right")));
}

// A row inserted and left untouched disappears when the focus leaves the grid.
void TestMdiChild::leavingGridDropsUntouchedInsert()
{
    TMDIChild* child = openWithRows(2);
    TraverseTable& t = child->Table1();
    child->DBGrid1()->setFocus();
    QTest::keyClick(child->DBGrid1(), Qt::Key_Insert);
    QTRY_COMPARE(t.displayRowCount(), 3);
    QCOMPARE(t.state(), TraverseTable::State::Insert);

    QLineEdit outside(m_shell.form.get());
    outside.show();
    outside.setFocus();
    QTRY_COMPARE(t.displayRowCount(), 2);
    QCOMPARE(t.state(), TraverseTable::State::Browse);
    QCOMPARE(child->model()->rowCount(), 2);

    // Coming back, the grid shows its cell editor again.
    child->DBGrid1()->setFocus();
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()) && editor() != &outside);
}

// The navigator moves, inserts and deletes (asking first) and enables what applies.
void TestMdiChild::navigatorButtons()
{
    TMDIChild* child = openWithRows(3);
    TraverseTable& t = child->Table1();
    idle();
    QVERIFY(!child->navigatorButton(0)->isEnabled());  // First at the first row
    QVERIFY(child->navigatorButton(3)->isEnabled());
    QVERIFY(!child->navigatorButton(7)->isEnabled());  // Post while browsing
    child->navigatorButton(3)->trigger();               // Last
    QCOMPARE(t.currentIndex(), 2);
    QCOMPARE(child->DBGrid1()->currentIndex().row(), 2);
    QVERIFY(!child->navigatorButton(2)->isEnabled());
    {
        // Delete asks first, as Ctrl+Delete does: Cancel keeps the row, OK deletes it.
        ModalAnswerer cancel(QMessageBox::Cancel);
        child->navigatorButton(5)->trigger();
        QCOMPARE(cancel.texts, QStringList{QStringLiteral("Delete record?")});
    }
    QCOMPARE(t.rowCount(), 3);
    {
        ModalAnswerer ok(QMessageBox::Ok);
        child->navigatorButton(5)->trigger();
        QCOMPARE(ok.texts.size(), 1);
    }
    QCOMPARE(t.rowCount(), 2);
    child->navigatorButton(4)->trigger();               // Insert
    QCOMPARE(t.state(), TraverseTable::State::Insert);
    QVERIFY(child->navigatorButton(8)->isEnabled());    // Cancel
    child->navigatorButton(8)->trigger();
    QCOMPARE(t.displayRowCount(), 2);
}

// Moves of the dataset made outside the grid move the grid's current row, and the other way.
void TestMdiChild::gridFollowsTheDatasetCursor()
{
    TMDIChild* child = openWithRows(4);
    TraverseTable& t = child->Table1();
    t.setRecNo(3);
    QCOMPARE(child->DBGrid1()->currentIndex().row(), 2);
    child->DBGrid1()->setCurrentIndex(child->model()->index(1, 0));
    QCOMPARE(t.currentIndex(), 1);
    QCOMPARE(child->model()->headerData(1, Qt::Vertical).toString(), QString(QChar(0x25B6)));
    QCOMPARE(child->model()->headerData(2, Qt::Vertical).toString(), QString());
}

// While display updates are suspended the model sends nothing; resuming resets it once.
void TestMdiChild::suspendedUpdatesGiveOneReset()
{
    TMDIChild* child = openWithRows(4);
    TraverseTable& t = child->Table1();
    QSignalSpy changed(child->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(child->model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(child->model(), &QAbstractItemModel::rowsInserted);
    t.disableControls();
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.setFloat("FillHeight", 100);
        t.post();
    }
    t.append();
    t.post();
    QCOMPARE(changed.count(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(reset.count(), 0);
    t.enableControls();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(child->model()->rowCount(), 5);
    QCOMPARE(child->model()->index(3, 11).data().toString(), QStringLiteral("100.0"));
}

namespace {

/// Sends one wheel notch (positive: away from the user) to `w`.
void wheel(QWidget* w, int notches)
{
    const QPointF at = QPointF(w->rect().center());
    QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

QString povorot(TraverseTable& t, int row)
{
    const auto v = t.valueAt(row, t.fieldIndex("Povorot"));
    return std::holds_alternative<std::string>(v) ? QString::fromStdString(std::get<std::string>(v)) : QString();
}

}  // namespace

// Walking down the turn column with the keys or the wheel moves between rows and leaves every
// turn note as it was; only typing changes one.
void TestMdiChild::turnColumnKeysAndWheelMoveBetweenRows()
{
    TMDIChild* child = openWithRows(6);
    TraverseTable& t = child->Table1();
    for (int row = 0; row < 6; ++row) {
        t.setRecNo(row + 1);
        t.edit();
        t.setText("Povorot", "Center");
        t.post();
    }
    t.first();
    QTableView* grid = child->DBGrid1();
    grid->setCurrentIndex(child->model()->index(1, 4));
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));

    QTest::keyClick(editor(), Qt::Key_Down);
    QTRY_COMPARE(grid->currentIndex().row(), 2);
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Down);
    QTRY_COMPARE(grid->currentIndex().row(), 3);
    QCOMPARE(t.currentIndex(), 3);
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Up);
    QTRY_COMPARE(grid->currentIndex().row(), 2);
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    QTest::keyClick(editor(), Qt::Key_PageDown);
    QTRY_COMPARE(grid->currentIndex().row(), 5);
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    QTest::keyClick(editor(), Qt::Key_PageUp);
    QTRY_COMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(grid->currentIndex().column(), 4);

    // One wheel notch towards the user goes one row down, two away go two rows up.
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    wheel(editor(), -1);
    QTRY_COMPARE(grid->currentIndex().row(), 1);
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    wheel(editor(), -2);
    QTRY_COMPARE(grid->currentIndex().row(), 3);
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    wheel(editor(), 2);
    QTRY_COMPARE(grid->currentIndex().row(), 1);

    for (int row = 0; row < 6; ++row)
        QCOMPARE(povorot(t, row), QStringLiteral("Center"));
    QCOMPARE(t.state(), TraverseTable::State::Browse);

    // Typing a turn number still works, then Down moves on with it stored.
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("2"));
    QTest::keyClick(editor(), Qt::Key_Down);
    QTRY_COMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(povorot(t, 1), QStringLiteral("Right"));
    QCOMPARE(povorot(t, 2), QStringLiteral("Center"));
}

// The list opens with Alt+Down or F4; a choice made in it with Enter changes the value, Escape
// closes it without one. The open list is as wide as its longest entry.
void TestMdiChild::pickListOpensAndChoosesExplicitly()
{
    TMDIChild* child = openWithRows(3);
    TraverseTable& t = child->Table1();
    child->DBGrid1()->setCurrentIndex(child->model()->index(1, 4));
    QTRY_VERIFY(qobject_cast<QComboBox*>(editor()));
    auto* combo = qobject_cast<QComboBox*>(editor());
    QVERIFY(combo);

    QTest::keyClick(editor(), Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(combo->view()->isVisible());
    const int longest = combo->view()->fontMetrics().horizontalAdvance(QStringLiteral("Centr_Object"));
    QVERIFY2(combo->view()->viewport()->width() >= longest,
             qPrintable(QStringLiteral("%1 < %2").arg(combo->view()->viewport()->width()).arg(longest)));
    QVERIFY(combo->width() < longest);  // the column itself is narrower
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    QTRY_VERIFY(!combo->view()->isVisible());
    QCOMPARE(povorot(t, 1), QString());
    QCOMPARE(child->DBGrid1()->currentIndex(), child->model()->index(1, 4));

    QTest::keyClick(editor(), Qt::Key_F4);
    QTRY_VERIFY(combo->view()->isVisible());
    combo->view()->setCurrentIndex(combo->model()->index(4, 0));  // Right_Object
    QTest::keyClick(combo->view(), Qt::Key_Return);
    QTRY_VERIFY(!combo->view()->isVisible());
    QCOMPARE(combo->currentText(), QStringLiteral("Right_Object"));
    QTest::keyClick(editor(), Qt::Key_Tab);
    QTRY_COMPARE(povorot(t, 1), QStringLiteral("Right_Object"));
}

// A value the field rule refuses keeps its editor on that cell with the typed text after the
// message, whichever key tried to leave; it is corrected there, or Escape gives it up.
void TestMdiChild::refusedValueStaysInItsEditor()
{
    ModalAnswerer answers;
    TMDIChild* child = openWithRows(3);
    TraverseTable& t = child->Table1();
    QTableView* grid = child->DBGrid1();
    const QModelIndex altimeter = child->model()->index(1, 2);
    grid->setCurrentIndex(altimeter);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("3000.5"));

    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Down}) {
        const auto shown = answers.texts.size();
        QTest::keyClick(editor(), key);
        QTRY_COMPARE(answers.texts.size(), shown + 1);
        QVERIFY(answers.texts.last().contains(QStringLiteral("'Altimeter'")));
        idle();
        QCOMPARE(grid->currentIndex(), altimeter);
        QVERIFY2(static_cast<GridView*>(grid)->isEditing(), "the editor closed");
        m_shell.form->activateWindow();  // the window manager's part after a message closes
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        auto* line = qobject_cast<QLineEdit*>(editor());
        QCOMPARE(line->text(), QStringLiteral("3000.5"));
        QCOMPARE(t.displayRowCount(), 3);
    }
    // A click on another cell does not leave it either.
    const QRect other = grid->visualRect(child->model()->index(2, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, other.center());
    QTRY_COMPARE(answers.texts.size(), 4);
    idle();
    QCOMPARE(grid->currentIndex(), altimeter);
    QVERIFY(static_cast<GridView*>(grid)->isEditing());

    // Corrected in place, the value is stored and Tab moves on.
    m_shell.form->activateWindow();
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    qobject_cast<QLineEdit*>(editor())->selectAll();
    QTest::keyClicks(editor(), QStringLiteral("2999.5"));
    QTest::keyClick(editor(), Qt::Key_Tab);
    QTRY_COMPARE(grid->currentIndex(), child->model()->index(1, 4));
    QCOMPARE(t.valueAt(1, t.fieldIndex("Altimeter")), zelt::document::Value(2999.5));
    QCOMPARE(answers.texts.size(), 4);

    // Escape after a refusal gives the typed text up.
    grid->setCurrentIndex(child->model()->index(2, 2));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("-7"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(answers.texts.size(), 5);
    m_shell.form->activateWindow();
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Escape);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QCOMPARE(qobject_cast<QLineEdit*>(editor())->text(), QString());
    QVERIFY(t.valueAt(2, t.fieldIndex("Altimeter")) == zelt::document::Value());
    QCOMPARE(t.state(), TraverseTable::State::Browse);
}

// A table another program holds opens read-only: the reason is shown once, the caption is
// marked, typing says why in the status bar, and closing writes nothing beside it.
void TestMdiChild::readOnlyTableSaysWhy()
{
    const QString path = m_shell.dir->filePath(QStringLiteral("held.db"));
    {
        zelt::document::TraverseTable t;
        t.setPath(path.toStdString());
        t.create();
        t.open();
        t.append();
        t.setInteger("Azimuth", 90);
        t.setFloat("Pairs", 12);
        t.post();
    }
    auto holder = zelt::document::ParadoxTable::open(path.toStdString());
    QVERIFY(!holder->isReadOnly());

    TMDIChild* child = nullptr;
    {
        ModalAnswerer answers;
        m_shell.form->OpenDocument(path);
        child = m_shell.form->activeDocument();
        QCOMPARE(answers.texts.size(), 1);
        QVERIFY2(answers.texts[0].contains(QStringLiteral("in use by another program")), qPrintable(answers.texts[0]));
        QCOMPARE(answers.titles[0], QStringLiteral("Zelt 4 For Cartography"));
    }
    QCOMPARE(child->windowTitle(), path + QStringLiteral(" [read-only]"));
    QCOMPARE(child->pathCaption(), path);
    TraverseTable& t = child->Table1();
    QCOMPARE(t.rowCount(), 1);  // no start row was added

    child->DBGrid1()->setFocus();
    child->DBGrid1()->setCurrentIndex(child->model()->index(0, 1));
    idle();
    QVERIFY(!qobject_cast<QLineEdit*>(editor()));
    ModalAnswerer none;
    QTest::keyClicks(child->DBGrid1(), QStringLiteral("5"));
    QVERIFY2(m_shell.form->statusPanel(0)->text().startsWith(QStringLiteral("Cannot modify a read-only table: ")),
             qPrintable(m_shell.form->statusPanel(0)->text()));
    m_shell.form->statusPanel(0)->setText(QString());
    QTest::keyClick(child->DBGrid1(), Qt::Key_Insert);
    QVERIFY(!m_shell.form->statusPanel(0)->text().isEmpty());
    QCOMPARE(t.displayRowCount(), 1);
    QVERIFY(none.texts.isEmpty());

    // Opening the same path again changes nothing and asks nothing.
    m_shell.form->OpenDocument(path);
    QCOMPARE(m_shell.form->documentCount(), 1);

    m_shell.form->FileClose1Execute();
    idle();
    QCOMPARE(m_shell.form->documentCount(), 0);
    QVERIFY(none.texts.isEmpty());
    QVERIFY(!QFile::exists(m_shell.dir->filePath(QStringLiteral("held.ing"))));
    QVERIFY(!QFile::exists(m_shell.dir->filePath(QStringLiteral("held.inf"))));
}

// The built-in column set is one: the desktop saves it byte for byte as zelt-cli does, and a
// layout font that is not installed is drawn in an installed family at its own pixel size.
void TestMdiChild::builtInLayoutIsTheSameInBothPrograms()
{
    TMDIChild* child = openWithRows(1);
    const QString desktop = m_shell.dir->filePath(QStringLiteral("desktop.ing"));
    const QString standard = m_shell.dir->filePath(QStringLiteral("standard.ing"));
    const auto set = zelt::document::ColumnSet::builtIn();
    zelt::interchange::saveGridLayout(set, desktop.toStdString(), child->columnDefaults());
    zelt::interchange::saveGridLayout(set, standard.toStdString(), zelt::interchange::ColumnDefaults::standard());
    QFile a(desktop), b(standard);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray saved = a.readAll();
    QCOMPARE(saved, b.readAll());
    QVERIFY(saved.contains("MS Sans Serif"));

    const QFont azimuth = child->model()->index(0, 0).data(Qt::FontRole).value<QFont>();
    QVERIFY2(QFontDatabase::hasFamily(azimuth.family()), qPrintable(azimuth.family()));
    QCOMPARE(QFontInfo(azimuth).pixelSize(), 11);
    QCOMPARE(installedFamily(QStringLiteral("MS Sans Serif")),
             QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family());
    // The column keeps the name it was given.
    QCOMPARE(*child->document().columns.columns[0].font.name, std::string("MS Sans Serif"));
}

QTEST_MAIN(TestMdiChild)
#include "test_mdi_child.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the window's notes and warnings: one goes to the status bar, several open the list.
#include "document/known_points.h"
#include "shell/commands/diagnostics_dialog.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/status_panel.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

using namespace zelt::shell;
using zelt::test::ShellRow;

class TestDiagnostics : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void severalNotesOpenTheList();
    void oneNoteGoesToTheStatusBar();
    void listOutlivesItsDocument();
    void openReportsDamagedKnownPoints();

private:
    TMDIChild* open(const QString& name, const std::vector<ShellRow>& rows);
    QString status() const { return m_shell.form->statusPanel(0)->text(); }
    QTreeWidget* list() const
    {
        DiagnosticsDialog* d = m_shell.form->diagnosticsDialog();
        return d && d->isVisible() ? d->list() : nullptr;
    }
    static void doubleClick(QTreeWidget* list, int entry)
    {
        QTreeWidgetItem* item = list->topLevelItem(entry);
        QVERIFY(item);
        const QPoint at = list->visualItemRect(item).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

void TestDiagnostics::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
}

void TestDiagnostics::init()
{
    QVERIFY(m_shell.show());
}

void TestDiagnostics::cleanup()
{
    m_shell.close();
}

TMDIChild* TestDiagnostics::open(const QString& name, const std::vector<ShellRow>& rows)
{
    const QString path = m_shell.dir->filePath(name);
    zelt::test::writeTraverse(path, rows);
    m_shell.form->OpenDocument(path);
    m_shell.form->updateEnabling();  // as the next idle moment would
    return m_shell.form->activeDocument();
}

// Fill Height on a traverse open at both ends leaves two notes: the non-modal list shows both
// with row, field and text; double-clicking one makes its row current in the grid, in the
// column of its field; Copy gives one line per note.
void TestDiagnostics::severalNotesOpenTheList()
{
    TMDIChild* child = open(QStringLiteral("open.db"), {{10}, {30}, {40, 500.0}, {10}, {5}});
    QVERIFY(child);
    child->Table1().setRecNo(2);
    m_shell.form->showStatus(QStringLiteral("before"));
    m_shell.form->actions().FillHeight1->trigger();

    QTreeWidget* entries = list();
    QVERIFY(entries);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(m_shell.form->diagnosticsDialog()->windowTitle(), QStringLiteral("Fill Height"));
    QCOMPARE(status(), QStringLiteral("before"));
    QCOMPARE(entries->topLevelItemCount(), 2);
    const QTreeWidgetItem* last = entries->topLevelItem(1);
    QCOMPARE(last->text(0), QStringLiteral("4"));
    QCOMPARE(last->text(1), QStringLiteral("FillHeight"));
    QCOMPARE(last->text(2), QStringLiteral("rows 4 to 5 after the last reading take the last reading"));
    QCOMPARE(child->Table1().recNo(), 2);  // the pass returned to the row it started on

    doubleClick(entries, 1);
    QCOMPARE(child->Table1().recNo(), 4);
    const QModelIndex current = child->DBGrid1()->currentIndex();
    QCOMPARE(current.row(), 3);
    QCOMPARE(child->selectedFieldName(), QStringLiteral("FillHeight"));
    doubleClick(entries, 0);
    QCOMPARE(child->Table1().recNo(), 1);

    m_shell.form->diagnosticsDialog()->copyButton()->click();
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("note: Row 1, FillHeight: rows 1 to 2 before the first reading are filled from the start height\n"
                            "note: Row 4, FillHeight: rows 4 to 5 after the last reading take the last reading"));

    // The next command's diagnostics replace the entries; a single one goes to the status bar.
    m_shell.form->showDiagnostics({zelt::document::Diagnostic::warning("one", 0, {}),
                                   zelt::document::Diagnostic::warning("two", 9, {})},
                                  QStringLiteral("Export"), child);
    QCOMPARE(entries->topLevelItemCount(), 2);
    QCOMPARE(entries->topLevelItem(0)->text(2), QStringLiteral("one"));
    doubleClick(entries, 0);   // no row: nothing moves
    QCOMPARE(child->Table1().recNo(), 1);
    doubleClick(entries, 1);   // beyond the table's five rows: nothing moves
    QCOMPARE(child->Table1().recNo(), 1);
}

// A single note is the status bar's line and opens no list; a closed traverse leaves none and
// the status bar as it was.
void TestDiagnostics::oneNoteGoesToTheStatusBar()
{
    TMDIChild* child = open(QStringLiteral("one.db"), {{0, 400.0}, {10, 410.0}, {10}});
    QVERIFY(child);
    m_shell.form->actions().FillHeight1->trigger();
    const QString line = QStringLiteral("Row 3, FillHeight: row 3 after the last reading take the last reading");
    QCOMPARE(status(), line);
    QVERIFY(!list());
    // Pointing at a command shows its hint there; leaving it brings the note back.
    QStatusTipEvent hint(m_shell.form->actions().tbFillH->statusTip());
    QApplication::sendEvent(m_shell.form.get(), &hint);
    QCOMPARE(status(), QStringLiteral("Fill Height"));
    QStatusTipEvent hintEnds{QString()};
    QApplication::sendEvent(m_shell.form.get(), &hintEnds);
    QCOMPARE(status(), line);

    TMDIChild* closed = open(QStringLiteral("closed.db"), {{0, 400.0}, {10}, {10, 420.0}});
    QVERIFY(closed && closed != child);
    m_shell.form->showStatus(QStringLiteral("unchanged"));
    m_shell.form->actions().FillHeight1->trigger();
    QCOMPARE(status(), QStringLiteral("unchanged"));
    QVERIFY(!list());
}

// Entries of a document that has been closed since stay readable and go nowhere.
void TestDiagnostics::listOutlivesItsDocument()
{
    TMDIChild* child = open(QStringLiteral("gone.db"), {{10}, {30}, {40, 500.0}, {10}, {5}});
    QVERIFY(child);
    m_shell.form->actions().FillHeight1->trigger();
    QTreeWidget* entries = list();
    QVERIFY(entries);
    {
        zelt::test::ModalAnswerer answer;
        m_shell.form->FileClose1Execute();
        QTRY_COMPARE(m_shell.form->documentCount(), 0);
    }
    doubleClick(entries, 1);
    QCOMPARE(entries->topLevelItemCount(), 2);
    QCOMPARE(m_shell.form->documentCount(), 0);
}

// A known points file that cannot be read is said when the table opens, not only later when
// the points are used.
void TestDiagnostics::openReportsDamagedKnownPoints()
{
    const QString path = m_shell.dir->filePath(QStringLiteral("k.db"));
    zelt::test::writeTraverse(path, {{0, 400.0}, {10}});
    const auto kpt = zelt::document::knownPointsPath(path.toStdString());
    zelt::test::writeBytes(kpt, {'b', 'a', 'd', '\n'});
    m_shell.form->OpenDocument(path);
    TMDIChild* child = m_shell.form->activeDocument();
    QVERIFY(child);
    const QString damage = QString::fromStdString(child->document().knownPoints.damage());
    QVERIFY(damage.contains(QStringLiteral("is damaged")));
    QCOMPARE(status(), damage);
    QCOMPARE(zelt::test::readBytes(kpt), (std::vector<unsigned char>{'b', 'a', 'd', '\n'}));
}

QTEST_MAIN(TestDiagnostics)
#include "test_diagnostics.moc"

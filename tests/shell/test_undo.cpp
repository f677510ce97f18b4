// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of Undo and Redo, of the row being typed when a window closes, and of the desktop
// faults found while trying them: typing in cells, read-only survey values, placement, failed open.
#include "document/known_points.h"
#include "paradox/paradox_table.h"
#include "shell/commands/height_commands.h"
#include "shell/commands/height_dialogs.h"
#include "shell/commands/known_points_dialog.h"
#include "shell/grid/table_model.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/status_panel.h"
#include "shell/window/undo_commands.h"
#include "shell/settings/registry_store.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QScreen>
#include <QSettings>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QUndoStack>
#include <QScopeGuard>

#include <csignal>

#include <sys/resource.h>

using namespace zelt::shell;
using zelt::document::Row;
using zelt::document::TraverseTable;
using zelt::test::idle;
using zelt::test::ModalAnswerer;

namespace {

/// What a change can alter: the stored rows, the survey values, the start mark, the known points.
struct Snapshot {
    std::vector<Row> rows;
    zelt::document::DocumentValues values;
    bool operator==(const Snapshot&) const = default;
    bool operator!=(const Snapshot& o) const { return !(*this == o); }
};

Snapshot snapshot(TMDIChild* child)
{
    Snapshot s;
    const TraverseTable& t = child->Table1();
    for (int i = 0; i < t.rowCount(); ++i)
        s.rows.push_back(t.storedRow(i));
    s.values = zelt::document::DocumentValues::of(child->document());
    return s;
}

std::vector<Row> rowsOnDisk(TMDIChild* child)
{
    zelt::document::ParadoxOpenOptions options;
    options.readOnly = true;
    return zelt::document::ParadoxTable::open(child->Table1().path(), options)->readAll();
}

/// The pairs per 100 m and the start height the table's .inf holds now.
std::pair<double, double> surveyValuesOnDisk(TMDIChild* child)
{
    double pairs = 0, start = 0;
    zelt::document::readInf(zelt::document::companionPath(child->Table1().path(), ".inf"), pairs, start);
    return {pairs, start};
}

/// Presses the message box button whose text is `text` (a button of our own, not a standard one)
/// and OK in any other message.
class ButtonPresser : public QObject {
public:
    explicit ButtonPresser(const QString& text) : m_text(text)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton* b : box->buttons())
                if (b->text() == m_text) {
                    texts << box->text();
                    b->click();
                    return;
                }
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
        });
        m_timer.start(10);
    }
    QStringList texts;

private:
    QString m_text;
    QTimer m_timer;
};

enum class Kind { TypedEdit, NewRow, GridDelete, NavigatorDelete, Paste, FillHeight, PercentHeights, BeginWay,
                  SurveyValues, KnownPoints, StartMark };
enum class Leave { Close, Exit, Switch };

}  // namespace

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Leave)

class TestUndo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void undoAndRedoEachKindOfChange_data();
    void undoAndRedoEachKindOfChange();
    void ctrlZTakesBackTypingFirst();
    void pendingRowIsStoredOrAskedAbout_data();
    void pendingRowIsStoredOrAskedAbout();
    void altLettersAreMnemonicsNotText();
    void refusedTextIsReplacedByWhatFollows();
    void surveyValuesOfReadOnlyTableStayAsTheyWere();
    void storedPlacementIsKeptOnScreen();
    void failedOpenLeavesNoWindow();
    void typingRowsWarnsNothing();
    void insertTypeEnterUndoWarnsNothing();
    void escapeOnAppendedRowWarnsNothing();
    void typingAfterUndoLandsInTheNewRow();
    void rowWhoseWriteFailedIsAskedAboutOnClose();

private:
    TMDIChild* open(const QString& name = QStringLiteral("t.db"));
    TMDIChild* openRows(const QString& name, const std::vector<zelt::test::ShellRow>& rows);
    void change(Kind kind, TMDIChild* child);
    QWidget* editor() const { return QApplication::focusWidget(); }
    void typeInto(TMDIChild* child, int row, int column, const QString& text);
    HeightCommands* heights() const { return m_shell.form->findChild<HeightCommands*>(); }
    const MainActions& actions() const { return m_shell.form->actions(); }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

void TestUndo::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
}

void TestUndo::init()
{
    QVERIFY(m_shell.show(QSize(900, 600)));
}

void TestUndo::cleanup()
{
    m_shell.close();
}

/// A document of four rows: pairs 10, 20, 30 and 40; readings on the first and the last.
TMDIChild* TestUndo::open(const QString& name)
{
    return openRows(name, {{10, 420.0}, {20}, {30}, {40, 440.0}});
}

TMDIChild* TestUndo::openRows(const QString& name, const std::vector<zelt::test::ShellRow>& rows)
{
    const QString path = m_shell.dir->filePath(name);
    zelt::test::writeTraverse(path, rows);
    m_shell.form->OpenDocument(path);
    TMDIChild* child = m_shell.form->activeDocument();
    child->DBGrid1()->setFocus();
    idle();
    return child;
}

void TestUndo::typeInto(TMDIChild* child, int row, int column, const QString& text)
{
    child->DBGrid1()->setCurrentIndex(child->model()->index(row, column));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), text);
}

void TestUndo::change(Kind kind, TMDIChild* child)
{
    TraverseTable& t = child->Table1();
    switch (kind) {
    case Kind::TypedEdit:
        typeInto(child, 1, 2, QStringLiteral("455"));
        child->DBGrid1()->setCurrentIndex(child->model()->index(2, 2));  // leaving the row stores it
        break;
    case Kind::NewRow:
        child->DBGrid1()->setCurrentIndex(child->model()->index(3, 0));
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        QTest::keyClick(editor(), Qt::Key_Return);
        QTRY_COMPARE(t.displayRowCount(), 5);
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        QTest::keyClicks(editor(), QStringLiteral("45"));
        QTest::keyClick(editor(), Qt::Key_Tab);
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        QTest::keyClicks(editor(), QStringLiteral("10"));
        QTest::keyClick(editor(), Qt::Key_Tab);
        QTRY_COMPARE(t.rowCount(), 5);
        break;
    case Kind::GridDelete: {
        ModalAnswerer yes(QMessageBox::Ok);
        child->DBGrid1()->setCurrentIndex(child->model()->index(1, 0));
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        QTest::keyClick(editor(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(t.rowCount(), 3);
        break;
    }
    case Kind::NavigatorDelete: {
        ModalAnswerer yes(QMessageBox::Ok);
        t.setRecNo(2);
        child->navigatorButton(5)->trigger();
        QCOMPARE(t.rowCount(), 3);
        break;
    }
    case Kind::Paste:
        t.setRecNo(3);
        child->selectField(QStringLiteral("Altimeter"));
        QGuiApplication::clipboard()->setText(QStringLiteral("431\n432\n433\n"));
        actions().PasteFromExcel1->trigger();
        QCOMPARE(t.rowCount(), 5);
        break;
    case Kind::FillHeight:
        actions().FillHeight1->trigger();
        break;
    case Kind::PercentHeights:
        actions().PercentCalc1->trigger();
        break;
    case Kind::BeginWay:
        heights()->dialog3()->SpinEdit1()->setValue(15);
        heights()->dialog3()->Button1Click();
        break;
    case Kind::SurveyValues:
        heights()->Dialog1()->StartHeightEdit()->setValue(500);
        heights()->Dialog1()->PairsEdit()->setValue(70);
        heights()->Dialog1()->OKBtnClick();
        break;
    case Kind::KnownPoints: {
        auto* dialog = m_shell.form->findChild<KnownPointsDialog*>();
        dialog->showForActive();
        QVERIFY(dialog->setPoint(3, 100, 200));
        dialog->close();
        break;
    }
    case Kind::StartMark:
        t.setRecNo(2);
        heights()->OKF9Dlg()->showMode(TOKF9Dlg::kModeStart);
        heights()->OKF9Dlg()->SpinEdit1()->setValue(425);
        heights()->OKF9Dlg()->OKBtnClick();
        break;
    }
}

void TestUndo::undoAndRedoEachKindOfChange_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("name");
    QTest::newRow("typed value") << Kind::TypedEdit << QStringLiteral("Edit Row 2");
    QTest::newRow("new row, typed") << Kind::NewRow << QStringLiteral("New Row 5");
    QTest::newRow("Ctrl+Delete with a known point") << Kind::GridDelete << QStringLiteral("Delete Row 2");
    QTest::newRow("navigator delete") << Kind::NavigatorDelete << QStringLiteral("Delete Row 2");
    QTest::newRow("paste past the end") << Kind::Paste << QStringLiteral("Paste");
    QTest::newRow("fill height") << Kind::FillHeight << QStringLiteral("Fill Height");
    QTest::newRow("percent heights") << Kind::PercentHeights << QStringLiteral("% calc height");
    QTest::newRow("begin way") << Kind::BeginWay << QStringLiteral("Begin Way Height");
    QTest::newRow("survey values") << Kind::SurveyValues << QStringLiteral("Survey Values");
    QTest::newRow("known points") << Kind::KnownPoints << QStringLiteral("Known Points");
    QTest::newRow("start of the recalculation") << Kind::StartMark << QStringLiteral("Set Start Height");
}

// Each kind of change is named in the Edit menu; Undo writes the earlier values back to the file
// (rows, survey values, marks, known points) and Redo brings the change back.
void TestUndo::undoAndRedoEachKindOfChange()
{
    QFETCH(Kind, kind);
    QFETCH(QString, name);
    TMDIChild* child = open();
    zelt::document::KnownPoints points;
    points.set(2, 10, 20);
    points.set(4, 30, 40);
    child->document().knownPoints.replace(points);
    child->history()->forget();
    const Snapshot before = snapshot(child);

    change(kind, child);
    idle();
    const Snapshot after = snapshot(child);
    QVERIFY(!(after == before));
    m_shell.form->updateEnabling();
    QCOMPARE(actions().EditUndo1->text(), QStringLiteral("&Undo ") + name);
    QCOMPARE(child->history()->stack()->count(), 1);

    actions().EditUndo1->trigger();
    QVERIFY(snapshot(child) == before);
    QVERIFY(rowsOnDisk(child) == before.rows);
    QVERIFY(zelt::document::readKnownPoints(child->Table1().path()).value_or(zelt::document::KnownPoints{})
            == before.values.knownPoints);
    QVERIFY(surveyValuesOnDisk(child) == std::make_pair(before.values.pairsPer100m, before.values.startHeight));
    m_shell.form->updateEnabling();
    QCOMPARE(actions().EditRedo1->text(), QStringLiteral("&Redo ") + name);

    actions().EditRedo1->trigger();
    QVERIFY(snapshot(child) == after);
    QVERIFY(rowsOnDisk(child) == after.rows);
    QVERIFY(surveyValuesOnDisk(child) == std::make_pair(after.values.pairsPer100m, after.values.startHeight));
    QVERIFY(!QFile::exists(QString::fromStdString(child->Table1().path().string()) + QStringLiteral("-journal")));
}

// In a cell editor holding typed text, Ctrl+Z takes back the typing; the next one the last step.
void TestUndo::ctrlZTakesBackTypingFirst()
{
    TMDIChild* child = open();
    TraverseTable& t = child->Table1();
    change(Kind::TypedEdit, child);
    typeInto(child, 0, 0, QStringLiteral("77"));
    QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(qobject_cast<QLineEdit*>(editor())->text(), QStringLiteral("0"));
    QCOMPARE(t.valueAt(1, t.fieldIndex("Altimeter")), zelt::document::Value(455.0));
    m_shell.form->updateEnabling();   // as the moment after the key would
    QCOMPARE(actions().EditUndo1->text(), QStringLiteral("&Undo Edit Row 2"));

    QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
    QTRY_VERIFY(zelt::document::isEmpty(t.valueAt(1, t.fieldIndex("Altimeter"))));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Y, Qt::ControlModifier);
    QTRY_COMPARE(t.valueAt(1, t.fieldIndex("Altimeter")), zelt::document::Value(455.0));
}

void TestUndo::pendingRowIsStoredOrAskedAbout_data()
{
    QTest::addColumn<Leave>("leave");
    QTest::addColumn<QString>("altimeter");   // typed into the new row, not yet committed
    QTest::addColumn<QString>("answer");      // pressed in the question; empty: none expected
    QTest::addColumn<int>("storedRows");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("close stores the row") << Leave::Close << QStringLiteral("450") << QString() << 5 << false;
    QTest::newRow("exit stores the row") << Leave::Exit << QStringLiteral("450") << QString() << 5 << false;
    QTest::newRow("another window stores it") << Leave::Switch << QStringLiteral("450") << QString() << 5 << true;
    QTest::newRow("refused, corrected") << Leave::Close << QStringLiteral("5000") << QStringLiteral("&Correct") << 4
                                        << true;
    QTest::newRow("refused, discarded") << Leave::Exit << QStringLiteral("5000") << QStringLiteral("&Discard") << 4
                                        << false;
    QTest::newRow("refused on switching") << Leave::Switch << QStringLiteral("5000") << QStringLiteral("&Correct")
                                          << 4 << true;
}

// A row being typed (Enter, 45 Tab, a reading) is stored on Close, Exit and a window switch as
// leaving the row would store it; a refused value asks whether to correct or discard it.
void TestUndo::pendingRowIsStoredOrAskedAbout()
{
    QFETCH(Leave, leave);
    QFETCH(QString, altimeter);
    QFETCH(QString, answer);
    QFETCH(int, storedRows);
    QFETCH(bool, stillOpen);
    TMDIChild* other = leave == Leave::Switch ? open(QStringLiteral("other.db")) : nullptr;
    TMDIChild* child = open();
    const QString path = QString::fromStdString(child->Table1().path().string());
    child->DBGrid1()->setCurrentIndex(child->model()->index(3, 0));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("45"));
    QTest::keyClick(editor(), Qt::Key_Tab);
    QTest::keyClick(editor(), Qt::Key_Tab);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), altimeter);   // Altimeter, left uncommitted

    ButtonPresser presser(answer.isEmpty() ? QStringLiteral("none") : answer);
    if (leave == Leave::Close)
        m_shell.form->FileClose1Execute();
    else if (leave == Leave::Exit)
        m_shell.form->close();
    else
        m_shell.form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(other->parentWidget()));
    idle(100);
    QCOMPARE(presser.texts.size(), answer.isEmpty() ? 0 : 1);
    if (!answer.isEmpty())
        QVERIFY2(presser.texts[0].contains(QStringLiteral("Altimeter")), qPrintable(presser.texts[0]));
    QCOMPARE(m_shell.form->documents().contains(child), stillOpen);
    if (stillOpen && !answer.isEmpty()) {
        QCOMPARE(m_shell.form->activeDocument(), child);
        QTRY_COMPARE(qobject_cast<QLineEdit*>(editor())->text(), altimeter);
    }
    zelt::document::ParadoxOpenOptions options;
    options.readOnly = true;
    const auto rows = zelt::document::ParadoxTable::open(path.toStdString(), options)->readAll();
    QCOMPARE(int(rows.size()), storedRows);
}

// Alt with a letter opens a menu (every menu has a mnemonic) and never types into the cell.
void TestUndo::altLettersAreMnemonicsNotText()
{
    for (QAction* menu : m_shell.form->menuBar()->actions())
        QVERIFY2(menu->text().contains(u'&'), qPrintable(menu->text()));
    TMDIChild* child = open();
    typeInto(child, 1, 5, QString());   // Mark
    QTest::keyClick(editor(), Qt::Key_Q, Qt::AltModifier);
    QTest::keyClick(child->DBGrid1(), Qt::Key_Q, Qt::AltModifier);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QCOMPARE(qobject_cast<QLineEdit*>(editor())->text(), QString());
}

// After a refused value the typed text stays selected, so that what is typed next replaces it.
void TestUndo::refusedTextIsReplacedByWhatFollows()
{
    ModalAnswerer answers;
    TMDIChild* child = open();
    typeInto(child, 1, 2, QStringLiteral("4310"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(answers.texts.size(), 1);
    m_shell.form->activateWindow();
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("431"));
    QCOMPARE(qobject_cast<QLineEdit*>(editor())->text(), QStringLiteral("431"));
}

// Survey values refused on a read-only table leave the document and the status panel unchanged.
void TestUndo::surveyValuesOfReadOnlyTableStayAsTheyWere()
{
    const QString path = m_shell.dir->filePath(QStringLiteral("held.db"));
    zelt::test::writeTraverse(path, {{10, 420.0}, {20}});
    auto holder = zelt::document::ParadoxTable::open(path.toStdString());
    ModalAnswerer answers;
    m_shell.form->OpenDocument(path);
    TMDIChild* child = m_shell.form->activeDocument();
    QVERIFY(child->Table1().isReadOnly());
    m_shell.form->updateEnabling();
    const QString panel = m_shell.form->statusPanel(2)->text();
    heights()->Dialog1()->StartHeightEdit()->setValue(500);
    heights()->Dialog1()->OKBtnClick();
    QTRY_COMPARE(answers.texts.size(), 2);   // read-only at open, then the refusal
    QVERIFY2(answers.texts[1].startsWith(QStringLiteral("Cannot modify a read-only table")), qPrintable(answers.texts[1]));
    QCOMPARE(child->document().startHeight, 420.0);
    m_shell.form->updateEnabling();
    QCOMPARE(m_shell.form->statusPanel(2)->text(), panel);
    heights()->Dialog1()->close();
}

// A place stored on a larger screen brings the window back wholly onto this one.
void TestUndo::storedPlacementIsKeptOnScreen()
{
    {
        auto store = zelt::shell::RegistryStore::open();
        store->beginGroup(QStringLiteral("Software/Zelt"));
        store->setValue(QStringLiteral("Align"), QStringLiteral("wsNormal"));
        store->setValue(QStringLiteral("Left"), 3000);
        store->setValue(QStringLiteral("Top"), -500);
        store->setValue(QStringLiteral("Width"), 5000);
        store->setValue(QStringLiteral("Height"), 300);
    }
    ModalAnswerer none;
    TMainForm form;
    const QRect area = form.screen()->availableGeometry();
    QVERIFY2(area.contains(QRect(form.pos(), form.size())),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(form.x()).arg(form.y()).arg(form.width()).arg(form.height())));
    QCOMPARE(form.height(), 300);
    QVERIFY(none.texts.isEmpty());
}

// A file that is no table leaves its error and no empty window titled with its name.
void TestUndo::failedOpenLeavesNoWindow()
{
    const QString path = m_shell.dir->filePath(QStringLiteral("garbage.db"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    ModalAnswerer answers;
    m_shell.form->OpenDocument(path);
    idle();
    QCOMPARE(answers.texts.size(), 1);
    QCOMPARE(m_shell.form->documentCount(), 0);
    QVERIFY(m_shell.form->mdiArea()->subWindowList().isEmpty());
}

namespace {
QStringList g_editorWarnings;
void collectEditorWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && (text.contains(QLatin1String("editor")) || text.contains(QLatin1String("editing"))))
        g_editorWarnings << text;
}
}  // namespace

// Typing rows with Enter and Tab, taking them back and bringing them back, and a pass that
// reads the grid again leave no complaint of the view about editors it does not know.
void TestUndo::typingRowsWarnsNothing()
{
    TMDIChild* child = open();
    g_editorWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectEditorWarnings);
    const auto typeRow = [this](const QString& azimuth, const QString& pairs) {
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        QTest::keyClick(editor(), Qt::Key_Return);
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        QTest::keyClicks(editor(), azimuth);
        QTest::keyClick(editor(), Qt::Key_Tab);
        QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
        QTest::keyClicks(editor(), pairs);
        QTest::keyClick(editor(), Qt::Key_Tab);
    };
    child->DBGrid1()->setCurrentIndex(child->model()->index(3, 0));
    typeRow(QStringLiteral("45"), QStringLiteral("10"));
    idle();
    actions().EditUndo1->trigger();
    actions().EditRedo1->trigger();
    typeRow(QStringLiteral("50"), QStringLiteral("20"));
    idle();
    actions().EditUndo1->trigger();
    typeRow(QStringLiteral("55"), QStringLiteral("30"));
    actions().FillHeight1->trigger();
    idle();
    qInstallMessageHandler(previous);
    QVERIFY2(g_editorWarnings.isEmpty(), qPrintable(g_editorWarnings.join(u'\n')));
    QCOMPARE(child->Table1().rowCount(), 6);
}

// Insert, typing, Enter and Ctrl+Z: the grid reads its rows again with no editor left over
// (the test fails on any Qt warning).
void TestUndo::insertTypeEnterUndoWarnsNothing()
{
    TMDIChild* child = open();
    child->DBGrid1()->setCurrentIndex(child->model()->index(1, 0));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Insert);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("45"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(child->Table1().rowCount(), 5);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    idle();
    QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
    idle(100);
    QCOMPARE(child->Table1().rowCount(), 4);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("7"));
    idle();
}

// Enter on the last row opens a new one; Escape gives it up without a word on stderr.
void TestUndo::escapeOnAppendedRowWarnsNothing()
{
    TMDIChild* child = open();
    child->DBGrid1()->setCurrentIndex(child->model()->index(3, 0));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(child->Table1().displayRowCount(), 5);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Escape);
    idle(100);
    QTRY_COMPARE(child->Table1().displayRowCount(), 4);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Down);
    idle();
    QCOMPARE(child->Table1().rowCount(), 4);
}

// Deleting a row and taking it back, a typed change undone, redone and undone again, and then a
// new leg typed after the last row: the leg is a new row, and no stored row takes its values.
void TestUndo::typingAfterUndoLandsInTheNewRow()
{
    TMDIChild* child = openRows(QStringLiteral("six.db"), {{10, 420.0}, {20}, {30}, {40}, {50}, {60, 440.0}});
    TraverseTable& t = child->Table1();
    const Snapshot before = snapshot(child);
    const int azimuth = t.fieldIndex("Azimuth");
    const int pairs = t.fieldIndex("Pairs");
    // Keys go where the focus is, with a moment between them as a user leaves.
    const auto key = [this](Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        if (!target)
            target = m_shell.form.get();   // a key with nothing focused goes to the window
        QTest::keyClick(target, k, mods);
        idle(40);
    };
    child->DBGrid1()->setCurrentIndex(child->model()->index(2, 0));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    {
        ModalAnswerer ok(QMessageBox::Ok);
        key(Qt::Key_Delete, Qt::ControlModifier);
    }
    QCOMPARE(t.rowCount(), 5);
    // The window manager gives the main window back its turn when the question closes.
    m_shell.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_shell.form.get()));
    key(Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(t.rowCount(), 6);
    child->selectField(QStringLiteral("Pairs"));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    qobject_cast<QLineEdit*>(editor())->selectAll();
    QTest::keyClicks(editor(), QStringLiteral("33"));
    key(Qt::Key_Down);
    QVERIFY(snapshot(child) != before);
    key(Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(snapshot(child) == before);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(snapshot(child) != before);
    key(Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(snapshot(child) == before);

    key(Qt::Key_End, Qt::ControlModifier);
    key(Qt::Key_Down);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("45"));
    key(Qt::Key_Tab);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("10"));
    const QString path = QString::fromStdString(t.path().string());
    m_shell.form->close();
    idle();

    zelt::document::ParadoxOpenOptions options;
    options.readOnly = true;
    const auto rows = zelt::document::ParadoxTable::open(path.toStdString(), options)->readAll();
    QCOMPARE(int(rows.size()), 7);
    for (int i = 0; i < 6; ++i)
        QVERIFY2(rows[std::size_t(i)] == before.rows[std::size_t(i)], qPrintable(QString::number(i + 1)));
    QCOMPARE(rows[6][std::size_t(azimuth)], zelt::document::Value(std::int32_t(45)));
    QVERIFY(pairs >= 0);
}

// A new row whose write fails (the file may not grow: as on a full disk) stays in view; closing
// asks about it (Keep leaves the window open with the row, Discard closes knowingly) instead of
// dropping it unseen.
void TestUndo::rowWhoseWriteFailedIsAskedAboutOnClose()
{
    TMDIChild* child = open();
    TraverseTable& t = child->Table1();
    child->DBGrid1()->setCurrentIndex(child->model()->index(3, 0));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(t.displayRowCount(), 5);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(editor()));
    QTest::keyClicks(editor(), QStringLiteral("45"));
    {
        ModalAnswerer ok;
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, SIG_DFL);
        });
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = old;
        none.rlim_cur = 0;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &none) == 0);
        QTest::keyClick(editor(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!ok.texts.isEmpty());
    }
    QVERIFY(t.isReadOnly());
    QVERIFY(t.state() != TraverseTable::State::Browse);
    const QString path = QString::fromStdString(t.path().string());

    {
        ButtonPresser keep(QStringLiteral("&Keep"));
        m_shell.form->close();
        idle(100);
        QCOMPARE(keep.texts.size(), 1);
        QVERIFY2(keep.texts[0].contains(QStringLiteral("Row 5")), qPrintable(keep.texts[0]));
    }
    QVERIFY(m_shell.form->documents().contains(child));
    QCOMPARE(t.displayRowCount(), 5);
    {
        ButtonPresser discard(QStringLiteral("&Discard"));
        m_shell.form->FileClose1Execute();
        idle(100);
        QCOMPARE(discard.texts.size(), 1);
    }
    QVERIFY(!m_shell.form->documents().contains(child));
    zelt::document::ParadoxOpenOptions options;
    options.readOnly = true;
    QCOMPARE(int(zelt::document::ParadoxTable::open(path.toStdString(), options)->readAll().size()), 4);
}

QTEST_MAIN(TestUndo)
#include "test_undo.moc"

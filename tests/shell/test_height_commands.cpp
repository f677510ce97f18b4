// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the height commands: F8/F9/F10, enabling per document, prompts and the dialogs.
#include "shell/commands/height_commands.h"
#include "shell/commands/height_dialogs.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/status_panel.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace zelt::shell;
using zelt::test::idle;
using zelt::test::ModalAnswerer;
using zelt::test::ShellRow;

namespace {

double fieldAt(TMDIChild* child, int row, const char* field)
{
    const auto& t = child->Table1();
    const auto v = t.valueAt(row, t.fieldIndex(field));
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    return -1e300;  // empty
}

}  // namespace

class TestHeightCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void f8F9F10WorkedExample();
    void endBeforeStartPrompt();
    void enablingFollowsActiveDocument();
    void recalculateWithoutSelectionShowsPlainBox();
    void okWithoutDocumentCloses();
    void surveyValuesDialog();
    void surveyValuesRefuseZeroRatio();
    void beginWayDialog();
    void fillAndPercentCommands();
    void surveyValuesDialogKeepsWhatIsTyped();
    void dialogsShowTheirWholeTitles();
    void promptsGoWhenTheirQuestionIsOver();

private:
    TMDIChild* open(const QString& name, const std::vector<ShellRow>& rows);
    HeightCommands* commands() const { return m_shell.form->findChild<HeightCommands*>(); }
    QString status() const { return m_shell.form->statusPanel(0)->text(); }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

void TestHeightCommands::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
}

void TestHeightCommands::init()
{
    QVERIFY(m_shell.show());
    QVERIFY(commands());
}

void TestHeightCommands::cleanup()
{
    m_shell.close();
}

TMDIChild* TestHeightCommands::open(const QString& name, const std::vector<ShellRow>& rows)
{
    const QString path = m_shell.dir->filePath(name);
    zelt::test::writeTraverse(path, rows);
    m_shell.form->OpenDocument(path);
    m_shell.form->updateEnabling();  // as the next idle moment would
    return m_shell.form->activeDocument();
}

// F8 on the first row with 402, F9 on the last with 436, then F10: Recalc 402, 413.33, 424.67, 436.
void TestHeightCommands::f8F9F10WorkedExample()
{
    TMDIChild* child = open(QStringLiteral("w.db"),
                            {{0, 420.0, 400.0}, {50, std::nullopt, 410.0}, {50, std::nullopt, 420.0}, {50, 455.5, 430.0}});
    QVERIFY(child);
    TOKF9Dlg* dlg = commands()->OKF9Dlg();
    child->Table1().setRecNo(1);
    QTest::keyClick(m_shell.form.get(), Qt::Key_F8);
    QTRY_VERIFY(dlg->isVisible());
    QCOMPARE(status(), QStringLiteral("Enter the Start Height for this cell"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Selecting Start Height for calculation"));
    QCOMPARE(dlg->Label1()->text(), QStringLiteral("Current Height : 420"));
    QCOMPARE(dlg->SpinEdit1()->value(), 420.0);
    dlg->SpinEdit1()->setValue(402);
    dlg->OKBtn()->click();
    QVERIFY(!dlg->isVisible());
    QCOMPARE(status(), QStringLiteral("Select End Height and after press F9 key"));

    m_shell.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_shell.form.get()));
    child->Table1().setRecNo(4);
    QTest::keyClick(m_shell.form.get(), Qt::Key_F9);
    QTRY_VERIFY(dlg->isVisible());
    QCOMPARE(status(), QStringLiteral("Enter the End Height for this cell"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Selecting End Height for calculation"));
    QCOMPARE(dlg->Label1()->text(), QStringLiteral("Current Height : 455.5"));
    dlg->SpinEdit1()->setValue(436);
    dlg->OKBtn()->click();
    QCOMPARE(status(), QStringLiteral("Press F10 key to calculation your Start and End Height"));

    m_shell.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_shell.form.get()));
    child->Table1().setRecNo(2);
    idle();
    QVERIFY(m_shell.form->actions().Recalculate1->isEnabled());
    QTest::keyClick(m_shell.form.get(), Qt::Key_F10);
    QTRY_COMPARE(fieldAt(child, 3, "Recalc"), 436.0);
    QVERIFY(qAbs(fieldAt(child, 0, "Recalc") - 402.0) < 1e-9);
    QVERIFY(qAbs(fieldAt(child, 1, "Recalc") - (413.0 + 1.0 / 3.0)) < 1e-9);
    QVERIFY(qAbs(fieldAt(child, 2, "Recalc") - (424.0 + 2.0 / 3.0)) < 1e-9);
    QCOMPARE(child->Table1().recNo(), 2);
    QVERIFY(!child->Table1().controlsDisabled());
    // The recalculation answered the prompt.
    QCOMPARE(status(), QString());
}

// Choosing the end first asks for the start.
void TestHeightCommands::endBeforeStartPrompt()
{
    TMDIChild* child = open(QStringLiteral("e.db"), {{0, 420.0}, {10}});
    child->Table1().setRecNo(2);
    commands()->chooseEnd();
    commands()->OKF9Dlg()->OKBtn()->click();
    QCOMPARE(status(), QStringLiteral("Select Start Height and after press F10 to calculation"));
    QVERIFY(child->document().calcEndSelected);
    QVERIFY(!child->document().calcStartSelected);
}

// "Re&Calculate", "Calc", "GS" and "GF" follow the flags of whichever document is active.
void TestHeightCommands::enablingFollowsActiveDocument()
{
    const MainActions& a = m_shell.form->actions();
    TMDIChild* first = open(QStringLiteral("a.db"), {{0, 420.0}, {10}, {10}});
    first->Table1().setRecNo(2);
    commands()->chooseStart();
    commands()->OKF9Dlg()->OKBtnClick();
    TMDIChild* second = open(QStringLiteral("b.db"), {{0, 420.0}, {10}, {10}});
    QCOMPARE(m_shell.form->activeDocument(), second);
    second->Table1().setRecNo(1);
    commands()->chooseStart();
    commands()->OKF9Dlg()->OKBtnClick();
    second->Table1().setRecNo(3);
    commands()->chooseEnd();
    commands()->OKF9Dlg()->OKBtnClick();
    m_shell.form->updateEnabling();
    QVERIFY(a.Recalculate1->isEnabled() && a.tbCalc->isEnabled() && a.tbGS->isEnabled() && a.tbGF->isEnabled());

    QMdiSubWindow* firstSub = nullptr;
    for (QMdiSubWindow* sub : m_shell.form->mdiArea()->subWindowList())
        if (sub->widget() == first)
            firstSub = sub;
    m_shell.form->mdiArea()->setActiveSubWindow(firstSub);
    QTRY_COMPARE(m_shell.form->activeDocument(), first);
    m_shell.form->updateEnabling();
    QVERIFY(!a.Recalculate1->isEnabled() && !a.tbCalc->isEnabled());
    QVERIFY(a.tbGS->isEnabled());
    QVERIFY(!a.tbGF->isEnabled());
    // GS goes to the start row of this document.
    first->Table1().setRecNo(3);
    a.tbGS->trigger();
    QCOMPARE(first->Table1().recNo(), 2);
}

// F10 reached without both rows (enabling not yet refreshed): a plain box with no caption.
void TestHeightCommands::recalculateWithoutSelectionShowsPlainBox()
{
    TMDIChild* child = open(QStringLiteral("n.db"), {{0, 420.0}, {10}});
    QVERIFY(child);
    ModalAnswerer answer;
    commands()->recalculate();
    QCOMPARE(answer.texts, QStringList{QStringLiteral("The Start or Finish Height is not selected")});
    QCOMPARE(answer.titles, QStringList{QString()});
    QVERIFY(!child->Table1().controlsDisabled());
}

// The dialog does not block: the last document can close while it is open; OK then only closes.
void TestHeightCommands::okWithoutDocumentCloses()
{
    open(QStringLiteral("c.db"), {{0, 420.0}});
    commands()->chooseStart();
    TOKF9Dlg* dlg = commands()->OKF9Dlg();
    QVERIFY(dlg->isVisible());
    m_shell.form->actions().FileClose1->trigger();
    QTRY_COMPARE(m_shell.form->documentCount(), 0);
    dlg->OKBtn()->click();
    QVERIFY(!dlg->isVisible());
}

// A new document shows 420 and 64; OK with 300 and 60 sets both, panel 2 reads 60/100 ; 300 m,
// and the percent pass starts from 300. Activation re-reads the other document's values.
void TestHeightCommands::surveyValuesDialog()
{
    TMDIChild* first = open(QStringLiteral("s.db"), {{0, 420.0}, {64}});
    m_shell.form->actions().Parymetry1->trigger();
    TDialog1* dlg = commands()->Dialog1();
    QVERIFY(dlg->isVisible());
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Survey Values"));
    QCOMPARE(dlg->StartHeightEdit()->value(), 420.0);
    QCOMPARE(dlg->PairsEdit()->value(), 64.0);
    dlg->StartHeightEdit()->setValue(300);
    dlg->PairsEdit()->setValue(60);
    dlg->OKBtn()->click();
    QVERIFY(!dlg->isVisible());
    QCOMPARE(first->document().startHeight, 300.0);
    QCOMPARE(first->document().pairsPer100m, 60.0);
    QCOMPARE(fieldAt(first, 0, "FillHeight"), 300.0);
    QCOMPARE(m_shell.form->statusPanel(2)->text(), QStringLiteral("60/100 ; 300 m"));

    open(QStringLiteral("t.db"), {{0, 420.0}});
    commands()->showSurveyValues();
    QCOMPARE(dlg->StartHeightEdit()->value(), 420.0);
    dlg->CancelBtn()->click();
    QCOMPARE(m_shell.form->activeDocument()->document().startHeight, 420.0);
}

// A ratio of 0 is refused with a clear message; the document keeps its values.
void TestHeightCommands::surveyValuesRefuseZeroRatio()
{
    TMDIChild* child = open(QStringLiteral("z.db"), {{0, 420.0}, {64}});
    commands()->showSurveyValues();
    TDialog1* dlg = commands()->Dialog1();
    dlg->PairsEdit()->setValue(0);
    ModalAnswerer answer;
    dlg->OKBtnClick();
    QCOMPARE(answer.texts.size(), 1);
    QVERIFY(answer.texts[0].contains(QStringLiteral("Pairs per 100 m must be between 1 and 1000")));
    QVERIFY(dlg->isVisible());
    QCOMPARE(child->document().pairsPer100m, 64.0);
    dlg->CancelBtnClick();
}

// Modal begin-way dialog: 100 shifts the readings and StartHeight; an offset that takes the
// start row's reading below 0 is refused with the field's range message and leaves StartHeight.
void TestHeightCommands::beginWayDialog()
{
    TMDIChild* child = open(QStringLiteral("b.db"), {{0, 420.0}, {10}, {10, 455.0}});
    Tdialog3* dlg = commands()->dialog3();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Select Begin Way Height"));
    QCOMPARE(dlg->SpinEdit1()->minimum(), -9999999.0);
    QCOMPARE(dlg->SpinEdit1()->maximum(), 9999999.0);
    QTimer::singleShot(0, dlg, [dlg] {
        dlg->SpinEdit1()->setValue(100);
        dlg->Button1()->click();
    });
    m_shell.form->actions().BeginWayHeight1->trigger();
    QCOMPARE(fieldAt(child, 0, "Altimeter"), 520.0);
    QCOMPARE(fieldAt(child, 2, "Altimeter"), 555.0);
    QCOMPARE(child->document().startHeight, 520.0);

    QStringList messages;
    QTimer::singleShot(0, dlg, [dlg, &messages] {
        dlg->SpinEdit1()->setValue(-600);
        QTimer::singleShot(0, [&messages] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages << box->text();
                box->accept();
            }
        });
        dlg->Button1()->click();
        QVERIFY(dlg->isVisible());  // stays open after the refusal
        dlg->Button2()->click();
    });
    m_shell.form->actions().BeginWayHeight1->trigger();
    // Refused before any reading moves, at the start row (which carries the start height) with
    // the same range message as the command line's.
    QCOMPARE(messages, QStringList{QStringLiteral(
                           "-80 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000")});
    QCOMPARE(fieldAt(child, 0, "Altimeter"), 520.0);
    QCOMPARE(child->document().startHeight, 520.0);
    QCOMPARE(dlg->SpinEdit1()->value(), -600.0);  // kept for the next opening
}

void TestHeightCommands::fillAndPercentCommands()
{
    TMDIChild* child = open(QStringLiteral("f.db"), {{0, 400.0}, {30}, {30}, {30, 430.0}});
    child->Table1().setRecNo(3);
    m_shell.form->actions().tbFillH->trigger();
    QCOMPARE(fieldAt(child, 1, "FillHeight"), 410.0);
    QCOMPARE(fieldAt(child, 2, "FillHeight"), 420.0);
    QCOMPARE(child->Table1().recNo(), 3);
    m_shell.form->actions().tbFillPercent->trigger();
    QCOMPARE(fieldAt(child, 3, "FillHeight"), 420.0);  // all slopes 0: StartHeight
    QCOMPARE(child->Table1().recNo(), 3);
}

// The survey values dialog is modal, opens with the focus in its first field (digits typed at
// once land there) and keeps what was typed when it is activated again.
void TestHeightCommands::surveyValuesDialogKeepsWhatIsTyped()
{
    open(QStringLiteral("m.db"), {{0, 420.0}, {64}});
    m_shell.form->actions().Parymetry1->trigger();
    TDialog1* dlg = commands()->Dialog1();
    QVERIFY(dlg->isVisible());
    QVERIFY(dlg->isModal());
    QTRY_VERIFY(QApplication::focusWidget() && dlg->StartHeightEdit()->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("512"));
    QCOMPARE(dlg->StartHeightEdit()->value(), 512.0);
    dlg->PairsEdit()->setValue(70);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(dlg, &activate);
    m_shell.form->actions().Parymetry1->trigger();   // shown again while open
    QCOMPARE(dlg->StartHeightEdit()->value(), 512.0);
    QCOMPARE(dlg->PairsEdit()->value(), 70.0);
    dlg->CancelBtn()->click();
    QVERIFY(!dlg->isVisible());
}

// A title bar shows the whole caption of each height dialog.
void TestHeightCommands::dialogsShowTheirWholeTitles()
{
    open(QStringLiteral("c.db"), {{0, 420.0}, {64}});
    const auto fits = [](QWidget* dialog) {
        QFont bold = dialog->font();
        bold.setBold(true);
        return dialog->width() > QFontMetrics(bold).horizontalAdvance(dialog->windowTitle());
    };
    TOKF9Dlg* f = commands()->OKF9Dlg();
    for (int mode : {TOKF9Dlg::kModeStart, TOKF9Dlg::kModeEnd}) {
        f->showMode(mode);
        QTRY_VERIFY(f->isVisible());
        QVERIFY2(fits(f), qPrintable(f->windowTitle() + u' ' + QString::number(f->width())));
        f->CancelBtn()->click();
    }
    Tdialog3* d = commands()->dialog3();
    QTimer::singleShot(0, d, [d, &fits] {
        QVERIFY2(fits(d), qPrintable(QString::number(d->width())));
        d->Button2()->click();
    });
    m_shell.form->actions().BeginWayHeight1->trigger();
}

// The F8 prompt goes when the dialog is cancelled; a notice about a document goes when the
// document changes back (Undo) or closes.
void TestHeightCommands::promptsGoWhenTheirQuestionIsOver()
{
    TMDIChild* child = open(QStringLiteral("p.db"), {{0, 420.0}, {50}, {50, 455.0}});
    TOKF9Dlg* dlg = commands()->OKF9Dlg();
    QTest::keyClick(m_shell.form.get(), Qt::Key_F8);
    QTRY_VERIFY(dlg->isVisible());
    QCOMPARE(status(), QStringLiteral("Enter the Start Height for this cell"));
    dlg->CancelBtn()->click();
    QCOMPARE(status(), QString());

    m_shell.form->showStatusFor(child, QStringLiteral("Applied 90 to row 2's Azimuth; check: nothing flagged"));
    commands()->Dialog1()->StartHeightEdit()->setValue(300);
    commands()->Dialog1()->OKBtnClick();
    QCOMPARE(status(), QString());   // the document changed since
    m_shell.form->showStatusFor(child, QStringLiteral("a notice"));
    m_shell.form->actions().EditUndo1->trigger();
    QCOMPARE(status(), QString());
    m_shell.form->showStatusFor(child, QStringLiteral("a notice"));
    ModalAnswerer answers;
    m_shell.form->FileClose1Execute();
    idle();
    QCOMPARE(m_shell.form->documentCount(), 0);
    QCOMPARE(status(), QString());
}

QTEST_MAIN(TestHeightCommands)
#include "test_height_commands.moc"

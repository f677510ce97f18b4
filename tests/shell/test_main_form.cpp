// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the main window: enabling, status bar, toolbars, file commands, shut-down.
#include "shell/commands/about_box.h"
#include "shell/commands/export_dialog.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/settings/session_entry.h"
#include "shell/window/single_instance.h"
#include "shell/window/status_panel.h"
#include "paradox/paradox_table.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QPushButton>
#include <QMap>
#include <QFileInfo>
#include <QLabel>
#include <QLocalSocket>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include <functional>
#include <memory>
#include <utility>

#include <unistd.h>

using namespace zelt::shell;
using zelt::test::idle;
using zelt::test::ModalAnswerer;

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void enablingFollowsDocuments();
    void statusPanelWidths();
    void hintsGoToTooltipAndFirstPanel();
    void toolbarCloseUnchecksViewItem();
    void openDocumentOncePerCaption();
    void newDocumentNames();
    void newTableTakesTheCodePageOfTheUsersLanguage();
    void closeWritesCompanionsBesideTable();
    void unreadableSurveyValuesAreKeptAtClose();
    void companionWriteFailureAsksToCloseAnyway();
    void saveAsAsksBeforeReplacingAndRefusesOpenTable();
    void readOnlyMediaClosesAndExits();
    void captionsAreExactlyTheProgramsTexts();
    void exitClosesBackToFront();
    void windowMenuAndTiling();
    void openCommandOverLocalSocket();
    void localSocketTakesBoundedRequestsFromItsUserOnly();
    void runningProgramIsOnePerDisplay();
    void menuMnemonicsAreUnique();
    void tableDialogsNameTheirCommandAndStartBesideTheTable();
    void exportSaysWhatItWroteWhere();
    void logOffEntry();
    void aboutBox();

private:
    std::unique_ptr<TMainForm> makeForm();
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<zelt::test::CurrentDir> m_cwd;
    QTemporaryDir m_settings;
};

void TestMainForm::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
}

void TestMainForm::init()
{
    QFile::remove(RegistryStore::registryFile());
    m_dir = std::make_unique<QTemporaryDir>();
    m_cwd = std::make_unique<zelt::test::CurrentDir>(m_dir->path());
}

void TestMainForm::cleanup()
{
    m_cwd.reset();
    m_dir.reset();
}

std::unique_ptr<TMainForm> TestMainForm::makeForm()
{
    auto form = std::make_unique<TMainForm>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("main window not exposed");
    return form;
}

// With no document only the commands that need none are usable; opening one enables the
// document commands at once, and the calculation commands wait for their marks.
void TestMainForm::enablingFollowsDocuments()
{
    ModalAnswerer answers;
    auto form = makeForm();
    const MainActions& a = form->actions();
    idle();
    for (QAction* on : {a.FileNew1, a.FileOpen1, a.FileExit1, a.ViewStandart1, a.ViewEdit1, a.ViewView1,
                        a.ViewHeight1, a.HelpAbout1, a.ChangeParyStartHeight1, a.AboutZelt1})
        QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
    for (QAction* off : {a.FileClose1, a.FileSave1, a.SaveAs1, a.FileSaveAs1, a.Export1, a.tbExport, a.tbExcel,
                         a.ExportTable1->menuAction(), a.Print1, a.tbPrint, a.PrintPreview1, a.tbPreview,
                         a.PasteFromExcel1, a.tbPasteInTable, a.Parymetry1, a.StartHeight1, a.BeginWayHeight1,
                         a.SetStartCalc1, a.SetEndCalc1, a.Recalculate1, a.FillHeight1, a.PercentCalc1,
                         a.Grids1->menuAction(), a.tbCols, a.tbFillH, a.tbFillPercent, a.tbSt, a.tbFin, a.tbCalc,
                         a.tbGS, a.tbGF, a.WindowCascade1, a.WindowTileHorizontal1})
        QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
    QCOMPARE(form->statusPanel(2)->text(), QString());

    form->OpenDocument(path(QStringLiteral("one.db")));
    idle();
    QCOMPARE(form->documentCount(), 1);
    for (QAction* on : {a.FileClose1, a.FileSave1, a.SaveAs1, a.FileSaveAs1, a.Export1, a.tbCols,
                        a.Grids1->menuAction(), a.SetStartCalc1, a.tbFillPercent, a.PrintPreview1})
        QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
    QVERIFY(!a.Recalculate1->isEnabled());
    QVERIFY(!a.tbGS->isEnabled());
    QVERIFY(!a.tbGF->isEnabled());
    QCOMPARE(form->statusPanel(2)->text(), QStringLiteral("64/100 ; 420 m"));

    TMDIChild* first = form->activeDocument();
    first->document().calcStartSelected = true;
    idle();
    QVERIFY(a.tbGS->isEnabled());
    QVERIFY(!a.tbGF->isEnabled());
    QVERIFY(!a.Recalculate1->isEnabled());
    first->document().calcEndSelected = true;
    idle();
    QVERIFY(a.Recalculate1->isEnabled());
    QVERIFY(a.tbCalc->isEnabled());

    // A second document becomes active; the marks and values shown are its own.
    form->OpenDocument(path(QStringLiteral("two.db")));
    TMDIChild* second = form->activeDocument();
    QVERIFY(second != first);
    second->document().pairsPer100m = 60.5;
    idle();
    QCOMPARE(form->documentCount(), 2);
    QVERIFY(!a.Recalculate1->isEnabled());
    QVERIFY(!a.tbGS->isEnabled());
    QCOMPARE(form->statusPanel(2)->text(), QStringLiteral("60.5/100 ; 420 m"));

    // Switching back follows the first document again.
    for (QMdiSubWindow* sub : form->mdiArea()->subWindowList())
        if (sub->widget() == first)
            form->mdiArea()->setActiveSubWindow(sub);
    idle();
    QCOMPARE(form->activeDocument(), first);
    QVERIFY(a.Recalculate1->isEnabled());
    QCOMPARE(form->statusPanel(2)->text(), QStringLiteral("64/100 ; 420 m"));
}

// Panel 0 is three quarters of the window less 50 pixels, panel 2 is 50.
void TestMainForm::statusPanelWidths()
{
    auto form = makeForm();
    form->resize(800, 400);
    idle();
    QCOMPARE(form->width(), 800);
    QCOMPARE(form->statusPanel(0)->panelWidth(), 550);
    QCOMPARE(form->statusPanel(2)->panelWidth(), 50);
    QCOMPARE(form->statusPanel(0)->width(), 550);
    // The last panel reaches to the end of the bar, as a native status bar's last panel does.
    QVERIFY(form->statusPanel(2)->width() >= 50);
    QVERIFY(form->statusPanel(2)->geometry().right() > form->statusBar()->width() - 30);
    QCOMPARE(form->statusPanel(0)->text(), QStringLiteral("Done"));

    form->resize(301, 400);
    idle();
    QCOMPARE(form->width(), 301);
    QCOMPARE(form->statusPanel(0)->panelWidth(), 175);
    QCOMPARE(form->statusPanel(2)->panelWidth(), 50);
}

// A "short|long" hint shows the short text as tooltip and the long one in panel 0; prompts
// of other modules go to panel 0 as well.
void TestMainForm::hintsGoToTooltipAndFirstPanel()
{
    auto form = makeForm();
    const MainActions& a = form->actions();
    QCOMPARE(a.tbPrint->toolTip(), QStringLiteral("Print table"));
    QCOMPARE(a.tbPrint->statusTip(), QStringLiteral("Prints current table"));
    QCOMPARE(a.FileNew1->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    QCOMPARE(a.Recalculate1->shortcut(), QKeySequence(Qt::Key_F10));
    QCOMPARE(a.tbFillH->toolTip(), QStringLiteral("Fill Height"));
    QCOMPARE(a.tbFillH->statusTip(), QStringLiteral("Fill Height"));

    QStatusTipEvent tip(a.FileOpen1->statusTip());
    QApplication::sendEvent(form.get(), &tip);
    QCOMPARE(form->statusPanel(0)->text(), QStringLiteral("Open a file"));
    form->ShowStatus(QStringLiteral("Enter the Start Height for this cell"));
    QCOMPARE(form->statusPanel(0)->text(), QStringLiteral("Enter the Start Height for this cell"));

    QCOMPARE(form->toolbar(3)->windowTitle(), QStringLiteral("Height Calculation toolbar"));
    QCOMPARE(form->toolBarArea(form->toolbar(3)), Qt::RightToolBarArea);
    QVERIFY(form->toolbar(2)->isHidden());
}

// Closing a toolbar with its own button clears its View item; the item brings it back.
void TestMainForm::toolbarCloseUnchecksViewItem()
{
    auto form = makeForm();
    const MainActions& a = form->actions();
    QToolBar* view = form->toolbar(2);
    QVERIFY(!a.ViewView1->isChecked());
    a.ViewView1->trigger();
    QVERIFY(a.ViewView1->isChecked());
    QVERIFY(view->isVisible());

    auto* close = view->findChild<QAction*>(QStringLiteral("Toolbar973Close"));
    QVERIFY(close);
    close->trigger();
    QVERIFY(!view->isVisible());
    QVERIFY(!a.ViewView1->isChecked());

    a.ViewView1->trigger();
    QVERIFY(view->isVisible());
    QVERIFY(a.ViewView1->isChecked());
}

// A second open of the same caption does nothing; another spelling of the path opens again.
void TestMainForm::openDocumentOncePerCaption()
{
    auto form = makeForm();
    const QString p = path(QStringLiteral("route.db"));
    form->OpenDocument(p);
    TMDIChild* first = form->activeDocument();
    QVERIFY(first);
    QCOMPARE(first->windowTitle(), p);
    QVERIFY(first->parentWidget()->isMaximized());
    QCOMPARE(first->Table1().rowCount(), 1);  // a new table gets its start row at once

    form->OpenDocument(p);
    QCOMPARE(form->documentCount(), 1);
    // The same file, relative: a second window, read-only while the first one holds the table.
    ModalAnswerer answers;
    form->OpenDocument(QStringLiteral("route.db"));
    QCOMPARE(form->documentCount(), 2);
    QCOMPARE(form->activeDocument()->windowTitle(), QStringLiteral("route.db [read-only]"));
    QCOMPARE(answers.texts.size(), 1);
}

// New picks NONAME<k>.db from k = open windows + 1, skipping files that exist.
void TestMainForm::newDocumentNames()
{
    ModalAnswerer answers;
    auto form = makeForm();
    // Nothing used yet: the documents folder, never the folder the program started in; the
    // title is the whole path.
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QVERIFY(documents.absolutePath().startsWith(QDir::homePath()));   // the tests' private home
    form->FileNew1Execute();
    QCOMPARE(form->activeDocument()->windowTitle(), documents.filePath(QStringLiteral("NONAME1.db")));
    QVERIFY(QFile::exists(documents.filePath(QStringLiteral("NONAME1.db"))));
    QVERIFY(!QFile::exists(path(QStringLiteral("NONAME1.db"))));

    // Then the folder of the table last opened.
    form->OpenDocument(path(QStringLiteral("other.db")));
    QFile f(path(QStringLiteral("NONAME3.db")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    form->FileNew1Execute();
    QCOMPARE(form->activeDocument()->windowTitle(), path(QStringLiteral("NONAME4.db")));
    QCOMPARE(form->documentCount(), 3);
    QVERIFY(answers.texts.isEmpty());
    form->close();
    QFile::remove(documents.filePath(QStringLiteral("NONAME1.db")));
}

// A table New makes keeps its text in the code page of the user's language: 1251 for a Russian
// user, so that Cyrillic marks can be stored, 1252 for a German one.
void TestMainForm::newTableTakesTheCodePageOfTheUsersLanguage()
{
    ModalAnswerer answers;
    const QLocale before;
    for (const auto& [locale, codePage] : {std::pair{"ru_RU", 1251}, std::pair{"de_DE", 1252}}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        auto form = makeForm();
        form->FileNew1Execute();
        TMDIChild* child = form->activeDocument();
        QVERIFY(child);
        QCOMPARE(child->Table1().file()->info().codePage, codePage);
        if (codePage == 1251) {
            child->Table1().last();
            child->Table1().edit();
            child->Table1().setText("Mark", "родник");
            child->Table1().post();
            QCOMPARE(std::get<std::string>(child->Table1().valueAt(0, child->Table1().fieldIndex("Mark"))),
                     std::string("родник"));
        }
        form->FileClose1Execute();
        idle();
    }
    QLocale::setDefault(before);
    QVERIFY(answers.texts.isEmpty());
}

// Closing writes .ing and .inf beside the table, also after the table was renamed or copied.
void TestMainForm::closeWritesCompanionsBesideTable()
{
    ModalAnswerer answers;
    auto form = makeForm();
    QString answer;
    form->setPathPrompt([&answer](QWidget*, bool) { return answer; });

    form->OpenDocument(path(QStringLiteral("plain.db")));
    idle();
    form->actions().FileClose1->trigger();
    idle();
    QCOMPARE(form->documentCount(), 0);
    QVERIFY(QFile::exists(path(QStringLiteral("plain.ing"))));
    QVERIFY(QFile::exists(path(QStringLiteral("plain.inf"))));

    QDir().mkpath(path(QStringLiteral("sub")));
    form->OpenDocument(path(QStringLiteral("old.db")));
    answer = path(QStringLiteral("sub/renamed.db"));
    form->FileSaveAs1Execute();
    QCOMPARE(form->activeDocument()->windowTitle(), answer);
    QVERIFY(QFile::exists(answer));
    QVERIFY(!QFile::exists(path(QStringLiteral("old.db"))));
    QCOMPARE(QDir::currentPath(), QDir(path(QStringLiteral("sub"))).absolutePath());
    form->FileClose1Execute();
    idle();
    QVERIFY(QFile::exists(path(QStringLiteral("sub/renamed.ing"))));
    QVERIFY(QFile::exists(path(QStringLiteral("sub/renamed.inf"))));

    form->OpenDocument(path(QStringLiteral("first.db")));
    answer = path(QStringLiteral("copy.db"));
    form->SaveAs1Click();
    QCOMPARE(form->activeDocument()->windowTitle(), answer);
    QVERIFY(QFile::exists(path(QStringLiteral("first.db"))));
    form->FileClose1Execute();
    idle();
    QVERIFY(QFile::exists(path(QStringLiteral("copy.ing"))));
    QVERIFY(QFile::exists(path(QStringLiteral("copy.inf"))));
    QVERIFY(answers.texts.isEmpty());
}

// Survey values that could not be read are reported at open and left in their file at close,
// not replaced by the defaults the window fell back to.
void TestMainForm::unreadableSurveyValuesAreKeptAtClose()
{
    ModalAnswerer answers;
    auto form = makeForm();
    form->OpenDocument(path(QStringLiteral("values.db")));
    idle();
    form->FileClose1Execute();
    idle();
    const QByteArray bad("66\r\nnot a height\r\n");
    {
        QFile f(path(QStringLiteral("values.inf")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bad);
    }
    form->OpenDocument(path(QStringLiteral("values.db")));
    idle();
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY2(answers.texts[0].contains(QStringLiteral("values.inf' is damaged: line 2 holds 'not'")), qPrintable(answers.texts[0]));
    QCOMPARE(form->activeDocument()->document().pairsPer100m, 64.0);
    form->FileClose1Execute();
    idle();
    QCOMPARE(form->documentCount(), 0);
    QFile f(path(QStringLiteral("values.inf")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bad);
    QVERIFY(QFile::exists(path(QStringLiteral("values.ing"))));
}

// Save As onto a table open in another window is refused with a message naming it, and both
// documents keep their own tables; onto an existing file it asks, and only "Yes" replaces it.
void TestMainForm::saveAsAsksBeforeReplacingAndRefusesOpenTable()
{
    ModalAnswerer answers(QMessageBox::No);
    auto form = makeForm();
    QString answer;
    form->setPathPrompt([&answer](QWidget*, bool) { return answer; });
    auto addRow = [](TMDIChild* child, int azimuth) {
        zelt::document::TraverseTable& t = child->Table1();
        t.append();
        t.setInteger("Azimuth", azimuth);
        t.setFloat("Pairs", 5);
        t.post();
    };

    const QString otherPath = path(QStringLiteral("other.db"));
    form->OpenDocument(otherPath);
    TMDIChild* other = form->activeDocument();
    addRow(other, 10);
    form->OpenDocument(path(QStringLiteral("mine.db")));
    TMDIChild* mine = form->activeDocument();
    QVERIFY(mine != other);
    addRow(mine, 20);
    addRow(mine, 30);
    idle();
    const int otherRows = other->Table1().rowCount();
    const int mineRows = mine->Table1().rowCount();

    answer = otherPath;
    form->SaveAs1Click();
    idle();
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY2(answers.texts[0].contains(QStringLiteral("other.db")), qPrintable(answers.texts[0]));
    QVERIFY(answers.texts[0].contains(QStringLiteral("open in another window")));
    QCOMPARE(mine->windowTitle(), path(QStringLiteral("mine.db")));
    QVERIFY(mine->Table1().isOpen());
    QCOMPARE(mine->Table1().rowCount(), mineRows);
    QCOMPARE(other->Table1().rowCount(), otherRows);
    addRow(mine, 40);
    addRow(other, 50);
    QCOMPARE(mine->Table1().rowCount(), mineRows + 1);
    QCOMPARE(other->Table1().rowCount(), otherRows + 1);

    // An existing file that nobody has open: "No" leaves it alone, "Yes" replaces it.
    const QString existing = path(QStringLiteral("existing.db"));
    {
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a table");
    }
    answers.texts.clear();
    answer = existing;
    form->SaveAs1Click();
    idle();
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY2(answers.texts[0].contains(QStringLiteral("existing.db")), qPrintable(answers.texts[0]));
    QCOMPARE(mine->windowTitle(), path(QStringLiteral("mine.db")));
    QCOMPARE(QFileInfo(existing).size(), qint64(11));

    answers.setButton(QMessageBox::Yes);
    answers.texts.clear();
    form->SaveAs1Click();
    idle();
    QCOMPARE(answers.texts.size(), 1);
    QCOMPARE(mine->windowTitle(), existing);
    QCOMPARE(mine->Table1().rowCount(), mineRows + 1);
    QVERIFY(QFileInfo(existing).size() > 11);
    QVERIFY(QFile::exists(path(QStringLiteral("mine.db"))));
}

// A companion that cannot be written is named with the cause; Cancel keeps the window open (a
// failing .ing before the table is closed), "Close" closes it without what could not be written.
void TestMainForm::companionWriteFailureAsksToCloseAnyway()
{
    ModalAnswerer answers(QMessageBox::Cancel);
    auto form = makeForm();
    form->OpenDocument(path(QStringLiteral("locked.db")));
    idle();
    TMDIChild* child = form->activeDocument();
    // A folder in the companion's place cannot be written, whoever runs the test.
    QVERIFY(QDir().mkpath(path(QStringLiteral("locked.ing"))));
    form->FileClose1Execute();
    idle();
    QCOMPARE(form->documentCount(), 1);
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY2(answers.texts[0].startsWith(QStringLiteral("Cannot write \"%1\": ").arg(path(QStringLiteral("locked.ing"))))
                 && answers.texts[0].contains(QStringLiteral("is a folder, not a regular file")),
             qPrintable(answers.texts[0]));
    QVERIFY(answers.texts[0].contains(QStringLiteral("survey values")));
    QVERIFY(answers.texts[0].contains(QStringLiteral("column layout")));
    QVERIFY(child->Table1().isOpen());

    QVERIFY(QDir().rmdir(path(QStringLiteral("locked.ing"))));
    QFile::remove(path(QStringLiteral("locked.inf")));
    QVERIFY(QDir().mkpath(path(QStringLiteral("locked.inf"))));
    form->FileClose1Execute();
    idle();
    QCOMPARE(form->documentCount(), 1);
    QCOMPARE(answers.texts.size(), 2);
    QVERIFY2(answers.texts[1].startsWith(QStringLiteral("Cannot write \"%1\": ").arg(path(QStringLiteral("locked.inf"))))
                 && answers.texts[1].contains(QStringLiteral("is a folder, not a regular file")),
             qPrintable(answers.texts[1]));
    QVERIFY(!answers.texts[1].contains(QStringLiteral("column layout")));
    QVERIFY(child->Table1().isOpen());   // every companion is written while the table is still open
    QVERIFY(QFile::exists(path(QStringLiteral("locked.ing"))));

    // Exit asks the same; Cancel keeps the program running.
    form->close();
    idle();
    QVERIFY(form->isVisible());
    QCOMPARE(form->documentCount(), 1);

    // "Close" lets the window, and the program, go.
    answers.setButton(QMessageBox::Close);
    QVERIFY(form->close());
    idle();
    QCOMPARE(answers.texts.size(), 4);
    QCOMPARE(form->documentCount(), 0);
    QVERIFY(!form->isVisible());
    QVERIFY(QFileInfo(path(QStringLiteral("locked.inf"))).isDir());
}

namespace {

/// Makes `dir` and the files in it unwritable for this process: immutable as root (where
/// permissions do not stop writes), read-only permissions otherwise. Undone when it goes.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& dir) : m_dir(dir)
    {
        m_entries = QDir(dir).entryList(QDir::Files);
        for (const QString& f : m_entries)
            set(QDir(dir).filePath(f), true);
        set(dir, true);
    }
    ~ReadOnlyFolder()
    {
        set(m_dir, false);
        for (const QString& f : m_entries)
            set(QDir(m_dir).filePath(f), false);
    }
    /// True when writing into the folder is really refused.
    bool holds() const
    {
        QFile probe(QDir(m_dir).filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.close();
            probe.remove();
            return false;
        }
        return true;
    }

private:
    static void set(const QString& path, bool on)
    {
        if (::geteuid() == 0) {
            QProcess::execute(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), path});
            return;
        }
        const bool dir = QFileInfo(path).isDir();
        QFile::setPermissions(path, on ? (QFile::ReadOwner | (dir ? QFile::ExeOwner : QFile::Permissions()))
                                       : (QFile::ReadOwner | QFile::WriteOwner | (dir ? QFile::ExeOwner : QFile::Permissions())));
    }
    QString m_dir;
    QStringList m_entries;
};

}  // namespace

// A table on read-only media opens read-only with its reason, closes without writing anything
// and never keeps the program from exiting.
void TestMainForm::readOnlyMediaClosesAndExits()
{
    const QString folder = path(QStringLiteral("media"));
    QVERIFY(QDir().mkpath(folder));
    const QString table = folder + QStringLiteral("/survey.db");
    zelt::test::writeTraverse(table, {{0, 420.0}, {12, 430.0}});
    QFile inf(folder + QStringLiteral("/survey.inf"));
    QVERIFY(inf.open(QIODevice::ReadOnly));
    const QByteArray infBefore = inf.readAll();
    inf.close();

    ReadOnlyFolder readOnly(folder);
    if (!readOnly.holds()) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL("the folder could not be made read-only (chattr or permissions)");
        QSKIP("the folder could not be made read-only (chattr or permissions)");
    }
    ModalAnswerer answers;
    auto form = makeForm();
    for (int round = 0; round < 2; ++round) {
        form->OpenDocument(table);
        idle();
        QCOMPARE(form->documentCount(), 1);
        QCOMPARE(answers.texts.size(), round + 1);
        QVERIFY2(answers.texts.last().contains(QStringLiteral("cannot be written")), qPrintable(answers.texts.last()));
        QVERIFY(form->activeDocument()->windowTitle().endsWith(QStringLiteral(" [read-only]")));
        QCOMPARE(form->activeDocument()->Table1().rowCount(), 2);
        if (round == 0)
            form->actions().FileClose1->trigger();
        else
            form->actions().FileExit1->trigger();
        idle();
        QCOMPARE(form->documentCount(), 0);
        QCOMPARE(answers.texts.size(), round + 1);  // closing asked nothing
    }
    QVERIFY(!form->isVisible());
    QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{QStringLiteral("survey.db"), QStringLiteral("survey.inf")}));
    QVERIFY(inf.open(QIODevice::ReadOnly));
    QCOMPARE(inf.readAll(), infBefore);
}

// Window captions are the program's own texts: Qt is given no application display name to
// append to them, and error boxes carry the application title.
void TestMainForm::captionsAreExactlyTheProgramsTexts()
{
    ModalAnswerer answers;
    auto form = makeForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("Zelt 4 For Cartography"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QCOMPARE(applicationTitle(), QStringLiteral("Zelt 4 For Cartography"));
    form->OpenDocument(path(QStringLiteral("caption.db")));
    idle();
    QCOMPARE(form->activeDocument()->windowTitle(), path(QStringLiteral("caption.db")));
    TMDIChild::showError(form.get(), QStringLiteral("x"));
    QCOMPARE(answers.titles, QStringList{QStringLiteral("Zelt 4 For Cartography")});
}

// Exit closes the windows furthest back first and the active one last, each with its files.
void TestMainForm::exitClosesBackToFront()
{
    ModalAnswerer answers;
    auto form = makeForm();
    QStringList order;
    for (const char* name : {"a.db", "b.db", "c.db"}) {
        form->OpenDocument(path(QString::fromLatin1(name)));
        TMDIChild* child = form->activeDocument();
        const QString title = child->windowTitle();
        connect(child, &QObject::destroyed, this, [&order, title] { order << QFileInfo(title).fileName(); });
    }
    // Bring "a" to the front: the stacking order is then b, c, a.
    for (QMdiSubWindow* sub : form->mdiArea()->subWindowList())
        if (sub->widget()->windowTitle().endsWith(QStringLiteral("a.db")))
            form->mdiArea()->setActiveSubWindow(sub);
    form->actions().FileExit1->trigger();
    QTRY_COMPARE(order.size(), 3);
    QCOMPARE(order, (QStringList{QStringLiteral("b.db"), QStringLiteral("c.db"), QStringLiteral("a.db")}));
    for (const char* name : {"a", "b", "c"}) {
        QVERIFY(QFile::exists(path(QString::fromLatin1(name) + QStringLiteral(".inf"))));
        QVERIFY(QFile::exists(path(QString::fromLatin1(name) + QStringLiteral(".ing"))));
    }
    QVERIFY(!form->isVisible());
}

// The Window menu lists the open documents; tiling horizontally stacks them one above the
// other, tiling vertically puts them side by side.
void TestMainForm::windowMenuAndTiling()
{
    ModalAnswerer answers;
    auto form = makeForm();
    form->resize(800, 600);
    form->OpenDocument(path(QStringLiteral("left.db")));
    form->OpenDocument(path(QStringLiteral("right.db")));
    idle();
    QMenu* window = nullptr;
    for (QAction* m : form->menuBar()->actions())
        if (m->text() == QStringLiteral("&Window"))
            window = m->menu();
    QVERIFY(window);
    emit window->aboutToShow();
    QStringList items;
    for (QAction* a : window->actions())
        items << a->text();
    QVERIFY(items.contains(QStringLiteral("&1 ") + path(QStringLiteral("left.db"))));
    QVERIFY(items.contains(QStringLiteral("&2 ") + path(QStringLiteral("right.db"))));

    const QList<QMdiSubWindow*> subs = form->mdiArea()->subWindowList();
    const QRect area = form->mdiArea()->viewport()->rect();
    form->actions().WindowTileHorizontal1->trigger();
    for (QMdiSubWindow* sub : subs)
        QCOMPARE(sub->width(), area.width());
    QCOMPARE(subs[0]->height() + subs[1]->height(), area.height());
    QVERIFY(subs[0]->y() != subs[1]->y());
    form->actions().WindowTileVertical1->trigger();
    for (QMdiSubWindow* sub : subs)
        QCOMPARE(sub->height(), area.height());
    QCOMPARE(subs[0]->width() + subs[1]->width(), area.width());
    QVERIFY(subs[0]->x() != subs[1]->x());

    // Cascade: each window large (two thirds of the area at least), stepped one from the other,
    // the active one on top and still active.
    QMdiSubWindow* active = form->mdiArea()->activeSubWindow();
    form->actions().WindowCascade1->trigger();
    for (QMdiSubWindow* sub : subs) {
        QVERIFY2(sub->width() >= area.width() * 2 / 3, qPrintable(QString::number(sub->width())));
        QVERIFY2(sub->height() >= area.height() * 2 / 3, qPrintable(QString::number(sub->height())));
        QVERIFY(area.contains(sub->geometry()));
    }
    QVERIFY(subs[0]->pos() != subs[1]->pos());
    QCOMPARE(form->mdiArea()->activeSubWindow(), active);
    QCOMPARE(form->mdiArea()->subWindowList(QMdiArea::StackingOrder).last(), active);
}

// Within each menu every mnemonic letter leads to one item only.
void TestMainForm::menuMnemonicsAreUnique()
{
    auto form = makeForm();
    const auto mnemonic = [](const QString& text) -> QChar {
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != u'&')
                continue;
            if (text[i + 1] == u'&') {
                ++i;
                continue;
            }
            return text[i + 1].toLower();
        }
        return {};
    };
    const std::function<void(QMenu*)> check = [&](QMenu* menu) {
        QMap<QChar, QString> seen;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            const QChar m = mnemonic(a->text());
            if (!m.isNull()) {
                QVERIFY2(!seen.contains(m), qPrintable(menu->title() + u':' + seen.value(m) + u'/' + a->text()));
                seen.insert(m, a->text());
            }
            if (a->menu())
                check(a->menu());
        }
    };
    for (QAction* top : form->menuBar()->actions())
        check(top->menu());
}

// Rename File and SaveAs ask with titles of their own, starting in the active table's folder,
// whatever folder the program works in.
void TestMainForm::tableDialogsNameTheirCommandAndStartBesideTheTable()
{
    auto form = makeForm();
    QDir(m_dir->path()).mkpath(QStringLiteral("tables"));
    const QString table = path(QStringLiteral("tables/here.db"));
    form->OpenDocument(table);
    idle();
    QDir::setCurrent(QDir::rootPath());
    for (QAction* command : {form->actions().FileSaveAs1, form->actions().SaveAs1}) {
        QStringList titles;
        QStringList folders;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                titles << dialog->windowTitle();
                folders << dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        timer.start(10);
        command->trigger();
        QCOMPARE(titles, QStringList{command == form->actions().FileSaveAs1 ? QStringLiteral("Rename File")
                                                                             : QStringLiteral("Save As")});
        QCOMPARE(folders, QStringList{QFileInfo(table).absolutePath()});
    }
    QDir::setCurrent(m_dir->path());
    ModalAnswerer answers;
    form->close();
}

// "Only way" leaves the frequency, field and contour controls disabled; OK closes the export
// dialog before the map is asked for; the status bar says what was written where.
void TestMainForm::exportSaysWhatItWroteWhere()
{
    ModalAnswerer answers;
    auto form = makeForm();
    form->OpenDocument(path(QStringLiteral("route.db")));
    idle();
    auto* command = form->findChild<ExportCommand*>();
    QVERIFY(command);
    TExportDlg* dlg = command->ExportDlg();
    dlg->RadioButton1->setChecked(true);
    for (QWidget* w : {static_cast<QWidget*>(dlg->ComboBox3), static_cast<QWidget*>(dlg->ComboBox4),
                       static_cast<QWidget*>(dlg->CheckBox2)})
        QVERIFY(!w->isEnabled());
    QVERIFY(dlg->CheckBox1->isEnabled());
    dlg->RadioButton2->setChecked(true);
    for (QWidget* w : {static_cast<QWidget*>(dlg->ComboBox3), static_cast<QWidget*>(dlg->ComboBox4),
                       static_cast<QWidget*>(dlg->CheckBox2)})
        QVERIFY(w->isEnabled());
    QVERIFY(!dlg->CheckBox1->isEnabled());
    dlg->RadioButton1->setChecked(true);

    {
        QFile figures(path(QStringLiteral("dani.dat")));
        QVERIFY(figures.open(QIODevice::WriteOnly));
        figures.write("1\n0 1\n");
    }
    command->zelt().setFigureFile(path(QStringLiteral("dani.dat")).toStdString());
    const QString map = path(QStringLiteral("out.ocd"));
    bool dialogHidden = false;
    command->setMapChooser([&](QWidget*) {
        dialogHidden = !dlg->isVisible();
        return map;
    });
    QTimer::singleShot(0, dlg, [dlg] { dlg->OKBtn->click(); });
    form->actions().Export1->trigger();
    QVERIFY(dialogHidden);
    QVERIFY(QFile::exists(map));
    const QString status = form->statusPanel(0)->text();
    QVERIFY2(status.startsWith(QStringLiteral("Exported 1 row into ") + QDir::toNativeSeparators(map)),
             qPrintable(status + u'|' + answers.texts.join(u'|')));
    QVERIFY2(status.contains(QStringLiteral("a route line of")), qPrintable(status));
    form->close();
}

// "[open("FILE")]" over the local socket opens FILE; other commands are ignored.
void TestMainForm::openCommandOverLocalSocket()
{
    QCOMPARE(parseOpenCommands(QStringLiteral("[open(\"/a b/c.db\")][print(\"x.db\")][OPEN(\"d.db\")]")),
             (QStringList{QStringLiteral("/a b/c.db"), QStringLiteral("d.db")}));
    QVERIFY(parseOpenCommands(QStringLiteral("open(\"x.db\")")).isEmpty());

    auto form = makeForm();
    const QString name = QStringLiteral("ZeltTest%1").arg(QCoreApplication::applicationPid());
    SingleInstance server(name);
    QVERIFY(server.listen());
    connect(&server, &SingleInstance::openRequested, form.get(), &TMainForm::OpenDocument);
    SingleInstance second(name);
    QVERIFY(!second.listen());  // the name is taken while the first one runs

    const QString file = path(QStringLiteral("from shell.db"));
    bool sent = false;
    QTimer::singleShot(0, this, [&] { sent = SingleInstance::sendToRunning(name, {file}); });
    QTRY_COMPARE(form->documentCount(), 1);
    QVERIFY(sent);
    QCOMPARE(form->activeDocument()->windowTitle(), file);
    QVERIFY(!SingleInstance::sendToRunning(name + QStringLiteral("-none"), {file}, 200));
}

// One connection brings a bounded request: too long a message opens nothing, and no more
// than the limit of paths is taken. A socket file another user made is neither used nor sent to.
void TestMainForm::localSocketTakesBoundedRequestsFromItsUserOnly()
{
    QString text;
    for (int i = 0; i < SingleInstance::kMaxPaths + 10; ++i)
        text += openCommand(QStringLiteral("/d/%1.db").arg(i));
    QCOMPARE(parseOpenCommands(text).size(), SingleInstance::kMaxPaths);

    const QString name = QStringLiteral("ZeltBound%1").arg(QCoreApplication::applicationPid());
    SingleInstance server(name);
    QVERIFY(server.listen());
    QSignalSpy opened(&server, &SingleInstance::openRequested);
    {
        QLocalSocket flood;
        flood.connectToServer(SingleInstance::serverName(name));
        QVERIFY(flood.waitForConnected(2000));
        const QByteArray command = openCommand(QStringLiteral("/x.db")).toUtf8();
        QByteArray big;
        while (big.size() <= SingleInstance::kMaxMessageBytes)
            big += command;
        flood.write(big);
        // The server reads in this thread: let both sides run until all is sent (or refused).
        QTRY_VERIFY(flood.bytesToWrite() == 0 || flood.state() != QLocalSocket::ConnectedState);
        flood.disconnectFromServer();
    }
    idle(200);
    QCOMPARE(opened.count(), 0);
    QVERIFY(SingleInstance::sendToRunning(name, {QStringLiteral("/y.db")}));
    QTRY_COMPARE(opened.count(), 1);

    if (::geteuid() != 0)
        QSKIP("only root can make a file owned by another user here");
    const QString other = name + QStringLiteral("-other");
    const QString file = SingleInstance::serverName(other);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(::chown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
    SingleInstance stranger(other);
    QVERIFY(!stranger.listen());
    QVERIFY(!SingleInstance::sendToRunning(other, {QStringLiteral("/z.db")}, 200));
    QVERIFY(QFile::exists(file));  // not removed either
    QFile::remove(file);
}

// On log-off the program enters itself to be started once more, and the autostart entry
// it leaves on such desktops goes away at the next start.
void TestMainForm::logOffEntry()
{
    writeLogOffEntry(QStringLiteral("Zelt 4 For Cartography"), QStringLiteral("/opt/zelt/bin/zelt"));
    {
        const auto store = RegistryStore::open();
        const QVariant v = store->value(QString::fromLatin1(kRunOnceKey) + QStringLiteral("/Zelt 4 For Cartography"));
        QCOMPARE(v.typeId(), int(QMetaType::QString));
        QCOMPARE(v.toString(), QStringLiteral("\"/opt/zelt/bin/zelt\""));
    }
    QFile entry(logOffAutostartFile());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QVERIFY(entry.readAll().contains("Exec=\"/opt/zelt/bin/zelt\""));
    entry.close();
    removeLogOffAutostart();
    QVERIFY(!QFile::exists(logOffAutostartFile()));
}

void TestMainForm::aboutBox()
{
    TAboutBox box;
    QCOMPARE(box.windowTitle(), QStringLiteral("About"));
    QVERIFY(box.findChildren<QLabel*>().size() >= 3);
    bool product = false;
    for (const QLabel* l : box.findChildren<QLabel*>())
        product = product || l->text() == QStringLiteral("Zelt 4.2 For Cartography");
    QVERIFY(product);
    QCOMPARE(box.versionLabel()->text(), QStringLiteral("File Version: 4.2.0.104"));
}

// A program on another display is not the running one: a file named there opens there.
void TestMainForm::runningProgramIsOnePerDisplay()
{
    const QByteArray oldX = qgetenv("DISPLAY");
    const QByteArray oldWayland = qgetenv("WAYLAND_DISPLAY");
    const auto restore = qScopeGuard([&] {
        oldX.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", oldX);
        oldWayland.isNull() ? qunsetenv("WAYLAND_DISPLAY") : qputenv("WAYLAND_DISPLAY", oldWayland);
    });
    qunsetenv("WAYLAND_DISPLAY");
    const QString name = QStringLiteral("ZeltDisplay%1").arg(QCoreApplication::applicationPid());
    const QString file = path(QStringLiteral("elsewhere.db"));
    qputenv("DISPLAY", ":7");
    const QString onSeven = SingleInstance::serverName(name);
    SingleInstance first(name);
    QVERIFY(first.listen());
    QSignalSpy opened(&first, &SingleInstance::openRequested);

    qputenv("DISPLAY", ":8.0");
    QVERIFY(SingleInstance::serverName(name) != onSeven);
    QVERIFY(!SingleInstance::serverName(name).contains(u':'));
    QVERIFY(!SingleInstance::sendToRunning(name, {file}, 200));
    SingleInstance second(name);
    QVERIFY(second.listen());

    qputenv("DISPLAY", ":7");
    bool sent = false;
    QTimer::singleShot(0, this, [&] { sent = SingleInstance::sendToRunning(name, {file}); });
    QTRY_COMPARE(opened.size(), 1);
    QVERIFY(sent);

    // A Wayland session names its compositor; the same X number there is another display.
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qunsetenv("DISPLAY");
    QVERIFY(SingleInstance::serverName(name) != onSeven);
}

QTEST_MAIN(TestMainForm)
#include "test_main_form.moc"

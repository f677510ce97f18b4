// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the main window: enabling, status bar, toolbars, file commands, shut-down.
#include "shell/about_box.h"
#include "shell/main_form.h"
#include "shell/mdi_child.h"
#include "shell/session_entry.h"
#include "shell/single_instance.h"
#include "shell/status_panel.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include <memory>

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
    void closeWritesCompanionsBesideTable();
    void companionWriteFailureKeepsWindowOpen();
    void exitClosesBackToFront();
    void windowMenuAndTiling();
    void openCommandOverLocalSocket();
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
    form->OpenDocument(QStringLiteral("route.db"));  // the same file, relative
    QCOMPARE(form->documentCount(), 2);
}

// New picks NONAME<k>.db from k = open windows + 1, skipping files that exist.
void TestMainForm::newDocumentNames()
{
    ModalAnswerer answers;
    auto form = makeForm();
    form->FileNew1Execute();
    QCOMPARE(form->activeDocument()->windowTitle(), QStringLiteral("NONAME1.db"));
    QVERIFY(QFile::exists(path(QStringLiteral("NONAME1.db"))));

    form->OpenDocument(path(QStringLiteral("other.db")));
    QFile f(path(QStringLiteral("NONAME3.db")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    form->FileNew1Execute();
    QCOMPARE(form->activeDocument()->windowTitle(), QStringLiteral("NONAME4.db"));
    QCOMPARE(form->documentCount(), 3);
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

// A companion that cannot be written shows the I/O message and keeps the window open; a
// failing .ing stops before the table is closed.
void TestMainForm::companionWriteFailureKeepsWindowOpen()
{
    ModalAnswerer answers;
    auto form = makeForm();
    form->OpenDocument(path(QStringLiteral("locked.db")));
    idle();
    TMDIChild* child = form->activeDocument();
    // A folder in the companion's place cannot be written, whoever runs the test.
    QVERIFY(QDir().mkpath(path(QStringLiteral("locked.ing"))));
    form->FileClose1Execute();
    idle();
    QCOMPARE(form->documentCount(), 1);
    QCOMPARE(answers.texts, QStringList{QStringLiteral("File access denied")});
    QVERIFY(child->Table1().isOpen());

    QVERIFY(QDir().rmdir(path(QStringLiteral("locked.ing"))));
    QFile::remove(path(QStringLiteral("locked.inf")));
    QVERIFY(QDir().mkpath(path(QStringLiteral("locked.inf"))));
    form->FileClose1Execute();
    idle();
    QCOMPARE(form->documentCount(), 1);
    QCOMPARE(answers.texts.size(), 2);
    QCOMPARE(answers.texts[1], QStringLiteral("File access denied"));
    QVERIFY(!child->Table1().isOpen());
    QVERIFY(QFile::exists(path(QStringLiteral("locked.ing"))));

    // The main window does not close either while the document cannot.
    form->close();
    idle();
    QVERIFY(form->isVisible());
    QCOMPARE(form->documentCount(), 1);

    QVERIFY(QDir().rmdir(path(QStringLiteral("locked.inf"))));
    form->FileClose1Execute();
    idle();
    QCOMPARE(form->documentCount(), 0);
    QVERIFY(QFile::exists(path(QStringLiteral("locked.inf"))));
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

QTEST_MAIN(TestMainForm)
#include "test_main_form.moc"

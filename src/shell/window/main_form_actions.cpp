// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: the commands with their captions, shortcuts and hints, menus, toolbars, status bar.
#include "shell/window/main_form.h"

#include "shell/window/dock_area.h"
#include "shell/window/icons.h"
#include "shell/window/manual_window.h"
#include "shell/window/status_panel.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace zelt::shell {
namespace {

/// A command with its caption, hint ("short|long": tooltip and status text) and shortcut.
QAction* makeAction(QObject* parent, const char* name, const char* caption, const char* hint = nullptr,
                    const QKeySequence& shortcut = {})
{
    auto* a = new QAction(QString::fromUtf8(caption), parent);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    const QString h = hint ? QString::fromUtf8(hint) : QString();
    const qsizetype bar = h.indexOf(u'|');
    a->setToolTip(bar < 0 ? h : h.left(bar));
    a->setStatusTip(bar < 0 ? h : h.mid(bar + 1));
    return a;
}

QAction* withIcon(QAction* a, IconKind kind)
{
    a->setIcon(commandIcon(kind));
    return a;
}

}  // namespace

void TMainForm::createActions()
{
    createFileActions();
    createEditAndCalcActions();
    createGridAndWindowActions();
}

void TMainForm::createFileActions()
{
    MainActions& a = m_actions;
    a.FileNew1 = withIcon(makeAction(this, "FileNew1", "&New", "New|Create a new file", QKeySequence(Qt::CTRL | Qt::Key_N)), IconKind::New);
    a.FileOpen1 = withIcon(makeAction(this, "FileOpen1", "&Open", "Open|Open a file", QKeySequence(Qt::CTRL | Qt::Key_O)), IconKind::Open);
    a.FileClose1 = makeAction(this, "FileClose1", "&Close", "Close|Close current file");
    a.FileSave1 = withIcon(makeAction(this, "FileSave1", "&Save", "Save|Save current file", QKeySequence(Qt::CTRL | Qt::Key_S)), IconKind::Save);
    a.SaveAs1 = makeAction(this, "SaveAs1", "Save&As");
    a.FileSaveAs1 = makeAction(this, "FileSaveAs1", "&Rename File", "Save As|Save current file with different name");
    a.Export1 = withIcon(makeAction(this, "Export1", "&Export", "Export file in *.ocd format"), IconKind::Export);
    a.ToMic1 = withIcon(makeAction(this, "ToMic1", "To Microsoft E&xcel 2000"), IconKind::Excel);
    a.ToTXTFile1 = makeAction(this, "ToTXTFile1", "To *.TXT File");
    a.ToTXTFileVisible1 = makeAction(this, "ToTXTFilewithonlyvisiblecolumns1", "To *.TXT File with only Visible Columns");
    a.Print1 = withIcon(makeAction(this, "Print1", "&Print"), IconKind::Print);
    a.PrintPreview1 = withIcon(makeAction(this, "PrintPreview1", "Print Pre&wiew"), IconKind::Preview);
    a.FileExit1 = makeAction(this, "FileExit1", "E&xit", "Exit|Exit application");

    a.tbPrint = withIcon(makeAction(this, "ToolbarButtonPrint", "&Print", "Print table|Prints current table"), IconKind::Print);
    a.tbPreview = withIcon(makeAction(this, "ToolbarButtonPreview", "Print Pre&wiew", "Previw file to print|Opens preview window"), IconKind::Preview);
    a.tbExport = withIcon(makeAction(this, "ToolbarButtonExport", "&Export", "Export file in *.ocd format"), IconKind::Export);
    a.tbExcel = withIcon(makeAction(this, "ToolbarButton9712", "Excel",
                                    "Export table to Microsoft Excel 97-2000|Export table to Microsoft Excel 97-2000"),
                         IconKind::Excel);
    a.tbCols = makeAction(this, "ToolbarButtonCols", "Cols", "Grid Columns Options|Grid Columns Options");
    a.KolonkuMenu = new QMenu(this);
    a.KolonkuMenu->setObjectName(QStringLiteral("KolonkuMenu"));
    a.tbCols->setMenu(a.KolonkuMenu);

    // Toolbar buttons that run a menu command.
    connect(a.tbPrint, &QAction::triggered, a.Print1, &QAction::trigger);
    connect(a.tbPreview, &QAction::triggered, a.PrintPreview1, &QAction::trigger);
    connect(a.tbExport, &QAction::triggered, a.Export1, &QAction::trigger);
    connect(a.tbExcel, &QAction::triggered, a.ToMic1, &QAction::trigger);

    connect(a.FileNew1, &QAction::triggered, this, &TMainForm::FileNew1Execute);
    connect(a.FileOpen1, &QAction::triggered, this, &TMainForm::FileOpen1Execute);
    connect(a.FileClose1, &QAction::triggered, this, &TMainForm::FileClose1Execute);
    connect(a.FileSave1, &QAction::triggered, this, &TMainForm::FileSave1Execute);
    connect(a.SaveAs1, &QAction::triggered, this, &TMainForm::SaveAs1Click);
    connect(a.FileSaveAs1, &QAction::triggered, this, &TMainForm::FileSaveAs1Execute);
    connect(a.FileExit1, &QAction::triggered, this, &TMainForm::FileExit1Execute);
}

void TMainForm::createEditAndCalcActions()
{
    MainActions& a = m_actions;
    a.EditUndo1 = makeAction(this, "EditUndo1", "&Undo", "Undo|Takes back the last change", QKeySequence::Undo);
    a.EditRedo1 = makeAction(this, "EditRedo1", "&Redo", "Redo|Brings back the change last taken back");
    a.EditRedo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(a.EditUndo1, &QAction::triggered, this, [this] { stepHistory(false); });
    connect(a.EditRedo1, &QAction::triggered, this, [this] { stepHistory(true); });
    a.EditCut1 = withIcon(makeAction(this, "EditCut1", "Cu&t", "Cut|Cuts the selection and puts it on the Clipboard",
                                     QKeySequence(Qt::CTRL | Qt::Key_X)), IconKind::Cut);
    a.EditCopy1 = withIcon(makeAction(this, "EditCopy1", "&Copy", "Copy|Copies the selection and puts it on the Clipboard",
                                      QKeySequence(Qt::CTRL | Qt::Key_C)), IconKind::Copy);
    a.EditPaste1 = withIcon(makeAction(this, "EditPaste1", "&Paste", "Paste|Inserts Clipboard contents",
                                       QKeySequence(Qt::CTRL | Qt::Key_V)), IconKind::Paste);
    a.PasteFromExcel1 = withIcon(makeAction(this, "PastefromExcel1", "Paste from &Excel"), IconKind::PasteInTable);
    a.tbPasteInTable = withIcon(makeAction(this, "ToolbarButtonPasteInTable", "Paste from &Excel",
                                           "Paste in table|Pastes from buffer to table"), IconKind::PasteInTable);
    connect(a.tbPasteInTable, &QAction::triggered, a.PasteFromExcel1, &QAction::trigger);
    connect(a.EditCut1, &QAction::triggered, this, [this] { editFocused(0); });
    connect(a.EditCopy1, &QAction::triggered, this, [this] { editFocused(1); });
    connect(a.EditPaste1, &QAction::triggered, this, [this] { editFocused(2); });

    a.Parymetry1 = makeAction(this, "Parymetry1", "&Pairs/Meters");
    a.StartHeight1 = makeAction(this, "StartHeight1", "Start &Height");
    a.BeginWayHeight1 = makeAction(this, "BeginWayHeight1", "Begin Way Height");

    a.SetStartCalc1 = makeAction(this, "SetStartHeightforcalc1", "Set &Start Height for calc.", nullptr, QKeySequence(Qt::Key_F8));
    a.SetEndCalc1 = makeAction(this, "SetEndHeightforcalc1", "Set End &Height for calc.", nullptr, QKeySequence(Qt::Key_F9));
    a.Recalculate1 = makeAction(this, "ReCalculate1", "Re&Calculate", nullptr, QKeySequence(Qt::Key_F10));
    a.FillHeight1 = makeAction(this, "FillHeight1", "Fill Height");
    a.PercentCalc1 = makeAction(this, "calcheight1", "% calc height");
    a.Check1 = makeAction(this, "Check1", "Chec&k",
                          "Check|Checks the slopes against the altimeter and looks for the reading that keeps the "
                          "route off its known points");
    a.tbFillH = makeAction(this, "ToolbarButtonFillH", "Fill H", "Fill Height");
    a.tbFillPercent = makeAction(this, "ToolbarButtonFillPercent", "Fill%", "Fill procent");
    a.tbSt = makeAction(this, "ToolbarButtonSt", "St", "Set Start Height for calc");
    a.tbFin = makeAction(this, "ToolbarButtonFin", "Fin", "Set Finish Height for calc");
    a.tbCalc = makeAction(this, "ToolbarButtonCalc", "Calc", "Recalc");
    a.tbGS = makeAction(this, "ToolbarButtonGS", "GS", "goto start1 calc.");
    a.tbGF = makeAction(this, "ToolbarButtonGF", "GF", "goto finish1 calc");
    connect(a.tbFillH, &QAction::triggered, a.FillHeight1, &QAction::trigger);
    connect(a.tbFillPercent, &QAction::triggered, a.PercentCalc1, &QAction::trigger);
    connect(a.tbSt, &QAction::triggered, a.SetStartCalc1, &QAction::trigger);
    connect(a.tbFin, &QAction::triggered, a.SetEndCalc1, &QAction::trigger);
    connect(a.tbCalc, &QAction::triggered, a.Recalculate1, &QAction::trigger);
}

void TMainForm::createGridAndWindowActions()
{
    MainActions& a = m_actions;
    a.GridSaveCustom1 = makeAction(this, "Savecurrenttocustomfile1", "Save current to custom file");
    a.GridStandart1 = makeAction(this, "Standart1", "Standart");
    a.GridAltimeter1 = makeAction(this, "Altimeter1", "Altimeter");
    a.GridPercent1 = makeAction(this, "N1", "%");
    a.GridAll1 = makeAction(this, "All1", "All");
    a.GridCustom1 = makeAction(this, "Custom1", "Custom...");

    a.ViewStandart1 = makeAction(this, "StandartToolbar1", "Standart Toolbar");
    a.ViewEdit1 = makeAction(this, "EditToolbar1", "Edit Toolbar");
    a.ViewView1 = makeAction(this, "ViewToolbar1", "View Toolbar");
    a.ViewHeight1 = makeAction(this, "HeightCalcToolbar1", "Height Calc. Toolbar");
    for (QAction* v : {a.ViewStandart1, a.ViewEdit1, a.ViewView1, a.ViewHeight1})
        v->setCheckable(true);

    a.WindowCascade1 = withIcon(makeAction(this, "WindowCascade1", "&Cascade", "Cascade"), IconKind::Cascade);
    a.WindowTileHorizontal1 = withIcon(makeAction(this, "WindowTileHorizontal1", "Tile &Horizontally", "Tile Horizontally"),
                                       IconKind::TileHorizontally);
    a.WindowTileVertical1 = withIcon(makeAction(this, "WindowTileVertical1", "Tile &Vertically", "Tile Vertically"),
                                     IconKind::TileVertically);
    a.WindowMinimizeAll1 = makeAction(this, "WindowMinimizeAll1", "&Minimize All", "Minimize All");
    a.WindowArrangeAll1 = makeAction(this, "WindowArrangeAll1", "&Arrange All", "Arrange All");
    connect(a.WindowCascade1, &QAction::triggered, this, &TMainForm::cascadeDocuments);
    connect(a.WindowTileHorizontal1, &QAction::triggered, this, [this] { tileDocuments(Qt::Vertical); });
    connect(a.WindowTileVertical1, &QAction::triggered, this, [this] { tileDocuments(Qt::Horizontal); });
    connect(a.WindowMinimizeAll1, &QAction::triggered, this, &TMainForm::minimizeAllDocuments);
    connect(a.WindowArrangeAll1, &QAction::triggered, this, &TMainForm::arrangeMinimizedDocuments);

    a.HelpAbout1 = makeAction(this, "HelpAbout1", "&About...", "About|Displays program information, version number, and copyright");
    a.ChangeParyStartHeight1 = makeAction(this, "ChangeParyStartHeight1", "Change Pary/Start Height");
    a.AboutZelt1 = makeAction(this, "AboutZelt1", "About Zelt");
    connect(a.HelpAbout1, &QAction::triggered, this, &TMainForm::showAbout);
    a.HelpManual1 = makeAction(this, "HelpManual1", "&Manual", "Manual|Opens the manual: a first traverse, every column and command",
                               QKeySequence(Qt::Key_F1));
    auto* manual = new ManualShortcut(this);
    manual->setObjectName(QStringLiteral("ManualShortcut"));
    connect(a.HelpManual1, &QAction::triggered, manual, [manual] { manual->show(QStringLiteral("index.html")); });
    connect(a.AboutZelt1, &QAction::triggered, this, &TMainForm::showAbout);
}

void TMainForm::createMenus()
{
    MainActions& a = m_actions;
    QMenuBar* bar = menuBar();
    auto addMenu = [bar](const char* title, const char* hint) {
        QMenu* m = bar->addMenu(QString::fromUtf8(title));
        if (hint)
            m->menuAction()->setStatusTip(QString::fromUtf8(hint));
        return m;
    };
    QMenu* file = addMenu("&File", "File related commands");
    file->addActions({a.FileNew1, a.FileOpen1, a.FileClose1, a.FileSave1, a.SaveAs1, a.FileSaveAs1});
    file->addSeparator();
    file->addAction(a.Export1);
    a.ExportTable1 = file->addMenu(QStringLiteral("Export &Table"));
    a.ExportTable1->setObjectName(QStringLiteral("ExportTable1"));
    a.ExportTable1->addActions({a.ToMic1, a.ToTXTFile1, a.ToTXTFileVisible1});
    file->addSeparator();
    file->addActions({a.Print1, a.PrintPreview1});
    file->addSeparator();
    file->addAction(a.FileExit1);

    QMenu* edit = addMenu("&Edit", "Edit commands");
    edit->addActions({a.EditUndo1, a.EditRedo1});
    edit->addSeparator();
    edit->addActions({a.EditCut1, a.EditCopy1, a.EditPaste1});
    edit->addSeparator();
    edit->addAction(a.PasteFromExcel1);

    addMenu("&View", nullptr)->addActions({a.ViewStandart1, a.ViewEdit1, a.ViewView1, a.ViewHeight1});
    addMenu("&Settings", nullptr)->addActions({a.Parymetry1, a.StartHeight1, a.BeginWayHeight1});

    QMenu* calc = addMenu("&Calc Height", nullptr);
    calc->addActions({a.SetStartCalc1, a.SetEndCalc1, a.Recalculate1});
    calc->addSeparator();
    calc->addActions({a.FillHeight1, a.PercentCalc1});
    calc->addSeparator();
    calc->addAction(a.Check1);

    a.Grids1 = addMenu("&Grids", nullptr);
    a.Grids1->setObjectName(QStringLiteral("Grids1"));
    a.Grids1->addAction(a.GridSaveCustom1);
    a.Grids1->addSeparator();
    a.Grids1->addActions({a.GridStandart1, a.GridAltimeter1, a.GridPercent1, a.GridAll1, a.GridCustom1});

    m_windowMenu = addMenu("&Window", "Window related commands");
    m_windowMenu->addActions({a.WindowCascade1, a.WindowTileHorizontal1, a.WindowTileVertical1,
                              a.WindowMinimizeAll1, a.WindowArrangeAll1});
    connect(m_windowMenu, &QMenu::aboutToShow, this, &TMainForm::updateWindowMenu);

    QMenu* help = addMenu("&Help", "Help topics");
    help->addAction(a.HelpManual1);
    help->addSeparator();
    help->addAction(a.HelpAbout1);

    m_statusPopup = new QMenu(this);
    m_statusPopup->addActions({a.ChangeParyStartHeight1, a.AboutZelt1});
}

QToolBar* TMainForm::makeToolbar(const char* name, const char* caption, Qt::ToolBarArea area, QAction* viewItem)
{
    auto* tb = new QToolBar(QString::fromUtf8(caption), this);
    tb->setObjectName(QString::fromLatin1(name));
    tb->setMovable(true);
    tb->setFloatable(true);
    tb->setIconSize(QSize(16, 16));
    addToolBar(area, tb);
    m_toolbars.append(tb);
    // The View item mirrors whether the toolbar was hidden (by its close button, the toolbar
    // pop-up of the main window, or a restore); hiding the main window does not count.
    connect(tb, &QToolBar::visibilityChanged, viewItem, [tb, viewItem] { viewItem->setChecked(!tb->isHidden()); });
    connect(viewItem, &QAction::triggered, tb, [tb](bool checked) { tb->setVisible(checked); });
    return tb;
}

void TMainForm::addCloseButton(QToolBar* tb)
{
    // A floating toolbar carries a close button, as a small tool window would.
    auto* close = tb->addAction(commandIcon(IconKind::CloseToolbar), QStringLiteral("Close"));
    close->setObjectName(tb->objectName() + QStringLiteral("Close"));
    close->setVisible(tb->isFloating());
    connect(close, &QAction::triggered, tb, &QWidget::hide);
    connect(tb, &QToolBar::topLevelChanged, close, &QAction::setVisible);
}

void TMainForm::settleFloatingToolbars()
{
    // The settings keep a floating toolbar's place and width only. The state restored from
    // them lists it in the dock it left, so it would come back with that dock's orientation
    // (upright, from a side dock) in a box cut from the stored width and the upright height,
    // buttons hidden behind the extension button. Qt lays a toolbar dragged out of any dock
    // flat: so it comes back, as tall as its buttons and at least as wide as they need. Qt
    // does not report the restored toolbars as floating, so their close buttons are shown here.
    for (QToolBar* tb : m_toolbars) {
        if (auto* close = tb->findChild<QAction*>(tb->objectName() + QStringLiteral("Close"), Qt::FindDirectChildrenOnly))
            close->setVisible(tb->isFloating());
        if (!tb->isFloating())
            continue;
        tb->setOrientation(Qt::Horizontal);
        const QSize need = tb->sizeHint();
        tb->resize(std::max(tb->width(), need.width()), need.height());
    }
}

void TMainForm::createToolbars()
{
    MainActions& a = m_actions;
    // Named docking areas, looked up by the stored toolbar settings.
    new DockArea(QStringLiteral("Dock971"), Qt::TopToolBarArea, this);
    new DockArea(QStringLiteral("Dock972"), Qt::LeftToolBarArea, this);
    new DockArea(QStringLiteral("Dock973"), Qt::RightToolBarArea, this);
    new DockArea(QStringLiteral("Dock974"), Qt::BottomToolBarArea, this);

    QToolBar* t1 = makeToolbar("Toolbar971", "Toolbar971", Qt::TopToolBarArea, a.ViewStandart1);
    t1->addActions({a.FileNew1, a.FileOpen1, a.FileSave1, a.tbPrint, a.tbPreview});
    t1->addSeparator();
    auto* exportMenu = new QMenu(this);
    exportMenu->addActions({a.Export1, a.ToMic1, a.ToTXTFile1, a.ToTXTFileVisible1});
    a.tbExport->setMenu(exportMenu);
    t1->addActions({a.tbExport, a.tbExcel});
    t1->addSeparator();
    t1->addAction(a.tbCols);
    if (auto* b = qobject_cast<QToolButton*>(t1->widgetForAction(a.tbExport)))
        b->setPopupMode(QToolButton::MenuButtonPopup);
    if (auto* b = qobject_cast<QToolButton*>(t1->widgetForAction(a.tbCols))) {
        b->setPopupMode(QToolButton::InstantPopup);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }

    QToolBar* t2 = makeToolbar("Toolbar972", "Toolbar972", Qt::TopToolBarArea, a.ViewEdit1);
    t2->addActions({a.EditCut1, a.EditCopy1, a.EditPaste1});
    t2->addSeparator();
    t2->addAction(a.tbPasteInTable);
    t2->addSeparator();

    QToolBar* t3 = makeToolbar("Toolbar973", "Toolbar973", Qt::TopToolBarArea, a.ViewView1);
    t3->addActions({a.WindowCascade1, a.WindowTileHorizontal1, a.WindowTileVertical1});

    QToolBar* t4 = makeToolbar("Toolbar974", "Height Calculation toolbar", Qt::RightToolBarArea, a.ViewHeight1);
    t4->setToolButtonStyle(Qt::ToolButtonTextOnly);
    t4->addActions({a.tbFillH, a.tbFillPercent});
    t4->addSeparator();
    t4->addActions({a.tbSt, a.tbFin});
    t4->addSeparator();
    t4->addAction(a.tbCalc);
    t4->addSeparator();
    t4->addActions({a.tbGS, a.tbGF});
    t4->addSeparator();
    t4->addAction(a.Check1);

    for (QToolBar* tb : m_toolbars)
        addCloseButton(tb);
    t3->hide();  // the window-arrangement toolbar is hidden at the first start
    a.ViewStandart1->setChecked(true);
    a.ViewEdit1->setChecked(true);
    a.ViewView1->setChecked(false);
    a.ViewHeight1->setChecked(true);
}

void TMainForm::createStatusBar()
{
    QStatusBar* bar = statusBar();
    static constexpr int kInitialWidths[3] = {250, 50, 50};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new StatusPanel(this);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setPanelWidth(kInitialWidths[i]);
        panel->setStretches(i == 2);
        // As in a native status bar, the last panel reaches to the bar's right end.
        bar->addWidget(panel, i == 2 ? 1 : 0);
        m_panels[i] = panel;
    }
    showStatus(QStringLiteral("Done"));
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(bar, &QWidget::customContextMenuRequested, this,
            [this, bar](const QPoint& pos) { m_statusPopup->popup(bar->mapToGlobal(pos)); });
}

}  // namespace zelt::shell

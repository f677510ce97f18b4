// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: multi-document frame with the menus, toolbars, status bar and commands.
#pragma once

#include "base/diagnostic.h"

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class QToolButton;

namespace zelt::shell {

class TMDIChild;
class TRegSave;
class TAboutBox;
class StatusPanel;
class DiagnosticsDialog;

/// Texts the whole program shares.
inline constexpr const char* kMainCaption = "Zelt 4 For Cartography";  ///< main window, app title
inline constexpr const char* kStartTitle = "Zelt For Cartography";     ///< app title before load
inline constexpr const char* kShortDateFormat = "dd.MM.yy";            ///< QDate::toString format
inline constexpr const char* kLongDateFormat = "d MMMM yyyy' \u0440.'"; ///< QDate::toString format

/// The application title: the caption of the program's error boxes. It is kept apart from
/// QGuiApplication's display name, which Qt would append to every window title.
QString applicationTitle();
void setApplicationTitle(const QString& title);

/// Every command of the main window. Menu items and toolbar buttons whose hints differ are
/// separate actions that run the same handler. Hints are "short|long": the short text is the
/// tooltip, the long one goes into status panel 0. Owned by the main window.
struct MainActions {
    // File
    QAction* FileNew1 = nullptr;          ///< "&New" Ctrl+N (menu and toolbar)
    QAction* FileOpen1 = nullptr;         ///< "&Open" Ctrl+O (menu and toolbar)
    QAction* FileClose1 = nullptr;        ///< "&Close"
    QAction* FileSave1 = nullptr;         ///< "&Save" Ctrl+S (menu and toolbar)
    QAction* SaveAs1 = nullptr;           ///< "SaveAs" (copy under a new name)
    QAction* FileSaveAs1 = nullptr;       ///< "&Rename File"
    QAction* Export1 = nullptr;           ///< "&Export" (map export), menu
    QMenu* ExportTable1 = nullptr;        ///< "Export &Table" submenu
    QAction* ToMic1 = nullptr;            ///< "To Microsoft E&xcel 2000"
    QAction* ToTXTFile1 = nullptr;        ///< "To *.TXT File"
    QAction* ToTXTFileVisible1 = nullptr; ///< "To *.TXT File with only Visible Columns"
    QAction* Print1 = nullptr;            ///< "&Print" (menu)
    QAction* PrintPreview1 = nullptr;     ///< "Print P&rewiew" (menu)
    QAction* FileExit1 = nullptr;         ///< "E&xit"
    // Edit
    QAction* EditUndo1 = nullptr;         ///< "&Undo <step>" Ctrl+Z: the active document's history
    QAction* EditRedo1 = nullptr;         ///< "&Redo <step>" Ctrl+Shift+Z, Ctrl+Y
    QAction* EditCut1 = nullptr;          ///< "Cu&t" Ctrl+X
    QAction* EditCopy1 = nullptr;         ///< "&Copy" Ctrl+C
    QAction* EditPaste1 = nullptr;        ///< "&Paste" Ctrl+V
    QAction* PasteFromExcel1 = nullptr;   ///< "Paste from &Excel"
    // Settings
    QAction* Parymetry1 = nullptr;        ///< "&Pairs/Meters"
    QAction* StartHeight1 = nullptr;      ///< "Start &Height"
    QAction* BeginWayHeight1 = nullptr;   ///< "Begin Way Height"
    // Calc Height
    QAction* SetStartCalc1 = nullptr;     ///< "Set &Start Height for calc." F8
    QAction* SetEndCalc1 = nullptr;       ///< "Set End &Height for calc." F9
    QAction* Recalculate1 = nullptr;      ///< "Re&Calculate" F10
    QAction* FillHeight1 = nullptr;       ///< "Fill Height"
    QAction* PercentCalc1 = nullptr;      ///< "% calc height"
    QAction* Check1 = nullptr;            ///< "Chec&k": slopes against the altimeter, suspect readings
    // Grids
    QMenu* Grids1 = nullptr;              ///< "Grids" menu
    QAction* GridSaveCustom1 = nullptr;   ///< "Save current to custom file"
    QAction* GridStandart1 = nullptr;     ///< "Standart" (std.ing)
    QAction* GridAltimeter1 = nullptr;    ///< "Altimeter" (abs.ing)
    QAction* GridPercent1 = nullptr;      ///< "%" (procent.ing)
    QAction* GridAll1 = nullptr;          ///< "All"
    QAction* GridCustom1 = nullptr;       ///< "Custom..."
    // View (checkable, mirror the toolbars' visibility)
    QAction* ViewStandart1 = nullptr;     ///< "Standart Toolbar" (Toolbar971)
    QAction* ViewEdit1 = nullptr;         ///< "Edit Toolbar" (Toolbar972)
    QAction* ViewView1 = nullptr;         ///< "View Toolbar" (Toolbar973)
    QAction* ViewHeight1 = nullptr;       ///< "Height Calc. Toolbar" (Toolbar974)
    // Window
    QAction* WindowCascade1 = nullptr;    ///< "&Cascade"
    QAction* WindowTileHorizontal1 = nullptr; ///< "Tile &Horizontally" (windows stacked top to bottom)
    QAction* WindowTileVertical1 = nullptr;   ///< "Tile &Vertically" (windows side by side)
    QAction* WindowMinimizeAll1 = nullptr;    ///< "&Minimize All"
    QAction* WindowArrangeAll1 = nullptr;     ///< "&Arrange All"
    // Help and status bar pop-up
    QAction* HelpAbout1 = nullptr;        ///< "&About..."
    QAction* HelpManual1 = nullptr;       ///< "&Manual" (F1)
    QAction* ChangeParyStartHeight1 = nullptr; ///< "Change Pary/Start Height" (pop-up)
    QAction* AboutZelt1 = nullptr;        ///< "About Zelt" (pop-up)
    // Toolbar-only buttons (own hints)
    QAction* tbPrint = nullptr;           ///< "Print table|Prints current table"
    QAction* tbPreview = nullptr;         ///< "Previw file to print|Opens preview window"
    QAction* tbExport = nullptr;          ///< Export, drop-down look (runs Export1)
    QAction* tbExcel = nullptr;           ///< ToolbarButton9712: runs ToMic1
    QAction* tbCols = nullptr;            ///< "Cols": column drop-down (menu KolonkuMenu)
    QAction* tbPasteInTable = nullptr;    ///< "Paste in table|Pastes from buffer to table"
    QAction* tbFillH = nullptr;           ///< "Fill H": runs FillHeight1
    QAction* tbFillPercent = nullptr;     ///< "Fill%": percent heights
    QAction* tbSt = nullptr;              ///< "St": runs SetStartCalc1
    QAction* tbFin = nullptr;             ///< "Fin": runs SetEndCalc1
    QAction* tbCalc = nullptr;            ///< "Calc": runs Recalculate1
    QAction* tbGS = nullptr;              ///< "GS": go to the start cell
    QAction* tbGF = nullptr;              ///< "GF": go to the end cell
    QMenu* KolonkuMenu = nullptr;         ///< drop-down of the "Cols" button
};

/// The main window (`TMainForm`): a QMainWindow around a QMdiArea of document windows.
/// Commands act on the active document window; enabling is recomputed whenever the program
/// is idle. Other command modules connect to the actions of actions().
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    /// Builds the window, restores placement and toolbars from the settings store (failures
    /// are shown and the rest of the restore is skipped) and sets the View check marks.
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    /// The active document window, or null when none is open.
    TMDIChild* activeDocument() const;
    /// Number of open document windows.
    int documentCount() const;
    /// Open document windows in stacking order, furthest back first, active last.
    QList<TMDIChild*> documents() const;
    /// Puts `text` into status panel 0 (`ShowStatus`).
    void showStatus(const QString& text);
    void ShowStatus(const QString& text) { showStatus(text); }
    /// Puts `text` into status panel 0 as a notice about `document`: it goes when that document
    /// changes (a new step, Undo, Redo), closes or another window takes the turn.
    void showStatusFor(const QObject* document, const QString& text);
    /// Empties status panel 0 when it still shows `text` (a prompt whose question is over).
    void clearStatus(const QString& text);
    /// The text of status panel 0.
    QString statusText() const { return m_statusText; }
    /// Shows what a command left for the user: one diagnostic as its line in the status bar,
    /// several in the diagnostics list (non-modal, titled `context`), none changes nothing.
    /// Rows named by the entries are rows of `document` (the active document when null).
    void showDiagnostics(const std::vector<zelt::document::Diagnostic>& diagnostics, const QString& context,
                         TMDIChild* document = nullptr);
    /// The list that showDiagnostics fills; null until it first showed several.
    DiagnosticsDialog* diagnosticsDialog() const { return m_diagnostics; }
    /// Brings the table at `path` into a new document window, unless a window with exactly
    /// this caption is open already (then nothing happens). Errors are shown; the window
    /// created stays open with what was done so far.
    void OpenDocument(const QString& path);

    const MainActions& actions() const { return m_actions; }
    QMdiArea* mdiArea() const { return m_mdi; }
    /// `Toolbar971` .. `Toolbar974` (index 0..3).
    QToolBar* toolbar(int index) const;
    QList<QToolBar*> toolbars() const;
    /// Status panel 0..2 (its width as set by the sizing rule: panelWidth()).
    StatusPanel* statusPanel(int index) const;
    TRegSave& regSave() const { return *m_regSave; }

    /// Recomputes enabling and status panel 2 now (also done on every idle moment).
    void updateEnabling();
    /// Shows the About box modally.
    void showAbout();

    /// Asks the user for a table path: the open dialog (`forSave` false) or the save dialog
    /// of tables. Returns an empty text on cancel. Tests replace it with setPathPrompt.
    using PathPrompt = std::function<QString(QWidget* parent, bool forSave)>;
    void setPathPrompt(PathPrompt prompt) { m_pathPrompt = std::move(prompt); }

public slots:
    void FileNew1Execute();
    void FileOpen1Execute();
    void FileClose1Execute();
    void FileSave1Execute();
    void FileSaveAs1Execute();  ///< "&Rename File"
    void SaveAs1Click();        ///< "SaveAs"
    void FileExit1Execute();

signals:
    /// A document window was created by OpenDocument (before its table is opened).
    void documentCreated(zelt::shell::TMDIChild* child);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createActions();
    void createFileActions();
    void createEditAndCalcActions();
    void createGridAndWindowActions();
    void createMenus();
    void createToolbars();
    void createStatusBar();
    QToolBar* makeToolbar(const char* name, const char* caption, Qt::ToolBarArea area, QAction* viewItem);
    void addCloseButton(QToolBar* toolbar);
    void settleFloatingToolbars();
    void placeFirstStart();
    void keepOnScreen();
    void restoreSettings();
    bool saveSettings();
    bool closeAllDocuments();
    void updateWindowMenu();
    void layoutStatusPanels();
    void updateEditActions();
    void updateUndoAction(QAction* action, bool redo, const TMDIChild* active);
    void editFocused(int command);
    void stepHistory(bool redo);
    void documentActivated(QMdiSubWindow* sub);
    void clearStatusOf(const QObject* document);
    QList<QMdiSubWindow*> arrangeableDocuments() const;
    void tileDocuments(Qt::Orientation stacking);
    void cascadeDocuments();
    void minimizeAllDocuments();
    void arrangeMinimizedDocuments();
    /// Asks for a table path: to open one, or (`forSave`) the target of `title` ("Save As",
    /// "Rename File"), starting in the active table's folder.
    QString askTablePath(bool forSave, const QString& title = {});
    /// Where File > New makes its table.
    QString newDocumentFolder() const;
    void connectCommandModules();

    MainActions m_actions;
    QMdiArea* m_mdi = nullptr;
    QMenu* m_windowMenu = nullptr;
    QList<QAction*> m_windowListActions;
    QList<QToolBar*> m_toolbars;
    StatusPanel* m_panels[3] = {nullptr, nullptr, nullptr};
    QMenu* m_statusPopup = nullptr;
    TRegSave* m_regSave = nullptr;
    TAboutBox* m_about = nullptr;
    QString m_statusText;                 ///< panel 0's message, shown again when a hint ends
    QString m_lastFolder;                 ///< folder of the table last opened, made or chosen
    DiagnosticsDialog* m_diagnostics = nullptr;
    PathPrompt m_pathPrompt;
    QMetaObject::Connection m_idleConnection;
    QPointer<QMdiSubWindow> m_lastActive;   ///< the document window that had the turn last
    const QObject* m_statusOwner = nullptr; ///< the document window whose notice panel 0 shows
    bool m_updating = false;
    bool m_clipboardHasText = false;
};

}  // namespace zelt::shell

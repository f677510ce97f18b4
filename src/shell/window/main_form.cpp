// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: multi-document frame with the menus, toolbars, status bar and commands.
#include "shell/window/main_form.h"

#include "document/value_format.h"
#include "shell/commands/about_box.h"
#include "shell/commands/diagnostics_dialog.h"
#include "shell/window/icons.h"
#include "shell/window/mdi_child.h"
#include "shell/settings/reg_save.h"
#include "shell/settings/session_entry.h"
#include "shell/window/status_panel.h"

#include <QAbstractEventDispatcher>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSessionManager>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

#include <algorithm>

namespace zelt::shell {

namespace {

QString general(double v, const zelt::document::TraverseTable& table)
{
    return QString::fromStdString(zelt::document::formatGeneral(v, table.decimalSeparator()));
}

QString& titleStore()
{
    static QString title = QString::fromLatin1(kStartTitle);
    return title;
}

void showRegistryError(QWidget* parent, const RegistryError& e)
{
    QMessageBox box(QMessageBox::Critical, applicationTitle(), QString::fromUtf8(e.what()),
                    QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

QString applicationTitle()
{
    return titleStore();
}

void setApplicationTitle(const QString& title)
{
    titleStore() = title;
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    // The application's title becomes the full program name while the main window loads.
    setApplicationTitle(QString::fromLatin1(kMainCaption));
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setWindowIcon(commandIcon(IconKind::Program));
    placeFirstStart();

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MDIArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &TMainForm::documentActivated);

    createActions();
    createMenus();
    createToolbars();
    createStatusBar();
    m_about = new TAboutBox(this);

    m_regSave = new TRegSave(this);
    m_regSave->setObjectName(QStringLiteral("RegSave1"));
    m_regSave->setCurrForm(this);
    m_regSave->setProgName(QStringLiteral("Zelt"));
    restoreSettings();
    keepOnScreen();

    connectCommandModules();
    // Enabling follows the program's state whenever it has nothing else to do.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        m_idleConnection = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                                   &TMainForm::updateEnabling);
    // Whether the clipboard holds text is asked once per change, not at every idle moment
    // (asking another program's clipboard costs a round trip).
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        auto check = [this, clipboard] {
            const QMimeData* data = clipboard->mimeData();
            m_clipboardHasText = data && data->hasText();
        };
        connect(clipboard, &QClipboard::dataChanged, this, check);
        check();
    }
    // On log-off the program asks to be started again at the next logon.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [](QSessionManager&) {
        writeLogOffEntry(QString::fromLatin1(kMainCaption), QCoreApplication::applicationFilePath());
    });
    layoutStatusPanels();
    updateEnabling();
}

TMainForm::~TMainForm()
{
    disconnect(m_idleConnection);
    // Child widgets are deleted by the QWidget base, when this is no longer a TMainForm: their
    // signals must not reach it then.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
}

void TMainForm::placeFirstStart()
{
    // Three quarters of the screen's free area, in its middle; the settings replace it later.
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        resize(480, 310);
        return;
    }
    const QRect area = screen->availableGeometry();
    resize(std::max(480, area.width() * 3 / 4), std::max(310, area.height() * 3 / 4));
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void TMainForm::keepOnScreen()
{
    // A stored place from another screen (or another scale) must not put the window, or its
    // title bar, out of reach: the window is shrunk to the screen it is on, or the first one,
    // and moved wholly onto it, with room for the frame the window manager adds.
    QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    constexpr int kTitle = 32;
    constexpr int kBorder = 8;
    const QRect area = screen->availableGeometry();
    const QSize fitted = size().boundedTo(area.size() - QSize(2 * kBorder, kTitle + kBorder)).expandedTo(QSize(200, 100));
    const int x = std::clamp(pos().x(), area.left(), std::max(area.left(), area.right() + 1 - fitted.width() - 2 * kBorder));
    const int y = std::clamp(pos().y(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - fitted.height() - kTitle - kBorder));
    if (fitted != size())
        resize(fitted);
    if (QPoint(x, y) != pos())
        move(x, y);
}

void TMainForm::restoreSettings()
{
    // Placement, then toolbars, then the View check marks; a failure shows its message and
    // skips the rest, and the program starts with what was applied.
    try {
        m_regSave->RestoreForm();
        m_regSave->RestoreToolbars();
        settleFloatingToolbars();
    } catch (const RegistryError& e) {
        showRegistryError(this, e);
        return;
    }
    const QList<QAction*> viewItems{m_actions.ViewStandart1, m_actions.ViewEdit1, m_actions.ViewView1,
                                    m_actions.ViewHeight1};
    for (int i = 0; i < 4; ++i)
        viewItems[i]->setChecked(!m_toolbars[i]->isHidden());
}

bool TMainForm::saveSettings()
{
    try {
        m_regSave->SaveFormAndToolbars();
    } catch (const RegistryError& e) {
        showRegistryError(this, e);
        return false;
    }
    return true;
}

QList<TMDIChild*> TMainForm::documents() const
{
    QList<TMDIChild*> result;
    for (QMdiSubWindow* sub : m_mdi->subWindowList(QMdiArea::StackingOrder))
        if (auto* child = qobject_cast<TMDIChild*>(sub->widget()); child && !child->isClosed())
            result.append(child);
    return result;
}

TMDIChild* TMainForm::activeDocument() const
{
    QMdiSubWindow* sub = m_mdi->currentSubWindow();
    auto* child = sub ? qobject_cast<TMDIChild*>(sub->widget()) : nullptr;
    if (child && !child->isClosed())
        return child;
    // The current window is going away; the one on top of the rest takes over.
    const QList<TMDIChild*> docs = documents();
    return docs.isEmpty() ? nullptr : docs.last();
}

int TMainForm::documentCount() const
{
    return static_cast<int>(documents().size());
}

QToolBar* TMainForm::toolbar(int index) const
{
    return m_toolbars.value(index);
}

QList<QToolBar*> TMainForm::toolbars() const
{
    return m_toolbars;
}

StatusPanel* TMainForm::statusPanel(int index) const
{
    return index >= 0 && index < 3 ? m_panels[index] : nullptr;
}

void TMainForm::showStatus(const QString& text)
{
    m_statusOwner = nullptr;
    m_statusText = text;
    m_panels[0]->setText(text);
}

void TMainForm::showStatusFor(const QObject* document, const QString& text)
{
    showStatus(text);
    m_statusOwner = document;
}

void TMainForm::clearStatus(const QString& text)
{
    if (m_statusText == text)
        showStatus(QString());
}

void TMainForm::showDiagnostics(const std::vector<zelt::document::Diagnostic>& diagnostics, const QString& context,
                                TMDIChild* document)
{
    if (diagnostics.empty())
        return;
    if (diagnostics.size() == 1) {
        showStatus(QString::fromStdString(zelt::document::diagnosticLine(diagnostics.front())));
        return;
    }
    if (!m_diagnostics)
        m_diagnostics = new DiagnosticsDialog(this);
    m_diagnostics->setDiagnostics(diagnostics, context, document ? document : activeDocument());
    m_diagnostics->show();
    m_diagnostics->raise();
}

void TMainForm::showAbout()
{
    m_about->exec();
}

void TMainForm::updateEnabling()
{
    if (m_updating)
        return;
    m_updating = true;
    const MainActions& a = m_actions;
    const TMDIChild* active = activeDocument();
    const bool any = documentCount() > 0 && active;
    for (QAction* act : {a.PrintPreview1, a.tbPreview, a.Parymetry1, a.StartHeight1, a.tbExport, a.tbExcel,
                         a.ExportTable1->menuAction(), a.ToMic1, a.ToTXTFile1, a.ToTXTFileVisible1,
                         a.PasteFromExcel1, a.tbPasteInTable, a.SetStartCalc1, a.SetEndCalc1, a.tbSt, a.tbFin,
                         a.BeginWayHeight1, a.tbPrint, a.Print1, a.Grids1->menuAction(), a.tbCols, a.FillHeight1,
                         a.tbFillH, a.Export1, a.tbFillPercent, a.SaveAs1, a.PercentCalc1, a.FileSave1,
                         a.FileSaveAs1, a.FileClose1, a.Check1, a.WindowCascade1, a.WindowTileHorizontal1,
                         a.WindowTileVertical1, a.WindowMinimizeAll1, a.WindowArrangeAll1})
        act->setEnabled(any);
    const bool start = any && active->document().calcStartSelected;
    const bool end = any && active->document().calcEndSelected;
    a.tbGS->setEnabled(start);
    a.tbGF->setEnabled(end);
    a.Recalculate1->setEnabled(start && end);
    a.tbCalc->setEnabled(start && end);
    updateEditActions();
    updateUndoAction(a.EditUndo1, false, any ? active : nullptr);
    updateUndoAction(a.EditRedo1, true, any ? active : nullptr);

    const QString values = any ? general(active->document().pairsPer100m, active->document().table) + QStringLiteral("/100 ; ")
                                     + general(active->document().startHeight, active->document().table) + QStringLiteral(" m")
                               : QString();
    if (m_panels[2]->text() != values)
        m_panels[2]->setText(values);
    m_updating = false;
}

void TMainForm::updateEditActions()
{
    // Cut, copy and paste work on the focused text field (a grid cell editor, a dialog field).
    const auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    const bool selection = edit && edit->hasSelectedText() && edit->echoMode() == QLineEdit::Normal;
    m_actions.EditCut1->setEnabled(selection && !edit->isReadOnly());
    m_actions.EditCopy1->setEnabled(selection);
    m_actions.EditPaste1->setEnabled(edit && !edit->isReadOnly() && m_clipboardHasText);
}

void TMainForm::updateUndoAction(QAction* action, bool redo, const TMDIChild* active)
{
    // The menu names what Undo and Redo would do: typing in a text field, the row being typed,
    // or the last step of the active document's history.
    const auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    const bool outsideGrid = edit && !(active && active->isAncestorOf(edit)) && !edit->isReadOnly();
    QString name;
    if (outsideGrid && (redo ? edit->isRedoAvailable() : edit->isUndoAvailable()))
        name = QStringLiteral("Typing");
    else if (active)
        name = active->undoName(redo);
    const QString verb = redo ? QStringLiteral("Redo") : QStringLiteral("Undo");
    const QString text = QLatin1Char('&') + verb + (name.isEmpty() ? QString() : QLatin1Char(' ') + name);
    if (action->text() != text) {
        action->setText(text);
        action->setToolTip(verb + (name.isEmpty() ? QString() : QLatin1Char(' ') + name));
        action->setStatusTip(name.isEmpty() ? QString()
                             : (redo ? QStringLiteral("Brings back: ") : QStringLiteral("Takes back: ")) + name);
    }
    action->setEnabled(!name.isEmpty());
}

void TMainForm::stepHistory(bool redo)
{
    TMDIChild* active = activeDocument();
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (edit && !(active && active->isAncestorOf(edit)) && (redo ? edit->isRedoAvailable() : edit->isUndoAvailable())) {
        redo ? edit->redo() : edit->undo();
        return;
    }
    if (active) {
        redo ? active->redoLast() : active->undoLast();
        updateEnabling();
    }
}

void TMainForm::documentActivated(QMdiSubWindow* sub)
{
    // Another document window takes the turn: the row being typed in the one left is stored
    // as leaving the row would store it, or its user corrects or discards it. Done once the
    // activation is over, since the question may bring the window left back to the front.
    if (!sub)
        return;  // the whole program lost the focus; nothing was left
    if (sub->widget() != m_statusOwner)
        clearStatusOf(m_statusOwner);
    QPointer<QMdiSubWindow> left = m_lastActive;
    m_lastActive = sub;
    if (!left || left == sub)
        return;
    QTimer::singleShot(0, this, [left] {
        if (auto* child = left ? qobject_cast<TMDIChild*>(left->widget()) : nullptr)
            child->settlePendingRow();
    });
}

void TMainForm::clearStatusOf(const QObject* document)
{
    if (document && document == m_statusOwner)
        showStatus(QString());
}

void TMainForm::editFocused(int command)
{
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!edit)
        return;
    switch (command) {
    case 0: edit->cut(); break;
    case 1: edit->copy(); break;
    default: edit->paste(); break;
    }
}

void TMainForm::layoutStatusPanels()
{
    m_panels[2]->setPanelWidth(50);
    m_panels[0]->setPanelWidth(static_cast<int>(width() * 0.75) - 50);
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    layoutStatusPanels();
}

bool TMainForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        // The long part of a hint goes into the first panel, not over the whole bar. A hint
        // only lasts while the pointer is on its command: when it ends, the panel shows the
        // last message again, so a note or prompt is not lost by moving the pointer off the
        // button that ran the command.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        m_panels[0]->setText(tip.isEmpty() ? m_statusText : tip);
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Placement and toolbars are saved first; a value that cannot be written keeps the
    // window open. Then the documents close from the one furthest back to the active one.
    if (!saveSettings() || !closeAllDocuments()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool TMainForm::closeAllDocuments()
{
    for (QMdiSubWindow* sub : m_mdi->subWindowList(QMdiArea::StackingOrder)) {
        auto* child = qobject_cast<TMDIChild*>(sub->widget());
        if (child && child->isClosed())
            continue;
        // A document whose companions cannot be written stays open, and so does the program.
        if (!sub->close())
            return false;
    }
    return true;
}

void TMainForm::updateWindowMenu()
{
    for (QAction* a : m_windowListActions) {
        m_windowMenu->removeAction(a);
        delete a;
    }
    m_windowListActions.clear();
    const QList<QMdiSubWindow*> subs = m_mdi->subWindowList(QMdiArea::CreationOrder);
    int number = 0;
    for (QMdiSubWindow* sub : subs) {
        auto* child = qobject_cast<TMDIChild*>(sub->widget());
        if (!child || child->isClosed())
            continue;
        if (m_windowListActions.isEmpty())
            m_windowListActions.append(m_windowMenu->addSeparator());
        ++number;
        const QString caption = number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(child->windowTitle())
                                            : QStringLiteral("%1 %2").arg(number).arg(child->windowTitle());
        QAction* item = m_windowMenu->addAction(caption);
        item->setCheckable(true);
        item->setChecked(child == activeDocument());
        connect(item, &QAction::triggered, this, [this, sub] { m_mdi->setActiveSubWindow(sub); });
        m_windowListActions.append(item);
    }
}

QList<QMdiSubWindow*> TMainForm::arrangeableDocuments() const
{
    // The windows Tile and Cascade place: shown and not minimised, furthest back first.
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* sub : m_mdi->subWindowList(QMdiArea::StackingOrder))
        if (!sub->isMinimized() && sub->isVisible())
            subs.append(sub);
    return subs;
}

void TMainForm::tileDocuments(Qt::Orientation stacking)
{
    // "Tile Horizontally" stacks the windows one above the other, each as wide as the area;
    // "Tile Vertically" puts them side by side, each as high as the area.
    const QList<QMdiSubWindow*> subs = arrangeableDocuments();
    if (subs.isEmpty())
        return;
    const QRect area = m_mdi->viewport()->rect();
    const int n = static_cast<int>(subs.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* sub = subs[n - 1 - i];  // the active window takes the first place
        sub->showNormal();
        if (stacking == Qt::Vertical) {
            const int top = area.height() * i / n, bottom = area.height() * (i + 1) / n;
            sub->setGeometry(0, top, area.width(), bottom - top);
        } else {
            const int left = area.width() * i / n, right = area.width() * (i + 1) / n;
            sub->setGeometry(left, 0, right - left, area.height());
        }
    }
}

void TMainForm::cascadeDocuments()
{
    // Each window steps one title bar down and right from the one behind it and is as large as
    // the area leaves room for (at least two thirds of it: a window shows a useful part of its
    // table); when the steps would leave the area they start again at the top left.
    const QList<QMdiSubWindow*> subs = arrangeableDocuments();
    if (subs.isEmpty())
        return;
    const QRect area = m_mdi->viewport()->rect();
    const int n = static_cast<int>(subs.size());
    const int step = std::max(8, subs.front()->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, subs.front()));
    const QSize size(std::max(area.width() * 2 / 3, area.width() - step * (n - 1)),
                     std::max(area.height() * 2 / 3, area.height() - step * (n - 1)));
    const int room = std::max(0, std::min(area.width() - size.width(), area.height() - size.height()) / step);
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* sub = subs[i];   // furthest back first: the active window ends on top
        const int k = i % (room + 1);
        sub->showNormal();
        sub->setGeometry(QRect(QPoint(k * step, k * step), size));
        sub->raise();
    }
    m_mdi->setActiveSubWindow(subs.back());
}

void TMainForm::minimizeAllDocuments()
{
    for (QMdiSubWindow* sub : m_mdi->subWindowList(QMdiArea::CreationOrder))
        sub->showMinimized();
}

void TMainForm::arrangeMinimizedDocuments()
{
    // Minimised windows line up along the bottom edge, left to right.
    const QRect area = m_mdi->viewport()->rect();
    int x = 0, y = area.bottom();
    for (QMdiSubWindow* sub : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isMinimized())
            continue;
        const QSize s = sub->size();
        if (x > 0 && x + s.width() > area.width()) {
            x = 0;
            y -= s.height();
        }
        sub->move(x, y - s.height() + 1);
        x += s.width();
    }
}

}  // namespace zelt::shell

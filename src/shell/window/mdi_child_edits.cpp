// SPDX-License-Identifier: GPL-3.0-or-later
// Document window: Undo and Redo, and the row being typed when the window closes or loses its turn.
#include "shell/window/mdi_child.h"

#include "shell/grid/grid_view.h"
#include "shell/window/main_form.h"
#include "shell/window/undo_commands.h"

#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUndoStack>

namespace zelt::shell {

using zelt::document::TraverseTable;

QLineEdit* TMDIChild::typingEditor() const
{
    auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    return line && m_grid && m_grid->viewport()->isAncestorOf(line) ? line : nullptr;
}

QString TMDIChild::undoName(bool redo) const
{
    if (const QLineEdit* line = typingEditor(); line && (redo ? line->isRedoAvailable() : line->isUndoAvailable()))
        return QStringLiteral("Typing");
    const TraverseTable& t = m_document->table;
    if (!redo && t.isOpen() && t.state() != TraverseTable::State::Browse && t.isModified())
        return (t.state() == TraverseTable::State::Insert ? QStringLiteral("New Row %1") : QStringLiteral("Edit Row %1"))
            .arg(t.recNo());
    if (!redo)
        return m_history->nextUndoName();
    // Rows written since the last step end what there was to redo.
    const QUndoStack* s = m_history->stack();
    return s->canRedo() && !m_history->recorder().hasRows() ? s->redoText() : QString();
}

void TMDIChild::undoLast()
{
    stepHistory(false);
}

void TMDIChild::redoLast()
{
    stepHistory(true);
}

void TMDIChild::stepHistory(bool redo)
{
    if (QLineEdit* line = typingEditor(); line && (redo ? line->isRedoAvailable() : line->isUndoAvailable())) {
        redo ? line->redo() : line->undo();
        return;
    }
    TraverseTable& t = Table1();
    if (!t.isOpen() || t.isReadOnly())
        return;
    // The row being typed is stored first, as leaving it would store it: Undo then takes it
    // back as a step that Redo can bring back. A refusal was shown; the editor keeps its text.
    if (!static_cast<GridView*>(m_grid)->commitOpenEditor())
        return;
    try {
        t.checkBrowseMode();
    } catch (const std::exception& e) {
        showError(this, QString::fromUtf8(e.what()));
        return;
    }
    m_history->takeLoose();
    QUndoStack* stack = m_history->stack();
    if (redo ? !stack->canRedo() : !stack->canUndo())
        return;
    redo ? stack->redo() : stack->undo();
    // The cell editor showed the old text: the grid is read again and the editor opens anew.
    refreshRows();
}

bool TMDIChild::settlePendingRow()
{
    TraverseTable& t = Table1();
    if (m_closed || !t.isOpen())
        return true;
    auto* view = static_cast<GridView*>(m_grid);
    if (t.isReadOnly()) {
        // A table that stopped taking writes half-way (a full disk, an I/O error) still holds
        // the row whose write failed: it is not stored, and closing would drop it unseen.
        if (t.state() == TraverseTable::State::Browse || !t.isModified())
            return true;
        return askAboutPendingRow(QString::fromStdString(t.readOnlyReason()), false);
    }
    m_settling = true;
    m_settleError.clear();
    const bool committed = view->commitOpenEditor();
    m_settling = false;
    QString problem = committed ? QString() : m_settleError;
    if (committed) {
        try {
            t.checkBrowseMode();
        } catch (const std::exception& e) {
            problem = QString::fromUtf8(e.what());
        }
    } else if (problem.isEmpty()) {
        problem = QStringLiteral("the value typed was refused");
    }
    if (problem.isEmpty()) {
        m_history->takeLoose();
        return true;
    }
    // A write that failed (rather than a value the rules refused) leaves the table read-only.
    return askAboutPendingRow(problem, !t.isReadOnly());
}

bool TMDIChild::askAboutPendingRow(const QString& problem, bool correctable)
{
    TraverseTable& t = Table1();
    auto* view = static_cast<GridView*>(m_grid);
    const QString question = correctable
        ? QStringLiteral("Correct the row, or discard what was typed in it?")
        : QStringLiteral("The table takes no more changes until it is opened again. Keep this window open with "
                         "the row (its values can still be read and copied), or discard the row?");
    QMessageBox box(QMessageBox::Warning, applicationTitle(),
                    QStringLiteral("Row %1 of \"%2\" cannot be stored:\n%3\n\n%4")
                        .arg(t.recNo())
                        .arg(m_pathCaption, problem, question),
                    QMessageBox::NoButton, this);
    QPushButton* keep = box.addButton(correctable ? QStringLiteral("&Correct") : QStringLiteral("&Keep"),
                                      QMessageBox::RejectRole);
    QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    // The question takes the focus from the editor, which tries its text again: that refusal
    // is the one asked about, not a message of its own.
    m_settling = true;
    box.exec();
    m_settling = false;
    if (box.clickedButton() == discard) {
        view->discardOpenEditor();
        t.cancel();
        return true;
    }
    // Back to the row: this window in front, the cell editor with the refused text.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        if (QMdiArea* area = sub->mdiArea())
            area->setActiveSubWindow(sub);
    if (QWidget* editor = view->openEditor())
        editor->setFocus();
    else
        m_grid->setFocus();
    return false;
}

}  // namespace zelt::shell

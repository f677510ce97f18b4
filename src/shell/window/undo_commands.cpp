// SPDX-License-Identifier: GPL-3.0-or-later
// The undo history of a document window: recorded changes on a QUndoStack, named for the Edit menu.
#include "shell/window/undo_commands.h"

#include "shell/commands/document_change.h"
#include "shell/window/mdi_child.h"

#include <QTimer>
#include <QUndoStack>

#include <deque>
#include <exception>
#include <utility>

namespace zelt::shell {

using zelt::document::DocumentChange;

// --- DocumentUndoCommand

DocumentUndoCommand::DocumentUndoCommand(DocumentHistory& history, DocumentChange change, const QString& text)
    : QUndoCommand(text), m_history(history), m_change(std::move(change)), m_bytes(m_change.memoryBytes())
{
}

void DocumentUndoCommand::undo()
{
    m_history.replay(m_change, false);
    m_done = false;
}

void DocumentUndoCommand::redo()
{
    if (m_done)
        return;  // pushed after the change was made
    m_history.replay(m_change, true);
    m_done = true;
}

// --- DocumentHistory

DocumentHistory::DocumentHistory(TMDIChild& child)
    : QObject(&child), m_child(child), m_recorder(child.document()), m_stack(new QUndoStack(this))
{
    m_stack->setUndoLimit(kMaxSteps);
    // Rows written by typing become a step once the event that wrote them is over, so that
    // a field rule's second post of the same row belongs to the same step.
    m_recorder.setWriteNotice([this] {
        if (m_takeQueued)
            return;
        m_takeQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_takeQueued = false;
            takeLoose();
        });
    });
}

DocumentHistory::~DocumentHistory()
{
    m_recorder.setWriteNotice({});
}

QString DocumentHistory::nameOf(const DocumentChange& change)
{
    using Kind = DocumentChange::Kind;
    switch (change.kind()) {
    case Kind::EditRow: return QStringLiteral("Edit Row %1").arg(change.firstRow());
    case Kind::NewRow: return QStringLiteral("New Row %1").arg(change.firstRow());
    case Kind::DeleteRow: return QStringLiteral("Delete Row %1").arg(change.firstRow());
    case Kind::Rows: return QStringLiteral("Edit Rows");
    default: return QStringLiteral("Change");
    }
}

void DocumentHistory::takeLoose()
{
    if (!m_recorder.hasRows())
        return;
    DocumentChange change = m_recorder.take();
    const QString text = nameOf(change);
    push(std::move(change), text);
}

void DocumentHistory::pushNamed(const QString& text)
{
    push(m_recorder.take(), text);
}

void DocumentHistory::push(DocumentChange change, const QString& text)
{
    if (m_recorder.lostWrites()) {
        // A write went unrecorded: undoing earlier steps would no longer meet the rows they left.
        m_stack->clear();
        return;
    }
    if (change.empty())
        return;
    m_stack->push(new DocumentUndoCommand(*this, std::move(change), text));
    trim();
}

QString DocumentHistory::nextUndoName() const
{
    if (m_recorder.hasRows())
        return nameOf(m_recorder.pending());
    return m_stack->canUndo() ? m_stack->undoText() : QString();
}

void DocumentHistory::forget()
{
    m_recorder.take();
    m_stack->clear();
}

std::size_t DocumentHistory::memoryBytes() const
{
    std::size_t bytes = 0;
    for (int i = 0; i < m_stack->count(); ++i)
        bytes += static_cast<const DocumentUndoCommand*>(m_stack->command(i))->memoryBytes();
    return bytes;
}

void DocumentHistory::trim()
{
    if (memoryBytes() <= kMaxBytes || m_stack->count() < 2)
        return;
    // QUndoStack drops its oldest steps only by count: the newest steps that fit the budget are
    // taken out and pushed again (trim runs right after a push, so there is nothing to redo).
    struct Kept {
        DocumentChange change;
        QString text;
    };
    std::deque<Kept> kept;
    std::size_t bytes = 0;
    for (int i = m_stack->count() - 1; i >= 0; --i) {
        auto* command = static_cast<DocumentUndoCommand*>(const_cast<QUndoCommand*>(m_stack->command(i)));
        if (!kept.empty() && bytes + command->memoryBytes() > kMaxBytes)
            break;
        bytes += command->memoryBytes();
        kept.push_front({command->takeChange(), command->text()});
    }
    m_stack->clear();
    for (Kept& k : kept)
        m_stack->push(new DocumentUndoCommand(*this, std::move(k.change), k.text));
}

void DocumentHistory::replay(DocumentChange& change, bool forward)
{
    if (m_failed)
        return;
    const auto step = [&] {
        if (forward)
            change.reapply(m_child.document());
        else
            change.revert(m_child.document());
    };
    using Kind = DocumentChange::Kind;
    try {
        // A step that sets survey values, marks or known points, or writes several rows, is one
        // change of the files: its companions are written at once (the .inf must not keep the
        // values taken back until the window closes) and a kill half-way is rolled back at the
        // next open. A single row is one write of the table already.
        zelt::document::DocumentSession& session = m_child.session();
        const bool journaled = change.setsValues() || change.kind() == Kind::Rows;
        if (journaled && session.isOpen() && !session.inChange())
            runAsChange(session, forward ? "redo" : "undo", step);
        else
            step();
    } catch (const std::exception& e) {
        replayFailed(QString::fromUtf8(e.what()));
    }
}

void DocumentHistory::replayFailed(const QString& message)
{
    m_failed = true;
    // Not inside QUndoStack::undo(): clearing deletes the step that is running.
    QTimer::singleShot(0, this, [this, message] {
        m_stack->clear();
        m_failed = false;
        m_child.refreshRows();
        TMDIChild::showError(&m_child, message + QStringLiteral("\n\nThe undo history of this table was cleared."));
    });
}

// --- UndoStep

UndoStep::UndoStep(TMDIChild* child, const QString& name, Pending pending) : m_name(name)
{
    if (!child)
        return;
    m_history = child->history();
    // A row still being typed is stored first, as the command's own walk would store it, and
    // becomes a step of its own. Its refusal is the command's to report.
    try {
        if (pending == StorePending && child->Table1().isOpen() && child->Table1().state() != zelt::document::TraverseTable::State::Browse)
            child->Table1().checkBrowseMode();
    } catch (const std::exception&) {
    }
    m_history->takeLoose();
    m_history->recorder().begin();
}

UndoStep::~UndoStep()
{
    // Also after an error: the rows a command wrote before it stopped stay written, and can be
    // taken back as one step.
    if (m_history)
        m_history->pushNamed(m_name);
}

}  // namespace zelt::shell

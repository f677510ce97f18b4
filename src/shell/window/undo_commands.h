// SPDX-License-Identifier: GPL-3.0-or-later
// The undo history of a document window: recorded changes on a QUndoStack, named for the Edit menu.
#pragma once

#include "document/document_change.h"

#include <QObject>
#include <QString>
#include <QUndoCommand>

#include <cstddef>
#include <memory>

class QUndoStack;

namespace zelt::shell {

class TMDIChild;
class DocumentHistory;

/// One step of the history: a recorded change of the document, undone and redone by writing
/// the other state's values back through the table (rows are stored at once, as posts are).
class DocumentUndoCommand : public QUndoCommand {
public:
    /// `change` has already happened: the first redo() (QUndoStack::push) does nothing.
    DocumentUndoCommand(DocumentHistory& history, zelt::document::DocumentChange change, const QString& text);
    void undo() override;
    void redo() override;
    std::size_t memoryBytes() const { return m_bytes; }
    zelt::document::DocumentChange takeChange() { return std::move(m_change); }

private:
    DocumentHistory& m_history;
    zelt::document::DocumentChange m_change;
    std::size_t m_bytes = 0;
    bool m_done = true;
};

/// The history of one open document: every change to it (typed rows, deletions, passes, paste,
/// survey values, known points) as steps of a QUndoStack. It ends with the window. Rows written
/// outside a named step (typing in the grid) become one step per event, named after the row
/// ("Edit Row 12", "New Row 13"); a command wraps its work in an UndoStep to name it.
///
/// Bounded: at most kMaxSteps steps and kMaxBytes of recorded values; the oldest steps go
/// first, the newest always stays. A step that cannot be undone or redone (the file refused a
/// write) is reported and the history is cleared, since the steps before it no longer fit.
class DocumentHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxSteps = 100;
    static constexpr std::size_t kMaxBytes = std::size_t(64) << 20;

    explicit DocumentHistory(TMDIChild& child);
    ~DocumentHistory() override;

    QUndoStack* stack() const { return m_stack; }
    zelt::document::ChangeRecorder& recorder() { return m_recorder; }
    /// Pushes the rows written since the last step as a step of their own, named after them.
    void takeLoose();
    /// Pushes what was recorded since `recorder().begin()` as the step `text` (nothing when
    /// nothing changed).
    void pushNamed(const QString& text);
    /// The name of the next step: rows written but not yet a step, or the last step on the stack.
    QString nextUndoName() const;
    /// Drops every step and what was recorded since the last one (a document just opened).
    void forget();
    /// Bytes the steps on the stack hold.
    std::size_t memoryBytes() const;

    /// Called by a step whose undo or redo failed: reported and the history cleared soon after.
    void replayFailed(const QString& message);
    /// Runs the replay of a step on the document (the commands' undo and redo).
    void replay(zelt::document::DocumentChange& change, bool forward);

private:
    void push(zelt::document::DocumentChange change, const QString& text);
    void trim();
    static QString nameOf(const zelt::document::DocumentChange& change);

    TMDIChild& m_child;
    zelt::document::ChangeRecorder m_recorder;
    QUndoStack* m_stack = nullptr;
    bool m_takeQueued = false;
    bool m_failed = false;
};

/// Records everything written to a document while it lives as one named undo step: rows written
/// before it began (the row being typed, stored first) become their own step. Safe with a null
/// window.
class UndoStep {
public:
    /// KeepPending: the row being typed is left as it is (deleting it gives it up).
    enum Pending { StorePending, KeepPending };
    UndoStep(TMDIChild* child, const QString& name, Pending pending = StorePending);
    ~UndoStep();
    UndoStep(const UndoStep&) = delete;
    UndoStep& operator=(const UndoStep&) = delete;

private:
    DocumentHistory* m_history = nullptr;
    QString m_name;
};

}  // namespace zelt::shell

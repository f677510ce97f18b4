// SPDX-License-Identifier: GPL-3.0-or-later
// The document grid's view: a QTableView whose cell editor holds on to a refused value.
#include "shell/grid/grid_view.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

#include <algorithm>

namespace zelt::shell {

bool isRowKey(const QKeyEvent& key)
{
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return !(key.modifiers() & Qt::AltModifier);
    default:
        return false;
    }
}

bool isAltLetter(const QKeyEvent& key)
{
    const QString text = key.text();
    return (key.modifiers() & Qt::AltModifier) && !(key.modifiers() & Qt::ControlModifier) && !text.isEmpty()
           && text.at(0).isPrint();
}

namespace {

bool movesBetweenCells(const QKeyEvent& key)
{
    const bool toFirstOrLast = (key.key() == Qt::Key_Home || key.key() == Qt::Key_End) &&
                               (key.modifiers() & Qt::ControlModifier);
    return isRowKey(key) || toFirstOrLast;
}

}  // namespace

void GridView::setModel(QAbstractItemModel* model)
{
    if (QAbstractItemModel* old = this->model())
        disconnect(old, &QAbstractItemModel::modelAboutToBeReset, this, &GridView::closeEditorBeforeReset);
    QTableView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &GridView::closeEditorBeforeReset);
}

void GridView::closeEditorBeforeReset()
{
    // A reset hides the view's editors and then forgets them all. Hiding the focused editor
    // hands the focus to the view, which (its current cell already gone) opens an editor on the
    // first cell while the reset is still running; that editor is forgotten with the others yet
    // stays open, and its focus-out later reaches the view as an editor it does not know
    // ("commitData/closeEditor called with an editor that does not belong to this view").
    // Closed here, while its cell still exists, the editor gives the focus back to the view
    // with nothing open; its text was stored or given up by whoever resets the model, as the
    // reset itself would have dropped it.
    // The view's own record is asked: an editor opened while rows were being removed is open
    // although the view no longer says it is editing.
    const QObjectList children = viewport()->children();
    for (QObject* child : children) {
        QPointer<QWidget> editor = qobject_cast<QWidget*>(child);
        if (!editor || editor->isWindow() || editor->isHidden())
            continue;
        const QModelIndex index = indexOfEditor(editor);
        if (index.isValid()) {
            editor->setProperty(kRefused, false);
            QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
}

QModelIndex GridView::indexOfEditor(const QWidget* editor) const
{
    // The current cell first; otherwise the cell under the editor and a few about it, as rows
    // removed or inserted above it move its cell before its geometry follows.
    if (!editor || !model())
        return {};
    const QModelIndex current = currentIndex();
    if (current.isValid() && indexWidget(current) == editor)
        return current;
    const QModelIndex at = indexAt(editor->geometry().center());
    if (!at.isValid())
        return {};
    for (int d = 0; d <= 3; ++d)
        for (const int row : {at.row() - d, at.row() + d}) {
            const QModelIndex index = model()->index(row, at.column());
            if (index.isValid() && indexWidget(index) == editor)
                return index;
        }
    return {};
}

bool GridView::dropStrayEditor(QWidget* editor)
{
    // An editor the view no longer knows (its row went away under it, or a reset forgot it)
    // still gets its focus-out and key events, which would reach the view as commits and
    // closes of a foreign editor. Its text was stored or given up with its row; it goes.
    if (!editor || indexOfEditor(editor).isValid())
        return false;
    editor->hide();
    editor->deleteLater();
    return true;
}

void GridView::commitData(QWidget* editor)
{
    if (dropStrayEditor(editor))
        return;
    QTableView::commitData(editor);
}

int GridView::fittingWidth(int column) const
{
    return std::max(horizontalHeader()->sectionSizeHint(column), sizeHintForColumn(column));
}

QWidget* GridView::openEditor() const
{
    if (!isEditing())
        return nullptr;
    QWidget* w = QApplication::focusWidget();
    while (w && w->parentWidget() != viewport())
        w = w->parentWidget();
    if (w)
        return w;
    // The focus went to another window (a window switch, a message): the editor is still shown.
    for (QObject* child : viewport()->children())
        if (auto* editor = qobject_cast<QWidget*>(child); editor && !editor->isHidden() && !editor->isWindow())
            return editor;
    return nullptr;
}

void GridView::discardOpenEditor()
{
    if (QWidget* editor = openEditor()) {
        editor->setProperty(kRefused, false);
        QTableView::closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
}

bool GridView::commitOpenEditor()
{
    QWidget* editor = openEditor();
    if (!editor)
        return true;
    editor->setProperty(kRefused, false);
    commitData(editor);
    return !editor->property(kRefused).toBool();
}

void GridView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (dropStrayEditor(editor))
        return;
    // A refused value stays in its editor while that cell is still the current one, so that
    // the user corrects what was typed instead of typing it again.
    if (editor && hint != QAbstractItemDelegate::RevertModelCache && editor->property(kRefused).toBool()
        && indexAt(editor->geometry().center()) == currentIndex()) {
        // The message about it took the focus; it comes back to the editor.
        editor->activateWindow();
        editor->setFocus();
        return;
    }
    QTableView::closeEditor(editor, hint);
}

QModelIndex GridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && model()) {
        // Ctrl+Home and Ctrl+End go to the first and the last row, keeping the column.
        if ((action == MoveHome || action == MoveEnd) && (modifiers & Qt::ControlModifier)) {
            const int row = action == MoveHome ? 0 : model()->rowCount() - 1;
            return model()->index(row, current.column());
        }
        // Tab stops at the last cell (Shift+Tab at the first) instead of wrapping round to the
        // other end of the table, where typing would change a row far from the one in view.
        if (action == MoveNext || action == MovePrevious) {
            const QModelIndex next = QTableView::moveCursor(action, modifiers);
            if (next.isValid() && (action == MoveNext ? next.row() < current.row() : next.row() > current.row()))
                return current;
            return next;
        }
    }
    return QTableView::moveCursor(action, modifiers);
}

void GridView::keyboardSearch(const QString&)
{
    // Text typed on a cell that takes none (a calculated column) must not jump to another row
    // whose text begins with it.
}

void GridView::keyPressEvent(QKeyEvent* event)
{
    // Down on the last row goes on to a new row, as Enter there does.
    if (event->key() == Qt::Key_Down && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))
        && model() && currentIndex().isValid() && currentIndex().row() == model()->rowCount() - 1) {
        if (!isEditing() || commitOpenEditor())
            emit downPastLastRow();
        event->accept();
        return;
    }
    // Store the editor's text before the current cell moves: a refused value keeps the cell.
    if (isEditing() && movesBetweenCells(*event) && !commitOpenEditor()) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void GridView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex target = indexAt(event->position().toPoint());
    m_pressRefused = isEditing() && target.isValid() && target != currentIndex() && !commitOpenEditor();
    if (m_pressRefused) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void GridView::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    // While a cell editor is open, the focus belongs to it.
    if (!isEditing())
        return;
    const QPoint cell = visualRect(currentIndex()).center();
    for (QObject* child : viewport()->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && w->isVisible() && w->geometry().contains(cell)) {
            w->setFocus();
            return;
        }
    }
}

void GridView::mouseReleaseEvent(QMouseEvent* event)
{
    // The release of a click that could not leave the cell must not start editing elsewhere.
    if (m_pressRefused) {
        m_pressRefused = false;
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

}  // namespace zelt::shell

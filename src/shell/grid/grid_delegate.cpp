// SPDX-License-Identifier: GPL-3.0-or-later
// Cell editors of the document grid: a line editor, or a drop-down for columns with a pick list.
#include "shell/grid/grid_delegate.h"

#include "shell/grid/grid_view.h"
#include "shell/grid/table_model.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace zelt::shell {
namespace {

constexpr const char* kOriginalText = "zeltOriginalText";

QString editorText(QWidget* editor)
{
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        return combo->currentText();
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        return line->text();
    return {};
}

QLineEdit* lineEditOf(QWidget* editor)
{
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        return combo->lineEdit();
    return qobject_cast<QLineEdit*>(editor);
}

bool isListOpen(const QComboBox* combo)
{
    return combo && combo->view() && combo->view()->isVisible();
}

/// The grid view an editor lives in (editor -> viewport -> view).
QAbstractItemView* viewOf(QWidget* editor)
{
    QWidget* viewport = editor ? editor->parentWidget() : nullptr;
    return viewport ? qobject_cast<QAbstractItemView*>(viewport->parentWidget()) : nullptr;
}

}  // namespace

GridDelegate::GridDelegate(TraverseTableModel* model, QObject* parent)
    : QStyledItemDelegate(parent), m_model(model)
{
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    const auto& column = m_model->column(index.column());
    const auto alignment = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    if (!column.pickList.empty()) {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        for (const std::string& word : column.pickList)
            combo->addItem(QString::fromStdString(word));
        combo->setMaxVisibleItems(column.dropDownRows);
        combo->lineEdit()->setAlignment(alignment);
        combo->setFrame(false);
        // The open list is as wide as its longest entry, however narrow the column.
        const QFontMetrics metrics(combo->view()->font());
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(i)));
        const int frame = 2 * combo->view()->frameWidth() + 4 * combo->view()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin);
        combo->view()->setMinimumWidth(widest + frame + combo->view()->verticalScrollBar()->sizeHint().width() + 8);
        combo->lineEdit()->installEventFilter(const_cast<GridDelegate*>(this));
        return combo;
    }
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setAlignment(alignment);
        if (column.field && column.field->size > 0)
            line->setMaxLength(column.field->size);
    }
    return editor;
}

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    editor->setProperty(kOriginalText, text);
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
        combo->lineEdit()->selectAll();
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(text);
        line->selectAll();
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    const QString text = editorText(editor);
    if (text == editor->property(kOriginalText).toString())
        return;
    // A refused value leaves the editor as typed (the view keeps it open on that cell), and a
    // second commit of the same refused text must try again rather than be taken as unchanged.
    // The message about a refusal takes the focus from the editor: that must not commit again.
    m_committing = true;
    const bool stored = model->setData(index, text, Qt::EditRole);
    m_committing = false;
    if (stored)
        editor->setProperty(kOriginalText, text);
    editor->setProperty(GridView::kRefused, !stored);
    // The refused text stays selected: what is typed next replaces it instead of extending it.
    if (auto* line = lineEditOf(editor); line && !stored)
        line->selectAll();
}

bool GridDelegate::eventFilter(QObject* watched, QEvent* event)
{
    QWidget* editor = qobject_cast<QWidget*>(watched);
    if (editor && qobject_cast<QComboBox*>(editor->parentWidget()))
        editor = editor->parentWidget();  // the drop-down's own line editor
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!editor)
        return QStyledItemDelegate::eventFilter(watched, event);

    if (event->type() == QEvent::FocusOut) {
        if (m_committing)
            return false;  // the refusal message took the focus; the editor stays as it is
        // An editor the view has let go (closed, or released by a reset after a pass) loses the
        // focus as it is hidden: its text was stored or given up already, and the view no
        // longer knows it.
        if (editor->isHidden())
            return false;
        // Opening a menu takes the focus for a moment only: the text stays in the editor, and a
        // command of the menu (Close, Undo, a pass) decides what becomes of it.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason)
            return false;
        // A click into the grid takes the focus first; the grid stores the text before it
        // moves the current cell, and keeps the cell when the text is refused.
        QAbstractItemView* view = viewOf(editor);
        QWidget* now = QApplication::focusWidget();
        if (view && (now == view || now == view->viewport()))
            return false;
    }
    if (event->type() == QEvent::Wheel && combo && !isListOpen(combo)) {
        // The wheel over a closed pick list moves between rows, as it does over the grid.
        if (QAbstractItemView* view = viewOf(editor)) {
            m_wheel += static_cast<QWheelEvent*>(event)->angleDelta().y();
            for (; m_wheel >= 120 || m_wheel <= -120; m_wheel += m_wheel > 0 ? -120 : 120) {
                QKeyEvent step(QEvent::KeyPress, m_wheel > 0 ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
                QCoreApplication::sendEvent(view, &step);
            }
        }
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Ctrl+Z and Ctrl+Shift+Z / Ctrl+Y belong to the editor while it has typing to take
        // back or bring back; otherwise they go on to the document's Undo and Redo.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QLineEdit* line = lineEditOf(editor);
        const bool undo = key->matches(QKeySequence::Undo);
        const bool redo = key->matches(QKeySequence::Redo)
                          || (key->key() == Qt::Key_Y && key->modifiers() == Qt::ControlModifier);
        if (line && ((undo && !line->isUndoAvailable()) || (redo && !line->isRedoAvailable()))) {
            event->ignore();
            return true;
        }
    }
    if (event->type() != QEvent::KeyPress)
        return QStyledItemDelegate::eventFilter(editor, event);

    auto* key = static_cast<QKeyEvent*>(event);
    if (isAltLetter(*key))
        return true;  // a menu mnemonic that matched no menu is not text
    editor->setProperty(GridView::kRefused, false);
    // On a closed pick list, row keys move between rows instead of stepping through its
    // entries (that would change the value of every cell walked over).
    if (combo && isRowKey(*key) && !isListOpen(combo)) {
        if (QAbstractItemView* view = viewOf(editor))
            QCoreApplication::sendEvent(view, key);
        return true;
    }
    if (!m_keyHandler || (combo && isListOpen(combo)))
        return QStyledItemDelegate::eventFilter(editor, event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool ctrlDelete = key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier);
    if (key->key() == Qt::Key_Escape)
        m_keyHandler(key->key(), key->modifiers());  // then the editor closes as usual
    if (enter) {
        emit commitData(editor);
        if (editor->property(GridView::kRefused).toBool())
            return true;  // stay on the cell with the refused text
    }
    if ((enter || ctrlDelete) && m_keyHandler(key->key(), key->modifiers()))
        return true;
    return QStyledItemDelegate::eventFilter(editor, event);
}

}  // namespace zelt::shell

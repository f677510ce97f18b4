// SPDX-License-Identifier: GPL-3.0-or-later
// Cell editors of the document grid: a line editor, or a drop-down for columns with a pick list.
#include "shell/grid_delegate.h"

#include "shell/table_model.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

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
    // Remember the new text first: a refused value leaves the editor as typed, and a second
    // commit of the same refused text must try again rather than be taken as unchanged.
    if (model->setData(index, text, Qt::EditRole))
        editor->setProperty(kOriginalText, text);
}

bool GridDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && m_keyHandler) {
        auto* key = static_cast<QKeyEvent*>(event);
        QWidget* editor = qobject_cast<QWidget*>(watched);
        if (editor && qobject_cast<QComboBox*>(editor->parentWidget()))
            editor = editor->parentWidget();  // the drop-down's own line editor
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool ctrlDelete = key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier);
        if (editor && key->key() == Qt::Key_Escape) {
            auto* combo = qobject_cast<QComboBox*>(editor);
            if (!(combo && combo->view() && combo->view()->isVisible()))
                m_keyHandler(key->key(), key->modifiers());  // then the editor closes as usual
        }
        if (editor && (enter || ctrlDelete)) {
            if (enter) {
                auto* combo = qobject_cast<QComboBox*>(editor);
                if (combo && combo->view() && combo->view()->isVisible())
                    return QStyledItemDelegate::eventFilter(watched, event);
                emit commitData(editor);
            }
            if (m_keyHandler(key->key(), key->modifiers()))
                return true;
        }
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

}  // namespace zelt::shell

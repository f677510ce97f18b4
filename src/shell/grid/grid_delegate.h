// SPDX-License-Identifier: GPL-3.0-or-later
// Cell editors of the document grid: a line editor, or a drop-down for columns with a pick list.
#pragma once

#include <QStyledItemDelegate>

#include <functional>

namespace zelt::shell {

class TraverseTableModel;

/// Creates the cell editor of a column: an editable drop-down offering the column's pick list
/// (showing `DropDownRows` entries) when it has one, else a line editor; both aligned like the
/// column. A value is written back only when the text was changed, so moving across cells
/// does not put rows into editing. Enter and Ctrl+Delete inside an editor go to `keyHandler`
/// (after the editor's text has been committed for Enter); it returns true when it took the key.
/// Escape is reported to it as well before the editor closes without committing.
/// On a closed pick list, Up/Down/PageUp/PageDown and the wheel move between rows; the list
/// opens with Alt+Down, F4 or its button, and only a choice made in it changes the value.
class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using KeyHandler = std::function<bool(int key, Qt::KeyboardModifiers modifiers)>;

    GridDelegate(TraverseTableModel* model, QObject* parent = nullptr);
    void setKeyHandler(KeyHandler handler) { m_keyHandler = std::move(handler); }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TraverseTableModel* m_model;
    KeyHandler m_keyHandler;
    mutable bool m_committing = false;
    int m_wheel = 0;  ///< wheel turn not yet a whole notch
};

}  // namespace zelt::shell

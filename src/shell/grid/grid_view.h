// SPDX-License-Identifier: GPL-3.0-or-later
// The document grid's view: a QTableView whose cell editor holds on to a refused value.
#pragma once

#include <QTableView>

class QKeyEvent;

namespace zelt::shell {

/// Keys that move to another row of the grid (Up, Down, PageUp, PageDown; with Alt they open a
/// pick list instead).
bool isRowKey(const QKeyEvent& key);
/// Alt with a printable key and no Ctrl: a menu's mnemonic, never text for a cell.
bool isAltLetter(const QKeyEvent& key);

/// The table view of `DBGrid1`. A value the table refuses keeps its editor open on that cell
/// with the typed text (after the message), whether the user pressed Tab, Enter, an arrow key
/// or clicked another cell; Escape still gives it up.
class GridView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
    void setModel(QAbstractItemModel* model) override;
    /// True while a cell editor is open.
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }
    /// The open cell editor (the direct child of the viewport holding the focus, or the one
    /// shown while the focus is elsewhere), or null.
    QWidget* openEditor() const;
    /// Writes the open editor's text into its cell; false when the table refused it.
    bool commitOpenEditor();
    /// Closes the open editor without writing its text.
    void discardOpenEditor();

    /// The width `column` needs to show its title and the texts of the rows in view (and of
    /// up to the header's resizeContentsPrecision() rows about them) without cutting them.
    int fittingWidth(int column) const;

    /// Does nothing: typing never moves the current cell.
    void keyboardSearch(const QString& search) override;

    /// Editor property set while the last commit of its text was refused.
    static constexpr const char* kRefused = "zeltRefused";

signals:
    /// Down was pressed on the last row (the text of its editor stored).
    void downPastLastRow();

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void closeEditorBeforeReset();
    /// The cell `editor` edits, as the view records it; invalid when the view does not know it.
    QModelIndex indexOfEditor(const QWidget* editor) const;
    /// Hides and deletes `editor` when the view does not know it; true when it did.
    bool dropStrayEditor(QWidget* editor);

    bool m_pressRefused = false;
};

}  // namespace zelt::shell

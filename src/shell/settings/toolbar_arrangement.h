// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window's toolbars stand: dock, row, position in the row, floating place.
#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

class QMainWindow;

namespace zelt::shell {

/// The arrangement of a main window's toolbars, read from and applied through the toolbar
/// section of QMainWindow::saveState()/restoreState(). Qt offers no other way to make a
/// toolbar float at a given place or to put it at a pixel position within a dock row, so this
/// class reads and writes that section (format stable since Qt 4.3: per line the dock index and
/// the items, per item the object name, shown/vertical bits, position, preferred size and the
/// packed floating rectangle).
class ToolbarArrangement {
public:
    /// Qt's dock indices in the state stream.
    enum Dock { Left = 0, Right = 1, Top = 2, Bottom = 3 };

    struct Item {
        QString name;
        bool shown = true;
        bool vertical = false;
        int pos = 0;              ///< position along the row, pixels from the row's start
        int preferredSize = -1;   ///< -1: the toolbar's own size
        bool floating = false;
        QRect floatRect;          ///< screen geometry while floating
    };
    struct Line {
        int dock = Top;
        QList<Item> items;
    };

    /// Reads the current arrangement; nullopt when the state has a form this class does not know.
    /// Dock widgets in the state are passed over: they keep their own place.
    static std::optional<ToolbarArrangement> capture(const QMainWindow& window);
    /// Applies the arrangement (toolbars not named in it keep their place; dock widgets stay
    /// where they are). False when Qt refused the state or the window's state is unknown here.
    bool apply(QMainWindow& window) const;

    /// Where `name` stands: its dock, its row in that dock (0 = outermost) and its item.
    struct Where {
        int dock = Top;
        int row = 0;
        Item item;
    };
    std::optional<Where> find(const QString& name) const;

    /// Moves `name` (which must exist in the arrangement) into `dock`, row `row` (a row past the
    /// last appends one), at `pos` along the row; it stops floating.
    void dock(const QString& name, int dock, int row, int pos);
    /// Moves `name` within its current dock to row `row` at `pos` (nothing when floating).
    void setRowAndPos(const QString& name, int row, int pos);
    /// Makes `name` float at `rect` (screen coordinates); it stays listed in its last dock row.
    void setFloating(const QString& name, const QRect& rect);
    void setShown(const QString& name, bool shown);

    const QList<Line>& lines() const { return m_lines; }

private:
    Item* item(const QString& name);
    Item takeItem(const QString& name);
    void insertInto(int dock, int row, Item item);
    QList<int> linesOf(int dock) const;
    void removeEmptyLines();

    QList<Line> m_lines;
};

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The document grid's view: a QTableView that tells whether a cell editor is open.
#pragma once

#include <QTableView>

namespace zelt::shell {

/// The table view of `DBGrid1`.
class GridView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
    /// True while a cell editor is open.
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }
};

}  // namespace zelt::shell

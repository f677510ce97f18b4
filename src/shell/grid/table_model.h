// SPDX-License-Identifier: GPL-3.0-or-later
// Qt table model over a document's dataset: rows by index, columns from the column set.
#pragma once

#include "document/document.h"
#include "interchange/column_defaults.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QPalette>
#include <QVariant>

#include <memory>
#include <vector>

namespace zelt::shell {

class CheckFindings;
class QtGridMetrics;

/// Shows the rows of `doc.table` through the columns of `doc.columns`. Cells are read by row
/// index (valueAt/displayTextAt), so painting never moves the dataset's cursor. The model
/// listens to the dataset: while its display updates are suspended nothing is emitted, and on
/// resume one reset follows. Editing a cell moves the dataset to that row and enters the text
/// there as typed; refusals are reported through errorRaised and leave the row in editing.
class TraverseTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// Marks the row indicator of the current row in the vertical header.
    static constexpr int IndicatorRole = Qt::UserRole + 1;

    TraverseTableModel(zelt::document::Document& doc, const QFont& gridFont, QObject* parent = nullptr);
    ~TraverseTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    /// Re-reads the column set (after it was replaced or edited); resets the model.
    void refreshColumns();
    /// Re-reads everything (the table was reopened under another path, or refreshed).
    void refreshRows();
    /// Cells the findings name are tinted (BackgroundRole) and tell what was found (ToolTipRole);
    /// `findings` (may be null) outlives the model.
    void setCheckFindings(const CheckFindings* findings);
    /// While false, edits are refused silently (the window is closing its table).
    void setEditsAccepted(bool accepted) { m_editsAccepted = accepted; }

    /// The column's properties with defaults filled in (column = index into doc.columns).
    const zelt::interchange::ResolvedColumn& column(int column) const;
    /// The defaults used for this grid (its font and the table's fields).
    const zelt::interchange::ColumnDefaults& columnDefaults() const { return *m_defaults; }
    /// Index into the table's field list of the column's field, -1 when there is none.
    int fieldIndexOf(int column) const;
    /// The dataset's current row (0-based), -1 when none.
    int currentRow() const;

signals:
    /// The dataset's cursor moved to `row` (0-based, -1 when no rows).
    void currentRowChanged(int row);
    /// The dataset's state changed (browse, edit, insert).
    void datasetStateChanged();
    /// A refused edit, with the engine's message.
    void errorRaised(const QString& message);

private:
    class Observer;
    // Dataset notifications (through Observer, whose names would hide the model's signals).
    void onTableReset();
    void onRowsInserted(int first, int count);
    void onRowsRemoved(int first, int count);
    void onRowChanged(int index);
    void onCurrentChanged(int index);
    void onStateChanged();
    void resolveColumns();
    QVariant cellText(int row, int column) const;
    QVariant checkMark(int row, int column, int role) const;

    zelt::document::Document& m_doc;
    std::unique_ptr<Observer> m_observer;
    zelt::document::ObserverRegistration m_registration;   ///< after m_observer: unregisters first
    std::unique_ptr<QtGridMetrics> m_metrics;
    std::unique_ptr<zelt::interchange::ColumnDefaults> m_defaults;
    std::vector<zelt::interchange::ResolvedColumn> m_columns;
    std::vector<int> m_fieldIndex;
    // Looks of each column, converted once per column set rather than per painted cell.
    std::vector<QFont> m_fonts, m_titleFonts;
    std::vector<QVariant> m_background, m_foreground, m_titleBackground;
    QPalette m_palette;
    int m_current = -1;
    bool m_editsAccepted = true;
    const CheckFindings* m_findings = nullptr;
};

}  // namespace zelt::shell

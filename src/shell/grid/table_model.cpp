// SPDX-License-Identifier: GPL-3.0-or-later
// Qt table model over a document's dataset: rows by index, columns from the column set.
#include "shell/grid/table_model.h"

#include "shell/commands/check_findings.h"
#include "shell/grid/grid_look.h"
#include "shell/paint/route_check_marks.h"

#include <QApplication>

namespace zelt::shell {

using zelt::document::Alignment;
using zelt::document::EngineError;
using zelt::document::TraverseTable;

namespace {

Qt::Alignment toQtAlignment(Alignment a)
{
    switch (a) {
    case Alignment::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case Alignment::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

/// Forwards the dataset's notifications to the model.
class TraverseTableModel::Observer : public zelt::document::TableObserver {
public:
    explicit Observer(TraverseTableModel& model) : m_model(model) {}
    void tableReset() override { m_model.onTableReset(); }
    void rowsInserted(int first, int count) override { m_model.onRowsInserted(first, count); }
    void rowsRemoved(int first, int count) override { m_model.onRowsRemoved(first, count); }
    void rowChanged(int index) override { m_model.onRowChanged(index); }
    void currentChanged(int index) override { m_model.onCurrentChanged(index); }
    void stateChanged() override { m_model.onStateChanged(); }

private:
    TraverseTableModel& m_model;
};

TraverseTableModel::TraverseTableModel(zelt::document::Document& doc, const QFont& gridFont, QObject* parent)
    : QAbstractTableModel(parent),
      m_doc(doc),
      m_observer(std::make_unique<Observer>(*this)),
      m_metrics(std::make_unique<QtGridMetrics>(gridFont)),
      m_palette(QApplication::palette())
{
    resolveColumns();
    m_registration = m_doc.table.addObserver(m_observer.get());
    m_current = m_doc.table.isOpen() ? m_doc.table.currentIndex() : -1;
}

TraverseTableModel::~TraverseTableModel() = default;

void TraverseTableModel::resolveColumns()
{
    m_defaults = std::make_unique<zelt::interchange::ColumnDefaults>(*m_metrics, m_doc.table.fields());
    m_columns.clear();
    m_fieldIndex.clear();
    m_fonts.clear();
    m_titleFonts.clear();
    m_background.clear();
    m_foreground.clear();
    m_titleBackground.clear();
    for (const auto& c : m_doc.columns.columns) {
        const auto& r = m_columns.emplace_back(m_defaults->resolve(c));
        m_fieldIndex.push_back(c.fieldName.empty() ? -1 : m_doc.table.fieldIndex(c.fieldName));
        m_fonts.push_back(toQFont(r.font));
        m_titleFonts.push_back(toQFont(r.titleFont));
        m_background.emplace_back(toQColor(r.color, m_palette));
        m_foreground.push_back(r.font.color ? QVariant(toQColor(*r.font.color, m_palette)) : QVariant());
        m_titleBackground.emplace_back(toQColor(r.titleColor, m_palette));
    }
}

int TraverseTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_doc.table.isOpen())
        return 0;
    return m_doc.table.displayRowCount();
}

int TraverseTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

const zelt::interchange::ResolvedColumn& TraverseTableModel::column(int column) const
{
    return m_columns.at(static_cast<std::size_t>(column));
}

int TraverseTableModel::fieldIndexOf(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_fieldIndex.size()))
        return -1;
    return m_fieldIndex[static_cast<std::size_t>(column)];
}

int TraverseTableModel::currentRow() const
{
    return m_doc.table.isOpen() ? m_doc.table.currentIndex() : -1;
}

QVariant TraverseTableModel::cellText(int row, int column) const
{
    const int field = fieldIndexOf(column);
    if (field < 0)
        return QString();  // a layout column naming no field of this table shows empty cells
    return fromUtf8(m_doc.table.displayTextAt(row, field));
}

void TraverseTableModel::setCheckFindings(const CheckFindings* findings)
{
    if (m_findings)
        disconnect(m_findings, nullptr, this, nullptr);
    m_findings = findings;
    if (!m_findings)
        return;
    // Only the marks change: one signal for the whole grid, which repaints what it shows.
    connect(m_findings, &CheckFindings::changed, this, [this] {
        if (rowCount() > 0 && columnCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole, Qt::ToolTipRole});
    });
}

QVariant TraverseTableModel::checkMark(int row, int column, int role) const
{
    const int field = fieldIndexOf(column);
    if (!m_findings || field < 0 || !m_findings->report())
        return {};
    QString text;
    const CheckFindings::Mark mark
        = m_findings->markAt(row + 1, m_doc.table.fields()[static_cast<std::size_t>(field)].name, &text);
    if (mark == CheckFindings::Mark::None)
        return {};
    if (role == Qt::ToolTipRole)
        return text;
    // The column's own colour tinted towards the finding's, so that text keeps its contrast
    // with light and dark palettes alike.
    const QColor base = m_background[static_cast<std::size_t>(column)].value<QColor>();
    const QColor tint = mark == CheckFindings::Mark::Stretch ? checkStretchColour() : checkSuspectColour();
    const double share = mark == CheckFindings::Mark::BestSuspect ? 0.5 : 0.3;
    return QColor::fromRgbF(float(base.redF() * (1 - share) + tint.redF() * share),
                            float(base.greenF() * (1 - share) + tint.greenF() * share),
                            float(base.blueF() * (1 - share) + tint.blueF() * share));
}

QVariant TraverseTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= columnCount() || index.row() >= rowCount())
        return {};
    const auto col = static_cast<std::size_t>(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(toQtAlignment(m_columns[col].alignment));
    case Qt::BackgroundRole:
        if (QVariant mark = checkMark(index.row(), index.column(), role); mark.isValid())
            return mark;
        return m_background[col];
    case Qt::ToolTipRole:
        return checkMark(index.row(), index.column(), role);
    case Qt::ForegroundRole:
        return m_foreground[col];
    case Qt::FontRole:
        return m_fonts[col];
    default:
        return {};
    }
}

QVariant TraverseTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (section != m_current || (role != Qt::DisplayRole && role != IndicatorRole))
            return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
        // The row indicator: browsing, editing or inserting the current row.
        switch (m_doc.table.state()) {
        case TraverseTable::State::Edit: return QStringLiteral("I");
        case TraverseTable::State::Insert: return QStringLiteral("*");
        default: return QString(QChar(0x25B6));
        }
    }
    if (section < 0 || section >= columnCount())
        return {};
    const auto& c = column(section);
    switch (role) {
    case Qt::DisplayRole: return fromUtf8(c.titleCaption);
    case Qt::TextAlignmentRole: return QVariant::fromValue(toQtAlignment(c.titleAlignment));
    case Qt::FontRole: return m_titleFonts[static_cast<std::size_t>(section)];
    case Qt::BackgroundRole: return m_titleBackground[static_cast<std::size_t>(section)];
    default: return {};
    }
}

Qt::ItemFlags TraverseTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const auto& c = column(index.column());
    const int field = fieldIndexOf(index.column());
    if (field >= 0 && !c.readOnly && !m_doc.table.fields()[static_cast<std::size_t>(field)].calculated
        && !m_doc.table.isReadOnly())
        f |= Qt::ItemIsEditable;
    return f;
}

bool TraverseTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable) || !m_editsAccepted
        || !m_doc.table.isOpen())
        return false;
    const int field = fieldIndexOf(index.column());
    TraverseTable& table = m_doc.table;
    try {
        if (table.currentIndex() != index.row())
            table.setRecNo(index.row() + 1);
        const std::string name = table.fields()[static_cast<std::size_t>(field)].name;
        table.enterText(name, value.toString().toStdString(), table.decimalSeparator());
    } catch (const std::exception& e) {
        emit errorRaised(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

void TraverseTableModel::refreshColumns()
{
    beginResetModel();
    resolveColumns();
    endResetModel();
}

void TraverseTableModel::refreshRows()
{
    beginResetModel();
    resolveColumns();
    m_current = currentRow();
    endResetModel();
    emit currentRowChanged(m_current);
}

// The dataset reports changes after it made them; the view only needs the signals in order.
void TraverseTableModel::onTableReset()
{
    refreshRows();
}

void TraverseTableModel::onRowsInserted(int first, int count)
{
    beginInsertRows({}, first, first + count - 1);
    endInsertRows();
}

void TraverseTableModel::onRowsRemoved(int first, int count)
{
    beginRemoveRows({}, first, first + count - 1);
    endRemoveRows();
}

void TraverseTableModel::onRowChanged(int index)
{
    if (index < 0 || index >= rowCount())
        return;
    emit dataChanged(this->index(index, 0), this->index(index, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, index, index);
}

void TraverseTableModel::onCurrentChanged(int index)
{
    const int previous = m_current;
    m_current = index;
    const int rows = rowCount();
    if (previous >= 0 && previous < rows)
        emit headerDataChanged(Qt::Vertical, previous, previous);
    if (index >= 0 && index < rows)
        emit headerDataChanged(Qt::Vertical, index, index);
    emit currentRowChanged(index);
}

void TraverseTableModel::onStateChanged()
{
    if (m_current >= 0 && m_current < rowCount())
        emit headerDataChanged(Qt::Vertical, m_current, m_current);
    emit datasetStateChanged();
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Document window: one open traverse table with its grid and record navigator.
#include "shell/window/mdi_child.h"
#include "shell/route/route_model.h"

#include "compute/field_rules.h"
#include "shell/commands/check_findings.h"
#include "document/document_files.h"
#include "interchange/layout_stream.h"
#include "shell/grid/grid_delegate.h"
#include "shell/grid/grid_view.h"
#include "shell/window/main_form.h"
#include "shell/window/undo_commands.h"
#include "shell/grid/table_model.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace zelt::shell {

using zelt::document::TraverseTable;

namespace {

/// Writes the grid's layout into the .ing companion; a failure is the companion's error.
void writeLayoutCompanion(const std::filesystem::path& ing, const zelt::document::ColumnSet& columns,
                          const zelt::interchange::ColumnDefaults& defaults)
{
    try {
        zelt::interchange::saveGridLayout(columns, ing, defaults);
    } catch (const std::exception& e) {
        throw zelt::document::CompanionError(e.what());
    }
}

/// What closing without the companion `file` loses (the companions are written .ing, .inf, .kpt).
QString lostWithout(const std::filesystem::path& file)
{
    std::string ext = file.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".ing")
        return QStringLiteral("The survey values (pairs per 100 m, start height) and the column layout are not saved.");
    if (ext == ".kpt")
        return QStringLiteral("The known points keep the row numbers they had when the table was opened.");
    return QStringLiteral("The survey values (pairs per 100 m, start height) are not saved.");
}

QString fromPath(const std::filesystem::path& p)
{
    return QString::fromStdU16String(p.u16string());
}

bool isWithin(const QWidget* w, const QWidget* ancestor)
{
    for (; w; w = w->parentWidget())
        if (w == ancestor)
            return true;
    return false;
}

}  // namespace

TMDIChild::TMDIChild(QWidget* parent)
    : QWidget(parent), m_document(std::make_unique<zelt::document::Document>())
{
    m_document->table.setPath("Untitled1");
    // Numbers are shown and typed with the user's decimal separator.
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 128)
        m_document->table.setNumberFormat({static_cast<char>(point.at(0).unicode())});
    zelt::compute::attachFieldRules(*m_document);
    setupGrid();
    // The layout is read by the main window (a bad one is reported and the built-in set kept);
    // the session writes it at close with this grid's defaults.
    zelt::document::DocumentSession::LayoutIo layoutIo;
    layoutIo.write = [this](const std::filesystem::path& ing, const zelt::document::ColumnSet& columns) {
        if (!m_keepLayoutFile)
            writeLayoutCompanion(ing, columns, columnDefaults());
    };
    m_session = std::make_unique<zelt::document::DocumentSession>(*m_document, std::move(layoutIo));
    m_history = new DocumentHistory(*this);
    m_findings = new CheckFindings(*m_document, this);
    m_model->setCheckFindings(m_findings);
    buildNavigator();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_navigator);
    setFocusProxy(m_grid);

    connectGrid();
    applyColumns();
    updateNavigator();
}

void TMDIChild::setupGrid()
{
    m_grid = new GridView(this);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_model = new TraverseTableModel(*m_document, m_grid->font(), this);
    m_grid->setModel(m_model);
    m_delegate = new GridDelegate(m_model, m_grid);
    m_delegate->setKeyHandler([this](int key, Qt::KeyboardModifiers mods) { return gridKey(key, mods); });
    m_grid->setItemDelegate(m_delegate);
    // The cell editor is always shown: every move of the current cell opens it.
    m_grid->setEditTriggers(QAbstractItemView::AllEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setTabKeyNavigation(true);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->verticalHeader()->setFixedWidth(m_grid->fontMetrics().height() + 4);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->horizontalHeader()->setSectionsMovable(false);
    m_grid->horizontalHeader()->setHighlightSections(false);
    // Column widths of layouts are pixels of a font whose digits are 6 pixels wide; on screen
    // they grow with the grid's font so that titles and numbers fit as they were laid out.
    m_widthScale = std::clamp(m_grid->fontMetrics().horizontalAdvance(u'0') / 6.0, 1.0, 4.0);
    m_grid->installEventFilter(this);
}

void TMDIChild::connectGrid()
{
    connect(m_model, &TraverseTableModel::currentRowChanged, this, &TMDIChild::followTable);
    // While the grid resets (after a pass), closing its cell editor moves the view's current
    // cell to the first row; that must not move the dataset off the row the pass returned to.
    connect(m_model, &TraverseTableModel::modelAboutToBeReset, this, [this] { m_following = true; });
    connect(m_model, &TraverseTableModel::modelReset, this, [this] {
        applyColumns();
        followTable(m_model->currentRow());
    });
    connect(m_model, &TraverseTableModel::datasetStateChanged, this, &TMDIChild::updateNavigator);
    connect(m_model, &TraverseTableModel::rowsInserted, this, &TMDIChild::updateNavigator);
    connect(m_model, &TraverseTableModel::rowsRemoved, this, &TMDIChild::updateNavigator);
    connect(m_model, &TraverseTableModel::errorRaised, this, [this](const QString& m) {
        if (m_settling)
            m_settleError = m;   // settlePendingRow asks with it
        else
            showError(this, m);
    });
    connect(m_model, &TraverseTableModel::modelReset, this, &TMDIChild::updateCaption);
    connect(m_model, &TraverseTableModel::dataChanged, this, &TMDIChild::queueWidenToTexts);
    connect(static_cast<GridView*>(m_grid), &GridView::downPastLastRow, this, [this] {
        // A new row nobody typed in yet is not followed by another.
        const TraverseTable& t = Table1();
        if (t.isOpen() && !t.isReadOnly() && !(t.state() == TraverseTable::State::Insert && !t.isModified()))
            DBGrid1KeyDown();
    });
    connect(m_model, &TraverseTableModel::rowsInserted, this, &TMDIChild::queueWidenToTexts);
    connect(m_model, &TraverseTableModel::modelReset, this, &TMDIChild::queueWidenToTexts);
    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, this, &TMDIChild::queueWidenToTexts);
    connect(m_grid, &QAbstractItemView::doubleClicked, this, [this] {
        if (Table1().isReadOnly())
            emit statusMessage(readOnlyMessage());
    });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (!m_following && current.isValid() && current.row() != previous.row())
                    moveTableTo(current.row());
            });
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        // A width the user drags becomes the column's own width (and is saved with the layout).
        auto& cols = m_document->columns.columns;
        if (!m_applyingColumns && column >= 0 && column < static_cast<int>(cols.size()) && width > 0) {
            cols[static_cast<std::size_t>(column)].width = static_cast<int>(std::lround(width / m_widthScale));
            if (column < static_cast<int>(m_fittedWidths.size()))
                m_fittedWidths[static_cast<std::size_t>(column)] = 0;
        }
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (isWithin(old, m_grid) && !isWithin(now, m_grid))
            dropUntouchedInsert();
    });
}

TMDIChild::~TMDIChild()
{
    // The history and the models listen to the table; they must go before the document does.
    delete m_history;
    m_history = nullptr;
    delete m_routeModel;
    m_routeModel = nullptr;
    delete m_grid;
    m_grid = nullptr;
    delete m_model;
    m_model = nullptr;
    delete m_findings;   // after the models that read it
    m_findings = nullptr;
}

QString TMDIChild::selectedFieldName() const
{
    const int column = selectedColumn();
    if (column < 0)
        return {};
    return QString::fromStdString(m_document->columns.columns[static_cast<std::size_t>(column)].fieldName);
}

int TMDIChild::selectedColumn() const
{
    if (!m_grid)
        return -1;
    const int column = m_grid->currentIndex().column();
    if (column < 0 || column >= static_cast<int>(m_document->columns.columns.size()))
        return -1;
    return column;
}

int TMDIChild::columnOfField(const QString& fieldName) const
{
    const auto& cols = m_document->columns.columns;
    for (int i = 0; i < static_cast<int>(cols.size()); ++i)
        if (QString::fromStdString(cols[static_cast<std::size_t>(i)].fieldName).compare(fieldName, Qt::CaseInsensitive) == 0
            && !m_grid->isColumnHidden(i))
            return i;
    return -1;
}

void TMDIChild::selectField(const QString& fieldName)
{
    const int column = columnOfField(fieldName);
    const int row = m_model->currentRow();
    if (column < 0 || row < 0)
        return;
    m_grid->setCurrentIndex(m_model->index(row, column));
}

bool TMDIChild::goToRow(int row, const QString& fieldName)
{
    if (row < 1 || row > m_model->rowCount())
        return false;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        if (QMdiArea* area = sub->mdiArea())
            area->setActiveSubWindow(sub);
    int column = fieldName.isEmpty() ? -1 : columnOfField(fieldName);
    if (column < 0)
        column = m_grid->currentIndex().column();
    if (column < 0 || m_grid->isColumnHidden(column))
        column = firstVisibleColumn();
    if (column < 0)
        return false;
    // Moving the grid's current row moves the dataset (see connectGrid).
    m_grid->setCurrentIndex(m_model->index(row - 1, column));
    m_grid->scrollTo(m_grid->currentIndex());
    m_grid->setFocus();
    return Table1().currentIndex() == row - 1;
}

void TMDIChild::refreshColumns()
{
    m_keepLayoutFile = false;
    m_fitColumns = true;
    m_fittedWidths.clear();
    m_model->refreshColumns();
}

void TMDIChild::refreshRows()
{
    m_model->refreshRows();
    updateNavigator();
}

const zelt::interchange::ColumnDefaults& TMDIChild::columnDefaults() const
{
    return m_model->columnDefaults();
}

void TMDIChild::applyColumns()
{
    m_applyingColumns = true;
    const auto& own = m_document->columns.columns;
    for (int i = 0; i < m_model->columnCount(); ++i) {
        const auto& c = m_model->column(i);
        m_grid->setColumnHidden(i, !c.visible);
        // A default width is measured with the grid's own font already.
        const bool ownWidth = i < static_cast<int>(own.size()) && own[static_cast<std::size_t>(i)].width;
        const int fitted = i < static_cast<int>(m_fittedWidths.size()) ? m_fittedWidths[static_cast<std::size_t>(i)] : 0;
        if (c.visible)
            m_grid->setColumnWidth(i, std::max(fitted, ownWidth ? screenWidth(c.width) : c.width));
    }
    m_applyingColumns = false;
    // Fitted once the opening (or the change of layout) is through: it may replace the columns.
    if (m_fitColumns && m_model->rowCount() > 0) {
        m_fitColumns = false;
        QTimer::singleShot(0, this, &TMDIChild::fitColumns);
    }
}

void TMDIChild::widenToTexts()
{
    // Texts that come into view later (scrolled to, typed, pasted, computed) widen their
    // column as the first ones did; a column never narrows under the user.
    m_widenQueued = false;
    if (!m_grid || m_fittedWidths.empty() || m_model->rowCount() == 0)
        return;
    auto* view = static_cast<GridView*>(m_grid);
    m_applyingColumns = true;
    for (int i = 0; i < m_model->columnCount() && i < static_cast<int>(m_fittedWidths.size()); ++i) {
        if (m_grid->isColumnHidden(i))
            continue;
        const int needed = view->fittingWidth(i);
        if (needed > m_grid->columnWidth(i)) {
            m_grid->setColumnWidth(i, needed);
            m_fittedWidths[static_cast<std::size_t>(i)] = needed;
        }
    }
    m_applyingColumns = false;
}

void TMDIChild::queueWidenToTexts()
{
    if (m_widenQueued)
        return;
    m_widenQueued = true;
    QTimer::singleShot(0, this, &TMDIChild::widenToTexts);
}

void TMDIChild::fitColumns()
{
    // A column is widened to its title and to the texts in view: a layout made with another
    // font cuts them ("umbling", "pa..."). The layout keeps its own widths; only a width the
    // user drags is stored.
    // The widths stay while the grid is read again (after a pass or an undo).
    auto* view = static_cast<GridView*>(m_grid);
    m_fittedWidths.assign(static_cast<std::size_t>(m_model->columnCount()), 0);
    m_applyingColumns = true;
    for (int i = 0; i < m_model->columnCount(); ++i)
        if (!m_grid->isColumnHidden(i)) {
            m_fittedWidths[static_cast<std::size_t>(i)] = view->fittingWidth(i);
            m_grid->setColumnWidth(i, std::max(m_grid->columnWidth(i), m_fittedWidths[static_cast<std::size_t>(i)]));
        }
    m_applyingColumns = false;
}

int TMDIChild::screenWidth(int layoutWidth) const
{
    return static_cast<int>(std::lround(layoutWidth * m_widthScale));
}

QString TMDIChild::tablePath() const
{
    return QString::fromStdString(m_document->table.path().string());
}

void TMDIChild::setPathCaption(const QString& path)
{
    m_pathCaption = path;
    updateCaption();
}

void TMDIChild::updateCaption()
{
    const QString caption = m_pathCaption + (Table1().isReadOnly() ? readOnlyMark() : QString())
                            + (m_closedEarly ? QStringLiteral(" [closed]") : QString());
    if (windowTitle() != caption)
        setWindowTitle(caption);
}

QString TMDIChild::readOnlyMessage() const
{
    const TraverseTable& t = m_document->table;
    if (!t.isReadOnly())
        return {};
    const std::string reason = t.readOnlyReason();
    return QStringLiteral("Cannot modify a read-only table")
           + (reason.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(reason));
}

bool TMDIChild::refuseReadOnlyKey(const QKeyEvent& key)
{
    // Typing, F2, Delete, Backspace and Insert are edits; on a read-only table the status bar
    // says why nothing happens. Moving around stays possible.
    if (!Table1().isReadOnly())
        return false;
    const QString text = key.text();
    const bool typed = !text.isEmpty() && text.at(0).isPrint() && !(key.modifiers() & Qt::ControlModifier);
    const bool edit = key.key() == Qt::Key_F2 || key.key() == Qt::Key_Delete || key.key() == Qt::Key_Backspace
                      || key.key() == Qt::Key_Insert;
    if (!typed && !edit)
        return false;
    emit statusMessage(readOnlyMessage());
    return true;
}

RouteModel* TMDIChild::routeModel()
{
    if (!m_routeModel) {
        m_routeModel = new RouteModel(*m_document, this);
        m_routeModel->setCheckFindings(m_findings);
    }
    return m_routeModel;
}

void TMDIChild::followTable(int row)
{
    // The grid's current row follows the dataset's cursor (moves made by passes, the
    // navigator or the Enter rule); the column stays where the user was.
    m_following = true;
    if (row < 0 || row >= m_model->rowCount()) {
        m_grid->setCurrentIndex(QModelIndex());
    } else {
        int column = m_grid->currentIndex().column();
        if (column < 0 || m_grid->isColumnHidden(column))
            column = firstVisibleColumn();
        if (column >= 0 && (m_grid->currentIndex().row() != row || m_grid->currentIndex().column() != column))
            m_grid->setCurrentIndex(m_model->index(row, column));
    }
    m_following = false;
    updateNavigator();
}

int TMDIChild::firstVisibleColumn() const
{
    for (int i = 0; i < m_model->columnCount(); ++i)
        if (!m_grid->isColumnHidden(i))
            return i;
    return -1;
}

void TMDIChild::moveTableTo(int row)
{
    TraverseTable& t = Table1();
    if (!t.isOpen() || t.currentIndex() == row)
        return;
    try {
        t.setRecNo(row + 1);
    } catch (const std::exception& e) {
        showError(this, QString::fromUtf8(e.what()));
    }
    // A refused post keeps the dataset on its row; the grid goes back to it.
    if (t.currentIndex() != m_grid->currentIndex().row()) {
        const int back = t.currentIndex();
        QTimer::singleShot(0, this, [this, back] { followTable(back); });
    }
}

bool TMDIChild::gridKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        DBGrid1KeyDown();
        return true;
    }
    if (key == Qt::Key_Delete && (modifiers & Qt::ControlModifier)) {
        deleteWithConfirmation();
        return true;
    }
    if (key == Qt::Key_Escape) {
        // Escape gives up the changes of the row being edited; the editor opens again on the
        // restored text.
        TraverseTable& t = Table1();
        if (t.isOpen() && t.state() != TraverseTable::State::Browse)
            t.cancel();
        QTimer::singleShot(0, this, &TMDIChild::showCellEditor);
        return false;
    }
    return false;
}

void TMDIChild::DBGrid1KeyDown()
{
    // Enter on the last row starts a new leg; elsewhere it goes to the next row. Either way
    // the cursor lands in the Azimuth cell. "Last" counts a new row still being typed, so that
    // Enter after typing an appended leg stores it and opens the next one.
    TraverseTable& t = Table1();
    if (!t.isOpen())
        return;
    try {
        if (t.currentIndex() + 1 >= t.displayRowCount())
            t.append();
        else
            t.next();
    } catch (const std::exception& e) {
        showError(this, QString::fromUtf8(e.what()));
        return;
    }
    followTable(t.currentIndex());
    selectField(QStringLiteral("Azimuth"));
}

void TMDIChild::deleteWithConfirmation()
{
    TraverseTable& t = Table1();
    if (!t.isOpen() || t.displayRowCount() == 0)
        return;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("Delete record?"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    if (box.exec() != QMessageBox::Ok)
        return;
    try {
        UndoStep step(this, QStringLiteral("Delete Row %1").arg(t.recNo()), UndoStep::KeepPending);
        t.deleteRow();
    } catch (const std::exception& e) {
        showError(this, QString::fromUtf8(e.what()));
    }
}

void TMDIChild::dropUntouchedInsert()
{
    TraverseTable& t = Table1();
    if (t.isOpen() && t.state() == TraverseTable::State::Insert && !t.isModified())
        t.cancel();
}

void TMDIChild::showCellEditor()
{
    // The cell editor is always shown while the grid has the focus: it closes when the focus
    // leaves, and opens again on the current cell when the focus comes back.
    if (!m_grid || !m_grid->hasFocus() || static_cast<GridView*>(m_grid)->isEditing())
        return;  // the focus moved on before this ran, or an editor is open
    const QModelIndex current = m_grid->currentIndex();
    if (current.isValid() && (m_model->flags(current) & Qt::ItemIsEditable))
        m_grid->edit(current);
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, this, &TMDIChild::showCellEditor);
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isAltLetter(*key))
            return true;  // a mnemonic that matched no menu does not start typing in the cell
        if (refuseReadOnlyKey(*key))
            return true;
        if (gridKey(key->key(), key->modifiers()))
            return true;
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            navigate(kNavInsert);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMDIChild::commitEditor()
{
    // The cell editor is the focused widget (or its drop-down's line editor) inside the grid.
    QWidget* w = QApplication::focusWidget();
    if (!w || !m_grid || !isWithin(w, m_grid->viewport()) || w == m_grid->viewport())
        return;
    while (w->parentWidget() && w->parentWidget() != m_grid->viewport())
        w = w->parentWidget();
    emit m_delegate->commitData(w);
}

bool TMDIChild::writeCompanionsAndClose()
{
    if (m_closed)
        return true;
    // The row being typed is stored first, or the user corrects or discards it; after that
    // nothing more is taken from the cell editor.
    if (!settlePendingRow())
        return false;
    m_model->setEditsAccepted(false);
    // The session writes nothing for a read-only table (damaged, locked, on read-only media) nor
    // for a window whose table never opened, which would put companions beside a file it never read.
    try {
        m_session->close();
    } catch (const zelt::document::CompanionWriteError& e) {
        if (!closeAnyway(fromPath(e.file()), QString::fromUtf8(e.what()), lostWithout(e.file())))
            return false;
    } catch (const std::exception& e) {
        // The table's last flush failed; the survey values are written after it.
        if (!closeAnyway(fromPath(Table1().path()), QString::fromUtf8(e.what()),
                         lostWithout(zelt::document::companionPath(Table1().path(), ".inf"))))
            return false;
    }
    try {
        Table1().close();   // a table the session never took over
    } catch (const std::exception&) {
    }
    m_closed = true;
    return true;
}

bool TMDIChild::closeAnyway(const QString& file, const QString& cause, const QString& lost)
{
    // After the table itself closed (its rows are stored), the window cannot show it any more:
    // the question says so, and a window kept open says why it is empty.
    const bool tableClosed = !Table1().isOpen();
    const QString closed = tableClosed ? QStringLiteral("\n\nThe table itself is already closed; its rows are stored. "
                                                        "Cancel keeps this window to try writing again.")
                                       : QString();
    QMessageBox box(QMessageBox::Warning, applicationTitle(),
                    QStringLiteral("Cannot write \"%1\": %2\n\nClose the table anyway? %3").arg(file, cause, lost) + closed,
                    QMessageBox::Close | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Close) {
        m_model->setEditsAccepted(!tableClosed);
        if (tableClosed) {
            m_closedEarly = true;
            updateCaption();
            emit statusMessage(QStringLiteral("The table is closed; \"%1\" is still to be written: close the window again")
                                   .arg(file));
        }
        return false;
    }
    try {
        Table1().close();
    } catch (const std::exception&) {
        // The user chose to close without what could not be written.
    }
    return true;
}

void TMDIChild::closeEvent(QCloseEvent* event)
{
    if (writeCompanionsAndClose())
        event->accept();
    else
        event->ignore();
}

void TMDIChild::showError(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, applicationTitle(), message, QMessageBox::Ok,
                    parent);
    box.exec();
}

}  // namespace zelt::shell

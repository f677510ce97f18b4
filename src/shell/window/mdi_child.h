// SPDX-License-Identifier: GPL-3.0-or-later
// Document window: one open traverse table with its grid and record navigator.
#pragma once

#include "document/document.h"
#include "document/document_session.h"
#include "interchange/column_defaults.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class QTableView;
class QCloseEvent;
class QKeyEvent;
class QToolBar;
class QAction;
class QLineEdit;

namespace zelt::shell {

class TraverseTableModel;
class GridDelegate;
class RouteModel;
class DocumentHistory;
class CheckFindings;

/// The document window (`TMDIChild`): owns one `zelt::document::Document` (the table `Table1`,
/// the survey values, the column set and the height-calculation marks), shows it in `DBGrid1`
/// and offers `DBNavigator1`. Lives inside a QMdiSubWindow of the main window; its window
/// title is the document's path, marked "[read-only]" while its table cannot be written.
/// Closing writes the .ing and .inf companions of a writable table and nothing for a read-only
/// one; when a write fails the user closes anyway (losing what was not written) or cancels.
class TMDIChild : public QWidget {
    Q_OBJECT
public:
    explicit TMDIChild(QWidget* parent = nullptr);
    ~TMDIChild() override;

    /// The document (table, `PairsPer100m`, `StartHeight`, column set, calculation marks).
    zelt::document::Document& document() { return *m_document; }
    const zelt::document::Document& document() const { return *m_document; }
    /// Opens, renames, copies and closes the document with its companion files; one for the
    /// window's lifetime.
    zelt::document::DocumentSession& session() { return *m_session; }
    /// The document's dataset (`Table1`).
    zelt::document::TraverseTable& Table1() { return m_document->table; }
    /// The grid (`DBGrid1`); its model is model(), columns = document().columns in order.
    QTableView* DBGrid1() const { return m_grid; }
    TraverseTableModel* model() const { return m_model; }
    /// The route of this document for the route dock, made on first use.
    RouteModel* routeModel();
    /// The record navigator bar (`DBNavigator1`) and its ten buttons, in order
    /// First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh.
    QToolBar* DBNavigator1() const { return m_navigator; }
    QAction* navigatorButton(int index) const;
    /// Index of the navigator's Insert button.
    static constexpr int kNavInsert = 4;

    /// Field name of the grid's current column (empty when the column has no field).
    QString selectedFieldName() const;
    /// Index (into document().columns) of the grid's current column, -1 when none.
    int selectedColumn() const;
    /// Puts the grid's current cell on the column showing `fieldName` (first match).
    void selectField(const QString& fieldName);
    /// Makes the 1-based `row` current (the dataset follows the grid), in the column showing
    /// `fieldName` when one does, and brings this window to the front. False when the table has
    /// no such row or the dataset could not leave the row being edited.
    bool goToRow(int row, const QString& fieldName = {});
    /// Re-reads document().columns into the grid (titles, widths, visibility, colours, pick
    /// lists). Call after replacing or editing the column set; a set the user chose is written
    /// at close even over a layout file that could not be read.
    void refreshColumns();
    /// Closing leaves the .ing as it is: it could not be read, and writing the built-in layout
    /// over it would lose what the user may still repair.
    void keepLayoutFile() { m_keepLayoutFile = true; }
    /// Re-reads all rows (after a pass that suspended display updates, or a path change).
    void refreshRows();

    /// The defaults of this grid's columns (its font, the table's fields), for layout files.
    const zelt::interchange::ColumnDefaults& columnDefaults() const;

    /// On-screen pixels of a column width given in a layout (which counts pixels of a font
    /// with 6-pixel digits; larger screen fonts widen the columns in proportion).
    int screenWidth(int layoutWidth) const;

    /// The table's current path as text.
    QString tablePath() const;
    /// The path the window shows (as passed when opened, renamed or copied), without the mark.
    QString pathCaption() const { return m_pathCaption; }
    /// Sets the path shown; the caption is that path, marked while the table is read-only.
    void setPathCaption(const QString& path);
    /// Brings the read-only mark of the caption up to date.
    void updateCaption();
    /// Why the table cannot be changed ("Cannot modify a read-only table: ..."), empty when it can.
    QString readOnlyMessage() const;
    /// Mark appended to the caption of a read-only document.
    static QString readOnlyMark() { return QStringLiteral(" [read-only]"); }

    /// True once the window has written its companions and closed its table.
    bool isClosed() const { return m_closed; }
    /// Writes the text of the open cell editor into its cell (as leaving the cell would).
    void commitEditor();

    /// Closes the document through its session: .ing, close table, .inf (a read-only table is
    /// only closed). When a companion cannot be written, the message names the file and the
    /// cause and asks whether to close anyway; returns false when the user keeps the window open.
    bool writeCompanionsAndClose();

    /// What the last Check found in this document, shown in the grid and the route view until
    /// the document changes (ends with the window).
    CheckFindings* checkFindings() const { return m_findings; }
    /// The undo history of this document (ends with the window).
    DocumentHistory* history() const { return m_history; }
    /// Undo / Redo of the Edit menu: typed text in the cell editor first, as a text field does;
    /// otherwise the row being typed is stored (as leaving it would) and the last step of the
    /// history is taken back or brought back.
    void undoLast();
    void redoLast();
    /// What undoLast() would take back: "Typing", "Edit Row 12", the last step's name; empty
    /// when nothing (the same for redo).
    QString undoName(bool redo) const;
    /// Stores the row being typed, as leaving the row would (the cell editor's text included).
    /// When the table refuses it, asks whether to correct or discard it: true when the row was
    /// stored or discarded, false when the user corrects it (the window comes to the front with
    /// the editor on the row). A row whose write failed (the table then takes no more writes)
    /// is asked about too: kept in view, or discarded knowingly.
    bool settlePendingRow();

    /// Shows `message` in the program's error box (used for every table and file error).
    static void showError(QWidget* parent, const QString& message);

signals:
    /// A short notice for the main window's status bar (an edit refused on a read-only table).
    void statusMessage(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setupGrid();
    void connectGrid();
    void buildNavigator();
    void navigate(int button);
    void updateNavigator();
    bool gridKey(int key, Qt::KeyboardModifiers modifiers);
    /// The Enter rule of the grid (`DBGrid1KeyDown`).
    void DBGrid1KeyDown();
    void deleteWithConfirmation();
    void dropUntouchedInsert();
    void followTable(int row);
    void moveTableTo(int row);
    void applyColumns();
    void fitColumns();
    void widenToTexts();
    void queueWidenToTexts();
    void showCellEditor();
    int firstVisibleColumn() const;
    int columnOfField(const QString& fieldName) const;
    bool refuseReadOnlyKey(const QKeyEvent& key);
    bool closeAnyway(const QString& file, const QString& cause, const QString& lost);
    /// Asks whether to keep the row being typed (correct it, or only keep it in view when the
    /// table takes no more writes) or to discard it; true when it was discarded.
    bool askAboutPendingRow(const QString& problem, bool correctable);
    void stepHistory(bool redo);
    QLineEdit* typingEditor() const;

    std::unique_ptr<zelt::document::Document> m_document;
    std::unique_ptr<zelt::document::DocumentSession> m_session;   ///< works on m_document
    bool m_keepLayoutFile = false;
    QTableView* m_grid = nullptr;
    TraverseTableModel* m_model = nullptr;
    RouteModel* m_routeModel = nullptr;
    GridDelegate* m_delegate = nullptr;
    QToolBar* m_navigator = nullptr;
    QList<QAction*> m_navActions;
    QString m_pathCaption;
    bool m_closed = false;
    bool m_following = false;
    bool m_applyingColumns = false;
    bool m_fitColumns = true;               ///< the next columns applied with rows are fitted to their texts
    std::vector<int> m_fittedWidths;        ///< screen widths fitted to the texts, 0 where the user chose one
    double m_widthScale = 1.0;
    bool m_widenQueued = false;
    DocumentHistory* m_history = nullptr;   ///< after m_document: deleted first (it listens to the table)
    CheckFindings* m_findings = nullptr;    ///< likewise
    bool m_closedEarly = false;             ///< the table closed, a companion still to be written
    bool m_settling = false;                ///< settlePendingRow collects the refusal instead of showing it
    QString m_settleError;
};

}  // namespace zelt::shell

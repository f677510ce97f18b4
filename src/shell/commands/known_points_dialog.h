// SPDX-License-Identifier: GPL-3.0-or-later
// Settings > "Known Points...": the active table's known points, their residuals and the fit's report.
#pragma once

#include "compute/route_fit.h"
#include "document/document_known_points.h"
#include "document/known_points.h"

#include <QDialog>
#include <QPointer>

#include <optional>

class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace zelt::shell {

class TMainForm;
class TMDIChild;

/// Lists the known points of the active document (row, mark, X, Y, residual after fitting),
/// adds the current row, edits and removes points, and shows the fit's report. It shows the
/// document's own list (which follows inserted and deleted rows); every change is written to
/// the table's .kpt companion at once, as rows are written when posted. A damaged
/// companion is reported in the dialog and only replaced after the user agrees.
class KnownPointsDialog : public QDialog {
    Q_OBJECT
public:
    explicit KnownPointsDialog(TMainForm& main);

    /// Reads the active document's known points and shows the dialog (non-modal).
    void showForActive();
    /// Reads the points again and refits; the window calls it after rows or values change.
    void reload();

    /// Adds (or moves) the point of `row` and saves; false when refused (message shown).
    bool setPoint(int row, double xMm, double yMm);
    /// Removes the point of `row` and saves.
    bool removePoint(int row);
    /// The question before the pace count is changed from `from` to `to`: what it recalculates
    /// and that the stored metres stay.
    static QString paceCountQuestion(double from, double to);
    /// "Use this pace count": after confirmation, sets PairsPer100m to the fit's implied value
    /// as the survey values dialog would (one change of the files, undone as one). Returns
    /// whether it was applied.
    bool usePaceCount();

    const zelt::document::KnownPoints& points() const { return m_points; }
    const std::optional<zelt::compute::FitReport>& report() const { return m_report; }
    QTableWidget* list() const { return m_list; }
    QPlainTextEdit* reportView() const { return m_reportView; }
    QPushButton* usePaceButton() const { return m_usePace; }

protected:
    bool event(QEvent* e) override;

private slots:
    void addCurrentRow();
    void addRouteEnd();
    void editSelected();
    void removeSelected();
    void scaleEdited();

private:
    void refit();
    void fill();
    bool save(const zelt::document::KnownPoints& next);
    bool askCoordinates(int row, double& xMm, double& yMm);
    int selectedRow() const;

    TMainForm& m_main;
    QPointer<TMDIChild> m_child;   ///< the document shown; follows the active one on reload
    QPointer<TMDIChild> m_followed;   ///< the document whose points m_subscription follows
    zelt::document::DocumentKnownPoints::Subscription m_subscription;
    zelt::document::KnownPoints m_points;
    std::optional<std::string> m_damage;   ///< why the file on disk could not be read
    std::optional<zelt::compute::FitReport> m_report;
    QString m_fitProblem;

    QTableWidget* m_list = nullptr;
    QDoubleSpinBox* m_scale = nullptr;
    QPlainTextEdit* m_reportView = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_addEnd = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_usePace = nullptr;
};

/// A map coordinate as typed into the dialog: a decimal number of millimetres written with
/// `decimalSeparator` (the document's, from the user's locale, as the grid reads numbers),
/// -10,000,000 to 10,000,000. Null with `error` naming the text, `axis` and the allowed range
/// for anything else (letters, another separator, a number out of range).
std::optional<double> readCoordinateMm(const QString& text, char decimalSeparator, const QString& axis,
                                       QString* error);

/// Creates the dialog as a child of `main` and adds "Known Points..." to the Settings menu.
KnownPointsDialog* installKnownPointsCommand(TMainForm& main);

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Preview and printing of the table report of the active document.
#pragma once

#include "printing/report_pages.h"

#include <QDateTime>
#include <QObject>

#include <memory>
#include <vector>

class QPrinter;
class QPrintPreviewDialog;

namespace zelt::document {
class TraverseTable;
}

namespace zelt::shell {

class TMainForm;

/// The report commands (`ReportForm`): "Print P&rewiew" runs PreviewTable(), "&Print" runs
/// PrintTable(). Both bind the report to the active document's table first and read its rows
/// by index, so the grid's current row is the same before and after.
class ReportView : public QObject {
    Q_OBJECT
public:
    explicit ReportView(TMainForm& main);
    ~ReportView() override;

    /// The printer both commands use (A4 portrait, the system's current printer).
    QPrinter& printer() { return *m_printer; }
    /// Pages of the last binding, as laid out for the printer.
    const std::vector<zelt::printing::ReportPage>& pages() const { return m_pages; }

public slots:
    /// Shows the report of the active document in a preview window titled "Zelt Way" and waits
    /// until it is closed; the preview can also save the pages as PDF. Nothing without a document.
    void PreviewTable();
    /// Prints the report of the active document on the current printer, with a progress
    /// indicator. Nothing without a document.
    void PrintTable();

signals:
    /// The preview window is open (tests close it from here).
    void previewShown(QPrintPreviewDialog* dialog);

private:
    bool bindToActive();
    void paintOn(QPrinter* printer);
    void saveAsPdf(QWidget* parent);

    TMainForm& m_main;
    std::unique_ptr<QPrinter> m_printer;
    const zelt::document::TraverseTable* m_table = nullptr;
    QDateTime m_moment;
    std::vector<zelt::printing::ReportPage> m_pages;
};

/// Creates the report commands as a child of `main` and connects "&Print" and "Print P&rewiew".
ReportView* installReportCommands(TMainForm& main);

}  // namespace zelt::shell

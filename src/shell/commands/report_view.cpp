// SPDX-License-Identifier: GPL-3.0-or-later
// Preview and printing of the table report of the active document.
#include "shell/commands/report_view.h"

#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/paint/report_painter.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QToolBar>

namespace zelt::shell {

namespace {

constexpr double kMmPerInch = 25.4;

QString reportTitle()
{
    return QString::fromStdString(zelt::printing::ReportLayout::tableReport().title);
}

}  // namespace

ReportView::ReportView(TMainForm& main)
    : QObject(&main), m_main(main), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setObjectName(QStringLiteral("ReportForm"));
    m_printer->setPageSize(QPageSize(QPageSize::A4));
    m_printer->setPageOrientation(QPageLayout::Portrait);
    m_printer->setFullPage(true);  // item positions are measured from the paper's corner
    m_printer->setDocName(reportTitle());
}

ReportView::~ReportView() = default;

bool ReportView::bindToActive()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child || !child->Table1().isOpen())
        return false;
    m_table = &child->Table1();
    m_moment = QDateTime::currentDateTime();
    m_pages = layoutTableReport(*m_table, m_moment, m_printer.get());
    return true;
}

void ReportView::paintOn(QPrinter* printer)
{
    if (!m_table)
        return;
    // The preview may have changed the printer's resolution: measure again for this device.
    m_pages = layoutTableReport(*m_table, m_moment, printer);
    QPainter painter;
    if (!painter.begin(printer))
        return;
    const double dotsPerMm = printer->resolution() / kMmPerInch;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (i > 0)
            printer->newPage();
        paintReportPage(painter, m_pages[i], dotsPerMm);
    }
    painter.end();
}

void ReportView::saveAsPdf(QWidget* parent)
{
    if (!m_table)
        return;
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save as PDF"), QString(),
                                                      QStringLiteral("PDF files (*.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!writeReportPdf(*m_table, path, m_moment, &error))
        TMDIChild::showError(parent, error);
}

void ReportView::PreviewTable()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child || !bindToActive())
        return;
    auto& table = child->Table1();
    const auto mark = table.rowCount() > 0 ? table.bookmark() : 0;

    QPrintPreviewDialog preview(m_printer.get(), &m_main);
    preview.setWindowTitle(reportTitle());
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, &ReportView::paintOn);
    if (auto* bar = preview.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* save = bar->addAction(QStringLiteral("Save as PDF"));
        save->setObjectName(QStringLiteral("SaveAsPdf"));
        connect(save, &QAction::triggered, &preview, [this, &preview] { saveAsPdf(&preview); });
    }
    QMetaObject::invokeMethod(this, [this, &preview] { emit previewShown(&preview); }, Qt::QueuedConnection);
    preview.exec();

    // The grid comes back to the row it showed before the preview.
    if (mark != 0 && m_main.activeDocument() == child && table.bookmarkValid(mark))
        table.gotoBookmark(mark);
}

void ReportView::PrintTable()
{
    if (!bindToActive())
        return;
    QPainter painter;
    if (!painter.begin(m_printer.get())) {
        TMDIChild::showError(&m_main, QStringLiteral("The report cannot be printed: no printer is available"));
        return;
    }
    QProgressDialog progress(QStringLiteral("Printing %1").arg(reportTitle()), QStringLiteral("Cancel"), 0,
                             static_cast<int>(m_pages.size()), &m_main);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    const double dotsPerMm = m_printer->resolution() / kMmPerInch;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        progress.setValue(static_cast<int>(i));
        if (progress.wasCanceled()) {
            m_printer->abort();
            break;
        }
        if (i > 0)
            m_printer->newPage();
        paintReportPage(painter, m_pages[i], dotsPerMm);
    }
    painter.end();
    progress.setValue(static_cast<int>(m_pages.size()));
}

ReportView* installReportCommands(TMainForm& main)
{
    auto* view = new ReportView(main);
    const MainActions& a = main.actions();
    QObject::connect(a.PrintPreview1, &QAction::triggered, view, &ReportView::PreviewTable);
    QObject::connect(a.Print1, &QAction::triggered, view, &ReportView::PrintTable);
    return view;
}

}  // namespace zelt::shell

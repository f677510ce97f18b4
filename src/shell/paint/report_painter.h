// SPDX-License-Identifier: GPL-3.0-or-later
// Paints report pages with QPainter and writes them as PDF (QtGui only, shared with zelt-cli).
#pragma once

#include "printing/report_pages.h"

#include <QDateTime>
#include <QFont>
#include <QString>

#include <vector>

class QPainter;
class QPaintDevice;

namespace zelt::document {
class TraverseTable;
}

namespace zelt::shell {

/// Measures report text with the real fonts as they are set on `device` (a printer, a PDF
/// writer); with no device, at the screen's resolution.
class QtTextMetrics : public zelt::printing::TextMetrics {
public:
    explicit QtTextMetrics(QPaintDevice* device = nullptr) : m_device(device) {}
    double textWidthMm(std::string_view text, const zelt::printing::ReportFont& font) const override;

private:
    QPaintDevice* m_device;
};

/// The Qt font of a report font (family with a sans-serif fallback, size in points).
QFont reportQFont(const zelt::printing::ReportFont& font);

/// "The way printed :" text of `moment` with the system's long time format (no time zone).
std::string printedStampFor(const QDateTime& moment);

/// Paints `page` on `painter`, whose device origin is the paper's top-left corner and which
/// has `dotsPerMm` device pixels per millimetre.
void paintReportPage(QPainter& painter, const zelt::printing::ReportPage& page, double dotsPerMm);

/// Lays out the table report of `table` for `device` (text measured with its fonts).
std::vector<zelt::printing::ReportPage> layoutTableReport(const zelt::document::TraverseTable& table,
                                                          const QDateTime& moment, QPaintDevice* device);

/// Writes the table report of `table` to a PDF file at `path` (A4, one PDF page per report
/// page). Needs a QGuiApplication. Returns false and sets `error` when the file cannot be written;
/// `pageCount` (optional) receives the number of pages.
bool writeReportPdf(const zelt::document::TraverseTable& table, const QString& path, const QDateTime& moment,
                    QString* error, int* pageCount = nullptr);

/// Writes already laid-out pages to a PDF file (used by the preview's "Save as PDF").
bool writePagesPdf(const std::vector<zelt::printing::ReportPage>& pages, const QString& path, QString* error);

}  // namespace zelt::shell

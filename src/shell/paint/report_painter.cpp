// SPDX-License-Identifier: GPL-3.0-or-later
// Paints report pages with QPainter and writes them as PDF (QtGui only, shared with zelt-cli).
#include "shell/paint/report_painter.h"

#include "document/traverse_table.h"
#include "printing/report_layout.h"
#include "shell/paint/atomic_file_device.h"

#include <QColor>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QRegularExpression>

namespace zelt::shell {

using zelt::printing::ItemAlign;
using zelt::printing::ReportPage;

namespace {

constexpr double kMmPerInch = 25.4;

QColor colorOf(zelt::printing::ColorRole role)
{
    // Paper is white whatever the screen's palette, so the roles map to fixed colours.
    return QColor(static_cast<QRgb>(zelt::printing::defaultRgb(role)));
}

QString timeFormatWithoutZone()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return format.trimmed().isEmpty() ? QStringLiteral("H:mm:ss") : format.trimmed();
}

}  // namespace

QFont reportQFont(const zelt::printing::ReportFont& font)
{
    QFont f(QString::fromStdString(font.family));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(font.pointSize);
    return f;
}

double QtTextMetrics::textWidthMm(std::string_view text, const zelt::printing::ReportFont& font) const
{
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (m_device) {
        const QFontMetricsF fm(reportQFont(font), m_device);
        return fm.horizontalAdvance(s) / m_device->logicalDpiX() * kMmPerInch;
    }
    const QFontMetricsF fm(reportQFont(font));
    // Without a device the metrics are those of the screen: points scale by 96 / 72 there.
    return fm.horizontalAdvance(s) / 96.0 * kMmPerInch;
}

std::string printedStampFor(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    const zelt::printing::PrintMoment m{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
    const QString time = QLocale::system().toString(t, timeFormatWithoutZone());
    return zelt::printing::printedStampText(m, time.toStdString());
}

void paintReportPage(QPainter& painter, const ReportPage& page, double dotsPerMm)
{
    painter.save();
    for (const auto& line : page.lines) {
        QPen pen(Qt::black);
        pen.setWidthF(line.widthMm * dotsPerMm);
        painter.setPen(pen);
        painter.drawLine(QPointF(line.x1Mm * dotsPerMm, line.y1Mm * dotsPerMm),
                         QPointF(line.x2Mm * dotsPerMm, line.y2Mm * dotsPerMm));
    }
    for (const auto& text : page.texts) {
        painter.setFont(reportQFont(text.font));
        painter.setPen(colorOf(text.font.color));
        const QRectF box(text.xMm * dotsPerMm, text.yMm * dotsPerMm, text.widthMm * dotsPerMm,
                         text.heightMm * dotsPerMm);
        int flags = Qt::AlignTop | Qt::TextSingleLine;
        flags |= text.align == ItemAlign::Right ? Qt::AlignRight : Qt::AlignLeft;
        if (!text.clip)
            flags |= Qt::TextDontClip;
        painter.drawText(box, flags, QString::fromStdString(text.text));
    }
    painter.restore();
}

std::vector<ReportPage> layoutTableReport(const zelt::document::TraverseTable& table, const QDateTime& moment,
                                          QPaintDevice* device)
{
    const auto layout = zelt::printing::ReportLayout::tableReport();
    zelt::printing::ReportData data;
    data.printedStamp = printedStampFor(moment);
    data.rows = zelt::printing::reportRows(table, layout);
    return zelt::printing::paginate(layout, data, QtTextMetrics(device));
}

namespace {

void setUpPdf(QPdfWriter& writer)
{
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Portrait);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    writer.setTitle(QString::fromStdString(zelt::printing::ReportLayout::tableReport().title));
    writer.setCreator(QStringLiteral("Zelt 4.2"));
    writer.setResolution(600);
}

bool paintAll(QPdfWriter& writer, const std::vector<ReportPage>& pages)
{
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const double dotsPerMm = writer.resolution() / kMmPerInch;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        paintReportPage(painter, pages[i], dotsPerMm);
    }
    return painter.end();
}

/// Runs `paint(writer)` into a PDF beside `path` and renames it over `path` only when the whole
/// file was written: the PDF engine does not report a failed write, the device keeps it, so a
/// full disk is an error and never a file without its trailer.
template<typename Paint>
bool writePdf(const QString& path, QString* error, Paint paint)
{
    AtomicFileDevice file;
    bool done = file.begin(path);
    if (done) {
        QPdfWriter writer(&file);
        setUpPdf(writer);
        done = paint(writer);
    }
    if (done && file.commit())
        return true;
    file.cancel();
    if (error)
        *error = file.errorText().isEmpty() ? QStringLiteral("Cannot write the PDF file '%1'.").arg(path)
                                            : QStringLiteral("Cannot write the PDF file: %1").arg(file.errorText());
    return false;
}

}  // namespace

bool writePagesPdf(const std::vector<ReportPage>& pages, const QString& path, QString* error)
{
    return writePdf(path, error, [&](QPdfWriter& writer) { return paintAll(writer, pages); });
}

bool writeReportPdf(const zelt::document::TraverseTable& table, const QString& path, const QDateTime& moment,
                    QString* error, int* pageCount)
{
    return writePdf(path, error, [&](QPdfWriter& writer) {
        // Each page is laid out and painted before the next one is made: a report of any length
        // holds one page's rows and texts at a time.
        const auto layout = zelt::printing::ReportLayout::tableReport();
        const QtTextMetrics metrics(&writer);
        zelt::printing::ReportData data;
        data.printedStamp = printedStampFor(moment);
        const int rows = table.isOpen() ? table.rowCount() : 0;
        const int perPage = zelt::printing::rowsPerPage(layout);
        const int pages = zelt::printing::reportPageCount(layout, rows);
        if (pageCount)
            *pageCount = pages;
        QPainter painter;
        if (!painter.begin(&writer))
            return false;
        const double dotsPerMm = writer.resolution() / kMmPerInch;
        for (int p = 0; p < pages; ++p) {
            if (p > 0)
                writer.newPage();
            data.rows = zelt::printing::reportRows(table, layout, p * perPage, perPage);
            paintReportPage(painter, zelt::printing::layoutPage(layout, data, p, metrics), dotsPerMm);
        }
        return painter.end();
    });
}

}  // namespace zelt::shell

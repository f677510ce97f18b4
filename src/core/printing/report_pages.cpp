// SPDX-License-Identifier: GPL-3.0-or-later
// Pagination of the table report into pages of positioned items.
#include "printing/report_pages.h"

#include "document/traverse_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zelt::printing {

namespace {

// Tolerance for comparing millimetre sums, so that a row that fits exactly is not pushed over.
constexpr double kEpsMm = 1e-6;

std::string itemText(const LayoutItem& item, const ReportData& data, int pageNumber, const std::string* value)
{
    switch (item.kind) {
    case ItemKind::Label:
        return item.text;
    case ItemKind::Field:
        return value ? *value : std::string();
    case ItemKind::PrintedStamp:
        return data.printedStamp;
    case ItemKind::PageNumber:
        return "Page : " + std::to_string(pageNumber);
    }
    return {};
}

/// Places a band at `top` on the page: its lines and its items with their texts.
void placeBand(const ReportLayout& layout, const Band& band, double top, const ReportData& data,
               const std::vector<std::string>* row, const TextMetrics& metrics, ReportPage& page)
{
    const double left = layout.marginLeftMm;
    const double right = left + layout.bandWidthMm;
    if (band.lineAtTop)
        page.lines.push_back({left, top, right, top, layout.lineWidthMm});
    if (band.lineAtBottom)
        page.lines.push_back({left, top + band.heightMm, right, top + band.heightMm, layout.lineWidthMm});
    for (std::size_t i = 0; i < band.items.size(); ++i) {
        const LayoutItem& item = band.items[i];
        const std::string* value = row && i < row->size() ? &(*row)[i] : nullptr;
        PageText text;
        text.text = itemText(item, data, page.number, value);
        if (item.kind == ItemKind::Field && text.text.empty())
            continue;  // an empty field prints nothing
        text.xMm = left + item.leftMm;
        text.yMm = top + item.topMm;
        text.widthMm = item.widthMm ? *item.widthMm : metrics.textWidthMm(text.text, item.font);
        text.heightMm = std::max(0.0, band.heightMm - item.topMm);
        text.font = item.font;
        text.align = item.align;
        text.clip = item.clip;
        page.texts.push_back(std::move(text));
    }
}

}  // namespace

std::string printedStampText(const PrintMoment& m, const std::string& timeText)
{
    char date[16];
    std::snprintf(date, sizeof date, "%02d.%02d.%02d", m.day % 100, m.month % 100, m.year % 100);
    std::string text = std::string("The way printed :") + date;
    const bool midnight = m.hour == 0 && m.minute == 0 && m.second == 0;
    if (!midnight && !timeText.empty())
        text += " " + timeText;
    return text;
}

std::vector<std::vector<std::string>> reportRows(const zelt::document::TraverseTable& table,
                                                 const ReportLayout& layout, int first, int count)
{
    std::vector<int> fieldIdx;
    for (const LayoutItem& item : layout.detail.items)
        fieldIdx.push_back(item.kind == ItemKind::Field ? table.fieldIndex(item.field) : -1);
    std::vector<std::vector<std::string>> rows;
    const int end = std::min(table.isOpen() ? table.rowCount() : 0, first + std::max(count, 0));
    rows.reserve(static_cast<std::size_t>(std::max(end - first, 0)));
    for (int r = std::max(first, 0); r < end; ++r) {
        std::vector<std::string> texts;
        texts.reserve(fieldIdx.size());
        for (int idx : fieldIdx)
            texts.push_back(idx >= 0 ? table.displayTextAt(r, idx) : std::string());
        rows.push_back(std::move(texts));
    }
    return rows;
}

std::vector<std::vector<std::string>> reportRows(const zelt::document::TraverseTable& table,
                                                 const ReportLayout& layout)
{
    return reportRows(table, layout, 0, table.isOpen() ? table.rowCount() : 0);
}

int rowsPerPage(const ReportLayout& layout)
{
    const double bodyTop = layout.marginTopMm + layout.pageHeader.heightMm + layout.columnHeader.heightMm;
    const double footerTop = layout.pageHeightMm - layout.marginBottomMm - layout.pageFooter.heightMm;
    const double room = footerTop - bodyTop;
    if (layout.detail.heightMm <= 0 || room < layout.detail.heightMm)
        return 1;  // always progress, even with a layout whose rows do not fit
    return static_cast<int>(std::floor((room + kEpsMm) / layout.detail.heightMm));
}

int reportPageCount(const ReportLayout& layout, int rowCount)
{
    const int perPage = rowsPerPage(layout);
    return std::max(1, (rowCount + perPage - 1) / perPage);
}

namespace {

/// Page `pageIndex` with `count` detail rows taken from data.rows from `from` on.
ReportPage placePage(const ReportLayout& layout, const ReportData& data, int pageIndex, std::size_t from, int count,
                     const TextMetrics& metrics)
{
    const double headerTop = layout.marginTopMm;
    const double columnTop = headerTop + layout.pageHeader.heightMm;
    const double bodyTop = columnTop + layout.columnHeader.heightMm;
    const double footerTop = layout.pageHeightMm - layout.marginBottomMm - layout.pageFooter.heightMm;
    ReportPage page;
    page.number = pageIndex + 1;
    page.firstRow = pageIndex * rowsPerPage(layout);
    page.rowCount = count;
    placeBand(layout, layout.pageHeader, headerTop, data, nullptr, metrics, page);
    placeBand(layout, layout.columnHeader, columnTop, data, nullptr, metrics, page);
    for (int k = 0; k < count; ++k) {
        const double top = bodyTop + k * layout.detail.heightMm;
        placeBand(layout, layout.detail, top, data, &data.rows[from + static_cast<std::size_t>(k)], metrics, page);
    }
    placeBand(layout, layout.pageFooter, footerTop, data, nullptr, metrics, page);
    return page;
}

}  // namespace

ReportPage layoutPage(const ReportLayout& layout, const ReportData& data, int pageIndex, const TextMetrics& metrics)
{
    const int count = std::min(rowsPerPage(layout), static_cast<int>(data.rows.size()));
    return placePage(layout, data, pageIndex, 0, count, metrics);
}

std::vector<ReportPage> paginate(const ReportLayout& layout, const ReportData& data, const TextMetrics& metrics)
{
    const int total = static_cast<int>(data.rows.size());
    const int perPage = rowsPerPage(layout);
    const int pageCount = reportPageCount(layout, total);
    std::vector<ReportPage> pages;
    pages.reserve(static_cast<std::size_t>(pageCount));
    for (int p = 0; p < pageCount; ++p) {
        const int first = p * perPage;
        pages.push_back(placePage(layout, data, p, static_cast<std::size_t>(first), std::min(perPage, total - first),
                                  metrics));
    }
    return pages;
}

}  // namespace zelt::printing

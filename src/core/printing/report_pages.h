// SPDX-License-Identifier: GPL-3.0-or-later
// The report as pages of positioned text and lines (millimetres from the page's top-left corner).
#pragma once

#include "printing/report_layout.h"

#include <string>
#include <vector>

namespace zelt::document {
class TraverseTable;
}

namespace zelt::printing {

/// A piece of text in its box. The painter sets it on one line at the box's top, aligned
/// within the box, and cuts it at the box only when `clip` is set.
struct PageText {
    double xMm = 0;
    double yMm = 0;
    double widthMm = 0;
    double heightMm = 0;
    std::string text;
    ReportFont font;
    ItemAlign align = ItemAlign::Left;
    bool clip = false;
};

struct PageLine {
    double x1Mm = 0, y1Mm = 0, x2Mm = 0, y2Mm = 0;
    double widthMm = 0.2;
};

struct ReportPage {
    int number = 1;          ///< 1-based
    int firstRow = 0;        ///< 0-based index of the first row on the page
    int rowCount = 0;        ///< rows printed on the page
    std::vector<PageText> texts;
    std::vector<PageLine> lines;
};

/// What the report prints: the printing moment's text and the display texts of each row, one
/// text per item of the detail band, in the band's item order.
struct ReportData {
    std::string printedStamp;
    std::vector<std::vector<std::string>> rows;
};

/// Date and time of printing.
struct PrintMoment {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

/// "The way printed :" directly followed by the date as "dd.MM.yy" and, unless the moment is
/// exactly midnight, a blank and `timeText` (the time as the system writes it).
std::string printedStampText(const PrintMoment& moment, const std::string& timeText);

/// The display texts of the detail band's fields for every row of `table`, in table order;
/// an empty field prints nothing. Reads rows by index; the table's cursor does not move.
std::vector<std::vector<std::string>> reportRows(const zelt::document::TraverseTable& table,
                                                 const ReportLayout& layout);

/// The display texts of rows [first, first + count) of `table` (cut at its end), as reportRows.
std::vector<std::vector<std::string>> reportRows(const zelt::document::TraverseTable& table,
                                                 const ReportLayout& layout, int first, int count);

/// Detail rows that fit on one page between the column header and the footer.
int rowsPerPage(const ReportLayout& layout);

/// Pages a report of `rowCount` rows has; one at least.
int reportPageCount(const ReportLayout& layout, int rowCount);

/// Lays out page `pageIndex` (0-based) alone, as paginate() lays it out: `data.rows` holds only
/// the rows of that page (rowsPerPage() of them from row pageIndex * rowsPerPage() on; fewer on
/// the last page). A report is thus made one page at a time, in the memory of one page.
ReportPage layoutPage(const ReportLayout& layout, const ReportData& data, int pageIndex, const TextMetrics& metrics);

/// Lays the report out: every page has the page header, the column header and the footer;
/// rows follow in order, as many per page as fit. No rows still give one page.
std::vector<ReportPage> paginate(const ReportLayout& layout, const ReportData& data, const TextMetrics& metrics);

}  // namespace zelt::printing

// SPDX-License-Identifier: GPL-3.0-or-later
// The table report's layout: A4 page, margins and the four bands with their items, in millimetres.
#pragma once

#include "printing/text_metrics.h"

#include <optional>
#include <string>
#include <vector>

namespace zelt::printing {

enum class ItemAlign : std::uint8_t { Left, Right };

/// What an item prints.
enum class ItemKind : std::uint8_t {
    Label,        ///< its fixed `text`
    Field,        ///< the display text of `field` in the row of the band
    PrintedStamp, ///< "The way printed :" + date and time of printing
    PageNumber,   ///< "Page : " + the page number
};

/// One item of a band; positions relative to the band's left edge and top.
struct LayoutItem {
    ItemKind kind = ItemKind::Label;
    std::string text;                 ///< label text
    std::string field;                ///< field name for ItemKind::Field
    double leftMm = 0;
    double topMm = 0;
    std::optional<double> widthMm;    ///< nullopt: sizes itself to its text
    ItemAlign align = ItemAlign::Left;
    ReportFont font;
    /// Text cut at the item's right edge. Numbers are never cut (a cut number would read as
    /// another number): a right-aligned number wider than its item runs over to the left.
    bool clip = false;
};

struct Band {
    double heightMm = 0;
    bool lineAtTop = false;
    bool lineAtBottom = false;
    std::vector<LayoutItem> items;
};

/// The report layout. Page, margins and bands as the printed table report has them.
struct ReportLayout {
    std::string title;                ///< print job and preview title
    double pageWidthMm = 210.0;
    double pageHeightMm = 297.0;
    double marginTopMm = 10.0;
    double marginLeftMm = 10.0;
    double marginRightMm = 10.0;
    double marginBottomMm = 5.0;
    double bandWidthMm = 189.97;
    double lineWidthMm = 0.2;
    Band pageHeader;
    Band columnHeader;
    Band detail;                      ///< one per table row
    Band pageFooter;                  ///< kept at the bottom of the page

    /// The table report: "Zelt 4.2" header with the printing time, the column labels,
    /// eleven data items per row, "Page : " footer.
    static ReportLayout tableReport();
};

}  // namespace zelt::printing

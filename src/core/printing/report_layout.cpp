// SPDX-License-Identifier: GPL-3.0-or-later
// The table report's layout: positions, widths, alignment and fonts of every band item.
#include "printing/report_layout.h"

namespace zelt::printing {

namespace {

LayoutItem label(const char* text, double left, double top)
{
    LayoutItem item;
    item.kind = ItemKind::Label;
    item.text = text;
    item.leftMm = left;
    item.topMm = top;
    return item;
}

LayoutItem field(const char* name, double left, std::optional<double> width, ItemAlign align,
                 ColorRole color = ColorRole::WindowText)
{
    LayoutItem item;
    item.kind = ItemKind::Field;
    item.field = name;
    item.leftMm = left;
    item.topMm = 0.0;
    item.widthMm = width;
    item.align = align;
    item.font.color = color;
    // Text columns print one line cut at their width; numbers are never cut.
    item.clip = width.has_value() && align == ItemAlign::Left;
    return item;
}

Band pageHeaderBand()
{
    Band band;
    band.heightMm = 10.32;
    band.lineAtBottom = true;
    LayoutItem title = label("Zelt 4.2", 4.23, 2.12);
    title.font.pointSize = 16.0;
    title.font.color = ColorRole::DesktopBackground;
    band.items.push_back(title);
    LayoutItem stamp = label("", 133.35, 2.12);
    stamp.kind = ItemKind::PrintedStamp;
    band.items.push_back(stamp);
    return band;
}

Band columnHeaderBand()
{
    // The column labels keep their own spelling; there is no label over the row number.
    Band band;
    band.heightMm = 5.29;
    band.lineAtBottom = true;
    constexpr double kTop = 0.53;
    band.items = {label("Azimuth", 8.47, kTop),     label("Pairs", 23.28, kTop),
                  label("%", 33.87, kTop),          label("Trumbling", 40.22, kTop),
                  label("Lenght (m)", 63.50, kTop), label("Altimeter", 99.48, kTop),
                  label("FillHeight", 116.42, kTop), label("Recalc", 135.47, kTop),
                  label("Reserv / Mark", 150.28, kTop)};
    return band;
}

Band detailBand()
{
    Band band;
    band.heightMm = 4.50;
    band.items = {
        field("id", 0.00, 6.61, ItemAlign::Right),
        field("Azimuth", 8.47, 7.41, ItemAlign::Right),
        field("Pairs", 16.93, 8.73, ItemAlign::Right),
        field("Procent", 27.52, 10.05, ItemAlign::Right),
        field("Povorot", 40.22, std::nullopt, ItemAlign::Left),
        field("metru", 63.50, std::nullopt, ItemAlign::Right),
        field("Altimeter", 99.48, 10.85, ItemAlign::Right),
        field("FillHeight", 116.42, 11.11, ItemAlign::Right),
        field("Recalc", 135.47, 10.85, ItemAlign::Right),
        field("Reserv", 150.28, 12.96, ItemAlign::Left, ColorRole::Gray),
        field("Mark", 165.10, 23.55, ItemAlign::Left, ColorRole::Gray),
    };
    return band;
}

Band pageFooterBand()
{
    Band band;
    band.heightMm = 6.09;
    band.lineAtTop = true;
    LayoutItem page = label("", 154.52, 1.06);
    page.kind = ItemKind::PageNumber;
    band.items.push_back(page);
    return band;
}

}  // namespace

ReportLayout ReportLayout::tableReport()
{
    ReportLayout layout;
    layout.title = "Zelt Way";
    layout.pageHeader = pageHeaderBand();
    layout.columnHeader = columnHeaderBand();
    layout.detail = detailBand();
    layout.pageFooter = pageFooterBand();
    return layout;
}

}  // namespace zelt::printing

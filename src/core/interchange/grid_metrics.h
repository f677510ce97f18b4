// SPDX-License-Identifier: GPL-3.0-or-later
// What the column defaults need from the grid: fonts, font metrics, colours and options.
#pragma once

#include "document/column_set.h"

#include <string>
#include <string_view>

namespace zelt::interchange {

/// The grid a column set is shown in. The desktop program fills it in from the grid's font and
/// palette; `StandardGridMetrics` is a fixed stand-in for work without a window.
class GridMetrics {
public:
    virtual ~GridMetrics() = default;

    /// The grid's cell font and title font, every property set.
    virtual document::FontSpec font() const = 0;
    virtual document::FontSpec titleFont() const = 0;
    /// Pixel width of the digit "0" in `font` (a complete font).
    virtual int digitZeroWidth(const document::FontSpec& font) const = 0;
    /// Extra pixels a glyph of `font` may reach beyond its advance (italic fonts), usually 0.
    virtual int overhang(const document::FontSpec& font) const = 0;
    /// Pixel width of `text` (UTF-8) in `font`.
    virtual int textWidth(const document::FontSpec& font, std::string_view text) const = 0;
    /// Cell background and fixed-cell (title) background of the grid.
    virtual document::ColorValue color() const = 0;
    virtual document::ColorValue fixedColor() const = 0;
    /// Width of a column that shows no field, in pixels.
    virtual int defaultColumnWidth() const = 0;
    virtual bool showsTitles() const = 0;
    virtual bool isReadOnly() const = 0;
    /// Input-method mode identifier ("imDontCare") and name of the grid.
    virtual std::string imeMode() const = 0;
    virtual std::string imeName() const = 0;
};

/// Fixed metrics: an 11-pixel sans-serif font whose characters are all as wide as its "0"
/// (6 pixels), white cells, button-face titles, default column width 64. Used for files written
/// without a window (the fixed layouts, zelt-cli) so their output does not depend on the desktop.
class StandardGridMetrics : public GridMetrics {
public:
    /// The font of cells and titles: DEFAULT_CHARSET, clWindowText, height -11, "MS Sans Serif",
    /// no style.
    static document::FontSpec standardFont();

    document::FontSpec font() const override { return standardFont(); }
    document::FontSpec titleFont() const override { return standardFont(); }
    int digitZeroWidth(const document::FontSpec& font) const override;
    int overhang(const document::FontSpec&) const override { return 0; }
    int textWidth(const document::FontSpec& font, std::string_view text) const override;
    document::ColorValue color() const override { return document::kColorWindow; }
    document::ColorValue fixedColor() const override { return document::kColorBtnFace; }
    int defaultColumnWidth() const override { return 64; }
    bool showsTitles() const override { return true; }
    bool isReadOnly() const override { return false; }
    std::string imeMode() const override { return "imDontCare"; }
    std::string imeName() const override { return {}; }
};

}  // namespace zelt::interchange

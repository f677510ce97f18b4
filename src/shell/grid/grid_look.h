// SPDX-License-Identifier: GPL-3.0-or-later
// Colours, fonts and metrics of the document grid, between the column set and Qt.
#pragma once

#include "document/column_set.h"
#include "interchange/grid_metrics.h"

#include <QColor>
#include <QFont>
#include <QPalette>

namespace zelt::shell {

/// A column-set colour on screen: plain colours are 0x00BBGGRR, system colours follow `palette`
/// (clWindow = Base, clWindowText = Text, clBtnFace = Button, clInfoBk = ToolTipBase, ...).
QColor toQColor(zelt::document::ColorValue color, const QPalette& palette);
/// The family drawn for a font name: the name itself when installed, else the installed family
/// of its kind (sans serif, serif or fixed pitch). The column set keeps the name it was given.
QString installedFamily(const QString& name);
/// A complete column-set font as a QFont (a negative height is the character height in pixels),
/// in the installed family for its name.
QFont toQFont(const zelt::document::FontSpec& font);
/// A QFont as a complete column-set font with the given colour.
zelt::document::FontSpec toFontSpec(const QFont& font, zelt::document::ColorValue color);

/// The metrics of the on-screen grid for resolving column defaults: the grid's font and the
/// platform's text measurement, window-coloured cells and button-face titles.
class QtGridMetrics : public zelt::interchange::GridMetrics {
public:
    explicit QtGridMetrics(const QFont& gridFont);

    zelt::document::FontSpec font() const override { return m_font; }
    zelt::document::FontSpec titleFont() const override { return m_font; }
    int digitZeroWidth(const zelt::document::FontSpec& font) const override;
    int overhang(const zelt::document::FontSpec&) const override { return 0; }
    int textWidth(const zelt::document::FontSpec& font, std::string_view text) const override;
    zelt::document::ColorValue color() const override { return zelt::document::kColorWindow; }
    zelt::document::ColorValue fixedColor() const override { return zelt::document::kColorBtnFace; }
    int defaultColumnWidth() const override { return 64; }
    bool showsTitles() const override { return true; }
    bool isReadOnly() const override { return false; }
    std::string imeMode() const override { return "imDontCare"; }
    std::string imeName() const override { return {}; }

private:
    zelt::document::FontSpec m_font;
};

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Default values of grid columns, derived from the column's field and from the grid.
#pragma once

#include "document/column_set.h"
#include "document/traverse_table.h"
#include "interchange/grid_metrics.h"

#include <string>
#include <vector>

namespace zelt::interchange {

/// Every property of a column with its own value or its default filled in.
struct ResolvedColumn {
    std::string fieldName;
    const document::FieldInfo* field = nullptr;  ///< null when the table has no such field
    document::Alignment alignment = document::Alignment::Left;
    document::ButtonStyle buttonStyle = document::ButtonStyle::Auto;
    document::ColorValue color = document::kColorWindow;
    int dropDownRows = 7;
    document::FontSpec font;                     ///< complete
    std::string imeMode;
    std::string imeName;
    std::vector<std::string> pickList;
    std::string popupMenu;                       ///< empty: none
    bool readOnly = false;
    document::Alignment titleAlignment = document::Alignment::Left;
    std::string titleCaption;
    document::ColorValue titleColor = document::kColorBtnFace;
    document::FontSpec titleFont;                ///< complete
    int width = 64;
    bool visible = true;
};

/// Resolves the defaults of columns shown in one grid over one table's field list. Holds a
/// reference to `grid`, which must outlive it. Field names are matched without regard to case.
class ColumnDefaults {
public:
    ColumnDefaults(const GridMetrics& grid, std::vector<document::FieldInfo> fields);

    /// The traverse table's fields in a grid of `StandardGridMetrics`.
    static const ColumnDefaults& standard();

    const GridMetrics& grid() const { return m_grid; }
    /// The field the column shows, null when the table has none of that name.
    const document::FieldInfo* field(const document::Column& c) const;

    /// Numeric fields right, text fields and columns without a field left.
    document::Alignment defaultAlignment(const document::Column& c) const;
    document::ColorValue defaultColor() const { return m_grid.color(); }
    /// Read-only when the grid is, or the field is calculated.
    bool defaultReadOnly(const document::Column& c) const;
    /// See the width rule in docs/formats/ing-layout.md: digit width times the field's display
    /// width, at least the title's width when titles are shown; the grid's default without a field.
    int defaultWidth(const document::Column& c) const;
    std::string defaultImeMode() const { return m_grid.imeMode(); }
    std::string defaultImeName() const { return m_grid.imeName(); }
    document::Alignment defaultTitleAlignment() const { return document::Alignment::Left; }
    /// The field's display label, else its name; with no field, the column's `FieldName`.
    std::string defaultTitleCaption(const document::Column& c) const;
    document::ColorValue defaultTitleColor() const { return m_grid.fixedColor(); }

    /// The column's cell and title fonts: its own properties over the grid's fonts.
    document::FontSpec font(const document::Column& c) const;
    document::FontSpec titleFont(const document::Column& c) const;
    std::string titleCaption(const document::Column& c) const;

    ResolvedColumn resolve(const document::Column& c) const;

private:
    const GridMetrics& m_grid;
    std::vector<document::FieldInfo> m_fields;
};

/// `own` over `base`: every property `own` sets replaces the one of `base`.
document::FontSpec overlayFont(const document::FontSpec& base, const document::FontSpec& own);

}  // namespace zelt::interchange

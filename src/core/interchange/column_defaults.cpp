// SPDX-License-Identifier: GPL-3.0-or-later
// Default values of grid columns, derived from the column's field and from the grid.
#include "interchange/column_defaults.h"

#include "document/traverse_schema.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

namespace zelt::interchange {

using document::Alignment;
using document::Column;
using document::FieldInfo;
using document::FieldType;
using document::FontSpec;

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool isNumeric(FieldType t)
{
    switch (t) {
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::AutoInc:
    case FieldType::Bcd:
        return true;
    default:
        return false;
    }
}

}  // namespace

FontSpec overlayFont(const FontSpec& base, const FontSpec& own)
{
    FontSpec f = base;
    if (own.charset) f.charset = own.charset;
    if (own.color) f.color = own.color;
    if (own.height) f.height = own.height;
    if (own.name) f.name = own.name;
    if (own.pitch) f.pitch = own.pitch;
    if (own.style) f.style = own.style;
    return f;
}

const ColumnDefaults& ColumnDefaults::standard()
{
    static const StandardGridMetrics metrics;
    static const ColumnDefaults defaults(metrics, document::TraverseSchema::documentFields());
    return defaults;
}

ColumnDefaults::ColumnDefaults(const GridMetrics& grid, std::vector<FieldInfo> fields)
    : m_grid(grid), m_fields(std::move(fields))
{
}

const FieldInfo* ColumnDefaults::field(const Column& c) const
{
    if (c.fieldName.empty())
        return nullptr;
    for (const FieldInfo& f : m_fields)
        if (equalsIgnoreCase(f.name, c.fieldName))
            return &f;
    return nullptr;
}

Alignment ColumnDefaults::defaultAlignment(const Column& c) const
{
    const FieldInfo* f = field(c);
    return f && isNumeric(f->type) ? Alignment::Right : Alignment::Left;
}

bool ColumnDefaults::defaultReadOnly(const Column& c) const
{
    const FieldInfo* f = field(c);
    return m_grid.isReadOnly() || (f && f->calculated);
}

int ColumnDefaults::defaultWidth(const Column& c) const
{
    const FieldInfo* f = field(c);
    if (!f)
        return m_grid.defaultColumnWidth();
    const FontSpec cell = font(c);
    const int overhang = m_grid.overhang(cell);
    int width = (m_grid.digitZeroWidth(cell) - overhang) * f->displayWidth + overhang + 4;
    if (m_grid.showsTitles())
        width = std::max(width, m_grid.textWidth(titleFont(c), titleCaption(c)) + 4);
    return width;
}

std::string ColumnDefaults::defaultTitleCaption(const Column& c) const
{
    const FieldInfo* f = field(c);
    if (!f)
        return c.fieldName;
    return f->displayLabel.empty() ? f->name : f->displayLabel;
}

FontSpec ColumnDefaults::font(const Column& c) const
{
    return overlayFont(m_grid.font(), c.font);
}

FontSpec ColumnDefaults::titleFont(const Column& c) const
{
    return overlayFont(m_grid.titleFont(), c.title.font);
}

std::string ColumnDefaults::titleCaption(const Column& c) const
{
    return c.title.caption ? *c.title.caption : defaultTitleCaption(c);
}

ResolvedColumn ColumnDefaults::resolve(const Column& c) const
{
    ResolvedColumn r;
    r.fieldName = c.fieldName;
    r.field = field(c);
    r.alignment = c.alignment.value_or(defaultAlignment(c));
    r.buttonStyle = c.buttonStyle.value_or(document::ButtonStyle::Auto);
    r.color = c.color.value_or(defaultColor());
    r.dropDownRows = c.dropDownRows.value_or(7);
    r.font = font(c);
    r.imeMode = c.imeMode.value_or(defaultImeMode());
    r.imeName = c.imeName.value_or(defaultImeName());
    r.pickList = c.pickList.value_or(std::vector<std::string>{});
    r.popupMenu = c.popupMenu.value_or(std::string{});
    r.readOnly = c.readOnly.value_or(defaultReadOnly(c));
    r.titleAlignment = c.title.alignment.value_or(defaultTitleAlignment());
    r.titleCaption = titleCaption(c);
    r.titleColor = c.title.color.value_or(defaultTitleColor());
    r.titleFont = titleFont(c);
    r.width = c.width ? *c.width : defaultWidth(c);
    r.visible = c.isVisible();
    return r;
}

int StandardGridMetrics::digitZeroWidth(const FontSpec& font) const
{
    // 6 pixels at the standard height of 11, in proportion for other heights.
    const int h = font.height ? std::abs(*font.height) : 11;
    return std::max(1, (h * 6 + 5) / 11);
}

int StandardGridMetrics::textWidth(const FontSpec& font, std::string_view text) const
{
    // Every character as wide as the digit "0"; UTF-8 continuation bytes do not count.
    const auto chars = std::count_if(text.begin(), text.end(),
                                     [](unsigned char ch) { return (ch & 0xC0) != 0x80; });
    return static_cast<int>(chars) * digitZeroWidth(font);
}

FontSpec StandardGridMetrics::standardFont()
{
    return document::ColumnSet::standardFont();
}

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// The grid's column set: ordered columns, each property either the column's own value or a default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelt::document {

/// Stored as identifiers in layout files ("taLeftJustify", ...); stored; never renumber.
enum class Alignment : std::uint8_t { Left = 0, Right = 1, Center = 2 };
enum class ButtonStyle : std::uint8_t { Auto = 0, Ellipsis = 1, None = 2 };
enum class FontPitch : std::uint8_t { Default = 0, Variable = 1, Fixed = 2 };
enum FontStyleBits : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

/// A colour as the layout stream keeps it: a 32-bit number; named colours ("clBlack",
/// "clInfoBk", system colours 0x80000000 | index) are mapped by the layout codec.
/// Plain colours are 0x00BBGGRR.
using ColorValue = std::int32_t;

/// A system colour (one that follows the desktop's palette), by its index in the colour table.
constexpr ColorValue systemColor(std::uint32_t index)
{
    return static_cast<ColorValue>(0x80000000u | index);
}
/// True for colours that name an entry of the desktop's palette rather than an RGB value.
constexpr bool isSystemColor(ColorValue c) { return c < 0; }

constexpr ColorValue kColorBlack = 0x000000;
constexpr ColorValue kColorWhite = 0xFFFFFF;
constexpr ColorValue kColorWindow = systemColor(5);       ///< "clWindow": cell background
constexpr ColorValue kColorWindowText = systemColor(8);   ///< "clWindowText": cell text
constexpr ColorValue kColorBtnFace = systemColor(15);     ///< "clBtnFace": fixed cells, buttons
constexpr ColorValue kColorInfoBk = systemColor(24);      ///< "clInfoBk": tooltip background

/// Charset numbers ("DEFAULT_CHARSET" = 1).
constexpr std::int32_t kDefaultCharset = 1;

/// Font properties; each unset one follows the grid's font.
struct FontSpec {
    std::optional<std::int32_t> charset;
    std::optional<ColorValue> color;
    std::optional<std::int32_t> height;  ///< platform font height; negative = character height in px
    std::optional<std::string> name;
    std::optional<FontPitch> pitch;
    std::optional<std::uint8_t> style;   ///< FontStyleBits
    bool operator==(const FontSpec&) const = default;

    /// True when the column (or title) has been given a font of its own.
    bool isAssigned() const { return charset || color || height || name || pitch || style; }
};

struct TitleSpec {
    std::optional<Alignment> alignment;
    std::optional<std::string> caption;
    std::optional<ColorValue> color;
    FontSpec font;
    bool operator==(const TitleSpec&) const = default;
};

/// One grid column. Unset optionals follow their defaults (from the field or the grid);
/// `zelt::interchange::ColumnDefaults` resolves them. `expanded` is always written as false
/// (the traverse table has no structured fields); `visible` unset means shown.
struct Column {
    std::string fieldName;
    std::optional<Alignment> alignment;
    std::optional<ButtonStyle> buttonStyle;
    std::optional<ColorValue> color;
    std::optional<std::int32_t> dropDownRows;
    std::optional<bool> expanded;
    FontSpec font;
    std::optional<std::string> imeMode;
    std::optional<std::string> imeName;
    std::optional<std::vector<std::string>> pickList;
    std::optional<std::string> popupMenu;
    std::optional<bool> readOnly;
    TitleSpec title;
    std::optional<std::int32_t> width;
    std::optional<bool> visible;
    bool operator==(const Column&) const = default;

    bool isVisible() const { return visible.value_or(true); }
};

/// The ordered column set of a grid (display order).
struct ColumnSet {
    std::vector<Column> columns;
    bool operator==(const ColumnSet&) const = default;

    /// The column set a document window starts with (titles, widths, visibility, colours,
    /// read-only columns and the Povorot pick list).
    static ColumnSet builtIn();
    /// First column showing `fieldName` (case-insensitive), or null.
    const Column* findByField(const std::string& fieldName) const;
    Column* findByField(const std::string& fieldName);

    /// The layout font of both programs: DEFAULT_CHARSET, clWindowText, height -11,
    /// "MS Sans Serif", default pitch, no style. Fonts of the built-in set are this font whole,
    /// so the desktop and zelt-cli write the same layout whatever font a screen uses.
    static FontSpec standardFont();

    /// The choices of the Povorot pick list, also the turn words of the turn-note rule.
    static const std::vector<std::string>& turnWords();
};

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// Identifier tables of the layout stream: colours, charsets and the enumerations of a column.
#pragma once

#include "document/column_set.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::interchange {

// Look-ups by name ignore letter case; names are given back in their canonical spelling.

/// Name of a colour of the colour table ("clBlack", "clBtnFace", ...), or nullopt for a colour
/// that is written as a number. Colours with two names give the first one ("clSilver").
std::optional<std::string_view> colorName(document::ColorValue color);
/// Colour of a name of the colour table (either name of an alias pair), nullopt when unknown.
std::optional<document::ColorValue> colorFromName(std::string_view name);

/// Name of a charset ("DEFAULT_CHARSET", "RUSSIAN_CHARSET", ...), nullopt when unnamed.
std::optional<std::string_view> charsetName(std::int32_t charset);
std::optional<std::int32_t> charsetFromName(std::string_view name);

/// "taLeftJustify", "taRightJustify", "taCenter".
std::string_view alignmentName(document::Alignment a);
std::optional<document::Alignment> alignmentFromName(std::string_view name);

/// "cbsAuto", "cbsEllipsis", "cbsNone".
std::string_view buttonStyleName(document::ButtonStyle s);
std::optional<document::ButtonStyle> buttonStyleFromName(std::string_view name);

/// "fpDefault", "fpVariable", "fpFixed".
std::string_view fontPitchName(document::FontPitch p);
std::optional<document::FontPitch> fontPitchFromName(std::string_view name);

/// Member names of a font style set in bit order: "fsBold", "fsItalic", "fsUnderline",
/// "fsStrikeOut". Returns the bit, or 0 for an unknown name.
std::uint8_t fontStyleBit(std::string_view name);
std::string_view fontStyleName(std::uint8_t bit);

/// The input-method mode identifier ("imDisable" ... "imHanguel") spelt as `name`, or nullopt.
std::optional<std::string_view> imeModeName(std::string_view name);

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// Identifier tables of the layout stream: colours, charsets and the enumerations of a column.
#include "interchange/layout_identifiers.h"

#include <array>
#include <cctype>
#include <utility>

namespace zelt::interchange {

using document::ColorValue;
using document::systemColor;

namespace {

struct NamedColor {
    std::string_view name;
    ColorValue value;
};

// Plain colours are 0x00BBGGRR; system colours follow the desktop palette by index. Where two
// names share a value the first is the one written; both are read.
constexpr std::array kColors{
    NamedColor{"clBlack", 0x000000},     NamedColor{"clMaroon", 0x000080},
    NamedColor{"clGreen", 0x008000},     NamedColor{"clOlive", 0x008080},
    NamedColor{"clNavy", 0x800000},      NamedColor{"clPurple", 0x800080},
    NamedColor{"clTeal", 0x808000},      NamedColor{"clGray", 0x808080},
    NamedColor{"clSilver", 0xC0C0C0},    NamedColor{"clRed", 0x0000FF},
    NamedColor{"clLime", 0x00FF00},      NamedColor{"clYellow", 0x00FFFF},
    NamedColor{"clBlue", 0xFF0000},      NamedColor{"clFuchsia", 0xFF00FF},
    NamedColor{"clAqua", 0xFFFF00},      NamedColor{"clWhite", 0xFFFFFF},
    NamedColor{"clLtGray", 0xC0C0C0},    NamedColor{"clDkGray", 0x808080},
    NamedColor{"clNone", 0x1FFFFFFF},    NamedColor{"clDefault", 0x20000000},
    NamedColor{"clScrollBar", systemColor(0)},
    NamedColor{"clBackground", systemColor(1)},
    NamedColor{"clActiveCaption", systemColor(2)},
    NamedColor{"clInactiveCaption", systemColor(3)},
    NamedColor{"clMenu", systemColor(4)},
    NamedColor{"clWindow", systemColor(5)},
    NamedColor{"clWindowFrame", systemColor(6)},
    NamedColor{"clMenuText", systemColor(7)},
    NamedColor{"clWindowText", systemColor(8)},
    NamedColor{"clCaptionText", systemColor(9)},
    NamedColor{"clActiveBorder", systemColor(10)},
    NamedColor{"clInactiveBorder", systemColor(11)},
    NamedColor{"clAppWorkSpace", systemColor(12)},
    NamedColor{"clHighlight", systemColor(13)},
    NamedColor{"clHighlightText", systemColor(14)},
    NamedColor{"clBtnFace", systemColor(15)},
    NamedColor{"clBtnShadow", systemColor(16)},
    NamedColor{"clGrayText", systemColor(17)},
    NamedColor{"clBtnText", systemColor(18)},
    NamedColor{"clInactiveCaptionText", systemColor(19)},
    NamedColor{"clBtnHighlight", systemColor(20)},
    NamedColor{"cl3DDkShadow", systemColor(21)},
    NamedColor{"cl3DLight", systemColor(22)},
    NamedColor{"clInfoText", systemColor(23)},
    NamedColor{"clInfoBk", systemColor(24)},
};

struct NamedCharset {
    std::string_view name;
    std::int32_t value;
};

constexpr std::array kCharsets{
    NamedCharset{"ANSI_CHARSET", 0},          NamedCharset{"DEFAULT_CHARSET", 1},
    NamedCharset{"SYMBOL_CHARSET", 2},        NamedCharset{"MAC_CHARSET", 77},
    NamedCharset{"SHIFTJIS_CHARSET", 128},    NamedCharset{"HANGEUL_CHARSET", 129},
    NamedCharset{"JOHAB_CHARSET", 130},       NamedCharset{"GB2312_CHARSET", 134},
    NamedCharset{"CHINESEBIG5_CHARSET", 136}, NamedCharset{"GREEK_CHARSET", 161},
    NamedCharset{"TURKISH_CHARSET", 162},     NamedCharset{"VIETNAMESE_CHARSET", 163},
    NamedCharset{"HEBREW_CHARSET", 177},      NamedCharset{"ARABIC_CHARSET", 178},
    NamedCharset{"BALTIC_CHARSET", 186},      NamedCharset{"RUSSIAN_CHARSET", 204},
    NamedCharset{"THAI_CHARSET", 222},        NamedCharset{"EASTEUROPE_CHARSET", 238},
    NamedCharset{"OEM_CHARSET", 255},
};

constexpr std::array<std::string_view, 3> kAlignments{"taLeftJustify", "taRightJustify", "taCenter"};
constexpr std::array<std::string_view, 3> kButtonStyles{"cbsAuto", "cbsEllipsis", "cbsNone"};
constexpr std::array<std::string_view, 3> kPitches{"fpDefault", "fpVariable", "fpFixed"};
constexpr std::array<std::string_view, 4> kStyles{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
constexpr std::array<std::string_view, 12> kImeModes{
    "imDisable", "imClose", "imOpen",  "imDontCare", "imSAlpha",    "imAlpha",
    "imHira",    "imSKata", "imKata",  "imChinese",  "imSHanguel",  "imHanguel"};

/// Identifiers are matched without regard to case, as other producers may spell them.
bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y))
            return false;
    }
    return true;
}

template<typename Enum, std::size_t N>
std::optional<Enum> enumFromName(const std::array<std::string_view, N>& names, std::string_view name)
{
    for (std::size_t i = 0; i < N; ++i)
        if (sameText(names[i], name))
            return static_cast<Enum>(i);
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> colorName(ColorValue color)
{
    for (const auto& c : kColors)
        if (c.value == color)
            return c.name;
    return std::nullopt;
}

std::optional<ColorValue> colorFromName(std::string_view name)
{
    for (const auto& c : kColors)
        if (sameText(c.name, name))
            return c.value;
    return std::nullopt;
}

std::optional<std::string_view> charsetName(std::int32_t charset)
{
    for (const auto& c : kCharsets)
        if (c.value == charset)
            return c.name;
    return std::nullopt;
}

std::optional<std::int32_t> charsetFromName(std::string_view name)
{
    for (const auto& c : kCharsets)
        if (sameText(c.name, name))
            return c.value;
    return std::nullopt;
}

std::string_view alignmentName(document::Alignment a)
{
    return kAlignments.at(static_cast<std::size_t>(a));
}

std::optional<document::Alignment> alignmentFromName(std::string_view name)
{
    return enumFromName<document::Alignment>(kAlignments, name);
}

std::string_view buttonStyleName(document::ButtonStyle s)
{
    return kButtonStyles.at(static_cast<std::size_t>(s));
}

std::optional<document::ButtonStyle> buttonStyleFromName(std::string_view name)
{
    return enumFromName<document::ButtonStyle>(kButtonStyles, name);
}

std::string_view fontPitchName(document::FontPitch p)
{
    return kPitches.at(static_cast<std::size_t>(p));
}

std::optional<document::FontPitch> fontPitchFromName(std::string_view name)
{
    return enumFromName<document::FontPitch>(kPitches, name);
}

std::uint8_t fontStyleBit(std::string_view name)
{
    for (std::size_t i = 0; i < kStyles.size(); ++i)
        if (sameText(kStyles[i], name))
            return static_cast<std::uint8_t>(1u << i);
    return 0;
}

std::string_view fontStyleName(std::uint8_t bit)
{
    for (std::size_t i = 0; i < kStyles.size(); ++i)
        if (bit == (1u << i))
            return kStyles[i];
    return {};
}

std::optional<std::string_view> imeModeName(std::string_view name)
{
    for (auto m : kImeModes)
        if (sameText(m, name))
            return m;
    return std::nullopt;
}

}  // namespace zelt::interchange

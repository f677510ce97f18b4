// SPDX-License-Identifier: GPL-3.0-or-later
// Fonts of the report and the interface through which their text is measured.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelt::printing {

/// Colours of report text, named by their role; the painter maps them to real colours.
enum class ColorRole : std::uint8_t {
    WindowText,         ///< the default text colour
    DesktopBackground,  ///< the title's colour
    Gray,               ///< the notes columns
};

/// Colour of a role as 0xRRGGBB when no system palette is at hand (PDF from zelt-cli).
std::uint32_t defaultRgb(ColorRole role);

struct ReportFont {
    std::string family = "Arial";
    double pointSize = 10.0;
    ColorRole color = ColorRole::WindowText;
    bool operator==(const ReportFont&) const = default;
};

/// Measures text in millimetres. The shell answers with the real font; tests use fixed widths.
class TextMetrics {
public:
    virtual ~TextMetrics() = default;
    /// Width of `text` (UTF-8, one line) set in `font`, millimetres.
    virtual double textWidthMm(std::string_view text, const ReportFont& font) const = 0;
};

/// Every character as wide as `emFraction` of the font size (1 pt = 25.4 / 72 mm).
class FixedTextMetrics : public TextMetrics {
public:
    explicit FixedTextMetrics(double emFraction = 0.5) : m_emFraction(emFraction) {}
    double textWidthMm(std::string_view text, const ReportFont& font) const override;

private:
    double m_emFraction;
};

/// Millimetres per typographic point.
inline constexpr double kMmPerPoint = 25.4 / 72.0;

}  // namespace zelt::printing

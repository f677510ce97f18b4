// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed-width text measuring and the fallback colours of the report's colour roles.
#include "printing/text_metrics.h"

namespace zelt::printing {

std::uint32_t defaultRgb(ColorRole role)
{
    switch (role) {
    case ColorRole::DesktopBackground:
        return 0x3A6EA5;  // the classic blue desktop
    case ColorRole::Gray:
        return 0x808080;
    case ColorRole::WindowText:
    default:
        return 0x000000;
    }
}

double FixedTextMetrics::textWidthMm(std::string_view text, const ReportFont& font) const
{
    // Count code points, not bytes, so that a UTF-8 note measures as its characters.
    std::size_t chars = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++chars;
    return static_cast<double>(chars) * m_emFraction * font.pointSize * kMmPerPoint;
}

}  // namespace zelt::printing

// SPDX-License-Identifier: GPL-3.0-or-later
// The empty OCAD 7 map ("ClearMap.ocd") that a new export target starts from, generated in code.
#pragma once

#include "export/ocad_types.h"

#include <cstdint>
#include <vector>

namespace zelt::mapexport {

/// Fixed facts of the template map: sizes and the positions of its records.
struct TemplateLayout {
    static constexpr int kFileSize = 29992;
    static constexpr int kColorTable = 72;
    static constexpr int kColorSeps = 18504;
    static constexpr int kSetupPos = 19272;
    static constexpr int kSetupSize = 1348;
    static constexpr int kInfoPos = 20620;
    static constexpr int kInfoSize = 256;
    static constexpr int kSymbolBlock = 20876;
    static constexpr int kSymbolPowerLine = 21904;      ///< 517.1, 488 bytes
    static constexpr int kSymbolStart = 22392;          ///< 601.0, 400 bytes
    static constexpr int kSymbolConnection = 22792;     ///< 601.1, 424 bytes
    static constexpr int kSymbolText = 23216;           ///< 802.1, 588 bytes
    static constexpr int kIndexBlock = 23804;
    static constexpr int kStartObject = 29952;          ///< the 601.0 point at (0, 0), 40 bytes
    static constexpr int kColors = 32;
    static constexpr int kSeparations = 7;
    static constexpr double kMapScale = 15000.0;
    static constexpr double kGridDistance = 10.0;
};

/// Symbol numbers (in tenths) of the symbols the export writes with.
inline constexpr std::int16_t kRouteSymbol = 5171;   ///< 517.1 "Power line"
inline constexpr std::int16_t kLabelSymbol = 8021;   ///< 802.1 "Text 8 pt"
inline constexpr std::int16_t kStartSymbol = 6010;   ///< 601.0 "Start"
inline constexpr std::int16_t kConnectionSymbol = 6011;  ///< 601.1 "Connection line"

/// The 29992 bytes of the template map. Built once on first use; the same bytes every time.
const std::vector<std::uint8_t>& templateMap();
/// The template map with its start object at (x, y), map units of 0.01 mm, instead of (0, 0):
/// for a route that does not start at the map's origin. The caller keeps (x, y) within the
/// map's coordinate range.
std::vector<std::uint8_t> templateMapStartingAt(std::int32_t x, std::int32_t y);
/// Puts `g` into the setup of template bytes: the scale (and the draft and print scales with
/// it), the real-world offsets and angle, and real-world coordinates shown.
void setTemplateGeoreference(std::vector<std::uint8_t>& file, const MapGeoreference& g);

}  // namespace zelt::mapexport

// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the template map byte for byte: header, colours, setup, four symbols, one start object.
#include "export/ocad_template.h"

#include "export/ocad_types.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

namespace zelt::mapexport {
namespace {

using L = TemplateLayout;

template<std::size_t N>
void putPascal(std::uint8_t (&dest)[N], std::string_view text)
{
    static_assert(N >= 2);
    const std::size_t n = std::min(text.size(), N - 1);
    dest[0] = static_cast<std::uint8_t>(n);
    std::memcpy(dest + 1, text.data(), n);
}

template<typename T>
void put(std::vector<std::uint8_t>& file, int pos, const T& record)
{
    std::memcpy(file.data() + pos, &record, sizeof(T));
}

constexpr std::int32_t raw(int units) { return units * 256; }

void setColorBit(std::uint8_t (&set)[32], int color) { set[color / 8] |= std::uint8_t(1u << (color % 8)); }

// --- colour table -----------------------------------------------------------------------------
// The 32 colours of an OCAD 7 orienteering map, in drawing order (entry 0 on top). Colour
// numbers 0 "Black", 11 "Purple" and 22 "Gray" are the ones our symbols use.
struct ColorRow {
    std::int16_t number;
    const char* name;
    std::uint8_t c, m, y, k;
    std::array<std::pair<int, int>, 7> seps;  ///< (separation, percentage x 2); -1 ends
};

constexpr std::pair<int, int> E{-1, 0};
const ColorRow kColorRows[L::kColors] = {
    {11, "Purple", 0, 200, 0, 0, {{{5, 200}, E}}},
    {17, "Purple 50%", 0, 100, 0, 0, {{{5, 100}, E}}},
    {18, "Purple 20%", 0, 40, 0, 0, {{{5, 40}, E}}},
    {14, "All color separations", 0, 0, 0, 200, {{{0, 200}, {1, 200}, {2, 200}, {3, 200}, {4, 200}, {5, 200}, {6, 200}}}},
    {0, "Black", 0, 0, 0, 200, {{{0, 200}, E}}},
    {15, "Street infill", 0, 56, 82, 19, {{{0, 0}, {2, 100}, E}}},
    {25, "Street borderlines", 0, 0, 0, 200, {{{0, 200}, E}}},
    {2, "Blue", 174, 37, 0, 0, {{{1, 200}, E}}},
    {3, "Blue 50%", 87, 19, 0, 0, {{{1, 100}, {3, 0}, {4, 0}, {6, 0}, E}}},
    {20, "Blue 20%", 35, 7, 0, 0, {{{1, 40}, E}}},
    {4, "Brown", 0, 112, 163, 37, {{{2, 200}, E}}},
    {5, "Brown 50%", 0, 56, 82, 19, {{{2, 100}, E}}},
    {21, "Brown 20%", 0, 22, 33, 7, {{{2, 40}, E}}},
    {12, "Yellow100%/Green 50%", 21, 0, 145, 55, {{{3, 100}, {4, 200}, E}}},
    {13, "White for green", 0, 0, 0, 0, {{{3, 0}, E}}},
    {6, "Green", 152, 0, 182, 0, {{{3, 200}, E}}},
    {7, "Green 50%", 76, 0, 91, 0, {{{3, 100}, E}}},
    {8, "Green 20%", 30, 0, 36, 0, {{{3, 40}, E}}},
    {19, "Black 50%", 0, 0, 0, 100, {{{0, 100}, E}}},
    {1, "Black 30%", 0, 0, 0, 60, {{{0, 60}, E}}},
    {26, "White for yellow", 0, 0, 0, 0, {{{4, 0}, E}}},
    {9, "Yellow", 0, 55, 158, 0, {{{4, 200}, E}}},
    {10, "Yellow 50%", 0, 28, 79, 0, {{{4, 100}, E}}},
    {16, "Yellow 20%", 0, 11, 32, 0, {{{4, 40}, E}}},
    {22, "Gray", 0, 0, 0, 60, {{{6, 200}, E}}},
    {23, "Gray 50%", 0, 0, 0, 30, {{{6, 100}, E}}},
    {24, "Gray 20%", 0, 0, 0, 12, {{{6, 40}, E}}},
    {27, "Yellow 50%/Green 50%", 48, 0, 142, 28, {{{3, 100}, {4, 100}, E}}},
    {28, "Yellow 50%/Green 20%", 2, 0, 87, 28, {{{3, 40}, {4, 100}, E}}},
    {29, "", 0, 0, 0, 0, {{E}}},
    {30, "", 0, 0, 0, 0, {{E}}},
    {31, "", 0, 0, 0, 0, {{E}}},
};

struct SepRow {
    const char* name;
    std::uint8_t c, m, y, k;
    std::int16_t freq, angle;
};
const SepRow kSepRows[L::kSeparations] = {
    {"Black", 0, 0, 0, 200, 1500, 450},  {"Blue", 174, 37, 0, 0, 1500, 450},
    {"Brown", 0, 112, 163, 37, 1500, 450}, {"Green", 152, 0, 182, 0, 1500, 450},
    {"Yellow", 0, 55, 158, 0, 1500, 300}, {"Purple", 0, 200, 0, 0, 1500, 450},
    {"Gray", 0, 0, 0, 60, 1500, 450},
};

void writeColors(std::vector<std::uint8_t>& file)
{
    OcadSymbolHeader sh;
    sh.nColors = L::kColors;
    sh.nColorSep = L::kSeparations;
    sh.cyanFreq = 1500, sh.cyanAngle = 150;
    sh.magentaFreq = 1500, sh.magentaAngle = 750;
    sh.yellowFreq = 1500, sh.yellowAngle = 0;
    sh.blackFreq = 1500, sh.blackAngle = 450;
    put(file, sizeof(OcadFileHeader), sh);

    for (int i = 0; i < L::kColors; ++i) {
        const ColorRow& row = kColorRows[i];
        OcadColorInfo ci;
        ci.colorNum = row.number;
        ci.cmyk[0] = row.c, ci.cmyk[1] = row.m, ci.cmyk[2] = row.y, ci.cmyk[3] = row.k;
        putPascal(ci.name, row.name);
        std::memset(ci.sepPercentage, 255, sizeof ci.sepPercentage);
        for (const auto& [sep, pct] : row.seps)
            if (sep >= 0)
                ci.sepPercentage[sep] = static_cast<std::uint8_t>(pct);
        put(file, L::kColorTable + i * int(sizeof(OcadColorInfo)), ci);
    }
    for (int j = 0; j < L::kSeparations; ++j) {
        const SepRow& row = kSepRows[j];
        OcadColorSep cs;
        putPascal(cs.name, row.name);
        cs.cmyk[0] = row.c, cs.cmyk[1] = row.m, cs.cmyk[2] = row.y, cs.cmyk[3] = row.k;
        cs.rasterFreq = row.freq;
        cs.rasterAngle = row.angle;
        put(file, L::kColorSeps + j * int(sizeof(OcadColorSep)), cs);
    }
}

// --- setup ------------------------------------------------------------------------------------
void writeSetup(std::vector<std::uint8_t>& file)
{
    OcadSetup s;
    s.gridDistance = L::kGridDistance;
    s.workMode = 12;   // edit object
    s.lineMode = 10;   // curve
    s.editMode = 11;   // edit point
    s.mapScale = L::kMapScale;
    s.realWorldGrid = 500.0;
    s.draftScaleX = L::kMapScale;
    s.draftScaleY = L::kMapScale;
    s.templateResolution = 600;
    s.printLowerLeft = {raw(-5000), raw(-5000)};
    s.printUpperRight = {raw(5000), raw(5000)};
    s.printOverlapX = 1000;
    s.printOverlapY = 1000;
    s.printScale = L::kMapScale;
    s.zoom = 4.0;
    put(file, L::kSetupPos, s);
}

// --- icons ------------------------------------------------------------------------------------
// 22 x 22 pixels of the Windows 16-colour palette, drawn top-down and stored bottom row first,
// two pixels a byte with the left one in the high nibble, 12 bytes a row.
class Icon {
public:
    static constexpr std::uint8_t kWhite = 15, kBlack = 0, kGray = 8, kMagenta = 13;

    Icon() { for (auto& row : m_px) row.fill(kWhite); }

    void line(int x0, int y0, int x1, int y1, std::uint8_t color)
    {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            m_px[std::size_t(y0)][std::size_t(x0)] = color;
            if (x0 == x1 && y0 == y1)
                break;
            const int e2 = 2 * err;
            if (e2 >= dy) { err += dy; x0 += sx; }
            if (e2 <= dx) { err += dx; y0 += sy; }
        }
    }

    void store(std::uint8_t (&dest)[264]) const
    {
        for (int r = 0; r < 22; ++r) {
            const auto& row = m_px[std::size_t(21 - r)];
            for (int b = 0; b < 11; ++b)
                dest[r * 12 + b] = std::uint8_t(row[std::size_t(2 * b)] << 4 | row[std::size_t(2 * b + 1)]);
            dest[r * 12 + 11] = 0;
        }
    }

private:
    std::array<std::array<std::uint8_t, 22>, 22> m_px;
};

void iconPowerLine(std::uint8_t (&dest)[264])
{
    Icon icon;
    icon.line(1, 11, 20, 11, Icon::kGray);
    for (int x : {1, 11, 20})
        icon.line(x, 8, x, 14, Icon::kGray);
    icon.store(dest);
}

void iconStart(std::uint8_t (&dest)[264])
{
    Icon icon;
    icon.line(11, 2, 2, 18, Icon::kMagenta);
    icon.line(2, 18, 20, 18, Icon::kMagenta);
    icon.line(20, 18, 11, 2, Icon::kMagenta);
    icon.store(dest);
}

void iconConnection(std::uint8_t (&dest)[264])
{
    Icon icon;
    icon.line(1, 10, 20, 10, Icon::kMagenta);
    icon.line(1, 11, 20, 11, Icon::kMagenta);
    icon.store(dest);
}

void iconText(std::uint8_t (&dest)[264])
{
    Icon icon;
    for (int y : {3, 4})
        icon.line(5, y, 16, y, Icon::kBlack);
    for (int x : {10, 11})
        icon.line(x, 3, x, 18, Icon::kBlack);
    icon.store(dest);
}

// --- symbols ----------------------------------------------------------------------------------
OcadSymbolBase symbolBase(int size, std::int16_t number, std::int16_t type, int extent, int color,
                          const char* description, int pos)
{
    OcadSymbolBase b;
    b.size = static_cast<std::int16_t>(size);
    b.symbolNumber = number;
    b.objectType = type;
    b.extent = static_cast<std::int16_t>(extent);
    b.filePos = pos;
    setColorBit(b.colors, color);
    putPascal(b.description, description);
    return b;
}

// A line element of two points from (0, top) to (0, bottom): the tick that 517.1 draws at
// corner points and at the end of a line.
void putTick(std::vector<std::uint8_t>& file, int pos)
{
    OcadSymbolElement e;
    e.type = 1;
    e.color = 22;
    e.lineWidth = 13;
    e.nPoints = 2;
    put(file, pos, e);
    put(file, pos + 16, OcadCord{0, raw(36)});
    put(file, pos + 24, OcadCord{0, raw(-37)});
}

void writePowerLine(std::vector<std::uint8_t>& file)
{
    // Extent: the tick reaches 37 from the line, plus half its width 13.
    OcadLineSymbol s;
    s.base = symbolBase(488, kRouteSymbol, 2, 43, 22, "Power line", L::kSymbolPowerLine);
    iconPowerLine(s.base.icon);
    s.lineColor = 22;
    s.lineWidth = 13;
    s.cornerDSize = 4;
    s.endDSize = 4;
    put(file, L::kSymbolPowerLine, s);
    putTick(file, L::kSymbolPowerLine + 424);
    putTick(file, L::kSymbolPowerLine + 424 + 32);
}

void writeStart(std::vector<std::uint8_t>& file)
{
    // A closed triangle of circumradius 393 (0.01 mm) drawn 0.35 mm wide with round ends;
    // Extent = farthest vertex 393 + half the width 17.5, rounded down.
    OcadPointSymbol s;
    s.base = symbolBase(400, kStartSymbol, 1, 410, 11, "Start", L::kSymbolStart);
    iconStart(s.base.icon);
    s.dataSize = 6;
    put(file, L::kSymbolStart, s);
    OcadSymbolElement e;
    e.type = 1;
    e.flags = 1;
    e.color = 11;
    e.lineWidth = 35;
    e.nPoints = 4;
    put(file, L::kSymbolStart + 352, e);
    const OcadCord pts[4] = {{0, raw(393)}, {raw(340), raw(-197)}, {raw(-340), raw(-197)}, {0, raw(393)}};
    for (int i = 0; i < 4; ++i)
        put(file, L::kSymbolStart + 368 + 8 * i, pts[i]);
}

void writeConnection(std::vector<std::uint8_t>& file)
{
    OcadLineSymbol s;
    s.base = symbolBase(424, kConnectionSymbol, 2, 17, 11, "Connection line", L::kSymbolConnection);
    iconConnection(s.base.icon);
    s.lineColor = 11;
    s.lineWidth = 35;
    put(file, L::kSymbolConnection, s);
}

void writeText(std::vector<std::uint8_t>& file)
{
    OcadTextSymbol s;
    s.base = symbolBase(588, kLabelSymbol, 4, 35, 0, "Text 8 pt", L::kSymbolText);
    s.base.symbolType = 1;
    iconText(s.base.icon);
    putPascal(s.fontName, "Arial");
    s.fontColor = 0;
    s.fontSize = 80;
    s.weight = 400;
    s.wordSpace = 100;
    s.lineSpace = 120;
    s.frameSize = 10;
    s.frameWeight = 400;
    put(file, L::kSymbolText, s);
}

// --- index and start object -------------------------------------------------------------------
void writeStartObject(std::vector<std::uint8_t>& file)
{
    constexpr int extent = 410;  // of symbol 601.0
    OcadIndexEntry entry;
    entry.lowerLeft = {raw(-extent), raw(-extent)};
    entry.upperRight = {raw(extent), raw(extent)};
    entry.pos = L::kStartObject;
    entry.len = 40;
    entry.symbol = kStartSymbol;
    put(file, L::kIndexBlock + 4, entry);

    OcadObjectHeader obj;
    obj.symbol = kStartSymbol;
    obj.objectType = 1;
    obj.nItem = 1;
    put(file, L::kStartObject, obj);
    put(file, L::kStartObject + 32, OcadCord{0, 0});
}

std::vector<std::uint8_t> build()
{
    std::vector<std::uint8_t> file(L::kFileSize, 0);
    OcadFileHeader h;
    h.ocadMark = kOcadMark;
    h.sectionMark = 7;
    h.version = 7;
    h.subversion = 53;
    h.firstSymBlock = L::kSymbolBlock;
    h.firstIndexBlock = L::kIndexBlock;
    h.setupPos = L::kSetupPos;
    h.setupSize = L::kSetupSize;
    h.infoPos = L::kInfoPos;
    h.infoSize = L::kInfoSize;
    put(file, 0, h);

    writeColors(file);
    writeSetup(file);
    // The file information text stays empty: 256 zero bytes.

    OcadSymbolBlock sb;
    sb.filePos[0] = L::kSymbolPowerLine;
    sb.filePos[1] = L::kSymbolStart;
    sb.filePos[2] = L::kSymbolConnection;
    sb.filePos[3] = L::kSymbolText;
    put(file, L::kSymbolBlock, sb);
    writePowerLine(file);
    writeStart(file);
    writeConnection(file);
    writeText(file);

    writeStartObject(file);
    return file;
}

}  // namespace

const std::vector<std::uint8_t>& templateMap()
{
    static const std::vector<std::uint8_t> bytes = build();
    return bytes;
}

void setTemplateGeoreference(std::vector<std::uint8_t>& file, const MapGeoreference& g)
{
    OcadSetup s;
    std::memcpy(&s, file.data() + L::kSetupPos, sizeof s);
    s.mapScale = g.scale;
    s.draftScaleX = g.scale;
    s.draftScaleY = g.scale;
    s.printScale = g.scale;
    s.realWorldOfsX = g.ofsX;
    s.realWorldOfsY = g.ofsY;
    s.realWorldAngle = g.angleDeg;
    s.realWorldCoords = g.realWorldOn ? 1 : 0;
    put(file, L::kSetupPos, s);
}

std::vector<std::uint8_t> templateMapStartingAt(std::int32_t x, std::int32_t y)
{
    std::vector<std::uint8_t> file = templateMap();
    // The index entry's box keeps the symbol's extent around the point, clamped to the raw range.
    constexpr std::int64_t extent = 410;
    const auto rawClamped = [](std::int64_t units) {
        return std::int32_t(std::clamp<std::int64_t>(units * 256, std::numeric_limits<std::int32_t>::min(),
                                                 std::numeric_limits<std::int32_t>::max()));
    };
    OcadIndexEntry entry;
    std::memcpy(&entry, file.data() + L::kIndexBlock + 4, sizeof entry);
    entry.lowerLeft = {rawClamped(x - extent), rawClamped(y - extent)};
    entry.upperRight = {rawClamped(x + extent), rawClamped(y + extent)};
    put(file, L::kIndexBlock + 4, entry);
    put(file, L::kStartObject + 32, OcadCord{rawClamped(x), rawClamped(y)});
    return file;
}

}  // namespace zelt::mapexport

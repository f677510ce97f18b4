// SPDX-License-Identifier: GPL-3.0-or-later
// On-disk records of OCAD 6/7 map files: packed little-endian structs with pinned sizes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace zelt::mapexport {

// The records are read and written by copying their bytes, which holds only on a
// little-endian host; every platform we build for is one.
static_assert(std::endian::native == std::endian::little, "OCAD records are little-endian");

#pragma pack(push, 1)

/// A coordinate pair: upper 24 bits 0.01 mm on the map, low 8 bits flags (y bit 0 = corner).
struct OcadCord {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

/// File header at offset 0.
struct OcadFileHeader {
    std::int16_t ocadMark = 0;     ///< 0x0CAD
    std::int16_t sectionMark = 0;  ///< 0 for OCAD 6, 7 for OCAD 7
    std::int16_t version = 0;      ///< 6 or 7 (8 and later are refused)
    std::int16_t subversion = 0;
    std::int32_t firstSymBlock = 0;
    std::int32_t firstIndexBlock = 0;  ///< 0 when the map has no index block yet
    std::int32_t setupPos = 0;
    std::int32_t setupSize = 0;
    std::int32_t infoPos = 0;
    std::int32_t infoSize = 0;
    std::int32_t reserved[4] = {};
};

/// Fixed part of the symbol header (colour table follows at offset 72).
struct OcadSymbolHeader {
    std::int16_t nColors = 0;
    std::int16_t nColorSep = 0;
    std::int16_t cyanFreq = 0, cyanAngle = 0;
    std::int16_t magentaFreq = 0, magentaAngle = 0;
    std::int16_t yellowFreq = 0, yellowAngle = 0;
    std::int16_t blackFreq = 0, blackAngle = 0;
    std::int16_t reserved1 = 0, reserved2 = 0;
};

/// One entry of the 256-entry colour table; position in the table is drawing order.
struct OcadColorInfo {
    std::int16_t colorNum = 0;
    std::int16_t reserved = 0;
    std::uint8_t cmyk[4] = {};           ///< 0..200 each
    std::uint8_t name[32] = {};          ///< Pascal string[31]
    std::uint8_t sepPercentage[32] = {}; ///< 0..200, 255 = absent from that separation
};

/// One of the 32 colour separation records.
struct OcadColorSep {
    std::uint8_t name[16] = {};  ///< Pascal string[15]
    std::uint8_t cmyk[4] = {};
    std::int16_t rasterFreq = 0;
    std::int16_t rasterAngle = 0;
};

struct OcadGpsAdjPoint {
    OcadCord mapPoint;
    double latitude = 0;
    double longitude = 0;
    std::uint8_t name[16] = {};
};

struct OcadZoomRec {
    double zoom = 0;
    OcadCord offset;
};

/// Setup record as OCAD 7 writes it (1348 bytes); the map scale sits at offset 24.
struct OcadSetup {
    OcadCord offset;
    double gridDistance = 0;
    std::int16_t workMode = 0, lineMode = 0, editMode = 0, activeSymbol = 0;
    double mapScale = 0;
    double realWorldOfsX = 0, realWorldOfsY = 0, realWorldAngle = 0, realWorldGrid = 0;
    double gpsAngle = 0;
    OcadGpsAdjPoint gpsAdjust[12] = {};
    std::int32_t nGpsAdjust = 0;
    double draftScaleX = 0, draftScaleY = 0;
    OcadCord templateOffset;
    std::uint8_t templateFileName[256] = {};
    std::uint16_t templateEnabled = 0;
    std::int16_t templateResolution = 0;
    double templateAngle = 0;
    OcadCord reserved1;
    double reserved2 = 0;
    OcadCord printLowerLeft, printUpperRight;
    std::uint16_t printGrid = 0;
    std::int16_t printGridColor = 0;
    std::int16_t printOverlapX = 0, printOverlapY = 0;
    double printScale = 0;
    std::int16_t printIntensity = 0, printLineWidth = 0;
    std::uint16_t printReserved = 0, printStdFonts = 0, printReserved2 = 0, printReserved3 = 0;
    OcadCord partialLowerLeft, partialUpperRight;
    double zoom = 0;
    OcadZoomRec zoomHistory[9] = {};
    std::int32_t nZoomHistory = 0;
    // OCAD 7 additions
    std::uint16_t realWorldCoords = 0;
    std::uint8_t fileName[256] = {};
    std::uint16_t hatchAreas = 0, dimTemplate = 0, hideTemplate = 0;
    std::int16_t templateMode = 0, templateColor = 0;
};

/// Symbol block: next block and the positions of up to 256 symbol records.
struct OcadSymbolBlock {
    std::int32_t nextBlock = 0;
    std::int32_t filePos[256] = {};
};

/// Common first 348 bytes of every symbol record.
struct OcadSymbolBase {
    std::int16_t size = 0;         ///< whole record including element data
    std::int16_t symbolNumber = 0; ///< tenths: 5171 = 517.1
    std::int16_t objectType = 0;   ///< 1 point, 2 line, 3 area, 4 text, 5 rectangle
    std::uint8_t symbolType = 0;   ///< 1 for text and line-text symbols
    std::uint8_t flags = 0;
    std::int16_t extent = 0;       ///< reach beyond the coordinates, 0.01 mm
    std::uint8_t selected = 0;
    std::uint8_t status = 0;
    std::int16_t tool = 0;
    std::int16_t frameWidth = 0;
    std::int32_t filePos = 0;
    std::uint8_t colors[32] = {};  ///< bit set of the colour numbers used
    std::uint8_t description[32] = {};
    std::uint8_t icon[264] = {};   ///< 22 rows x 12 bytes, 4 bits per pixel, bottom row first
};

/// Header of one symbol element (line, area, circle, dot); its points follow.
struct OcadSymbolElement {
    std::int16_t type = 0;         ///< 1 line, 2 area, 3 circle, 4 dot
    std::uint16_t flags = 0;       ///< bit 0 round ends
    std::int16_t color = 0;
    std::int16_t lineWidth = 0;
    std::int16_t diameter = 0;
    std::int16_t nPoints = 0;
    std::int16_t reserved1 = 0, reserved2 = 0;
};

struct OcadPointSymbol {
    OcadSymbolBase base;
    std::int16_t dataSize = 0;     ///< 8-byte slots of element data that follow
    std::int16_t reserved = 0;
};

struct OcadLineSymbol {
    OcadSymbolBase base;
    std::int16_t lineColor = 0, lineWidth = 0;
    std::uint16_t lineEnds = 0;
    std::int16_t distFromStart = 0, distToEnd = 0;
    std::int16_t mainLength = 0, endLength = 0, mainGap = 0, secGap = 0, endGap = 0;
    std::int16_t minSym = 0, nPrimSym = 0, primSymDist = 0;
    std::uint16_t dblMode = 0, dblFlags = 0;
    std::int16_t dblFillColor = 0, dblLeftColor = 0, dblRightColor = 0;
    std::int16_t dblWidth = 0, dblLeftWidth = 0, dblRightWidth = 0, dblLength = 0, dblGap = 0;
    std::int16_t dblReserved[3] = {};
    std::uint16_t decMode = 0;
    std::int16_t decLast = 0, decReserved = 0;
    std::int16_t frameColor = 0, frameWidth = 0, frameStyle = 0;
    std::int16_t primDSize = 0, secDSize = 0, cornerDSize = 0, startDSize = 0, endDSize = 0;
    std::int16_t reserved = 0;
};

struct OcadTextSymbol {
    OcadSymbolBase base;
    std::uint8_t fontName[32] = {};
    std::int16_t fontColor = 0, fontSize = 0, weight = 0;
    std::uint8_t italic = 0, charSet = 0;
    std::int16_t charSpace = 0, wordSpace = 0, alignment = 0, lineSpace = 0, paraSpace = 0;
    std::int16_t indentFirst = 0, indentOther = 0, nTabs = 0;
    std::int32_t tabs[32] = {};
    std::uint16_t lineBelowOn = 0;
    std::int16_t lineBelowColor = 0, lineBelowWidth = 0, lineBelowDist = 0, reserved4 = 0;
    std::int16_t frameMode = 0;
    std::uint8_t frameName[32] = {};
    std::int16_t frameColor = 0, frameSize = 0, frameWeight = 0;
    std::uint16_t frameItalic = 0;
    std::int16_t frameOffsetX = 0, frameOffsetY = 0;
};

/// One entry of an object index block.
struct OcadIndexEntry {
    OcadCord lowerLeft;            ///< bounding box, raw values
    OcadCord upperRight;
    std::int32_t pos = 0;          ///< file position of the object
    std::int16_t len = 0;          ///< object size in bytes
    std::int16_t symbol = 0;       ///< 0 = free or deleted
};

/// Object index block: next block and 256 entries.
struct OcadIndexBlock {
    std::int32_t nextBlock = 0;
    OcadIndexEntry entries[256] = {};
};

/// Header of an object record; nItem coordinates and nText text slots follow.
struct OcadObjectHeader {
    std::int16_t symbol = 0;
    std::uint8_t objectType = 0;   ///< 1 point, 2 line, 3 area, 4 text at a point, 5 text in a box
    std::uint8_t unicode = 0;      ///< always 0 in OCAD 6/7
    std::int16_t nItem = 0;
    std::int16_t nText = 0;
    std::int16_t angle = 0;
    std::int16_t reserved1 = 0;
    std::int32_t reservedHeight = 0;
    std::uint8_t reservedId[16] = {};
};

#pragma pack(pop)

static_assert(sizeof(OcadCord) == 8);
static_assert(sizeof(OcadFileHeader) == 48);
static_assert(sizeof(OcadSymbolHeader) == 24);
static_assert(sizeof(OcadColorInfo) == 72);
static_assert(sizeof(OcadColorSep) == 24);
static_assert(sizeof(OcadGpsAdjPoint) == 40);
static_assert(sizeof(OcadZoomRec) == 16);
static_assert(sizeof(OcadSetup) == 1348);
static_assert(offsetof(OcadSetup, mapScale) == 24);
static_assert(offsetof(OcadSetup, nGpsAdjust) == 552);
static_assert(offsetof(OcadSetup, templateFileName) == 580);
static_assert(offsetof(OcadSetup, zoom) == 924);
static_assert(offsetof(OcadSetup, realWorldCoords) == 1080);
static_assert(sizeof(OcadSymbolBlock) == 1028);
static_assert(sizeof(OcadSymbolBase) == 348);
static_assert(sizeof(OcadSymbolElement) == 16);
static_assert(sizeof(OcadPointSymbol) == 352);
static_assert(sizeof(OcadLineSymbol) == 424);
static_assert(offsetof(OcadLineSymbol, frameColor) == 406);
static_assert(sizeof(OcadTextSymbol) == 588);
static_assert(offsetof(OcadTextSymbol, tabs) == 404);
static_assert(offsetof(OcadTextSymbol, frameMode) == 542);
static_assert(sizeof(OcadIndexEntry) == 24);
static_assert(sizeof(OcadIndexBlock) == 6148);
static_assert(sizeof(OcadObjectHeader) == 32);

/// Fixed facts of the format used by the reader and writer.
inline constexpr std::int16_t kOcadMark = 0x0CAD;
inline constexpr int kIndexEntriesPerBlock = 256;
/// Room of one object record in memory: the OCAD 6/7 limit of coordinate plus text slots.
inline constexpr int kMaxObjectSlots = 2000;

/// The georeference a map's setup record keeps: paper point (0, 0) lies at real-world
/// (ofsX, ofsY) metres, the grid turned by `angleDeg`, at the scale 1:`scale`.
struct MapGeoreference {
    double scale = 0;
    double ofsX = 0;
    double ofsY = 0;
    double angleDeg = 0;
    bool realWorldOn = false;   ///< the map shows real-world coordinates
};

}  // namespace zelt::mapexport

// SPDX-License-Identifier: GPL-3.0-or-later
// Writes into OCAD 6/7 maps: template placement, map scale, object records and the object index.
#pragma once

#include "export/ocad_types.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::mapexport {

class MapFile;

/// An input/output error of a map or figure file; what() names the file and the cause.
class MapIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A write into the map (or its close) that the system refused: a full disk, an I/O error. The
/// export then leaves the map as it was (see StagedMap).
class MapWriteError : public MapIoError {
public:
    using MapIoError::MapIoError;
};

/// A value outside what the format can hold: more than 2000 coordinates in one object, a point
/// beyond the map's coordinate range, a text too long for one object.
class MapRangeError : public std::range_error {
public:
    using std::range_error::range_error;
};

/// One object record in memory: the 32-byte header and up to 2000 slots (coordinates, then text).
class OcadObject {
public:
    OcadObject(std::int16_t symbol, std::uint8_t objectType);
    /// An object read back from its record bytes; MapIoError when they do not hold a whole
    /// record of at most 2000 slots.
    static OcadObject fromRecord(const std::uint8_t* bytes, std::size_t size);

    const OcadObjectHeader& header() const { return m_header; }
    int nItem() const { return m_header.nItem; }
    int nText() const { return m_header.nText; }
    /// Coordinate slot i (0 <= i < nItem), raw values with flags.
    const OcadCord& point(int i) const { return m_slots.at(std::size_t(i)); }

    /// Appends a coordinate given as raw values; MapRangeError past slot 1999.
    void addRaw(std::int64_t rawX, std::int64_t rawY);
    /// Sets the text slots behind the coordinates: `bytes` (8-bit, no NUL inside) then zeros,
    /// bytes.size() / 8 + 1 slots. MapRangeError when the slots would pass 2000 (or 1024 text slots).
    void setText(std::string_view bytes);

    /// Bytes on disk: 32 + 8 x (nItem + nText).
    int byteSize() const { return 32 + 8 * (m_header.nItem + m_header.nText); }
    std::vector<std::uint8_t> bytes() const;
    /// Index-entry box on raw values: one coordinate -> +-777 around it; otherwise min/max over
    /// the coordinates (not the text slots) widened by 1536. MapRangeError if it leaves 32 bits.
    void boundingBox(OcadCord& lowerLeft, OcadCord& upperRight) const;

protected:
    OcadObjectHeader m_header;
    std::vector<OcadCord> m_slots;   ///< nItem coordinates followed by nText text slots
};

/// The route's line object: symbol 517.1, a line, starting with the point (0, 0).
class RouteLine : public OcadObject {
public:
    RouteLine();
    /// A route line starting at (x, y), map units; MapRangeError outside the coordinate range.
    RouteLine(std::int32_t startX, std::int32_t startY);
    /// Stores (x x 256, y x 256), map units of 0.01 mm, flags 0. MapRangeError past 2000 points
    /// or outside the 24-bit coordinate range.
    void AddPoint(std::int32_t x, std::int32_t y);
    /// Sets the corner flag (bit 0 of Y) on the last stored point.
    void MarkCorner();
};

/// A route line of any length: route line objects of at most 2000 points each, every one after
/// the first starting at the point where the one before it ends, so that the map shows one
/// unbroken line however long the traverse.
class RouteLineChain {
public:
    RouteLineChain() : m_lines{RouteLine()} {}
    /// A chain starting at (x, y), map units; MapRangeError outside the coordinate range.
    RouteLineChain(std::int32_t startX, std::int32_t startY) : m_lines{RouteLine(startX, startY)} {}
    /// Adds a point to the last object, or to a new one that continues from the last object's
    /// end when that one is full. MapRangeError outside the 24-bit coordinate range.
    void AddPoint(std::int32_t x, std::int32_t y);
    /// Sets the corner flag on the last point added.
    void MarkCorner() { m_lines.back().MarkCorner(); }
    /// Points of the route, start included; a joint of two objects counts once.
    int nItem() const;
    const std::vector<RouteLine>& lines() const { return m_lines; }

private:
    std::vector<RouteLine> m_lines;
};

/// The label object of `text` (already in the map's 8-bit code page) anchored at map point
/// (x, y) in 0.01 mm: symbol 802.1, object type 4, five coordinates and the text slots.
OcadObject makeTextObject(std::string_view text, std::int32_t x, std::int32_t y);

/// An OCAD 6/7 map opened for appending during one export run. The constructor checks the map
/// (mark, version 6 or 7, setup record, map scale, index chain inside the file and without loops,
/// every object the index points to inside the file) and writes nothing; any fault raises
/// MapIoError and leaves the file untouched.
/// It keeps the index chain and the next free entry, so each append writes the object and its
/// index entry at once instead of walking the chain again. The map stays open from the
/// constructor to close() or the destructor; if its size changed between two appends (written by
/// someone else), the chain is read and checked again.
class MapAppender {
public:
    explicit MapAppender(std::filesystem::path path);
    ~MapAppender();
    MapAppender(const MapAppender&) = delete;
    MapAppender& operator=(const MapAppender&) = delete;
    /// Closes the map and reports a failing close (the destructor closes silently).
    void close();

    const std::filesystem::path& path() const { return m_path; }
    /// The scale denominator from the setup record (finite and positive).
    double mapScale() const { return m_scale; }
    /// Whether a symbol record with this number (tenths) is listed in the symbol blocks.
    bool definesSymbol(std::int16_t symbol) const;

    /// Refuses, before anything is written, objects that would take the map past the 2 GB its
    /// offsets can address: `bytes` of records in `objects` objects (each may need a new index
    /// block). Throws MapRangeError.
    void checkRoom(std::int64_t bytes, std::int64_t objects) const;

    /// Appends the object at the end of the file and enters it in the first free index entry
    /// (symbol 0 and length <= 32); chains a new index block when every entry is taken.
    void append(const OcadObject& object);

private:
    void load();
    void checkObjectsInside(const std::vector<std::int32_t>& blocks);
    bool findFreeEntry(MapFile& file);
    MapFile& writableFile();

    std::filesystem::path m_path;
    std::unique_ptr<MapFile> m_file;      ///< open for the whole run
    double m_scale = 0;
    std::int64_t m_fileSize = 0;
    std::int32_t m_firstIndexBlock = 0;
    std::vector<std::int16_t> m_symbols;
    std::vector<std::int32_t> m_blocks;   ///< positions of the index blocks in chain order
    OcadIndexBlock m_current;             ///< the block holding the cursor
    int m_block = -1;                     ///< index into m_blocks of m_current, -1 none loaded
    int m_entry = 0;                      ///< first entry of m_current that may be free
};

/// Writes the template map to `path` when no file exists there; an existing file is untouched.
void PrepareTarget(const std::filesystem::path& path);
/// The same with the template's start object at (startX, startY), map units of 0.01 mm;
/// MapRangeError, before anything is written, when that is outside the map's coordinate range.
/// With `georef`, the new map's setup carries it: scale (also the draft and print scales),
/// real-world offsets and angle, real-world coordinates shown.
void PrepareTarget(const std::filesystem::path& path, std::int32_t startX, std::int32_t startY,
                   const MapGeoreference* georef = nullptr);
/// The map scale of the map at `path` (checked as MapAppender does).
double ReadMapScale(const std::filesystem::path& path);
/// Reads the georeference from the setup of the map at `path` (checked as MapAppender does).
/// MapIoError when the setup record is too short to hold it or its values are not finite.
MapGeoreference ReadMapGeoreference(const std::filesystem::path& path);

/// Opens the map, walks its index, appends `object`, closes the map.
void AppendObject(const std::filesystem::path& path, const OcadObject& object);
/// Builds the label object for `text` at (x, y) and appends it with AppendObject.
void WriteTextObject(const std::filesystem::path& path, std::string_view text, std::int32_t x, std::int32_t y);

}  // namespace zelt::mapexport

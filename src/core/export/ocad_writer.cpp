// SPDX-License-Identifier: GPL-3.0-or-later
// OCAD 6/7 appending: checked reading of header, setup and index chain; object and index writes.
#include "export/ocad_writer.h"

#include "export/map_file.h"
#include "export/ocad_template.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <system_error>

namespace zelt::mapexport {
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
// Coordinates keep 24 bits for the value; the low 8 bits are flags.
constexpr std::int32_t kMaxUnits = (1 << 23) - 1;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

bool fitsInt32(std::int64_t v) { return v >= kInt32Min && v <= kInt32Max; }

// An index entry may take a new object when it names no symbol and reserves no more than an
// object header; deleted objects that kept their space are left alone.
bool isFree(const OcadIndexEntry& e) { return e.symbol == 0 && e.len <= 32; }

struct MapHead {
    OcadFileHeader header;
    double scale = 0;
    std::int64_t size = 0;
};

// Reads and checks the header and the map scale. Every check happens before anything is written.
MapHead readHead(MapFile& file, const fs::path& path)
{
    MapHead head;
    head.size = file.size();
    if (head.size < std::int64_t(sizeof(OcadFileHeader)))
        throw MapIoError("The file " + quoted(path) + " is not an OCAD map: it is shorter than the map header.");
    file.read(0, &head.header, sizeof head.header, "the map header");
    const OcadFileHeader& h = head.header;
    if (h.ocadMark != kOcadMark)
        throw MapIoError("The file " + quoted(path) + " is not an OCAD map (the OCAD mark is missing).");
    if (h.version >= 8)
        throw MapIoError("The map " + quoted(path) + " is an OCAD version " + std::to_string(h.version) +
                         " file. The route can be written only into OCAD 6 and 7 maps; save the map as"
                         " OCAD 7 or choose a new file name.");
    if (h.version != 6 && h.version != 7)
        throw MapIoError("The map " + quoted(path) + " has the unknown OCAD version " + std::to_string(h.version) + ".");
    if (h.setupPos < std::int32_t(sizeof(OcadFileHeader)) || h.setupSize < 32 ||
        std::int64_t(h.setupPos) + 32 > head.size)
        throw MapIoError("The map " + quoted(path) + " is damaged: its setup record lies outside the file.");
    file.read(std::int64_t(h.setupPos) + 24, &head.scale, sizeof head.scale, "the map scale");
    if (!std::isfinite(head.scale) || head.scale <= 0)
        throw MapIoError("The map " + quoted(path) + " has no valid map scale.");
    return head;
}

}  // namespace

// --- objects ----------------------------------------------------------------------------------

OcadObject::OcadObject(std::int16_t symbol, std::uint8_t objectType)
{
    m_header.symbol = symbol;
    m_header.objectType = objectType;
}

OcadObject OcadObject::fromRecord(const std::uint8_t* bytes, std::size_t size)
{
    OcadObjectHeader h;
    if (size < sizeof h)
        throw MapIoError("An object record is shorter than its header.");
    std::memcpy(&h, bytes, sizeof h);
    const long slots = long(h.nItem) + long(h.nText);
    if (h.nItem < 0 || h.nText < 0 || slots > kMaxObjectSlots || size < sizeof h + std::size_t(slots) * 8)
        throw MapIoError("An object record does not hold its coordinates.");
    OcadObject obj(h.symbol, h.objectType);
    obj.m_header = h;
    obj.m_slots.resize(std::size_t(slots));
    if (slots > 0)
        std::memcpy(obj.m_slots.data(), bytes + sizeof h, std::size_t(slots) * 8);
    return obj;
}

void OcadObject::addRaw(std::int64_t rawX, std::int64_t rawY)
{
    if (m_header.nText != 0)
        throw std::logic_error("coordinates must be added before the text");
    if (m_slots.size() >= std::size_t(kMaxObjectSlots))
        throw MapRangeError("A map object holds at most 2000 coordinates; the route has more points.");
    if (!fitsInt32(rawX) || !fitsInt32(rawY))
        throw MapRangeError("A point lies outside the coordinate range of the map.");
    m_slots.push_back({std::int32_t(rawX), std::int32_t(rawY)});
    ++m_header.nItem;
}

void OcadObject::setText(std::string_view bytes)
{
    const std::size_t slots = bytes.size() / 8 + 1;
    if (slots > 1024 || m_slots.size() + slots > std::size_t(kMaxObjectSlots))
        throw MapRangeError("A text of " + std::to_string(bytes.size()) + " characters is too long for one map object.");
    std::vector<std::uint8_t> raw(slots * 8, 0);
    std::memcpy(raw.data(), bytes.data(), bytes.size());
    m_slots.resize(std::size_t(m_header.nItem));
    for (std::size_t i = 0; i < slots; ++i) {
        OcadCord c;
        std::memcpy(&c, raw.data() + 8 * i, 8);
        m_slots.push_back(c);
    }
    m_header.nText = std::int16_t(slots);
}

std::vector<std::uint8_t> OcadObject::bytes() const
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(byteSize()));
    std::memcpy(out.data(), &m_header, sizeof m_header);
    if (!m_slots.empty())
        std::memcpy(out.data() + sizeof m_header, m_slots.data(), m_slots.size() * sizeof(OcadCord));
    return out;
}

void OcadObject::boundingBox(OcadCord& lowerLeft, OcadCord& upperRight) const
{
    if (m_header.nItem < 1)
        throw std::logic_error("an object without coordinates has no bounding box");
    std::int64_t minX = m_slots[0].x, maxX = minX, minY = m_slots[0].y, maxY = minY;
    std::int64_t margin = 777;
    if (m_header.nItem > 1) {
        margin = 1536;
        for (int i = 1; i < m_header.nItem; ++i) {
            const OcadCord& c = m_slots[std::size_t(i)];
            minX = std::min<std::int64_t>(minX, c.x), maxX = std::max<std::int64_t>(maxX, c.x);
            minY = std::min<std::int64_t>(minY, c.y), maxY = std::max<std::int64_t>(maxY, c.y);
        }
    }
    minX -= margin, minY -= margin, maxX += margin, maxY += margin;
    if (!fitsInt32(minX) || !fitsInt32(minY) || !fitsInt32(maxX) || !fitsInt32(maxY))
        throw MapRangeError("An object lies too close to the edge of the map's coordinate range.");
    lowerLeft = {std::int32_t(minX), std::int32_t(minY)};
    upperRight = {std::int32_t(maxX), std::int32_t(maxY)};
}

RouteLine::RouteLine() : OcadObject(kRouteSymbol, 2) { addRaw(0, 0); }

RouteLine::RouteLine(std::int32_t startX, std::int32_t startY) : OcadObject(kRouteSymbol, 2)
{
    AddPoint(startX, startY);
}

void RouteLine::AddPoint(std::int32_t x, std::int32_t y)
{
    if (nItem() >= kMaxObjectSlots)
        throw MapRangeError("The route line holds at most 2000 points; this route needs more.");
    if (x < -kMaxUnits - 1 || x > kMaxUnits || y < -kMaxUnits - 1 || y > kMaxUnits)
        throw MapRangeError("The route leaves the coordinate range of the map at (" + std::to_string(x) + ", " +
                            std::to_string(y) + ").");
    addRaw(std::int64_t(x) * 256, std::int64_t(y) * 256);
}

void RouteLine::MarkCorner()
{
    // Sets the flag rather than adding 1, so a point marked twice cannot turn into a hole point.
    m_slots[std::size_t(nItem() - 1)].y |= 1;
}

void RouteLineChain::AddPoint(std::int32_t x, std::int32_t y)
{
    if (m_lines.back().nItem() < kMaxObjectSlots) {
        m_lines.back().AddPoint(x, y);
        return;
    }
    // The next object starts where the full one ends (raw values are units x 256; the low 8
    // bits of y hold flags, which the arithmetic shift drops).
    const OcadCord& end = m_lines.back().point(kMaxObjectSlots - 1);
    RouteLine next(end.x >> 8, end.y >> 8);
    next.AddPoint(x, y);
    m_lines.push_back(std::move(next));
}

int RouteLineChain::nItem() const
{
    int n = 0;
    for (const RouteLine& l : m_lines)
        n += l.nItem();
    return n - int(m_lines.size()) + 1;
}

OcadObject makeTextObject(std::string_view text, std::int32_t x, std::int32_t y)
{
    OcadObject obj(kLabelSymbol, 4);
    const std::int64_t X = std::int64_t(x) * 256, Y = std::int64_t(y) * 256;
    obj.addRaw(X, Y);
    obj.addRaw(X - 100, Y - 100);
    obj.addRaw(X + 100000, Y - 100);
    obj.addRaw(X + 100000, Y + 100000);
    obj.addRaw(X - 100, Y + 100000);
    obj.setText(text);
    return obj;
}

// --- appending --------------------------------------------------------------------------------

MapAppender::MapAppender(fs::path path) : m_path(std::move(path))
{
    // One open for the whole run. A map that cannot be written is still read (scale, symbols);
    // its first append then reports why it cannot be written.
    try {
        m_file = std::make_unique<MapFile>(m_path, MapFile::Mode::ReadWrite);
    } catch (const MapIoError&) {
        m_file = std::make_unique<MapFile>(m_path, MapFile::Mode::Read);
    }
    load();
}

MapAppender::~MapAppender() = default;

void MapAppender::close()
{
    if (m_file)
        m_file->close();
    m_file.reset();
}

MapFile& MapAppender::writableFile()
{
    if (!m_file || m_file->mode() != MapFile::Mode::ReadWrite) {
        m_file = std::make_unique<MapFile>(m_path, MapFile::Mode::ReadWrite);
        load();
    }
    return *m_file;
}

// An object the index points to must lie wholly inside the file: a map cut off inside its last
// object would otherwise get the new objects written over that object's tail. The index entry's
// length is checked for every object; the record header of the object that ends last (where a
// cut falls) is read too, since its coordinates may reach past what the entry says.
void MapAppender::checkObjectsInside(const std::vector<std::int32_t>& blocks)
{
    MapFile& file = *m_file;
    auto damaged = [&](std::int64_t pos, const std::string& what) {
        return MapIoError("The map " + quoted(m_path) + " is damaged: the object at offset " + std::to_string(pos) +
                          " " + what + "; nothing was written.");
    };
    std::int64_t lastPos = -1, lastEnd = -1;
    for (const std::int32_t blockPos : blocks) {
        OcadIndexBlock block;
        file.read(blockPos, &block, sizeof block, "an index block");
        for (const OcadIndexEntry& e : block.entries) {
            if (e.pos == 0)
                continue;  // an entry never used
            const std::int64_t end = std::int64_t(e.pos) + std::max<std::int64_t>(e.len, 0);
            if (e.pos < 48)
                throw damaged(e.pos, "lies inside the map header");
            if (end > m_fileSize)
                throw damaged(e.pos, "runs past the end of the file (" + std::to_string(m_fileSize) + " bytes)");
            if (end > lastEnd)
                lastPos = e.pos, lastEnd = end;
        }
    }
    if (lastPos < 0)
        return;
    if (lastPos + std::int64_t(sizeof(OcadObjectHeader)) > m_fileSize)
        throw damaged(lastPos, "runs past the end of the file (" + std::to_string(m_fileSize) + " bytes)");
    OcadObjectHeader h;
    file.read(lastPos, &h, sizeof h, "an object header");
    const std::int64_t recordEnd = lastPos + 32 + 8 * (std::int64_t(h.nItem) + std::int64_t(h.nText));
    if (h.nItem >= 0 && h.nText >= 0 && recordEnd > m_fileSize)
        throw damaged(lastPos, "is cut off by the end of the file (" + std::to_string(m_fileSize) + " bytes)");
}

void MapAppender::load()
{
    MapFile& file = *m_file;
    const MapHead head = readHead(file, m_path);
    m_scale = head.scale;
    m_fileSize = head.size;
    m_firstIndexBlock = head.header.firstIndexBlock;

    // Symbols are only listed (for the caller's warnings); a damaged symbol chain ends the list.
    m_symbols.clear();
    std::set<std::int32_t> seenSym;
    for (std::int32_t pos = head.header.firstSymBlock;
         pos >= 48 && pos + std::int64_t(sizeof(OcadSymbolBlock)) <= m_fileSize && seenSym.insert(pos).second;) {
        OcadSymbolBlock block;
        file.read(pos, &block, sizeof block, "a symbol block");
        for (std::int32_t sp : block.filePos) {
            std::int16_t number = 0;
            if (sp >= 48 && std::int64_t(sp) + 4 <= m_fileSize) {
                file.read(std::int64_t(sp) + 2, &number, sizeof number, "a symbol record");
                m_symbols.push_back(number);
            }
        }
        pos = block.nextBlock;
    }

    m_blocks.clear();
    std::set<std::int32_t> seen;
    for (std::int32_t pos = m_firstIndexBlock; pos != 0;) {
        if (pos < 48 || pos + std::int64_t(sizeof(OcadIndexBlock)) > m_fileSize)
            throw MapIoError("The map " + quoted(m_path) + " is damaged: an index block at " + std::to_string(pos) +
                             " lies outside the file.");
        if (!seen.insert(pos).second)
            throw MapIoError("The map " + quoted(m_path) + " is damaged: its chain of index blocks loops.");
        m_blocks.push_back(pos);
        file.read(pos, &pos, sizeof pos, "an index block");
    }
    checkObjectsInside(m_blocks);
    m_block = -1;
    m_entry = 0;
}

bool MapAppender::definesSymbol(std::int16_t symbol) const
{
    return std::find(m_symbols.begin(), m_symbols.end(), symbol) != m_symbols.end();
}

bool MapAppender::findFreeEntry(MapFile& file)
{
    if (m_blocks.empty())
        return false;
    if (m_block < 0) {
        m_block = 0;
        m_entry = 0;
        file.read(m_blocks[0], &m_current, sizeof m_current, "an index block");
    }
    for (;;) {
        for (; m_entry < kIndexEntriesPerBlock; ++m_entry)
            if (isFree(m_current.entries[m_entry]))
                return true;
        if (std::size_t(m_block + 1) >= m_blocks.size())
            return false;
        ++m_block;
        m_entry = 0;
        file.read(m_blocks[std::size_t(m_block)], &m_current, sizeof m_current, "an index block");
    }
}

void MapAppender::checkRoom(std::int64_t bytes, std::int64_t objects) const
{
    const std::int64_t grown = m_fileSize + bytes + objects * std::int64_t(sizeof(OcadIndexBlock)) / kIndexEntriesPerBlock
                             + std::int64_t(sizeof(OcadIndexBlock));
    if (bytes < 0 || objects < 0 || grown > kInt32Max)
        throw MapRangeError("The map " + quoted(m_path) + " cannot grow past 2 GB; the route and its labels need "
                            + std::to_string(bytes) + " bytes more.");
}

void MapAppender::append(const OcadObject& object)
{
    OcadIndexEntry entry;
    object.boundingBox(entry.lowerLeft, entry.upperRight);
    entry.len = std::int16_t(object.byteSize());
    entry.symbol = object.header().symbol;
    const std::vector<std::uint8_t> record = object.bytes();

    MapFile& file = writableFile();
    if (file.size() != m_fileSize)
        load();  // the map changed since the last append: read its index again
    const std::int64_t end = m_fileSize;
    if (end + std::int64_t(sizeof(OcadIndexBlock)) + std::int64_t(record.size()) > kInt32Max)
        throw MapIoError("The map " + quoted(m_path) + " cannot grow past 2 GB.");

    if (findFreeEntry(file)) {
        // Object first, then the entry that points to it: the map stays valid after each write.
        entry.pos = std::int32_t(end);
        file.write(end, record.data(), record.size());
        const std::int64_t at = std::int64_t(m_blocks[std::size_t(m_block)]) + 4 + std::int64_t(sizeof entry) * m_entry;
        file.write(at, &entry, sizeof entry);
        m_current.entries[m_entry++] = entry;
        m_fileSize = end + std::int64_t(record.size());
    } else {
        // A new index block at the end, holding the object in entry 0, the object right behind
        // it; then the link from the header or from the previous last block.
        OcadIndexBlock block;
        entry.pos = std::int32_t(end + std::int64_t(sizeof block));
        block.entries[0] = entry;
        std::vector<std::uint8_t> buf(sizeof block + record.size());
        std::memcpy(buf.data(), &block, sizeof block);
        std::memcpy(buf.data() + sizeof block, record.data(), record.size());
        file.write(end, buf.data(), buf.size());
        const std::int32_t newPos = std::int32_t(end);
        file.write(m_blocks.empty() ? 12 : m_blocks.back(), &newPos, sizeof newPos);
        if (m_blocks.empty())
            m_firstIndexBlock = newPos;
        m_blocks.push_back(newPos);
        m_block = int(m_blocks.size()) - 1;
        m_current = block;
        m_entry = 1;
        m_fileSize = end + std::int64_t(buf.size());
    }
}

// --- single operations ------------------------------------------------------------------------

void PrepareTarget(const fs::path& path) { PrepareTarget(path, 0, 0); }

void PrepareTarget(const fs::path& path, std::int32_t startX, std::int32_t startY, const MapGeoreference* georef)
{
    std::error_code ec;
    if (fs::exists(path, ec) || ec)
        return;
    if (startX < -kMaxUnits - 1 || startX > kMaxUnits || startY < -kMaxUnits - 1 || startY > kMaxUnits)
        throw MapRangeError("The route's start lies outside the coordinate range of the map at (" + std::to_string(startX)
                            + ", " + std::to_string(startY) + ").");
    std::vector<std::uint8_t> bytes = startX == 0 && startY == 0 ? templateMap()
                                                                  : templateMapStartingAt(startX, startY);
    if (georef)
        setTemplateGeoreference(bytes, *georef);
    // A new map is written beside its name and appears only when complete.
    MapFile file(path, MapFile::Mode::CreateNew);
    file.write(0, bytes.data(), bytes.size());
    file.close();
}

double ReadMapScale(const fs::path& path)
{
    MapFile file(path, MapFile::Mode::Read);
    return readHead(file, path).scale;
}

MapGeoreference ReadMapGeoreference(const fs::path& path)
{
    MapFile file(path, MapFile::Mode::Read);
    const MapHead head = readHead(file, path);
    MapGeoreference g;
    g.scale = head.scale;
    const std::int64_t setup = head.header.setupPos;
    // The real-world offsets and angle follow the scale; a setup too short for them has none.
    if (head.header.setupSize < 56 || setup + 56 > head.size)
        throw MapIoError("The map " + quoted(path) + " keeps no georeference: its setup record is too short.");
    double values[3] = {};
    file.read(setup + 32, values, sizeof values, "the map's georeference");
    if (!std::isfinite(values[0]) || !std::isfinite(values[1]) || !std::isfinite(values[2]))
        throw MapIoError("The map " + quoted(path) + " has a damaged georeference (a value is not a number).");
    g.ofsX = values[0];
    g.ofsY = values[1];
    g.angleDeg = values[2];
    if (head.header.setupSize >= 1082 && setup + 1082 <= head.size) {
        std::uint16_t on = 0;
        file.read(setup + 1080, &on, sizeof on, "the map's real-world switch");
        g.realWorldOn = on != 0;
    }
    return g;
}

void AppendObject(const fs::path& path, const OcadObject& object) { MapAppender(path).append(object); }

void WriteTextObject(const fs::path& path, std::string_view text, std::int32_t x, std::int32_t y)
{
    AppendObject(path, makeTextObject(text, x, y));
}

}  // namespace zelt::mapexport

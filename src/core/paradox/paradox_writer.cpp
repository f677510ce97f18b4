// SPDX-License-Identifier: GPL-3.0-or-later
// Paradox .db writer: value encoding, new-table header and crash-safe block operations.
#include "paradox/paradox_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace zelt::document::paradox {
namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string typeName(FieldType type)
{
    switch (type) {
    case FieldType::Alpha: return "text";
    case FieldType::Short: return "short integer";
    case FieldType::Long: return "long integer";
    case FieldType::Number: return "number";
    case FieldType::Money: return "money";
    case FieldType::Date: return "date";
    case FieldType::Time: return "time";
    case FieldType::Timestamp: return "timestamp";
    case FieldType::Logical: return "logical";
    case FieldType::AutoInc: return "autoincrement";
    default: return "binary";
    }
}

[[noreturn]] void refuse(const FieldDef& field, const std::string& why)
{
    throw ParadoxError("Field " + quoted(field.name) + ": " + why);
}

void encodeAlpha(const FieldDef& field, const CodePage& page, const std::string& text, std::uint8_t* out)
{
    std::string bytes;
    CodePage::Failure failure;
    if (!page.fromUtf8(text, bytes, failure)) {
        if (failure.invalidUtf8)
            refuse(field, "the text is not valid UTF-8.");
        refuse(field, "the character " + describeCodePoint(failure.codePoint) + " cannot be stored in code page "
                   + std::to_string(page.number()) + ".");
    }
    if (bytes.find('\0') != std::string::npos)
        refuse(field, "the text contains a NUL character.");
    if (bytes.size() > field.size)
        refuse(field, "the text is too long (" + std::to_string(bytes.size()) + " characters, at most "
                   + std::to_string(field.size) + " fit).");
    std::memset(out, 0, field.size);
    std::memcpy(out, bytes.data(), bytes.size());
}

void encodeInteger(const FieldDef& field, std::int64_t v, std::uint8_t* out)
{
    // All-zero bytes mean empty, so the most negative value of each width cannot be stored.
    const int bits = 8 * field.size;
    const std::int64_t max = (std::int64_t{1} << (bits - 1)) - 1;
    const std::int64_t min = field.type == FieldType::Logical ? 0 : -max;
    const std::int64_t hi = field.type == FieldType::Logical ? 1 : max;
    if (v < min || v > hi)
        refuse(field, "the value " + std::to_string(v) + " is outside the range of a " + typeName(field.type) + " ("
                   + std::to_string(min) + " to " + std::to_string(hi) + ").");
    auto raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
    for (int i = static_cast<int>(field.size) - 1; i >= 0; --i, raw >>= 8)
        out[i] = static_cast<std::uint8_t>(raw);
    out[0] ^= 0x80;
}

void encodeFloat(const FieldDef& field, double v, std::uint8_t* out)
{
    if (!std::isfinite(v))
        refuse(field, "the value is not a finite number.");
    if (v == 0.0)
        v = 0.0;  // -0.0 is stored as +0.0
    auto raw = std::bit_cast<std::uint64_t>(v);
    raw = v >= 0 ? raw | (1ull << 63) : ~raw;
    for (int i = 7; i >= 0; --i, raw >>= 8)
        out[i] = static_cast<std::uint8_t>(raw);
}

void encodeValue(const FieldDef& field, const CodePage& page, const Value& value, std::uint8_t* out)
{
    if (isEmpty(value)) {
        if (isValueType(field.type))
            std::memset(out, 0, field.size);
        return;  // BCD, Bytes and blobs keep what they hold
    }
    if (!isValueType(field.type))
        refuse(field, "values of this field type cannot be written.");
    if (field.type == FieldType::Alpha) {
        if (const auto* text = std::get_if<std::string>(&value))
            return encodeAlpha(field, page, *text, out);
        refuse(field, "a text field needs a text value.");
    }
    if (isIntegerType(field.type)) {
        if (const auto* i = std::get_if<std::int32_t>(&value))
            return encodeInteger(field, *i, out);
        refuse(field, "a " + typeName(field.type) + " field needs an integer value.");
    }
    if (const auto* d = std::get_if<double>(&value))
        return encodeFloat(field, *d, out);
    if (const auto* i = std::get_if<std::int32_t>(&value))
        return encodeFloat(field, *i, out);
    refuse(field, "a " + typeName(field.type) + " field needs a numeric value.");
}

}  // namespace

void encodeRecord(const TableImage& image, const Row& row, std::uint8_t* record)
{
    if (row.size() != image.fields.size())
        throw ParadoxError("The row has " + std::to_string(row.size()) + " values but the table has "
                           + std::to_string(image.fields.size()) + " fields.");
    for (std::size_t i = 0; i < row.size(); ++i)
        encodeValue(image.fields[i], *image.codePage, row[i], record + image.offsets[i]);
}

// --- new tables -------------------------------------------------------------------------------

namespace {

/// Sort-order ID, sort-order byte and code page go together; the engine reads text by them.
struct LanguageDriver {
    int codePage;
    const char* sortOrderId;
    std::uint8_t sortOrder;
};
constexpr LanguageDriver kDrivers[] = {
    {1252, "ANSIINTL", 98}, {1251, "ancyrr", 143}, {866, "cyrr", 192}, {437, "ascii", 0}, {850, "intl850", 84},
};

std::vector<FieldDef> checkedFields(const std::vector<FieldDef>& fields, const CodePage& page)
{
    if (fields.empty() || fields.size() > 255)
        throw ParadoxError("A table needs 1 to 255 fields.");
    std::vector<FieldDef> out = fields;
    for (FieldDef& f : out) {
        std::string raw;
        CodePage::Failure failure;
        if (f.name.empty() || !page.fromUtf8(f.name, raw, failure) || raw.size() > 25 || raw.find('\0') != std::string::npos)
            throw ParadoxError("The field name '" + f.name + "' cannot be stored (1 to 25 characters of code page "
                               + std::to_string(page.number()) + ").");
        const int natural = naturalFieldSize(f.type);
        const bool alpha = f.type == FieldType::Alpha;
        if (!isValueType(f.type) || f.type == FieldType::AutoInc)
            throw ParadoxError("Field '" + f.name + "': this field type cannot be created.");
        if (alpha && (f.size < 1 || f.size > 255))
            throw ParadoxError("Field '" + f.name + "': a text field holds 1 to 255 characters.");
        if (!alpha && f.size != 0 && f.size != natural)
            throw ParadoxError("Field '" + f.name + "': size " + std::to_string(f.size) + " does not fit its type.");
        if (!alpha)
            f.size = static_cast<std::uint16_t>(natural);
    }
    return out;
}

/// The variable header part from 0x78: descriptors, pointers (0), table name, field names,
/// field numbers and sort-order ID. Returns the offsets of the field numbers and of the ID.
std::vector<std::uint8_t> variablePart(const std::vector<FieldDef>& fields, const CodePage& page,
                                       const std::string& name, const char* sortOrderId, std::size_t& numbersAt,
                                       std::size_t& sortIdAt)
{
    std::vector<std::uint8_t> v;
    for (const FieldDef& f : fields) {
        v.push_back(static_cast<std::uint8_t>(f.type));
        v.push_back(static_cast<std::uint8_t>(f.size));
    }
    v.resize(v.size() + 4 + 4 * fields.size(), 0);
    // The stored table name is informative only: characters the code page lacks become '_'.
    std::string tableName;
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t start = pos;
        char32_t cp = 0;
        if (!decodeUtf8(name, pos, cp))
            pos = start + 1;
        CodePage::Failure failure;
        if (cp == 0 || !page.fromUtf8(std::string_view(name).substr(start, pos - start), tableName, failure))
            tableName += '_';
    }
    tableName.resize(std::min<std::size_t>(tableName.size(), kTableNameSize7 - 1));
    const std::size_t nameAt = v.size();
    v.resize(v.size() + kTableNameSize7, 0);
    std::memcpy(v.data() + nameAt, tableName.data(), tableName.size());
    for (const FieldDef& f : fields) {
        std::string raw;
        CodePage::Failure failure;
        page.fromUtf8(f.name, raw, failure);
        v.insert(v.end(), raw.begin(), raw.end());
        v.push_back(0);
    }
    numbersAt = hdr::kDataHeaderEnd + v.size();
    for (std::size_t i = 1; i <= fields.size(); ++i) {
        v.push_back(static_cast<std::uint8_t>(i));
        v.push_back(static_cast<std::uint8_t>(i >> 8));
    }
    sortIdAt = hdr::kDataHeaderEnd + v.size();
    for (const char* c = sortOrderId; *c; ++c)
        v.push_back(static_cast<std::uint8_t>(*c));
    v.push_back(0);
    return v;
}

}  // namespace

std::vector<std::uint8_t> buildNewTable(const NewTableSpec& request)
{
    const LanguageDriver* driver = nullptr;
    for (const LanguageDriver& d : kDrivers)
        if (d.codePage == request.codePage)
            driver = &d;
    const CodePage* page = CodePage::find(request.codePage);
    if (!driver || !page)
        throw ParadoxError("Code page " + std::to_string(request.codePage) + " is not supported for new tables.");
    const std::vector<FieldDef> fields = checkedFields(request.fields, *page);
    const std::size_t nf = fields.size();
    std::size_t recordSize = 0;
    for (const FieldDef& f : fields)
        recordSize += f.size;
    std::size_t blockKb = 2;  // the engine's default; larger only when a record would not fit
    while (blockKb < 32 && recordSize + kBlockHeaderSize > blockKb * 1024)
        blockKb *= 2;
    if (recordSize + kBlockHeaderSize > blockKb * 1024)
        throw ParadoxError("The fields need " + std::to_string(recordSize) + " bytes per row, more than a table holds.");
    std::size_t numbersAt = 0;
    std::size_t sortIdAt = 0;
    const auto v = variablePart(fields, *page, request.tableName, driver->sortOrderId, numbersAt, sortIdAt);
    const std::size_t used = hdr::kDataHeaderEnd + v.size();
    const std::size_t headerSize = (used + 0x7FF) / 0x800 * 0x800;

    std::vector<std::uint8_t> h(headerSize, 0);
    std::memcpy(h.data() + hdr::kDataHeaderEnd, v.data(), v.size());
    putU16(&h[hdr::kRecordSize], static_cast<std::uint16_t>(recordSize));
    putU16(&h[hdr::kHeaderSize], static_cast<std::uint16_t>(headerSize));
    h[hdr::kFileType] = 2;
    h[hdr::kBlockSizeKb] = static_cast<std::uint8_t>(blockKb);
    putU16(&h[hdr::kNumFields], static_cast<std::uint16_t>(nf));
    putU32(&h[hdr::kEncryption1], kNoEncryption4);
    h[hdr::kSortOrder] = driver->sortOrder;
    h[hdr::kVersion] = kVersionLevel7;
    h[0x3E] = 0x1F;  // constant in every engine-written level-4+ table
    h[0x3F] = 0x0F;
    putU16(&h[hdr::kUsedHeader], static_cast<std::uint16_t>(used));
    h[hdr::kDbMarker] = 0x20;
    putU16(&h[hdr::kVersionWord1], 0x010C);
    putU16(&h[hdr::kVersionWord2], 0x010C);
    putU32(&h[hdr::kUpdateTime], request.updateTime);
    putU16(&h[hdr::kFieldsPlusOne], static_cast<std::uint16_t>(nf + 1));
    putU16(&h[hdr::kFieldNumbersRel], static_cast<std::uint16_t>(numbersAt - hdr::kFixedEnd));
    putU16(&h[hdr::kCodePage], static_cast<std::uint16_t>(request.codePage));
    h[0x6C] = 1;  // 01 01 in every engine-written level-7 table
    h[0x6D] = 1;
    putU16(&h[hdr::kSortIdRel], static_cast<std::uint16_t>(sortIdAt - hdr::kFixedEnd));
    putU16(&h[hdr::kChangeCount], 1);
    return h;
}

// --- block operations -------------------------------------------------------------------------

void TableWriter::writeRange(std::size_t offset, std::size_t size)
{
    m_sink.write(offset, m_img.bytes.data() + offset, size);
}

void TableWriter::writeHeader()
{
    std::uint8_t* h = m_img.bytes.data();
    const auto& chain = m_img.chain;
    putU32(h + hdr::kNumRecords, static_cast<std::uint32_t>(m_img.rowCount()));
    putU16(h + hdr::kBlocksInUse, static_cast<std::uint16_t>(chain.size()));
    putU16(h + hdr::kFileBlocks, static_cast<std::uint16_t>(m_img.fileBlocks));
    putU16(h + hdr::kMaxBlocks, static_cast<std::uint16_t>(m_img.fileBlocks));
    putU16(h + hdr::kFirstBlock, chain.empty() ? 0 : chain.front().block);
    putU16(h + hdr::kLastBlock, chain.empty() ? 0 : chain.back().block);
    putU16(h + hdr::kFirstFree, m_img.freeList.empty() ? 0 : m_img.freeList.front());
    writeRange(0, hdr::kFixedEnd);
}

std::uint16_t TableWriter::allocateBlock()
{
    if (!m_img.freeList.empty()) {
        // Take the block off the free list in the header first: should the process die before the
        // block is linked, it is merely unused, never both free and in the chain.
        const std::uint16_t block = m_img.freeList.front();
        m_img.freeList.erase(m_img.freeList.begin());
        writeHeader();
        return block;
    }
    if (m_img.fileBlocks >= kMaxBlockNumber)
        throw ParadoxError("The table is full: a table cannot hold more than 65535 blocks.");
    ++m_img.fileBlocks;
    const std::size_t need = m_img.headerSize + m_img.fileBlocks * m_img.blockSize;
    if (m_img.bytes.size() < need)
        m_img.bytes.resize(need, 0);
    return static_cast<std::uint16_t>(m_img.fileBlocks);
}

void TableWriter::setBlockHeader(std::size_t block, std::uint16_t next, std::uint16_t prev, std::size_t rows)
{
    const long last = static_cast<long>(rows) * static_cast<long>(m_img.recordSize) - static_cast<long>(m_img.recordSize);
    putBlockHeader(blockPtr(block), {next, prev, static_cast<std::int16_t>(last)});
}

void TableWriter::setNext(std::size_t block, std::uint16_t next)
{
    putU16(blockPtr(block), next);
    writeRange(m_img.blockOffset(block), 2);
}

void TableWriter::setPrev(std::size_t block, std::uint16_t prev)
{
    putU16(blockPtr(block) + 2, prev);
    writeRange(m_img.blockOffset(block) + 2, 2);
}

void TableWriter::freeBlock(std::size_t block)
{
    std::memset(blockPtr(block), 0, m_img.blockSize);
    setBlockHeader(block, m_img.freeList.empty() ? 0 : m_img.freeList.front(), 0, 0);
    writeRange(m_img.blockOffset(block), m_img.blockSize);
    m_img.freeList.insert(m_img.freeList.begin(), static_cast<std::uint16_t>(block));
}

void TableWriter::update(std::size_t row, const std::uint8_t* record)
{
    if (row >= m_img.rowCount())
        throw ParadoxError("Row " + std::to_string(row + 1) + " does not exist.");
    const std::size_t offset = m_img.recordOffset(m_img.locate(row));
    std::memcpy(m_img.bytes.data() + offset, record, m_img.recordSize);
    writeRange(offset, m_img.recordSize);
}

void TableWriter::insert(std::size_t row, const std::uint8_t* record)
{
    if (row > m_img.rowCount())
        throw ParadoxError("Row " + std::to_string(row + 1) + " does not exist.");
    if (m_img.chain.empty())
        return appendBlock(record);
    // The new row goes into the block holding its predecessor (the first block for row 0).
    std::size_t k = 0;
    std::size_t slot = 0;
    if (row > 0) {
        const auto at = m_img.locate(row - 1);
        k = at.chainIndex;
        slot = at.slot + 1;
    }
    const std::size_t count = m_img.chain[k].count;
    if (count < m_img.rowsPerBlock)
        insertIntoBlock(k, slot, record);
    else if (slot == count && k + 1 == m_img.chain.size())
        appendBlock(record);
    else
        splitBlock(k, slot, record);
}

void TableWriter::insertIntoBlock(std::size_t k, std::size_t slot, const std::uint8_t* record)
{
    const std::size_t rs = m_img.recordSize;
    const std::size_t block = m_img.chain[k].block;
    const std::size_t n = m_img.chain[k].count;
    const std::size_t base = m_img.blockOffset(block);
    std::uint8_t* rows = blockPtr(block) + kBlockHeaderSize;
    std::memmove(rows + (slot + 1) * rs, rows + slot * rs, (n - slot) * rs);
    std::memcpy(rows + slot * rs, record, rs);
    setBlockHeader(block, getU16(blockPtr(block)), getU16(blockPtr(block) + 2), n + 1);
    ++m_img.chain[k].count;
    m_img.recomputeStarts(k);
    // One write from the row count to the end of the rows: within one 4 KB page the kernel
    // cannot tear it. At the end of a block spanning two pages, write the row before the count.
    const std::size_t end = base + kBlockHeaderSize + (n + 1) * rs;
    constexpr std::size_t kPage = 4096;
    if (slot == n && (base + 4) / kPage != (end - 1) / kPage) {
        writeRange(end - rs, rs);
        writeRange(base + 4, 2);
    } else {
        writeRange(base + 4, end - (base + 4));
    }
    writeHeader();
}

void TableWriter::appendBlock(const std::uint8_t* record)
{
    const std::uint16_t block = m_img.chain.empty() && blockOneIsUnused() ? 1 : allocateBlock();
    const std::uint16_t tail = m_img.chain.empty() ? 0 : m_img.chain.back().block;
    std::memset(blockPtr(block), 0, m_img.blockSize);
    setBlockHeader(block, 0, tail, 1);
    std::memcpy(blockPtr(block) + kBlockHeaderSize, record, m_img.recordSize);
    writeRange(m_img.blockOffset(block), m_img.blockSize);
    if (tail)
        setNext(tail, block);
    m_img.chain.push_back({block, 1});
    m_img.recomputeStarts(m_img.chain.size() - 1);
    writeHeader();
}

void TableWriter::splitBlock(std::size_t k, std::size_t slot, const std::uint8_t* record)
{
    const std::size_t rs = m_img.recordSize;
    const std::uint16_t block = m_img.chain[k].block;
    const std::size_t n = m_img.chain[k].count;
    const std::uint16_t prev = k > 0 ? m_img.chain[k - 1].block : 0;
    const std::uint16_t succ = k + 1 < m_img.chain.size() ? m_img.chain[k + 1].block : 0;
    std::vector<std::uint8_t> all((n + 1) * rs);
    const std::uint8_t* rows = blockPtr(block) + kBlockHeaderSize;
    std::memcpy(all.data(), rows, slot * rs);
    std::memcpy(all.data() + slot * rs, record, rs);
    std::memcpy(all.data() + (slot + 1) * rs, rows + slot * rs, (n - slot) * rs);
    const std::size_t lower = (n + 2) / 2;
    const std::size_t upper = n + 1 - lower;

    // 1. The new block with the upper half, linked after the old one but not yet reachable.
    const std::uint16_t fresh = allocateBlock();
    std::memset(blockPtr(fresh), 0, m_img.blockSize);
    setBlockHeader(fresh, succ, block, upper);
    std::memcpy(blockPtr(fresh) + kBlockHeaderSize, all.data() + lower * rs, upper * rs);
    writeRange(m_img.blockOffset(fresh), m_img.blockSize);
    // 2. The old block with the lower half, pointing at the new one: one write switches over.
    std::memset(blockPtr(block), 0, m_img.blockSize);
    setBlockHeader(block, fresh, prev, lower);
    std::memcpy(blockPtr(block) + kBlockHeaderSize, all.data(), lower * rs);
    writeRange(m_img.blockOffset(block), m_img.blockSize);
    // 3. The successor's back link.
    if (succ)
        setPrev(succ, fresh);
    m_img.chain[k].count = static_cast<std::uint16_t>(lower);
    m_img.chain.insert(m_img.chain.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                       ChainEntry{fresh, static_cast<std::uint16_t>(upper)});
    m_img.recomputeStarts(k);
    writeHeader();
}

void TableWriter::remove(std::size_t row)
{
    if (row >= m_img.rowCount())
        throw ParadoxError("Row " + std::to_string(row + 1) + " does not exist.");
    const auto at = m_img.locate(row);
    const std::size_t k = at.chainIndex;
    // The chain's first block (and block 1) never leaves the chain.
    const bool keeper = k == 0 || m_img.chain[k].block == 1;
    if (m_img.chain[k].count > 1)
        removeFromBlock(k, at.slot);
    else if (!keeper)
        unlinkBlock(k);
    else if (k + 1 < m_img.chain.size())
        takeOverSuccessor(k);
    else if (k == 0)
        emptyTable();
    else
        unlinkBlock(k);
}

void TableWriter::emptyTable()
{
    // Readers do not expect an empty block in the chain: the last row leaves with its block.
    // Unlinking it is a header write; clearing the block afterwards only tidies up.
    const std::uint16_t block = m_img.chain.front().block;
    m_img.chain.clear();
    m_img.recomputeStarts();
    writeHeader();
    if (block != 1) {
        freeBlock(block);
        writeHeader();
        return;
    }
    std::memset(blockPtr(block), 0, m_img.blockSize);
    setBlockHeader(block, 0, 0, 0);
    writeRange(m_img.blockOffset(block), m_img.blockSize);
}

bool TableWriter::blockOneIsUnused() const
{
    // Block 1 never joins the free list; an empty table keeps it, with no rows, for its first row.
    if (m_img.fileBlocks < 1 || std::find(m_img.freeList.begin(), m_img.freeList.end(), 1) != m_img.freeList.end())
        return false;
    const long last = getS16(m_img.bytes.data() + m_img.blockOffset(1) + 4);
    return last == -static_cast<long>(m_img.recordSize);
}

void TableWriter::removeFromBlock(std::size_t k, std::size_t slot)
{
    const std::size_t rs = m_img.recordSize;
    const std::size_t block = m_img.chain[k].block;
    const std::size_t n = m_img.chain[k].count;
    std::uint8_t* rows = blockPtr(block) + kBlockHeaderSize;
    std::memmove(rows + slot * rs, rows + (slot + 1) * rs, (n - 1 - slot) * rs);
    std::memset(rows + (n - 1) * rs, 0, rs);
    setBlockHeader(block, getU16(blockPtr(block)), getU16(blockPtr(block) + 2), n - 1);
    --m_img.chain[k].count;
    m_img.recomputeStarts(k);
    writeRange(m_img.blockOffset(block) + 4, 2 + n * rs);
    writeHeader();
}

void TableWriter::unlinkBlock(std::size_t k)
{
    const std::uint16_t block = m_img.chain[k].block;
    const std::uint16_t prev = m_img.chain[k - 1].block;
    const std::uint16_t succ = k + 1 < m_img.chain.size() ? m_img.chain[k + 1].block : 0;
    setNext(prev, succ);
    if (succ)
        setPrev(succ, prev);
    if (block == 1) {
        std::memset(blockPtr(block), 0, m_img.blockSize);  // never free: kept empty, outside the chain
        setBlockHeader(block, 0, 0, 0);
        writeRange(m_img.blockOffset(block), m_img.blockSize);
    } else {
        freeBlock(block);
    }
    m_img.chain.erase(m_img.chain.begin() + static_cast<std::ptrdiff_t>(k));
    m_img.recomputeStarts(k);
    writeHeader();
}

void TableWriter::takeOverSuccessor(std::size_t k)
{
    const std::uint16_t block = m_img.chain[k].block;
    const std::uint16_t prev = k > 0 ? m_img.chain[k - 1].block : 0;
    const std::uint16_t next = m_img.chain[k + 1].block;
    const std::uint16_t after = k + 2 < m_img.chain.size() ? m_img.chain[k + 2].block : 0;
    const std::size_t rows = m_img.chain[k + 1].count;
    // 1. This block takes the successor's rows and link: the successor drops out of the chain.
    std::memset(blockPtr(block), 0, m_img.blockSize);
    std::memcpy(blockPtr(block) + kBlockHeaderSize, blockPtr(next) + kBlockHeaderSize, rows * m_img.recordSize);
    setBlockHeader(block, after, prev, rows);
    writeRange(m_img.blockOffset(block), m_img.blockSize);
    // 2. Back link, 3. the successor joins the free list, 4. header.
    if (after)
        setPrev(after, block);
    freeBlock(next);
    m_img.chain[k].count = static_cast<std::uint16_t>(rows);
    m_img.chain.erase(m_img.chain.begin() + static_cast<std::ptrdiff_t>(k) + 1);
    m_img.recomputeStarts(k);
    writeHeader();
}

void TableWriter::repair(const std::vector<std::size_t>& staleLinks)
{
    for (std::size_t k : staleLinks)
        setPrev(m_img.chain[k].block, k > 0 ? m_img.chain[k - 1].block : 0);
    writeHeader();
}

}  // namespace zelt::document::paradox

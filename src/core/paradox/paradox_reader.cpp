// SPDX-License-Identifier: GPL-3.0-or-later
// Paradox .db reader: header and field list, bounded block-chain walk, open-time check, values.
#include "paradox/paradox_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zelt::document::paradox {
namespace {

[[noreturn]] void fail(const std::string& name, const std::string& what)
{
    throw ParadoxError("Cannot open the table '" + name + "': " + what + ".");
}

std::string num(std::size_t v) { return std::to_string(v); }

/// Level-4+ files carry a data header at 0x58 and their field list starts after it.
bool hasDataHeader(int version) { return version >= 5; }

void checkFixedHeader(const std::vector<std::uint8_t>& b, std::size_t fileSize, const std::string& name)
{
    if (fileSize < hdr::kFixedEnd)
        fail(name, "the file is too short to be a Paradox table");
    const std::size_t headerSize = getU16(&b[hdr::kHeaderSize]);
    const int fileType = b[hdr::kFileType];
    const int version = b[hdr::kVersion];
    if (fileType != 0 && fileType != 2)
        fail(name, "it is not a Paradox data table (file type " + num(fileType) + ")");
    if (version < 3 || version > 12)
        fail(name, "unknown table level (version byte " + num(version) + ")");
    const std::size_t minHeader = hasDataHeader(version) ? hdr::kDataHeaderEnd : hdr::kFixedEnd;
    if (headerSize < minHeader || headerSize > fileSize)
        fail(name, "the header is damaged or the file is truncated (header size " + num(headerSize) + ")");
    const int blockKb = b[hdr::kBlockSizeKb];
    if (blockKb < 1 || blockKb > 32)
        fail(name, "the block size code " + num(blockKb) + " is invalid");
    const std::uint32_t enc1 = getU32(&b[hdr::kEncryption1]);
    const bool encrypted = hasDataHeader(version)
        ? (enc1 != 0 && enc1 != kNoEncryption4) || getU32(&b[hdr::kEncryption2]) != 0
        : enc1 != 0 && enc1 != kNoEncryption4;
    if (encrypted)
        fail(name, "the table is encrypted (password-protected); encrypted tables are not supported");
}

/// Reads a NUL-terminated string starting at `pos` that must end before `end`.
bool readCString(const std::vector<std::uint8_t>& b, std::size_t& pos, std::size_t end, std::string& raw)
{
    const auto first = b.begin() + static_cast<std::ptrdiff_t>(pos);
    const auto last = b.begin() + static_cast<std::ptrdiff_t>(end);
    const auto zero = std::find(first, last, std::uint8_t{0});
    if (zero == last)
        return false;
    raw.assign(first, zero);
    pos = static_cast<std::size_t>(zero - b.begin()) + 1;
    return true;
}

void chooseCodePage(TableImage& img, int version, int fallback, const std::string& name, ReadFindings& f)
{
    const int cp = hasDataHeader(version) ? getU16(&img.bytes[hdr::kCodePage]) : 0;
    const CodePage* fallbackPage = CodePage::find(fallback);
    if (!fallbackPage && (cp == 0 || !CodePage::find(cp)))
        throw ParadoxError("Code page " + num(static_cast<std::size_t>(fallback))
                           + " is not supported for tables (use 1252, 1251 or 866).");
    if (!fallbackPage)
        fallbackPage = CodePage::find(cp);
    img.codePage = cp ? CodePage::find(cp) : fallbackPage;
    if (!img.codePage) {
        img.codePage = fallbackPage;
        f.readOnlyReason = "The table '" + name + "' uses code page " + num(static_cast<std::size_t>(cp))
            + ", which is not supported; its text is shown as code page " + num(static_cast<std::size_t>(fallback))
            + " and it is opened read-only.";
    }
    img.info.codePage = cp ? cp : fallback;
}

void parseFields(TableImage& img, const std::string& name, int fallback, ReadFindings& f)
{
    const auto& b = img.bytes;
    const int version = b[hdr::kVersion];
    const std::size_t nf = getU16(&b[hdr::kNumFields]);
    const std::size_t start = hasDataHeader(version) ? hdr::kDataHeaderEnd : hdr::kFixedEnd;
    if (nf == 0 || nf > 255 || start + 2 * nf > img.headerSize)
        fail(name, "the field list is damaged (" + num(nf) + " fields)");
    chooseCodePage(img, version, fallback, name, f);
    std::size_t recordSize = 0;
    for (std::size_t i = 0; i < nf; ++i) {
        const std::uint8_t code = b[start + 2 * i];
        std::size_t size = b[start + 2 * i + 1];
        if (!isKnownFieldType(code))
            fail(name, "field " + num(i + 1) + " has an unknown type code " + num(code));
        const auto type = static_cast<FieldType>(code);
        const int natural = naturalFieldSize(type);
        if (type == FieldType::Bcd)
            size = 17;
        else if (natural != 0 && size != static_cast<std::size_t>(natural))
            fail(name, "field " + num(i + 1) + " has an impossible size " + num(size));
        if (size == 0)
            fail(name, "field " + num(i + 1) + " has size 0");
        img.fields.push_back({std::string(), type, static_cast<std::uint16_t>(size)});
        img.offsets.push_back(recordSize);
        recordSize += size;
    }
    if (recordSize != getU16(&b[hdr::kRecordSize]))
        fail(name, "the record size does not match the field list");
    img.recordSize = recordSize;
    // Field names follow the descriptors, the table-name pointer, the field-name pointers and
    // the table name itself (79 bytes, 261 from level 7 on).
    std::size_t pos = start + 2 * nf + 4 + 4 * nf;
    const std::size_t tableNameSize = version >= kVersionLevel7 ? kTableNameSize7 : kTableNameSize3;
    pos += tableNameSize;
    for (std::size_t i = 0; i < nf; ++i) {
        std::string raw;
        if (pos >= img.headerSize || !readCString(b, pos, img.headerSize, raw))
            fail(name, "the field names are damaged");
        img.codePage->appendUtf8(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size(), img.fields[i].name);
    }
    if (hasDataHeader(version)) {
        pos += 2 * nf;  // field numbers 1..n
        std::string sortId;
        if (pos < img.headerSize && readCString(b, pos, img.headerSize, sortId))
            img.info.sortOrderId = sortId;
    }
}

/// Number of rows in a block from its last-record offset, or -1 when the value is impossible.
int rowsInBlock(std::int16_t lastOffset, std::size_t recordSize, std::size_t rowsPerBlock)
{
    const long off = lastOffset;
    if (off == -static_cast<long>(recordSize))
        return 0;
    if (off < 0 || off % static_cast<long>(recordSize) != 0)
        return -1;
    const long rows = off / static_cast<long>(recordSize) + 1;
    return rows > static_cast<long>(rowsPerBlock) ? -1 : static_cast<int>(rows);
}

/// Follows the next-pointers from the first block. Every step is checked (range, cycle, row
/// count, records inside the file); the walk is bounded by the number of blocks in the file.
/// Returns an empty string or what makes the chain invalid.
std::string walkChain(TableImage& img, std::size_t fileSize, std::size_t physBlocks, const BlockPeek& peek,
                      ReadFindings& f)
{
    std::vector<bool> seen(physBlocks + 1, false);
    std::size_t block = getU16(&img.bytes[hdr::kFirstBlock]);
    std::size_t prev = 0;
    while (block != 0) {
        if (block > physBlocks)
            return "block " + num(prev) + " links to block " + num(block) + " beyond the end of the file";
        if (seen[block])
            return "the block chain runs in a circle at block " + num(block);
        seen[block] = true;
        const std::size_t off = img.blockOffset(block);
        const BlockHeader h = peek(off);
        const int rows = rowsInBlock(h.lastOffset, img.recordSize, img.rowsPerBlock);
        if (rows < 0)
            return "block " + num(block) + " has an impossible row count";
        if (off + kBlockHeaderSize + static_cast<std::size_t>(rows) * img.recordSize > fileSize)
            return "the rows of block " + num(block) + " run past the end of the file";
        if (h.prev != prev)
            f.staleLinks.push_back(img.chain.size());
        img.chain.push_back({static_cast<std::uint16_t>(block), static_cast<std::uint16_t>(rows)});
        prev = block;
        block = h.next;
    }
    return {};
}

/// Walks the free-block list. A damaged list is dropped (its blocks stay unused); it holds no rows.
void walkFreeList(TableImage& img, std::size_t physBlocks, const BlockPeek& peek, const std::string& name,
                  ReadFindings& f)
{
    std::vector<bool> used(physBlocks + 1, false);
    for (const ChainEntry& e : img.chain)
        used[e.block] = true;
    std::size_t block = getU16(&img.bytes[hdr::kFirstFree]);
    while (block != 0) {
        if (block > physBlocks || used[block]) {
            img.freeList.clear();
            f.notes.push_back("The free-block list of '" + name + "' is damaged and was dropped.");
            f.needsRepair = true;
            return;
        }
        used[block] = true;
        img.freeList.push_back(static_cast<std::uint16_t>(block));
        block = peek(img.blockOffset(block)).next;
    }
}

void noteCounter(ReadFindings& f, const std::string& name, const char* what, std::size_t header, std::size_t chain)
{
    if (header == chain)
        return;
    f.notes.push_back("The header of '" + name + "' gave " + what + " " + num(header) + ", the valid block chain says "
                      + num(chain) + "; the chain is trusted.");
    f.needsRepair = true;
}

/// Rows the header counts but the block chain does not reach. One row is what an interrupted
/// removal leaves (the block's count is written before the header's); more were cut off from
/// the chain by damage, and trusting the chain would lose them when the header is next written.
bool chainLosesRows(const TableImage& img)
{
    return getU32(&img.bytes[hdr::kNumRecords]) > img.rowCount() + 1;
}

void checkCounters(TableImage& img, std::size_t physBlocks, const std::string& name, ReadFindings& f)
{
    const auto& b = img.bytes;
    std::size_t highest = 0;
    for (const ChainEntry& e : img.chain)
        highest = std::max<std::size_t>(highest, e.block);
    for (std::uint16_t block : img.freeList)
        highest = std::max<std::size_t>(highest, block);
    // Never shrink below blocks the header claims and the file holds: they may hold data.
    img.fileBlocks = std::max(highest, std::min<std::size_t>(getU16(&b[hdr::kFileBlocks]), physBlocks));
    noteCounter(f, name, "the row count", getU32(&b[hdr::kNumRecords]), img.rowCount());
    noteCounter(f, name, "the blocks in use", getU16(&b[hdr::kBlocksInUse]), img.chain.size());
    noteCounter(f, name, "the file blocks", getU16(&b[hdr::kFileBlocks]), img.fileBlocks);
    noteCounter(f, name, "the last block", getU16(&b[hdr::kLastBlock]), img.chain.empty() ? 0 : img.chain.back().block);
    if (getU16(&b[hdr::kMaxBlocks]) != img.fileBlocks)
        f.needsRepair = true;
    if (!f.staleLinks.empty()) {
        f.notes.push_back("Some previous-block links of '" + name + "' disagree with the valid block chain.");
        f.needsRepair = true;
    }
}

}  // namespace

TableImage::Location TableImage::locate(std::size_t row) const
{
    // starts is non-decreasing; the block holding `row` is the last one starting at or before it
    // that is not empty.
    const auto it = std::upper_bound(starts.begin(), starts.end() - 1, row);
    std::size_t k = static_cast<std::size_t>(it - starts.begin()) - 1;
    return {k, row - starts[k]};
}

void TableImage::recomputeStarts(std::size_t from)
{
    starts.resize(chain.size() + 1);
    if (from == 0)
        starts[0] = 0;
    for (std::size_t k = from; k < chain.size(); ++k)
        starts[k + 1] = starts[k] + chain[k].count;
}

namespace {

/// The open-time check over the header in `bytes` and the blocks `peek` reads; with
/// `wholeFile`, `bytes` is the whole file and is padded to whole blocks.
TableImage readImage(std::vector<std::uint8_t> bytes, std::size_t fileSize, const BlockPeek* peekBlocks,
                     const std::string& name, int fallbackCodePage, ReadFindings& findings)
{
    checkFixedHeader(bytes, fileSize, name);
    TableImage img;
    img.bytes = std::move(bytes);
    const auto& b = img.bytes;
    img.headerSize = getU16(&b[hdr::kHeaderSize]);
    img.blockSize = static_cast<std::size_t>(b[hdr::kBlockSizeKb]) * 1024;
    img.info.versionByte = b[hdr::kVersion];
    img.info.fileType = b[hdr::kFileType];
    img.info.blockSizeKb = b[hdr::kBlockSizeKb];
    img.info.headerSize = static_cast<int>(img.headerSize);
    parseFields(img, name, fallbackCodePage, findings);
    if (img.recordSize + kBlockHeaderSize > img.blockSize)
        fail(name, "a record does not fit into a block");
    img.rowsPerBlock = (img.blockSize - kBlockHeaderSize) / img.recordSize;

    const std::size_t physBlocks = (fileSize - img.headerSize + img.blockSize - 1) / img.blockSize;
    BlockPeek inImage = [&img](std::size_t offset) { return getBlockHeader(&img.bytes[offset]); };
    if (peekBlocks) {
        img.bytes.resize(img.headerSize);  // the header is all that is kept
    } else {
        // The last block may be short; pad the image so every block is whole.
        img.bytes.resize(img.headerSize + physBlocks * img.blockSize, 0);
    }
    const BlockPeek& peek = peekBlocks ? *peekBlocks : inImage;
    const std::string broken = walkChain(img, fileSize, physBlocks, peek, findings);
    if (!broken.empty()) {
        // Never repaired in place: show what the chain holds up to the damage, read-only.
        findings.staleLinks.clear();
        findings.needsRepair = false;
        img.recomputeStarts();
        img.fileBlocks = physBlocks;
        findings.damaged = true;
        findings.readOnlyReason = "The table '" + name + "' is damaged (" + broken
            + "); it is opened read-only and shows only the " + num(img.rowCount()) + " rows before the damage.";
        return img;
    }
    img.recomputeStarts();
    if (chainLosesRows(img)) {
        // Never shortened to the chain: the rows past the break may still be there to rescue.
        findings.damaged = true;
        findings.readOnlyReason = "The table '" + name + "' is damaged (its header gives "
            + num(getU32(&b[hdr::kNumRecords])) + " rows, its block chain holds " + num(img.rowCount())
            + "); it is opened read-only and shows only the " + num(img.rowCount()) + " rows the chain holds.";
        img.fileBlocks = physBlocks;
        return img;
    }
    walkFreeList(img, physBlocks, peek, name, findings);
    checkCounters(img, physBlocks, name, findings);
    if (findings.readOnlyReason.empty() && img.info.fileType == 0)
        findings.readOnlyReason = "The table '" + name + "' has a primary key; keyed tables are opened read-only.";
    if (findings.readOnlyReason.empty() && b[hdr::kWriteProtected] != 0)
        findings.readOnlyReason = "The table '" + name + "' is marked write-protected; it is opened read-only.";
    return img;
}

}  // namespace

TableImage readTable(std::vector<std::uint8_t> bytes, const std::string& name, int fallbackCodePage,
                     ReadFindings& findings)
{
    const std::size_t fileSize = bytes.size();
    return readImage(std::move(bytes), fileSize, nullptr, name, fallbackCodePage, findings);
}

TableImage readTableHeader(std::vector<std::uint8_t> header, std::size_t fileSize, const BlockPeek& peek,
                           const std::string& name, int fallbackCodePage, ReadFindings& findings)
{
    if (header.size() < std::min<std::size_t>(fileSize, hdr::kFixedEnd))
        fail(name, "the header could not be read");
    return readImage(std::move(header), fileSize, &peek, name, fallbackCodePage, findings);
}

Value decodeValue(FieldType type, const std::uint8_t* data, std::size_t size, const CodePage& codePage)
{
    if (type == FieldType::Alpha) {
        const std::size_t len = static_cast<std::size_t>(std::find(data, data + size, 0) - data);
        if (len == 0)
            return {};
        std::string text;
        codePage.appendUtf8(data, len, text);
        return text;
    }
    if (!isValueType(type) || std::all_of(data, data + size, [](std::uint8_t c) { return c == 0; }))
        return {};
    if (isIntegerType(type)) {
        // Big-endian two's complement with the top bit inverted.
        std::uint32_t raw = data[0] ^ 0x80u;
        for (std::size_t i = 1; i < size; ++i)
            raw = (raw << 8) | data[i];
        const unsigned shift = static_cast<unsigned>(32 - 8 * size);
        return static_cast<std::int32_t>(raw << shift) >> shift;
    }
    std::uint64_t raw = 0;
    for (std::size_t i = 0; i < 8; ++i)
        raw = (raw << 8) | data[i];
    raw = (raw & (1ull << 63)) ? raw & ~(1ull << 63) : ~raw;
    return std::bit_cast<double>(raw);
}

Row decodeRecord(const TableImage& image, const std::uint8_t* record)
{
    Row row;
    row.reserve(image.fields.size());
    for (std::size_t i = 0; i < image.fields.size(); ++i)
        row.push_back(decodeValue(image.fields[i].type, record + image.offsets[i], image.fields[i].size, *image.codePage));
    return row;
}

std::vector<Row> decodeAll(const TableImage& image)
{
    std::vector<Row> rows;
    rows.reserve(image.rowCount());
    for (const ChainEntry& e : image.chain) {
        const std::uint8_t* rec = image.bytes.data() + image.blockOffset(e.block) + kBlockHeaderSize;
        for (std::size_t i = 0; i < e.count; ++i, rec += image.recordSize)
            rows.push_back(decodeRecord(image, rec));
    }
    return rows;
}

}  // namespace zelt::document::paradox

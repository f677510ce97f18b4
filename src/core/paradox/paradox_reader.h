// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a Paradox .db file image: header, field list, block chain (table order) and values.
#pragma once

#include "paradox/code_page.h"
#include "paradox/field_value.h"
#include "paradox/paradox_table.h"
#include "paradox/paradox_types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelt::document::paradox {

/// One block of the chain and the number of rows it holds.
struct ChainEntry {
    std::uint16_t block = 0;
    std::uint16_t count = 0;
};

/// A table file held in memory: every byte of the file (the last block padded to full size),
/// the parsed field layout, and the block chain in table order. The writer keeps it equal to the
/// file after every write.
struct TableImage {
    std::vector<std::uint8_t> bytes;
    std::vector<FieldDef> fields;
    std::vector<std::size_t> offsets;  ///< offset of each field inside a record
    ParadoxInfo info;
    const CodePage* codePage = nullptr;
    std::size_t headerSize = 0;
    std::size_t blockSize = 0;
    std::size_t recordSize = 0;
    std::size_t rowsPerBlock = 0;
    std::size_t fileBlocks = 0;        ///< blocks the table owns (header 0x0C, repaired)
    std::vector<ChainEntry> chain;     ///< table order
    std::vector<std::size_t> starts;   ///< starts[k] = rows before chain[k]; one more entry than chain
    std::vector<std::uint16_t> freeList;  ///< head first

    struct Location {
        std::size_t chainIndex;
        std::size_t slot;
    };

    std::size_t rowCount() const { return starts.empty() ? 0 : starts.back(); }
    std::size_t blockOffset(std::size_t block) const { return headerSize + (block - 1) * blockSize; }
    std::size_t recordOffset(const Location& at) const
    {
        return blockOffset(chain[at.chainIndex].block) + kBlockHeaderSize + at.slot * recordSize;
    }
    /// Chain position and slot of row `row` (row < rowCount()).
    Location locate(std::size_t row) const;
    /// Recomputes starts[] from chain index `from` on.
    void recomputeStarts(std::size_t from = 0);
};

/// What the open-time check found besides the data.
struct ReadFindings {
    std::vector<std::string> notes;   ///< stale counters, links trusted to the chain, dropped free list
    std::string readOnlyReason;       ///< non-empty: the table must not be written
    bool damaged = false;             ///< the block chain breaks; only the rows before the break were read
    bool needsRepair = false;         ///< header counters or prev links differ from the valid chain
    std::vector<std::size_t> staleLinks;  ///< chain indices whose prev link is wrong
};

/// Parses a whole table file. `fileSize` is the real size before padding; `name` is used in
/// messages. Throws ParadoxError for files that cannot be read at all (not a table, truncated
/// header, encrypted, unknown field types); a damaged block chain gives an empty chain and a
/// read-only reason instead.
TableImage readTable(std::vector<std::uint8_t> bytes, const std::string& name, int fallbackCodePage,
                     ReadFindings& findings);

/// Reads the first bytes of one block of the file for readTableHeader (the block header);
/// throws ParadoxError when they cannot be read.
using BlockPeek = std::function<BlockHeader(std::size_t offset)>;

/// As readTable, but from the header alone (`header` holds at least the file's header bytes,
/// `fileSize` is the file's size): the block chain and the free list are walked through `peek`
/// and no block is kept, so the image has the facts and the chain but no rows.
TableImage readTableHeader(std::vector<std::uint8_t> header, std::size_t fileSize, const BlockPeek& peek,
                           const std::string& name, int fallbackCodePage, ReadFindings& findings);

/// Decodes one record (recordSize bytes) into values: Alpha as UTF-8, integer types as int32,
/// Number/Money/Timestamp as double; BCD, Bytes and blob fields read as empty.
Row decodeRecord(const TableImage& image, const std::uint8_t* record);

/// Decodes every row of the image in table order.
std::vector<Row> decodeAll(const TableImage& image);

/// Decodes a single field value of the given type and size.
Value decodeValue(FieldType type, const std::uint8_t* data, std::size_t size, const CodePage& codePage);

}  // namespace zelt::document::paradox

// SPDX-License-Identifier: GPL-3.0-or-later
// Writes Paradox .db tables: value encoding, new-table headers and the engine's block operations.
#pragma once

#include "paradox/paradox_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelt::document::paradox {

/// Where the writer's bytes go. write() returns only when every byte is in place and throws
/// ParadoxError otherwise.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
};

/// Encodes `row` into `record` (recordSize bytes). Fields whose type has no value form here
/// (BCD, Bytes, blobs) keep the bytes already in `record` when the value is empty. Throws
/// ParadoxError naming the field for a value the field cannot hold.
void encodeRecord(const TableImage& image, const Row& row, std::uint8_t* record);

/// Facts for a new table's header.
struct NewTableSpec {
    std::vector<FieldDef> fields;   ///< Alpha sizes as given; 0 for other types means the natural size
    int codePage = 1252;            ///< 1252, 1251, 866, 437 or 850
    std::string tableName;          ///< base file name, stored in the header
    std::uint32_t updateTime = 0;   ///< seconds since 1970, stored at 0x60
};

/// Builds the bytes of a new empty unkeyed level-7 table (header only, no blocks). The header
/// has the layout of engine-written level-7 tables; run-time pointers and change counters are 0.
/// Throws ParadoxError for field lists that cannot be stored.
std::vector<std::uint8_t> buildNewTable(const NewTableSpec& request);

/// Applies row operations to a table image and its file, in the order that leaves a valid table
/// after every single write: data first, then links, then header counters.
class TableWriter {
public:
    TableWriter(TableImage& image, ByteSink& sink) : m_img(image), m_sink(sink) {}

    /// Overwrites row `row` in place: one write of the record bytes.
    void update(std::size_t row, const std::uint8_t* record);
    /// Inserts before `row` (row == rowCount() appends) into the block holding its predecessor;
    /// a full block is split half/half into a block linked after it.
    void insert(std::size_t row, const std::uint8_t* record);
    /// Deletes row `row`; an emptied block leaves the chain for the free list, except the chain's
    /// first block, which takes over its successor's rows instead (or, as the table's last block,
    /// leaves the chain but stays reserved for the next first row when it is block 1).
    void remove(std::size_t row);
    /// Fixes previous-block links listed by the reader and writes header counters from the chain.
    void repair(const std::vector<std::size_t>& staleLinks);

private:
    void writeRange(std::size_t offset, std::size_t size);
    void writeHeader();
    std::uint16_t allocateBlock();
    void setBlockHeader(std::size_t block, std::uint16_t next, std::uint16_t prev, std::size_t rows);
    void setNext(std::size_t block, std::uint16_t next);
    void setPrev(std::size_t block, std::uint16_t prev);
    void freeBlock(std::size_t block);
    void insertIntoBlock(std::size_t k, std::size_t slot, const std::uint8_t* record);
    void appendBlock(const std::uint8_t* record);
    void splitBlock(std::size_t k, std::size_t slot, const std::uint8_t* record);
    void removeFromBlock(std::size_t k, std::size_t slot);
    void unlinkBlock(std::size_t k);
    void takeOverSuccessor(std::size_t k);
    void emptyTable();
    bool blockOneIsUnused() const;
    std::uint8_t* blockPtr(std::size_t block) { return m_img.bytes.data() + m_img.blockOffset(block); }

    TableImage& m_img;
    ByteSink& m_sink;
};

}  // namespace zelt::document::paradox

// SPDX-License-Identifier: GPL-3.0-or-later
// On-disk layout of Paradox .db files: header offsets, block header, little-endian access.
#pragma once

#include "paradox/field_value.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zelt::document::paradox {

// Offsets in the fixed header (all levels). Control data is little-endian.
namespace hdr {
inline constexpr std::size_t kRecordSize = 0x00;     // u16
inline constexpr std::size_t kHeaderSize = 0x02;     // u16
inline constexpr std::size_t kFileType = 0x04;       // u8: 0 keyed .DB, 2 unkeyed .DB
inline constexpr std::size_t kBlockSizeKb = 0x05;    // u8
inline constexpr std::size_t kNumRecords = 0x06;     // u32
inline constexpr std::size_t kBlocksInUse = 0x0A;    // u16: blocks in the chain
inline constexpr std::size_t kFileBlocks = 0x0C;     // u16
inline constexpr std::size_t kFirstBlock = 0x0E;     // u16
inline constexpr std::size_t kLastBlock = 0x10;      // u16: chain tail
inline constexpr std::size_t kRebuild1 = 0x14;       // u8
inline constexpr std::size_t kNumFields = 0x21;      // u16
inline constexpr std::size_t kKeyFields = 0x23;      // u16
inline constexpr std::size_t kEncryption1 = 0x25;    // u32
inline constexpr std::size_t kSortOrder = 0x29;      // u8
inline constexpr std::size_t kWriteProtected = 0x38; // u8
inline constexpr std::size_t kVersion = 0x39;        // u8
inline constexpr std::size_t kMaxBlocks = 0x3A;      // u16, kept equal to kFileBlocks
inline constexpr std::size_t kFirstFree = 0x4D;      // u16: head of the free-block list
inline constexpr std::size_t kUsedHeader = 0x51;     // u16: end of the sort-order ID (level >= 4)
inline constexpr std::size_t kDbMarker = 0x56;       // u8: 0x20 in .DB files
inline constexpr std::size_t kFixedEnd = 0x58;       // end of the fixed part

// Data header of level 4 and later (version byte >= 5).
inline constexpr std::size_t kVersionWord1 = 0x58;   // u16
inline constexpr std::size_t kVersionWord2 = 0x5A;   // u16
inline constexpr std::size_t kEncryption2 = 0x5C;    // u32
inline constexpr std::size_t kUpdateTime = 0x60;     // u32, seconds since 1970
inline constexpr std::size_t kFieldsPlusOne = 0x64;  // u16
inline constexpr std::size_t kFieldNumbersRel = 0x66; // u16: + 0x58 = field-number array
inline constexpr std::size_t kCodePage = 0x6A;       // u16
inline constexpr std::size_t kSortIdRel = 0x6E;      // u16: + 0x58 = sort-order ID string
inline constexpr std::size_t kChangeCount = 0x70;    // u16
inline constexpr std::size_t kDataHeaderEnd = 0x78;
}  // namespace hdr

inline constexpr std::uint32_t kNoEncryption4 = 0xFF00FF00u;  ///< encryption word of level >= 4
inline constexpr int kVersionLevel7 = 12;
inline constexpr std::size_t kTableNameSize3 = 79;   ///< table name field before level 7
inline constexpr std::size_t kTableNameSize7 = 261;  ///< table name field of level 7
inline constexpr std::size_t kMaxBlockNumber = 0xFFFF;

/// The six bytes at the start of every data block.
struct BlockHeader {
    std::uint16_t next;        ///< next block in the chain, 0 = last
    std::uint16_t prev;        ///< previous block, 0 = first
    std::int16_t lastOffset;   ///< (rows - 1) * recordSize; -recordSize for an empty block
};
inline constexpr std::size_t kBlockHeaderSize = 6;
static_assert(sizeof(BlockHeader) == kBlockHeaderSize);

inline std::uint16_t getU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::int16_t getS16(const std::uint8_t* p) { return static_cast<std::int16_t>(getU16(p)); }
inline std::uint32_t getU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void putU16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putU32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline BlockHeader getBlockHeader(const std::uint8_t* p) { return {getU16(p), getU16(p + 2), getS16(p + 4)}; }
inline void putBlockHeader(std::uint8_t* p, const BlockHeader& h)
{
    putU16(p, h.next);
    putU16(p + 2, h.prev);
    putU16(p + 4, static_cast<std::uint16_t>(h.lastOffset));
}

/// Bytes a value of this type takes in a record, or 0 when the header's own size is used
/// (Alpha, Bytes, blobs). BCD fields always take 17 bytes whatever the header says.
constexpr int naturalFieldSize(FieldType type)
{
    switch (type) {
    case FieldType::Short: return 2;
    case FieldType::Long:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::AutoInc: return 4;
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Timestamp: return 8;
    case FieldType::Logical: return 1;
    case FieldType::Bcd: return 17;
    default: return 0;
    }
}
static_assert(naturalFieldSize(FieldType::Short) == 2 && naturalFieldSize(FieldType::Number) == 8);

/// True for the type codes this codec knows.
constexpr bool isKnownFieldType(std::uint8_t code)
{
    return code == 0x01 || code == 0x02 || code == 0x03 || code == 0x04 || code == 0x05 || code == 0x06
        || code == 0x09 || (code >= 0x0C && code <= 0x10) || (code >= 0x14 && code <= 0x18);
}

/// Types whose values are read as their natural value and written; the others (blobs, BCD,
/// Bytes) read as empty and keep their stored bytes when a row is updated.
constexpr bool isValueType(FieldType type)
{
    return type == FieldType::Alpha || (naturalFieldSize(type) != 0 && type != FieldType::Bcd);
}

/// Integer types stored as big-endian two's complement with the top bit inverted.
constexpr bool isIntegerType(FieldType type)
{
    return type == FieldType::Short || type == FieldType::Long || type == FieldType::Date
        || type == FieldType::Time || type == FieldType::AutoInc || type == FieldType::Logical;
}

/// Floating types stored as big-endian IEEE doubles with the sign trick.
constexpr bool isFloatType(FieldType type)
{
    return type == FieldType::Number || type == FieldType::Money || type == FieldType::Timestamp;
}

}  // namespace zelt::document::paradox

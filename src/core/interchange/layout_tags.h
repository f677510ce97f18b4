// SPDX-License-Identifier: GPL-3.0-or-later
// Value tags and fixed texts of the layout stream, shared by its reader and writer.
#pragma once

#include <cstdint>
#include <string_view>

namespace zelt::interchange {

inline constexpr std::string_view kSignature = "TPF0";
inline constexpr std::string_view kClassName = "TColumnsWrapper";

/// Tag bytes in front of every value (stored; never renumber).
namespace tag {
inline constexpr std::uint8_t Null = 0x00;        ///< end of a list
inline constexpr std::uint8_t List = 0x01;
inline constexpr std::uint8_t Int8 = 0x02;
inline constexpr std::uint8_t Int16 = 0x03;
inline constexpr std::uint8_t Int32 = 0x04;
inline constexpr std::uint8_t String = 0x06;      ///< length byte + text
inline constexpr std::uint8_t Ident = 0x07;
inline constexpr std::uint8_t False = 0x08;
inline constexpr std::uint8_t True = 0x09;
inline constexpr std::uint8_t Set = 0x0B;
inline constexpr std::uint8_t LongString = 0x0C;  ///< 4-byte length + text
inline constexpr std::uint8_t Nil = 0x0D;
inline constexpr std::uint8_t Collection = 0x0E;
}  // namespace tag

}  // namespace zelt::interchange

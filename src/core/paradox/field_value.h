// SPDX-License-Identifier: GPL-3.0-or-later
// Field types, field definitions and the value of one field of one row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zelt::document {

/// Paradox field type codes as stored in the table header (stored; never renumber).
enum class FieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Money = 0x05,
    Number = 0x06,
    Logical = 0x09,
    MemoBlob = 0x0C,
    Blob = 0x0D,
    FmtMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

/// One stored field of a table: name (UTF-8), type and size in bytes as in the header.
struct FieldDef {
    std::string name;
    FieldType type = FieldType::Alpha;
    std::uint16_t size = 0;  ///< bytes in the record; for Alpha the maximum text length in code-page bytes
    friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

/// The value of one field: empty, an integer (Short/Long), a float (Number) or text (Alpha, UTF-8).
/// Empty is a value of its own: it survives save and reload and reads as 0 in arithmetic.
using Value = std::variant<std::monostate, std::int32_t, double, std::string>;

inline bool isEmpty(const Value& v) { return std::holds_alternative<std::monostate>(v); }

/// The number an integer or float value holds; nullopt for an empty value or text.
inline std::optional<double> numberOf(const Value& v)
{
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    return std::nullopt;
}

/// One row of stored values in the table's file field order.
using Row = std::vector<Value>;

}  // namespace zelt::document

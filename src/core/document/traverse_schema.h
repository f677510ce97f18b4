// SPDX-License-Identifier: GPL-3.0-or-later
// The traverse table's schema: stored fields in file order, the document's field list and its rules.
#pragma once

#include "paradox/field_value.h"
#include "document/traverse_table.h"

#include <string_view>
#include <vector>

namespace zelt::document {

/// Field names and rules of a traverse table. The file order of the twelve stored fields is
/// the order in which a new table is created; the document's field list (fourteen fields,
/// calculated F and G included) is the order in which exports and other passes enumerate fields.
class TraverseSchema {
public:
    /// Azimuth, Pairs, Procent, Povorot, Mark, Reserv, Altimeter, Recalc, metru, id, sumPairs,
    /// FillHeight with their Paradox types and sizes (record of 171 bytes).
    static const std::vector<FieldDef>& fileFields();
    /// Azimuth, Pairs, Procent, Povorot, Mark, Reserv, metru, F, G, Altimeter, Recalc, id,
    /// sumPairs, FillHeight with required flags, ranges, display labels, formats and widths.
    /// fileIndex is the position in fileFields() (-1 for F and G).
    static const std::vector<FieldInfo>& documentFields();
    /// The value a new row starts with: 0 in Azimuth, Pairs, Procent and metru, else empty.
    static Value newRowDefault(std::string_view fieldName);
    /// Whether a stored field type can hold the values of a schema field (integer fields may be
    /// Short or Long, float fields Number, text fields Alpha of any size).
    static bool isCompatible(FieldType schemaType, FieldType storedType);
    /// Case-insensitive ASCII comparison of field names.
    static bool sameName(std::string_view a, std::string_view b);
};

/// Names of the traverse table's fields as the rules and passes address them.
namespace fields {
inline constexpr const char* kAzimuth = "Azimuth";
inline constexpr const char* kPairs = "Pairs";
inline constexpr const char* kProcent = "Procent";
inline constexpr const char* kPovorot = "Povorot";
inline constexpr const char* kAltimeter = "Altimeter";
inline constexpr const char* kRecalc = "Recalc";
inline constexpr const char* kMetru = "metru";
inline constexpr const char* kId = "id";
inline constexpr const char* kSumPairs = "sumPairs";
inline constexpr const char* kFillHeight = "FillHeight";
}  // namespace fields

}  // namespace zelt::document

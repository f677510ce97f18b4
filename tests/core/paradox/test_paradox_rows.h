// SPDX-License-Identifier: GPL-3.0-or-later
// Qt-free helpers of the Paradox codec tests and benchmark: the traverse field list and test rows.
#pragma once

#include "paradox/paradox_table.h"

#include <algorithm>
#include <string>
#include <vector>

namespace zelt::test::px {

using namespace zelt::document;

/// The traverse table's twelve stored fields in file order (171-byte records, 11 per 2 KB block).
inline std::vector<FieldDef> traverseFields()
{
    return {{"Azimuth", FieldType::Short, 2},  {"Pairs", FieldType::Number, 8},    {"Procent", FieldType::Short, 2},
            {"Povorot", FieldType::Alpha, 15}, {"Mark", FieldType::Alpha, 50},      {"Reserv", FieldType::Alpha, 50},
            {"Altimeter", FieldType::Number, 8}, {"Recalc", FieldType::Number, 8},  {"metru", FieldType::Number, 8},
            {"id", FieldType::Long, 4},        {"sumPairs", FieldType::Number, 8}, {"FillHeight", FieldType::Number, 8}};
}

/// A row identified by `id` (stored in `id`), with a mix of empty and filled values.
inline Row traverseRow(int id)
{
    Row row(12);
    row[0] = std::int32_t(id % 720 - 360);
    row[1] = id * 0.5;
    if (id % 3)
        row[2] = std::int32_t(id % 301 - 150);
    if (id % 4 == 0)
        row[3] = std::string("left");
    row[4] = "mark " + std::to_string(id);
    row[6] = 420.0 + id;
    row[9] = std::int32_t(id);
    return row;
}

/// Text of a row for failure messages.
inline std::string describe(const Row& row)
{
    std::string out;
    for (const Value& v : row) {
        if (!out.empty())
            out += "; ";
        if (isEmpty(v))
            out += "-";
        else if (const auto* i = std::get_if<std::int32_t>(&v))
            out += std::to_string(*i);
        else if (const auto* d = std::get_if<double>(&v))
            out += std::to_string(*d);
        else
            out += "'" + std::get<std::string>(v) + "'";
    }
    return out;
}

/// Empty string when the two row lists are equal, else where they first differ.
inline std::string firstDifference(const std::vector<Row>& got, const std::vector<Row>& want)
{
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i])
            return "row " + std::to_string(i) + ": got [" + describe(got[i]) + "], want [" + describe(want[i]) + "]";
    if (got.size() != want.size())
        return "row count " + std::to_string(got.size()) + ", want " + std::to_string(want.size());
    return {};
}

}  // namespace zelt::test::px

// SPDX-License-Identifier: GPL-3.0-or-later
// The traverse table's schema: stored fields in file order, the document's field list and its rules.
#include "document/traverse_schema.h"

#include <algorithm>

namespace zelt::document {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Default display widths in characters, as a data-bound grid derives them from the field type.
constexpr int kShortWidth = 6;
constexpr int kLongWidth = 11;
constexpr int kNumberWidth = 10;

FieldInfo makeField(const char* name, FieldType type)
{
    FieldInfo f;
    f.name = name;
    f.type = type;
    return f;
}

FieldInfo numberField(const char* name, const char* format, int fileIndex)
{
    FieldInfo f = makeField(name, FieldType::Number);
    f.displayFormat = format;
    f.displayWidth = kNumberWidth;
    f.fileIndex = fileIndex;
    return f;
}

FieldInfo alphaField(const char* name, int size, int width, int fileIndex)
{
    FieldInfo f = makeField(name, FieldType::Alpha);
    f.size = size;
    f.displayWidth = width;
    f.fileIndex = fileIndex;
    return f;
}

std::vector<FieldInfo> buildDocumentFields()
{
    FieldInfo azimuth = makeField("Azimuth", FieldType::Short);
    azimuth.required = true;
    azimuth.minValue = -360;
    azimuth.maxValue = 360;
    azimuth.displayWidth = kShortWidth;
    azimuth.fileIndex = 0;

    FieldInfo pairs = numberField("Pairs", "", 1);
    pairs.required = true;
    pairs.minValue = 0;
    pairs.maxValue = 4294967295.0;

    FieldInfo procent = makeField("Procent", FieldType::Short);
    procent.minValue = -150;
    procent.maxValue = 150;
    procent.displayLabel = "Percent";
    procent.displayWidth = kShortWidth;
    procent.fileIndex = 2;

    FieldInfo altimeter = numberField("Altimeter", "0.0", 6);
    altimeter.minValue = 0;
    altimeter.maxValue = 3000;

    FieldInfo f = numberField("F", "0.00", -1);
    f.calculated = true;
    FieldInfo g = numberField("G", "0.00", -1);
    g.calculated = true;

    FieldInfo id = makeField("id", FieldType::Long);
    id.displayWidth = kLongWidth;
    id.fileIndex = 9;

    return {azimuth,
            pairs,
            procent,
            alphaField("Povorot", 15, 15, 3),
            alphaField("Mark", 50, 30, 4),
            alphaField("Reserv", 50, 50, 5),
            numberField("metru", "0.00", 8),
            f,
            g,
            altimeter,
            numberField("Recalc", "0.0", 7),
            id,
            numberField("sumPairs", "", 10),
            numberField("FillHeight", "0.0", 11)};
}

}  // namespace

const std::vector<FieldDef>& TraverseSchema::fileFields()
{
    static const std::vector<FieldDef> fields = {
        {"Azimuth", FieldType::Short, 2},   {"Pairs", FieldType::Number, 8},
        {"Procent", FieldType::Short, 2},   {"Povorot", FieldType::Alpha, 15},
        {"Mark", FieldType::Alpha, 50},     {"Reserv", FieldType::Alpha, 50},
        {"Altimeter", FieldType::Number, 8}, {"Recalc", FieldType::Number, 8},
        {"metru", FieldType::Number, 8},    {"id", FieldType::Long, 4},
        {"sumPairs", FieldType::Number, 8}, {"FillHeight", FieldType::Number, 8},
    };
    return fields;
}

const std::vector<FieldInfo>& TraverseSchema::documentFields()
{
    static const std::vector<FieldInfo> fields = buildDocumentFields();
    return fields;
}

Value TraverseSchema::newRowDefault(std::string_view fieldName)
{
    if (sameName(fieldName, "Azimuth") || sameName(fieldName, "Procent"))
        return std::int32_t{0};
    if (sameName(fieldName, "Pairs") || sameName(fieldName, "metru"))
        return 0.0;
    return {};
}

bool TraverseSchema::isCompatible(FieldType schemaType, FieldType storedType)
{
    switch (schemaType) {
    case FieldType::Short:
    case FieldType::Long:
        return storedType == FieldType::Short || storedType == FieldType::Long;
    case FieldType::Number:
        return storedType == FieldType::Number;
    case FieldType::Alpha:
        return storedType == FieldType::Alpha;
    default:
        return false;
    }
}

bool TraverseSchema::sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// The ranges of a document's survey values (pairs per 100 m, start height) and their messages.
#include "document/survey_values.h"

#include "document/traverse_schema.h"
#include "document/traverse_table.h"
#include "document/value_format.h"

#include <algorithm>
#include <cmath>

namespace zelt::document {
namespace {

/// The start height becomes the start row's `Altimeter` reading, so it takes that field's range.
const FieldInfo& altimeterField()
{
    static const FieldInfo& field = [&]() -> const FieldInfo& {
        const auto& all = TraverseSchema::documentFields();
        return *std::find_if(all.begin(), all.end(),
                             [](const FieldInfo& f) { return TraverseSchema::sameName(f.name, "Altimeter"); });
    }();
    return field;
}

std::string itIs(double v) { return " (it is " + formatGeneral(v) + ")"; }

}  // namespace

bool isUsablePairsRatio(double pairsPer100m)
{
    return std::isfinite(pairsPer100m) && pairsPer100m >= kMinPairsPer100m && pairsPer100m <= kMaxPairsPer100m;
}

std::string pairsRatioMessage(double pairsPer100m)
{
    return "Pairs per 100 m must be between " + formatGeneral(kMinPairsPer100m) + " and "
        + formatGeneral(kMaxPairsPer100m) + itIs(pairsPer100m);
}

bool isUsableStartHeight(double startHeight)
{
    const FieldInfo& f = altimeterField();
    return std::isfinite(startHeight) && startHeight >= *f.minValue && startHeight <= *f.maxValue;
}

std::string startHeightMessage(double startHeight)
{
    const FieldInfo& f = altimeterField();
    return "The start height must be between " + formatGeneral(*f.minValue) + " and " + formatGeneral(*f.maxValue)
        + " m" + itIs(startHeight);
}

std::optional<std::string> surveyValuesProblem(double pairsPer100m, double startHeight)
{
    if (!isUsablePairsRatio(pairsPer100m))
        return pairsRatioMessage(pairsPer100m);
    if (!isUsableStartHeight(startHeight))
        return startHeightMessage(startHeight);
    return std::nullopt;
}

}  // namespace zelt::document

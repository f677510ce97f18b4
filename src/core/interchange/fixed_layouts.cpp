// SPDX-License-Identifier: GPL-3.0-or-later
// The three fixed layouts offered by the "Grids" menu: "std.ing", "abs.ing", "procent.ing".
#include "interchange/fixed_layouts.h"

#include <algorithm>

namespace zelt::interchange {

using document::Column;
using document::ColumnSet;

namespace {

/// The built-in set with the columns of `front` moved, in that order, before all others and
/// shown; the remaining columns keep their order and visibility.
ColumnSet builtInWithFront(std::initializer_list<const char*> front)
{
    const ColumnSet base = ColumnSet::builtIn();
    ColumnSet set;
    for (const char* field : front) {
        Column c = *base.findByField(field);
        c.visible = true;
        set.columns.push_back(c);
    }
    for (const Column& c : base.columns) {
        const bool moved = std::any_of(front.begin(), front.end(),
                                       [&](const char* f) { return c.fieldName == f; });
        if (!moved)
            set.columns.push_back(c);
    }
    return set;
}

}  // namespace

ColumnSet altimeterLayout()
{
    return builtInWithFront({"Altimeter", "FillHeight", "Recalc", "sumPairs"});
}

ColumnSet percentLayout()
{
    return builtInWithFront({"Procent", "F", "G", "FillHeight"});
}

std::vector<FixedLayout> fixedLayouts()
{
    return {{"std.ing", ColumnSet::builtIn()}, {"abs.ing", altimeterLayout()}, {"procent.ing", percentLayout()}};
}

}  // namespace zelt::interchange

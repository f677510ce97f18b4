// SPDX-License-Identifier: GPL-3.0-or-later
// The three fixed layouts offered by the "Grids" menu: "std.ing", "abs.ing", "procent.ing".
#pragma once

#include "document/column_set.h"

#include <string>
#include <vector>

namespace zelt::interchange {

/// Altimeter work: Altimeter, FillHeight, Recalc and sumPairs first, then the built-in columns.
document::ColumnSet altimeterLayout();
/// Slope work: Procent, F, G and FillHeight first and shown, then the built-in columns.
document::ColumnSet percentLayout();

struct FixedLayout {
    std::string fileName;  ///< "std.ing", "abs.ing", "procent.ing"
    document::ColumnSet columns;
};
/// The built-in set as "std.ing", the altimeter layout as "abs.ing", the slope layout as
/// "procent.ing".
std::vector<FixedLayout> fixedLayouts();

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// One row of imported text: its cells typed into their fields and the row stored once, whole.
#pragma once

#include "document/traverse_table.h"

#include <string>
#include <vector>

namespace zelt::interchange {

/// Appends one row with `cells[i]` typed into field `names[i]` as a user types into a cell
/// (TraverseTable::enterText: text-entry and change rules run, numbers use `decimalSeparator`).
/// An empty name (a calculated or unnamed column) and a blank cell are skipped; a non-blank cell
/// beyond the names is refused ("more values than field names").
///
/// The row is composed first and reaches the file with a single post, so the field rules give
/// the same values as typing but a kill never leaves a row with only its first fields stored.
/// On an error nothing of the row is stored and the error is rethrown.
void appendTypedRow(document::TraverseTable& table, const std::vector<std::string>& names,
                    const std::vector<std::string>& cells, char decimalSeparator);

}  // namespace zelt::interchange

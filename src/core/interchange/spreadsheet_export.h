// SPDX-License-Identifier: GPL-3.0-or-later
// Spreadsheet export: the visible columns of the grid into a new workbook through a sink.
#pragma once

#include "document/column_set.h"
#include "document/traverse_table.h"
#include "interchange/spreadsheet_sink.h"

namespace zelt::interchange {

/// `ToMic1Click` on a sink. Header row: the display label of each visible column's field (an
/// empty cell for a column whose field the table lacks); then one row per table row with the
/// display texts, each row addressed afresh as "A<r>"; finally `AutoFormat` 1 over "A1" to
/// "N<r-1>", only when the row transfer ended normally.
///
/// The row transfer runs with display updates suspended; whether it ends normally or by an
/// error, the table goes back to the row that was current and display updates resume. Errors
/// of the sink or the table are rethrown. The table is never changed.
void exportToSpreadsheet(document::TraverseTable& table, const document::ColumnSet& columns,
                         SpreadsheetSink& sink);

}  // namespace zelt::interchange

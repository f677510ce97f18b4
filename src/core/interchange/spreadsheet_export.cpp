// SPDX-License-Identifier: GPL-3.0-or-later
// Spreadsheet export: the visible columns of the grid into a new workbook through a sink.
#include "interchange/spreadsheet_export.h"

#include "document/row_restore.h"
#include "interchange/text_export.h"

#include <string>
#include <vector>

namespace zelt::interchange {

using document::TraverseTable;

namespace {

/// The last column of the formatted range, whatever the number of visible columns.
constexpr const char* kLastFormattedColumn = "N";

/// Rows 2 onwards; returns the number of the row after the last one written.
int transferRows(TraverseTable& table, const std::vector<int>& fields, SpreadsheetSink& sink)
{
    document::RowRestore restore(table);
    table.first();
    int r = 2;
    while (!table.eof()) {
        const std::string cell = "A" + std::to_string(r);
        sink.range(cell, cell);
        const int row = table.currentIndex();
        for (int f : fields) {
            sink.setValue(f >= 0 ? table.displayTextAt(row, f) : std::string{});
            sink.next();
        }
        table.next();
        ++r;
    }
    return r;
}

}  // namespace

void exportToSpreadsheet(TraverseTable& table, const document::ColumnSet& columns, SpreadsheetSink& sink)
{
    // The fields of the visible columns, picked as the text export picks them.
    const std::vector<int> fields = textExportFields(table, columns, TextColumns::VisibleColumns);
    sink.show();
    sink.addWorkbook();
    sink.activeCell();
    for (int f : fields) {
        const auto& all = table.fields();
        sink.setValue(f >= 0 ? table.displayLabel(all[static_cast<std::size_t>(f)].name) : std::string{});
        sink.next();
    }
    const int r = transferRows(table, fields, sink);
    sink.range("A1", kLastFormattedColumn + std::to_string(r - 1));
    sink.autoFormat(1);
}

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// One row of imported text: its cells typed into their fields and the row stored once, whole.
#include "interchange/row_import.h"

#include "document/row_restore.h"

#include <stdexcept>

namespace zelt::interchange {

using document::TraverseTable;

namespace {

bool isBlank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

}  // namespace

void appendTypedRow(TraverseTable& table, const std::vector<std::string>& names,
                    const std::vector<std::string>& cells, char decimalSeparator)
{
    const int before = table.rowCount();
    try {
        table.append();
        document::RowComposition row(table);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i >= names.size()) {
                if (!isBlank(cells[i]))
                    throw std::runtime_error("more values than field names");
                continue;
            }
            if (!names[i].empty() && !isBlank(cells[i]))
                table.enterText(names[i], cells[i], decimalSeparator);
        }
        row.commit();
    } catch (...) {
        table.cancel();
        // Nothing was posted while composing; should a rule have moved off the row and stored
        // it, the row is removed again.
        while (table.rowCount() > before) {
            table.last();
            table.deleteRow();
        }
        throw;
    }
}

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// Text export: one line per row, every display text followed by ";", lines ended by CR LF.
#pragma once

#include "document/column_set.h"
#include "document/traverse_table.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace zelt::interchange {

/// A file of the text export could not be created or written; what() names the file and the
/// system's reason ("Cannot write the text export: '/x/out.txt': No space left on device").
class TextExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Which fields a text export writes.
enum class TextColumns {
    AllFields,       ///< every field of the document's field list, in that order
    VisibleColumns,  ///< the fields of the visible columns, in column order
};

/// Indices into `table.fields()` of the fields written, in order; -1 for a visible column whose
/// field the table does not have (it is written as an empty value with its ";").
std::vector<int> textExportFields(const document::TraverseTable& table, const document::ColumnSet& columns,
                                  TextColumns which);

/// The line of the current row, without its CR LF: each field's display text followed by ";".
std::string textLine(const document::TraverseTable& table, const std::vector<int>& fields);

/// Walks the table from its first row to its end, writing each row's line and CR LF to `out`.
/// The cursor is left on the last row. Display updates are not suspended. Throws
/// TextExportError when `out` fails; lines already written stay.
void writeTableText(document::TraverseTable& table, const std::vector<int>& fields, std::ostream& out);

/// The export commands: writes the table into a temporary file beside `path` and renames it
/// over `path` when complete, so a failure leaves the file that was there.
void exportTextFile(document::TraverseTable& table, const document::ColumnSet& columns, TextColumns which,
                    const std::filesystem::path& path);

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// Paste a column: clipboard text, one line per row, into one field from the current row down.
#pragma once

#include "document/traverse_table.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::interchange {

/// The selected column shows no field of the table; nothing was changed.
class PasteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Lines of clipboard text: breaks are CR LF, LF or a lone CR; the empty line after a final
/// break is not counted; tabs stay in the line.
std::vector<std::string> pasteLines(std::string_view text);

/// `ToolbarPasteDownClick` without the clipboard: assigns line 1 to `fieldName` of the current
/// row, line 2 to the row below, and so on, appending rows when the table runs out. Each value
/// is converted as text to the field's type with `decimalSeparator`; the change rules of Pairs
/// and metru run, and each changed row is then stored with one post, whole (the rules' own
/// posts are deferred), so that a kill leaves every row either old or new.
///
/// Stops at the first line the field refuses and rethrows the engine's error ("Invalid variant
/// type conversion", the range message, "Field '%s' cannot be modified"); that row is left
/// unchanged (a row appended for it is dropped) and rows before it keep their values. In every
/// case the cursor returns to the row that was current, display updates resume and the change
/// rules of Pairs and metru are attached again. Returns the number of lines pasted. A failing
/// flush at the end is thrown as EngineError (the rows stay pasted in the table).
/// Throws PasteError, changing nothing, when the table has no field `fieldName`.
std::size_t pasteColumn(document::TraverseTable& table, std::string_view fieldName, std::string_view text,
                        char decimalSeparator);

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// Paste a column: clipboard text, one line per row, into one field from the current row down.
#include "interchange/paste.h"

#include "document/row_restore.h"
#include "document/traverse_schema.h"

namespace zelt::interchange {

using document::TraverseTable;

std::vector<std::string> pasteLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

namespace {

/// Puts the cursor back and the table in its normal state, whatever happened in between: the
/// row and display updates as RowRestore does, and the length rules attached again.
class PasteRestore {
public:
    explicit PasteRestore(TraverseTable& table) : m_table(table), m_restore(table) {}
    ~PasteRestore()
    {
        m_table.attachChangeHook(document::fields::kPairs);
        m_table.attachChangeHook(document::fields::kMetru);
    }
    PasteRestore(const PasteRestore&) = delete;
    PasteRestore& operator=(const PasteRestore&) = delete;

    void finish() { m_restore.finish(); }

private:
    TraverseTable& m_table;
    document::RowRestore m_restore;
};

}  // namespace

std::size_t pasteColumn(TraverseTable& table, std::string_view fieldName, std::string_view text,
                        char decimalSeparator)
{
    const std::vector<std::string> lines = pasteLines(text);
    if (lines.empty())
        return 0;
    if (table.fieldIndex(fieldName) < 0)
        throw PasteError("The selected column shows no field of this table (\"" + std::string(fieldName)
                         + "\"); nothing was pasted.");

    table.checkBrowseMode();  // a row still in editing is stored before the paste starts
    PasteRestore restore(table);
    bool haveRow = table.rowCount() > 0;
    std::size_t pasted = 0;
    for (const std::string& line : lines) {
        if (haveRow)
            table.edit();
        else
            table.append();
        try {
            // The change rules of the lengths post on the way; composing the row makes the
            // row reach the file once, whole, so a kill never leaves it half changed.
            document::RowComposition row(table);
            table.refuseOverlongText(fieldName, line);
            table.setAsText(fieldName, line, decimalSeparator);
            row.commit();
            table.next();
        } catch (...) {
            // The failing row keeps its old values; a row appended for it is dropped.
            if (table.state() != TraverseTable::State::Browse)
                table.cancel();
            throw;
        }
        ++pasted;
        haveRow = !table.eof();
    }
    restore.finish();
    return pasted;
}

}  // namespace zelt::interchange

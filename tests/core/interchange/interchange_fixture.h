// SPDX-License-Identifier: GPL-3.0-or-later
// Test fixture: a document over a fresh table file, rows given as field/text pairs.
#pragma once

#include "document_fixture.h"

#include "document/column_set.h"
#include "document/traverse_table.h"

#include <string>
#include <utility>
#include <vector>

namespace zelt::test {

using Cells = std::vector<std::pair<const char*, const char*>>;

/// A grid column over `field`, shown or hidden.
inline document::Column column(const char* field, bool visible = true)
{
    document::Column c;
    c.fieldName = field;
    c.visible = visible;
    return c;
}

/// A Document over an empty table file in a temporary folder (no field rules unless asked).
class InterchangeFixture : public DocumentFixture {
public:
    /// Appends one row per entry (new-row defaults, then the given values as text) and posts it.
    void addRows(const std::vector<Cells>& rows)
    {
        auto& t = doc->table;
        for (const Cells& row : rows) {
            t.append();
            for (const auto& [field, text] : row)
                t.setAsText(field, text, '.');
            t.post();
        }
        t.first();
    }

    std::string text(int row, const char* field) const
    {
        return doc->table.displayTextAt(row, doc->table.fieldIndex(field));
    }

    std::vector<std::string> column(const char* field) const
    {
        std::vector<std::string> out;
        for (int r = 0; r < doc->table.rowCount(); ++r)
            out.push_back(text(r, field));
        return out;
    }
};

}  // namespace zelt::test

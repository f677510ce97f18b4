// SPDX-License-Identifier: GPL-3.0-or-later
// Scope guard of a walk over a table: remembered row and suspended display updates.
#pragma once

#include "document/traverse_table.h"

namespace zelt::document {

/// Remembers the current row and suspends display updates for its lifetime. On leaving, also by
/// an exception, it returns to the remembered row when that row still exists, releases the mark
/// and resumes updates. Returning to the row is best effort: an error doing so is dropped, so
/// that the walk's own error is the one reported and the display is resumed all the same.
class RowRestore {
public:
    explicit RowRestore(TraverseTable& table) : m_table(table), m_mark(table.bookmark())
    {
        m_table.disableControls();
    }
    ~RowRestore()
    {
        try {
            if (m_table.bookmarkValid(m_mark))
                m_table.gotoBookmark(m_mark);
            m_table.freeBookmark(m_mark);
        } catch (...) {
        }
        m_table.enableControls();
    }
    RowRestore(const RowRestore&) = delete;
    RowRestore& operator=(const RowRestore&) = delete;

private:
    TraverseTable& m_table;
    TraverseTable::Bookmark m_mark;
};

}  // namespace zelt::document

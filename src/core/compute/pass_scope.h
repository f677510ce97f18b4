// SPDX-License-Identifier: GPL-3.0-or-later
// The frame every pass over a table runs in: remembered row, suspended display updates, clean exit on errors.
#pragma once

#include "document/traverse_table.h"

#include <exception>

namespace zelt::compute {

/// Remembers the current row and suspends display updates for its lifetime. On leaving, also
/// by an exception, it cancels a row still being edited (its values were not stored), returns
/// to the remembered row when that row still exists, releases the mark and resumes updates.
class PassScope {
public:
    explicit PassScope(zelt::document::TraverseTable& table) : m_table(table)
    {
        // A row the user left in editing is stored first, as any move off it would do.
        m_table.checkBrowseMode();
        if (m_table.rowCount() > 0)
            m_mark = m_table.bookmark();
        m_table.disableControls();
    }
    ~PassScope()
    {
        try {
            if (std::uncaught_exceptions() > m_uncaught) {
                const auto state = m_table.state();
                if (state == zelt::document::TraverseTable::State::Edit
                    || state == zelt::document::TraverseTable::State::Insert)
                    m_table.cancel();
            }
            if (m_mark != 0) {
                if (m_table.bookmarkValid(m_mark))
                    m_table.gotoBookmark(m_mark);
                m_table.freeBookmark(m_mark);
            }
        } catch (...) {
            // Returning to the row is best effort; resuming the display must still happen.
        }
        m_table.enableControls();
    }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;

private:
    zelt::document::TraverseTable& m_table;
    zelt::document::TraverseTable::Bookmark m_mark = 0;
    int m_uncaught = std::uncaught_exceptions();
};

}  // namespace zelt::compute

// SPDX-License-Identifier: GPL-3.0-or-later
// The frame every pass over a table runs in: remembered row, suspended display updates, clean exit on errors.
#pragma once

#include "document/row_restore.h"
#include "document/traverse_table.h"

#include <exception>

namespace zelt::compute {

/// Stores a row left in editing, then remembers the current row and suspends display updates
/// for its lifetime (document::RowRestore). On leaving by an exception it first cancels a row
/// still being edited (its values were not stored). A pass calls finish() when its walk is done.
class PassScope {
public:
    explicit PassScope(zelt::document::TraverseTable& table) : m_table(table), m_restore(storedFirst(table)) {}
    ~PassScope()
    {
        if (std::uncaught_exceptions() <= m_uncaught)
            return;
        try {
            const auto state = m_table.state();
            if (state == zelt::document::TraverseTable::State::Edit
                || state == zelt::document::TraverseTable::State::Insert)
                m_table.cancel();
        } catch (...) {  // the pass's own error is the one reported
        }
    }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;

    /// The walk ended: makes its posts durable; throws EngineError when the flush fails.
    void finish() { m_restore.finish(); }

private:
    /// A row the user left in editing is stored first, as any move off it would do.
    static zelt::document::TraverseTable& storedFirst(zelt::document::TraverseTable& table)
    {
        table.checkBrowseMode();
        return table;
    }

    zelt::document::TraverseTable& m_table;
    int m_uncaught = std::uncaught_exceptions();
    zelt::document::RowRestore m_restore;  // destroyed after the cancel above
};

}  // namespace zelt::compute

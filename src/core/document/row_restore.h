// SPDX-License-Identifier: GPL-3.0-or-later
// Scope guard of a walk over a table: remembered row and suspended display updates.
#pragma once

#include "document/traverse_table.h"

namespace zelt::document {

/// Remembers the current row and suspends display updates for its lifetime. On leaving, also by
/// an exception, it returns to the remembered row when that row still exists, releases the mark
/// and resumes updates. Returning to the row is best effort: an error doing so is dropped, so
/// that the walk's own error is the one reported and the display is resumed all the same.
///
/// A walk that ends normally calls finish(), which makes its posts durable and reports a failure
/// (a pulled stick) as an error of its own. The destructor never throws: leaving without
/// finish() (by an exception) flushes on a best-effort basis only.
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
        if (!m_flushed) {
            try {
                m_table.flush();
            } catch (...) {  // the walk's own error is already on its way
            }
        }
        m_table.enableControls();
    }
    RowRestore(const RowRestore&) = delete;
    RowRestore& operator=(const RowRestore&) = delete;

    /// Flushes the table; throws EngineError when the rows cannot be made durable. The row and
    /// the display updates are still restored when the guard is left.
    void finish()
    {
        m_flushed = true;
        m_table.flush();
    }

private:
    TraverseTable& m_table;
    TraverseTable::Bookmark m_mark;
    bool m_flushed = false;
};

/// Composes the current row: while it lives, the posts that field rules make on the way keep
/// the row pending (TraverseTable::deferPosts), so that commit() stores the whole row with one
/// post. Leaving without commit() stores nothing; the caller cancels the row.
class RowComposition {
public:
    explicit RowComposition(TraverseTable& table) : m_table(table), m_was(table.postsDeferred())
    {
        m_table.deferPosts(true);
    }
    ~RowComposition() { m_table.deferPosts(m_was); }
    RowComposition(const RowComposition&) = delete;
    RowComposition& operator=(const RowComposition&) = delete;

    /// Stores the row with one post (nothing when the row is not being edited).
    void commit()
    {
        m_table.deferPosts(m_was);
        m_table.post();
    }

private:
    TraverseTable& m_table;
    bool m_was;
};

}  // namespace zelt::document

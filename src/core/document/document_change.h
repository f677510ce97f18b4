// SPDX-License-Identifier: GPL-3.0-or-later
// One recorded change to a document (rows written, document values set) that can be reverted and reapplied.
#pragma once

#include "document/known_points.h"
#include "document/traverse_table.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace zelt::document {

struct Document;

/// The values of a document a change may set besides its rows: the survey values, the
/// height-calculation marks and the known points. The marks are kept as row positions, because
/// a row deleted and restored comes back with a new bookmark.
struct DocumentValues {
    double pairsPer100m = 0;
    double startHeight = 0;
    int calcStartRow = -1;   ///< 0-based stored row of `CalcStartMark`; -1 none or deleted
    int calcEndRow = -1;
    bool calcStartSelected = false;
    bool calcEndSelected = false;
    KnownPoints knownPoints;
    bool operator==(const DocumentValues&) const = default;

    static DocumentValues of(const Document& doc);
    /// Sets the document to these values; the known points are written (DocumentKnownPoints::
    /// replace, KnownPointsError) only when they differ.
    void applyTo(Document& doc) const;
};

/// One change to a document as it was recorded: the rows it wrote (of an updated row only the
/// fields that changed; inserted and removed rows whole) and, when it set any, the document
/// values it replaced. revert() writes the earlier values back through the table's file, as a
/// post does, and keeps the ones it replaced, so that reapply() brings the change back. Both
/// need the table in browse mode and the document as the change (or its revert) left it.
class DocumentChange {
public:
    /// What a menu calls the change.
    enum class Kind { None, EditRow, NewRow, DeleteRow, Rows, Values };

    bool empty() const { return m_steps.empty() && !m_values; }
    /// True when the change sets document values (survey values, marks, known points) besides rows.
    bool setsValues() const { return m_values.has_value(); }
    Kind kind() const;
    /// 1-based number of the first row the change wrote (as it was then), 0 when none.
    int firstRow() const;
    /// Approximate bytes the recorded values hold.
    std::size_t memoryBytes() const;

    /// Throws EngineError (the table refused a write) or KnownPointsError; rows written before
    /// the failure stay written, so a failed change cannot be reverted or reapplied again.
    void revert(Document& doc);
    void reapply(Document& doc);

private:
    friend class ChangeRecorder;
    struct Step {
        enum class Kind : std::uint8_t { Fields, Insert, Remove };
        Kind kind;
        int row;                ///< 0-based
        std::uint32_t first;    ///< Fields: into m_fields; Insert, Remove: into m_rows
        std::uint32_t count;    ///< Fields: how many
    };
    void replay(Document& doc, bool forward);
    void swapFields(TraverseTable& table, const Step& step);

    std::vector<Step> m_steps;
    /// Per changed field: its position in the file's row and the value it has in the other state.
    std::vector<std::pair<int, Value>> m_fields;
    std::vector<Row> m_rows;
    std::optional<DocumentValues> m_values;   ///< the document values of the other state
};

/// Records what a document's table writes, in pieces the caller takes as DocumentChange. One
/// per document window; it is the table's write listener while it lives.
class ChangeRecorder : private RowWriteListener {
public:
    explicit ChangeRecorder(Document& doc);
    ~ChangeRecorder() override;
    ChangeRecorder(const ChangeRecorder&) = delete;
    ChangeRecorder& operator=(const ChangeRecorder&) = delete;

    /// Starts a change that also records the document values: those now are its earlier ones.
    void begin();
    /// The rows written since the last take and, after begin(), the document values when they
    /// changed since. An empty change when nothing was written.
    DocumentChange take();
    bool hasRows() const { return !m_change.m_steps.empty(); }
    /// The rows written since the last take, as take() would return them (without values).
    const DocumentChange& pending() const { return m_change; }
    /// Called at the first row written after a take (the shell takes the change soon after).
    void setWriteNotice(std::function<void()> notice) { m_notice = std::move(notice); }
    /// A write could not be recorded (out of memory): the earlier changes no longer lead back.
    /// Cleared by take().
    bool lostWrites() const { return m_lost; }

private:
    void rowUpdated(int index, const Row& before, const Row& after) override;
    void rowInserted(int index, const Row& values) override;
    void rowRemoved(int index, const Row& values) override;
    /// Keeps a whole row inserted or removed at `index` as one step.
    void recordRow(DocumentChange::Step::Kind kind, int index, const Row& values);
    void noticeWrite();

    Document& m_doc;
    DocumentChange m_change;
    std::optional<DocumentValues> m_before;
    std::function<void()> m_notice;
    bool m_lost = false;
};

}  // namespace zelt::document

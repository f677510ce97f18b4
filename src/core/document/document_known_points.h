// SPDX-License-Identifier: GPL-3.0-or-later
// The known points of an open document, following their rows as rows are inserted and deleted.
#pragma once

#include "document/known_points.h"
#include "document/traverse_table.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zelt::document {

/// The known points of one document, kept with the rows they belong to. A known point names its
/// row by number; here each point holds on to the row itself, so that a row inserted at or
/// before a point's row moves the point down, and deleting a point's row drops the point (the
/// points after it move up). A point beyond the table's end stays as far beyond the last row.
///
/// The document's session reads the .kpt when it opens the table and says whether moved points
/// are written back (only an Edit session of a writable table does). Moved points are then
/// written at once, through the atomic rewrite of writeKnownPoints; a write that fails is tried
/// again on the next move and when the document closes (writePending()).
///
/// The points follow however the rows change: one by one from the grid, or in a walk over the
/// table that suspends display updates (paste, import), since rows are followed by bookmark.
/// Everybody who shows or uses the points (the Known Points dialog, the export, the route view,
/// zelt-cli) reads this one list; subscribe() tells when it changed.
class DocumentKnownPoints : private TableObserver {
public:
    explicit DocumentKnownPoints(TraverseTable& table);
    ~DocumentKnownPoints() override;
    DocumentKnownPoints(const DocumentKnownPoints&) = delete;
    DocumentKnownPoints& operator=(const DocumentKnownPoints&) = delete;

    /// The points, numbered by the rows as they are now, in row order.
    const KnownPoints& points() const { return m_points; }
    /// Why the table's .kpt could not be read (the message names the file); empty when it was
    /// read or there is none. A damaged file is never written over except by replace().
    const std::string& damage() const { return m_damage; }

    // --- the session's part
    /// Forgets the points (before another table is opened).
    void reset();
    /// Reads the .kpt beside the open table and ties the points to its rows; a damaged file
    /// leaves no points and its message in damage(). Never throws.
    void load();
    /// Reads the .kpt again when it changed on disk since it was read or written here (another
    /// program, zelt-cli known-points, changed it); the points are then tied to the rows that
    /// have their numbers now. Returns whether it read the file. Never throws.
    bool reloadIfChanged();
    /// Whether points that moved are written to the .kpt (an Edit session of a writable table).
    void setWritesMoves(bool on);
    /// Whether moved points still wait to be written (their last write failed).
    bool hasPendingWrite() const { return m_pendingWrite; }
    /// Writes points that moved but could not be written yet; KnownPointsError when it fails.
    void writePending();

    // --- the user's edits
    /// Replaces the points with `next` and writes them to the .kpt at once (an empty list removes
    /// the file), also for a table opened read-only: the table itself is not changed. Throws
    /// KnownPointsError and keeps the points as they were when the file cannot be written.
    /// A damaged file is replaced.
    void replace(const KnownPoints& next);

    // --- observers
    using Listener = std::function<void()>;
    /// Keeps a listener registered while it lives. Move-only; safe to outlive the points.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept;
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription();
        void reset();

    private:
        friend class DocumentKnownPoints;
        using Listeners = std::map<std::uint64_t, Listener>;
        Subscription(std::weak_ptr<Listeners> list, std::uint64_t id) : m_list(std::move(list)), m_id(id) {}
        std::weak_ptr<Listeners> m_list;
        std::uint64_t m_id = 0;
    };
    /// Calls `listener` whenever the points or their row numbers change (loaded, edited, moved).
    [[nodiscard]] Subscription subscribe(Listener listener);

private:
    void tableReset() override;
    void rowsInserted(int, int) override {}
    void rowsRemoved(int first, int count) override;
    void rowChanged(int) override;
    void currentChanged(int) override {}
    void stateChanged() override;

    /// Ties each point to the row that has its number now.
    void bind();
    /// Renumbers the points after their rows; writes them when they moved and writing is on.
    void follow();
    void writeMoved();
    void notify();
    void write(const KnownPoints& points);

    /// What the .kpt looked like when last read or written here, to notice a change made
    /// elsewhere; all zero when there was no file.
    struct FileStamp {
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp stampOfFile() const;

    /// Where a point's row is: the row's bookmark (with afterRow, the row after it: the route's
    /// end belongs to the last row's end point), or (for a point beyond the table's end, mark 0)
    /// how many rows beyond the last stored row.
    struct Anchor {
        TraverseTable::Bookmark mark = 0;
        int beyondEnd = 0;
        bool afterRow = false;
    };

    TraverseTable& m_table;
    KnownPoints m_points;
    std::vector<Anchor> m_anchors;       ///< one per point, in the same order
    std::string m_damage;
    FileStamp m_stamp;
    bool m_bound = false;                ///< the anchors belong to the open table
    std::uint64_t m_boundSerial = 0;     ///< the table's open the anchors belong to
    int m_boundCount = 0;                ///< stored rows when last followed
    bool m_writesMoves = false;
    bool m_pendingWrite = false;
    std::shared_ptr<Subscription::Listeners> m_listeners = std::make_shared<Subscription::Listeners>();
    std::uint64_t m_nextListener = 1;
    ObserverRegistration m_registration;
};

}  // namespace zelt::document

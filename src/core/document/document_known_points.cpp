// SPDX-License-Identifier: GPL-3.0-or-later
// The known points of an open document, following their rows as rows are inserted and deleted.
#include "document/document_known_points.h"

#include <sys/stat.h>

namespace zelt::document {

DocumentKnownPoints::DocumentKnownPoints(TraverseTable& table)
    : m_table(table), m_registration(table.addObserver(this))
{
}

DocumentKnownPoints::~DocumentKnownPoints() = default;

void DocumentKnownPoints::reset()
{
    m_points = KnownPoints{};
    m_anchors.clear();
    m_damage.clear();
    m_stamp = {};
    m_bound = false;
    m_pendingWrite = false;
    notify();
}

void DocumentKnownPoints::load()
{
    m_points = KnownPoints{};
    m_damage.clear();
    m_pendingWrite = false;
    m_stamp = stampOfFile();
    bool converted = false;
    try {
        if (auto read = readKnownPoints(m_table.path(), &converted))
            m_points = std::move(*read);
    } catch (const std::exception& e) {
        m_damage = e.what();
    }
    bind();
    // A file of the older layout is written back in the current one where moves are written,
    // with the other companions (writePending), so that it changes within the document's change.
    if (converted && m_damage.empty() && m_writesMoves)
        m_pendingWrite = true;
    notify();
}

bool DocumentKnownPoints::reloadIfChanged()
{
    if (!m_table.isOpen() || stampOfFile() == m_stamp)
        return false;
    load();
    return true;
}

DocumentKnownPoints::FileStamp DocumentKnownPoints::stampOfFile() const
{
    struct stat st {};
    if (::lstat(knownPointsPath(m_table.path()).c_str(), &st) != 0)
        return {};
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void DocumentKnownPoints::write(const KnownPoints& points)
{
    writeKnownPoints(m_table.path(), points);
    m_stamp = stampOfFile();
}

void DocumentKnownPoints::setWritesMoves(bool on) { m_writesMoves = on; }

void DocumentKnownPoints::writePending()
{
    if (!m_pendingWrite)
        return;
    write(m_points);
    m_pendingWrite = false;
}

void DocumentKnownPoints::replace(const KnownPoints& next)
{
    write(next);
    m_points = next;
    m_damage.clear();
    m_pendingWrite = false;
    bind();
    notify();
}

void DocumentKnownPoints::bind()
{
    m_anchors.clear();
    m_bound = m_table.isOpen();
    if (!m_bound)
        return;
    const int count = m_table.rowCount();
    m_anchors.reserve(m_points.points.size());
    // The route's end (row count + 1) is the last row's end point, so it holds on to the last
    // row: a row added after it gets its mark there.
    for (const KnownPoint& p : m_points.points)
        m_anchors.push_back(p.row <= count ? Anchor{m_table.storedBookmarkAt(p.row), 0}
                            : p.row == count + 1 && count > 0 ? Anchor{m_table.storedBookmarkAt(count), 0, true}
                                                              : Anchor{0, p.row - count});
    m_boundSerial = m_table.openSerial();
    m_boundCount = count;
}

void DocumentKnownPoints::follow()
{
    if (!m_table.isOpen())
        return;  // closing keeps the rows the points had last
    if (!m_bound || m_table.openSerial() != m_boundSerial) {
        // Opened again (rename, save as): the rows are the same, under new bookmarks.
        bind();
        return;
    }
    const int count = m_table.rowCount();
    m_boundCount = count;
    if (m_anchors.empty())
        return;
    // Each point's row is looked for from where it was: a row inserted or deleted moves it by
    // one place, so one change costs a few steps per point, whatever the table's size.
    std::vector<KnownPoint> moved;
    std::vector<Anchor> anchors;
    moved.reserve(m_points.points.size());
    anchors.reserve(m_anchors.size());
    for (std::size_t i = 0; i < m_anchors.size(); ++i) {
        Anchor a = m_anchors[i];
        const KnownPoint& p = m_points.points[i];
        int row = 0;
        if (a.mark != 0) {
            row = m_table.storedRowOf(a.mark, a.afterRow ? p.row - 1 : p.row);
            if (row == 0)
                continue;  // the point's row was deleted: the point goes with it
            row += a.afterRow ? 1 : 0;
            if (a.afterRow && row <= count)
                a = Anchor{m_table.storedBookmarkAt(row), 0};   // a row was added there
        } else {
            row = count + a.beyondEnd;
        }
        moved.push_back(KnownPoint{row, p.xMm, p.yMm});
        anchors.push_back(a);
    }
    // The route's end may have moved onto a new row at the same number: keep its new anchor.
    m_anchors = std::move(anchors);
    if (moved == m_points.points)
        return;
    // Rows keep their order, so the points stay in row order.
    m_points.points = std::move(moved);
    writeMoved();
    notify();
}

void DocumentKnownPoints::writeMoved()
{
    if (!m_writesMoves)
        return;
    m_pendingWrite = true;
    try {
        write(m_points);
        m_pendingWrite = false;
    } catch (const std::exception&) {
        // Tried again on the next move and when the document closes, which reports it.
    }
}

void DocumentKnownPoints::notify()
{
    if (m_listeners->empty())
        return;
    // A listener may unsubscribe itself or another one while called.
    const auto copy = *m_listeners;
    for (const auto& [id, listener] : copy)
        if (m_listeners->count(id))
            listener();
}

void DocumentKnownPoints::tableReset() { follow(); }

void DocumentKnownPoints::rowsRemoved(int, int) { follow(); }

void DocumentKnownPoints::rowChanged(int)
{
    // A posted new row changes the stored row count; other row changes move no point.
    if (m_table.rowCount() != m_boundCount)
        follow();
}

void DocumentKnownPoints::stateChanged()
{
    if (m_table.rowCount() != m_boundCount)
        follow();
}

DocumentKnownPoints::Subscription DocumentKnownPoints::subscribe(Listener listener)
{
    const std::uint64_t id = m_nextListener++;
    m_listeners->emplace(id, std::move(listener));
    return Subscription(m_listeners, id);
}

DocumentKnownPoints::Subscription::Subscription(Subscription&& other) noexcept
    : m_list(std::move(other.m_list)), m_id(other.m_id)
{
    other.m_id = 0;
}

DocumentKnownPoints::Subscription& DocumentKnownPoints::Subscription::operator=(Subscription&& other) noexcept
{
    if (this != &other) {
        reset();
        m_list = std::move(other.m_list);
        m_id = other.m_id;
        other.m_id = 0;
    }
    return *this;
}

DocumentKnownPoints::Subscription::~Subscription() { reset(); }

void DocumentKnownPoints::Subscription::reset()
{
    if (const auto list = m_list.lock())
        list->erase(m_id);
    m_list.reset();
    m_id = 0;
}

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// One recorded change to a document (rows written, document values set) that can be reverted and reapplied.
#include "document/document_change.h"

#include "document/document.h"

#include <algorithm>

namespace zelt::document {
namespace {

/// Above this many recorded rows a replay suspends display updates and ends with one reset,
/// as a pass does; below it each row is shown as it is written back.
constexpr std::size_t kQuietSteps = 16;

int rowOfMark(const std::vector<TraverseTable::Bookmark>& marks, TraverseTable::Bookmark mark)
{
    if (mark == 0)
        return -1;
    const auto it = std::find(marks.begin(), marks.end(), mark);
    return it == marks.end() ? -1 : static_cast<int>(it - marks.begin());
}

TraverseTable::Bookmark markOfRow(const std::vector<TraverseTable::Bookmark>& marks, int row)
{
    return row >= 0 && row < static_cast<int>(marks.size()) ? marks[static_cast<std::size_t>(row)] : 0;
}

std::size_t valueBytes(const Value& v)
{
    const auto* s = std::get_if<std::string>(&v);
    return s && s->capacity() > 15 ? s->capacity() : 0;   // short texts live inside the string
}

/// Suspends the table's display updates while it lives, when asked to.
class QuietReplay {
public:
    QuietReplay(TraverseTable& table, bool on) : m_table(on ? &table : nullptr)
    {
        if (m_table)
            m_table->disableControls();
    }
    ~QuietReplay()
    {
        if (m_table)
            m_table->enableControls();
    }
    QuietReplay(const QuietReplay&) = delete;
    QuietReplay& operator=(const QuietReplay&) = delete;

private:
    TraverseTable* m_table;
};

}  // namespace

// --- DocumentValues

DocumentValues DocumentValues::of(const Document& doc)
{
    DocumentValues v;
    v.pairsPer100m = doc.pairsPer100m;
    v.startHeight = doc.startHeight;
    if (doc.table.isOpen()) {
        const auto marks = doc.table.storedBookmarks();
        v.calcStartRow = rowOfMark(marks, doc.calcStartMark);
        v.calcEndRow = rowOfMark(marks, doc.calcEndMark);
    }
    v.calcStartSelected = doc.calcStartSelected;
    v.calcEndSelected = doc.calcEndSelected;
    v.knownPoints = doc.knownPoints.points();
    return v;
}

void DocumentValues::applyTo(Document& doc) const
{
    if (!(doc.pairsPer100m == pairsPer100m && doc.startHeight == startHeight)) {
        doc.pairsPer100m = pairsPer100m;
        doc.startHeight = startHeight;
        if (doc.table.isOpen())
            doc.table.recalculate();   // F and G follow the ratio
        doc.table.notifySurveyValuesChanged();
    }
    const auto marks = doc.table.storedBookmarks();
    doc.calcStartMark = markOfRow(marks, calcStartRow);
    doc.calcEndMark = markOfRow(marks, calcEndRow);
    doc.calcStartSelected = calcStartSelected;
    doc.calcEndSelected = calcEndSelected;
    if (!(doc.knownPoints.points() == knownPoints))
        doc.knownPoints.replace(knownPoints);
}

// --- DocumentChange

DocumentChange::Kind DocumentChange::kind() const
{
    if (m_steps.empty())
        return m_values ? Kind::Values : Kind::None;
    const int row = m_steps.front().row;
    if (!std::all_of(m_steps.begin(), m_steps.end(), [row](const Step& s) { return s.row == row; }))
        return Kind::Rows;
    if (m_steps.size() == 1 && m_steps.front().kind == Step::Kind::Remove)
        return Kind::DeleteRow;
    if (m_steps.front().kind == Step::Kind::Insert)
        return Kind::NewRow;
    return m_steps.size() == 1 ? Kind::EditRow : Kind::Rows;
}

int DocumentChange::firstRow() const
{
    return m_steps.empty() ? 0 : m_steps.front().row + 1;
}

std::size_t DocumentChange::memoryBytes() const
{
    std::size_t bytes = sizeof(*this) + m_steps.capacity() * sizeof(Step)
                        + m_fields.capacity() * sizeof(m_fields.front()) + m_rows.capacity() * sizeof(Row);
    for (const auto& f : m_fields)
        bytes += valueBytes(f.second);
    for (const Row& r : m_rows) {
        bytes += r.capacity() * sizeof(Value);
        for (const Value& v : r)
            bytes += valueBytes(v);
    }
    if (m_values)
        bytes += sizeof(DocumentValues) + m_values->knownPoints.points.capacity() * sizeof(KnownPoint);
    return bytes;
}

void DocumentChange::revert(Document& doc) { replay(doc, false); }
void DocumentChange::reapply(Document& doc) { replay(doc, true); }

void DocumentChange::swapFields(TraverseTable& table, const Step& step)
{
    Row before = table.storedRow(step.row);
    Row next = before;
    for (std::uint32_t i = step.first; i < step.first + step.count; ++i)
        next[static_cast<std::size_t>(m_fields[i].first)] = m_fields[i].second;
    table.restoreRow(step.row, next);
    // Only once the file took the row: the recorded values become those it replaced.
    for (std::uint32_t i = step.first; i < step.first + step.count; ++i)
        m_fields[i].second = std::move(before[static_cast<std::size_t>(m_fields[i].first)]);
}

void DocumentChange::replay(Document& doc, bool forward)
{
    TraverseTable& t = doc.table;
    if (t.state() != TraverseTable::State::Browse)
        throw EngineError("Cannot undo or redo while a row is being edited");
    // The document values of the state being left, read while the rows still are as they were.
    std::optional<DocumentValues> leaving;
    if (m_values)
        leaving = DocumentValues::of(doc);
    const bool quiet = m_steps.size() > kQuietSteps;
    {
        QuietReplay suspended(t, quiet);
        const auto apply = [&](const Step& s) {
            const bool insert = (s.kind == Step::Kind::Insert) == forward;  // redo an insert, undo a removal
            switch (s.kind) {
            case Step::Kind::Fields:
                swapFields(t, s);
                break;
            case Step::Kind::Insert:
            case Step::Kind::Remove:
                if (insert) {
                    t.restoreInsert(s.row, m_rows[s.first]);
                } else {
                    m_rows[s.first] = t.storedRow(s.row);
                    t.restoreRemove(s.row);
                }
                break;
            }
        };
        if (forward)
            std::for_each(m_steps.begin(), m_steps.end(), apply);
        else
            std::for_each(m_steps.rbegin(), m_steps.rend(), apply);
        t.flush();
    }
    if (m_values) {
        m_values->applyTo(doc);
        m_values = std::move(leaving);
    }
    // A small change shows its first row; after a large one the cursor stays where it was.
    if (!quiet && !m_steps.empty() && t.rowCount() > 0)
        t.setRecNo(std::min(m_steps.front().row, t.rowCount() - 1) + 1);
}

// --- ChangeRecorder

ChangeRecorder::ChangeRecorder(Document& doc) : m_doc(doc)
{
    m_doc.table.setWriteListener(this);
}

ChangeRecorder::~ChangeRecorder()
{
    m_doc.table.setWriteListener(nullptr);
}

void ChangeRecorder::begin()
{
    m_before = DocumentValues::of(m_doc);
}

DocumentChange ChangeRecorder::take()
{
    DocumentChange out = std::move(m_change);
    m_change = DocumentChange{};
    if (m_before) {
        DocumentValues now = DocumentValues::of(m_doc);
        if (!(now == *m_before))
            out.m_values = std::move(m_before);
        m_before.reset();
    }
    out.m_fields.shrink_to_fit();
    out.m_steps.shrink_to_fit();
    m_lost = false;
    return out;
}

void ChangeRecorder::noticeWrite()
{
    if (m_change.m_steps.size() == 1 && m_notice)
        m_notice();
}

void ChangeRecorder::rowUpdated(int index, const Row& before, const Row& after)
{
    using Step = DocumentChange::Step;
    try {
        auto& steps = m_change.m_steps;
        auto& fields = m_change.m_fields;
        const std::size_t n = std::min(before.size(), after.size());
        if (!steps.empty() && steps.back().row == index && steps.back().kind == Step::Kind::Insert) {
            // A row stored again right after it was inserted (a field rule posts twice): the
            // insert simply carries the later values.
            m_change.m_rows[steps.back().first] = after;
            return;
        }
        const bool merge = !steps.empty() && steps.back().row == index && steps.back().kind == Step::Kind::Fields;
        if (!merge)
            steps.push_back({Step::Kind::Fields, index, static_cast<std::uint32_t>(fields.size()), 0});
        Step& step = steps.back();
        for (std::size_t slot = 0; slot < n; ++slot) {
            if (before[slot] == after[slot])
                continue;
            // A field already recorded in this step keeps its earliest value.
            const auto begin = fields.begin() + step.first;
            if (merge && std::any_of(begin, begin + step.count, [slot](const auto& f) { return f.first == int(slot); }))
                continue;
            fields.emplace_back(static_cast<int>(slot), before[slot]);
            ++step.count;
        }
        if (step.count == 0)
            steps.pop_back();
        else
            noticeWrite();
    } catch (...) {
        m_lost = true;
    }
}

void ChangeRecorder::rowInserted(int index, const Row& values) { recordRow(DocumentChange::Step::Kind::Insert, index, values); }

void ChangeRecorder::rowRemoved(int index, const Row& values) { recordRow(DocumentChange::Step::Kind::Remove, index, values); }

void ChangeRecorder::recordRow(DocumentChange::Step::Kind kind, int index, const Row& values)
{
    try {
        m_change.m_rows.push_back(values);
        m_change.m_steps.push_back({kind, index, static_cast<std::uint32_t>(m_change.m_rows.size() - 1), 0});
        noticeWrite();
    } catch (...) {
        m_lost = true;
    }
}

}  // namespace zelt::document

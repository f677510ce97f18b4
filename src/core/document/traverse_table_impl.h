// SPDX-License-Identifier: GPL-3.0-or-later
// Private state of TraverseTable, shared by its two translation units.
#pragma once

#include "paradox/paradox_table.h"
#include "document/traverse_table.h"

#include <algorithm>

namespace zelt::document {

struct TraverseTable::Impl {
    struct Hook {
        ChangeHook fn;
        bool attached = true;
    };

    std::filesystem::path path;
    std::unique_ptr<ParadoxTable> file;
    /// Document field list; fileIndex, type and size follow the open file (old tables may order
    /// or size their fields differently).
    std::vector<FieldInfo> fields;
    std::size_t fileFieldCount = 0;

    /// One bookmark per row in table order. While inserting, ids[cur] is the slot of the
    /// unposted row (its values live in `buffer`); every other row is read from the file's
    /// bytes when asked for, so the rows are never held decoded. Never reused, also across reopen.
    std::vector<Bookmark> ids;
    Bookmark nextId = 1;
    std::uint64_t openSerial = 0;   ///< counts the opens; rows get new bookmarks at each
    int cur = -1;
    bool eof = true;
    bool bof = true;
    State state = State::Inactive;
    Row buffer;  ///< pending values of the row in Edit or Insert state
    bool modified = false;
    bool composing = false;  ///< post() keeps the row pending (TraverseTable::deferPosts)
    /// Fields of the pending row emptied by clearDerived(): their required flag is not checked.
    std::vector<int> derivedEmpty;
    /// The stored values of row `cachedIndex` (the current row, read once per visit); -1: none.
    mutable Row cached;
    mutable int cachedIndex = -1;

    std::vector<Hook> changeHooks;          ///< per document field
    std::vector<TextEntryHook> textHooks;   ///< per document field
    CalcFieldsHook calc;
    mutable Value calcF, calcG;             ///< calculated fields of the current row
    mutable bool calcValid = false;

    NumberFormat numberFormat;  ///< the document's display and entry format

    bool headerOnly = false;  ///< TraverseTable::setHeaderOnly
    RowWriteListener* writeListener = nullptr;
    int disabled = 0;
    /// Shared with the registrations, which outlive the table safely through a weak reference.
    std::shared_ptr<std::vector<TableObserver*>> observers = std::make_shared<std::vector<TableObserver*>>();

    template<class F>
    void notify(F&& f)
    {
        if (disabled > 0 || observers->empty())
            return;
        // An observer may remove itself or another one while notified: a removed observer
        // (perhaps already destroyed) is skipped.
        const auto copy = *observers;
        for (TableObserver* o : copy)
            if (std::find(observers->begin(), observers->end(), o) != observers->end())
                f(*o);
    }

    bool editing() const { return state == State::Edit || state == State::Insert; }
    int displayCount() const { return static_cast<int>(ids.size()); }
    int storedCount() const { return displayCount() - (state == State::Insert ? 1 : 0); }
    /// The file's row of display row `index`: rows after an unposted inserted row sit one
    /// place further down in the grid than in the file.
    std::size_t fileIndex(int index) const
    {
        return static_cast<std::size_t>(index - (state == State::Insert && index > cur ? 1 : 0));
    }
    /// The stored values of display row `index` (not the unposted row's slot). Should memory and
    /// file have parted after a failed write (the table then takes no more writes), a row the
    /// file lacks reads as empty rather than failing a paint.
    Row storedRow(int index) const
    {
        const std::size_t at = fileIndex(index);
        if (!file || at >= file->rowCount())
            return Row(fileFieldCount);
        return file->readRow(at);
    }
    Value storedValue(int index, std::size_t field) const
    {
        const std::size_t at = fileIndex(index);
        if (!file || at >= file->rowCount())
            return {};
        return file->readValue(at, field);
    }
    /// The stored values of the current row, read once while the cursor stays on it.
    const Row& storedCurrent() const
    {
        if (cachedIndex != cur) {
            cached = storedRow(cur);
            cachedIndex = cur;
        }
        return cached;
    }
    /// Forgets the row read last: its place or its values changed.
    void dropCached() const
    {
        cachedIndex = -1;
        cached.clear();
    }
    /// Values of the current row: the pending buffer while editing, else the stored row.
    const Row* currentRow() const
    {
        if (editing())
            return &buffer;
        return cur >= 0 ? &storedCurrent() : nullptr;
    }
    void computeCalc(const TraverseTable& table, const Row& row, Value& f, Value& g) const
    {
        f = Value{};
        g = Value{};
        if (calc)
            calc(table, row, f, g);
    }
    const std::string& label(const FieldInfo& f) const { return f.displayLabel.empty() ? f.name : f.displayLabel; }
    Row newRow() const;
    /// Throws "Field '%s' must have a value" for a required field the pending row leaves empty.
    void checkRequired() const;
    /// Index into `fields` by name (case-insensitive); throws "Field '%s' not found".
    int indexOf(std::string_view name) const;
};

/// Settings shared by all tables of the process.
int& fallbackCodePageSetting();

}  // namespace zelt::document

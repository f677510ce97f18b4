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

    /// Rows in table order. While inserting, rows[cur] is the slot of the unposted row (its
    /// values live in `buffer`); every other row equals what is in the file.
    std::vector<Row> rows;
    std::vector<Bookmark> ids;  ///< parallel to rows; never reused, also across reopen
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

    std::vector<Hook> changeHooks;          ///< per document field
    std::vector<TextEntryHook> textHooks;   ///< per document field
    CalcFieldsHook calc;
    mutable Value calcF, calcG;             ///< calculated fields of the current row
    mutable bool calcValid = false;

    NumberFormat numberFormat;  ///< the document's display and entry format

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
    int storedCount() const
    {
        return static_cast<int>(rows.size()) - (state == State::Insert ? 1 : 0);
    }
    /// Values of the current row: the pending buffer while editing, else the stored row.
    const Row* currentRow() const
    {
        if (editing())
            return &buffer;
        return cur >= 0 ? &rows[static_cast<std::size_t>(cur)] : nullptr;
    }
    const Row& rowAt(int index) const
    {
        return (index == cur && editing()) ? buffer : rows[static_cast<std::size_t>(index)];
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

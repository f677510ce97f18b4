// SPDX-License-Identifier: GPL-3.0-or-later
// Test double over a real table file: counts row writes and can make the flush fail.
#pragma once

#include "paradox/paradox_table.h"
#include "document/traverse_table.h"

#include <memory>

namespace zelt::test {

/// Forwards every call to the real table file. Counts the row writes (a row stored whole takes
/// one), and makes sync() fail while `failFlush` is set, as on a stick pulled mid-session; the
/// rows still reach the file, so what was posted can be checked after a reopen.
class WatchedTable final : public zelt::document::ParadoxTable {
public:
    explicit WatchedTable(std::unique_ptr<zelt::document::ParadoxTable> inner) : m_inner(std::move(inner)) {}

    bool failFlush = false;
    int rowWrites = 0;

    const std::vector<zelt::document::FieldDef>& fields() const override { return m_inner->fields(); }
    const zelt::document::ParadoxInfo& info() const override { return m_inner->info(); }
    bool isReadOnly() const override { return m_inner->isReadOnly(); }
    const std::string& readOnlyReason() const override { return m_inner->readOnlyReason(); }
    bool isDamaged() const override { return m_inner->isDamaged(); }
    const std::vector<zelt::document::Diagnostic>& openNotes() const override { return m_inner->openNotes(); }
    std::size_t rowCount() const override { return m_inner->rowCount(); }
    std::vector<zelt::document::Row> readAll() const override { return m_inner->readAll(); }
    zelt::document::Row readRow(std::size_t index) const override { return m_inner->readRow(index); }
    zelt::document::Value readValue(std::size_t index, std::size_t field) const override
    {
        return m_inner->readValue(index, field);
    }
    void validate(const zelt::document::Row& row) const override { m_inner->validate(row); }
    void updateRow(std::size_t index, const zelt::document::Row& row) override
    {
        ++rowWrites;
        m_inner->updateRow(index, row);
    }
    void insertRow(std::size_t index, const zelt::document::Row& row) override
    {
        ++rowWrites;
        m_inner->insertRow(index, row);
    }
    void appendRow(const zelt::document::Row& row) override
    {
        ++rowWrites;
        m_inner->appendRow(row);
    }
    void deleteRow(std::size_t index) override { m_inner->deleteRow(index); }
    void sync() override
    {
        if (failFlush)
            throw zelt::document::ParadoxError("Cannot flush the table 'way.db' to disk: Input/output error.");
        m_inner->sync();
    }

private:
    std::unique_ptr<zelt::document::ParadoxTable> m_inner;
};

/// Closes `table` and opens it again over a WatchedTable on its own file; returns the double,
/// which the table owns. Clear `failFlush` before closing the table.
inline WatchedTable& reopenWatched(zelt::document::TraverseTable& table)
{
    table.close();
    auto watched = std::make_unique<WatchedTable>(zelt::document::ParadoxTable::open(table.path()));
    WatchedTable& ref = *watched;
    table.open(std::move(watched));
    return ref;
}

}  // namespace zelt::test

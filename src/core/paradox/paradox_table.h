// SPDX-License-Identifier: GPL-3.0-or-later
// Paradox .db table file: reader for levels 3.0-7 and crash-safe writer for unkeyed tables.
#pragma once

#include "base/diagnostic.h"
#include "paradox/field_value.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelt::document {

/// Raised by the codec; what() is a message fit for the user and names the file.
class ParadoxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Facts of an opened table's header, for `info` and tests.
struct ParadoxInfo {
    int versionByte = 0;     ///< header 0x39: 3 = 3.0, 4 = 3.5, 5-9 level 4, 10-11 level 5, 12 level 7
    int fileType = 2;        ///< 0 keyed, 2 unkeyed
    int blockSizeKb = 2;
    int headerSize = 0x800;
    int codePage = 0;        ///< from the header (level >= 4) or the code-page setting (3.x)
    std::string sortOrderId; ///< e.g. "ANSIINTL", empty for 3.x
};

struct ParadoxOpenOptions {
    /// Open without write access and without taking the write lock; a lock another holder has is
    /// still reported as the read-only reason.
    bool readOnly = false;
    int fallbackCodePage = 1252;    ///< code page for 3.x headers that record none (1252, 1251, 866 supported)
    /// Read the header and walk the block chain by the blocks' own headers, keeping no rows: the
    /// table's facts, row count, notes and damage for the cost of its header. Implies readOnly;
    /// reading a row then throws ParadoxError.
    bool headerOnly = false;
};

/// An open .db table. Rows are addressed by their 0-based position in table (block-chain) order.
/// Every write method has put its bytes into the file (pwrite complete) before it returns, in an
/// order that leaves a valid table after each single write (data, then links, then header counters).
class ParadoxTable {
public:
    virtual ~ParadoxTable() = default;

    /// Opens an existing table. Throws ParadoxError for unreadable, truncated, encrypted or
    /// unsupported files. A damaged block chain, a keyed table, an unknown code page or a table
    /// locked by another program opens read-only; readOnlyReason() says why.
    static std::unique_ptr<ParadoxTable> open(const std::filesystem::path& path,
                                              const ParadoxOpenOptions& options = {});
    /// Creates a new empty unkeyed level-7 table with 2 KB blocks (overwrites an existing file,
    /// unless `mustBeNew`: then a file that exists, even one that appeared a moment ago, is
    /// refused and left as it is). The new name is synced into its folder.
    static std::unique_ptr<ParadoxTable> create(const std::filesystem::path& path,
                                                const std::vector<FieldDef>& fields,
                                                int codePage = 1252, bool mustBeNew = false);

    virtual const std::vector<FieldDef>& fields() const = 0;
    virtual const ParadoxInfo& info() const = 0;
    virtual bool isReadOnly() const = 0;
    virtual const std::string& readOnlyReason() const = 0;
    /// The block chain breaks: rows() holds only the rows before the damage.
    virtual bool isDamaged() const = 0;
    /// What the open found and did: stale header counters trusted to a valid chain and repairs
    /// (notes), a lock that could not be taken (a warning).
    virtual const std::vector<Diagnostic>& openNotes() const = 0;

    virtual std::size_t rowCount() const = 0;
    /// All rows in table order, decoded (Alpha converted to UTF-8).
    virtual std::vector<Row> readAll() const = 0;
    /// Row `index` (0-based, below rowCount()) decoded as readAll() decodes it. Rows stay in the
    /// file's bytes until asked for, so a table costs little more memory than its file.
    virtual Row readRow(std::size_t index) const = 0;
    /// One field (`field`, in the file's field order) of row `index`, decoded alone.
    virtual Value readValue(std::size_t index, std::size_t field) const = 0;

    /// Checks that a row can be stored (field count, types, Alpha length and code page,
    /// Short/Long range, finite numbers) without writing; throws ParadoxError with a clear message.
    virtual void validate(const Row& row) const = 0;
    virtual void updateRow(std::size_t index, const Row& row) = 0;
    /// Inserts before `index` (index == rowCount() appends), keeping the physical order rules.
    virtual void insertRow(std::size_t index, const Row& row) = 0;
    virtual void appendRow(const Row& row) = 0;
    virtual void deleteRow(std::size_t index) = 0;
    /// fdatasync: called after structural changes, at the end of passes and on close. After a
    /// write or a flush failed, it throws that failure again, every time.
    virtual void sync() = 0;

    /// Called with the byte range of the file about to be overwritten, before each write. A
    /// guard that throws stops the write: nothing of it reaches the file, and the table then
    /// takes no further writes until it is opened again.
    using WriteGuard = std::function<void(std::uint64_t offset, std::size_t size)>;
    virtual void setWriteGuard(WriteGuard guard) { (void)guard; }
};

/// Renames a table and its auxiliary files of ours (lock file) on disk. Throws ParadoxError.
void renameTable(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace zelt::document

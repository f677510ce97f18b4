// SPDX-License-Identifier: GPL-3.0-or-later
// The journal beside a table: a change of several steps leaves the document as before or as after.
#pragma once

#include "document/document_files.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace zelt::document {

class ParadoxTable;

/// The journal of `table`: its path with "-journal" added ("w.db" -> "w.db-journal").
std::filesystem::path journalPath(const std::filesystem::path& table);

/// A journal that cannot be written (nothing was changed) or acted on; what() names the file
/// and the system's reason.
class JournalError : public CompanionError {
public:
    using CompanionError::CompanionError;
};

/// Before a change of the table and its companions: writes the journal holding the table's
/// identity and length and every companion's bytes (or that it is absent) as they are now,
/// synced, under journalPath(table), and keeps it open and locked until removeJournal(). The
/// table's own bytes are journaled as the change overwrites them (guardTableWrites). A table
/// that does not exist yet is recorded as absent, so that rolling back removes what the change
/// created. Throws JournalError when the journal cannot be written; nothing else was touched then.
void writeRollbackJournal(const std::filesystem::path& table, const std::string& what);

/// Makes `file` (the open table at `table`) save the old bytes of every part of it it is about
/// to overwrite into the running rollback journal of `table`, synced, before it overwrites them.
/// Without a running journal the writes go straight to the file.
void guardTableWrites(ParadoxTable& file, const std::filesystem::path& table);

/// After a change recorded the table as absent has created it: records the new table's identity,
/// so that rolling back removes this table and no other put under its name later.
void journalCreatedTable(const std::filesystem::path& table);

/// Before a rename of `from` to `to`: records which companions move, so that a rename cut off
/// before the table moved (the table moves last) is undone when `from` is opened again. Each
/// move is a companion of `from` onto the same companion of `to`.
void writeRenameJournal(const std::filesystem::path& from, const std::filesystem::path& to,
                        const std::vector<std::pair<std::filesystem::path, std::filesystem::path>>& moves);

/// Before the new files of a save-as are renamed over the target's: lists the renames (each
/// staged file "FINAL.zelt-TOKEN" beside the target onto FINAL, the target table or one of its
/// companions; the table last) and the target's companions to remove, so that a save-as cut off
/// half-way is completed when the target is opened again.
void writeReplaceJournal(const std::filesystem::path& target, const std::string& what,
                         const std::vector<std::pair<std::filesystem::path, std::filesystem::path>>& moves,
                         const std::vector<std::filesystem::path>& removals);

/// Ends a change: removes the journal and syncs the folder. Throws JournalError.
void removeJournal(const std::filesystem::path& table);

/// Whether another holder (another program, or another open in this one) has the table lock of
/// `table`; false when it cannot be opened.
bool isTableHeldElsewhere(const std::filesystem::path& table);

/// What acting on a journal found.
struct JournalOutcome {
    bool found = false;      ///< a journal lay beside the table
    bool live = false;       ///< another holder has the table or the journal: its change is still running
    std::string note;        ///< what was done, for the user; empty when nothing was
};

/// Acts on a journal left beside `table` by a change that did not end (a kill, a power loss, a
/// failed write): rolls the table and its companions back to their state before the change,
/// undoes a rename whose table did not move, or completes a save-as. Nothing is done while
/// another holder has the journal or the table locked (its change is running). The journal is
/// read only once its lock is held. Throws JournalError when the journal is damaged, of an older
/// version, written for another table, or cannot be acted on; it is then left in place and
/// nothing was touched.
JournalOutcome recoverJournal(const std::filesystem::path& table);

/// Removes the temporary files ("NAME.db.zelt-...", "NAME.inf.zelt-...", the journal's) that
/// killed commands left beside `table`. Call only while holding the table's lock: no other
/// command then writes this document's files; a temporary file locked by another holder (a
/// table being staged) is kept. Returns how many were removed.
int removeStaleTemporaries(const std::filesystem::path& table);

}  // namespace zelt::document

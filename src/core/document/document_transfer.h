// SPDX-License-Identifier: GPL-3.0-or-later
// Rename and Save As of a table with its companions, each step journaled (docs/journal.md).
#pragma once

#include "document/document.h"
#include "document/document_files.h"

#include <filesystem>

namespace zelt::document {

/// A table must not carry the name of one of its own companions (closing would write that
/// companion over the table): EngineError.
void refuseCompanionName(const std::filesystem::path& table);

/// DocumentSession::rename: moves the companions, then the table, under a rename journal
/// beside the old name, holding the table's lock throughout; a failure moves everything back.
/// The table is open again afterwards (under the new name on success).
void renameWithCompanions(Document& doc, const std::filesystem::path& to, TraverseTable::Access access);

/// DocumentSession::saveAs: copies the table and its companions into files beside the target,
/// then renames them over it (the table last) under a journal beside the target, which the
/// next open of the target completes when the save is cut off. Returns false onto itself.
bool saveAsWithCompanions(Document& doc, const std::filesystem::path& to, ReplaceExisting replace,
                          TraverseTable::Access access);

}  // namespace zelt::document

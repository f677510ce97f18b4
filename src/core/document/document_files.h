// SPDX-License-Identifier: GPL-3.0-or-later
// Document files: the .inf companion, the start-row rule, companion and new-document names.
#pragma once

#include "base/diagnostic.h"
#include "document/document.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelt::document {

/// "Invalid numeric input" and file errors of companions; what() is the user's message.
class CompanionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A companion that could not be written while a document closed; what() is the cause as the
/// companion's writer gave it, file() the companion.
class CompanionWriteError : public CompanionError {
public:
    CompanionWriteError(std::filesystem::path file, const std::string& cause);
    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

/// Whether Save As may replace a file that already exists at the target (and is not open).
enum class ReplaceExisting { No, Yes };

/// Save As or Rename onto a table another holder has open (another program, or another open
/// document of this program); what() names the target file.
class TargetInUseError : public CompanionError {
public:
    explicit TargetInUseError(const std::filesystem::path& target);
};

/// Save As without ReplaceExisting::Yes, or Rename, onto an existing file; what() names it.
class TargetExistsError : public CompanionError {
public:
    explicit TargetExistsError(const std::filesystem::path& target);
};

/// Companion path: the table path with its extension replaced (or appended) by `ext` (".inf").
std::filesystem::path companionPath(const std::filesystem::path& table, const char* ext);

/// The table a path names, its symbolic links followed (a link to a link too, and one whose
/// target does not exist yet): the document lives beside the real table, so its companions,
/// journal and lock are found there whichever name reached it. A path that is no link, or a
/// chain of links that loops, is returned as it is.
std::filesystem::path followTableLinks(const std::filesystem::path& table);

/// The 23-character fixed scientific form, e.g. " 6.40000000000000E+0001".
std::string formatInfValue(double v);
/// Writes both lines (CR LF) to the .inf file through a temporary file renamed over it; throws
/// CompanionError naming the file and the system's reason. An existing file that is not a
/// regular file of at most 1 MiB is refused and left as it is.
void writeInf(const std::filesystem::path& infPath, double pairsPer100m, double startHeight);
/// Reads the .inf file: each value leniently as a number (blanks and empty lines before it
/// skipped, the rest of its line ignored), but a file that is empty, ends before or inside a
/// value, holds no number where a value belongs, or gives values outside the ranges the survey
/// values dialog accepts (pairs 1 to 1000, start height 0 to 3000 m) is refused as damaged with
/// CompanionError naming the file and what is wrong. The outputs change only on success.
void readInf(const std::filesystem::path& infPath, double& pairsPer100m, double& startHeight);

/// What opening a document did, for the caller (the shell loads the .ing layout when asked).
struct OpenOutcome {
    bool created = false;                       ///< a new table was created
    std::optional<std::filesystem::path> layoutToLoad;  ///< existing .ing of an opened table
    /// What the open found for the user: the table's open notes, then a known points file that
    /// could not be read (a warning; the document then has no known points).
    std::vector<Diagnostic> diagnostics;
    /// What acting on a journal left by an unfinished change did (also first in diagnostics).
    std::vector<Diagnostic> journalNotes;
    /// Companions a read-only open could not read and replaced by defaults, each a warning naming
    /// the file (also in diagnostics).
    std::vector<Diagnostic> companionNotes;
    /// Why the survey values file could not be read, when a read-only open went on without it
    /// (empty otherwise): a command that writes a file made from those values refuses with it.
    std::string unreadSurveyValues;
};
/// Start-row rule: an empty table or a first row with Azimuth and Pairs both non-zero gets a
/// start row carrying StartHeight in Altimeter, posted at once.
void applyStartRowRule(Document& doc);
/// Whether applyStartRowRule() inserts a row into the open table (moves to the first row).
bool startRowRuleInserts(Document& doc);

/// "NONAME" + k + ".db" with the first free k from openCount + 1 (see the new-document rule).
std::string newDocumentName(int openCount, const std::filesystem::path& dir);

/// Writes the column layout into the given .ing path (created empty first); throws on failure.
using LayoutWriter = std::function<void(const std::filesystem::path& ingPath, const ColumnSet& columns)>;

/// The system's reason for a failed file operation with the given errno, in English:
/// "Permission denied", "No such file or directory", "No space left on device".
std::string ioErrorMessage(int errorNumber);

/// The full path of `p` in single quotes, as messages name a file.
std::string quotedPath(const std::filesystem::path& p);

}  // namespace zelt::document

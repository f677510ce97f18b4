// SPDX-License-Identifier: GPL-3.0-or-later
// One table opened for one zelt-cli command, as a document window opens and closes it.
#pragma once

#include "cli/cli_commands.h"
#include "document/document.h"
#include "document/document_session.h"

#include <filesystem>
#include <memory>
#include <string>

namespace zelt::cli {

/// Opens a table through the core's document session: the table is opened (or created), its
/// companions read (the .ing layout, or the layout named by --layout), the start-row rule
/// applied and the field rules attached. close() ends the command as closing the window does.
///
/// A command that changes the table opens it with OpenExisting (or Create): a table that can
/// only be read (damaged, locked by another holder, keyed, read-only media) is refused before
/// anything is written. A command that only reads opens it with ReadOnly: the table and its
/// companions are never written, and a damaged table is reported by checkComplete().
/// The destructor closes a session that was not closed (errors then ignored), so a command that
/// fails half-way leaves its companions as a window closed after the error would.
/// A session whose opening failed writes no companions.
class CliSession {
public:
    enum class Mode {
        OpenExisting,  ///< the table must exist and be writable ("... does not exist" otherwise)
        Create,        ///< the table must not exist; created as the New command creates it
        ReadOnly,      ///< the table must exist; nothing is written, neither table nor companions
        HeaderOnly,    ///< as ReadOnly, and no row is read: for commands that describe or move a table
    };

    /// Whether the command needs the grid layout (.ing, or --layout FILE.ing). A command that
    /// never shows columns (Ignore) still reads the table's .ing, so that closing writes it back
    /// unchanged; one it cannot read is reported on standard error and left as it is.
    enum class Layout { Read, Ignore };

    /// Honours the global options --layout FILE.ing and --locale NAME (decimal separator of
    /// numbers read and written). Throws the engine's or the companion's error.
    CliSession(const std::filesystem::path& table, const Args& args, Mode mode = Mode::OpenExisting,
               Layout layout = Layout::Ignore);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    document::Document& document() { return *m_doc; }
    document::TraverseTable& table() { return m_doc->table; }
    document::DocumentSession& session() { return *m_session; }
    /// Decimal separator for numbers given on the command line or in imported text.
    char decimalSeparator() const { return m_decimalSeparator; }
    /// Writes .ing, closes the table, writes .inf (a read-only session only closes the table).
    /// Throws the companion's I/O error.
    void close();
    /// Throws PartialResult when the table was damaged, naming the rows that were read, or when
    /// a journal beside it could not be acted on; read commands call it after their output.
    void checkComplete() const;
    /// Why the survey values file could not be read (the session then holds the defaults);
    /// empty when it was read or there is none.
    const std::string& unreadSurveyValues() const { return m_unreadSurveyValues; }

private:
    std::unique_ptr<document::Document> m_doc;
    std::unique_ptr<document::DocumentSession> m_session;
    char m_decimalSeparator = '.';
    bool m_opened = false;
    bool m_keepLayoutFile = false;  ///< the .ing could not be read and is not written
    std::string m_damage;  ///< the table's damage as found at open; empty when whole
    std::string m_unfinished;  ///< a journal that could not be acted on; the rows may be half changed
    int m_rowsRead = 0;
    std::string m_unreadSurveyValues;
};

/// The table's lock, held by a command that changes a file beside the table without opening the
/// table for writing (known-points), so that it never changes that file under a program that
/// has the table open. Released when it goes out of scope.
class HeldTableLock {
public:
    /// Waits up to a second for another holder, as a writing command does, then refuses with
    /// "... is in use by another program. Nothing was changed."
    explicit HeldTableLock(const std::filesystem::path& table);
    ~HeldTableLock();
    HeldTableLock(const HeldTableLock&) = delete;
    HeldTableLock& operator=(const HeldTableLock&) = delete;

private:
    int m_fd = -1;
};

/// The table argument of a command: the first positional argument, or a UsageError.
std::filesystem::path tableArgument(const Args& args);
/// A table named on the command line: a UsageError for "" and for "-" (a table is a file with
/// companions beside it, never standard input or output).
std::filesystem::path tablePath(const std::string& argument);

/// The code page of --code-page N for a table to be created: 1252 without it; a ValueError for
/// a number that is no supported code page.
int codePageOf(const Args& args);

/// The layout a text output needs: Read with --visible (the visible columns), else Ignore.
CliSession::Layout layoutFor(const Args& args);

/// The decimal separator of --locale NAME ("de_DE" gives ','; '.' without it); UsageError for an
/// unknown locale.
char decimalSeparatorOf(const Args& args);

}  // namespace zelt::cli

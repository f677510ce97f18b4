// SPDX-License-Identifier: GPL-3.0-or-later
// One open document with its companion files: open, rename, save as a copy, close.
#pragma once

#include "document/document.h"
#include "document/document_files.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zelt::document {

class DocumentSession;

/// A file kept beside the table under the table's name with its own extension. The session
/// reads it when the table is opened, writes it when the document is closed (and when a change
/// ends, see DocumentSession::beginChange), and carries it along when the table is renamed or
/// saved under another name.
///
/// Adding a companion: append one entry to the list in companions() (document_session.cpp)
/// with its extension, a read function (existing file into the document) and a write function
/// (document into the file). Nothing else changes: open, close, rename and save-as walk that
/// list. A companion whose codec lives in a library above this one is reached through a
/// callback the session owner passes in, as the grid layout is (see LayoutIo).
struct Companion {
    const char* extension;            ///< ".inf"; lower case
    bool writtenOnCreate;             ///< written as soon as a new table is created
    /// Written in the first round of closing (else in the second); both rounds run while the
    /// table is still open and locked.
    bool writtenBeforeTableCloses;
    /// Reads the existing companion file into the document; throws CompanionError. Null: not read.
    void (*read)(DocumentSession& session, const std::filesystem::path& file);
    /// Writes the document's state into the companion file; throws CompanionError. Null: only carried.
    void (*write)(DocumentSession& session, const std::filesystem::path& file);
};

/// Every companion of a table, in the order they are read.
const std::vector<Companion>& companions();

/// Opens, carries and closes one document with its companions. Used by the command line for
/// each command and by a document window for its lifetime. The session works on a Document
/// owned by its caller.
///
/// A read-only session (Mode::ReadOnly, or a table that opened read-only because it is damaged,
/// locked by another holder, keyed, write-protected or on read-only media) never writes the
/// table or its companions: no start row, no .inf, no .ing, neither at open nor at close.
class DocumentSession {
public:
    enum class Mode {
        Edit,      ///< open (or create) the table for writing; companions written at close
        ReadOnly,  ///< the table must exist; opened without write access; nothing is ever written
    };
    /// Loads a layout file into the document (errors are the callback's to report or throw).
    using LayoutReader = std::function<void(Document& doc, const std::filesystem::path& ingPath)>;
    /// The grid layout's codec lives above the core's document library, so it is passed in.
    struct LayoutIo {
        LayoutReader read;    ///< null: the .ing is only named in OpenOutcome::layoutToLoad
        LayoutWriter write;   ///< null: no .ing is written at close
    };

    explicit DocumentSession(Document& doc, LayoutIo layout = {});
    DocumentSession(const DocumentSession&) = delete;
    DocumentSession& operator=(const DocumentSession&) = delete;

    /// Opens the table at `path` (creating it in Edit mode when it does not exist), reads the
    /// companions, then applies the start-row rule unless the session is read-only. Throws
    /// EngineError / CompanionError; the table stays open after a companion error, and a
    /// companion that could not be read is not written over at close.
    ///
    /// A journal left beside the table by a change that did not end is acted on first (the
    /// change rolled back, a rename undone, a save completed) and reported as the first
    /// diagnostic; a damaged journal refuses the open in Edit mode (JournalError) and is only
    /// reported in ReadOnly mode. A creation is one change: cut off, the next open removes the
    /// table and its companions. A non-empty `change` begins that change (beginChange) once the
    /// companions are read, before the start-row rule, so that the rule's row is part of it.
    OpenOutcome open(const std::filesystem::path& path, Mode mode = Mode::Edit, const std::string& change = {});
    bool isOpen() const { return m_open; }
    Mode mode() const { return m_mode; }
    /// Whether close() writes companions: an Edit session whose table opened writable.
    bool writesCompanions() const;

    /// Closes the document: the companions written and a running change ended while the table
    /// is still open (and locked), then the table closed (an unposted row dropped). A read-only
    /// session only closes the table. Throws CompanionWriteError (naming the companion) /
    /// EngineError / JournalError; the table then stays open and closing can be tried again, or
    /// the change rolled back.
    void close();

    /// Starts a change of several steps (rows, survey values, companions): refuses, changing
    /// nothing, when the folder or a companion that closing writes cannot be written; then
    /// writes the journal (docs/journal.md) holding the table and its companions as they are.
    /// Until the change ends, a kill or a power loss leaves the journal, and the next open rolls
    /// the document back to this state and says so. Does nothing in a read-only session or while
    /// a change is running. Throws CompanionError / JournalError.
    void beginChange(const std::string& what);
    /// Ends the running change: writes the companions, makes the rows durable and removes the
    /// journal. Throws as close() does; the change then still runs (roll it back).
    void commitChange();
    /// Undoes the running change: closes the table and restores it and its companions from the
    /// journal. The session is closed afterwards (open it again to go on). Throws JournalError
    /// when the files cannot be restored; the journal then stays for the next open.
    void rollbackChange();
    bool inChange() const { return m_inChange; }

    /// Renames the table and every companion it has; never onto an existing file
    /// (TargetExistsError) nor onto a table open elsewhere (TargetInUseError), both refused
    /// with the table still open. When the table itself cannot be moved, it stays closed under
    /// its old path and the error is rethrown.
    void rename(const std::filesystem::path& to);
    /// Copies the table and every companion to `to` and continues on the copy. Refuses a target
    /// open elsewhere (TargetInUseError) and an existing one unless `replace` is Yes
    /// (TargetExistsError), both with the document unchanged. Returns whether the path changed
    /// (false onto itself). On a failed copy the document stays on its first table.
    bool saveAs(const std::filesystem::path& to, ReplaceExisting replace);

    Document& document() { return m_doc; }
    const LayoutIo& layout() const { return m_layout; }

    /// The code page a table this session creates stores its text in (1252 unless set; one of
    /// CodePage::supported()). Tables that exist keep their own.
    void setNewTableCodePage(int codePage) { m_newTableCodePage = codePage; }

private:
    void updateWritable();
    std::vector<Diagnostic> recover(const std::filesystem::path& path, Mode mode);
    void createWithCompanions(const std::filesystem::path& path, const std::string& change);
    void refuseUnwritable(const std::filesystem::path& path, bool creating) const;
    void writeCompanions();
    void endChange();
    void rollBackAfterError();

    Document& m_doc;
    LayoutIo m_layout;
    Mode m_mode = Mode::Edit;
    bool m_open = false;
    bool m_tableWritable = false;       ///< the table opened writable (read when it was opened)
    bool m_inChange = false;            ///< a change is running: its journal lies beside the table
    std::vector<bool> m_keepOnDisk;     ///< per companion: could not be read, so never written over
    int m_newTableCodePage = 0;         ///< 0: the table layer's setting
    std::vector<Diagnostic> m_companionNotes;  ///< companions a read-only open did without
    std::string m_unreadSurveyValues;          ///< why the .inf could not be read, if so
};

}  // namespace zelt::document

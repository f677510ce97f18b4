// SPDX-License-Identifier: GPL-3.0-or-later
// One open document with its companion files: open, rename, save as a copy, close.
#pragma once

#include "document/document.h"
#include "document/document_files.h"

#include <filesystem>
#include <functional>
#include <vector>

namespace zelt::document {

class DocumentSession;

/// A file kept beside the table under the table's name with its own extension. The session
/// reads it when the table is opened, writes it when the document is closed, and carries it
/// along when the table is renamed or saved under another name.
///
/// Adding a companion: append one entry to the list in companions() (document_session.cpp)
/// with its extension, a read function (existing file into the document) and a write function
/// (document into the file). Nothing else changes: open, close, rename and save-as walk that
/// list. A companion whose codec lives in a library above this one is reached through a
/// callback the session owner passes in, as the grid layout is (see LayoutIo).
struct Companion {
    const char* extension;            ///< ".inf"; lower case
    bool writtenOnCreate;             ///< written as soon as a new table is created
    bool writtenBeforeTableCloses;    ///< written while the table is still open (else after)
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
    OpenOutcome open(const std::filesystem::path& path, Mode mode = Mode::Edit);
    bool isOpen() const { return m_open; }
    Mode mode() const { return m_mode; }
    /// Whether close() writes companions: an Edit session whose table opened writable.
    bool writesCompanions() const;

    /// Closes the document: companions written before the table closes, the table closed (an
    /// unposted row dropped), the others written. A read-only session only closes the table.
    /// Throws CompanionWriteError (naming the companion) / EngineError; later steps do not run.
    /// Closing can be tried again: after a failure before the table closed everything is done
    /// again, after one once it closed the companions written after the table are.
    void close();

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

private:
    void updateWritable();

    Document& m_doc;
    LayoutIo m_layout;
    Mode m_mode = Mode::Edit;
    bool m_open = false;
    bool m_tableWritable = false;       ///< the table opened writable (read when it was opened)
    bool m_closePending = false;        ///< the table closed, companions after it still to write
    std::vector<bool> m_keepOnDisk;     ///< per companion: could not be read, so never written over
};

}  // namespace zelt::document

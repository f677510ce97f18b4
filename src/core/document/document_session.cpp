// SPDX-License-Identifier: GPL-3.0-or-later
// One open document with its companion files: open, rename, save as a copy, close.
#include "document/document_session.h"

#include "base/atomic_file.h"
#include "document/document_journal.h"
#include "document/document_transfer.h"
#include "document/known_points.h"
#include "document/value_format.h"
#include "paradox/paradox_table.h"
#include "paradox/table_lock.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::document {
namespace fs = std::filesystem;

namespace {

using Access = TraverseTable::Access;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

/// Whether a directory entry exists at `p`, a dangling link included.
bool pathExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

/// The table's open notes and a known points file that could not be read.
std::vector<Diagnostic> openDiagnostics(Document& doc)
{
    std::vector<Diagnostic> found;
    if (const ParadoxTable* file = doc.table.file())
        found = file->openNotes();
    if (!doc.knownPoints.damage().empty())
        found.push_back(Diagnostic::warning(doc.knownPoints.damage()));
    return found;
}

// --- the companions

void readInfCompanion(DocumentSession& s, const fs::path& file)
{
    Document& doc = s.document();
    try {
        readInf(file, doc.pairsPer100m, doc.startHeight);
    } catch (const CompanionError& e) {
        doc.table.notifySurveyValuesChanged();  // what was read before the bad value is in place
        // The reader's message says what is wrong; the user also needs to know which file.
        const std::string what = e.what();
        if (what.find(file.string()) != std::string::npos)
            throw;
        throw CompanionError("The survey values file " + quoted(file) + " cannot be read: " + what
                             + (what.empty() || what.back() != '.' ? "." : ""));
    } catch (...) {
        doc.table.notifySurveyValuesChanged();
        throw;
    }
    doc.table.notifySurveyValuesChanged();
}

void writeInfCompanion(DocumentSession& s, const fs::path& file)
{
    writeInf(file, s.document().pairsPer100m, s.document().startHeight);
}

void readLayoutCompanion(DocumentSession& s, const fs::path& file)
{
    if (s.layout().read)
        s.layout().read(s.document(), file);
}

void writeLayoutCompanion(DocumentSession& s, const fs::path& file)
{
    if (s.layout().write)
        s.layout().write(file, s.document().columns);
}

void readKnownPointsCompanion(DocumentSession& s, const fs::path&)
{
    s.document().knownPoints.load();   // a damaged file is kept as the points' damage, not thrown
}

void writeKnownPointsCompanion(DocumentSession& s, const fs::path&)
{
    try {
        s.document().knownPoints.writePending();
    } catch (const KnownPointsError& e) {
        throw CompanionError(e.what());
    }
}

}  // namespace

/// A table must not carry the name of one of its own companions: closing would write that
/// companion over the table.
void refuseCompanionName(const fs::path& table)
{
    std::string ext = table.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Companion& c : companions())
        if (ext == c.extension)
            throw EngineError("Cannot use " + quoted(table) + " as a table: " + c.extension
                              + " is the extension of a file kept beside a table.");
}

TargetInUseError::TargetInUseError(const fs::path& target)
    : CompanionError("The table " + quoted(target)
                     + " is open in another window or program; close it there or choose another name.")
{
}

CompanionWriteError::CompanionWriteError(fs::path file, const std::string& cause)
    : CompanionError(cause), m_file(std::move(file))
{
}

TargetExistsError::TargetExistsError(const fs::path& target)
    : CompanionError("The file " + quoted(target) + " already exists.")
{
}

const std::vector<Companion>& companions()
{
    // Read in this order at open; written at close in this order, those marked "before" first,
    // all while the table is still open, so that its lock keeps another program from reading a
    // companion being replaced.
    // All are read before the start-row rule, which needs the survey
    // values and moves the known points. The known points come first: their reading never
    // fails, so a bad .inf does not leave them unread (and open to being written over).
    // They are written when they move; closing writes only a move whose write failed.
    static const std::vector<Companion> list = {
        {".kpt", false, false, readKnownPointsCompanion, writeKnownPointsCompanion},
        {".inf", true, false, readInfCompanion, writeInfCompanion},
        {".ing", false, true, readLayoutCompanion, writeLayoutCompanion},
    };
    return list;
}

DocumentSession::DocumentSession(Document& doc, LayoutIo layout) : m_doc(doc), m_layout(std::move(layout)) {}

OpenOutcome DocumentSession::open(const fs::path& named, Mode mode, const std::string& change)
{
    // Reached through a link, the document is the real table's: its companions, journal and
    // lock lie beside it, never beside the link.
    const fs::path path = followTableLinks(named);
    TraverseTable& table = m_doc.table;
    table.close();
    m_open = false;
    m_inChange = false;
    m_mode = mode;
    m_tableWritable = false;
    m_keepOnDisk.assign(companions().size(), false);
    m_companionNotes.clear();
    m_unreadSurveyValues.clear();
    m_doc.knownPoints.setWritesMoves(false);
    m_doc.knownPoints.reset();
    refuseCompanionName(path);
    table.setPath(path);

    OpenOutcome outcome;
    std::vector<Diagnostic> recovered = recover(path, mode);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        if (mode == Mode::ReadOnly)
            throw EngineError("The table " + quoted(path) + " does not exist.");
        createWithCompanions(path, change);
        outcome.created = true;
        outcome.diagnostics = openDiagnostics(m_doc);
        outcome.diagnostics.insert(outcome.diagnostics.begin(), recovered.begin(), recovered.end());
        outcome.journalNotes = recovered;
        return outcome;
    }

    table.open(mode == Mode::ReadOnly ? Access::ReadOnly : Access::ReadWrite);
    m_open = true;
    m_tableWritable = mode == Mode::Edit && !table.isReadOnly();
    if (m_tableWritable) {
        guardTableWrites(*table.file(), path);
        removeStaleTemporaries(path);  // the table's lock is held: no other command writes its files
    }
    m_doc.knownPoints.setWritesMoves(m_tableWritable);
    const fs::path ing = companionPath(path, ".ing");
    if (pathExists(ing))
        outcome.layoutToLoad = ing;
    const auto& list = companions();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const fs::path file = companionPath(path, list[i].extension);
        if (!list[i].read || !pathExists(file))
            continue;
        try {
            list[i].read(*this, file);
        } catch (const CompanionError& e) {
            // A command that only reads goes on without survey values it cannot read, saying so;
            // nothing is written, so the file stays for the user to repair. A writing command
            // refuses, as it would replace the file at close.
            if (mode == Mode::ReadOnly && std::string_view(list[i].extension) == ".inf") {
                m_doc.pairsPer100m = kDefaultPairsPer100m;
                m_doc.startHeight = kDefaultStartHeight;
                table.notifySurveyValuesChanged();
                std::string what = e.what();
                m_unreadSurveyValues = what;
                if (!what.empty() && what.back() != '.')
                    what += '.';
                m_companionNotes.push_back(Diagnostic::warning(
                    what + " Reading goes on with the defaults (" + formatGeneral(kDefaultPairsPer100m)
                    + " pairs per 100 m, start height " + formatGeneral(kDefaultStartHeight) + " m)."));
                continue;
            }
            for (std::size_t j = i; j < list.size(); ++j)
                m_keepOnDisk[j] = pathExists(companionPath(path, list[j].extension));
            throw;
        } catch (...) {
            // What was not read must not be replaced by defaults when the document closes.
            for (std::size_t j = i; j < list.size(); ++j)
                m_keepOnDisk[j] = pathExists(companionPath(path, list[j].extension));
            throw;
        }
    }
    table.first();
    if (m_tableWritable && !change.empty())
        beginChange(change);
    if (m_tableWritable) {
        // The start row moves the known points, whose file is rewritten at once: two files, so
        // one change.
        const bool twoFiles = !m_inChange && startRowRuleInserts(m_doc) && pathExists(companionPath(path, ".kpt"));
        if (twoFiles) {
            try {
                writeRollbackJournal(path, "start row");
                m_inChange = true;
            } catch (const JournalError&) {  // a folder that takes no journal: as before, unjournaled
            }
        }
        std::optional<Diagnostic> unsynced;
        try {
            applyStartRowRule(m_doc);
            if (twoFiles && m_inChange) {
                m_doc.knownPoints.writePending();
                try {
                    endChange();
                } catch (const NotDurableError& e) {
                    unsynced = Diagnostic::warning(e.what());  // the start row stands; the open goes on
                }
            }
        } catch (...) {
            rollBackAfterError();
            throw;
        }
        if (unsynced)
            recovered.push_back(*unsynced);
    }
    outcome.diagnostics = openDiagnostics(m_doc);
    outcome.diagnostics.insert(outcome.diagnostics.begin(), m_companionNotes.begin(), m_companionNotes.end());
    outcome.diagnostics.insert(outcome.diagnostics.begin(), recovered.begin(), recovered.end());
    outcome.journalNotes = recovered;
    outcome.companionNotes = m_companionNotes;
    outcome.unreadSurveyValues = m_unreadSurveyValues;
    return outcome;
}

std::vector<Diagnostic> DocumentSession::recover(const fs::path& path, Mode mode)
{
    try {
        const JournalOutcome found = recoverJournal(path);
        if (found.live && mode == Mode::ReadOnly)
            return {Diagnostic::warning("Another program is changing " + quoted(path)
                                        + "; what is read may hold part of its change.")};
        // A change running elsewhere holds the journal: a table it has yet to create is in use
        // too (an existing one opens read-only, as its lock is held).
        if (found.live && !pathExists(path))
            throw JournalError("The table " + quoted(path) + " is in use by another program (its change is running).");
        if (!found.note.empty())
            return {Diagnostic::warning(found.note)};
    } catch (const JournalError& e) {
        // Reading goes on (and says so); writing would build on a half-made change.
        if (mode == Mode::Edit)
            throw;
        return {Diagnostic::warning(e.what())};
    }
    return {};
}

void DocumentSession::createWithCompanions(const fs::path& path, const std::string& change)
{
    TraverseTable& table = m_doc.table;
    refuseUnwritable(path, true);
    // Recorded as absent: a creation cut off is undone, table and companions, by the next open.
    writeRollbackJournal(path, change.empty() ? std::string("new table") : change);
    m_inChange = true;
    try {
        table.create(m_newTableCodePage, true);
    } catch (...) {
        // Nothing of this creation is on disk (a file that could not be filled is removed
        // again), and a table found at the name is another program's, which a roll back to
        // "no table here" would delete: only the journal goes.
        m_inChange = false;
        try {
            removeJournal(path);
        } catch (const JournalError&) {
        }
        throw;
    }
    try {
        journalCreatedTable(path);
        table.open();
        m_open = true;
        m_tableWritable = !table.isReadOnly();
        if (m_tableWritable)
            guardTableWrites(*table.file(), path);
        for (const Companion& c : companions())
            if (c.writtenOnCreate && c.write)
                c.write(*this, companionPath(path, c.extension));
        table.first();
        applyStartRowRule(m_doc);
        // With a change of its own the creation ends with it: the document is made whole or not.
        if (change.empty())
            endChange();
    } catch (...) {
        rollBackAfterError();
        throw;
    }
}

void DocumentSession::refuseUnwritable(const fs::path& path, bool creating) const
{
    // Every file a change writes is replaced through a new file in the table's folder, and the
    // journal lies there too: the folder must take new files.
    fs::path dir = path.parent_path();
    if (dir.empty())
        dir = ".";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        throw CompanionError("Cannot write into the folder " + fileErrorText(dir, errno) + ". Nothing was changed.");
    const auto& list = companions();
    for (std::size_t i = 0; i < list.size(); ++i) {
        // The known points are written only when they move, which the change itself checks.
        const bool written = creating ? list[i].writtenOnCreate : list[i].extension != std::string(".kpt");
        if (!list[i].write || !written || (!creating && m_keepOnDisk[i]))
            continue;
        if (std::string(list[i].extension) == ".ing" && !m_layout.write)
            continue;
        const fs::path file = companionPath(path, list[i].extension);
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0)
            continue;
        if (!S_ISREG(st.st_mode))
            throw CompanionError("Cannot write " + quoted(file) + ": it is not a regular file. Nothing was changed.");
        if (::access(file.c_str(), W_OK) != 0)
            throw CompanionError("Cannot write " + fileErrorText(file, errno) + ". Nothing was changed.");
    }
}

void DocumentSession::beginChange(const std::string& what)
{
    if (m_inChange || !writesCompanions())
        return;
    m_doc.table.checkBrowseMode();
    const fs::path path = m_doc.table.path();
    refuseUnwritable(path, false);
    writeRollbackJournal(path, what);
    m_inChange = true;
}

void DocumentSession::endChange()
{
    if (!m_inChange)
        return;
    m_doc.table.flush();
    const fs::path journal = journalPath(m_doc.table.path());
    try {
        removeJournal(m_doc.table.path());
    } catch (const JournalError& e) {
        if (pathExists(journal))
            throw;  // still there: the change can be, and is, rolled back
        // Gone: the change stands, whatever happens to this session; only the folder's sync failed.
        m_inChange = false;
        throw NotDurableError(asSentence(e.what()) + " The change was made, but a power loss may still undo it.");
    }
    m_inChange = false;
}

void DocumentSession::commitChange()
{
    if (!m_inChange)
        return;
    writeCompanions();
    endChange();
}

void DocumentSession::rollbackChange()
{
    if (!m_inChange)
        return;
    const fs::path path = m_doc.table.path();
    m_inChange = false;
    m_open = false;
    m_doc.knownPoints.setWritesMoves(false);
    try {
        m_doc.table.close();
    } catch (...) {  // the rows are restored from the journal whatever the close left
    }
    const JournalOutcome outcome = recoverJournal(path);
    if (outcome.live)
        throw JournalError("The change of " + quoted(path) + " could not be undone: another program took the table.");
}

void DocumentSession::rollBackAfterError()
{
    try {
        rollbackChange();
    } catch (...) {  // the journal stays; the next open rolls back
    }
}

bool DocumentSession::writesCompanions() const
{
    // A table that a failed rename left closed gets no companions written beside it.
    return m_open && m_mode == Mode::Edit && m_tableWritable && m_doc.table.isOpen();
}

void DocumentSession::writeCompanions()
{
    const fs::path path = m_doc.table.path();
    const auto& list = companions();
    for (bool beforeTableCloses : {true, false}) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (!list[i].write || list[i].writtenBeforeTableCloses != beforeTableCloses || m_keepOnDisk[i])
                continue;
            const fs::path file = companionPath(path, list[i].extension);
            try {
                list[i].write(*this, file);
            } catch (const CompanionWriteError&) {
                throw;
            } catch (const CompanionError& e) {
                throw CompanionWriteError(file, e.what());
            }
        }
    }
}

void DocumentSession::close()
{
    if (!m_open)
        return;
    {
        // Every companion is written while the table's lock is held, and a running change ends
        // (its journal removed) before the lock goes.
        if (writesCompanions())
            writeCompanions();
        const bool changed = m_inChange;
        std::optional<NotDurableError> unsynced;
        try {
            endChange();
        } catch (const NotDurableError& e) {
            unsynced = e;  // the change is complete: the document closes, and the doubt is told
        }
        m_doc.knownPoints.setWritesMoves(false);
        m_open = false;
        try {
            m_doc.table.close();
        } catch (const std::exception& e) {
            // After its journal went, a change stands: what fails now only puts its durability in doubt.
            if (!changed)
                throw;
            unsynced = NotDurableError(asSentence(e.what()) + " The change was made, but a power loss may still undo it.");
        }
        if (unsynced)
            throw *unsynced;
    }
}

void DocumentSession::rename(const fs::path& to)
{
    try {
        renameWithCompanions(m_doc, to, m_mode == Mode::ReadOnly ? Access::ReadOnly : Access::ReadWrite);
    } catch (...) {
        updateWritable();
        throw;
    }
    updateWritable();
}

bool DocumentSession::saveAs(const fs::path& to, ReplaceExisting replace)
{
    bool changed = false;
    try {
        changed = saveAsWithCompanions(m_doc, to, replace, m_mode == Mode::ReadOnly ? Access::ReadOnly : Access::ReadWrite);
    } catch (...) {
        updateWritable();
        throw;
    }
    updateWritable();
    return changed;
}

void DocumentSession::updateWritable()
{
    m_tableWritable = m_mode == Mode::Edit && m_doc.table.isOpen() && !m_doc.table.isReadOnly();
    m_doc.knownPoints.setWritesMoves(m_tableWritable);
}

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// One open document with its companion files: open, rename, save as a copy, close.
#include "document/document_session.h"

#include "document/known_points.h"
#include "paradox/paradox_table.h"
#include "paradox/table_lock.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
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

/// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

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

/// Refuses a target whose table lock another holder has: another program, or another open
/// document of this process (each open of a table file holds its own lock).
void refuseTargetInUse(const fs::path& target)
{
    const Descriptor fd(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && TableLock::isHeldElsewhere(fd.get()))
        throw TargetInUseError(target);
}

/// Copies the table file into `to` while holding the table lock on `to`, so that nobody starts
/// editing the target half-way; replaces its content only with ReplaceExisting::Yes. A target
/// this copy created is removed again when the copy fails.
void copyTableFile(const fs::path& from, const fs::path& to, ReplaceExisting replace)
{
    const std::string prefix = "Cannot copy " + quoted(from) + " to " + quoted(to) + ": ";
    const bool existed = pathExists(to);
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | (replace == ReplaceExisting::No ? O_EXCL : 0);
    const Descriptor out(::open(to.c_str(), flags, 0666));
    if (out.get() < 0) {
        if (errno == EEXIST)
            throw TargetExistsError(to);
        throw EngineError(prefix + ioErrorMessage(errno));
    }
    struct stat st {};
    if (::fstat(out.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw EngineError(prefix + "it is not a regular file.");
    std::string detail;
    if (TableLock::tryLock(out.get(), detail) == TableLock::Result::Busy)
        throw TargetInUseError(to);

    int error = 0;
    const Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0 || ::ftruncate(out.get(), 0) != 0)
        error = errno;
    char buffer[64 * 1024];
    while (error == 0) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n && error == 0;) {
            const ssize_t w = ::write(out.get(), buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                error = w < 0 ? errno : EIO;
            else
                done += w;
        }
    }
    if (error == 0 && ::fdatasync(out.get()) != 0)
        error = errno;
    if (error != 0) {
        if (!existed)
            ::unlink(to.c_str());
        throw EngineError(prefix + ioErrorMessage(error));
    }
}

/// Moves (or copies) every companion of `from` to the same name beside `to`. A companion of
/// `to` that `from` does not have belonged to no table or to the replaced one, and is removed,
/// so the document is not paired with another table's values. Returns the first failure's
/// message; the remaining companions are still carried.
std::string carryCompanions(const fs::path& from, const fs::path& to, bool move)
{
    std::string failure;
    for (const Companion& c : companions()) {
        const fs::path source = companionPath(from, c.extension);
        const fs::path target = companionPath(to, c.extension);
        std::error_code ec;
        if (pathExists(source)) {
            if (move)
                fs::rename(source, target, ec);
            else
                fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
        } else if (pathExists(target)) {
            fs::remove(target, ec);
        }
        if (ec && failure.empty())
            failure = "Cannot " + std::string(move ? "move " : "copy ") + quoted(source) + " to " + quoted(target)
                + ": " + ioErrorMessage(ec.value());
    }
    return failure;
}

void renameWithCompanions(Document& doc, const fs::path& to, Access access)
{
    TraverseTable& table = doc.table;
    const fs::path from = table.path();
    std::error_code ec;
    if (fs::equivalent(from, to, ec))
        return;  // renaming a table onto itself changes nothing
    refuseCompanionName(to);
    refuseTargetInUse(to);
    if (pathExists(to))
        throw TargetExistsError(to);
    table.close();
    try {
        renameTable(from, to);
    } catch (const ParadoxError& e) {
        throw EngineError(e.what());
    }
    const std::string failure = carryCompanions(from, to, true);
    table.setPath(to);
    table.open(access);
    if (!failure.empty())
        throw CompanionError(failure);
}

bool saveAsWithCompanions(Document& doc, const fs::path& to, ReplaceExisting replace, Access access)
{
    TraverseTable& table = doc.table;
    const fs::path from = table.path();
    std::error_code ec;
    if (!fs::exists(from, ec) || fs::equivalent(from, to, ec))
        return false;
    refuseCompanionName(to);
    refuseTargetInUse(to);
    if (replace == ReplaceExisting::No && pathExists(to))
        throw TargetExistsError(to);
    table.close();
    try {
        copyTableFile(from, to, replace);
    } catch (...) {
        // Stay on the first table: switching to a copy that is not there would lose the document.
        table.open(access);
        throw;
    }
    const std::string failure = carryCompanions(from, to, false);
    table.setPath(to);
    table.open(access);
    if (!failure.empty())
        throw CompanionError(failure);
    return true;
}

}  // namespace

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
    // Read in this order at open; written in this order at close (those marked before the
    // table closes first). All are read before the start-row rule, which needs the survey
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

OpenOutcome DocumentSession::open(const fs::path& path, Mode mode)
{
    TraverseTable& table = m_doc.table;
    table.close();
    m_open = false;
    m_closePending = false;
    m_mode = mode;
    m_tableWritable = false;
    m_keepOnDisk.assign(companions().size(), false);
    m_doc.knownPoints.setWritesMoves(false);
    m_doc.knownPoints.reset();
    refuseCompanionName(path);
    table.setPath(path);

    OpenOutcome outcome;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        if (mode == Mode::ReadOnly)
            throw EngineError("The table " + quoted(path) + " does not exist.");
        table.create();
        table.open();
        m_open = true;
        m_tableWritable = !table.isReadOnly();
        outcome.created = true;
        for (const Companion& c : companions())
            if (c.writtenOnCreate && c.write)
                c.write(*this, companionPath(path, c.extension));
        table.first();
        applyStartRowRule(m_doc);
        outcome.diagnostics = openDiagnostics(m_doc);
        return outcome;
    }

    table.open(mode == Mode::ReadOnly ? Access::ReadOnly : Access::ReadWrite);
    m_open = true;
    m_tableWritable = mode == Mode::Edit && !table.isReadOnly();
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
        } catch (...) {
            // What was not read must not be replaced by defaults when the document closes.
            for (std::size_t j = i; j < list.size(); ++j)
                m_keepOnDisk[j] = pathExists(companionPath(path, list[j].extension));
            throw;
        }
    }
    table.first();
    if (m_tableWritable)
        applyStartRowRule(m_doc);
    outcome.diagnostics = openDiagnostics(m_doc);
    return outcome;
}

bool DocumentSession::writesCompanions() const
{
    // A table that a failed rename left closed gets no companions written beside it.
    return m_open && m_mode == Mode::Edit && m_tableWritable && m_doc.table.isOpen();
}

void DocumentSession::close()
{
    if (!m_open && !m_closePending)
        return;
    const fs::path path = m_doc.table.path();
    const auto& list = companions();
    auto writePhase = [&](bool beforeTableCloses) {
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
    };
    if (m_open) {
        if (writesCompanions())
            writePhase(true);
        m_doc.knownPoints.setWritesMoves(false);
        // From here on the table is closed whatever happens; what is written after it is
        // written again by the next close() when it fails.
        m_closePending = writesCompanions();
        m_open = false;
        m_doc.table.close();
    }
    if (m_closePending)
        writePhase(false);
    m_closePending = false;
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

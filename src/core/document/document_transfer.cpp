// SPDX-License-Identifier: GPL-3.0-or-later
// Rename and Save As of a table with its companions, each step journaled (docs/journal.md).
#include "document/document_transfer.h"

#include "base/atomic_file.h"
#include "document/document_journal.h"
#include "document/document_session.h"
#include "paradox/table_lock.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <algorithm>
#include <random>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::document {
namespace fs = std::filesystem;

namespace {

using Access = TraverseTable::Access;
using Moves = std::vector<std::pair<fs::path, fs::path>>;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

bool pathExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

/// A descriptor closed (and its lock released) when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(Descriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

/// Takes the table lock of `file` for the transfer; another holder refuses it with `busy`.
template <typename Refusal>
Descriptor lockTable(const fs::path& file, const Refusal& busy)
{
    Descriptor fd(::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    std::string detail;
    if (fd.get() >= 0 && TableLock::tryLock(fd.get(), detail) == TableLock::Result::Busy)
        throw busy;
    return fd;
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

/// A copy of a file beside its final name, complete and synced, waiting to be renamed in.
struct Staged {
    fs::path path;
    fs::path target;
    Descriptor fd;
};

/// Copies `from` into a new file beside `target` ("<target>.zelt-<random>"), synced; the new
/// table's copy is locked, so nobody starts on it the moment it is renamed in.
Staged stage(const fs::path& from, const fs::path& target, bool lock)
{
    const std::string prefix = "Cannot copy " + quoted(from) + " to " + quoted(target) + ": ";
    std::random_device random;
    Staged s;
    for (int attempt = 0; attempt < 16 && s.fd.get() < 0; ++attempt) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, unsigned(random()), 16).ptr;
        s.path = target;
        s.path += ".zelt-" + std::string(digits, end);
        s.fd = Descriptor(::open(s.path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (s.fd.get() < 0 && errno != EEXIST) {
            if (lock)
                throw EngineError(prefix + systemReason(errno) + ".");
            throw CompanionError(prefix + systemReason(errno) + ".");
        }
    }
    s.target = target;
    std::string detail;
    if (lock)
        TableLock::tryLock(s.fd.get(), detail);
    // Before any byte is copied: a file replaced keeps its group and mode, and the copy is no
    // more readable than the file it copies.
    int error = matchAccess(s.fd.get(), target);
    if (error == ENOENT)
        error = 0;
    if (error == 0)
        error = narrowAccess(s.fd.get(), from);
    if (error == 0)
        error = copyFileInto(from, s.fd.get());
    if (error == 0 && ::fsync(s.fd.get()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(s.path.c_str());
        if (lock)
            throw EngineError(prefix + systemReason(error) + ".");
        throw CompanionError(prefix + systemReason(error) + ".");
    }
    return s;
}

void removeStaged(const std::vector<Staged>& staged)
{
    for (const Staged& s : staged)
        ::unlink(s.path.c_str());
}

/// Undoes the companion moves of a rename that could not finish, newest first.
void moveBack(const Moves& done)
{
    for (auto it = done.rbegin(); it != done.rend(); ++it)
        ::rename(it->second.c_str(), it->first.c_str());
}

}  // namespace

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
    Moves moves;
    std::vector<fs::path> stale;
    for (const Companion& c : companions()) {
        const fs::path source = companionPath(from, c.extension);
        const fs::path target = companionPath(to, c.extension);
        if (pathExists(source))
            moves.emplace_back(fs::absolute(source), fs::absolute(target));  // the journal's open may run elsewhere
        else if (pathExists(target))
            stale.push_back(target);  // belonged to no table: it must not pair with this one
    }
    table.close();
    fs::path folder = to.parent_path().empty() ? fs::path(".") : to.parent_path();
    struct stat st {};
    const int folderError = ::stat(folder.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (folderError != 0)
        throw EngineError("Cannot rename the table " + quoted(from) + " to " + quoted(to) + ": "
                          + systemReason(folderError) + ".");
    Moves done;
    std::string unsynced;  // the rename is complete, but a folder could not be synced
    try {
        // The lock is held from here to the end, so no other program starts on the table
        // while its files are under two names. The table moves last: until it has, the next
        // open of the old name moves the companions back (the journal), and once it has, the
        // document is whole under the new name.
        const Descriptor held = lockTable(from, EngineError("Cannot rename the table " + quoted(from)
                                                            + ": it is in use by another program."));
        writeRenameJournal(from, to, moves);
        for (const auto& move : moves) {
            if (::rename(move.first.c_str(), move.second.c_str()) != 0)
                throw CompanionError("Cannot move " + quoted(move.first) + " to " + quoted(move.second) + ": "
                                     + systemReason(errno));
            done.push_back(move);
        }
        for (const fs::path& file : stale)
            fs::remove(file, ec);
        bool moved = false;
#ifdef RENAME_NOREPLACE
        moved = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
        if (!moved && errno != EINVAL && errno != ENOSYS)
            throw EngineError("Cannot rename the table " + quoted(from) + " to " + quoted(to) + ": " + systemReason(errno) + ".");
#endif
        if (!moved && ::rename(from.c_str(), to.c_str()) != 0)
            throw EngineError("Cannot rename the table " + quoted(from) + " to " + quoted(to) + ": " + systemReason(errno) + ".");
        // From here the rename is complete: nothing is moved back, whatever fails.
        done.clear();
        int error = syncFolderOf(to);
        fs::path folder = to;
        if (error == 0 && folderOf(from) != folderOf(to)) {
            error = syncFolderOf(from);
            folder = from;
        }
        if (error != 0)
            unsynced = "Cannot sync the folder " + fileErrorText(folderOf(folder), error);
        try {
            removeJournal(from);
        } catch (const JournalError& e) {
            // A journal left is dropped by the next open (the table has moved); one removed
            // whose folder could not be synced may come back with a power loss, and is dropped too.
            if (unsynced.empty() && !pathExists(journalPath(from)))
                unsynced = e.what();
        }
    } catch (...) {
        // The table stays closed under its old name, as it is when it cannot be moved.
        moveBack(done);
        try {
            removeJournal(from);
        } catch (...) {  // the next open of the table moves back what is still moved
        }
        throw;
    }
    table.setPath(to);
    table.open(access);
    if (!unsynced.empty())
        throw NotDurableError(asSentence(unsynced) + " The table was renamed to " + quoted(to)
                              + ", but a power loss may still undo the rename.");
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
    if (pathExists(journalPath(from)) && access == Access::ReadOnly)
        throw CompanionError("The table " + quoted(from) + " is being changed by another program (" +
                             quoted(journalPath(from)) + " lies beside it); save it when that change is done.");
    // A save into the target cut off earlier is completed first, then replaced by this one.
    if (recoverJournal(to).live)
        throw TargetInUseError(to);
    struct stat st {};
    if (::stat(to.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw EngineError("Cannot copy " + quoted(from) + " to " + quoted(to) + ": it is not a regular file.");
    // The old target stays locked while it is replaced, so no other program starts on it.
    Descriptor held = lockTable(to, TargetInUseError(to));

    // Everything is staged beside the target first: until the journal is written, the target
    // and its companions are untouched, and a failure leaves them as they were.
    std::vector<Staged> staged;
    std::vector<fs::path> removals;
    try {
        staged.push_back(stage(from, to, true));
        for (const Companion& c : companions()) {
            const fs::path source = companionPath(from, c.extension);
            if (pathExists(source))
                staged.push_back(stage(source, companionPath(to, c.extension), false));
            else if (pathExists(companionPath(to, c.extension)))
                removals.push_back(companionPath(to, c.extension));
        }
        std::rotate(staged.begin(), staged.begin() + 1, staged.end());  // the table is renamed in last
    } catch (...) {
        removeStaged(staged);
        throw;
    }
    // The journal names every file absolutely: the open that acts on it may run elsewhere.
    Moves moves;
    for (const Staged& s : staged)
        moves.emplace_back(fs::absolute(s.path), fs::absolute(s.target));
    for (fs::path& file : removals)
        file = fs::absolute(file);
    try {
        writeReplaceJournal(to, "save-as from " + from.string(), moves, removals);
    } catch (...) {
        removeStaged(staged);
        throw;
    }
    // From here the save is completed: now, or by the next open of the target. A step that
    // fails is tried once more through the journal, as that open would.
    std::string unsynced;
    try {
        for (const fs::path& file : removals)
            if (::unlink(file.c_str()) != 0 && errno != ENOENT)
                throw CompanionError("Cannot remove " + fileErrorText(file, errno));
        for (const auto& [path, target] : moves)
            if (::rename(path.c_str(), target.c_str()) != 0)
                throw CompanionError("Cannot move " + fileErrorText(path, errno));
        // Every file is in place: the save is complete, whatever fails from here.
        if (const int error = syncFolderOf(to); error != 0)
            unsynced = "Cannot sync the folder " + fileErrorText(folderOf(to), error);
        try {
            removeJournal(to);
        } catch (const JournalError& e) {
            // A journal left is acted on by the next open: it finds the save complete.
            if (unsynced.empty() && !pathExists(journalPath(to)))
                unsynced = e.what();
        }
    } catch (const CompanionError& e) {
        staged.clear();
        held = Descriptor();  // the journal's completion checks that nobody holds the files
        bool completed = false;
        try {
            const JournalOutcome again = recoverJournal(to);
            completed = again.found && !again.live;
        } catch (const JournalError&) {
        }
        if (!completed)
            throw CompanionError(std::string(e.what()) + "; the save is completed when " + quoted(to)
                                 + " is opened next.");
    }
    staged.clear();  // the new table's lock goes now; the session takes its own
    table.close();
    table.setPath(to);
    table.open(access);
    if (!unsynced.empty())
        throw NotDurableError(asSentence(unsynced) + " The table was saved as " + quoted(to)
                              + ", but a power loss may still undo the save.");
    return true;
}

}  // namespace zelt::document

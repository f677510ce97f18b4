// SPDX-License-Identifier: GPL-3.0-or-later
// The journal beside a table: a change of several steps leaves the document as before or as after.
#include "document/document_journal.h"

#include "document/document_journal_layout.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "document/document_session.h"
#include "paradox/paradox_table.h"
#include "paradox/table_lock.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::document {
namespace fs = std::filesystem;
using namespace journal_layout;

namespace {

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

bool pathExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

/// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

[[noreturn]] void fail(const fs::path& file, int error, const std::string& what)
{
    throw JournalError(what + " " + fileErrorText(file, error));
}

int writeAt(int fd, std::string_view bytes, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

/// Reads up to `size` bytes at `offset`; fewer only at the file's end. Throws on a read error.
std::string readAt(int fd, std::uint64_t offset, std::size_t size, const fs::path& file)
{
    std::string out(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(file, errno, "Cannot read");
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

std::uint16_t u16At(std::string_view b, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8);
}

/// What names a table through a change: a checksum of its header past the fixed part (the
/// field list, the names, the creation time), which the change never writes and a copy keeps.
struct TableFacts {
    std::uint32_t identity = 0;
    std::uint64_t size = 0;
    std::uint32_t rows = 0;   ///< as the header counts them
    bool holdsRows = false;   ///< the header counts rows, or the file has blocks past its header
};

TableFacts tableFacts(int fd, const fs::path& table)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        fail(table, errno, "Cannot read the table");
    if (!S_ISREG(st.st_mode))
        throw JournalError("The table " + quoted(table) + " is not a regular file.");
    TableFacts facts;
    facts.size = static_cast<std::uint64_t>(st.st_size);
    const std::string head = readAt(fd, 0, 0x10000, table);
    std::size_t headerSize = head.size() >= 4 ? u16At(head, 2) : 0;
    std::string named = "header " + number(headerSize) + ";";
    if (headerSize > kHeaderFixedEnd && headerSize <= head.size())
        named.append(head, kHeaderFixedEnd, headerSize - kHeaderFixedEnd);
    else
        named.append(head);  // no table's header: the whole of it names the file
    facts.identity = crc32(named);
    facts.rows = head.size() >= 10 ? std::uint32_t(u16At(head, 6)) | std::uint32_t(u16At(head, 8)) << 16 : 0;
    facts.holdsRows = facts.rows > 0 || facts.size > std::max<std::uint64_t>(headerSize, kHeaderFixedEnd);
    return facts;
}

std::string randomNonce()
{
    std::random_device random;
    const std::uint64_t v = (std::uint64_t(random()) << 32) ^ random() ^ (std::uint64_t(::getpid()) << 20);
    return hex(v, static_cast<int>(kNonceDigits));
}

// --- the journal being written

/// The rollback journal of a running change in this process: open and locked until removed.
struct Active {
    fs::path table;
    Fd journal;
    Fd tableRead;                ///< the table, read for the old bytes of each page
    std::string nonce;
    bool tablePresent = false;
    std::uint64_t oldSize = 0;
    std::vector<bool> saved;     ///< per page below oldSize: its old bytes are in the journal
    std::uint64_t count = 0;     ///< records after "end" that count
    std::uint64_t end = 0;       ///< where the next record goes
    std::size_t batch = 1;
};

std::map<std::string, std::unique_ptr<Active>>& activeJournals()
{
    static std::map<std::string, std::unique_ptr<Active>> journals;
    return journals;
}

/// Ends this process's hold on the journal of `table` (its lock goes with the descriptor).
void dropActive(const fs::path& table) { activeJournals().erase(journalPath(table).string()); }

Active* findActive(const fs::path& table)
{
    auto& all = activeJournals();
    const auto it = all.find(journalPath(table).string());
    return it == all.end() ? nullptr : it->second.get();
}

/// A new journal: written whole into a locked temporary file beside the table, synced and
/// renamed into place, its folder synced. The lock stays with the returned descriptor.
struct NewJournal {
    fs::path path;
    Fd fd;
    std::string nonce;
    std::string bytes;

    NewJournal(const fs::path& table, const std::string& kind, const std::string& what)
        : path(journalPath(table)), nonce(randomNonce())
    {
        bytes = std::string(kMagic) + std::string(kVersion) + " " + nonce;
        bytes += " " + hex(crc32(bytes), 8) + "\n";
        bytes += countLine(nonce, 0);
        add("kind " + kind);
        add("what " + number(what.size()), what);
    }
    void add(const std::string& line) { bytes += record(nonce, line); }
    void add(const std::string& line, std::string_view blob) { bytes += record(nonce, line, blob, true); }

    /// Writes it into place; the journal's descriptor stays open and locked.
    void commit(mode_t mode)
    {
        add("end");
        const std::string refused = "Cannot write the journal: ";
        fs::path temp;
        std::random_device random;
        for (int attempt = 0; attempt < 16 && fd.get() < 0; ++attempt) {
            temp = path;
            temp += ".zelt-" + number(std::uint64_t(::getpid())) + "-" + hex(random(), 8);
            fd = Fd(::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
            if (fd.get() < 0 && errno != EEXIST)
                throw JournalError(refused + asSentence(fileErrorText(temp, errno)) + " Nothing was changed.");
        }
        if (fd.get() < 0)
            throw JournalError(refused + asSentence(fileErrorText(temp, EEXIST)) + " Nothing was changed.");
        std::string detail;
        TableLock::tryLock(fd.get(), detail);  // a new file of ours: nobody else holds it
        int error = writeAt(fd.get(), bytes, 0);
        if (error == 0 && ::fsync(fd.get()) != 0)
            error = errno;
        if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
            error = errno;
        else if (error == 0 && (error = syncFolderOf(path)) != 0)
            ::unlink(path.c_str());  // not durable: the change must not start on it
        if (error != 0) {
            ::unlink(temp.c_str());
            fd.reset();
            throw JournalError(refused + asSentence(fileErrorText(path, error)) + " Nothing was changed.");
        }
    }
};

/// The mode for a new journal: no more readable than the table it copies from.
mode_t journalMode(const fs::path& table)
{
    struct stat st {};
    if (::stat(table.c_str(), &st) == 0)
        return st.st_mode & 0666;
    return 0666;
}

/// Appends the synced records of `batch` to the running journal and counts them.
void appendRecords(Active& a, const std::string& batch, std::uint64_t records)
{
    const fs::path path = journalPath(a.table);
    const std::string cannot = "Cannot write the journal";
    if (const int error = writeAt(a.journal.get(), batch, a.end); error != 0)
        fail(path, error, cannot);
    if (::fdatasync(a.journal.get()) != 0)
        fail(path, errno, cannot);
    const std::uint64_t count = a.count + records;
    if (const int error = writeAt(a.journal.get(), countLine(a.nonce, count), kFirstLineSize); error != 0)
        fail(path, error, cannot);
    if (::fdatasync(a.journal.get()) != 0)
        fail(path, errno, cannot);
    a.count = count;
    a.end += batch.size();
}

/// Before bytes [offset, offset + size) of the table are overwritten: the old bytes of every
/// page of them not yet journaled, and of the next few pages, go into the journal, synced.
void savePages(Active& a, std::uint64_t offset, std::size_t size)
{
    if (!a.tablePresent || offset >= a.oldSize)
        return;
    const std::uint64_t first = offset / kPage;
    const std::uint64_t last = std::min<std::uint64_t>((offset + size - 1) / kPage, a.saved.size() - 1);
    std::vector<std::uint64_t> pages;
    for (std::uint64_t p = first; p <= last; ++p)
        if (!a.saved[p])
            pages.push_back(p);
    if (pages.empty())
        return;
    // A change that walks the table overwrites the pages after these next: taking them now
    // makes one sync serve many pages.
    for (std::uint64_t p = last + 1; p < a.saved.size() && pages.size() < a.batch; ++p)
        if (!a.saved[p])
            pages.push_back(p);
    std::string batch;
    for (const std::uint64_t p : pages) {
        const std::uint64_t at = p * kPage;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPage, a.oldSize - at));
        const std::string old = readAt(a.tableRead.get(), at, want, a.table);
        if (old.size() != want)
            fail(a.table, EIO, "Cannot read the table to journal:");
        batch += record(a.nonce, "page " + number(at) + " " + number(want), old, true);
    }
    appendRecords(a, batch, pages.size());
    for (const std::uint64_t p : pages)
        a.saved[p] = true;
    a.batch = std::min(a.batch * 2, kMaxBatchPages);
}

std::string damagedJournal(const fs::path& path, const std::string& why)
{
    return "The journal " + quoted(path) + " " + why + ", so the unfinished change it records cannot be acted on;"
           " nothing was changed. The table may hold part of that change: remove the journal to use it as it is.";
}

/// Reads the whole journal through `fd`, a regular file of sane size.
std::string readJournal(int fd, const fs::path& path)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        fail(path, errno, "Cannot read the journal");
    if (!S_ISREG(st.st_mode))
        throw JournalError(damagedJournal(path, "is not a regular file"));
    if (std::uint64_t(st.st_size) > kMaxJournalBytes)
        throw JournalError(damagedJournal(path, "is too large to be one"));
    const std::string bytes = readAt(fd, 0, static_cast<std::size_t>(st.st_size), path);
    if (bytes.size() != std::uint64_t(st.st_size))
        fail(path, EIO, "Cannot read the journal");
    return bytes;
}

void syncFolder(const fs::path& file)
{
    if (const int error = syncFolderOf(file); error != 0)
        fail(folderOf(file), error, "Cannot sync the folder");
}

void finish(const fs::path& table)
{
    syncFolder(table);
    removeJournal(table);
}

std::string cannotRollBack(const fs::path& table)
{
    return "Cannot roll back the unfinished change of the table " + quoted(table) + " (the rows may be half changed):";
}

/// Takes the table's lock for the recovery; nullopt (and `live`) when another holder has it.
/// A table that cannot be opened for writing refuses the recovery.
Fd lockTableForRecovery(const fs::path& table, bool& live)
{
    Fd fd(::open(table.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return fd;
        fail(table, errno, cannotRollBack(table));
    }
    std::string detail;
    live = TableLock::tryLock(fd.get(), detail) == TableLock::Result::Busy;
    return fd;
}

JournalOutcome rollBack(const fs::path& table, const Journal& j)
{
    const fs::path path = journalPath(table);
    JournalOutcome outcome{true, false, {}};
    Fd fd = lockTableForRecovery(table, outcome.live);
    if (outcome.live)
        return outcome;
    if (j.tablePresent) {
        if (fd.get() < 0)
            throw JournalError("The table " + quoted(table) + " is missing, but its journal " + quoted(path)
                               + " holds an unfinished change; restore the table or remove the journal.");
        const TableFacts now = tableFacts(fd.get(), table);
        if (now.identity != j.identity)
            throw JournalError("The journal " + quoted(path) + " was written for another table than " + quoted(table)
                               + " (their fields or headers differ); nothing was changed. Remove the journal to use"
                                 " the table as it is.");
        for (const auto& [at, bytes] : j.pages)
            if (const int error = writeAt(fd.get(), bytes, at); error != 0)
                fail(table, error, cannotRollBack(table));
        if (::ftruncate(fd.get(), static_cast<off_t>(j.oldSize)) != 0 || ::fdatasync(fd.get()) != 0)
            fail(table, errno, cannotRollBack(table));
    } else if (fd.get() >= 0) {
        // Only the table this change created is removed: the one whose identity it recorded,
        // holding no more than the start row a new table gets. Before that record only an
        // empty table with nothing beside it can be the change's. Any other is another
        // document put under the name since.
        const TableFacts now = tableFacts(fd.get(), table);
        bool companionsBeside = false;
        for (const Companion& c : companions())
            companionsBeside = companionsBeside || pathExists(companionPath(table, c.extension));
        const bool ours = j.created ? *j.created == now.identity : !companionsBeside;
        const bool tooFull = j.created ? now.rows > 1 : now.holdsRows;
        if (tooFull || !ours)
            throw JournalError("The journal " + quoted(path) + " records the creation of " + quoted(table)
                               + ", but the table there " + (ours ? "holds rows" : "is another one")
                               + "; nothing was changed. Remove the journal to use the table as it is.");
        if (::unlink(table.c_str()) != 0)
            fail(table, errno, "Cannot remove the table an unfinished change created:");
    }
    for (const Journal::CompanionImage& c : j.companions) {
        const fs::path file = companionPath(table, c.extension.c_str());
        if (c.present) {
            std::string message;
            if (!writeFileAtomically(file, c.bytes, message))
                throw JournalError(cannotRollBack(table) + " " + message);
        } else if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            fail(file, errno, cannotRollBack(table));
        }
    }
    finish(table);
    outcome.note = j.tablePresent
        ? "An unfinished change (" + j.what + ") was rolled back: " + quoted(table)
              + " and the files beside it are as they were before it."
        : "An unfinished creation of " + quoted(table) + " was rolled back: the table and its files were removed.";
    return outcome;
}

JournalOutcome undoRename(const fs::path& table, const Journal& j)
{
    JournalOutcome outcome{true, false, {}};
    Fd fd = lockTableForRecovery(table, outcome.live);
    if (outcome.live)
        return outcome;
    if (fd.get() < 0) {
        // The table moved, which is the rename's last step: only the journal was left.
        removeJournal(table);
        return outcome;
    }
    const fs::path renamed = table.parent_path() / j.newName;
    for (const std::string& ext : j.moved) {
        const fs::path from = companionPath(table, ext.c_str());
        const fs::path to = companionPath(renamed, ext.c_str());
        if (!pathExists(from) && pathExists(to) && ::rename(to.c_str(), from.c_str()) != 0)
            fail(to, errno, "Cannot undo the unfinished rename:");
    }
    finish(table);
    outcome.note = "An unfinished rename (" + j.what + ") was undone: " + quoted(table) + " keeps its name"
        + (j.elsewhere ? "; files already moved into the other folder stay there under the new name."
                       : " and the files beside it.");
    return outcome;
}

JournalOutcome completeReplace(const fs::path& table, const Journal& j)
{
    JournalOutcome outcome{true, false, {}};
    const Fd fd = lockTableForRecovery(table, outcome.live);
    if (outcome.live)
        return outcome;
    for (const std::string& ext : j.removals) {
        const fs::path file = companionPath(table, ext.c_str());
        if (::unlink(file.c_str()) != 0 && errno != ENOENT)
            fail(file, errno, "Cannot complete the unfinished save:");
    }
    for (const auto& [ext, token] : j.staged) {
        const fs::path final = ext == "table" ? table : companionPath(table, ext.c_str());
        fs::path staged = final;
        staged += ".zelt-" + token;
        if (pathExists(staged) && ::rename(staged.c_str(), final.c_str()) != 0)
            fail(staged, errno, "Cannot complete the unfinished save:");
    }
    finish(table);
    outcome.note = "An unfinished save (" + j.what + ") into " + quoted(table) + " was completed.";
    return outcome;
}

/// The extension of the companion `file` is of `table` ("" when it is none of them).
std::string companionOf(const fs::path& table, const fs::path& file)
{
    for (const Companion& c : companions())
        if (companionPath(table, c.extension).filename() == file.filename())
            return c.extension;
    return {};
}

bool sameFolder(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    const fs::path fa = a.parent_path().empty() ? fs::path(".") : a.parent_path();
    const fs::path fb = b.parent_path().empty() ? fs::path(".") : b.parent_path();
    return fs::equivalent(fa, fb, ec);
}

[[noreturn]] void notOfTheDocument(const fs::path& file)
{
    throw JournalError("Cannot journal " + quoted(file) + ": it is not a file of the document. Nothing was changed.");
}

}  // namespace

fs::path journalPath(const fs::path& table)
{
    fs::path p = table;
    p += "-journal";
    return p;
}

void writeRollbackJournal(const fs::path& table, const std::string& what)
{
    dropActive(table);
    auto active = std::make_unique<Active>();
    active->table = table;
    NewJournal out(table, "rollback", what);
    active->tableRead = Fd(::open(table.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (active->tableRead.get() < 0 && errno != ENOENT)
        fail(table, errno, "Cannot read the table to journal:");
    if (active->tableRead.get() < 0) {
        out.add("table absent");
    } else {
        const TableFacts facts = tableFacts(active->tableRead.get(), table);
        active->tablePresent = true;
        active->oldSize = facts.size;
        active->saved.assign(static_cast<std::size_t>((facts.size + kPage - 1) / kPage), false);
        out.add("table present " + number(facts.size) + " " + hex(facts.identity, 8));
    }
    for (const Companion& c : companions()) {
        const fs::path file = companionPath(table, c.extension);
        const Fd cfd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (cfd.get() < 0 && errno != ENOENT)
            fail(file, errno, "Cannot read the file to journal:");
        if (cfd.get() < 0) {
            out.add(std::string("companion ") + c.extension + " absent");
            continue;
        }
        if (::fstat(cfd.get(), &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_size) > kMaxSmallFileBytes * 8)
            throw JournalError("Cannot journal " + quoted(file) + ": it is not a regular file of a sane size.");
        const std::string bytes = readAt(cfd.get(), 0, static_cast<std::size_t>(st.st_size), file);
        out.add(std::string("companion ") + c.extension + " present " + number(bytes.size()), bytes);
    }
    out.commit(journalMode(table));
    active->journal = std::move(out.fd);
    active->nonce = out.nonce;
    active->end = out.bytes.size();
    activeJournals()[journalPath(table).string()] = std::move(active);
}

void guardTableWrites(ParadoxTable& file, const fs::path& table)
{
    file.setWriteGuard([table](std::uint64_t offset, std::size_t size) {
        if (Active* a = findActive(table))
            savePages(*a, offset, size);
    });
}

void journalCreatedTable(const fs::path& table)
{
    Active* a = findActive(table);
    if (!a || a->tablePresent)
        return;
    const Fd fd(::open(table.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        fail(table, errno, "Cannot read the new table:");
    appendRecords(*a, record(a->nonce, "created " + hex(tableFacts(fd.get(), table).identity, 8)), 1);
}

void writeRenameJournal(const fs::path& from, const fs::path& to, const std::vector<std::pair<fs::path, fs::path>>& moves)
{
    dropActive(from);
    NewJournal out(from, "rename", "rename to " + to.string());
    const std::string name = to.filename().string();
    if (!isPlainName(name))
        notOfTheDocument(to);
    const bool elsewhere = !sameFolder(from, to);
    out.add(std::string("to ") + (elsewhere ? "elsewhere " : "here ") + number(name.size()), name);
    for (const auto& [a, b] : moves) {
        const std::string ext = companionOf(from, a);
        if (ext.empty() || !sameFolder(from, a) || companionOf(to, b) != ext || !sameFolder(to, b))
            notOfTheDocument(a);
        if (!elsewhere)
            out.add("move " + ext);
    }
    out.commit(journalMode(from));
    auto active = std::make_unique<Active>();
    active->table = from;
    active->journal = std::move(out.fd);
    activeJournals()[journalPath(from).string()] = std::move(active);
}

void writeReplaceJournal(const fs::path& target, const std::string& what,
                         const std::vector<std::pair<fs::path, fs::path>>& moves, const std::vector<fs::path>& removals)
{
    dropActive(target);
    NewJournal out(target, "replace", what);
    for (const auto& [staged, final] : moves) {
        const std::string ext = final.filename() == target.filename() ? std::string("table") : companionOf(target, final);
        const std::string prefix = final.filename().string() + ".zelt-";
        const std::string name = staged.filename().string();
        if (ext.empty() || !sameFolder(target, final) || !sameFolder(target, staged) || name.rfind(prefix, 0) != 0
            || !isToken(name.substr(prefix.size())))
            notOfTheDocument(staged);
        out.add("stage " + ext + " " + name.substr(prefix.size()));
    }
    for (const fs::path& r : removals) {
        const std::string ext = companionOf(target, r);
        if (ext.empty() || !sameFolder(target, r))
            notOfTheDocument(r);
        out.add("remove " + ext);
    }
    out.commit(journalMode(target));
    auto active = std::make_unique<Active>();
    active->table = target;
    active->journal = std::move(out.fd);
    activeJournals()[journalPath(target).string()] = std::move(active);
}

void removeJournal(const fs::path& table)
{
    const fs::path path = journalPath(table);
    // Unlinked while its lock is still held: an open waiting for the lock then finds it gone.
    const int error = ::unlink(path.c_str()) != 0 && errno != ENOENT ? errno : 0;
    dropActive(table);
    if (error != 0)
        fail(path, error, "Cannot remove the journal");
    syncFolder(path);
}

bool isTableHeldElsewhere(const fs::path& table)
{
    const Fd fd(::open(table.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    return fd.get() >= 0 && TableLock::isHeldElsewhere(fd.get());
}

JournalOutcome recoverJournal(const fs::path& table)
{
    const fs::path path = journalPath(table);
    dropActive(table);  // a change of this process being undone: its lock goes first
    if (!pathExists(path))
        return {};
    Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    const int openError = fd.get() < 0 ? errno : 0;
    if (fd.get() < 0 && openError == ENOENT)
        return {};  // its change ended meanwhile
    if (fd.get() < 0)
        fd = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (fd.get() < 0)
        throw JournalError(damagedJournal(path, "cannot be read (" + systemReason(errno) + ")"));
    if (openError != 0) {
        // A journal that cannot be opened for writing (a read-only medium, a foreign owner)
        // cannot be acted on; another holder may still be running its change.
        if (TableLock::isHeldElsewhere(fd.get()))
            return {true, true, {}};
        fail(path, openError, cannotRollBack(table) + " its journal cannot be removed:");
    }
    std::string detail;
    if (TableLock::tryLock(fd.get(), detail) == TableLock::Result::Busy)
        return {true, true, {}};
    // Read only under the lock, and only while the name still leads to this file: a change that
    // ended between the look and the lock removed it, and nothing is left to do.
    struct stat mine {}, named {};
    if (::fstat(fd.get(), &mine) != 0 || ::lstat(path.c_str(), &named) != 0 || mine.st_ino != named.st_ino
        || mine.st_dev != named.st_dev)
        return {};
    const std::string bytes = readJournal(fd.get(), path);
    const std::string version = journalVersion(bytes);
    if (version.empty())
        throw JournalError(damagedJournal(path, "is damaged"));
    if (version != kVersion)
        throw JournalError(damagedJournal(path, "was written by another version of the program (" + version
                                                    + ") and cannot be checked"));
    std::optional<Journal> j = parseJournal(bytes);
    if (!j)
        throw JournalError(damagedJournal(path, "is damaged (a part of it fails its check)"));
    // The command's words are shown to the user: nothing in them may pass for another line.
    std::replace_if(j->what.begin(), j->what.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    if (j->kind == "rollback")
        return rollBack(table, *j);
    if (j->kind == "rename")
        return undoRename(table, *j);
    return completeReplace(table, *j);
}

int removeStaleTemporaries(const fs::path& table)
{
    std::vector<std::string> prefixes{table.filename().string() + ".zelt-",
                                      journalPath(table).filename().string() + ".zelt-"};
    for (const Companion& c : companions())
        prefixes.push_back(companionPath(table, c.extension).filename().string() + ".zelt-");
    const fs::path folder = table.parent_path().empty() ? fs::path(".") : table.parent_path();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        for (const std::string& prefix : prefixes)
            if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0
                && isToken(name.substr(prefix.size())))
                found.push_back(name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : found) {
        const fs::path file = folder / name;
        const Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || TableLock::isHeldElsewhere(fd.get()))
            continue;
        if (::unlink(file.c_str()) == 0)
            ++removed;
    }
    if (removed > 0)
        syncFolderOf(table);
    return removed;
}

}  // namespace zelt::document

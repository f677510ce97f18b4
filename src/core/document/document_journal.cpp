// SPDX-License-Identifier: GPL-3.0-or-later
// The journal beside a table: a change of several steps leaves the document as before or as after.
#include "document/document_journal.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "document/document_session.h"
#include "paradox/table_lock.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::document {
namespace fs = std::filesystem;

namespace {

// The layout (docs/journal.md): a first line "ZELT JOURNAL 1", then lines of words, some
// followed by a blob whose length the line gives, and a last line "end". Numbers are decimal
// and written and read with to_chars/from_chars (never the process locale).
constexpr std::string_view kMagic = "ZELT JOURNAL 1\n";
constexpr std::size_t kCopyChunk = 64 * 1024;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

bool pathExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

std::string number(std::uint64_t v)
{
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return std::string(buf, end);
}

/// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

[[noreturn]] void fail(const fs::path& file, int error, const std::string& what)
{
    throw JournalError(what + " " + fileErrorText(file, error));
}

/// A journal being written: an AtomicFile under journalPath(), so that it appears only whole.
class JournalWriter {
public:
    JournalWriter(const fs::path& table, const std::string& kind, const std::string& what) : m_path(journalPath(table))
    {
        std::string message;
        m_file = AtomicFile::begin(m_path, message);
        if (!m_file.isOpen())
            throw JournalError("Cannot write the journal: " + asSentence(message) + " Nothing was changed.");
        (void)narrowAccess(m_file.fd(), table);  // it holds the table's bytes
        put(std::string(kMagic) + "kind " + kind + "\n");
        blob("what", what);
    }
    void put(std::string_view bytes)
    {
        std::string message;
        if (!m_file.write(bytes, message))
            throw JournalError("Cannot write the journal: " + asSentence(message) + " Nothing was changed.");
    }
    void blob(const std::string& word, std::string_view bytes)
    {
        put(word + " " + number(bytes.size()) + "\n");
        put(bytes);
        put("\n");
    }
    /// Copies `size` bytes of the open file `fd` from its start.
    void copyFrom(int fd, std::uint64_t size, const fs::path& source)
    {
        std::vector<char> buffer(kCopyChunk);
        std::uint64_t done = 0;
        while (done < size) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, size - done));
            const ssize_t n = ::pread(fd, buffer.data(), want, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail(source, n < 0 ? errno : EIO, "Cannot read the file to journal:");
            put(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            done += static_cast<std::uint64_t>(n);
        }
        put("\n");
    }
    void commit()
    {
        put("end\n");
        std::string message;
        if (!m_file.commit(message)) {
            // A journal renamed into place but whose folder could not be synced is still
            // acted on by the next open; the change does not start either way.
            std::error_code ec;
            fs::remove(m_path, ec);
            throw JournalError("Cannot write the journal: " + asSentence(message) + " Nothing was changed.");
        }
    }

private:
    fs::path m_path;
    AtomicFile m_file;
};

/// A parsed journal.
struct Journal {
    std::string kind;
    std::string what;
    bool tablePresent = false;
    std::uint64_t device = 0, inode = 0;
    std::string tableBytes;
    struct CompanionImage {
        std::string extension;
        bool present = false;
        std::string bytes;
    };
    std::vector<CompanionImage> companions;
    std::vector<std::pair<fs::path, fs::path>> moves;
    std::vector<fs::path> removals;
};

/// Reads the words of the journal's lines and its blobs; nullopt when it is damaged or cut off.
class JournalReader {
public:
    explicit JournalReader(std::string bytes) : m_bytes(std::move(bytes)) {}

    std::optional<Journal> parse()
    {
        if (m_bytes.compare(0, kMagic.size(), kMagic) != 0)
            return std::nullopt;
        m_pos = kMagic.size();
        Journal j;
        for (;;) {
            const auto words = line();
            if (!words || words->empty())
                return std::nullopt;
            const std::string& tag = (*words)[0];
            if (tag == "end")
                return j.kind.empty() ? std::nullopt : std::optional<Journal>(std::move(j));
            if (!entry(tag, *words, j))
                return std::nullopt;
        }
    }

private:
    bool entry(const std::string& tag, const std::vector<std::string>& w, Journal& j)
    {
        std::uint64_t a = 0, b = 0;
        if (tag == "kind" && w.size() == 2) {
            j.kind = w[1];
            return true;
        }
        if (tag == "what" && w.size() == 2 && toNumber(w[1], a))
            return blob(a, j.what);
        if (tag == "table" && w.size() == 2 && w[1] == "absent")
            return true;
        if (tag == "table" && w.size() == 4 && toNumber(w[1], j.device) && toNumber(w[2], j.inode)
            && toNumber(w[3], a)) {
            j.tablePresent = true;
            return blob(a, j.tableBytes);
        }
        if (tag == "companion" && w.size() == 3 && w[2] == "absent") {
            j.companions.push_back({w[1], false, {}});
            return true;
        }
        if (tag == "companion" && w.size() == 4 && w[2] == "present" && toNumber(w[3], a)) {
            j.companions.push_back({w[1], true, {}});
            return blob(a, j.companions.back().bytes);
        }
        std::string from, to;
        if (tag == "move" && w.size() == 3 && toNumber(w[1], a) && toNumber(w[2], b) && blob(a, from)
            && blob(b, to)) {
            j.moves.emplace_back(from, to);
            return true;
        }
        if (tag == "remove" && w.size() == 2 && toNumber(w[1], a) && blob(a, from)) {
            j.removals.emplace_back(from);
            return true;
        }
        return false;
    }

    static bool toNumber(const std::string& s, std::uint64_t& v)
    {
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        return ec == std::errc() && end == s.data() + s.size();
    }

    std::optional<std::vector<std::string>> line()
    {
        const auto end = m_bytes.find('\n', m_pos);
        if (end == std::string::npos)
            return std::nullopt;
        std::vector<std::string> words;
        std::size_t p = m_pos;
        while (p < end) {
            const auto space = std::min(m_bytes.find(' ', p), end);
            words.push_back(m_bytes.substr(p, space - p));
            p = space + 1;
        }
        m_pos = end + 1;
        return words;
    }

    bool blob(std::uint64_t size, std::string& out)
    {
        if (size > m_bytes.size() - m_pos || m_bytes.size() - m_pos - size < 1 || m_bytes[m_pos + size] != '\n')
            return false;
        out = m_bytes.substr(m_pos, static_cast<std::size_t>(size));
        m_pos += static_cast<std::size_t>(size) + 1;
        return true;
    }

    std::string m_bytes;
    std::size_t m_pos = 0;
};

std::string readJournal(const fs::path& path)
{
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        fail(path, errno, "Cannot read the journal");
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        fail(path, errno, "Cannot read the journal");
    if (!S_ISREG(st.st_mode))
        throw JournalError("The journal " + quoted(path) + " is not a regular file; remove it to use the table.");
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(path, n < 0 ? errno : EIO, "Cannot read the journal");
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

void writeAll(int fd, const std::string& bytes, const fs::path& file)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(file, n < 0 ? errno : EIO, "Cannot roll back the table:");
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fdatasync(fd) != 0)
        fail(file, errno, "Cannot roll back the table:");
}

/// Whether another holder has `file`'s table lock; false for a file that cannot be opened.
bool lockedElsewhere(const fs::path& file)
{
    const Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    return fd.get() >= 0 && TableLock::isHeldElsewhere(fd.get());
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

JournalOutcome rollBack(const fs::path& table, const Journal& j)
{
    JournalOutcome outcome{true, false, {}};
    // The lock is held while the files are restored, so no other program starts on a half
    // restored table; a kill meanwhile leaves the journal, and restoring again is harmless.
    Fd fd(::open(table.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0 && errno != ENOENT)
        fail(table, errno, "Cannot roll back the unfinished change of the table:");
    if (fd.get() >= 0) {
        std::string detail;
        if (TableLock::tryLock(fd.get(), detail) == TableLock::Result::Busy) {
            outcome.live = true;
            return outcome;
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            fail(table, errno, "Cannot roll back the unfinished change of the table:");
        if (j.tablePresent && (st.st_dev != j.device || st.st_ino != j.inode)) {
            // Another file took the table's name since: the journal is not about it.
            removeJournal(table);
            outcome.note = "A journal of another file named " + quoted(table) + " was found and removed.";
            return outcome;
        }
        if (j.tablePresent)
            writeAll(fd.get(), j.tableBytes, table);
        else if (::unlink(table.c_str()) != 0)
            fail(table, errno, "Cannot remove the table an unfinished change created:");
    } else if (j.tablePresent) {
        throw JournalError("The table " + quoted(table) + " is missing, but its journal " + quoted(journalPath(table))
                           + " holds an unfinished change; restore the table or remove the journal.");
    }
    for (const Journal::CompanionImage& c : j.companions) {
        const fs::path file = companionPath(table, c.extension.c_str());
        if (c.present) {
            std::string message;
            if (!writeFileAtomically(file, c.bytes, message))
                throw JournalError("Cannot roll back the unfinished change of the table: " + message);
        } else if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            fail(file, errno, "Cannot roll back the unfinished change of the table:");
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
    if (!pathExists(table)) {
        // The table moved, which is the rename's last step: only the journal was left.
        removeJournal(table);
        return outcome;
    }
    if (lockedElsewhere(table)) {
        outcome.live = true;
        return outcome;
    }
    for (const auto& [from, to] : j.moves)
        if (!pathExists(from) && pathExists(to) && ::rename(to.c_str(), from.c_str()) != 0)
            fail(to, errno, "Cannot undo the unfinished rename:");
    if (!j.moves.empty())
        syncFolder(j.moves.front().second);
    finish(table);
    outcome.note = "An unfinished rename (" + j.what + ") was undone: " + quoted(table)
        + " keeps its name and the files beside it.";
    return outcome;
}

JournalOutcome completeReplace(const fs::path& table, const Journal& j)
{
    JournalOutcome outcome{true, false, {}};
    // The saving program holds the lock of the staged table and then of the table in place.
    for (const auto& [staged, final] : j.moves)
        if ((pathExists(staged) && lockedElsewhere(staged)) || (final == fs::absolute(table) && lockedElsewhere(table))) {
            outcome.live = true;
            return outcome;
        }
    for (const fs::path& file : j.removals)
        if (::unlink(file.c_str()) != 0 && errno != ENOENT)
            fail(file, errno, "Cannot complete the unfinished save:");
    for (const auto& [staged, final] : j.moves)
        if (pathExists(staged) && ::rename(staged.c_str(), final.c_str()) != 0)
            fail(staged, errno, "Cannot complete the unfinished save:");
    finish(table);
    outcome.note = "An unfinished save (" + j.what + ") into " + quoted(table) + " was completed.";
    return outcome;
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
    JournalWriter out(table, "rollback", what);
    const Fd fd(::open(table.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0 && errno != ENOENT)
        fail(table, errno, "Cannot read the table to journal:");
    if (fd.get() < 0) {
        out.put("table absent\n");
    } else {
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            fail(table, errno, "Cannot read the table to journal:");
        out.put("table " + number(st.st_dev) + " " + number(st.st_ino) + " " + number(std::uint64_t(st.st_size)) + "\n");
        out.copyFrom(fd.get(), std::uint64_t(st.st_size), table);
    }
    for (const Companion& c : companions()) {
        const fs::path file = companionPath(table, c.extension);
        const Fd cfd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (cfd.get() < 0 && errno != ENOENT)
            fail(file, errno, "Cannot read the file to journal:");
        if (cfd.get() < 0) {
            out.put(std::string("companion ") + c.extension + " absent\n");
            continue;
        }
        if (::fstat(cfd.get(), &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_size) > kMaxSmallFileBytes * 8)
            throw JournalError("Cannot journal " + quoted(file) + ": it is not a regular file of a sane size.");
        out.put(std::string("companion ") + c.extension + " present " + number(std::uint64_t(st.st_size)) + "\n");
        out.copyFrom(cfd.get(), std::uint64_t(st.st_size), file);
    }
    out.commit();
}

void writeRenameJournal(const fs::path& from, const fs::path& to, const std::vector<std::pair<fs::path, fs::path>>& moves)
{
    JournalWriter out(from, "rename", "rename to " + to.string());
    for (const auto& [a, b] : moves) {
        out.put("move " + number(a.native().size()) + " " + number(b.native().size()) + "\n");
        out.put(a.native() + "\n" + b.native() + "\n");
    }
    out.commit();
}

void writeReplaceJournal(const fs::path& target, const std::string& what,
                         const std::vector<std::pair<fs::path, fs::path>>& moves, const std::vector<fs::path>& removals)
{
    JournalWriter out(target, "replace", what);
    for (const auto& [a, b] : moves) {
        out.put("move " + number(a.native().size()) + " " + number(b.native().size()) + "\n");
        out.put(a.native() + "\n" + b.native() + "\n");
    }
    for (const fs::path& r : removals)
        out.blob("remove", r.native());
    out.commit();
}

void removeJournal(const fs::path& table)
{
    const fs::path path = journalPath(table);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        fail(path, errno, "Cannot remove the journal");
    syncFolder(path);
}

bool isTableHeldElsewhere(const fs::path& table) { return lockedElsewhere(table); }

JournalOutcome recoverJournal(const fs::path& table)
{
    const fs::path path = journalPath(table);
    if (!pathExists(path))
        return {};
    const std::optional<Journal> j = JournalReader(readJournal(path)).parse();
    if (!j)
        throw JournalError("The journal " + quoted(path) + " is damaged, so the unfinished change it records cannot"
                           " be rolled back; remove it to use the table as it is.");
    if (j->kind == "rollback")
        return rollBack(table, *j);
    if (j->kind == "rename")
        return undoRename(table, *j);
    if (j->kind == "replace")
        return completeReplace(table, *j);
    throw JournalError("The journal " + quoted(path) + " records a change this version does not know (" + j->kind
                       + "); open the table with the version that wrote it.");
}

}  // namespace zelt::document

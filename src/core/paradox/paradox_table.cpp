// SPDX-License-Identifier: GPL-3.0-or-later
// ParadoxTable over a file: open with lock and open-time check, create, row writes, rename.
#include "paradox/paradox_table.h"

#include "paradox/paradox_reader.h"
#include "paradox/paradox_writer.h"
#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "paradox/table_lock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::document {
namespace {

using paradox::TableImage;

/// The table as messages name it: its full path, so that a message says which file it means.
std::string displayName(const std::filesystem::path& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return (ec ? path : full.lexically_normal()).string();
}

std::string systemError(int err) { return systemReason(err); }

/// Owns a file descriptor.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : m_fd(fd) {}
    FileHandle(FileHandle&& other) noexcept : m_fd(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~FileHandle() { reset(); }
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

/// Writes through pwrite; returns only when every byte is in the file.
class FileSink final : public paradox::ByteSink {
public:
    FileSink(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {}
    void write(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override
    {
        if (m_guard && size > 0) {
            try {
                m_guard(offset, size);
            } catch (const std::exception& e) {
                m_failed = true;
                throw ParadoxError(e.what());
            }
        }
        while (size > 0) {
            const ssize_t n = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_failed = true;
                throw ParadoxError("Cannot write to the table '" + m_name + "': " + systemError(n < 0 ? errno : EIO) + ".");
            }
            data += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
    }

    bool failed() const { return m_failed; }
    void setGuard(ParadoxTable::WriteGuard guard) { m_guard = std::move(guard); }

private:
    ParadoxTable::WriteGuard m_guard;
    int m_fd;
    std::string m_name;
    bool m_failed = false;
};

/// Reads up to `size` bytes at `offset` into `out`; the count read (less only at the file's end).
std::size_t readUpTo(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t size, const std::string& name)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ParadoxError("Cannot read the table '" + name + "': " + systemError(errno) + ".");
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::vector<std::uint8_t> readWholeFile(int fd, const std::string& name, bool growRoom)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw ParadoxError("Cannot open the table '" + name + "': " + systemError(errno) + ".");
    if (!S_ISREG(st.st_mode))
        throw ParadoxError("Cannot open the table '" + name + "': it is not a file.");
    // 65535 blocks of at most 32 KB plus a header: anything larger is not a table.
    if (st.st_size > static_cast<off_t>(0xFFFF) * 32768 + 65536)
        throw ParadoxError("Cannot open the table '" + name + "': the file is too large to be a Paradox table.");
    // Room to grow by a quarter without moving the image: a reallocation in the middle of an
    // insert would stall that one post for milliseconds on a large table.
    const auto size = static_cast<std::size_t>(st.st_size);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(growRoom ? size + size / 4 + 256 * 1024 : size + 32768);
    bytes.resize(size);
    bytes.resize(readUpTo(fd, 0, bytes.data(), bytes.size(), name));
    return bytes;
}

/// Reads `size` bytes at `offset` (fewer at the file's end; the rest stays zero).
void readAt(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t size, const std::string& name)
{
    const std::size_t done = readUpTo(fd, offset, out, size, name);
    std::fill(out + done, out + size, std::uint8_t{0});
}

/// The facts and the block chain of a table, read from its header and its blocks' headers.
TableImage readHeaderOnly(int fd, const std::string& name, int fallbackCodePage, paradox::ReadFindings& findings)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw ParadoxError("Cannot open the table '" + name + "': " + systemError(errno) + ".");
    if (st.st_size > static_cast<off_t>(0xFFFF) * 32768 + 65536)
        throw ParadoxError("Cannot open the table '" + name + "': the file is too large to be a Paradox table.");
    const auto fileSize = static_cast<std::size_t>(st.st_size);
    // The header size is a 16-bit field: its first 64 KB hold every header.
    std::vector<std::uint8_t> header(std::min<std::size_t>(fileSize, 0x10000));
    readAt(fd, 0, header.data(), header.size(), name);
    const paradox::BlockPeek peek = [fd, &name](std::size_t offset) {
        std::uint8_t h[paradox::kBlockHeaderSize];
        readAt(fd, offset, h, sizeof h, name);
        return paradox::getBlockHeader(h);
    };
    return paradox::readTableHeader(std::move(header), fileSize, peek, name, fallbackCodePage, findings);
}

/// Makes a new directory entry durable (best effort: not every file system allows it).
void syncDirectory(const std::filesystem::path& path)
{
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    FileHandle fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

/// What the reader found and trusted the block chain over: the table is whole, so these are notes.
std::vector<Diagnostic> asNotes(std::vector<std::string> texts)
{
    std::vector<Diagnostic> notes;
    notes.reserve(texts.size());
    for (std::string& t : texts)
        notes.push_back(Diagnostic::note(std::move(t)));
    return notes;
}

class ParadoxFile final : public ParadoxTable {
public:
    ParadoxFile(std::string name, FileHandle fd, TableImage image, paradox::ReadFindings findings, bool writable)
        : m_name(std::move(name)), m_fd(std::move(fd)), m_img(std::move(image)), m_notes(asNotes(std::move(findings.notes))),
          m_reason(std::move(findings.readOnlyReason)), m_damaged(findings.damaged),
          m_readOnly(!writable || !m_reason.empty()),
          m_sink(m_fd.get(), m_name)
    {
    }
    ~ParadoxFile() override
    {
        if (m_dirty && !m_readOnly)
            ::fdatasync(m_fd.get());
    }

    void setReadOnly(std::string reason)
    {
        m_readOnly = true;
        if (m_reason.empty())
            m_reason = std::move(reason);
    }
    void addNote(Diagnostic note) { m_notes.push_back(std::move(note)); }
    void releaseLock() { TableLock::unlock(m_fd.get()); }
    /// The header counters and back links are set to match the block chain with the first change
    /// written, never at open: a command that opens the table and then refuses, or one that only
    /// reads, leaves the file as it found it, and a change's journal is written before its first
    /// write.
    void repairWithFirstChange(std::vector<std::size_t> staleLinks)
    {
        m_repairPending = true;
        m_staleLinks = std::move(staleLinks);
    }

    const std::vector<FieldDef>& fields() const override { return m_img.fields; }
    const ParadoxInfo& info() const override { return m_img.info; }
    bool isReadOnly() const override { return m_readOnly; }
    const std::string& readOnlyReason() const override { return m_reason; }
    bool isDamaged() const override { return m_damaged; }
    const std::vector<Diagnostic>& openNotes() const override { return m_notes; }
    std::size_t rowCount() const override { return m_img.rowCount(); }

    std::vector<Row> readAll() const override
    {
        checkRows();
        return paradox::decodeAll(m_img);
    }

    Row readRow(std::size_t index) const override
    {
        checkRows();
        checkIndex(index, m_img.rowCount());
        return paradox::decodeRecord(m_img, recordAt(index));
    }

    Value readValue(std::size_t index, std::size_t field) const override
    {
        checkRows();
        checkIndex(index, m_img.rowCount());
        if (field >= m_img.fields.size())
            return {};
        const FieldDef& f = m_img.fields[field];
        return paradox::decodeValue(f.type, recordAt(index) + m_img.offsets[field], f.size, *m_img.codePage);
    }

    void validate(const Row& row) const override
    {
        std::vector<std::uint8_t> record(m_img.recordSize, 0);
        paradox::encodeRecord(m_img, row, record.data());
    }

    void updateRow(std::size_t index, const Row& row) override
    {
        checkWritable();
        checkIndex(index, m_img.rowCount());
        // Start from the stored bytes so fields without a value form here keep their content.
        std::vector<std::uint8_t> record(m_img.recordSize);
        std::memcpy(record.data(), m_img.bytes.data() + m_img.recordOffset(m_img.locate(index)), m_img.recordSize);
        paradox::encodeRecord(m_img, row, record.data());
        write([&](paradox::TableWriter& w) { w.update(index, record.data()); });
    }

    void insertRow(std::size_t index, const Row& row) override
    {
        checkWritable();
        checkIndex(index, m_img.rowCount() + 1);
        std::vector<std::uint8_t> record(m_img.recordSize, 0);
        paradox::encodeRecord(m_img, row, record.data());
        write([&](paradox::TableWriter& w) { w.insert(index, record.data()); });
    }

    void appendRow(const Row& row) override { insertRow(m_img.rowCount(), row); }

    void deleteRow(std::size_t index) override
    {
        checkWritable();
        checkIndex(index, m_img.rowCount());
        write([&](paradox::TableWriter& w) { w.remove(index); });
    }

    void setWriteGuard(WriteGuard guard) override { m_sink.setGuard(std::move(guard)); }

    void sync() override
    {
        // A write or a flush that failed is failed for good: the system may have dropped the
        // rows it could not write and report success for the next flush.
        if (!m_failure.empty())
            throw ParadoxError(m_failure);
        if (m_readOnly || m_fd.get() < 0 || !m_dirty)
            return;  // nothing written since the last flush
        if (::fdatasync(m_fd.get()) != 0) {
            m_failure = "Cannot flush the table '" + m_name + "' to disk: " + systemError(errno)
                + ". No further changes are written; open the table again.";
            setReadOnly(m_failure);
            throw ParadoxError(m_failure);
        }
        m_dirty = false;
    }

private:
    void checkWritable() const
    {
        if (m_readOnly)
            throw ParadoxError("The table '" + m_name + "' is open read-only. " + m_reason);
    }
    /// A table opened for its header keeps no blocks.
    void checkRows() const
    {
        if (m_img.bytes.size() <= m_img.headerSize && m_img.rowCount() > 0)
            throw ParadoxError("The rows of the table '" + m_name + "' were not read (opened for its header only).");
    }
    const std::uint8_t* recordAt(std::size_t index) const
    {
        return m_img.bytes.data() + m_img.recordOffset(m_img.locate(index));
    }
    void checkIndex(std::size_t index, std::size_t limit) const
    {
        if (index >= limit)
            throw ParadoxError("Row " + std::to_string(index + 1) + " does not exist in the table '" + m_name + "'.");
    }
    /// Runs one write operation. Should a write fail half-way, memory and file may differ: the
    /// table then takes no further writes until it is opened again.
    template<typename Op>
    void write(Op op)
    {
        paradox::TableWriter writer(m_img, m_sink);
        m_dirty = true;
        try {
            if (m_repairPending) {
                writer.repair(m_staleLinks);
                m_repairPending = false;
            }
            op(writer);
        } catch (const ParadoxError& e) {
            if (m_sink.failed()) {
                m_failure = std::string(e.what()) + " No further changes are written; open the table again.";
                setReadOnly(m_failure);
            }
            throw;
        } catch (...) {
            setReadOnly("The table '" + m_name + "' stopped taking changes after an internal error; open it again.");
            throw;
        }
    }

    std::string m_name;
    FileHandle m_fd;
    TableImage m_img;
    std::vector<Diagnostic> m_notes;
    std::string m_reason;
    bool m_damaged;
    bool m_readOnly;
    bool m_dirty = false;
    bool m_repairPending = false;
    std::string m_failure;  ///< a write or flush failed: every later flush fails with this
    std::vector<std::size_t> m_staleLinks;
    FileSink m_sink;
};

/// Refuses a descriptor that is not a regular file (a named pipe, a device, a folder) before
/// anything is locked, truncated or read through it.
void requireRegular(int fd, const std::string& name, const char* action)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw ParadoxError(std::string("Cannot ") + action + " the table '" + name + "': " + systemError(errno) + ".");
    const std::string reason = irregularFileReason(st.st_mode, 0, 1);
    if (!reason.empty())
        throw ParadoxError(std::string("Cannot ") + action + " the table '" + name + "': it " + reason + ".");
}

/// Refuses a path that names something other than a regular file before it is opened: a folder
/// would otherwise give the system's less clear "Is a directory".
void requireRegularPath(const std::filesystem::path& path, const std::string& name, const char* action)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return;  // a missing file is reported by open()
    const std::string reason = irregularFileReason(st.st_mode, 0, 1);
    if (!reason.empty())
        throw ParadoxError(std::string("Cannot ") + action + " the table '" + name + "': it " + reason + ".");
}

/// Opens the file for writing when allowed and takes the lock; says why not otherwise.
FileHandle openLocked(const std::filesystem::path& path, bool wantWrite, std::string& whyReadOnly, std::string& note,
                      bool& heldElsewhere)
{
    const std::string name = displayName(path);
    requireRegularPath(path, name, "open");
    if (wantWrite) {
        // O_NONBLOCK: a named pipe in the table's place must not wait for a writer; the
        // descriptor's fstat() refuses anything but a regular file before it is locked or read.
        FileHandle fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() >= 0)
            requireRegular(fd.get(), name, "open");
        if (fd.get() >= 0) {
            std::string detail;
            switch (TableLock::tryLock(fd.get(), detail)) {
            case TableLock::Result::Locked: return fd;
            case TableLock::Result::Unsupported:
                note = "The table '" + name + "' could not be locked against other programs (" + detail + ").";
                return fd;
            case TableLock::Result::Busy:
                whyReadOnly = "The table '" + name + "' is in use by another program; it is opened read-only.";
                heldElsewhere = true;
                break;
            }
        } else if (errno == EACCES || errno == EROFS || errno == EPERM) {
            whyReadOnly = "The table '" + name + "' cannot be written (" + systemError(errno) + "); it is opened read-only.";
        } else {
            throw ParadoxError("Cannot open the table '" + name + "': " + systemError(errno) + ".");
        }
    }
    FileHandle fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw ParadoxError("Cannot open the table '" + name + "': " + systemError(errno) + ".");
    requireRegular(fd.get(), name, "open");
    if (!wantWrite && TableLock::isHeldElsewhere(fd.get())) {
        whyReadOnly = "The table '" + name + "' is in use by another program; it is opened read-only.";
        heldElsewhere = true;
    }
    return fd;
}

/// Reads and checks the table file. A program holding the table's lock may write while we read
/// without it; every state it leaves on disk is whole, but a read across its writes (a header
/// from before, a block from after) can look damaged. Such a read is tried again; a table that
/// keeps reading damaged while its bytes change is in use, not damaged. Without another holder,
/// or when two reads in a row give the same bytes, what is found is the file's own state.
TableImage readSettled(int fd, const std::string& name, int fallbackCodePage, bool othersMayWrite, bool growRoom,
                       paradox::ReadFindings& findings)
{
    constexpr int kAttempts = 25;
    std::vector<std::uint8_t> previous;
    for (int attempt = 1;; ++attempt) {
        std::vector<std::uint8_t> bytes = readWholeFile(fd, name, growRoom);
        const bool settled = !othersMayWrite || bytes == previous;
        if (othersMayWrite)
            previous = bytes;
        findings = {};
        try {
            TableImage image = paradox::readTable(std::move(bytes), name, fallbackCodePage, findings);
            if (settled || (!findings.damaged && !findings.needsRepair))
                return image;
        } catch (const ParadoxError&) {
            if (settled)
                throw;
        }
        if (attempt == kAttempts)
            throw ParadoxError("The table '" + name + "' is in use by another program, which changed it while it was"
                               " being read; try again when that program has finished writing.");
        const timespec pause{0, 4'000'000L * std::min(attempt, 10)};
        ::nanosleep(&pause, nullptr);
    }
}

}  // namespace

std::unique_ptr<ParadoxTable> ParadoxTable::open(const std::filesystem::path& path, const ParadoxOpenOptions& options)
{
    const std::string name = displayName(path);
    std::string whyReadOnly;
    std::string lockNote;
    bool heldElsewhere = false;
    const bool readOnly = options.readOnly || options.headerOnly;
    FileHandle fd = openLocked(path, !readOnly, whyReadOnly, lockNote, heldElsewhere);
    const bool writable = !readOnly && whyReadOnly.empty();
    paradox::ReadFindings findings;
    TableImage image = options.headerOnly
        ? readHeaderOnly(fd.get(), name, options.fallbackCodePage, findings)
        : readSettled(fd.get(), name, options.fallbackCodePage, heldElsewhere, writable, findings);
    const bool repair = findings.needsRepair;
    const auto staleLinks = findings.staleLinks;
    auto table = std::make_unique<ParadoxFile>(name, std::move(fd), std::move(image), std::move(findings), writable);
    if (!lockNote.empty())
        table->addNote(Diagnostic::warning(lockNote));
    if (!whyReadOnly.empty())
        table->setReadOnly(whyReadOnly);
    else if (writable && table->isReadOnly())
        table->releaseLock();  // a keyed or damaged table: leave it free for programs that can write it
    if (repair && !table->isReadOnly()) {
        table->repairWithFirstChange(staleLinks);
        table->addNote(Diagnostic::note("The header and links of '" + name
                                        + "' are corrected to match the block chain with the table's next change."));
    }
    return table;
}

std::unique_ptr<ParadoxTable> ParadoxTable::create(const std::filesystem::path& path, const std::vector<FieldDef>& fields,
                                                   int codePage, bool mustBeNew)
{
    const std::string name = displayName(path);
    paradox::NewTableSpec request{fields, codePage, name, static_cast<std::uint32_t>(std::time(nullptr))};
    std::vector<std::uint8_t> bytes = paradox::buildNewTable(request);
    // Lock before truncating: a table another program is editing must not be overwritten.
    requireRegularPath(path, name, "create");
    struct stat before {};
    const bool existed = ::lstat(path.c_str(), &before) == 0;
    FileHandle fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | (mustBeNew ? O_EXCL : 0), 0666));
    if (fd.get() < 0 && errno == EEXIST)
        throw ParadoxError("Cannot create the table '" + name + "': a file of that name already exists.");
    if (fd.get() < 0)
        throw ParadoxError("Cannot create the table '" + name + "': " + systemError(errno) + ".");
    requireRegular(fd.get(), name, "create");
    std::string detail;
    if (TableLock::tryLock(fd.get(), detail) == TableLock::Result::Busy)
        throw ParadoxError("Cannot create the table '" + name + "': it is in use by another program.");
    try {
        if (::ftruncate(fd.get(), 0) != 0)
            throw ParadoxError("Cannot create the table '" + name + "': " + systemError(errno) + ".");
        FileSink(fd.get(), name).write(0, bytes.data(), bytes.size());
        if (::fdatasync(fd.get()) != 0)
            throw ParadoxError("Cannot create the table '" + name + "': " + systemError(errno) + ".");
        // A new name that is not in its folder on the disk is lost with the power.
        if (const int error = syncFolderOf(path); error != 0)
            throw ParadoxError("Cannot create the table '" + name + "': cannot sync the folder "
                               + fileErrorText(folderOf(path), error) + ".");
    } catch (const ParadoxError&) {
        // A file this call made and could not fill is no table: it goes again.
        if (!existed)
            ::unlink(path.c_str());
        throw;
    }
    paradox::ReadFindings findings;
    TableImage image = paradox::readTable(std::move(bytes), name, codePage, findings);
    return std::make_unique<ParadoxFile>(name, std::move(fd), std::move(image), std::move(findings), true);
}

void renameTable(const std::filesystem::path& from, const std::filesystem::path& to)
{
    const std::string name = displayName(from);
    const std::string prefix = "Cannot rename the table '" + name + "' to '" + to.string() + "': ";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(from, ec))
        throw ParadoxError(prefix + "the table does not exist.");
    if (std::filesystem::exists(to, ec))
        throw ParadoxError(prefix + "a file of that name already exists.");
    // Holding the lock while renaming keeps another program from starting to edit it meanwhile.
    FileHandle fd(::open(from.c_str(), O_RDWR | O_CLOEXEC));
    std::string detail;
    if (fd.get() >= 0 && TableLock::tryLock(fd.get(), detail) == TableLock::Result::Busy)
        throw ParadoxError(prefix + "it is in use by another program.");
    // The lock lives on the table file itself, so the table is the only file to move.
    bool done = false;
#ifdef RENAME_NOREPLACE
    done = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
    if (!done && errno != EINVAL && errno != ENOSYS)
        throw ParadoxError(prefix + systemError(errno) + ".");
#endif
    if (!done && ::rename(from.c_str(), to.c_str()) != 0)
        throw ParadoxError(prefix + systemError(errno) + ".");
    syncDirectory(to);
    if (from.parent_path() != to.parent_path())
        syncDirectory(from);
}

}  // namespace zelt::document

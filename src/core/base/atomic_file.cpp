// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a whole file so that a kill, a full disk or an I/O error leaves the old file or the new.
#include "base/atomic_file.h"

#include "base/regular_file.h"

#include <charconv>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::document {

namespace fs = std::filesystem;

namespace {

/// Puts the temporary file in the target's place without replacing one that exists. A file
/// system without renameat2 gets a hard link and the temporary name removed; without links
/// either, a look and a rename, which leaves only a short window.
int renameNoReplace(const fs::path& from, const fs::path& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

std::string systemReason(int error)
{
    // strerror() follows LC_MESSAGES, which the desktop sets from the user's environment; our
    // messages are English throughout, so the reason is taken from the C locale.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    if (c != locale_t(nullptr))
        return strerror_l(error, c);
    return "error " + std::to_string(error);
}

std::string fileErrorText(const fs::path& path, int error)
{
    return "'" + path.string() + "': " + systemReason(error);
}

std::string asSentence(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    if (!text.empty() && text.back() != '.' && text.back() != '!' && text.back() != '?')
        text += '.';
    return text;
}

int copyFileInto(const fs::path& from, int to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    int error = in < 0 ? errno : 0;
    char buffer[64 * 1024];
    while (error == 0) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < n && error == 0;) {
            const ssize_t w = ::write(to, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                error = w < 0 ? errno : EIO;
            else
                done += w;
        }
    }
    if (in >= 0)
        ::close(in);
    return error;
}

namespace {

void matchAccess(int fd, const struct stat& model)
{
    // The owner can only be given by the superuser; the group by an owner who is in it. The
    // mode is set after, because a change of owner clears the set-id bits.
    const uid_t owner = ::geteuid() == 0 ? model.st_uid : uid_t(-1);
    (void)::fchown(fd, owner, model.st_gid);
    (void)::fchmod(fd, model.st_mode & 07777);
}

}  // namespace

int matchAccess(int fd, const fs::path& model)
{
    struct stat st {};
    if (::stat(model.c_str(), &st) != 0)
        return errno;
    matchAccess(fd, st);
    return 0;
}

int narrowAccess(int fd, const fs::path& model)
{
    struct stat st {}, own {};
    if (::stat(model.c_str(), &st) != 0 || ::fstat(fd, &own) != 0)
        return errno;
    const mode_t narrowed = own.st_mode & st.st_mode & 07777;
    if (narrowed != (own.st_mode & 07777) && ::fchmod(fd, narrowed) != 0)
        return errno;
    return 0;
}

fs::path folderOf(const fs::path& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal().parent_path();
}

int syncFolderOf(const fs::path& path)
{
    fs::path dir = path.parent_path();
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    // Some file systems refuse fsync on a folder (EINVAL); the rename is as durable as they allow.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    ::close(fd);
    return error;
}

AtomicFile::~AtomicFile()
{
    discard();
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : m_fd(other.m_fd), m_target(std::move(other.m_target)), m_temp(std::move(other.m_temp)), m_inPlace(other.m_inPlace)
{
    other.m_fd = -1;
    other.m_temp.clear();
}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept
{
    if (this != &other) {
        discard();
        m_fd = other.m_fd;
        m_target = std::move(other.m_target);
        m_temp = std::move(other.m_temp);
        m_inPlace = other.m_inPlace;
        other.m_fd = -1;
        other.m_temp.clear();
    }
    return *this;
}

AtomicFile AtomicFile::begin(const fs::path& target, std::string& message, std::uintmax_t maxExistingBytes)
{
    AtomicFile file;
    std::error_code ec;
    fs::path resolved = fs::absolute(target, ec);
    if (ec)
        resolved = target;
    // A link is followed: the file it names is replaced, the link stays.
    if (fs::is_symlink(fs::symlink_status(resolved, ec))) {
        const fs::path to = fs::read_symlink(resolved, ec);
        if (!ec)
            resolved = to.is_absolute() ? to : resolved.parent_path() / to;
    }
    mode_t mode = 0666;
    bool keepMode = false;
    struct stat st {};
    if (::stat(resolved.c_str(), &st) == 0) {
        const std::string reason = irregularFileReason(st.st_mode, std::uintmax_t(st.st_size), maxExistingBytes);
        if (!reason.empty()) {
            message = "'" + resolved.string() + "' " + reason + "; it was left as it is.";
            return file;
        }
        mode = st.st_mode & 07777;
        keepMode = true;
    } else if (errno != ENOENT) {
        message = fileErrorText(resolved, errno);
        return file;
    }
    const fs::path dir = resolved.parent_path().empty() ? fs::path(".") : resolved.parent_path();
    struct stat dirSt {};
    if (::stat(dir.c_str(), &dirSt) != 0) {
        message = fileErrorText(dir, errno);
        return file;
    }
    if (!S_ISDIR(dirSt.st_mode)) {
        message = fileErrorText(dir, ENOTDIR);
        return file;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, unsigned(random()), 16).ptr;
        fs::path temp = resolved;
        temp += ".zelt-" + std::string(digits, end);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, keepMode ? 0600 : mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            // The folder is the one that cannot be written; say so with the target's name.
            message = fileErrorText(resolved, errno);
            return file;
        }
        if (keepMode)
            matchAccess(fd, st);
        file.m_fd = fd;
        file.m_target = resolved;
        file.m_temp = std::move(temp);
        return file;
    }
    message = fileErrorText(resolved, EEXIST);
    return file;
}

bool AtomicFile::fail(int error, std::string& message)
{
    message = fileErrorText(m_target, error);
    discard();
    return false;
}

bool AtomicFile::write(const void* data, std::size_t size, std::string& message)
{
    if (m_fd < 0)
        return fail(EBADF, message);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(m_fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno, message);
        }
        if (n == 0)
            return fail(EIO, message);
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool AtomicFile::commit(std::string& message)
{
    return finish(true, message);
}

bool AtomicFile::commitAsNew(std::string& message)
{
    return finish(false, message);
}

bool AtomicFile::finish(bool replace, std::string& message)
{
    if (m_fd < 0)
        return fail(EBADF, message);
    if (::fsync(m_fd) != 0)
        return fail(errno, message);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        m_fd = -1;
        return fail(error, message);
    }
    if (replace && ::rename(m_temp.c_str(), m_target.c_str()) != 0)
        return fail(errno, message);
    if (!replace)
        if (const int error = renameNoReplace(m_temp, m_target); error != 0)
            return fail(error, message);
    m_temp.clear();
    m_inPlace = true;
    if (const int error = syncFolderOf(m_target); error != 0) {
        // The new content is in place; only its durability across a power loss is in doubt.
        message = "Cannot sync the folder " + fileErrorText(folderOf(m_target), error);
        return false;
    }
    return true;
}

void AtomicFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool writeFileAtomically(const fs::path& target, std::string_view bytes, std::string& message,
                         std::uintmax_t maxExistingBytes, bool* inPlace)
{
    AtomicFile file = AtomicFile::begin(target, message, maxExistingBytes);
    if (!file.isOpen())
        return false;
    const bool written = file.write(bytes, message) && file.commit(message);
    if (inPlace)
        *inPlace = file.isInPlace();
    return written;
}

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the files we read or write in place only when they are regular files of a sane size.
#include "base/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::document {

namespace {

std::string sizeText(std::uintmax_t bytes)
{
    if (bytes >= (std::uintmax_t{1} << 30) && bytes % (std::uintmax_t{1} << 30) == 0)
        return std::to_string(bytes >> 30) + " GiB";
    if (bytes >= (std::uintmax_t{1} << 20) && bytes % (std::uintmax_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string irregularFileReason(unsigned mode, std::uintmax_t size, std::uintmax_t maxBytes)
{
    const std::string notRegular = ", not a regular file";
    if (S_ISFIFO(mode))
        return "is a named pipe" + notRegular;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device" + notRegular;
    if (S_ISDIR(mode))
        return "is a folder" + notRegular;
    if (S_ISSOCK(mode))
        return "is a socket" + notRegular;
    if (!S_ISREG(mode))
        return "is not a regular file";
    if (size > maxBytes)
        return "is larger than " + sizeText(maxBytes) + " (" + std::to_string(size) + " bytes)";
    return {};
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_fd(other.m_fd), m_size(other.m_size), m_max(other.m_max)
{
    other.m_fd = -1;
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_size = other.m_size;
        m_max = other.m_max;
        other.m_fd = -1;
    }
    return *this;
}

int RegularFile::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

RegularFile RegularFile::open(const std::filesystem::path& path, int flags, std::uintmax_t maxBytes,
                              std::string& reason, int& error)
{
    reason.clear();
    error = 0;
    // Opening a folder for writing fails with EISDIR, which would hide the clearer reason.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0) {
        reason = irregularFileReason(before.st_mode, static_cast<std::uintmax_t>(before.st_size), maxBytes);
        if (!reason.empty())
            return {};
    }
    int fd = -1;
    do
        fd = ::open(path.c_str(), (flags & ~O_TRUNC) | O_NONBLOCK | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return {};
    }
    RegularFile file(fd, maxBytes);
    // The name may have been replaced between stat() and open(): the descriptor decides.
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = errno;
        return {};
    }
    reason = irregularFileReason(st.st_mode, static_cast<std::uintmax_t>(st.st_size), maxBytes);
    if (!reason.empty())
        return {};
    // Blocking again: on a regular file O_NONBLOCK has no effect, this only keeps later use plain.
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    file.m_size = static_cast<std::uintmax_t>(st.st_size);
    return file;
}

std::optional<std::vector<char>> RegularFile::readAll(int& error) const
{
    error = 0;
    std::vector<char> bytes;
    char chunk[16384];
    for (off_t pos = 0;;) {
        const ssize_t n = ::pread(m_fd, chunk, sizeof chunk, pos);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return std::nullopt;
        }
        if (n == 0)
            return bytes;
        bytes.insert(bytes.end(), chunk, chunk + n);
        pos += n;
        if (bytes.size() > m_max) {
            error = EFBIG;
            return std::nullopt;
        }
    }
}

bool RegularFile::replaceAll(const std::vector<char>& bytes, int& error) const
{
    error = 0;
    if (::ftruncate(m_fd, 0) != 0) {
        error = errno;
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// A binary map file: positioned reads and writes that check every result.
#include "export/map_file.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "export/ocad_writer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::mapexport {

MapFile::MapFile(const std::filesystem::path& path, Mode mode) : m_mode(mode)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    m_name = (ec ? path : full).string();
    if (mode == Mode::CreateNew) {
        // A new map is written beside its name and put there by close() when whole, so a kill
        // or a full disk leaves no partial map; a file that appeared meanwhile is not replaced.
        std::string message;
        m_new = document::AtomicFile::begin(path, message);
        if (!m_new.isOpen())
            throw MapIoError("Cannot create the map: " + message);
        m_fd = m_new.fd();
        return;
    }
    std::string reason;
    int error = 0;
    document::RegularFile file = document::RegularFile::open(path, mode == Mode::Read ? O_RDONLY : O_RDWR,
                                                             document::kMaxMapBytes, reason, error);
    if (!reason.empty())
        throw MapIoError("The map '" + m_name + "' " + reason + "; it is not opened.");
    if (!file.isOpen())
        fail(mode == Mode::Read ? "open for reading" : "open for reading and writing", error);
    m_fd = file.release();
}

MapFile::~MapFile()
{
    if (m_fd >= 0 && !m_new.isOpen())
        ::close(m_fd);
}

void MapFile::fail(const std::string& action, int err)
{
    const std::string text = "Cannot " + action + " the file '" + m_name + "'"
                             + (err ? ": " + document::systemReason(err) : std::string()) + ".";
    if (action == "write to" || action == "close")
        throw MapWriteError(text);
    throw MapIoError(text);
}

std::int64_t MapFile::size()
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        fail("read the size of", errno);
    return std::int64_t(st.st_size);
}

void MapFile::read(std::int64_t pos, void* buffer, std::size_t n, const char* what)
{
    if (pos < 0)
        fail(std::string("read ") + what + " of", EINVAL);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(m_fd, out + done, n - done, off_t(pos) + off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(std::string("read ") + what + " of", errno);
        if (got == 0)
            throw MapIoError("The file '" + m_name + "' is truncated: " + what + " at offset " + std::to_string(pos) +
                             " runs past the end of the file.");
        done += std::size_t(got);
    }
}

void MapFile::write(std::int64_t pos, const void* buffer, std::size_t n)
{
    if (pos < 0)
        fail("write to", EINVAL);
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(m_fd, in + done, n - done, off_t(pos) + off_t(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail("write to", put < 0 ? errno : EIO);
        done += std::size_t(put);
    }
}

void MapFile::close()
{
    if (m_new.isOpen()) {
        m_fd = -1;
        std::string message;
        if (!m_new.commitAsNew(message))
            throw MapIoError("Cannot create the map: " + message);
        return;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (fd >= 0 && ::close(fd) != 0)
        fail("close", errno);
}

}  // namespace zelt::mapexport

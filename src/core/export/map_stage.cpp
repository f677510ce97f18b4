// SPDX-License-Identifier: GPL-3.0-or-later
// A map changed as a whole: objects are appended to a copy, which then takes the map's place.
#include "export/map_stage.h"

#include "base/atomic_file.h"
#include "export/ocad_writer.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::mapexport {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& map, int error)
{
    throw MapIoError("Cannot write the map " + document::fileErrorText(map, error) + "; it was left as it was.");
}

/// A step of putting the finished copy in the map's place failed: a write error, so that the
/// run is not committed once more (which would replace the map after all).
[[noreturn]] void failCommit(const fs::path& map, int error)
{
    throw MapWriteError("Cannot write the map " + document::fileErrorText(map, error) + "; it was left as it was.");
}

/// Creates a new file beside `map`; returns its descriptor, its name in `staged`.
int createBeside(const fs::path& map, mode_t mode, fs::path& staged)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, unsigned(random()), 16).ptr;
        staged = map;
        staged += ".zelt-" + std::string(digits, end);
        const int fd = ::open(staged.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

StagedMap::StagedMap(const fs::path& map, std::int32_t startX, std::int32_t startY, const MapGeoreference* georef)
    : m_map(map)
{
    struct stat st {};
    const bool exists = ::stat(map.c_str(), &st) == 0;
    if (exists) {
        // Read and checked as the map itself, so that a refusal names it; nothing is written.
        MapAppender(map).close();
        if (::access(map.c_str(), W_OK) != 0)
            fail(map, errno);
    }
    // Private until it is whole; then it takes the map's group and mode, so that the map keeps
    // who may read and write it.
    const int fd = createBeside(map, exists ? 0600 : 0666, m_staged);
    if (fd < 0)
        fail(map, errno);
    int error = exists ? document::copyFileInto(map, fd) : 0;
    if (exists && error == 0)
        error = document::matchAccess(fd, map);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(m_staged.c_str());
        fail(map, error);
    }
    if (!exists) {
        ::unlink(m_staged.c_str());   // the template goes there as a new file
        try {
            PrepareTarget(m_staged, startX, startY, georef);
        } catch (...) {
            ::unlink(m_staged.c_str());
            throw;
        }
    }
}

StagedMap::~StagedMap()
{
    if (!m_staged.empty())
        ::unlink(m_staged.c_str());
}

void StagedMap::commit()
{
    const int fd = ::open(m_staged.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        failCommit(m_map, error);
    }
    ::close(fd);
    if (::rename(m_staged.c_str(), m_map.c_str()) != 0)
        failCommit(m_map, errno);
    m_staged.clear();
    if (const int error = document::syncFolderOf(m_map); error != 0)
        throw document::NotDurableError("The map '" + m_map.string() + "' was written, but its folder "
                                        + document::fileErrorText(document::folderOf(m_map), error)
                                        + " could not be synced; a power loss may still undo the export.");
}

}  // namespace zelt::mapexport

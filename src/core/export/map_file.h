// SPDX-License-Identifier: GPL-3.0-or-later
// A binary map file: positioned reads and writes that check every result.
#pragma once

#include "base/atomic_file.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace zelt::mapexport {

/// Every failure raises MapIoError naming the file, the part being read and the system's reason.
/// An existing file is used only when it is a regular file of at most 2 GiB: a named pipe, a
/// device or a folder is refused before anything is read from it or written to it.
class MapFile {
public:
    /// CreateNew writes a temporary file beside `path` that close() puts at `path` (never over a
    /// file that appeared meanwhile); dropped without close(), it leaves nothing behind.
    enum class Mode { Read, ReadWrite, CreateNew };

    MapFile(const std::filesystem::path& path, Mode mode);
    ~MapFile();
    MapFile(const MapFile&) = delete;
    MapFile& operator=(const MapFile&) = delete;

    Mode mode() const { return m_mode; }
    std::int64_t size();
    /// Reads exactly `n` bytes at `pos`; a short read means the file is truncated there.
    void read(std::int64_t pos, void* buffer, std::size_t n, const char* what);
    /// Writes all `n` bytes at `pos` straight to the file (no buffer of its own: what returned
    /// is in the file, in the order written).
    void write(std::int64_t pos, const void* buffer, std::size_t n);
    /// Closes; a failing close is reported (the destructor only closes).
    void close();

private:
    [[noreturn]] void fail(const std::string& action, int err);

    int m_fd = -1;
    document::AtomicFile m_new;  ///< the temporary file of a new map, until close()
    Mode m_mode;
    std::string m_name;
};

}  // namespace zelt::mapexport

// SPDX-License-Identifier: GPL-3.0-or-later
// A binary file opened for one operation: positioned reads and writes that check every result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace zelt::mapexport {

/// Every failure raises MapIoError naming the file, the part being read and the system's reason.
class MapFile {
public:
    enum class Mode { Read, ReadWrite, CreateNew };

    MapFile(const std::filesystem::path& path, Mode mode);
    ~MapFile();
    MapFile(const MapFile&) = delete;
    MapFile& operator=(const MapFile&) = delete;

    std::int64_t size();
    /// Reads exactly `n` bytes at `pos`; a short read means the file is truncated there.
    void read(std::int64_t pos, void* buffer, std::size_t n, const char* what);
    void write(std::int64_t pos, const void* buffer, std::size_t n);
    /// Flushes and closes; a failing flush is reported (the destructor only closes).
    void close();

private:
    [[noreturn]] void fail(const std::string& action);

    std::FILE* m_file = nullptr;
    std::string m_name;
};

}  // namespace zelt::mapexport

// SPDX-License-Identifier: GPL-3.0-or-later
// Checked positioned file access for the map writer.
#include "export/map_file.h"

#include "export/ocad_writer.h"

#include <cerrno>
#include <cstring>

namespace zelt::mapexport {

MapFile::MapFile(const std::filesystem::path& path, Mode mode) : m_name(path.string())
{
    // "x" refuses to replace a file that appeared since the caller looked.
    const char* how = mode == Mode::Read ? "rb" : mode == Mode::ReadWrite ? "r+b" : "wbx";
    m_file = std::fopen(m_name.c_str(), how);
    if (!m_file)
        fail(mode == Mode::Read ? "open for reading" : mode == Mode::ReadWrite ? "open for reading and writing"
                                                                               : "create");
}

MapFile::~MapFile()
{
    if (m_file)
        std::fclose(m_file);
}

void MapFile::fail(const std::string& action)
{
    const int err = errno;
    throw MapIoError("Cannot " + action + " the file '" + m_name + "'" + (err ? ": " + std::string(std::strerror(err)) : std::string()) + ".");
}

std::int64_t MapFile::size()
{
    errno = 0;
    if (std::fseek(m_file, 0, SEEK_END) != 0)
        fail("read the size of");
    const long end = std::ftell(m_file);
    if (end < 0)
        fail("read the size of");
    return end;
}

void MapFile::read(std::int64_t pos, void* buffer, std::size_t n, const char* what)
{
    errno = 0;
    if (pos < 0 || std::fseek(m_file, long(pos), SEEK_SET) != 0)
        fail(std::string("read ") + what + " of");
    if (std::fread(buffer, 1, n, m_file) != n) {
        if (std::ferror(m_file))
            fail(std::string("read ") + what + " of");
        throw MapIoError("The file '" + m_name + "' is truncated: " + what + " at offset " + std::to_string(pos) +
                         " runs past the end of the file.");
    }
}

void MapFile::write(std::int64_t pos, const void* buffer, std::size_t n)
{
    errno = 0;
    if (std::fseek(m_file, long(pos), SEEK_SET) != 0 || std::fwrite(buffer, 1, n, m_file) != n ||
        std::fflush(m_file) != 0)
        fail("write to");
}

void MapFile::close()
{
    std::FILE* f = m_file;
    m_file = nullptr;
    errno = 0;
    if (f && std::fclose(f) != 0)
        fail("close");
}

}  // namespace zelt::mapexport

// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a written workbook back before it takes its name: every part whole, every cell there.
#include "interchange/workbook_check.h"

#include "base/atomic_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace zelt::interchange {
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::string_view kWorksheet = "xl/worksheets/sheet1.xml";

std::uint32_t u16(const unsigned char* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
std::uint32_t u32(const unsigned char* p) { return u16(p) | u16(p + 2) << 16; }

/// A package's file, read by position; a read error or a short read is remembered.
class Package {
public:
    explicit Package(const fs::path& file) : m_fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC))
    {
        if (m_fd < 0)
            m_error = document::systemReason(errno);
        else if (const off_t end = ::lseek(m_fd, 0, SEEK_END); end >= 0)
            m_size = std::uint64_t(end);
    }
    ~Package()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    std::uint64_t size() const { return m_size; }
    const std::string& error() const { return m_error; }

    bool read(std::uint64_t at, void* out, std::size_t n)
    {
        auto* p = static_cast<unsigned char*>(out);
        while (n > 0 && m_error.empty()) {
            const ssize_t got = ::pread(m_fd, p, n, off_t(at));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                m_error = got < 0 ? document::systemReason(errno) : "it ends early";
                return false;
            }
            p += got;
            at += std::uint64_t(got);
            n -= std::size_t(got);
        }
        return m_error.empty();
    }

private:
    int m_fd;
    std::uint64_t m_size = 0;
    std::string m_error;
};

/// What one part's bytes look like, gathered as they are inflated.
class PartShape {
public:
    void take(const unsigned char* p, std::size_t n)
    {
        if (m_head.size() < 256)
            m_head.append(reinterpret_cast<const char*>(p), std::min<std::size_t>(n, 256 - m_head.size()));
        // "<c " begins a cell and nothing else in a worksheet (text inside cells is escaped); a
        // match across two pieces is found through the last bytes of the one before.
        std::string joined = m_tail;
        joined.append(reinterpret_cast<const char*>(p), n);
        for (std::size_t at = joined.find("<c "); at != std::string::npos; at = joined.find("<c ", at + 1))
            if (at + 3 > m_tail.size())
                ++m_cells;
        const std::size_t keep = std::min<std::size_t>(joined.size(), 256);
        m_tail = joined.substr(joined.size() - keep);
    }

    std::uint64_t cells() const { return m_cells; }

    /// Whether the bytes are an XML document from its declaration to its root's end tag.
    bool isWholeXml() const
    {
        if (m_head.rfind("<?xml", 0) != 0)
            return false;
        const std::size_t open = m_head.find('<', m_head.find("?>") == std::string::npos ? 5 : m_head.find("?>"));
        if (open == std::string::npos)
            return false;
        const std::size_t nameEnd = m_head.find_first_of(" />\r\n", open + 1);
        if (nameEnd == std::string::npos)
            return false;
        const std::string endTag = "</" + m_head.substr(open + 1, nameEnd - open - 1) + ">";
        std::string tail = m_tail;
        while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r' || tail.back() == ' '))
            tail.pop_back();
        return tail.size() >= endTag.size() && tail.compare(tail.size() - endTag.size(), endTag.size(), endTag) == 0;
    }

private:
    std::string m_head;
    std::string m_tail;
    std::uint64_t m_cells = 0;
};

struct Entry {
    std::string name;
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t packed = 0;
    std::uint64_t size = 0;
    std::uint64_t localHeader = 0;
};

/// Inflates (or copies) one part; empty, or what is wrong with it.
std::string readPart(Package& zip, const Entry& e, PartShape& shape)
{
    unsigned char local[30];
    if (!zip.read(e.localHeader, local, sizeof local) || u32(local) != kLocalHeader)
        return "its header is missing";
    std::uint64_t at = e.localHeader + 30 + u16(local + 26) + u16(local + 28);
    if (e.method != 0 && e.method != 8)
        return "it is packed in an unknown way";
    z_stream z{};
    if (e.method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return "it cannot be unpacked";
    std::vector<unsigned char> in(kChunk), out(kChunk);
    std::uint64_t left = e.packed, produced = 0;
    uLong crc = crc32(0, nullptr, 0);
    int status = Z_OK;
    std::string problem;
    while (problem.empty() && left > 0 && status != Z_STREAM_END) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(left, kChunk));
        if (!zip.read(at, in.data(), n)) {
            problem = zip.error();
            break;
        }
        at += n;
        left -= n;
        if (e.method == 0) {
            crc = crc32(crc, in.data(), uInt(n));
            shape.take(in.data(), n);
            produced += n;
            continue;
        }
        z.next_in = in.data();
        z.avail_in = uInt(n);
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            status = inflate(&z, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                problem = "its packed bytes are damaged";
                break;
            }
            const std::size_t got = out.size() - z.avail_out;
            crc = crc32(crc, out.data(), uInt(got));
            shape.take(out.data(), got);
            produced += got;
        } while (z.avail_out == 0 && status != Z_STREAM_END);
    }
    if (e.method == 8)
        inflateEnd(&z);
    if (problem.empty() && (produced != e.size || crc != e.crc))
        problem = "its bytes do not match its checksum";
    return problem;
}

}  // namespace

std::string checkWorkbook(const fs::path& file, std::uint64_t cells)
{
    Package zip(file);
    if (!zip.error().empty())
        return "it cannot be read back: " + zip.error();
    // The directory's end record closes the file (the library writes no comment after it).
    std::array<unsigned char, 22> end{};
    if (zip.size() < end.size() || !zip.read(zip.size() - end.size(), end.data(), end.size()) || u32(end.data()) != kEndOfDirectory)
        return "it does not end as a workbook does";
    const std::uint32_t count = u16(end.data() + 10);
    std::uint64_t at = u32(end.data() + 16);
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char h[46];
        if (!zip.read(at, h, sizeof h) || u32(h) != kDirectoryEntry)
            return "its list of parts is damaged";
        Entry e;
        e.method = u16(h + 10);
        e.crc = u32(h + 16);
        e.packed = u32(h + 20);
        e.size = u32(h + 24);
        e.localHeader = u32(h + 42);
        e.name.resize(u16(h + 28));
        if (!zip.read(at + 46, e.name.data(), e.name.size()))
            return "its list of parts is damaged";
        at += 46 + e.name.size() + u16(h + 30) + u16(h + 32);
        entries.push_back(std::move(e));
    }
    bool sheetFound = false;
    for (const Entry& e : entries) {
        PartShape shape;
        if (const std::string problem = readPart(zip, e, shape); !problem.empty())
            return "its part " + e.name + " is not whole (" + problem + ")";
        const bool xml = e.name.size() > 4
            && (e.name.compare(e.name.size() - 4, 4, ".xml") == 0 || e.name.compare(e.name.size() - 5, 5, ".rels") == 0);
        if (xml && !shape.isWholeXml())
            return "its part " + e.name + " is cut short";
        if (e.name == kWorksheet) {
            sheetFound = true;
            if (shape.cells() != cells)
                return "the worksheet holds " + std::to_string(shape.cells()) + " of its " + std::to_string(cells) + " cells";
        }
    }
    if (!sheetFound)
        return "it holds no worksheet";
    return {};
}

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and looking up figures of the figure file.
#include "export/figure_file.h"

#include "base/atomic_file.h"
#include "base/data_folders.h"
#include "base/regular_file.h"
#include "base/text_lines.h"
#include "export/ocad_writer.h"
#include "paradox/code_page.h"
#include "paradox/paradox_table.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <memory>
#include <system_error>

namespace zelt::mapexport {
namespace fs = std::filesystem;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t ignored = 0;
        if (!zelt::document::decodeUtf8(text, pos, ignored))
            return false;
    }
    return true;
}

// One number of a number line: decimal notation with '.', independent of the process locale.
bool parseNumber(std::string_view token, double& value)
{
    if (token.size() > 1 && token[0] == '+' && token[1] != '-')
        token.remove_prefix(1);
    const char* end = token.data() + token.size();
    const auto [ptr, ec] = std::from_chars(token.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

}  // namespace

FigureFile FigureFile::load(const fs::path& file, int codePage)
{
    // A named pipe or a link to a device is refused before anything blocks on it.
    std::string reason;
    int error = 0;
    const document::RegularFile in = document::RegularFile::open(file, O_RDONLY, kMaxBytes, reason, error);
    if (!reason.empty())
        throw MapIoError("The figure file '" + file.string() + "' " + reason + "; it cannot be a figure file.");
    std::optional<std::vector<char>> bytes;
    if (in.isOpen())
        bytes = in.readAll(error);
    if (!bytes)
        throw MapIoError("Cannot read the figure file '" + file.string() + "': " + document::systemReason(error) + ".");
    return parse(std::string_view(bytes->data(), bytes->size()), file.string(), codePage);
}

FigureFile FigureFile::parse(std::string_view text, std::string name, int codePage)
{
    FigureFile f;
    f.m_name = std::move(name);
    // Keys are compared with the turn notes as UTF-8. A file written in the table's code page is
    // turned into UTF-8 first; a file in UTF-8 (pure ASCII included) is taken as it is. Text in a
    // single-byte code page is rarely valid UTF-8 by chance: its letters beyond ASCII would have
    // to come in exact lead-and-continuation pairs.
    std::string converted;
    if (isValidUtf8(text)) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
    } else {
        const zelt::document::CodePage* cp = zelt::document::CodePage::find(codePage);
        if (!cp)
            cp = zelt::document::CodePage::find(1252);
        cp->appendUtf8(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), converted);
        text = converted;
    }
    for (const std::string_view line : zelt::document::textLines(text))
        f.m_lines.emplace_back(line);
    return f;
}

int FigureFile::codePageOf(zelt::document::TraverseTable& table)
{
    return table.file() ? table.file()->info().codePage : 1252;
}

std::vector<FigureStep> FigureFile::figure(std::string_view key) const
{
    std::vector<FigureStep> steps;
    for (std::size_t i = 0; i < m_lines.size(); i += 2) {
        if (m_lines[i] != key || i + 1 >= m_lines.size())
            continue;
        const std::string& line = m_lines[i + 1];
        std::vector<double> numbers;
        std::size_t p = 0;
        while (p < line.size()) {
            while (p < line.size() && isBlank(line[p]))
                ++p;
            const std::size_t q = p;
            while (p < line.size() && !isBlank(line[p]))
                ++p;
            if (q == p)
                break;
            double v = 0;
            if (!parseNumber(std::string_view(line).substr(q, p - q), v))
                throw MapIoError("The figure file '" + m_name + "' is damaged: line " + std::to_string(i + 2) + " holds '" +
                                 line.substr(q, p - q) + "' where a number belongs.");
            numbers.push_back(v);
        }
        if (numbers.size() % 2 != 0)
            throw MapIoError("The figure file '" + m_name + "' is damaged: line " + std::to_string(i + 2) +
                             " holds an odd count of numbers.");
        for (std::size_t k = 0; k < numbers.size(); k += 2)
            steps.push_back({numbers[k], numbers[k + 1]});
    }
    return steps;
}

zelt::compute::FigureLookup FigureFile::cachedLookup() const
{
    auto file = std::make_shared<const FigureFile>(*this);
    auto cache = std::make_shared<zelt::compute::FigureShapes>();
    return [file, cache](std::string_view key) {
        auto it = cache->find(key);
        if (it == cache->end())
            it = cache->emplace(std::string(key), file->figure(key)).first;
        return it->second;
    };
}

fs::path FigureFile::locate(const std::vector<fs::path>& dirs)
{
    std::string looked;
    for (const fs::path& dir : dirs) {
        if (dir.empty())
            continue;
        std::error_code ec;
        const fs::path candidate = dir / kFileName;
        if (fs::is_regular_file(candidate, ec))
            return candidate;
        looked += (looked.empty() ? "" : ", ") + dir.string();
    }
    throw MapIoError(std::string("The figure file \"") + kFileName + "\" was not found (looked in: " +
                     (looked.empty() ? "no folder" : looked) + ").");
}

std::vector<fs::path> FigureFile::defaultSearchDirs() { return document::dataFolders(); }

}  // namespace zelt::mapexport

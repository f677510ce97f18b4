// SPDX-License-Identifier: GPL-3.0-or-later
// Document files: the .inf companion, the start-row rule, companion and new-document names.
#include "document/document_files.h"

#include "paradox/paradox_table.h"
#include "base/regular_file.h"
#include "document/survey_values.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <memory>
#include <vector>

namespace zelt::document {
namespace fs = std::filesystem;

namespace {

constexpr const char* kInvalidNumericInput = "Invalid numeric input";

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

bool fileExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

/// A companion that is not a regular file of a sane size (a named pipe, a link to a device) is
/// refused before anything blocks on it or reads without end. A folder keeps the message the
/// system's refusal always gave.
RegularFile openCompanion(const fs::path& path, int flags)
{
    std::string reason;
    int error = 0;
    RegularFile file = RegularFile::open(path, flags, kMaxSmallFileBytes, reason, error);
    std::error_code ec;
    if (!reason.empty() && fs::is_directory(path, ec))
        throw CompanionError(ioErrorMessage(EISDIR));
    if (!reason.empty())
        throw CompanionError("The file " + quoted(path) + " " + reason + ".");
    if (!file.isOpen())
        throw CompanionError(error == ENOENT && !(flags & O_CREAT) ? "File not found" : ioErrorMessage(error));
    return file;
}

std::vector<char> readWholeFile(const fs::path& path)
{
    const RegularFile file = openCompanion(path, O_RDONLY);
    int error = 0;
    std::optional<std::vector<char>> bytes = file.readAll(error);
    if (!bytes)
        throw CompanionError(ioErrorMessage(error));
    return std::move(*bytes);
}

/// Reads one real number as a text file's number read does: blanks and line ends before it are
/// skipped, the number ends at the first blank or control character, the rest of the line is
/// skipped afterwards. Returns false when the file ends before a number (the value reads 0).
bool readReal(const std::vector<char>& bytes, std::size_t& pos, double& value)
{
    auto isSeparator = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (pos < bytes.size() && isSeparator(bytes[pos]))
        ++pos;
    if (pos == bytes.size()) {
        value = 0;
        return false;
    }
    const std::size_t start = pos;
    while (pos < bytes.size() && !isSeparator(bytes[pos]))
        ++pos;
    const auto parsed = parseDecimal(std::string_view(bytes.data() + start, pos - start), '.');
    if (!parsed)
        throw CompanionError(kInvalidNumericInput);
    value = *parsed;
    while (pos < bytes.size() && bytes[pos] != '\n' && bytes[pos] != '\r')
        ++pos;
    if (pos < bytes.size() && bytes[pos] == '\r')
        ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n')
        ++pos;
    return true;
}

}  // namespace

std::string ioErrorMessage(int errorNumber)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return "File access denied";
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return "Invalid filename";
    case ENOSPC:
    case EDQUOT:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(errorNumber);
    }
}

fs::path companionPath(const fs::path& table, const char* ext)
{
    // The extension starts at the last dot of the file name; a name without one gets `ext` added.
    std::string name = table.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        name += ext;
    else
        name = name.substr(0, dot) + ext;
    return table.parent_path() / name;
}

std::string formatInfValue(double v)
{
    if (!std::isfinite(v)) {
        const std::string word = std::isnan(v) ? "Nan" : (v > 0 ? "+Inf" : "-Inf");
        return std::string(23 - word.size(), ' ') + word;
    }
    if (v == 0)
        return " 0.00000000000000E+0000";
    // 15 significant digits, correctly rounded, always with '.': the file format does not follow
    // the process locale (a comma here makes the reader refuse the file).
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
    const char* e = std::find(static_cast<const char*>(buf), static_cast<const char*>(end), 'e');
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);
    std::string exp(1, exponent < 0 ? '-' : '+');
    const std::string digits = std::to_string(std::abs(exponent));
    exp += std::string(digits.size() < 4 ? 4 - digits.size() : 0, '0') + digits;
    return std::string(v < 0 ? "-" : " ") + std::string(static_cast<const char*>(buf), e) + "E" + exp;
}

void writeInf(const fs::path& infPath, double pairsPer100m, double startHeight)
{
    const std::string text = formatInfValue(pairsPer100m) + "\r\n" + formatInfValue(startHeight) + "\r\n";
    const RegularFile file = openCompanion(infPath, O_WRONLY | O_CREAT);
    int error = 0;
    if (!file.replaceAll(std::vector<char>(text.begin(), text.end()), error))
        throw CompanionError(ioErrorMessage(error));
}

void readInf(const fs::path& infPath, double& pairsPer100m, double& startHeight)
{
    const std::vector<char> bytes = readWholeFile(infPath);
    std::size_t pos = 0;
    double value = 0;
    readReal(bytes, pos, value);
    pairsPer100m = value;
    readReal(bytes, pos, value);
    startHeight = value;
}

bool startRowRuleInserts(Document& doc)
{
    TraverseTable& table = doc.table;
    // A table opened read-only (locked elsewhere, damaged chain) is shown as it is.
    if (!table.isOpen() || table.isReadOnly())
        return false;
    table.first();
    if (table.rowCount() == 0)
        return true;
    const bool azimuthZero = table.asInteger("Azimuth") == 0;
    // nearbyint rounds halves to even; rounding in double keeps a huge count non-zero.
    const bool pairsZero = std::nearbyint(table.asFloat("Pairs")) == 0;
    return !azimuthZero && !pairsZero;
}

void applyStartRowRule(Document& doc)
{
    TraverseTable& table = doc.table;
    if (!startRowRuleInserts(doc))
        return;
    table.first();
    table.insert();
    // A start height outside the reading's range (an .inf written elsewhere) leaves the start
    // row without a reading instead of making every open fail; the passes refuse that value.
    if (isUsableStartHeight(doc.startHeight))
        table.setFloat("Altimeter", doc.startHeight);
    table.post();
}

std::string newDocumentName(int openCount, const fs::path& dir)
{
    auto name = [](int k) { return "NONAME" + std::to_string(k) + ".db"; };
    for (int k = openCount + 1; k <= openCount + 1000; ++k)
        if (!fileExists(dir / name(k)))
            return name(k);
    return name(openCount + 1001);
}

}  // namespace zelt::document

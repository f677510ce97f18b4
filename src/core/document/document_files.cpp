// SPDX-License-Identifier: GPL-3.0-or-later
// Document files: the .inf companion, the start-row rule, companion and new-document names.
#include "document/document_files.h"

#include "paradox/paradox_table.h"
#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "document/survey_values.h"
#include "document/value_format.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cctype>
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

bool fileExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

/// The survey values file refused as damaged: the message names it, says what is wrong and
/// how to get back to the defaults.
[[noreturn]] void damaged(const fs::path& inf, const std::string& what)
{
    throw CompanionError("The survey values file " + quotedPath(inf) + " is damaged: " + what
                         + ". Delete it to use the defaults (" + formatGeneral(kDefaultPairsPer100m)
                         + " pairs per 100 m, start height " + formatGeneral(kDefaultStartHeight) + " m).");
}

/// Reads one real number as a text file's number read does: blanks and line ends before it are
/// skipped, the number ends at the first blank or control character, the rest of the line is
/// skipped afterwards. The line must end (CR or LF): a file cut in the middle of a value can
/// still hold a number, only not the one written. `line` counts the lines passed.
double readReal(const fs::path& inf, const std::vector<char>& bytes, std::size_t& pos, int& line, const char* what)
{
    auto isSeparator = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    for (; pos < bytes.size() && isSeparator(bytes[pos]); ++pos)
        line += bytes[pos] == '\n' ? 1 : 0;
    if (pos == bytes.size())
        damaged(inf, bytes.empty() ? std::string("it is empty") : std::string("it ends before the ") + what);
    const std::size_t start = pos;
    while (pos < bytes.size() && !isSeparator(bytes[pos]))
        ++pos;
    // Shown as the user would see it in a text editor: at most 40 characters, other bytes as '?'.
    std::string token(bytes.data() + start, std::min<std::size_t>(pos - start, 40));
    for (char& c : token)
        c = static_cast<unsigned char>(c) < 0x7F ? c : '?';
    const auto parsed = parseDecimal(std::string_view(bytes.data() + start, pos - start), '.');
    if (!parsed)
        damaged(inf, "line " + std::to_string(line) + " holds '" + token + "', not the " + what);
    while (pos < bytes.size() && bytes[pos] != '\n' && bytes[pos] != '\r')
        ++pos;
    if (pos == bytes.size())
        damaged(inf, std::string("it ends in the middle of the ") + what + " (the file was cut short)");
    if (bytes[pos] == '\r')
        ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n')
        ++pos;
    ++line;
    return *parsed;
}

}  // namespace

std::string ioErrorMessage(int errorNumber)
{
    return systemReason(errorNumber);
}

std::string quotedPath(const fs::path& p)
{
    std::error_code ec;
    const fs::path full = fs::absolute(p, ec);
    return "'" + (ec ? p : full).string() + "'";
}

fs::path followTableLinks(const fs::path& table)
{
    fs::path at = table;
    // The system's own limit on links in one lookup; more is a loop.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(at, ec)) || ec)
            return at;
        const fs::path to = fs::read_symlink(at, ec);
        if (ec || to.empty())
            return at;
        at = to.is_absolute() ? to : (at.parent_path() / to).lexically_normal();
    }
    return table;
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
    std::string message;
    if (!writeFileAtomically(infPath, text, message, kMaxSmallFileBytes))
        throw CompanionError("Cannot write the survey values file: " + message);
}

void readInf(const fs::path& infPath, double& pairsPer100m, double& startHeight)
{
    std::string reason;
    int error = 0;
    const RegularFile file = RegularFile::open(infPath, O_RDONLY, kMaxSmallFileBytes, reason, error);
    if (!reason.empty())
        throw CompanionError("The survey values file " + quotedPath(infPath) + " " + reason + ".");
    if (!file.isOpen())
        throw CompanionError("Cannot read the survey values file " + quotedPath(infPath) + ": " + systemReason(error));
    const std::optional<std::vector<char>> bytes = file.readAll(error);
    if (!bytes)
        throw CompanionError("Cannot read the survey values file " + quotedPath(infPath) + ": " + systemReason(error));
    std::size_t pos = 0;
    int line = 1;
    const double pairs = readReal(infPath, *bytes, pos, line, "pairs per 100 m");
    const double height = readReal(infPath, *bytes, pos, line, "start height");
    // Values the survey values dialog would refuse are no values this program wrote.
    if (const auto problem = surveyValuesProblem(pairs, height)) {
        std::string what = *problem;
        what.front() = static_cast<char>(std::tolower(static_cast<unsigned char>(what.front())));
        damaged(infPath, what);
    }
    pairsPer100m = pairs;
    startHeight = height;
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

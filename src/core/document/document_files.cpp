// SPDX-License-Identifier: GPL-3.0-or-later
// Document files: the .inf companion, open-or-create with the start-row rule, names, rename, copy.
#include "document/document_files.h"

#include "document/paradox_table.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zelt::document {
namespace fs = std::filesystem;

namespace {

constexpr const char* kInvalidNumericInput = "Invalid numeric input";

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

bool fileExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

std::vector<char> readWholeFile(const fs::path& path)
{
    errno = 0;
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f)
        throw CompanionError(errno == ENOENT ? "File not found" : ioErrorMessage(errno));
    std::vector<char> bytes;
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    if (std::ferror(f.get()))
        throw CompanionError(ioErrorMessage(errno));
    return bytes;
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
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14E", std::fabs(v));  // 15 significant digits, rounded
    const char* e = std::strchr(buf, 'E');
    const int exponent = std::atoi(e + 1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "%c%04d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return std::string(v < 0 ? "-" : " ") + std::string(static_cast<const char*>(buf), e) + "E" + exp;
}

void writeInf(const fs::path& infPath, double pairsPer100m, double startHeight)
{
    const std::string text = formatInfValue(pairsPer100m) + "\r\n" + formatInfValue(startHeight) + "\r\n";
    errno = 0;
    std::FILE* f = std::fopen(infPath.c_str(), "wb");
    if (!f)
        throw CompanionError(ioErrorMessage(errno));
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written)
        throw CompanionError(ioErrorMessage(writeError));
    if (!closed)
        throw CompanionError(ioErrorMessage(errno));
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

OpenOutcome openOrCreate(Document& doc, const fs::path& path)
{
    OpenOutcome outcome;
    TraverseTable& table = doc.table;
    table.close();
    table.setPath(path);
    if (fileExists(path)) {
        table.open();
        const fs::path inf = companionPath(path, ".inf");
        if (fileExists(inf))
            readInf(inf, doc.pairsPer100m, doc.startHeight);
        table.first();
        applyStartRowRule(doc);
        const fs::path ing = companionPath(path, ".ing");
        if (fileExists(ing))
            outcome.layoutToLoad = ing;
        return outcome;
    }
    table.create();
    table.open();
    outcome.created = true;
    writeInf(companionPath(path, ".inf"), doc.pairsPer100m, doc.startHeight);
    table.first();
    applyStartRowRule(doc);
    return outcome;
}

void applyStartRowRule(Document& doc)
{
    TraverseTable& table = doc.table;
    // A table opened read-only (locked elsewhere, damaged chain) is shown as it is.
    if (table.isReadOnly())
        return;
    table.first();
    if (table.rowCount() > 0) {
        const bool azimuthZero = table.asInteger("Azimuth") == 0;
        // nearbyint rounds halves to even; rounding in double keeps a huge count non-zero.
        const bool pairsZero = std::nearbyint(table.asFloat("Pairs")) == 0;
        if (azimuthZero || pairsZero)
            return;
    }
    table.insert();
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

void renameDocument(Document& doc, const fs::path& to)
{
    TraverseTable& table = doc.table;
    const fs::path from = table.path();
    table.close();
    std::error_code ec;
    // The codec never replaces an existing file (the rename dialog asks no overwrite question);
    // renaming a table onto itself changes nothing.
    if (!fs::equivalent(from, to, ec)) {
        try {
            renameTable(from, to);
        } catch (const ParadoxError& e) {
            throw EngineError(e.what());
        }
    }
    table.setPath(to);
    table.open();
}

bool saveAsCopy(Document& doc, const fs::path& to)
{
    TraverseTable& table = doc.table;
    const fs::path from = table.path();
    table.close();
    if (!fileExists(from)) {
        table.open();
        return false;
    }
    std::error_code ec;
    const bool same = fs::equivalent(from, to, ec);
    if (!same) {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            // Stay on the first table: switching to a copy that is not there would lose the document.
            table.open();
            throw EngineError("Cannot copy " + quoted(from) + " to " + quoted(to) + ": " + ioErrorMessage(ec.value()));
        }
    }
    table.setPath(to);
    table.open();
    return !same;
}

void closeDocument(Document& doc, const LayoutWriter& writeLayout)
{
    const fs::path path = doc.table.path();
    if (writeLayout)
        writeLayout(companionPath(path, ".ing"), doc.columns);
    doc.table.close();
    writeInf(companionPath(path, ".inf"), doc.pairsPer100m, doc.startHeight);
}

}  // namespace zelt::document

// SPDX-License-Identifier: GPL-3.0-or-later
// The .kpt companion: a small line-based text file of known points, read and written locale-free.
#include "document/known_points.h"

#include "document/document_files.h"
#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "base/text_lines.h"

#include <fcntl.h>
#include <cerrno>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <system_error>

namespace zelt::document {
namespace fs = std::filesystem;

namespace {

// Layout 2 pins where a row's mark stands (where its leg begins); layout 1 pinned a row's end
// point, which is where the next row's mark stands, and is read by moving each point one row on.
// Layout 3 adds the georeference; a file without one is still written as layout 2, so that
// earlier versions of the program go on reading it.
constexpr std::string_view kHeader = "ZELT KNOWN POINTS 2";
constexpr std::string_view kGeorefHeader = "ZELT KNOWN POINTS 3";
constexpr std::string_view kEndPointsHeader = "ZELT KNOWN POINTS 1";
constexpr std::string_view kHeaderStem = "ZELT KNOWN POINTS ";
constexpr double kMaxCoordinateMm = 1e7;   // 10 km of map: far beyond any sheet

std::string formatNumber(double v)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

std::vector<std::string_view> tokens(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// The whole token must be one number in '.' form; from_chars also takes "inf" and "nan", which
// are refused as not finite.
std::optional<double> parseNumber(std::string_view t)
{
    double v = 0;
    const char* begin = t.data();
    if (!t.empty() && t.front() == '+')
        ++begin;
    const auto [ptr, ec] = std::from_chars(begin, t.data() + t.size(), v, std::chars_format::general);
    if (ec != std::errc() || ptr != t.data() + t.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> parseRow(std::string_view t)
{
    int v = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size())
        return std::nullopt;
    return v;
}

void checkPoint(int row, double xMm, double yMm)
{
    if (row < 1 || row > KnownPoints::kMaxRow)
        throw KnownPointsError("A known point needs a row number from 1, not " + std::to_string(row) + ".");
    if (!std::isfinite(xMm) || !std::isfinite(yMm) || std::fabs(xMm) > kMaxCoordinateMm
        || std::fabs(yMm) > kMaxCoordinateMm)
        throw KnownPointsError("The known point of row " + std::to_string(row)
                               + " lies outside the map (more than 10 km from its origin).");
}

class LineError {
public:
    explicit LineError(std::size_t line) : m_line(line) {}
    [[noreturn]] void fail(const std::string& what) const
    {
        throw KnownPointsError("line " + std::to_string(m_line) + ": " + what);
    }

private:
    std::size_t m_line;
};

// What the georeference lines of one file gave; each at most once.
struct GeorefLines {
    std::optional<std::string> crs;
    std::optional<std::pair<double, double>> origin;
    std::optional<double> grivation;
};

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

void parseLine(std::string_view line, std::size_t number, KnownPoints& out, bool& sawScale, int rowShift,
               GeorefLines* geo)
{
    const LineError at(number);
    const auto t = tokens(line);
    if (t.empty() || t.front().front() == '#')
        return;
    if (geo && t.front() == "crs") {
        // The definition is the rest of the line: PROJ strings hold blanks.
        if (geo->crs)
            at.fail("the coordinate reference system is given twice");
        const std::string_view rest = trimmed(trimmed(line).substr(3));
        if (rest.empty())
            at.fail("\"crs\" takes a coordinate reference system");
        geo->crs = std::string(rest);
        return;
    }
    if (geo && t.front() == "origin") {
        if (geo->origin)
            at.fail("the origin is given twice");
        const auto e = t.size() == 3 ? parseNumber(t[1]) : std::nullopt;
        const auto n = t.size() == 3 ? parseNumber(t[2]) : std::nullopt;
        if (!e || !n)
            at.fail("\"origin\" takes an easting and a northing written with '.'");
        geo->origin = std::pair{*e, *n};
        return;
    }
    if (geo && t.front() == "grivation") {
        if (geo->grivation)
            at.fail("the grivation is given twice");
        const auto g = t.size() == 2 ? parseNumber(t[1]) : std::nullopt;
        if (!g)
            at.fail("\"grivation\" takes one number of degrees");
        geo->grivation = *g;
        return;
    }
    if (t.front() == "scale") {
        if (t.size() != 2)
            at.fail("\"scale\" takes one number");
        if (sawScale)
            at.fail("the map scale is given twice");
        const auto s = parseNumber(t[1]);
        if (!s || !(*s >= 1 && *s <= 1e7))
            at.fail("the map scale must be a number from 1 to 10000000");
        out.mapScale = *s;
        sawScale = true;
        return;
    }
    if (t.front() == "point") {
        if (t.size() != 4)
            at.fail("\"point\" takes a row number and two coordinates");
        auto row = parseRow(t[1]);
        if (row && *row >= 1 && *row <= KnownPoints::kMaxRow)
            *row += rowShift;
        const auto x = parseNumber(t[2]);
        const auto y = parseNumber(t[3]);
        if (!row || !x || !y)
            at.fail("\"point\" takes a whole row number and two numbers written with '.'");
        if (out.find(*row))
            at.fail("row " + std::to_string(*row) + " has two known points");
        try {
            out.set(*row, *x, *y);
        } catch (const KnownPointsError& e) {
            at.fail(e.what());
        }
        return;
    }
    at.fail("unknown entry \"" + std::string(t.front().substr(0, 40)) + "\"");
}

}  // namespace

const KnownPoint* KnownPoints::find(int row) const
{
    const auto it = std::lower_bound(points.begin(), points.end(), row,
                                     [](const KnownPoint& p, int r) { return p.row < r; });
    return it != points.end() && it->row == row ? &*it : nullptr;
}

void KnownPoints::set(int row, double xMm, double yMm)
{
    checkPoint(row, xMm, yMm);
    const auto it = std::lower_bound(points.begin(), points.end(), row,
                                     [](const KnownPoint& p, int r) { return p.row < r; });
    if (it != points.end() && it->row == row) {
        it->xMm = xMm;
        it->yMm = yMm;
        return;
    }
    if (points.size() >= kMaxPoints)
        throw KnownPointsError("A table holds at most " + std::to_string(kMaxPoints) + " known points.");
    points.insert(it, KnownPoint{row, xMm, yMm});
}

bool KnownPoints::remove(int row)
{
    const auto it = std::find_if(points.begin(), points.end(), [row](const KnownPoint& p) { return p.row == row; });
    if (it == points.end())
        return false;
    points.erase(it);
    return true;
}

void checkGeoreference(const Georeference& g)
{
    if (trimmed(g.crs).empty())
        throw KnownPointsError("A georeference needs a coordinate reference system.");
    if (g.crs.size() > Georeference::kMaxCrsLength)
        throw KnownPointsError("The coordinate reference system is longer than "
                               + std::to_string(Georeference::kMaxCrsLength) + " characters.");
    if (std::any_of(g.crs.begin(), g.crs.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        throw KnownPointsError("The coordinate reference system must be one line without control characters.");
    if (!std::isfinite(g.originEastM) || !std::isfinite(g.originNorthM)
        || std::fabs(g.originEastM) > Georeference::kMaxCoordinateM
        || std::fabs(g.originNorthM) > Georeference::kMaxCoordinateM)
        throw KnownPointsError("The map's origin must be finite coordinates within 1000000 km.");
    if (!std::isfinite(g.grivationDeg) || !(std::fabs(g.grivationDeg) < 360))
        throw KnownPointsError("The grivation must be a number of degrees between -360 and 360.");
}

fs::path knownPointsPath(const fs::path& table) { return companionPath(table, ".kpt"); }

std::string formatKnownPoints(const KnownPoints& kp)
{
    std::string text(kp.georef ? kGeorefHeader : kHeader);
    text += "\nscale " + formatNumber(kp.mapScale) + "\n";
    if (kp.georef) {
        text += "crs " + std::string(trimmed(kp.georef->crs)) + '\n';
        text += "origin " + formatNumber(kp.georef->originEastM) + ' ' + formatNumber(kp.georef->originNorthM) + '\n';
        text += "grivation " + formatNumber(kp.georef->grivationDeg) + '\n';
    }
    for (const KnownPoint& p : kp.points)
        text += "point " + std::to_string(p.row) + ' ' + formatNumber(p.xMm) + ' ' + formatNumber(p.yMm) + '\n';
    return text;
}

KnownPoints parseKnownPoints(std::string_view text, bool* converted)
{
    if (text.find('\0') != std::string_view::npos)
        throw KnownPointsError("it holds binary data, not known points");
    KnownPoints out;
    bool sawScale = false;
    int rowShift = 0;
    std::size_t number = 0;
    GeorefLines geo;
    bool georefLayout = false;
    for (const std::string_view line : textLines(text)) {
        if (++number == 1) {
            if (line == kEndPointsHeader)
                rowShift = 1;   // row N's end point is where row N + 1's mark stands
            else if (line == kGeorefHeader)
                georefLayout = true;
            else if (line.substr(0, kHeaderStem.size()) == kHeaderStem && line != kHeader)
                throw KnownPointsError("it was written by a newer version of the program (\""
                                       + std::string(line.substr(0, 40)) + "\")");
            else if (line != kHeader)
                throw KnownPointsError("it does not begin with \"" + std::string(kHeader) + "\"");
            continue;
        }
        parseLine(line, number, out, sawScale, rowShift, georefLayout ? &geo : nullptr);
    }
    if (converted)
        *converted = rowShift != 0;
    if (number == 0)
        throw KnownPointsError("it is empty");
    if (georefLayout) {
        if (!geo.crs || !geo.origin)
            throw KnownPointsError("its georeference lacks the \"crs\" or the \"origin\" line");
        Georeference g{*geo.crs, geo.origin->first, geo.origin->second, geo.grivation.value_or(0.0)};
        checkGeoreference(g);
        out.georef = std::move(g);
    }
    return out;
}

std::optional<KnownPoints> readKnownPoints(const fs::path& table, bool* converted)
{
    const fs::path file = knownPointsPath(table);
    const std::string name = "The known points file " + quotedPath(file);
    std::string reason;
    int error = 0;
    // Opened without blocking and checked on the open descriptor, so a pipe put in its place
    // between a look and the read cannot stall the program.
    const RegularFile in = RegularFile::open(file, O_RDONLY, kMaxKnownPointsFileBytes, reason, error);
    if (!in.isOpen() && error == ENOENT)
        return std::nullopt;
    if (!in.isOpen() && reason.find("larger than") != std::string::npos)
        throw KnownPointsError(name + " is larger than 8 MB; it cannot be a known points file.");
    if (!in.isOpen() && !reason.empty())
        throw KnownPointsError(name + " is not a regular file.");
    if (!in.isOpen())
        throw KnownPointsError(name + " cannot be read: " + systemReason(error) + ".");
    const std::optional<std::vector<char>> bytes = in.readAll(error);
    if (!bytes)
        throw KnownPointsError(name + " cannot be read: " + systemReason(error) + ".");
    try {
        const std::string_view text(bytes->data(), bytes->size());
        // Every line we write ends in LF: a last line without one was cut short, and its
        // number may be a different one than was written.
        if (!text.empty() && text.back() != '\n' && text.find('\0') == std::string_view::npos)
            throw KnownPointsError("its last line is incomplete (the file was cut short)");
        return parseKnownPoints(text, converted);
    } catch (const KnownPointsError& e) {
        std::string what = e.what();
        if (!what.empty() && what.back() == '.')
            what.pop_back();
        throw KnownPointsError(name + " is damaged: " + what + ". Repair it, or delete it to work without known points.");
    }
}

void writeKnownPoints(const fs::path& table, const KnownPoints& points)
{
    const fs::path file = knownPointsPath(table);
    const std::string name = "The known points file " + quotedPath(file);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(file, ec);
    if (st.type() != fs::file_type::not_found && st.type() != fs::file_type::regular)
        throw KnownPointsError(name + " is not a regular file; it was left as it is.");
    // A system with a line break would write lines of its own into the file.
    if (points.georef)
        checkGeoreference(*points.georef);
    if (points.empty() && !points.georef) {
        const bool removed = fs::remove(file, ec);
        if (ec)
            throw KnownPointsError(name + " cannot be removed: " + systemReason(ec.value()) + ".");
        if (const int error = removed ? syncFolderOf(file) : 0; error != 0)
            throw KnownPointsNotSyncedError(name + " was removed, but its folder " + fileErrorText(folderOf(file), error)
                                            + " could not be synced; a power loss may still bring it back.");
        return;
    }
    std::string message;
    bool inPlace = false;
    if (!writeFileAtomically(file, formatKnownPoints(points), message, kMaxKnownPointsFileBytes, &inPlace)) {
        if (inPlace)
            throw KnownPointsNotSyncedError("The known points file was written, but: " + asSentence(message)
                                            + " A power loss may still undo it.");
        throw KnownPointsError("Cannot write the known points file: " + message);
    }
}

}  // namespace zelt::document

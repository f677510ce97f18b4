// SPDX-License-Identifier: GPL-3.0-or-later
// The export run shared by both routines, the label rules, and the row work of each routine.
#include "export/route_export.h"

#include "compute/field_rules.h"
#include "compute/pass_scope.h"
#include "document/code_page.h"
#include "document/document.h"
#include "document/paradox_table.h"
#include "export/ocad_template.h"
#include "export/ocad_writer.h"
#include "export/t_zelt.h"

#include <cmath>
#include <numbers>

namespace zelt::mapexport {
namespace fs = std::filesystem;
using zelt::document::Document;
using zelt::document::TraverseTable;

namespace {

// One run: the map being written, the route line, and what the labels need.
class ExportRun {
public:
    ExportRun(Document& doc, TZelt& zelt, const fs::path& map, const ExportParams& params)
        : m_doc(doc), m_table(doc.table), m_zelt(zelt), m_params(params), m_map(map)
    {
        const zelt::document::CodePage* cp = nullptr;
        if (m_table.file())
            cp = zelt::document::CodePage::find(m_table.file()->info().codePage);
        m_codePage = cp ? cp : zelt::document::CodePage::find(1252);
    }

    // Steps 3 to 8 of the run; `prepare` and `rowWork` are the routine's own parts.
    template<typename Prepare, typename RowWork>
    ExportResult run(Prepare prepare, RowWork rowWork, const ExportProgress& progress)
    {
        PrepareTarget(m_map);
        MapAppender appender(m_map);
        m_appender = &appender;
        m_zelt.MapScale = appender.mapScale();
        m_zelt.reloadFigures();
        if (!appender.definesSymbol(kRouteSymbol))
            m_result.warnings.push_back("The map defines no symbol 517.1; OCAD shows the route line as an unknown symbol.");
        if (!appender.definesSymbol(kLabelSymbol))
            m_result.warnings.push_back("The map defines no symbol 802.1; OCAD shows the labels as an unknown symbol.");

        const zelt::compute::PassScope scope(m_table);   // back to the row also when a step fails
        m_table.first();
        prepare();
        const int total = m_table.rowCount();
        int n = 1;
        while (!m_table.eof()) {
            rowWork(n);
            ++m_result.rows;
            if (progress)
                progress(n, total);
            ++n;
            m_table.next();
        }
        appender.append(m_line);
        m_result.routePoints = m_line.nItem();
        return m_result;
    }

    // Label rules 1 to 4 of a row, at the map point (x, y + 80): 0.8 mm above the anchor.
    void writeLabels(std::int32_t x, std::int32_t y, int n)
    {
        const char* hf = heightFieldName(m_params.heightField);
        const bool hasHeight = !m_table.isNull(hf);
        if (!m_table.isNull("Mark"))
            label(m_table.asText("Mark"), x, y);
        if (m_params.WithAbsoluteHeights && hasHeight)
            label(m_table.displayText(hf), x, y);
        // A frequency of 0 or less divides no row number (and must not divide by zero).
        if (hasHeight && m_params.EveryNth && m_params.Frequency > 0 && n % m_params.Frequency == 0)
            label(m_table.displayText(hf), x, y);
        if (!m_table.isNull("Altimeter") && !m_params.EveryNth)
            label(m_table.displayText(hf), x, y);
    }

    std::string turnNote() const { return m_table.isNull("Povorot") ? std::string() : m_table.asText("Povorot"); }
    double heightOfRow() const { return m_table.asFloat(heightFieldName(m_params.heightField)); }

    Document& m_doc;
    TraverseTable& m_table;
    TZelt& m_zelt;
    const ExportParams& m_params;
    RouteLine m_line;

private:
    void label(const std::string& utf8, std::int32_t x, std::int32_t y)
    {
        std::string bytes;
        zelt::document::CodePage::Failure failure;
        if (!m_codePage->fromUtf8(utf8, bytes, failure))
            throw MapRangeError("The label \"" + utf8 + "\" holds a character that code page " +
                                std::to_string(m_codePage->number()) + " of the map's labels cannot hold.");
        m_appender->append(makeTextObject(bytes, x, std::int32_t(std::int64_t(y) + 80)));
        ++m_result.labels;
    }

    fs::path m_map;
    const zelt::document::CodePage* m_codePage = nullptr;
    MapAppender* m_appender = nullptr;
    ExportResult m_result;
};

// --- contour marks ----------------------------------------------------------------------------

double intPart(double x) { return std::trunc(x); }
double fracPart(double x) { return x - std::trunc(x); }

// Inserts "++"/"+" on a climbing or level leg, "--"/"-" on a descending one; doubled at every
// counter value divisible by 5.
void insertContourMark(TZelt& z, RouteLine& line)
{
    const bool climbing = z.LegEndHeight >= z.LegStartHeight;
    const bool fifth = z.ContourCounter % 5 == 0;
    z.InsertFigure(line, climbing ? (fifth ? "++" : "+") : (fifth ? "--" : "-"), z.LegAzimuth);
}

// Draws one leg of length LegLength from LegStartHeight to LegEndHeight, cutting it at every
// contour level it crosses.
void drawLegWithContours(TZelt& z, RouteLine& line)
{
    const double I = z.ContourInterval, H0 = z.LegStartHeight, H1 = z.LegEndHeight, D = z.LegLength;
    if (fracPart(H0 / I) == 0) {
        ++z.ContourCounter;
        insertContourMark(z, line);
    }
    const double diff = intPart(H1 / I) - intPart(H0 / I);
    if (std::fabs(diff) < 1) {
        z.MoveBy(line, D, z.LegAzimuth);
    } else {
        // Each crossing adds at least one point, so the route line's limit ends a huge count.
        const double k = std::fabs(std::nearbyint(diff));
        for (double i = 0; i < k; ++i) {
            double f = diff >= 0 ? intPart(H0 / I) + 1 - H0 / I : H0 / I - intPart(H0 / I);
            if (z.WalkedOnLeg != 0)
                f = 1;
            const double step = std::fabs(f * D / (H1 / I - H0 / I));
            z.MoveBy(line, step, z.LegAzimuth);
            if (H1 >= H0) {
                if (z.Direction != -1)
                    ++z.ContourCounter;
            } else if (z.Direction != 1) {
                --z.ContourCounter;
            }
            z.Direction = H1 >= H0 ? 1 : -1;
            insertContourMark(z, line);
            z.WalkedOnLeg += step;
        }
        z.MoveBy(line, D - z.WalkedOnLeg, z.LegAzimuth);
        z.WalkedOnLeg = 0;
    }
    z.LegStartHeight = H1;
}

// The counter's start: the start height's whole metres, less 25 once and then down below 25
// (computed with one remainder instead of a loop), as a count of 5 m levels.
std::int32_t startingContourCount(double startHeight)
{
    const double whole = std::nearbyint(intPart(startHeight));
    if (!(std::fabs(whole) < 1e15))
        throw MapRangeError("The start height " + std::to_string(startHeight) + " is out of range for contour marks.");
    std::int64_t m = std::int64_t(whole) - 25;
    if (m >= 25)
        m %= 25;
    return std::int32_t(std::nearbyint(intPart(double(m) / 5.0)));
}

}  // namespace

const char* heightFieldName(HeightField field)
{
    switch (field) {
    case HeightField::Altimeter: return "Altimeter";
    case HeightField::Recalc: return "Recalc";
    case HeightField::FillHeight: break;
    }
    return "FillHeight";
}

ExportResult ExportRoute(Document& document, TZelt& zelt, const fs::path& map, const ExportParams& params,
                         const ExportProgress& progress)
{
    ExportRun run(document, zelt, map, params);
    double x = 0, y = 0;
    std::int32_t anchorX = 0, anchorY = 0;
    auto prepare = [&] {
        zelt.CurX = 0;
        zelt.CurY = 0;
    };
    auto rowWork = [&](int n) {
        TraverseTable& t = run.m_table;
        const std::int32_t azimuth = t.asInteger("Azimuth");
        // The ratio divides the pace count; 0 would give an infinite leg.
        if (!zelt::compute::isUsablePairsRatio(document.pairsPer100m))
            throw MapRangeError(zelt::compute::pairsRatioMessage(document.pairsPer100m));
        const double distance = *zelt::compute::metresFromPairs(t.asFloat("Pairs"), document.pairsPer100m);
        run.writeLabels(anchorX, anchorY, n);
        const std::string note = run.turnNote();
        const long double theta = static_cast<long double>(azimuth) * std::numbers::pi_v<long double> / 180.0L;
        x = static_cast<double>(x + std::sin(theta) * distance);
        y = static_cast<double>(y + std::cos(theta) * distance);
        zelt.CurX = x;
        zelt.CurY = y;
        anchorX = zelt.ToMapUnits(x);
        anchorY = zelt.ToMapUnits(y);
        run.m_line.AddPoint(anchorX, anchorY);
        zelt.InsertFigure(run.m_line, note, azimuth);
    };
    return run.run(prepare, rowWork, progress);
}

ExportResult ExportRouteWithContours(Document& document, TZelt& zelt, const fs::path& map,
                                     const ExportParams& params, const ExportProgress& progress)
{
    ExportRun run(document, zelt, map, params);
    auto prepare = [&] {
        zelt.CurX = zelt.CurY = 0;
        zelt.MapX = zelt.MapY = 0;
        zelt.LegAzimuth = zelt.LegLength = zelt.LegEndHeight = zelt.WalkedOnLeg = 0;
        zelt.Direction = 0;
        zelt.LegStartHeight = document.startHeight;
        zelt.ContourInterval = 5.0;
        zelt.ContourCounter = startingContourCount(zelt.LegStartHeight);
    };
    auto rowWork = [&](int n) {
        TraverseTable& t = run.m_table;
        zelt.LegAzimuth = t.asInteger("Azimuth");
        zelt.LegLength = t.asFloat("F");
        const std::string note = run.turnNote();
        run.writeLabels(zelt.MapX, zelt.MapY, n);
        zelt.LegEndHeight = run.heightOfRow();
        drawLegWithContours(zelt, run.m_line);
        zelt.InsertFigure(run.m_line, note, zelt.LegAzimuth);
    };
    return run.run(prepare, rowWork, progress);
}

}  // namespace zelt::mapexport

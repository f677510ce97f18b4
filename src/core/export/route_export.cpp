// SPDX-License-Identifier: GPL-3.0-or-later
// The export run shared by both routines, the label rules, and the row work of each routine.
#include "export/route_export.h"

#include "base/atomic_file.h"
#include "compute/field_rules.h"
#include "compute/map_grid.h"
#include "compute/pass_scope.h"
#include "compute/route_geometry.h"
#include "compute/route_placement.h"
#include "paradox/code_page.h"
#include "document/document.h"
#include "paradox/paradox_table.h"
#include "document/survey_values.h"
#include "export/ocad_template.h"
#include "export/map_stage.h"
#include "export/ocad_writer.h"
#include "export/t_zelt.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <tuple>
#include <utility>

namespace zelt::mapexport {
namespace fs = std::filesystem;
using zelt::document::Document;
using zelt::document::TraverseTable;

namespace {

// One run: the map being written, the route line, and what the labels need.
class ExportRun {
public:
    ExportRun(Document& doc, TZelt& zelt, const fs::path& map, const ExportParams& params,
              const zelt::document::KnownPoints* placeOn)
        : m_doc(doc), m_table(doc.table), m_zelt(zelt), m_params(params), m_map(map), m_placeOn(placeOn)
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
        // A placement that cannot be made is refused before the map is created or touched.
        if (m_placeOn)
            zelt::compute::placeOnKnownPoints(m_doc, *m_placeOn, m_placeOn->mapScale, m_params.legLengths);
        m_zelt.setPlacement(std::nullopt);
        struct PlacementEnds {   // the one TZelt serves every later run, placed or not
            TZelt& zelt;
            ~PlacementEnds() { zelt.setPlacement(std::nullopt); }
        } placementEnds{m_zelt};
        // The route goes into a copy of the map that takes its place when the run is complete
        // (a kill leaves the map as it was).
        std::error_code ec;
        m_newMap = !fs::exists(m_map, ec) && !ec;
        const auto& georef = m_doc.knownPoints.points().georef;
        std::optional<MapGeoreference> newGeoref;
        if (m_newMap && georef)
            newGeoref = MapGeoreference{m_doc.knownPoints.points().mapScale, georef->originEastM, georef->originNorthM,
                                        georef->grivationDeg, true};
        const auto [startX, startY] = newMapStart(newGeoref ? newGeoref->scale : TemplateLayout::kMapScale);
        StagedMap staged(m_map, startX, startY, newGeoref ? &*newGeoref : nullptr);
        return runInto(staged, prepare, rowWork, progress);
    }

    // The rows are walked first, making every object in memory, and written only when all of
    // them are made and fit: a route or label outside the map's coordinate range, or a map that
    // would outgrow its offsets, leaves the map as it was. A run stopped by a refused value or a
    // missing figure keeps the labels made before it, as the export always has; one stopped by a
    // write the system refused leaves the map as it was.
    template<typename Prepare, typename RowWork>
    ExportResult runInto(StagedMap& staged, Prepare prepare, RowWork rowWork, const ExportProgress& progress)
    {
        MapAppender appender(staged.path());
        m_zelt.MapScale = appender.mapScale();
        if (!m_newMap)
            useTheMapsGeoreference(staged.path());
        placeOnKnownPoints();
        m_zelt.setFigureCodePage(m_codePage->number());
        m_zelt.reloadFigures();
        if (!appender.definesSymbol(kRouteSymbol))
            warn("The map defines no symbol 517.1; OCAD shows the route line as an unknown symbol.");
        if (!appender.definesSymbol(kLabelSymbol))
            warn("The map defines no symbol 802.1; OCAD shows the labels as an unknown symbol.");

        try {
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
        } catch (const MapRangeError&) {
            throw;
        } catch (...) {
            try {
                writeObjects(appender, false);
                appender.close();
                staged.commit();
            } catch (...) {  // the run's own error is the one reported
            }
            throw;
        }
        writeObjects(appender, true);
        appender.close();  // a failing close is the run's error, not a silent loss
        staged.commit();
        m_result.routePoints = m_line.nItem();
        return m_result;
    }

    // Checks every object made (labels, then the route line's objects when `withLine`) against
    // the map's limits, then appends them in that order.
    void writeObjects(MapAppender& appender, bool withLine)
    {
        std::int64_t bytes = 0, count = 0;
        auto measure = [&](const OcadObject& o) {
            OcadCord lowerLeft, upperRight;
            o.boundingBox(lowerLeft, upperRight);
            bytes += o.byteSize();
            ++count;
        };
        for (const OcadObject& o : m_labels)
            measure(o);
        if (withLine)
            for (const RouteLine& l : m_line.lines())
                measure(l);
        appender.checkRoom(bytes, count);
        for (const OcadObject& o : m_labels)
            appender.append(o);
        if (withLine)
            for (const RouteLine& l : m_line.lines())
                appender.append(l);
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

    // Converts the route's points from `first` on into map units and adds them to the line;
    // the zelt's position follows the last point.
    void encode(const zelt::compute::Route& route, std::size_t first)
    {
        for (std::size_t i = first; i < route.points.size(); ++i) {
            const zelt::compute::RoutePoint& p = route.points[i];
            m_zelt.CurX = p.xM;
            m_zelt.CurY = p.yM;
            std::tie(m_zelt.MapX, m_zelt.MapY) = m_zelt.toMapPoint(p.xM, p.yM);
            m_line.AddPoint(m_zelt.MapX, m_zelt.MapY);
            if (p.corner)
                m_line.MarkCorner();
        }
    }
    double heightOfRow() const { return m_table.asFloat(heightFieldName(m_params.heightField)); }

    Document& m_doc;
    TraverseTable& m_table;
    TZelt& m_zelt;
    const ExportParams& m_params;
    RouteLineChain m_line;

private:
    // The known points are millimetres on this map, so the route is converted at its scale.
    void placeOnKnownPoints()
    {
        if (!m_placeOn)
            return;
        const zelt::document::KnownPoints& known = *m_placeOn;
        m_result.fit = zelt::compute::placeOnKnownPoints(m_doc, known, m_zelt.MapScale, m_params.legLengths);
        m_zelt.setPlacement(m_result.fit->placement);
        if (known.mapScale != m_zelt.MapScale)
            warn("The known points were recorded for a map of scale 1:" + std::to_string(std::lround(known.mapScale))
                 + "; this map's scale is 1:" + std::to_string(std::lround(m_zelt.MapScale)) + ".");
        const auto [x, y] = m_zelt.toMapPoint(0, 0);
        m_line = RouteLineChain(x, y);
    }

    // An existing map keeps its own georeference. When the table's differs, the known points
    // (millimetres on the table's map) are carried through the ground onto this map, and the
    // user is told; a map without one (offsets 0, real-world coordinates off) is taken as the
    // table's map, as before.
    void useTheMapsGeoreference(const fs::path& map)
    {
        const auto& known = m_doc.knownPoints.points();
        if (!known.georef)
            return;
        MapGeoreference mapGeo;
        try {
            mapGeo = ReadMapGeoreference(map);
        } catch (const MapIoError&) {
            return;   // a setup too short to hold one: nothing to compare
        }
        if (!mapGeo.realWorldOn && mapGeo.ofsX == 0 && mapGeo.ofsY == 0 && mapGeo.angleDeg == 0)
            return;
        const zelt::document::Georeference& table = *known.georef;
        // Within a millimetre on the ground and a thousandth of a degree: the same georeference.
        const bool same = std::fabs(mapGeo.ofsX - table.originEastM) < 1e-3
                          && std::fabs(mapGeo.ofsY - table.originNorthM) < 1e-3
                          && std::fabs(mapGeo.angleDeg - table.grivationDeg) < 1e-3
                          && std::fabs(mapGeo.scale - known.mapScale) < 1e-6 * known.mapScale;
        if (same)
            return;
        warn("The map's georeference (origin " + metres(mapGeo.ofsX) + ", " + metres(mapGeo.ofsY) + ", grivation "
             + degrees(mapGeo.angleDeg) + ", 1:" + std::to_string(std::lround(mapGeo.scale))
             + ") differs from the table's (origin " + metres(table.originEastM) + ", " + metres(table.originNorthM)
             + ", grivation " + degrees(table.grivationDeg) + ", 1:" + std::to_string(std::lround(known.mapScale))
             + "); the map's is used.");
        if (!m_placeOn)
            return;
        const zelt::document::Georeference onMap{table.crs, mapGeo.ofsX, mapGeo.ofsY, mapGeo.angleDeg};
        m_carried = *m_placeOn;
        m_carried.mapScale = mapGeo.scale;
        for (auto& p : m_carried.points) {
            const auto at = zelt::compute::gridToMap(
                onMap, mapGeo.scale, zelt::compute::mapToGrid(table, known.mapScale, {p.xMm, p.yMm}));
            p.xMm = at.x;
            p.yMm = at.y;
        }
        m_placeOn = &m_carried;
    }

    static std::string fixed(double v, int decimals)
    {
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
        return ec == std::errc() ? std::string(buf, end) : std::string("?");
    }
    static std::string metres(double v) { return fixed(v, 2); }
    static std::string degrees(double v) { return fixed(v, 3) + "\u00b0"; }

    // A placed route into a map that does not exist yet: where the new map's start mark goes,
    // the start of the route placed at the new map's scale. (0, 0) otherwise, as the template has it.
    std::pair<std::int32_t, std::int32_t> newMapStart(double newMapScale)
    {
        if (!m_placeOn || !m_newMap)
            return {0, 0};
        m_zelt.MapScale = newMapScale;
        m_zelt.setPlacement(
            zelt::compute::placeOnKnownPoints(m_doc, *m_placeOn, m_zelt.MapScale, m_params.legLengths).placement);
        const auto start = m_zelt.toMapPoint(0, 0);
        m_zelt.setPlacement(std::nullopt);
        return start;
    }

    void warn(std::string text) { m_result.warnings.push_back(zelt::document::Diagnostic::warning(std::move(text))); }

    void label(const std::string& utf8, std::int32_t x, std::int32_t y)
    {
        std::string bytes;
        zelt::document::CodePage::Failure failure;
        if (!m_codePage->fromUtf8(utf8, bytes, failure))
            throw MapRangeError("The label \"" + utf8 + "\" holds a character that code page " +
                                std::to_string(m_codePage->number()) + " of the map's labels cannot hold.");
        const std::int64_t top = std::int64_t(y) + 80;
        if (top > std::numeric_limits<std::int32_t>::max())
            throw MapRangeError("A label lies outside the coordinate range of the map.");
        m_labels.push_back(makeTextObject(bytes, x, std::int32_t(top)));
        ++m_result.labels;
    }

    fs::path m_map;
    bool m_newMap = false;
    const zelt::document::KnownPoints* m_placeOn = nullptr;
    zelt::document::KnownPoints m_carried;   ///< the known points carried onto an existing map's georeference
    const zelt::document::CodePage* m_codePage = nullptr;
    std::vector<OcadObject> m_labels;   ///< made during the walk, written after it
    ExportResult m_result;
};

double intPart(double x) { return std::trunc(x); }

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

// A ratio or start height that gives no meaningful route (from an .inf written elsewhere) stops
// the export before anything is written, the template included.
void refuseUnusableSurveyValues(const Document& document)
{
    if (auto problem = zelt::document::surveyValuesProblem(document.pairsPer100m, document.startHeight))
        throw MapRangeError(*problem);
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
                         const ExportProgress& progress, const zelt::document::KnownPoints* placeOn)
{
    refuseUnusableSurveyValues(document);
    ExportRun run(document, zelt, map, params, placeOn);
    zelt::compute::RouteBuilder builder;
    const zelt::compute::FigureLookup figures = zelt.figureLookup();
    std::int32_t anchorX = 0, anchorY = 0;
    auto prepare = [&] {
        zelt.CurX = 0;
        zelt.CurY = 0;
        std::tie(anchorX, anchorY) = zelt.toMapPoint(0, 0);
    };
    auto rowWork = [&](int n) {
        TraverseTable& t = run.m_table;
        zelt::compute::RouteRow row;
        row.azimuth = t.asInteger("Azimuth");
        // The ratio divides the pace count; 0 would give an infinite leg.
        if (!zelt::compute::isUsablePairsRatio(document.pairsPer100m))
            throw MapRangeError(zelt::compute::pairsRatioMessage(document.pairsPer100m));
        const double slope = params.legLengths == zelt::compute::LegLengths::Walked ? 0.0 : t.asFloat("Procent");
        row.lengthM = *zelt::compute::legLengthM(t.asFloat("Pairs"), slope, document.pairsPer100m, params.legLengths);
        // The labels of a row stand where its leg begins: the previous row's own end point.
        run.writeLabels(anchorX, anchorY, n);
        row.turnNote = run.turnNote();
        const std::size_t first = builder.route().points.size();
        const std::size_t end = builder.addRow(row, figures);
        std::tie(anchorX, anchorY) = zelt.toMapPoint(builder.route().points[end].xM, builder.route().points[end].yM);
        run.encode(builder.route(), first);
    };
    return run.run(prepare, rowWork, progress);
}

ExportResult ExportRouteWithContours(Document& document, TZelt& zelt, const fs::path& map,
                                     const ExportParams& params, const ExportProgress& progress,
                                     const zelt::document::KnownPoints* placeOn)
{
    refuseUnusableSurveyValues(document);
    ExportRun run(document, zelt, map, params, placeOn);
    std::optional<zelt::compute::ContourRouteBuilder> builder;
    const zelt::compute::FigureLookup figures = zelt.figureLookup();
    auto prepare = [&] {
        zelt.CurX = zelt.CurY = 0;
        std::tie(zelt.MapX, zelt.MapY) = zelt.toMapPoint(0, 0);
        zelt.LegAzimuth = zelt.LegLength = zelt.LegEndHeight = zelt.WalkedOnLeg = 0;
        zelt.Direction = 0;
        zelt.LegStartHeight = document.startHeight;
        zelt.ContourInterval = 5.0;
        zelt.ContourCounter = startingContourCount(zelt.LegStartHeight);
        builder.emplace(zelt.LegStartHeight, zelt.ContourCounter, zelt.ContourInterval);
    };
    auto rowWork = [&](int n) {
        TraverseTable& t = run.m_table;
        zelt.LegAzimuth = t.asInteger("Azimuth");
        zelt.LegLength = t.asFloat("F");
        const std::string note = run.turnNote();
        // The labels stand where the line is before this row: after the previous row's figure.
        run.writeLabels(zelt.MapX, zelt.MapY, n);
        zelt.LegEndHeight = run.heightOfRow();
        const std::size_t first = builder->route().points.size();
        try {
            builder->addRow(static_cast<std::int32_t>(zelt.LegAzimuth), zelt.LegLength, zelt.LegEndHeight, note,
                            figures);
        } catch (const std::length_error&) {
            throw MapRangeError("The contour marks up to row " + std::to_string(n) + " need more than "
                                + std::to_string(zelt::compute::kMaxContourRoutePoints) + " route points; check the row's "
                                + heightFieldName(params.heightField) + ".");
        }
        run.encode(builder->route(), first);
        zelt.LegStartHeight = builder->legStartHeight();
        zelt.ContourCounter = builder->contourCount();
        zelt.Direction = builder->direction();
    };
    return run.run(prepare, rowWork, progress);
}

}  // namespace zelt::mapexport

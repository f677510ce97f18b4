// SPDX-License-Identifier: GPL-3.0-or-later
// Map units, single moves along an azimuth and figure insertion into a route line.
#include "export/t_zelt.h"

#include "export/ocad_writer.h"

#include <cmath>
#include <limits>
#include <tuple>

namespace zelt::mapexport {

std::int32_t TZelt::ToMapUnits(double metres) const
{
    if (!(MapScale > 0) || !std::isfinite(MapScale))
        throw MapRangeError("The map scale is not set.");
    // Extended precision as in the legs' arithmetic; nearbyint rounds halves to even.
    const long double units = std::nearbyint(10000.0L / MapScale * metres * 10.0L);
    if (!(std::fabs(units) <= std::numeric_limits<std::int32_t>::max()))
        throw MapRangeError("A route point lies outside the coordinate range of the map.");
    return std::int32_t(units);
}

std::pair<std::int32_t, std::int32_t> TZelt::toMapPoint(double eastM, double northM) const
{
    if (!m_placement)
        return {ToMapUnits(eastM), ToMapUnits(northM)};
    if (!(MapScale > 0) || !std::isfinite(MapScale))
        throw MapRangeError("The map scale is not set.");
    long double x = 10000.0L / MapScale * eastM * 10.0L;
    long double y = 10000.0L / MapScale * northM * 10.0L;
    m_placement->applyUnits(x, y);
    x = std::nearbyint(x);
    y = std::nearbyint(y);
    constexpr long double kMax = std::numeric_limits<std::int32_t>::max();
    if (!(std::fabs(x) <= kMax) || !(std::fabs(y) <= kMax))
        throw MapRangeError("A route point placed on the known points lies outside the coordinate range of the map.");
    return {std::int32_t(x), std::int32_t(y)};
}

void TZelt::MoveBy(RouteLine& line, double distance, double azimuth)
{
    const zelt::compute::GroundPoint p = zelt::compute::moveAlong({CurX, CurY}, distance, azimuth);
    CurX = p.x;
    CurY = p.y;
    std::tie(MapX, MapY) = toMapPoint(p.x, p.y);
    line.AddPoint(MapX, MapY);
}

void TZelt::InsertFigure(RouteLine& line, std::string_view note, double azimuth)
{
    if (note.empty())
        line.MarkCorner();
    for (const FigureStep& step : figures().figure(figureKey(note)))
        MoveBy(line, step.lengthUnits * 5.0, azimuth + step.angleDeg);
}

void TZelt::setFigureFile(std::filesystem::path file)
{
    m_figureFile = std::move(file);
    m_figures.reset();
}

void TZelt::setFigureSearchDirs(std::vector<std::filesystem::path> dirs)
{
    m_searchDirs = std::move(dirs);
    m_figures.reset();
}

void TZelt::setFigureCodePage(int codePage)
{
    if (codePage != m_figureCodePage)
        m_figures.reset();
    m_figureCodePage = codePage;
}

void TZelt::reloadFigures() { m_figures.reset(); }

zelt::compute::FigureLookup TZelt::figureLookup()
{
    return [this](std::string_view key) { return figures().figure(key); };
}

const FigureFile& TZelt::figures()
{
    if (!m_figures)
        m_figures = FigureFile::load(m_figureFile.empty() ? FigureFile::locate(m_searchDirs) : m_figureFile,
                                     m_figureCodePage);
    return *m_figures;
}

}  // namespace zelt::mapexport

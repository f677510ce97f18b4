// SPDX-License-Identifier: GPL-3.0-or-later
// The map side of the route: metres to map units at the map's scale, and the figure file.
#pragma once

#include "compute/route_fit.h"
#include "export/figure_file.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt::mapexport {

class RouteLine;

/// The one route-geometry object of the program (created by the main window, reused by every
/// export run). Positions are metres east (X) and north (Y) of the route's start; azimuths are
/// degrees clockwise from north.
class TZelt {
public:
    double CurX = 0;               ///< current position, metres east of the start
    double CurY = 0;               ///< current position, metres north of the start
    double LegAzimuth = 0;         ///< azimuth of the leg being drawn (contour export)
    std::int32_t MapX = 0;         ///< last point stored by MoveBy, 0.01 mm
    std::int32_t MapY = 0;
    double LegStartHeight = 420.0; ///< height at the start of the current leg
    double LegEndHeight = 0.0;
    double ContourInterval = 5.0;  ///< metres between contours
    double LegLength = 0;          ///< metres
    double MapScale = 0;           ///< scale denominator of the target map
    std::int32_t ContourCounter = 0;
    std::int32_t Direction = 0;    ///< +1 climbing, -1 descending, 0 before the first crossing
    double WalkedOnLeg = 0;        ///< metres drawn along the current leg while crossing contours

    /// round(10000 / MapScale x metres x 10), halves to the even neighbour. MapRangeError when
    /// MapScale is not positive or the result does not fit 32 bits.
    std::int32_t ToMapUnits(double metres) const;
    /// The map point of a position in metres east and north of the start: each coordinate with
    /// ToMapUnits, or, while a placement is set, the unrounded map units carried through the
    /// placement and then rounded half to even. MapRangeError as ToMapUnits.
    std::pair<std::int32_t, std::int32_t> toMapPoint(double eastM, double northM) const;
    /// Places every later map point through `placement` (map millimetres); nullopt: as walked.
    /// Each export run sets it, so a placement never outlives its run.
    void setPlacement(std::optional<zelt::compute::Placement> placement) { m_placement = placement; }
    const std::optional<zelt::compute::Placement>& placement() const { return m_placement; }
    /// Moves the position `distance` metres along `azimuth`, sets MapX/MapY and adds the point.
    void MoveBy(RouteLine& line, double distance, double azimuth);
    /// Without a note marks the line's last point as a corner; then adds the points of the
    /// note's figure, each turned by the leg's `azimuth`. Reads the figure file on first use
    /// after reloadFigures(); MapIoError when it is missing or the figure's line is damaged.
    void InsertFigure(RouteLine& line, std::string_view note, double azimuth);

    /// Reads figures from this file instead of looking for "dani.dat" (empty: look it up).
    void setFigureFile(std::filesystem::path file);
    /// Folders searched for "dani.dat" (default: beside the program, then the data folder).
    void setFigureSearchDirs(std::vector<std::filesystem::path> dirs);
    /// Reads a figure file that is not UTF-8 in this code page (the table's; 1252 by default).
    void setFigureCodePage(int codePage);
    /// Forgets the figures read; the next InsertFigure reads the file again. Each run calls it.
    void reloadFigures();
    /// Figures of the figure file by key, read on the first lookup (MapIoError as InsertFigure).
    /// The lookup refers to this object, which must outlive it.
    zelt::compute::FigureLookup figureLookup();

private:
    const FigureFile& figures();

    std::filesystem::path m_figureFile;
    std::vector<std::filesystem::path> m_searchDirs = FigureFile::defaultSearchDirs();
    int m_figureCodePage = 1252;
    std::optional<FigureFile> m_figures;
    std::optional<zelt::compute::Placement> m_placement;
};

}  // namespace zelt::mapexport

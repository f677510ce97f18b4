// SPDX-License-Identifier: GPL-3.0-or-later
// The two export routines: the route of a traverse, its labels and contour marks into an OCAD map.
#pragma once

#include "compute/route_fit.h"
#include "compute/route_geometry.h"
#include "base/diagnostic.h"
#include "document/known_points.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt::document {
struct Document;
}

namespace zelt::mapexport {

class TZelt;

/// The field whose value is a row's height (labels; the height profile of the contour export).
enum class HeightField { Altimeter, FillHeight, Recalc };

/// "Altimeter", "FillHeight" or "Recalc".
const char* heightFieldName(HeightField field);

/// What the export dialog chooses (see mapping in the export dialog).
struct ExportParams {
    bool WithAbsoluteHeights = false;  ///< label every row whose height field holds a value
    HeightField heightField = HeightField::FillHeight;
    std::int32_t Frequency = 99;       ///< with EveryNth: label rows whose number it divides
    bool EveryNth = false;
    /// The leg lengths of the plain route and of the placement on known points; the contour
    /// route always draws the horizontal length F.
    zelt::compute::LegLengths legLengths = zelt::compute::LegLengths::Walked;
};

/// Called after each row with the rows done and the row count, so a window can show progress.
using ExportProgress = std::function<void(int done, int total)>;

/// What a completed run wrote.
struct ExportResult {
    int rows = 0;
    int labels = 0;
    int routePoints = 0;                ///< coordinates of the route line, start included
    std::vector<zelt::document::Diagnostic> warnings;  ///< e.g. the map lacks a symbol the objects use
    std::optional<zelt::compute::FitReport> fit;  ///< the placement used, at the map's scale
};

/// The export run without contour marks: places the template when `map` does not exist, reads
/// the map scale, walks the rows from the first (making the labels and the route line in
/// memory), then appends the labels and the route line, and returns to the row that was
/// current, also when the run fails. A route of more than 2000 points continues in further
/// line objects, each starting where the one before it ends. Errors: MapRangeError (a point or
/// label outside the coordinate range, a map past 2 GB, a label's character the code page
/// lacks; an unusable `PairsPer100m` or `StartHeight`), refused before anything is written;
/// MapIoError (map, figure file) and the table's EngineError, after which the labels of the
/// rows before the error are written and the route line is missing.
/// With `placeOn`, every written coordinate (route line, figure and contour points, label
/// anchors) is placed on those known points; a placement that cannot be made (FitError) is
/// refused before the map is created or touched. Without it the route starts at the map's origin.
ExportResult ExportRoute(zelt::document::Document& document, TZelt& zelt, const std::filesystem::path& map,
                         const ExportParams& params, const ExportProgress& progress = {},
                         const zelt::document::KnownPoints* placeOn = nullptr);

/// The same run treating the route as a height profile from `StartHeight`: each leg (length F)
/// is cut where it crosses a 5 m contour level and a "+", "++", "-" or "--" figure is inserted.
ExportResult ExportRouteWithContours(zelt::document::Document& document, TZelt& zelt,
                                     const std::filesystem::path& map, const ExportParams& params,
                                     const ExportProgress& progress = {},
                                     const zelt::document::KnownPoints* placeOn = nullptr);

}  // namespace zelt::mapexport

// SPDX-License-Identifier: GPL-3.0-or-later
// A table's route for the commands that only read: the table opened without writing anything.
#pragma once

#include "cli/cli_commands.h"
#include "compute/route_fit.h"
#include "compute/route_geometry.h"
#include "base/diagnostic.h"
#include "document/known_points.h"

#include <future>
#include <string>
#include <vector>

namespace zelt::cli {

/// What the route commands show of a table.
struct RouteSource {
    std::string tableName;            ///< file name of the table
    double pairsPer100m = 64.0;
    double startHeight = 420.0;
    zelt::compute::LegLengths lengths = zelt::compute::LegLengths::Walked;   ///< --horizontal
    std::vector<zelt::compute::RouteRow> rows;
    std::vector<std::string> marks;   ///< `Mark` of each row, empty when the field is empty
    zelt::compute::Route route;
    zelt::document::KnownPoints known;   ///< the table's known points (the picture marks them)
    bool knownDamaged = false;           ///< the .kpt could not be read (a warning says why)
    document::Diagnostics warnings;
    /// With RouteExtras::LegsAndFit: each row's Pairs and Procent, and the placement on the
    /// known points when there are any (computed with the route's leg lengths).
    std::vector<std::optional<double>> pairs, slopes;
    std::optional<zelt::compute::FitReport> fit;

    /// The table is closed on another thread while the caller goes on (freeing a long table
    /// takes a while); waits for it and rethrows what closing threw. Called at the end.
    void finishClosing();
    std::future<void> closing;
};

/// Reads the table named by the first positional argument and its .inf companion (defaults
/// without one) and computes the route with the figures of --figures FILE, or of the figure file
/// found beside the program (a warning and no figure points when there is none); with
/// --horizontal each leg's walked length is reduced by its slope. Writes nothing:
/// no companion, no lock file. A damaged table gives the route of the rows before the damage and
/// a warning saying so. Errors: a missing or non-regular table, an unusable ratio with
/// rows to convert, an unreadable or damaged figure file named by --figures.
enum class RouteExtras { None, LegsAndFit };
RouteSource loadRouteSource(const Args& args, RouteExtras extras = RouteExtras::None);

}  // namespace zelt::cli

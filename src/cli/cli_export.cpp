// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli export-ocd: the route of a table into an OCAD 7 map, with the export dialog's choices.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_util.h"

#include "export/route_export.h"
#include "export/t_zelt.h"
#include "document/known_points.h"

#include <charconv>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>

namespace zelt::cli {

namespace {

using zelt::mapexport::ExportParams;
using zelt::mapexport::HeightField;

HeightField heightField(const std::string& name, const char* option)
{
    if (name == "Altimeter")
        return HeightField::Altimeter;
    if (name == "FillHeight")
        return HeightField::FillHeight;
    if (name == "Recalc")
        return HeightField::Recalc;
    throw UsageError{std::string(option) + " takes Altimeter, FillHeight or Recalc, not '" + name + "'"};
}

// The same choices as the export dialog: "Only way" (optionally with absolute heights from one
// field) or "Way and point of height" (every 5th, every 10th or every altimeter row, a height
// field, optionally with contour marks).
ExportParams parameters(const Args& args, bool& contours)
{
    static const std::set<std::string> known = {"--absolute", "--points", "--field", "--contours", "--figures",
                                                "--layout", "--locale", "--fit", "--horizontal", "--quiet"};
    for (const auto& [name, value] : args.options)
        if (!known.count(name))
            throw UsageError{"unknown option " + name};
    contours = args.has("--contours");
    ExportParams p;
    if (args.has("--horizontal"))
        p.legLengths = zelt::compute::LegLengths::Horizontal;
    if (!args.has("--points")) {
        if (args.has("--field") || contours)
            throw UsageError{"--field and --contours need --points"};
        if (args.has("--absolute")) {
            p.WithAbsoluteHeights = true;
            p.heightField = heightField(args.option("--absolute"), "--absolute");
        }
        return p;   // FillHeight, 99, not every n-th
    }
    if (args.has("--absolute"))
        throw UsageError{"--absolute and --points exclude each other"};
    p.heightField = heightField(args.option("--field", "FillHeight"), "--field");
    const std::string points = args.option("--points");
    if (points == "every5")
        p.Frequency = 5, p.EveryNth = true;
    else if (points == "every10")
        p.Frequency = 10, p.EveryNth = true;
    else if (points == "altimeter")
        p.Frequency = 5, p.EveryNth = false;
    else
        throw UsageError{"--points takes every5, every10 or altimeter, not '" + points + "'"};
    return p;
}

int exportOcdCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 2, 2, "TABLE.db MAP.ocd");
    bool contours = false;
    const ExportParams params = parameters(args, contours);
    // "-": a new map made from the template goes to standard output.
    OutputTarget target(args.positional[1], "map.ocd");
    const std::filesystem::path& map = target.path();

    const std::filesystem::path table = tableArgument(args);
    CliSession session(table, args, CliSession::Mode::ReadOnly);
    // A map drawn with default pace counts and heights would be wrong in every point; unlike a
    // listing, it may go into a map the user keeps.
    if (!session.unreadSurveyValues().empty())
        throw std::runtime_error(session.unreadSurveyValues() + " The map is not written.");
    std::optional<zelt::document::KnownPoints> known;
    if (args.has("--fit")) {
        const zelt::document::DocumentKnownPoints& points = session.document().knownPoints;
        if (!points.damage().empty())
            throw zelt::document::KnownPointsError(points.damage());
        known = points.points();
        if (known->empty())
            throw std::runtime_error("--fit needs known points, and the table has none (add them with known-points)");
    }
    zelt::mapexport::TZelt zelt;
    if (args.has("--figures"))
        zelt.setFigureFile(args.option("--figures"));
    const auto result = contours
        ? zelt::mapexport::ExportRouteWithContours(session.document(), zelt, map, params, {}, known ? &*known : nullptr)
        : zelt::mapexport::ExportRoute(session.document(), zelt, map, params, {}, known ? &*known : nullptr);
    session.close();
    target.finish(out);
    printDiagnostics(err, result.warnings);
    const auto counted = [](int n, const char* one, const char* many) {
        return std::to_string(n) + ' ' + (n == 1 ? one : many);
    };
    std::ostream& status = target.statusStream(out, err);
    printStatus(args, status,
                counted(result.rows, "row", "rows") + " into " + target.name() + ": "
                    + counted(result.labels, "label", "labels") + ", a route line of "
                    + counted(result.routePoints, "point", "points"));
    if (result.fit) {
        char rms[32];
        const auto end = std::to_chars(rms, rms + sizeof rms, result.fit->rmsMm, std::chars_format::fixed, 2).ptr;
        std::string text(rms, end);
        for (char& c : text)
            if (c == '.')
                c = session.decimalSeparator();
        printStatus(args, status,
                    "placed on " + counted(result.fit->points, "known point", "known points") + ", RMS residual " + text
                        + " mm");
    }
    session.checkComplete();
    return 0;
}

}  // namespace

void registerExportCommands()
{
    registerCommand("export-ocd",
                    "export-ocd TABLE.db MAP.ocd [--absolute Altimeter|FillHeight|Recalc] | "
                    "[--points every5|every10|altimeter --field FillHeight|Recalc|Altimeter [--contours]] "
                    "[--figures FILE] [--fit] [--horizontal]",
                    exportOcdCommand,
                    "Export the route into the OCAD 7 map MAP.ocd: a new map is made from the built-in template, an existing one (version 7) receives the objects beside its own; - writes a new map to standard output. --absolute labels each mark with the height of the named field; --points labels every 5th or 10th row or the rows with an altimeter reading with the height of --field (FillHeight when --field is not given), and --contours adds marks where the route crosses a contour. --fit places every written coordinate on the table's known points (see known-points and fit). --horizontal draws each leg with its walked length reduced by its slope (Procent), and fits with those lengths; the contour marks always use the horizontal length F.");
}

}  // namespace zelt::cli

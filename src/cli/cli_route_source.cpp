// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a table only to read its route.
#include "cli/cli_route_source.h"

#include "cli/cli_session.h"
#include "compute/field_rules.h"
#include "compute/route_placement.h"
#include "document/value_format.h"
#include "document/document.h"
#include "export/figure_file.h"
#include "export/ocad_writer.h"

#include <filesystem>
#include <future>
#include <stdexcept>

namespace zelt::cli {
namespace fs = std::filesystem;

RouteSource loadRouteSource(const Args& args, RouteExtras extras)
{
    const fs::path path = tableArgument(args);

    RouteSource src;
    src.tableName = path.filename().string();
    // Opened as it is: no start-row rule, nothing written, the column layout not needed. The
    // session refuses anything but a regular file.
    auto session = std::make_unique<CliSession>(path, args, CliSession::Mode::ReadOnly, CliSession::Layout::Ignore);
    document::Document& doc = session->document();
    try {
        session->checkComplete();
    } catch (const PartialResult& damage) {
        src.warnings.push_back(document::Diagnostic::warning(damage.message));
    }
    src.pairsPer100m = doc.pairsPer100m;
    src.startHeight = doc.startHeight;
    if (doc.table.rowCount() > 0 && !compute::isUsablePairsRatio(doc.pairsPer100m))
        throw std::runtime_error(compute::pairsRatioMessage(doc.pairsPer100m));

    src.lengths = args.has("--horizontal") ? compute::LegLengths::Horizontal : compute::LegLengths::Walked;
    src.rows = compute::routeRowsOf(doc.table, doc.pairsPer100m, -1, &src.marks, src.lengths);
    src.known = doc.knownPoints.points();
    if (!doc.knownPoints.damage().empty()) {
        src.knownDamaged = true;
        src.warnings.push_back(document::Diagnostic::warning(doc.knownPoints.damage()));
    }
    if (extras == RouteExtras::LegsAndFit) {
        const int pairsField = doc.table.fieldIndex("Pairs");
        const int slopeField = doc.table.fieldIndex("Procent");
        const int n = doc.table.rowCount();
        src.pairs.reserve(std::size_t(n));
        src.slopes.reserve(std::size_t(n));
        for (int i = 0; i < n; ++i) {
            src.pairs.push_back(pairsField < 0 ? std::nullopt : document::numberOf(doc.table.valueAt(i, pairsField)));
            src.slopes.push_back(slopeField < 0 ? std::nullopt : document::numberOf(doc.table.valueAt(i, slopeField)));
        }
        if (!src.known.empty() && !src.knownDamaged)
            src.fit = compute::placeOnKnownPoints(doc, src.known, src.known.mapScale, src.lengths);
    }
    compute::FigureLookup figures;
    const int codePage = mapexport::FigureFile::codePageOf(doc.table);
    if (args.has("--figures")) {
        figures = mapexport::FigureFile::load(args.option("--figures"), codePage).cachedLookup();
    } else {
        try {
            const fs::path found = mapexport::FigureFile::locate(mapexport::FigureFile::defaultSearchDirs());
            figures = mapexport::FigureFile::load(found, codePage).cachedLookup();
        } catch (const mapexport::MapIoError& e) {
            src.warnings.push_back(
                document::Diagnostic::warning(std::string(e.what()) + " The route is drawn without turn figures."));
        }
    }
    src.closing = std::async(std::launch::async, [open = std::move(session)] { open->close(); });
    src.route = compute::computeRoute(src.rows, figures);
    return src;
}

void RouteSource::finishClosing()
{
    if (closing.valid())
        closing.get();
}

}  // namespace zelt::cli

// SPDX-License-Identifier: GPL-3.0-or-later
// Export of a long traverse (5,000 legs, a turn figure on every tenth): a route line of more
// points than one map object holds, continued in further line objects. Prints the time of the
// run into a new map and into an existing one, the objects written, and checks that each line
// object starts where the one before it ends.
#include "compute/field_rules.h"
#include "document/document.h"
#include "export/ocad_template.h"
#include "export/ocad_writer.h"
#include "export/route_export.h"
#include "export/t_zelt.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace zelt::mapexport;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRows = 5000;
constexpr double kTargetSeconds = 2.0;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::vector<std::uint8_t> readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The route's line objects in file order; whether each starts where the one before it ends.
bool linesJoin(const fs::path& map, int& lines, int& points)
{
    const std::vector<std::uint8_t> b = readAll(map);
    std::vector<OcadObject> found;
    std::int32_t blk;
    std::memcpy(&blk, b.data() + 12, 4);
    std::vector<std::pair<std::int32_t, std::int16_t>> entries;
    while (blk != 0) {
        OcadIndexBlock block;
        std::memcpy(&block, b.data() + blk, sizeof block);
        for (const OcadIndexEntry& e : block.entries)
            if (e.symbol == kRouteSymbol)
                found.push_back(OcadObject::fromRecord(b.data() + e.pos, std::size_t(e.len)));
        blk = block.nextBlock;
    }
    lines = int(found.size());
    points = 0;
    bool join = !found.empty();
    for (std::size_t i = 0; i < found.size(); ++i) {
        points += found[i].nItem() - (i ? 1 : 0);
        if (i > 0) {
            const OcadCord& end = found[i - 1].point(found[i - 1].nItem() - 1);
            const OcadCord& start = found[i].point(0);
            join = join && end.x == start.x && (end.y >> 8) == (start.y >> 8);
        }
    }
    return join;
}

}  // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / ("zelt-long-route-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    zelt::document::Document doc;
    doc.table.setPath(dir / "way.db");
    doc.table.create();
    doc.table.open();
    zelt::compute::attachFieldRules(doc);
    auto t0 = Clock::now();
    for (int i = 0; i < kRows; ++i) {
        doc.table.append();
        doc.table.setInteger("Azimuth", (i * 37) % 360);
        doc.table.setFloat("Pairs", 10 + i % 9);
        if (i % 10 == 0)
            doc.table.setText("Povorot", "Left");
        if (i % 4 == 0)
            doc.table.setText("Mark", "Mark " + std::to_string(i + 1));
        if (i % 25 == 0)
            doc.table.setFloat("Altimeter", 400 + (i % 200) * 0.5);
        doc.table.post();
    }
    std::printf("table of %d legs written in %.2f s\n", kRows, seconds(t0));

    TZelt zelt;
    zelt.setFigureFile(fs::path(ZELT_SOURCE_DIR) / "data" / "dani.dat");
    ExportParams params;
    params.heightField = HeightField::Altimeter;
    bool ok = true;
    double worst = 0;
    for (const char* what : {"new map", "existing map"}) {
        const fs::path map = dir / "route.ocd";
        if (std::strcmp(what, "new map") == 0)
            fs::remove(map);
        const auto before = fs::exists(map) ? fs::file_size(map) : 0;
        t0 = Clock::now();
        const ExportResult r = ExportRoute(doc, zelt, map, params);
        const double t = seconds(t0);
        worst = std::max(worst, t);
        int lines = 0, points = 0;
        const bool join = linesJoin(map, lines, points);
        const bool fresh = std::strcmp(what, "new map") == 0;
        std::printf("%s: %d rows, %d labels, route of %d points; the map holds %d line objects%s, "
                    "%ju bytes added, %.3f s\n",
                    what, r.rows, r.labels, r.routePoints, lines,
                    fresh ? (join ? ", each starting where the one before ends" : ", NOT JOINED") : " (two routes)",
                    std::uintmax_t(fs::file_size(map) - before), t);
        // The existing map holds the first run's route too: its lines join within each run.
        ok = ok && r.rows == kRows && (!fresh || (join && points == r.routePoints));
    }
    std::printf("slowest run %.3f s (target <= %.1f s): %s\n", worst, kTargetSeconds,
                ok && worst <= kTargetSeconds ? "PASS" : "FAIL");
    doc.table.close();
    fs::remove_all(dir);
    return ok && worst <= kTargetSeconds ? 0 : 1;
}

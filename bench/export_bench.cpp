// SPDX-License-Identifier: GPL-3.0-or-later
// Export run into a large map versus appending every object with its own open and index walk.
#include "compute/field_rules.h"
#include "document/document.h"
#include "export/ocad_template.h"
#include "export/ocad_writer.h"
#include "export/route_export.h"
#include "export/t_zelt.h"

#include <algorithm>
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

constexpr int kExistingObjects = 50000;
constexpr int kRows = 1500;
constexpr double kTargetSpeedup = 20.0;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::vector<std::uint8_t> readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The objects appended after `oldSize`, in the order they were appended (their file order).
std::vector<OcadObject> appendedObjects(const std::vector<std::uint8_t>& b, std::size_t oldSize)
{
    std::vector<std::pair<std::int32_t, std::int16_t>> found;
    std::int32_t blk;
    std::memcpy(&blk, b.data() + 12, 4);
    while (blk != 0) {
        OcadIndexBlock block;
        std::memcpy(&block, b.data() + blk, sizeof block);
        for (const OcadIndexEntry& e : block.entries)
            if (e.symbol != 0 && std::size_t(e.pos) >= oldSize)
                found.emplace_back(e.pos, e.len);
        blk = block.nextBlock;
    }
    std::sort(found.begin(), found.end());
    std::vector<OcadObject> out;
    for (const auto& [pos, len] : found)
        out.push_back(OcadObject::fromRecord(b.data() + pos, std::size_t(len)));
    return out;
}

}  // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / ("zelt-export-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path big = dir / "big.ocd", runMap = dir / "run.ocd", plainMap = dir / "plain.ocd";

    auto t0 = Clock::now();
    PrepareTarget(big);
    {
        MapAppender a(big);
        for (int i = 0; i < kExistingObjects; ++i) {
            OcadObject point(kStartSymbol, 1);
            point.addRaw(std::int64_t(i % 1000) * 2560, std::int64_t(i / 1000) * 2560);
            a.append(point);
        }
    }
    std::printf("map with %d objects built in %.2f s (%ju bytes)\n", kExistingObjects + 1, seconds(t0),
                std::uintmax_t(fs::file_size(big)));

    zelt::document::Document doc;
    doc.table.setPath(dir / "way.db");
    doc.table.create();
    doc.table.open();
    zelt::compute::attachFieldRules(doc);
    for (int i = 0; i < kRows; ++i) {
        doc.table.append();
        doc.table.setInteger("Azimuth", (i * 37) % 360);
        doc.table.setFloat("Pairs", 10 + i % 9);
        doc.table.setText("Mark", "Mark " + std::to_string(i + 1));
        doc.table.setFloat("Altimeter", 400 + (i % 200) * 0.5);
        doc.table.post();
    }

    fs::copy_file(big, runMap);
    fs::copy_file(big, plainMap);
    const std::size_t oldSize = std::size_t(fs::file_size(big));
    TZelt zelt;
    zelt.setFigureFile(fs::path(ZELT_SOURCE_DIR) / "data" / "dani.dat");
    t0 = Clock::now();
    const ExportResult r = ExportRoute(doc, zelt, runMap, {});
    const double runTime = seconds(t0);
    std::printf("export run: %d rows, %d labels, route line of %d points in %.3f s\n", r.rows, r.labels,
                r.routePoints, runTime);

    const std::vector<OcadObject> objects = appendedObjects(readAll(runMap), oldSize);
    t0 = Clock::now();
    for (const OcadObject& obj : objects)
        AppendObject(plainMap, obj);
    const double plainTime = seconds(t0);
    std::printf("plain open-walk-append-close of the same %zu objects: %.3f s\n", objects.size(), plainTime);

    const bool same = readAll(runMap) == readAll(plainMap);
    const double speedup = plainTime / runTime;
    std::printf("both maps byte-identical: %s\n", same ? "yes" : "NO");
    std::printf("speed-up %.1fx (target >= %.0fx): %s\n", speedup, kTargetSpeedup,
                speedup >= kTargetSpeedup && same ? "PASS" : "FAIL");
    doc.table.close();
    fs::remove_all(dir);
    return speedup >= kTargetSpeedup && same ? 0 : 1;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Export run into a large map versus a fast naive appender that opens the map, walks its index
// and closes it again for every object.
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
constexpr double kTargetSpeedup = 30.0;

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

/// The naive way, kept fast: per object one open, the header, the index chain walked block by
/// block to the first free entry, the object written at the end and its entry (or a new block
/// holding it, linked from the last one), one close. No checks beyond what finding the entry needs.
bool naiveAppend(const fs::path& map, const OcadObject& object)
{
    std::FILE* f = std::fopen(map.c_str(), "r+b");
    if (!f)
        return false;
    OcadFileHeader h;
    bool ok = std::fread(&h, sizeof h, 1, f) == 1 && std::fseek(f, 0, SEEK_END) == 0;
    const long end = std::ftell(f);
    OcadIndexEntry entry;
    object.boundingBox(entry.lowerLeft, entry.upperRight);
    entry.len = std::int16_t(object.byteSize());
    entry.symbol = object.header().symbol;
    const std::vector<std::uint8_t> record = object.bytes();
    long link = 12, freeAt = -1;
    for (std::int32_t pos = h.firstIndexBlock; ok && pos != 0 && freeAt < 0;) {
        OcadIndexBlock block;
        ok = std::fseek(f, pos, SEEK_SET) == 0 && std::fread(&block, sizeof block, 1, f) == 1;
        for (int k = 0; ok && k < kIndexEntriesPerBlock && freeAt < 0; ++k)
            if (block.entries[k].symbol == 0 && block.entries[k].len <= 32)
                freeAt = pos + 4 + long(sizeof entry) * k;
        link = pos;
        pos = block.nextBlock;
    }
    if (ok && freeAt >= 0) {
        entry.pos = std::int32_t(end);
        ok = std::fseek(f, end, SEEK_SET) == 0 && std::fwrite(record.data(), 1, record.size(), f) == record.size() &&
             std::fseek(f, freeAt, SEEK_SET) == 0 && std::fwrite(&entry, sizeof entry, 1, f) == 1;
    } else if (ok) {
        OcadIndexBlock block;
        entry.pos = std::int32_t(end + long(sizeof block));
        block.entries[0] = entry;
        const std::int32_t at = std::int32_t(end);
        ok = std::fseek(f, end, SEEK_SET) == 0 && std::fwrite(&block, sizeof block, 1, f) == 1 &&
             std::fwrite(record.data(), 1, record.size(), f) == record.size() && std::fseek(f, link, SEEK_SET) == 0 &&
             std::fwrite(&at, sizeof at, 1, f) == 1;
    }
    return std::fclose(f) == 0 && ok;
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
    ExportParams params;
    params.WithAbsoluteHeights = true;  // mark, absolute height and altimeter label on every row
    params.heightField = HeightField::Altimeter;
    const ExportResult r = ExportRoute(doc, zelt, runMap, params);
    const double runTime = seconds(t0);
    std::printf("export run: %d rows, %d labels, route line of %d points in %.3f s\n", r.rows, r.labels,
                r.routePoints, runTime);

    const std::vector<OcadObject> objects = appendedObjects(readAll(runMap), oldSize);
    t0 = Clock::now();
    bool appended = true;
    for (const OcadObject& obj : objects)
        appended = naiveAppend(plainMap, obj) && appended;
    const double plainTime = seconds(t0);
    std::printf("naive open-walk-append-close of the same %zu objects: %.3f s%s\n", objects.size(), plainTime,
                appended ? "" : " (an append FAILED)");

    const bool same = appended && readAll(runMap) == readAll(plainMap);
    const double speedup = plainTime / runTime;
    std::printf("both maps byte-identical: %s\n", same ? "yes" : "NO");
    std::printf("speed-up %.1fx (target >= %.0fx): %s\n", speedup, kTargetSpeedup,
                speedup >= kTargetSpeedup && same ? "PASS" : "FAIL");
    doc.table.close();
    fs::remove_all(dir);
    return speedup >= kTargetSpeedup && same ? 0 : 1;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The route computed on the ground, converted to map units, is the line the map export writes:
// random traverses with and without figures.
#include "compute/route_geometry.h"
#include "document/document.h"
#include "export/figure_file.h"
#include "export/ocad_writer.h"
#include "export/route_export.h"
#include "export/t_zelt.h"

#include "export_test_util.h"

#include <random>

using namespace zelt::test;
using namespace zelt::mapexport;
namespace fs = std::filesystem;

namespace {

using Points = std::vector<std::pair<int, int>>;

// The route line object of the map (symbol 517.1) as raw coordinate values.
Points writtenLine(const fs::path& map)
{
    const Bytes b = readBytes(map);
    for (std::int32_t blk = i32(b, 12); blk != 0; blk = i32(b, std::size_t(blk)))
        for (int k = 0; k < 256; ++k) {
            const std::size_t e = std::size_t(blk) + 4 + 24 * std::size_t(k);
            const std::int32_t pos = i32(b, e + 16);
            if (i16(b, e + 22) == 0 || pos < 29992 || i16(b, std::size_t(pos)) != 5171)
                continue;
            Points out;
            for (int i = 0; i < i16(b, std::size_t(pos) + 4); ++i)
                out.emplace_back(i32(b, std::size_t(pos) + 32 + 8 * std::size_t(i)),
                                 i32(b, std::size_t(pos) + 36 + 8 * std::size_t(i)));
            return out;
        }
    return {};
}

Points converted(const zelt::compute::Route& route, double scale)
{
    TZelt z;
    z.MapScale = scale;
    Points out;
    for (const auto& p : route.points)
        out.emplace_back(z.ToMapUnits(p.xM) * 256, z.ToMapUnits(p.yM) * 256 + (p.corner ? 1 : 0));
    return out;
}

}  // namespace

namespace QTest {
template<>
inline char* toString(const Points& v)
{
    std::string s;
    for (const auto& [x, y] : v)
        s += "(" + std::to_string(x) + "," + std::to_string(y) + ")";
    return qstrdup(s.c_str());
}
}  // namespace QTest

class RouteLineTest : public QObject {
    Q_OBJECT
private slots:
    void sameAsExport_data()
    {
        QTest::addColumn<bool>("withFigures");
        QTest::addColumn<int>("seed");
        for (int seed = 1; seed <= 6; ++seed) {
            QTest::addRow("figures-%d", seed) << true << seed;
            QTest::addRow("plain-%d", seed) << false << seed;
        }
    }

    // Random azimuths (negative ones included), pace counts, ratios and turn notes; the
    // figure file has sections for some notes, for the empty note and none for others.
    void sameAsExport()
    {
        QFETCH(bool, withFigures);
        QFETCH(int, seed);
        std::mt19937 rng(static_cast<unsigned>(seed));
        QTemporaryDir dir;
        zelt::document::Document doc;
        doc.table.setPath(dir.filePath(QStringLiteral("way.db")).toStdString());
        doc.table.create();
        doc.table.open();
        doc.pairsPer100m = std::uniform_real_distribution<double>(40.0, 90.0)(rng);

        const std::string figureText =
            withFigures ? "1\n90 1 0 1\n2\n-90 1.5 0 0.5 180 2\n\n10 0.2\nX\n45 3\n3\n" : "";
        const fs::path figures = dir.filePath(QStringLiteral("dani.dat")).toStdString();
        writeBytes(figures, Bytes(figureText.begin(), figureText.end()));

        const char* notes[] = {"", "", "Left", "Right", "Center", "X", "left"};
        std::uniform_int_distribution<int> az(-360, 360), note(0, 6);
        std::uniform_real_distribution<double> pairs(0.0, 250.0);
        const int rows = withFigures ? 200 : 600;   // below the map line's point limit
        for (int i = 0; i < rows; ++i) {
            doc.table.append();
            doc.table.setInteger("Azimuth", az(rng));
            doc.table.setFloat("Pairs", std::round(pairs(rng) * 10) / 10);
            if (const char* n = notes[note(rng)]; *n)
                doc.table.setText("Povorot", n);
            doc.table.post();
        }

        TZelt zelt;
        zelt.setFigureFile(figures);
        const fs::path map = dir.filePath(QStringLiteral("route.ocd")).toStdString();
        ExportRoute(doc, zelt, map, {});

        const FigureFile file = FigureFile::parse(figureText, "figures");
        const zelt::compute::FigureLookup lookup = [&file](std::string_view key) { return file.figure(key); };
        const zelt::compute::Route route = zelt::compute::computeRoute(
            zelt::compute::routeRowsOf(doc.table, doc.pairsPer100m), withFigures ? lookup : zelt::compute::FigureLookup{});
        QCOMPARE(route.rowCount(), std::size_t(rows));
        QCOMPARE(converted(route, MapAppender(map).mapScale()), writtenLine(map));
    }
};

QTEST_APPLESS_MAIN(RouteLineTest)
#include "route_line_test.moc"

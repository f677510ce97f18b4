// SPDX-License-Identifier: GPL-3.0-or-later
// The export routines over real traverse tables: route points, label rules, contour marks, failures.
#include "compute/field_rules.h"
#include "document/document.h"
#include "export/ocad_template.h"
#include "export/ocad_writer.h"
#include "export/route_export.h"
#include "export/t_zelt.h"

#include "export_test_util.h"

#include <optional>

using namespace zelt::test;
using namespace zelt::mapexport;
namespace fs = std::filesystem;

namespace {

struct Leg {
    Leg(int az = 0, double p = 0, std::string t = {}, std::string m = {}, std::optional<double> alt = {},
        std::optional<double> fh = {})
        : azimuth(az), pairs(p), turn(std::move(t)), mark(std::move(m)), altimeter(alt), fill(fh)
    {
    }
    int azimuth;
    double pairs;
    std::string turn;
    std::string mark;
    std::optional<double> altimeter;
    std::optional<double> fill;
};

struct Obj {
    int symbol = 0;
    std::vector<std::pair<int, int>> pts;   ///< raw values
    std::string text;
};

// Test figures: the contour marks add 1 ("+"), 2 ("++"), 3 ("-") and 4 ("--") points where they
// stand, so the marks can be told apart by the repeated points they leave in the line.
const char* kFigures = "+\n0 0\n++\n0 0 0 0\n-\n0 0 0 0 0 0\n--\n0 0 0 0 0 0 0 0\n1\n90 1 0 1\n";

class ExportFixture {
public:
    ExportFixture()
    {
        doc.table.setPath(dir.filePath(QStringLiteral("way.db")).toStdString());
        doc.table.create();
        doc.table.open();
        zelt::compute::attachFieldRules(doc);
        figures = dir.filePath(QStringLiteral("dani.dat")).toStdString();
        writeBytes(figures, Bytes(kFigures, kFigures + std::strlen(kFigures)));
        zelt.setFigureFile(figures);
        map = dir.filePath(QStringLiteral("route.ocd")).toStdString();
    }

    void add(const std::vector<Leg>& legs)
    {
        auto& t = doc.table;
        for (const Leg& l : legs) {
            t.append();
            t.setInteger("Azimuth", l.azimuth);
            t.setFloat("Pairs", l.pairs);
            if (!l.turn.empty())
                t.setText("Povorot", l.turn);
            if (!l.mark.empty())
                t.setText("Mark", l.mark);
            if (l.altimeter)
                t.setFloat("Altimeter", *l.altimeter);
            if (l.fill)
                t.setFloat("FillHeight", *l.fill);
            t.post();
        }
    }

    // Objects appended after the template's start mark, in index order.
    std::vector<Obj> objects() const
    {
        const Bytes b = readBytes(map);
        std::vector<Obj> out;
        for (std::int32_t blk = i32(b, 12); blk != 0; blk = i32(b, std::size_t(blk)))
            for (int k = 0; k < 256; ++k) {
                const std::size_t e = std::size_t(blk) + 4 + 24 * std::size_t(k);
                const std::int32_t pos = i32(b, e + 16);
                if (i16(b, e + 22) == 0 || pos < 29992)
                    continue;
                Obj o;
                o.symbol = i16(b, std::size_t(pos));
                const int nItem = i16(b, std::size_t(pos) + 4), nText = i16(b, std::size_t(pos) + 6);
                for (int i = 0; i < nItem; ++i)
                    o.pts.emplace_back(i32(b, std::size_t(pos) + 32 + 8 * std::size_t(i)), i32(b, std::size_t(pos) + 36 + 8 * std::size_t(i)));
                const char* t = reinterpret_cast<const char*>(b.data()) + pos + 32 + 8 * nItem;
                o.text = std::string(t, strnlen(t, std::size_t(8 * nText)));
                out.push_back(o);
            }
        return out;
    }
    std::vector<Obj> labels() const
    {
        std::vector<Obj> out;
        for (const Obj& o : objects())
            if (o.symbol == 8021)
                out.push_back(o);
        return out;
    }
    std::optional<Obj> route() const
    {
        for (const Obj& o : objects())
            if (o.symbol == 5171)
                return o;
        return std::nullopt;
    }

    QTemporaryDir dir;
    zelt::document::Document doc;
    TZelt zelt;
    fs::path figures, map;
};

using Points = std::vector<std::pair<int, int>>;
// Map units (0.01 mm) to raw values; `corner` sets the corner flag.
std::pair<int, int> P(int x, int y, bool corner = false) { return {x * 256, y * 256 + (corner ? 1 : 0)}; }

ExportResult contourRun(ExportFixture& f, double start, double F, double height)
{
    f.doc.startHeight = start;
    f.doc.pairsPer100m = 100;   // F equals the pairs on a level leg
    f.add({{0, F, "", "", std::nullopt, height}});
    return ExportRouteWithContours(f.doc, f.zelt, f.map, {false, HeightField::FillHeight, 5, false});
}

}  // namespace

class RouteExportTest : public QObject {
    Q_OBJECT
private slots:
    // An empty table: no labels, a route line of the start point alone with the box +-777.
    void emptyTable()
    {
        ExportFixture f;
        const ExportResult r = ExportRoute(f.doc, f.zelt, f.map, {});
        QCOMPARE(r.rows, 0);
        const Bytes b = readBytes(f.map);
        QCOMPARE(b.size(), std::size_t(29992 + 40));
        QCOMPARE(slice(b, 23804 + 4 + 24, 24), le({{-777, 4}, {-777, 4}, {777, 4}, {777, 4}, {29992, 4}, {40, 2}, {5171, 2}}));
        QCOMPARE(slice(b, 29992, 8), le({{5171, 2}, {2, 1}, {0, 1}, {1, 2}, {0, 2}}));
        ZELT_VERIFY_INSPECT_CLEAN(f.map);
    }

    // One row east 64 pairs at 64 pairs per 100 m on a 1:15000 map: (0, 0), (667, 0) as a corner.
    void oneLegEast()
    {
        ExportFixture f;
        f.add({{90, 64}});
        ExportRoute(f.doc, f.zelt, f.map, {});
        QCOMPARE(f.route()->pts, (Points{P(0, 0), P(667, 0, true)}));
        QVERIFY(f.labels().empty());
        QCOMPARE(f.zelt.MapScale, 15000.0);
    }

    // A turn figure follows its route point; the next leg starts from the route point, not from
    // the figure; a negative azimuth draws as itself plus 360.
    void figuresAndNegativeAzimuth()
    {
        ExportFixture f;
        f.add({{0, 96, "Left"}, {-90, 96}});
        ExportRoute(f.doc, f.zelt, f.map, {});
        // 96 pairs = 150 m = 1000 units; figure "1": 5 m east, then 5 m north (33 units each).
        QCOMPARE(f.route()->pts, (Points{P(0, 0), P(0, 1000), P(33, 1000), P(33, 1033), P(-1000, 1000, true)}));
    }

    // The four label rules, with their texts and their places (0.8 mm above the leg's start).
    void labelRules()
    {
        ExportFixture f;
        f.add({{90, 64, "", "A1", 423.46, std::nullopt},   // mark + rule 4 with an empty FillHeight
               {90, 64, "", "", std::nullopt, 421.04},     // FillHeight but no Altimeter: nothing
               {90, 64, "", "", 430.0, 431.25}});          // rule 4
        ExportRoute(f.doc, f.zelt, f.map, {false, HeightField::FillHeight, 99, false});
        const auto l = f.labels();
        QCOMPARE(int(l.size()), 3);
        QCOMPARE(l[0].text, std::string("A1"));
        QCOMPARE(l[1].text, std::string());
        QCOMPARE(l[0].pts[0], P(0, 80));
        QCOMPARE(l[1].pts[0], P(0, 80));
        QCOMPARE(l[2].text, std::string("431.3"));
        QCOMPARE(l[2].pts[0], P(1333, 80));

        // With absolute heights from Altimeter, rules 2 and 4 both label the same row.
        ExportFixture g;
        g.add({{0, 10, "", "", 423.46, std::nullopt}});
        const ExportResult r = ExportRoute(g.doc, g.zelt, g.map, {true, HeightField::Altimeter, 99, false});
        QCOMPARE(r.labels, 2);
        QCOMPARE(g.labels()[0].text, std::string("423.5"));
        QCOMPARE(g.labels()[1].text, std::string("423.5"));
        ZELT_VERIFY_INSPECT_CLEAN(f.map);
    }

    // Every fifth row with a height gets its label; rows without one and row 1 do not.
    void everyNthRow()
    {
        ExportFixture f;
        std::vector<Leg> legs(12, Leg{0, 10, "", "", 400.0, 400.0});
        legs[9].fill.reset();
        f.add(legs);
        ExportRoute(f.doc, f.zelt, f.map, {false, HeightField::FillHeight, 5, true});
        QCOMPARE(int(f.labels().size()), 1);
        QCOMPARE(f.labels()[0].pts[0].second, 256 * (417 + 80));   // start of row 5: four legs of 15.625 m
    }

    // Labels go into the map in the table's code page.
    void labelCodePage()
    {
        ExportFixture f;
        f.add({{0, 10, "", "H\xC3\xB6he"}});
        ExportRoute(f.doc, f.zelt, f.map, {});
        QCOMPARE(f.labels()[0].text, std::string("H\xF6he"));
    }

    // Start 420 to 432 over 120 m: "++" at the start (counter 5), "+" at 50 m and 100 m
    // (6 and 7), the last 20 m as one more point.
    void contourClimb()
    {
        ExportFixture f;
        contourRun(f, 420, 120, 432);
        QCOMPARE(f.route()->pts, (Points{P(0, 0), P(0, 0), P(0, 0), P(0, 333), P(0, 333), P(0, 667), P(0, 667), P(0, 800, true)}));
        QCOMPARE(f.zelt.ContourCounter, 7);
        QCOMPARE(f.zelt.Direction, 1);
        QCOMPARE(f.zelt.LegStartHeight, 432.0);
    }

    // Start 422 to 418: one crossing half way, counter 4 -> 3, mark "-".
    void contourDescent()
    {
        ExportFixture f;
        contourRun(f, 422, 100, 418);
        QCOMPARE(f.route()->pts, (Points{P(0, 0), P(0, 333), P(0, 333), P(0, 333), P(0, 333), P(0, 667, true)}));
        QCOMPARE(f.zelt.ContourCounter, 3);
    }

    // 422 up to 428 over 60 m, then down to 423 over 50 m. The climb crosses 425 after 30 m
    // (counter 4 -> 5: "++", two points); the descent crosses 425 again after 30 m, and as the
    // first crossing after the change of direction it keeps the counter at 5: "--", four points
    // (a counter stepped down to 4 would give "-", three points).
    void contourClimbThenDescent()
    {
        ExportFixture f;
        f.doc.startHeight = 422;
        f.doc.pairsPer100m = 100;
        f.add({{0, 60, "", "", std::nullopt, 428.0}, {0, 50, "", "", std::nullopt, 423.0}});
        ExportRouteWithContours(f.doc, f.zelt, f.map, {false, HeightField::FillHeight, 5, false});
        Points expected{P(0, 0), P(0, 200), P(0, 200), P(0, 200), P(0, 400, true), P(0, 600)};
        for (int i = 0; i < 4; ++i)
            expected.push_back(P(0, 600));
        expected.push_back(P(0, 733, true));
        QCOMPARE(f.route()->pts, expected);
        QCOMPARE(f.zelt.ContourCounter, 5);
        QCOMPARE(f.zelt.Direction, -1);
        QCOMPARE(f.zelt.LegStartHeight, 423.0);
    }

    // 420 down to 410: "--" at the start, both crossings at the start too ("-", "-": 4, then 3),
    // then the whole leg as one point. Between two levels (421 to 424) no mark at all.
    void contourEdgeCases()
    {
        ExportFixture f;
        contourRun(f, 420, 100, 410);
        Points expected{P(0, 0)};
        for (int i = 0; i < 4; ++i)
            expected.push_back(P(0, 0));
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < 4; ++i)
                expected.push_back(P(0, 0));
        expected.push_back(P(0, 667, true));
        QCOMPARE(f.route()->pts, expected);
        QCOMPARE(f.zelt.ContourCounter, 3);

        ExportFixture g;
        contourRun(g, 421, 100, 424);
        QCOMPARE(g.route()->pts, (Points{P(0, 0), P(0, 667, true)}));
        QCOMPARE(g.zelt.ContourCounter, 4);

        ExportFixture h;   // start 10: counter starts at -3, the level at 10 makes it -2 ("+")
        contourRun(h, 10, 100, 12);
        QCOMPARE(h.zelt.ContourCounter, -2);
        QCOMPARE(h.route()->pts, (Points{P(0, 0), P(0, 0), P(0, 667, true)}));
    }

    // A missing figure file stops the run at the first row's figure: a new map holds the
    // template and the first row's labels, no route line; the grid is back on its row.
    void missingFigureFile()
    {
        ExportFixture f;
        f.add({{0, 10, "", "first", 400.0}, {0, 10, "", "second"}, {0, 10}});
        f.doc.table.setRecNo(2);
        fs::remove(f.figures);
        QVERIFY_THROWS_EXCEPTION(MapIoError, ExportRoute(f.doc, f.zelt, f.map, {}));
        QCOMPARE(int(f.labels().size()), 2);
        QVERIFY(!f.route());
        QCOMPARE(f.doc.table.recNo(), 2);
        QVERIFY(!f.doc.table.controlsDisabled());
        ZELT_VERIFY_INSPECT_CLEAN(f.map);
    }

    // More than 2000 route points: the route continues in further line objects, each starting
    // where the one before it ends, so the map holds every point once and the line is unbroken.
    void longRouteContinuesInFurtherLines()
    {
        ExportFixture f;
        std::string big = "1\n";
        for (int i = 0; i < 700; ++i)
            big += i ? " 0 0" : "0 0";
        big += "\n";
        writeBytes(f.figures, Bytes(big.begin(), big.end()));
        f.add({{0, 10, "Left", "a"}, {0, 10, "Left", "b"}, {0, 10, "Left", "c"}, {0, 10, "", "d"}});
        f.doc.table.setRecNo(4);
        int progressCalls = 0;
        const ExportResult r = ExportRoute(f.doc, f.zelt, f.map, {}, [&](int, int) { ++progressCalls; });
        QCOMPARE(progressCalls, 4);
        QCOMPARE(r.routePoints, 1 + 4 + 3 * 700);
        QCOMPARE(int(f.labels().size()), 4);
        std::vector<Obj> lines;
        for (const Obj& o : f.objects())
            if (o.symbol == 5171)
                lines.push_back(o);
        QCOMPARE(int(lines.size()), 2);
        QCOMPARE(int(lines[0].pts.size()), 2000);
        QCOMPARE(int(lines[1].pts.size()), r.routePoints - 2000 + 1);
        // The second line starts where the first ends (the flags of its end aside).
        QCOMPARE(lines[1].pts.front().first, lines[0].pts.back().first);
        QCOMPARE(lines[1].pts.front().second >> 8, lines[0].pts.back().second >> 8);
        QCOMPARE(f.doc.table.recNo(), 4);
        ZELT_VERIFY_INSPECT_CLEAN(f.map);
    }

    // A route point or a label outside the coordinate range is refused before anything is
    // written: an existing map keeps its bytes (no labels of the rows before it) and a new map
    // is not made, however often the export is tried.
    void outOfRangeWritesNothing()
    {
        ExportFixture f;
        f.doc.pairsPer100m = 1;   // a pair is 100 m
        // Row 2's leg ends 1258260 m north: 8388400 map units at 1:15000, inside the range of a
        // point, but row 3's label there reaches past it.
        f.add({{0, 10, "", "a"}, {0, 12582.6, "", "b"}, {0, 1, "", "far"}});
        PrepareTarget(f.map);
        const Bytes before = readBytes(f.map);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QVERIFY_THROWS_EXCEPTION(MapRangeError, ExportRoute(f.doc, f.zelt, f.map, {}));
            QVERIFY(readBytes(f.map) == before);
        }
        ExportFixture g;
        g.doc.pairsPer100m = 1;
        g.add({{0, 10, "", "a"}, {0, 1e9, "", "b"}});   // the route itself leaves the range
        QVERIFY_THROWS_EXCEPTION(MapRangeError, ExportRoute(g.doc, g.zelt, g.map, {}));
        QVERIFY(!fs::exists(g.map));
        QVERIFY_THROWS_EXCEPTION(MapRangeError,
                                 ExportRouteWithContours(g.doc, g.zelt, g.map, {false, HeightField::FillHeight, 5, false}));
        QVERIFY(!fs::exists(g.map));
    }

    // A height far out of range would cross a contour level every 5 m without end: the contour
    // route stops at its point limit with a range error and writes nothing.
    void contourHeightFarOutOfRange()
    {
        ExportFixture f;
        f.doc.pairsPer100m = 100;
        f.add({{0, 10, "", "a", 420.0, 425.0}, {0, 10, "", "b", std::nullopt, 1e300}});
        PrepareTarget(f.map);
        const Bytes before = readBytes(f.map);
        QVERIFY_THROWS_EXCEPTION(MapRangeError,
                                 ExportRouteWithContours(f.doc, f.zelt, f.map, {false, HeightField::FillHeight, 5, false}));
        QVERIFY(readBytes(f.map) == before);
    }

    // A version 8 map and a ratio of 0 stop the run with a message; the map stays untouched.
    void refusedRuns()
    {
        ExportFixture f;
        f.add({{0, 10, "", "m"}});
        PrepareTarget(f.map);
        Bytes b = readBytes(f.map);
        put16(b, 4, 8);
        writeBytes(f.map, b);
        QVERIFY_THROWS_EXCEPTION(MapIoError, ExportRoute(f.doc, f.zelt, f.map, {}));
        QVERIFY(readBytes(f.map) == b);

        ExportFixture g;
        g.add({{0, 10}});
        g.doc.pairsPer100m = 0;
        QVERIFY_THROWS_EXCEPTION(MapRangeError, ExportRoute(g.doc, g.zelt, g.map, {}));
    }

    // A map without the export symbols still takes the route, with a warning for each symbol.
    void warnsAboutMissingSymbols()
    {
        const fs::path dir = sharedDir("ocad-samples");
        if (dir.empty())
            ZELT_SKIP_OUTSIDE("the outside sample maps are absent");
        ExportFixture f;
        writeBytes(f.map, readBytes(dir / "fixture-route-v7.ocd"));
        f.add({{45, 64, "", "m"}});
        using zelt::document::Diagnostic;
        const std::vector<Diagnostic> expected{
            Diagnostic::warning("The map defines no symbol 517.1; OCAD shows the route line as an unknown symbol."),
            Diagnostic::warning("The map defines no symbol 802.1; OCAD shows the labels as an unknown symbol.")};
        QVERIFY(ExportRoute(f.doc, f.zelt, f.map, {}).warnings == expected);
        writeBytes(f.map, readBytes(dir / "fixture-route-v7-export-symbols.ocd"));
        f.add({{90, 64, "Right", "n", 433.0, 433.0}});
        const ExportResult r = ExportRouteWithContours(f.doc, f.zelt, f.map, {false, HeightField::FillHeight, 5, false});
        QVERIFY(r.warnings.empty());
        ZELT_VERIFY_INSPECT_CLEAN(f.map);
    }
};

QTEST_APPLESS_MAIN(RouteExportTest)
#include "route_export_test.moc"

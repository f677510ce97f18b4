// SPDX-License-Identifier: GPL-3.0-or-later
// The map export placed on known points: fitted coordinates, unchanged default maps, refusals.
#include "compute/field_rules.h"
#include "compute/fit_wording.h"
#include "compute/route_placement.h"
#include "document/document.h"
#include "export/ocad_template.h"
#include "export/ocad_writer.h"
#include "export/route_export.h"
#include "export/t_zelt.h"

#include "export_test_util.h"

#include <QRandomGenerator>

#include <cmath>
#include <numbers>

using namespace zelt::test;
using namespace zelt::mapexport;
using zelt::compute::Placement;
using zelt::document::KnownPoints;
namespace fs = std::filesystem;

namespace {

double uniform(QRandomGenerator& rng, double lo, double hi) { return lo + rng.bounded(hi - lo); }

struct Obj {
    int symbol = 0;
    std::vector<std::pair<int, int>> pts;   ///< raw values
};

class FitFixture {
public:
    FitFixture()
    {
        doc.table.setPath(dir.filePath(QStringLiteral("walk.db")).toStdString());
        doc.table.create();
        doc.table.open();
        zelt::compute::attachFieldRules(doc);
        const std::string figures = dir.filePath(QStringLiteral("dani.dat")).toStdString();
        const char* text = "1\n90 1 0 1\n+\n0 0\n++\n0 0\n-\n0 0\n--\n0 0\n";
        writeBytes(figures, Bytes(text, text + std::strlen(text)));
        zelt.setFigureFile(figures);
    }
    fs::path mapPath(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    /// Rows of random legs; every fifth has a mark, every seventh a turn figure.
    void addRandomLegs(int n, quint32 seed)
    {
        QRandomGenerator rng(seed);
        auto& t = doc.table;
        for (int i = 1; i <= n; ++i) {
            t.append();
            t.setInteger("Azimuth", int(rng.bounded(360)));
            t.setFloat("Pairs", uniform(rng, 10.0, 120.0));
            if (i % 5 == 0)
                t.setText("Mark", "m" + std::to_string(i));
            if (i % 7 == 0)
                t.setText("Povorot", "Left");
            t.setFloat("FillHeight", 420 + uniform(rng, -30.0, 30.0));
            t.post();
        }
    }

    static std::vector<Obj> objects(const fs::path& map)
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
                const int nItem = i16(b, std::size_t(pos) + 4);
                for (int i = 0; i < nItem; ++i)
                    o.pts.emplace_back(i32(b, std::size_t(pos) + 32 + 8 * std::size_t(i)),
                                       i32(b, std::size_t(pos) + 36 + 8 * std::size_t(i)));
                out.push_back(o);
            }
        return out;
    }

    QTemporaryDir dir;
    zelt::document::Document doc;
    TZelt zelt;
};

/// Known points for `rows` where a fixed similarity carries the route: 6 % longer, turned
/// 3.5 degrees clockwise, start at (250 mm, 180 mm).
KnownPoints knownFromSimilarity(const zelt::document::Document& doc, std::initializer_list<int> rows, Placement& truth)
{
    const double s = 1.06, turn = -3.5 * std::numbers::pi / 180;
    truth = Placement{s * std::cos(turn), s * std::sin(turn), 250, 180};
    const auto ends = zelt::compute::rowEndPointsM(doc);
    KnownPoints kp;
    for (int row : rows) {
        const auto g = zelt::compute::rowMarkPointM(ends, row);
        const auto p = truth.apply(zelt::compute::groundToMapMm(g.eastM, g.northM, 15000));
        kp.set(row, p.x, p.y);
    }
    return kp;
}

/// Raw value (with flags cleared) to map units.
int units(int raw) { return raw >> 8; }

}  // namespace

class RouteExportFitTest : public QObject {
    Q_OBJECT
private slots:
    /// Every route point of a placed export lies within one map unit of its fitted position, and
    /// every label stands 0.8 mm above the placed start of its leg with its box unchanged.
    void routePointsLieOnTheFittedPositions()
    {
        FitFixture f;
        f.addRandomLegs(40, 5);
        Placement truth;
        const KnownPoints known = knownFromSimilarity(f.doc, {3, 17, 41}, truth);   // 41: the route's end
        const ExportResult r = ExportRoute(f.doc, f.zelt, f.mapPath("placed.ocd"), {}, {}, &known);
        QVERIFY(r.fit);
        QVERIFY(std::fabs(r.fit->scale - 1.06) < 1e-9);
        QVERIFY(std::fabs(r.fit->compassCorrectionDeg - 3.5) < 1e-9);
        QVERIFY(r.warnings.empty());

        std::vector<Obj> route, labels;
        for (const Obj& o : FitFixture::objects(f.mapPath("placed.ocd")))
            (o.symbol == 5171 ? route : labels).push_back(o);
        QCOMPARE(int(route.size()), 1);
        const auto& pts = route.front().pts;

        // Expected positions in units: the start, then each row's end point; figures follow rows
        // 7, 14, ... with two points each.
        std::vector<std::pair<double, double>> expected{{truth.tx * 100, truth.ty * 100}};
        for (const auto& g : zelt::compute::rowEndPointsM(f.doc)) {
            const auto p = truth.apply(zelt::compute::groundToMapMm(g.eastM, g.northM, 15000));
            expected.emplace_back(p.x * 100, p.y * 100);
        }
        std::size_t at = 0;
        std::vector<std::pair<int, int>> rowPoints;
        for (std::size_t row = 0; row < expected.size(); ++row) {
            QVERIFY(at < pts.size());
            QVERIFY2(std::fabs(units(pts[at].first) - expected[row].first) <= 1
                         && std::fabs(units(pts[at].second) - expected[row].second) <= 1,
                     qPrintable(QStringLiteral("row %1").arg(row)));
            rowPoints.emplace_back(units(pts[at].first), units(pts[at].second));
            at += (row > 0 && row % 7 == 0) ? 3 : 1;
        }
        QCOMPARE(at, pts.size());

        QCOMPARE(int(labels.size()), 8);
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const std::size_t row = 5 * (i + 1);   // marks on rows 5, 10, ...; label at the leg's start
            QCOMPARE(units(labels[i].pts[0].first), rowPoints[row - 1].first);
            QCOMPARE(units(labels[i].pts[0].second), rowPoints[row - 1].second + 80);
            QCOMPARE(labels[i].pts[2].first - labels[i].pts[0].first, 100000);
            QCOMPARE(labels[i].pts[3].second - labels[i].pts[0].second, 100000);
        }
    }

    /// One known point on the route's own position changes nothing: the map is byte for byte
    /// the unplaced one, with and without contour marks. A placed run leaves no placement behind.
    void identityPlacementAndLaterRunsAreUnchanged()
    {
        FitFixture f;
        f.addRandomLegs(25, 9);
        const ExportParams plain{false, HeightField::FillHeight, 5, false};
        ExportRoute(f.doc, f.zelt, f.mapPath("plain.ocd"), plain);
        ExportRouteWithContours(f.doc, f.zelt, f.mapPath("plain-contours.ocd"), plain);

        const auto ends = zelt::compute::rowEndPointsM(f.doc);
        const auto own = zelt::compute::groundToMapMm(ends[11].eastM, ends[11].northM, 15000);
        KnownPoints same;
        same.set(13, own.x, own.y);   // row 13's mark stands at row 12's end
        ExportRoute(f.doc, f.zelt, f.mapPath("same.ocd"), plain, {}, &same);
        ExportRouteWithContours(f.doc, f.zelt, f.mapPath("same-contours.ocd"), plain, {}, &same);
        QCOMPARE(firstDifference(readBytes(f.mapPath("plain.ocd")), readBytes(f.mapPath("same.ocd"))), -1LL);
        QCOMPARE(firstDifference(readBytes(f.mapPath("plain-contours.ocd")), readBytes(f.mapPath("same-contours.ocd"))),
                 -1LL);

        KnownPoints moved;
        moved.set(13, own.x + 40, own.y - 10);
        ExportRouteWithContours(f.doc, f.zelt, f.mapPath("moved.ocd"), plain, {}, &moved);
        const auto movedRoute = FitFixture::objects(f.mapPath("moved.ocd")).back();
        QCOMPARE(units(movedRoute.pts.front().first), 4000);
        QCOMPARE(units(movedRoute.pts.front().second), -1000);
        // The new map's start mark stands where the placed route starts.
        const Bytes movedMap = readBytes(f.mapPath("moved.ocd"));
        QCOMPARE(units(i32(movedMap, std::size_t(TemplateLayout::kStartObject) + 32)), 4000);
        QCOMPARE(units(i32(movedMap, std::size_t(TemplateLayout::kStartObject) + 36)), -1000);
        QCOMPARE(i32(movedMap, std::size_t(TemplateLayout::kIndexBlock) + 4), (4000 - 410) * 256);
        QVERIFY(!f.zelt.placement());

        ExportRoute(f.doc, f.zelt, f.mapPath("again.ocd"), plain);
        QCOMPARE(firstDifference(readBytes(f.mapPath("plain.ocd")), readBytes(f.mapPath("again.ocd"))), -1LL);
    }

    /// On 20 % slopes walked lengths make a right pace count look 2 % high; horizontal lengths
    /// find it, and the export draws and places the route with the lengths it is given.
    void horizontalLengthsOnSlopes()
    {
        using zelt::compute::LegLengths;
        FitFixture f;
        QRandomGenerator rng(12);
        for (int i = 0; i < 12; ++i) {
            f.doc.table.append();
            f.doc.table.setInteger("Azimuth", int(rng.bounded(360)));
            f.doc.table.setFloat("Pairs", uniform(rng, 20.0, 120.0));
            f.doc.table.setFloat("Procent", i % 2 ? 20 : -20);
            f.doc.table.post();
        }
        // The known points are the true places: the horizontal route shifted on the map.
        const auto ends = zelt::compute::rowEndPointsM(f.doc, LegLengths::Horizontal);
        KnownPoints known;
        for (int row : {1, 6, 13}) {
            const auto g = zelt::compute::rowMarkPointM(ends, row);
            const auto p = zelt::compute::groundToMapMm(g.eastM, g.northM, 15000);
            known.set(row, p.x + 200, p.y + 150);
        }
        const auto walked = zelt::compute::placeOnKnownPoints(f.doc, known, 15000);
        QVERIFY(std::fabs(walked.pairsPer100m - 64 * std::sqrt(1.04)) < 1e-9);
        const auto flat = zelt::compute::placeOnKnownPoints(f.doc, known, 15000, LegLengths::Horizontal);
        QVERIFY(std::fabs(flat.pairsPer100m - 64) < 1e-9);
        const std::string text = zelt::compute::fitReportText(flat, {64, 15000, LegLengths::Horizontal, {}});
        QVERIFY(text.find("horizontal leg lengths") != std::string::npos);
        QVERIFY(text.find("Route lengths agree with the map: keep 64 pairs per 100 m") != std::string::npos);

        ExportParams params;
        params.legLengths = LegLengths::Horizontal;
        const ExportResult r = ExportRoute(f.doc, f.zelt, f.mapPath("flat.ocd"), params, {}, &known);
        QVERIFY(r.fit && std::fabs(r.fit->scale - 1) < 1e-9);
        const auto line = FitFixture::objects(f.mapPath("flat.ocd")).back().pts;
        const auto end = zelt::compute::groundToMapMm(ends.back().eastM, ends.back().northM, 15000);
        QVERIFY(std::fabs(units(line.back().first) - (end.x + 200) * 100) <= 1);
        QVERIFY(std::fabs(units(line.back().second) - (end.y + 150) * 100) <= 1);
    }

    /// Points recorded on a map of another scale still place the route, with a warning naming
    /// both scales (the points are millimetres of the map they were taken on).
    void otherScaleIsWarnedAbout()
    {
        FitFixture f;
        f.addRandomLegs(10, 4);
        Placement truth;
        KnownPoints known = knownFromSimilarity(f.doc, {2, 9}, truth);
        known.mapScale = 10000;
        const ExportResult r = ExportRoute(f.doc, f.zelt, f.mapPath("other.ocd"), {}, {}, &known);
        QVERIFY(r.fit);
        QCOMPARE(r.warnings.size(), std::size_t(1));
        QVERIFY(r.warnings[0]
                == zelt::document::Diagnostic::warning(
                    "The known points were recorded for a map of scale 1:10000; this map's scale is 1:15000."));
    }

    /// A placement that cannot be made is refused before a new map is created; a placed route
    /// that leaves the map's coordinate range stops with the range error.
    void refusals()
    {
        FitFixture f;
        f.addRandomLegs(6, 2);
        KnownPoints known;
        QVERIFY_THROWS_EXCEPTION(zelt::compute::FitError, ExportRoute(f.doc, f.zelt, f.mapPath("none.ocd"), {}, {}, &known));
        QVERIFY(!fs::exists(f.mapPath("none.ocd")));

        known.set(9, 10, 10);   // beyond the table's six rows
        try {
            ExportRoute(f.doc, f.zelt, f.mapPath("beyond.ocd"), {}, {}, &known);
            QFAIL("a known point beyond the table was accepted");
        } catch (const zelt::compute::FitError& e) {
            QVERIFY(std::string(e.what()).find("row 9") != std::string::npos);
        }
        QVERIFY(!fs::exists(f.mapPath("beyond.ocd")));

        known = KnownPoints{};
        known.set(1, 90000, 0);   // 90 m of map: beyond the 24-bit range
        QVERIFY_THROWS_EXCEPTION(MapRangeError, ExportRoute(f.doc, f.zelt, f.mapPath("far.ocd"), {}, {}, &known));
        QVERIFY(!fs::exists(f.mapPath("far.ocd")));
        QVERIFY(!f.zelt.placement());
    }
};

QTEST_APPLESS_MAIN(RouteExportFitTest)
#include "route_export_fit_test.moc"

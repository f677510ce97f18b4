// SPDX-License-Identifier: GPL-3.0-or-later
// The route on the ground: leg ends, figure chains, corners, distances walked, the height
// profile, rows read from a table, and a route of 100,000 rows.
#include "compute/route_geometry.h"
#include "document_fixture.h"

#include <QTest>

#include <cmath>
#include <cstring>
#include <numbers>

using namespace zelt::compute;

namespace {

bool near(double a, double b, double eps = 1e-9) { return std::fabs(a - b) <= eps; }

RouteRow leg(std::int32_t azimuth, double lengthM, std::string note = {}, std::optional<double> alt = {},
             std::optional<double> fill = {}, std::optional<double> recalc = {})
{
    RouteRow r;
    r.azimuth = azimuth;
    r.lengthM = lengthM;
    r.turnNote = std::move(note);
    r.altimeter = alt;
    r.fillHeight = fill;
    r.recalc = recalc;
    return r;
}

}  // namespace

class RouteComputeTest : public QObject {
    Q_OBJECT
private slots:
    // Each leg starts at the previous row's own end point, not at its figure's last point;
    // the figure chains from the row's end, turned by the row's azimuth.
    void legsAndFigures()
    {
        const FigureShapes shapes{{"1", {{90, 1}, {0, 1}}}, {"", {}}};
        const std::vector<RouteRow> rows{leg(0, 100, "Left"), leg(90, 50), leg(180, 20, "Unknown")};
        const Route r = computeRoute(rows, lookupIn(shapes));
        QCOMPARE(r.points.size(), std::size_t(6));   // start, row 1 + 2 figure points, row 2, row 3
        QCOMPARE(r.rowPoints, (std::vector<std::size_t>{1, 4, 5}));
        QVERIFY(near(r.points[1].xM, 0) && near(r.points[1].yM, 100));
        QVERIFY(near(r.points[2].xM, 5) && near(r.points[2].yM, 100));    // 5 m east of the end
        QVERIFY(near(r.points[3].xM, 5) && near(r.points[3].yM, 105));    // then 5 m north
        QVERIFY(near(r.points[4].xM, 50) && near(r.points[4].yM, 100));   // from row 1's end, not the figure
        QVERIFY(near(r.points[5].xM, 50) && near(r.points[5].yM, 80));
        // Corners: only the end of a row without a turn note.
        QVERIFY(!r.points[0].corner && !r.points[1].corner && r.points[4].corner && !r.points[5].corner);
        QVERIFY(r.points[2].figure && r.points[3].figure && !r.points[4].figure);
        QCOMPARE(r.points[0].row, -1);
        QCOMPARE(r.points[3].row, 0);
        QCOMPARE(r.points[5].row, 2);

        // Without figures the same rows give only their end points, with the same corners.
        const Route plain = computeRoute(rows);
        QCOMPARE(plain.points.size(), std::size_t(4));
        QCOMPARE(plain.rowPoints, (std::vector<std::size_t>{1, 2, 3}));
        QVERIFY(near(plain.points[2].xM, 50) && plain.points[2].corner);
    }

    // Distances are the sum of leg lengths (figure points carry their row's distance), also
    // for legs that turn back; a negative azimuth is the same direction plus 360.
    void distancesWalked()
    {
        const FigureShapes shapes{{"1", {{0, 4}}}};
        const std::vector<RouteRow> rows{leg(90, 30, "Left"), leg(270, 30), leg(-90, 12.5), leg(0, 0)};
        const Route r = computeRoute(rows, lookupIn(shapes));
        QVERIFY(near(r.rowDistanceM(0), 30));
        QVERIFY(near(r.points[2].distanceM, 30));
        QVERIFY(near(r.rowDistanceM(1), 60));
        QVERIFY(near(r.rowDistanceM(2), 72.5));
        QVERIFY(near(r.rowDistanceM(3), 72.5));
        QVERIFY(near(r.lengthM(), 72.5));
        QVERIFY(near(r.points[r.rowPoints[2]].xM, -12.5));
        QCOMPARE(computeRoute({}).lengthM(), 0.0);
        QCOMPARE(computeRoute({}).points.size(), std::size_t(1));
    }

    // Each profile series holds exactly the rows whose field has a value, at the distance
    // walked to the row's end.
    void profileSeries()
    {
        const std::vector<RouteRow> rows{leg(0, 10, {}, 421.5, 421.5), leg(0, 20, {}, {}, 423, 423.25),
                                         leg(0, 30, {}, 430, {}, 431), leg(0, 40)};
        const HeightProfile p = computeRoute(rows).profile;
        QCOMPARE(p.altimeter.size(), std::size_t(2));
        QCOMPARE(p.altimeter[1].row, 2);
        QCOMPARE(p.altimeter[1].distanceM, 60.0);
        QCOMPARE(p.altimeter[1].heightM, 430.0);
        QCOMPARE(p.fillHeight.size(), std::size_t(2));
        QCOMPARE(p.fillHeight[1].distanceM, 30.0);
        QCOMPARE(p.recalc.size(), std::size_t(2));
        QCOMPARE(p.recalc[0].heightM, 423.25);
        QCOMPARE(p.recalc[1].row, 2);
    }

    // Truncating and adding the rows again, changed or not, gives what a fresh computation gives.
    void truncateAndResume()
    {
        const FigureShapes shapes{{"1", {{90, 1}, {0, 1}}}};
        std::vector<RouteRow> rows{leg(10, 33.3, "Left", 420), leg(95, 12.1, {}, {}, 421), leg(-40, 7.5, "Left", 419),
                                   leg(200, 50, {}, 400, 401, 402)};
        RouteBuilder b;
        for (const RouteRow& r : rows)
            b.addRow(r, lookupIn(shapes));
        rows[1].azimuth = 96;
        rows[2].altimeter.reset();
        b.truncate(1);
        QCOMPARE(b.route().rowCount(), std::size_t(1));
        QCOMPARE(b.route().points.size(), std::size_t(4));   // start, row 1 and its figure
        for (std::size_t i = 1; i < rows.size(); ++i)
            b.addRow(rows[i], lookupIn(shapes));
        const Route fresh = computeRoute(rows, lookupIn(shapes));
        QCOMPARE(b.route().points.size(), fresh.points.size());
        for (std::size_t i = 0; i < fresh.points.size(); ++i) {
            QCOMPARE(b.route().points[i].xM, fresh.points[i].xM);
            QCOMPARE(b.route().points[i].yM, fresh.points[i].yM);
            QCOMPARE(b.route().points[i].distanceM, fresh.points[i].distanceM);
            QCOMPARE(b.route().points[i].corner, fresh.points[i].corner);
        }
        QCOMPARE(b.route().rowPoints, fresh.rowPoints);
        QCOMPARE(b.route().profile.altimeter.size(), fresh.profile.altimeter.size());
        QCOMPARE(b.route().profile.fillHeight.size(), fresh.profile.fillHeight.size());
        b.truncate(0);
        QCOMPARE(b.route().points.size(), std::size_t(1));
        QVERIFY(b.route().profile.altimeter.empty() && b.route().profile.recalc.empty());
        b.truncate(5);   // past the end: nothing
    }

    // Whole-degree moves come from a table of sines and cosines; they must be bit for bit what
    // the direct extended-precision computation gives, or maps would change.
    void wholeDegreeMovesMatchDirectComputation()
    {
        for (int d = -1100; d <= 1100; ++d)
            for (const double len : {0.0, 0.1, 37.5, 1234.5678}) {
                const long double theta = static_cast<long double>(d) * std::numbers::pi_v<long double> / 180.0L;
                const GroundPoint from{12.25, -7.125};
                const GroundPoint want{static_cast<double>(from.x + std::sin(theta) * len),
                                       static_cast<double>(from.y + std::cos(theta) * len)};
                const GroundPoint got = moveAlong(from, len, d);
                QVERIFY2(std::memcmp(&got, &want, sizeof got) == 0, qPrintable(QString::number(d)));
            }
        // A negative zero keeps its sign through the sine, as the direct computation does.
        const GroundPoint negZero = moveAlong({-0.0, 0}, 5, -0.0);
        QVERIFY(std::signbit(negZero.x));
    }

    // Replacing one row moves what follows it: the result matches a full computation of the
    // changed rows, whether the row's figure grows, shrinks or its heights come and go.
    void replaceRowMatchesFullComputation()
    {
        const FigureShapes shapes{{"1", {{90, 1}, {0, 1}}}, {"2", {{-90, 2}}}};
        std::vector<RouteRow> rows;
        for (int i = 0; i < 40; ++i)
            rows.push_back(leg((i * 53) % 360, 5 + i % 9, i % 5 == 0 ? "Left" : (i % 7 == 0 ? "Right" : ""),
                               i % 3 ? std::optional<double>(400 + i) : std::nullopt, 401.0 + i,
                               i % 4 ? std::nullopt : std::optional<double>(399 + i)));
        Route route = computeRoute(rows, lookupIn(shapes));
        const std::vector<std::pair<std::size_t, RouteRow>> edits{
            {0, leg(17, 22.5, "Left", 380)},     {5, leg(5, 1, {}, {}, {}, 410)},   {39, leg(270, 80, "Right")},
            {7, leg(90, 0, "Left", {}, 402.5)}, {20, leg(123, 14.25, "Unknown")}, {5, leg(300, 9, "Right", 420, 421, 422)}};
        for (const auto& [row, fresh] : edits) {
            rows[row] = fresh;
            replaceRow(route, row, fresh, lookupIn(shapes));
            const Route full = computeRoute(rows, lookupIn(shapes));
            QCOMPARE(route.points.size(), full.points.size());
            QCOMPARE(route.rowPoints, full.rowPoints);
            for (std::size_t k = 0; k < full.points.size(); ++k) {
                QVERIFY(near(route.points[k].xM, full.points[k].xM) && near(route.points[k].yM, full.points[k].yM));
                QVERIFY(near(route.points[k].distanceM, full.points[k].distanceM));
                QCOMPARE(route.points[k].row, full.points[k].row);
                QCOMPARE(route.points[k].corner, full.points[k].corner);
                QCOMPARE(route.points[k].figure, full.points[k].figure);
            }
            const auto sameSeries = [](const std::vector<ProfilePoint>& a, const std::vector<ProfilePoint>& b) {
                if (a.size() != b.size())
                    return false;
                for (std::size_t k = 0; k < a.size(); ++k)
                    if (a[k].row != b[k].row || a[k].heightM != b[k].heightM || !near(a[k].distanceM, b[k].distanceM))
                        return false;
                return true;
            };
            QVERIFY(sameSeries(route.profile.altimeter, full.profile.altimeter));
            QVERIFY(sameSeries(route.profile.fillHeight, full.profile.fillHeight));
            QVERIFY(sameSeries(route.profile.recalc, full.profile.recalc));
        }
        // A failing lookup leaves the route untouched.
        const FigureLookup broken = [](std::string_view) -> std::vector<FigureStep> { throw std::runtime_error("damaged"); };
        const Route kept = route;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, replaceRow(route, 3, leg(1, 1), broken));
        QCOMPARE(route.points.size(), kept.points.size());
        QCOMPARE(route.points.back().xM, kept.points.back().xM);
    }

    // A figure lookup that fails stops the computation at the row that asked.
    void failingLookup()
    {
        const FigureLookup broken = [](std::string_view key) -> std::vector<FigureStep> {
            if (key == "bad")
                throw std::runtime_error("damaged");
            return {};
        };
        RouteBuilder b;
        b.addRow(leg(0, 10), broken);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, b.addRow(leg(0, 10, "bad"), broken));
        QCOMPARE(b.route().rowCount(), std::size_t(1));
    }

    // Rows read from the table: empty fields read as 0 / no value, lengths converted with the
    // ratio, an unusable ratio gives zero-length legs instead of infinite ones.
    void rowsFromTable()
    {
        zelt::test::DocumentFixture f;
        auto& t = f.doc->table;
        t.append();
        t.setInteger("Azimuth", 45);
        t.setFloat("Pairs", 32);
        t.setText("Povorot", "Left");
        t.setFloat("Altimeter", 425.5);
        t.post();
        t.append();
        t.setInteger("Azimuth", 300);   // Pairs empty
        t.setFloat("Recalc", 400);
        t.post();
        const std::vector<RouteRow> rows = routeRowsOf(t, 64.0);
        QCOMPARE(rows.size(), std::size_t(2));
        QCOMPARE(rows[0].azimuth, 45);
        QCOMPARE(rows[0].lengthM, 50.0);
        QCOMPARE(rows[0].turnNote, std::string("Left"));
        QCOMPARE(rows[0].altimeter, std::optional<double>(425.5));
        QVERIFY(!rows[0].fillHeight && !rows[0].recalc);
        QCOMPARE(rows[1].lengthM, 0.0);
        QVERIFY(rows[1].turnNote.empty());
        QCOMPARE(rows[1].recalc, std::optional<double>(400));
        QCOMPARE(routeRowAt(t, 1, 64.0).azimuth, 300);
        t.setRecNo(2);
        t.edit();
        t.setText("Mark", "bridge");
        t.post();
        std::vector<std::string> marks{"stale"};
        QCOMPARE(routeRowsOf(t, 64.0, -1, &marks).size(), std::size_t(2));
        QCOMPARE(marks, (std::vector<std::string>{"", "bridge"}));
        for (const double bad : {0.0, -5.0, std::nan("")})
            QCOMPARE(routeRowsOf(t, bad)[0].lengthM, 0.0);

        // Horizontal lengths reduce the walked length by the slope; walked ones ignore it.
        t.setRecNo(1);
        t.edit();
        t.setFloat("Procent", -20);
        t.post();
        QCOMPARE(routeRowsOf(t, 64.0)[0].lengthM, 50.0);
        QVERIFY(near(routeRowAt(t, 0, 64.0, LegLengths::Horizontal).lengthM, 50.0 / std::sqrt(1.04), 1e-12));
    }

    // A long table is read in two halves at once: the rows and marks still come in table order,
    // each as reading it alone gives, across the seam too.
    void longTableReadInOrder()
    {
        zelt::test::DocumentFixture f;
        auto& t = f.doc->table;
        const int n = 20011;
        t.disableControls();
        for (int i = 0; i < n; ++i) {
            t.append();
            t.setInteger("Azimuth", i % 360);
            t.setFloat("Pairs", 1 + i % 97);
            if (i % 3 == 0)
                t.setText("Mark", "m" + std::to_string(i));
            t.post();
        }
        t.enableControls();
        std::vector<std::string> marks;
        const std::vector<RouteRow> rows = routeRowsOf(t, 64.0, -1, &marks);
        QCOMPARE(rows.size(), std::size_t(n));
        QCOMPARE(marks.size(), std::size_t(n));
        for (int i = 0; i < n; ++i) {
            QCOMPARE(rows[std::size_t(i)].azimuth, i % 360);
            QCOMPARE(marks[std::size_t(i)], i % 3 == 0 ? "m" + std::to_string(i) : std::string());
        }
        for (const int i : {0, n / 2 - 1, n / 2, n / 2 + 1, n - 1})
            QCOMPARE(rows[std::size_t(i)].lengthM, routeRowAt(t, i, 64.0).lengthM);
    }

    // 100,000 rows: one end point per row, indices in order, no NaN, closed square loops
    // come back to the start.
    void hundredThousandRows()
    {
        std::vector<RouteRow> rows;
        rows.reserve(100000);
        for (int i = 0; i < 100000; ++i)
            rows.push_back(leg((i % 4) * 90, 10.0, {}, 400.0 + i % 50));
        const Route r = computeRoute(rows);
        QCOMPARE(r.rowCount(), std::size_t(100000));
        QCOMPARE(r.points.size(), std::size_t(100001));
        QCOMPARE(r.rowPoints.back(), std::size_t(100000));
        QCOMPARE(r.profile.altimeter.size(), std::size_t(100000));
        QVERIFY(near(r.lengthM(), 1e6, 1e-6));
        QVERIFY(near(r.points.back().xM, 0, 1e-6) && near(r.points.back().yM, 0, 1e-6));
        for (const RoutePoint& p : r.points)
            QVERIFY(std::isfinite(p.xM) && std::isfinite(p.yM));
    }
};

QTEST_APPLESS_MAIN(RouteComputeTest)
#include "route_compute_test.moc"

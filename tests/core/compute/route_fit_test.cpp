// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the least-squares placement of a route on known points and of its report.
#include "compute/fit_wording.h"
#include "compute/route_fit.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <cmath>
#include <numbers>

using namespace zelt::compute;

namespace {

double uniform(QRandomGenerator& rng, double lo, double hi) { return lo + rng.bounded(hi - lo); }

constexpr double kPi = std::numbers::pi;

std::vector<MapPointMm> randomPoints(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    std::vector<MapPointMm> pts;
    for (int i = 0; i < n; ++i)
        pts.push_back({uniform(rng, -400.0, 400.0), uniform(rng, -400.0, 400.0)});
    return pts;
}

/// Solves the 4x4 normal equations of p' = [a -b; b a] p + t by Gaussian elimination: a
/// computation of the same optimum that shares nothing with the centroid form under test.
std::array<double, 4> normalEquations(const std::vector<FitPair>& pairs)
{
    double m[4][5] = {};
    for (const FitPair& p : pairs) {
        const double rows[2][5] = {{p.route.x, -p.route.y, 1, 0, p.known.x}, {p.route.y, p.route.x, 0, 1, p.known.y}};
        for (const auto& r : rows)
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 5; ++j)
                    m[i][j] += r[i] * r[j];
    }
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c]))
                pivot = r;
        for (int j = 0; j < 5; ++j)
            std::swap(m[c][j], m[pivot][j]);
        for (int r = 0; r < 4; ++r) {
            if (r == c)
                continue;
            const double f = m[r][c] / m[c][c];
            for (int j = 0; j < 5; ++j)
                m[r][j] -= f * m[c][j];
        }
    }
    return {m[0][4] / m[0][0], m[1][4] / m[1][1], m[2][4] / m[2][2], m[3][4] / m[3][3]};
}

/// Pairs whose known points are the route points carried by `truth`, with a deterministic
/// disturbance of up to `noiseMm` on each coordinate.
std::vector<FitPair> pairsThrough(const Placement& truth, int n, double noiseMm)
{
    QRandomGenerator rng(41);
    std::vector<FitPair> pairs;
    int row = 1;
    for (MapPointMm p : randomPoints(n, 5)) {
        MapPointMm k = truth.apply(p);
        k.x += noiseMm * uniform(rng, -1.0, 1.0);
        k.y += noiseMm * uniform(rng, -1.0, 1.0);
        pairs.push_back({row++, p, k});
    }
    return pairs;
}

Placement similarityOf(double scale, double compassCorrectionDeg)
{
    const double turn = -compassCorrectionDeg * kPi / 180;   // counter-clockwise on the map
    return {scale * std::cos(turn), scale * std::sin(turn), 120, 80};
}

}  // namespace

class RouteFitTest : public QObject {
    Q_OBJECT
private slots:
    /// An exact similarity is recovered to 1e-9 from two, three and ten points, residuals vanish.
    void recoversExactSimilarity_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("2 points") << 2;
        QTest::newRow("3 points") << 3;
        QTest::newRow("10 points") << 10;
    }
    void recoversExactSimilarity()
    {
        QFETCH(int, n);
        const double s = 1.06, turn = -3.5 * kPi / 180;   // counter-clockwise
        const Placement truth{s * std::cos(turn), s * std::sin(turn), 123.25, -47.5};
        std::vector<FitPair> pairs;
        int row = 1;
        for (MapPointMm p : randomPoints(n, 7 + n))
            pairs.push_back({row++, p, truth.apply(p)});

        const FitReport r = fitRoute(pairs, 64.0, 15000);
        QCOMPARE(r.points, n);
        QVERIFY(std::fabs(r.placement.a - truth.a) < 1e-9);
        QVERIFY(std::fabs(r.placement.b - truth.b) < 1e-9);
        QVERIFY(std::fabs(r.placement.tx - truth.tx) < 1e-9);
        QVERIFY(std::fabs(r.placement.ty - truth.ty) < 1e-9);
        QVERIFY(std::fabs(r.scale - s) < 1e-9);
        QVERIFY(std::fabs(r.compassCorrectionDeg - 3.5) < 1e-9);
        QVERIFY(std::fabs(r.shift.x - 123.25) < 1e-9 && std::fabs(r.shift.y + 47.5) < 1e-9);
        QVERIFY(std::fabs(r.pairsPer100m - 64.0 / 1.06) < 1e-9);
        QVERIFY(r.rmsMm < 1e-9);
        QCOMPARE(int(r.residuals.size()), n);
    }

    /// One known point moves the route without turning or stretching it.
    void onePointShiftsOnly()
    {
        const FitReport r = fitRoute({{4, {10, 20}, {-5.5, 100}}}, 64.0, 10000);
        QCOMPARE(r.scale, 1.0);
        QCOMPARE(r.compassCorrectionDeg, 0.0);
        QCOMPARE(r.shift.x, -15.5);
        QCOMPARE(r.shift.y, 80.0);
        QCOMPARE(r.pairsPer100m, 64.0);
        QCOMPARE(r.residuals.front().row, 4);
        QCOMPARE(r.rmsMm, 0.0);
    }

    /// With noisy known points the fit is the least-squares optimum of an independent
    /// computation, and residuals and RMS are fitted minus known on the map and on the ground.
    void noisyPointsMatchNormalEquations()
    {
        QRandomGenerator rng(99);
        const Placement truth{0.97 * std::cos(0.2), 0.97 * std::sin(0.2), -30, 55};
        std::vector<FitPair> pairs;
        int row = 1;
        for (MapPointMm p : randomPoints(12, 3)) {
            MapPointMm k = truth.apply(p);
            k.x += uniform(rng, -2.0, 2.0);
            k.y += uniform(rng, -2.0, 2.0);
            pairs.push_back({row++, p, k});
        }
        const FitReport r = fitRoute(pairs, 60.0, 15000);
        const auto ref = normalEquations(pairs);
        QVERIFY(std::fabs(r.placement.a - ref[0]) < 1e-9);
        QVERIFY(std::fabs(r.placement.b - ref[1]) < 1e-9);
        QVERIFY(std::fabs(r.placement.tx - ref[2]) < 1e-7);
        QVERIFY(std::fabs(r.placement.ty - ref[3]) < 1e-7);

        double sum = 0;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const double fx = ref[0] * pairs[i].route.x - ref[1] * pairs[i].route.y + ref[2];
            const double fy = ref[1] * pairs[i].route.x + ref[0] * pairs[i].route.y + ref[3];
            QVERIFY(std::fabs(r.residuals[i].dxMm - (fx - pairs[i].known.x)) < 1e-7);
            QVERIFY(std::fabs(r.residuals[i].dyMm - (fy - pairs[i].known.y)) < 1e-7);
            QVERIFY(std::fabs(r.residuals[i].dxM - r.residuals[i].dxMm * 15.0) < 1e-9);
            sum += std::pow(fx - pairs[i].known.x, 2) + std::pow(fy - pairs[i].known.y, 2);
        }
        QVERIFY(std::fabs(r.rmsMm - std::sqrt(sum / 12)) < 1e-7);
        QVERIFY(r.rmsMm > 0.5 && r.rmsMm < 3);
        QVERIFY(std::fabs(r.rmsM - r.rmsMm * 15.0) < 1e-9);
    }

    /// A traverse read 3.5 degrees short on the compass and with paces 6 % long reports a
    /// correction of +3.5 degrees clockwise and a pace count 6 % lower.
    void reportsCompassAndPaceErrorsWithTheirSigns()
    {
        const double truthAz[] = {30, 95, 160, 250};
        const double walkedM[] = {120, 80, 150, 60};
        MapPointMm route, known;
        std::vector<FitPair> pairs;
        for (int i = 0; i < 4; ++i) {
            const double read = (truthAz[i] - 3.5) * kPi / 180, truthRad = truthAz[i] * kPi / 180;
            // Paces 6 % longer than the count assumes: the ground length is 1.06 times the count's.
            route.x += std::sin(read) * walkedM[i] / 15.0;
            route.y += std::cos(read) * walkedM[i] / 15.0;
            known.x += std::sin(truthRad) * walkedM[i] * 1.06 / 15.0;
            known.y += std::cos(truthRad) * walkedM[i] * 1.06 / 15.0;
            pairs.push_back({i + 1, route, {known.x + 200, known.y + 300}});
        }
        const FitReport r = fitRoute(pairs, 64.0, 15000);
        QVERIFY(std::fabs(r.compassCorrectionDeg - 3.5) < 1e-9);
        QVERIFY(std::fabs(r.scale - 1.06) < 1e-9);
        QVERIFY(std::fabs(r.pairsPer100m - 64.0 / 1.06) < 1e-9);
        QVERIFY(std::fabs(r.shift.x - 200) < 1e-9 && std::fabs(r.shift.y - 300) < 1e-9);
    }

    /// Rows on one route spot with different known points are refused; with the same known
    /// point they are harmless, and all on one spot give a shift.
    void coincidingRoutePositions()
    {
        const std::vector<FitPair> contradicting = {{2, {10, 10}, {0, 0}}, {5, {10, 10}, {4, 0}}, {7, {50, 0}, {60, 0}}};
        try {
            fitRoute(contradicting, 64, 15000);
            QFAIL("contradicting known points were accepted");
        } catch (const FitError& e) {
            QVERIFY(std::string(e.what()).find("row 2 and row 5") != std::string::npos);
        }

        const FitReport same = fitRoute({{2, {10, 10}, {1, 1}}, {5, {10, 10}, {1, 1}}}, 64, 15000);
        QCOMPARE(same.scale, 1.0);
        QCOMPARE(same.shift.x, -9.0);

        const FitReport twice = fitRoute({{1, {0, 0}, {0, 0}}, {2, {0, 0}, {0, 0}}, {3, {10, 0}, {0, 20}}}, 64, 15000);
        QVERIFY(std::fabs(twice.compassCorrectionDeg + 90) < 1e-9);
        QVERIFY(std::fabs(twice.scale - 2) < 1e-9);
    }

    /// The report says what to do in a mapper's words: no scale, compass or pace for one point,
    /// "nothing checks them" for two, standard deviations and the RMS from three; the signs pick
    /// "too high"/"subtract" or "too low"/"add", "too long" or "too short".
    void reportLines_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("correction");
        QTest::addColumn<double>("noise");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QString compassHigh = QStringLiteral("Your compass reads 5.0\u00b0 too high: subtract 5.0\u00b0 from every azimuth");
        QTest::newRow("1 point") << 1 << 0.946 << -5.0 << 0.0
                                 << QStringList{QStringLiteral("1 known point, map scale 1:15000; leg lengths as walked"),
                                                QStringLiteral("One point only shifts the route"),
                                                QStringLiteral("The start lands at X ")}
                                 << QStringList{QStringLiteral("Your compass"), QStringLiteral("Route lengths"),
                                                QStringLiteral("Scale"), QStringLiteral("RMS")};
        QTest::newRow("2 points") << 2 << 0.946 << -5.0 << 0.0
                                  << QStringList{QStringLiteral("Two points are met exactly, so nothing checks them"),
                                                 compassHigh + QLatin1Char('.'),
                                                 QStringLiteral("Route lengths 5.7 % too long: use 67.7 pairs per 100 m "
                                                                "(the table uses 64)."),
                                                 QStringLiteral("Scale 0.9460 (map length")}
                                  << QStringList{QStringLiteral("\u00b1"), QStringLiteral("RMS"), QStringLiteral("Check")};
        QTest::newRow("3 points, noisy") << 3 << 0.946 << -5.0 << 0.3
                                         << QStringList{QStringLiteral("RMS residual "), compassHigh + QStringLiteral(" (\u00b1 "),
                                                        QStringLiteral("pairs per 100 m (\u00b1 "), QStringLiteral("Scale 0.94")}
                                         << QStringList{QStringLiteral("nothing checks"), QStringLiteral("Check")};
        QTest::newRow("10 points, low compass, short") << 10 << 1.06 << 3.5 << 0.5
                                         << QStringList{QStringLiteral("Your compass reads 3.5\u00b0 too low: add 3.5\u00b0 to every azimuth (\u00b1 "),
                                                        QStringLiteral("Route lengths 5.6 % too short: use 60.4 pairs per 100 m (\u00b1 0.01; the table uses 64).")}
                                         << QStringList{QStringLiteral("-0"), QStringLiteral("Check")};
        QTest::newRow("no error within the noise") << 10 << 1.0 << 0.0 << 0.5
                                         << QStringList{QStringLiteral("within the noise"),
                                                        QStringLiteral("Route lengths agree with the map: keep 64 pairs")}
                                         << QStringList{QStringLiteral("-0"), QStringLiteral("Check")};
        QTest::newRow("implausible scale") << 2 << 1.5 << 0.0 << 0.0
                                           << QStringList{QStringLiteral("Check the known points and the map scale: a scale of 1.50")}
                                           << QStringList{QStringLiteral("-0")};
    }
    void reportLines()
    {
        QFETCH(int, n);
        QFETCH(double, scale);
        QFETCH(double, correction);
        QFETCH(double, noise);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const FitReport r = fitRoute(pairsThrough(similarityOf(scale, correction), n, noise), 64.0, 15000);
        QCOMPARE(r.deviations.has_value(), n >= 3);
        const QString text = QString::fromStdString(fitReportText(r, {64.0, 15000, LegLengths::Walked, {}}));
        for (const QString& p : present)
            QVERIFY2(text.contains(p), qPrintable(QStringLiteral("missing '%1' in:\n%2").arg(p, text)));
        for (const QString& a : absent)
            QVERIFY2(!text.contains(a), qPrintable(QStringLiteral("unexpected '%1' in:\n%2").arg(a, text)));
    }

    /// Standard deviations: zero for an exact fit; for a disturbance of +-d that the similarity
    /// cannot absorb (alternating along a square's corners) sigma0 is d and the rest follow from
    /// S = 20000 mm^2, the square's spread about its centre.
    void standardDeviations()
    {
        const Placement truth = similarityOf(1.06, 3.5);
        const FitReport exact = fitRoute(pairsThrough(truth, 10, 0), 64.0, 15000);
        QVERIFY(exact.deviations && exact.deviations->scale < 1e-12 && exact.deviations->rotationDeg < 1e-9);

        const double d = 0.5;
        const MapPointMm corners[] = {{0, 0}, {100, 0}, {0, 100}, {100, 100}};
        const double push[] = {d, -d, -d, d};
        std::vector<FitPair> pairs;
        for (int i = 0; i < 4; ++i) {
            MapPointMm k = truth.apply(corners[i]);
            k.x += push[i];
            pairs.push_back({i + 1, corners[i], k});
        }
        const FitReport r = fitRoute(pairs, 64.0, 15000);
        QVERIFY(std::fabs(r.scale - 1.06) < 1e-12);   // the disturbance does not move the fit
        QVERIFY(r.deviations);
        const double sdScale = d / std::sqrt(20000.0);
        QVERIFY(std::fabs(r.deviations->sigma0Mm - d) < 1e-12);
        QVERIFY(std::fabs(r.deviations->scale - sdScale) < 1e-12);
        QVERIFY(std::fabs(r.deviations->rotationDeg - sdScale / 1.06 * 180 / kPi) < 1e-10);
        QVERIFY(std::fabs(r.deviations->pairsPer100m - 64 / (1.06 * 1.06) * sdScale) < 1e-10);

        // A corner given again for a row the route puts on the same spot is no new evidence:
        // the fit, its rms and sigma0 stay; both rows have their residual.
        std::vector<FitPair> twice = pairs;
        twice.push_back({5, corners[0], pairs[0].known});
        const FitReport t = fitRoute(twice, 64.0, 15000);
        QCOMPARE(t.points, 5);
        QCOMPARE(t.distinctPoints, 4);
        QCOMPARE(int(t.residuals.size()), 5);
        QVERIFY(std::fabs(t.rmsMm - r.rmsMm) < 1e-12);
        QVERIFY(t.deviations && std::fabs(t.deviations->sigma0Mm - d) < 1e-12);
        QVERIFY(std::fabs(t.placement.tx - r.placement.tx) < 1e-12 && std::fabs(t.placement.a - r.placement.a) < 1e-12);
    }

    /// Whether two rows share a spot is judged against the route's extent: at 1:10,000,000 rows
    /// 9 m apart on a 50 km route are two places, and a true contradiction is still refused.
    void sameSpotIsRelativeToTheRoute_data()
    {
        QTest::addColumn<double>("mapScale");
        QTest::newRow("1:15000") << 15000.0;
        QTest::newRow("1:10000000") << 1e7;
    }
    void sameSpotIsRelativeToTheRoute()
    {
        QFETCH(double, mapScale);
        const Placement truth = similarityOf(1.2, 2.0);
        std::vector<FitPair> pairs;
        int row = 1;
        for (const auto& [east, north] : {std::pair{0.0, 0.0}, {9.0, 0.0}, {40000.0, 30000.0}}) {
            const MapPointMm p = groundToMapMm(east, north, mapScale);
            pairs.push_back({row++, p, truth.apply(p)});
        }
        const FitReport r = fitRoute(pairs, 64.0, mapScale);
        QCOMPARE(r.distinctPoints, 3);
        QVERIFY(std::fabs(r.scale - 1.2) < 1e-6);

        pairs[1].route = pairs[0].route;   // the same spot, a different known point
        QVERIFY_THROWS_EXCEPTION(FitError, fitRoute(pairs, 64.0, mapScale));
    }

    /// Inputs that give no placement are refused with a message, never a NaN report.
    void refusesUnusableInput()
    {
        QVERIFY_THROWS_EXCEPTION(FitError, fitRoute({}, 64, 15000));
        QVERIFY_THROWS_EXCEPTION(FitError, fitRoute({{1, {0, 0}, {1, 1}}}, 0, 15000));
        QVERIFY_THROWS_EXCEPTION(FitError, fitRoute({{1, {0, 0}, {1, 1}}}, 64, 0));
        QVERIFY_THROWS_EXCEPTION(FitError, fitRoute({{1, {NAN, 0}, {1, 1}}}, 64, 15000));
        // Distinct route points onto one known point would shrink the route to nothing.
        QVERIFY_THROWS_EXCEPTION(FitError, fitRoute({{1, {0, 0}, {5, 5}}, {2, {10, 0}, {5, 5}}}, 64, 15000));
    }
};

QTEST_APPLESS_MAIN(RouteFitTest)
#include "route_fit_test.moc"

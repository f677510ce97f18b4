// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the least-squares placement of a route on known points and of its report.
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

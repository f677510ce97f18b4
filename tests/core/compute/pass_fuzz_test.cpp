// SPDX-License-Identifier: GPL-3.0-or-later
// The passes meet any number a table edited elsewhere can hold (huge, infinite, not a number,
// denormal) and end: each run goes in a child process with a time limit, so a pass that would
// loop forever fails the test instead of hanging it.
#include "bounded_child.h"
#include "compute/blunder_check.h"
#include "compute/field_rules.h"
#include "compute/height_passes.h"
#include "compute/route_fit.h"
#include "compute/route_geometry.h"
#include "document/known_points.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

using namespace zelt::compute;
using zelt::test::boundedStep;
using zelt::test::runBounded;

namespace {

constexpr int kSeconds = 90;

// Values a damaged or foreign table may hold, mixed with ordinary ones.
class Numbers {
public:
    explicit Numbers(unsigned seed) : m_rng(seed) {}

    double any()
    {
        static const double kOdd[] = {1e300,
                                      -1e300,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::denorm_min(),
                                      -std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::lowest(),
                                      -0.0,
                                      9.2e18,
                                      4.5e15};
        std::uniform_int_distribution<int> pick(0, 3);
        if (pick(m_rng) == 0)
            return kOdd[std::uniform_int_distribution<std::size_t>(0, std::size(kOdd) - 1)(m_rng)];
        return std::uniform_real_distribution<double>(-50, 3050)(m_rng);
    }
    std::optional<double> maybe() { return coin() ? std::optional<double>(any()) : std::nullopt; }
    std::int32_t azimuth()
    {
        switch (std::uniform_int_distribution<int>(0, 5)(m_rng)) {
        case 0: return std::numeric_limits<std::int32_t>::min();
        case 1: return std::numeric_limits<std::int32_t>::max();
        default: return std::uniform_int_distribution<std::int32_t>(-720, 720)(m_rng);
        }
    }
    bool coin() { return std::uniform_int_distribution<int>(0, 1)(m_rng) == 1; }
    int upTo(int n) { return std::uniform_int_distribution<int>(0, n)(m_rng); }

private:
    std::mt19937 m_rng;
};

// One round of every pure pass over random values; each step reports itself first.
void fuzzRound(unsigned seed)
{
    Numbers num(seed);
    const std::string at = "seed " + std::to_string(seed) + ": ";
    const int rows = num.upTo(40);

    boundedStep(at + "fill heights");
    std::vector<std::optional<double>> readings;
    std::vector<double> sums;
    for (int i = 0; i < rows; ++i) {
        readings.push_back(num.maybe());
        sums.push_back(num.any());
    }
    (void)fillHeightValues(readings, sums, num.any());

    boundedStep(at + "recalc value");
    (void)recalcValue(num.any(), num.any(), num.any(), num.any(), num.any(), num.any(), num.any(), num.any());

    boundedStep(at + "leg lengths");
    (void)legLengthM(num.any(), num.any(), num.any(), num.coin() ? LegLengths::Walked : LegLengths::Horizontal);
    (void)legProjection(num.maybe(), num.any(), num.any());

    boundedStep(at + "route");
    std::vector<FigureStep> figure;
    for (int k = num.upTo(4); k > 0; --k)
        figure.push_back({num.any(), num.any()});
    const FigureLookup figures = [&figure](std::string_view) { return figure; };
    std::vector<RouteRow> routeRows;
    for (int i = 0; i < rows; ++i) {
        RouteRow r;
        r.azimuth = num.azimuth();
        r.lengthM = num.any();
        r.turnNote = num.coin() ? "Left" : "";
        r.altimeter = num.maybe();
        r.fillHeight = num.maybe();
        r.recalc = num.maybe();
        routeRows.push_back(r);
    }
    Route route = computeRoute(routeRows, figures);
    if (rows > 0) {
        boundedStep(at + "route row replaced");
        replaceRow(route, std::size_t(num.upTo(rows - 1)), routeRows.back(), figures);
        setRowHeights(route, std::size_t(num.upTo(rows - 1)), routeRows.front());
    }

    boundedStep(at + "contour route");
    try {
        ContourRouteBuilder contour(num.any(), num.azimuth());
        contour.setPointLimit(20000);   // the default limit is tried once, in its own test
        for (const RouteRow& r : routeRows)
            contour.addRow(r.azimuth, r.lengthM, r.fillHeight.value_or(num.any()), r.turnNote, figures);
    } catch (const std::length_error&) {   // the point limit: a refusal, not a hang
    }

    boundedStep(at + "check");
    std::vector<CheckRow> checkRows;
    for (const RouteRow& r : routeRows)
        checkRows.push_back({r.azimuth, num.any(), num.azimuth(), r.altimeter});
    zelt::document::KnownPoints known;
    for (int k = num.upTo(4); k > 0; --k) {
        try {
            known.set(1 + num.upTo(rows + 1), num.any(), num.any());
        } catch (const std::exception&) {   // refused as no map position: fine
        }
    }
    try {
        (void)checkTraverse(checkRows, num.coin() ? 64.0 : num.any(), known);
    } catch (const std::exception&) {   // refused as unusable: fine
    }

    boundedStep(at + "fit");
    std::vector<FitPair> pairs;
    for (int k = num.upTo(5); k > 0; --k)
        pairs.push_back({k, {num.any(), num.any()}, {num.any(), num.any()}});
    try {
        (void)fitRoute(pairs, num.any(), num.coin() ? 10000.0 : num.any(), num.any());
    } catch (const std::exception&) {
    }
}

}  // namespace

class PassFuzzTest : public QObject {
    Q_OBJECT

private slots:
    // A height of 1e300 (a byte-edited table) between ordinary ones: the contour route of the
    // export would cross a level every 5 m up to it. It stops at its point limit.
    void hugeHeightEndsContourRoute()
    {
        const auto o = runBounded(
            [] {
                ContourRouteBuilder contour(420, 0);
                try {
                    contour.addRow(0, 100, 1e300, "", {});
                    throw std::runtime_error("a leg to 1e300 m was drawn in full");
                } catch (const std::length_error&) {
                }
                if (contour.route().points.size() > kMaxContourRoutePoints)
                    throw std::runtime_error("the contour route passed its point limit");
            },
            kSeconds);
        QVERIFY2(o.finished && o.exitCode == 0, zelt::test::describe(o, kSeconds).c_str());
    }

    // Many rounds of random values through every pass that works on plain numbers.
    void passesMeetAnyValue()
    {
        const auto o = runBounded(
            [] {
                for (unsigned seed = 1; seed <= 200; ++seed)
                    fuzzRound(seed);
            },
            kSeconds);
        QVERIFY2(o.finished && o.exitCode == 0, zelt::test::describe(o, kSeconds).c_str());
    }
};

QTEST_APPLESS_MAIN(PassFuzzTest)
#include "pass_fuzz_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the blunder check on walks simulated from the physics: how often a clean walk is
// flagged, whether the misread reading comes first, and whether the stated probabilities come
// true as often as they say.
#include "compute/blunder_check.h"
#include "compute/plan_blunders.h"
#include "compute/route_fit.h"

#include "walk_simulator.h"

#include <QTest>

#include <cmath>
#include <map>
#include <numbers>
#include <string>

using namespace zelt::compute;
using zelt::test::Blunder;
using zelt::test::SimulatedWalk;
using zelt::test::WalkModel;
using zelt::test::WalkSimulator;

namespace {

std::vector<CheckRow> rowsOf(const SimulatedWalk& w)
{
    std::vector<CheckRow> rows;
    for (const auto& r : w.rows)
        rows.push_back({r.azimuth, r.pairs, r.procent, r.altimeter});
    return rows;
}

zelt::document::KnownPoints knownOf(const SimulatedWalk& w, double mapScale)
{
    zelt::document::KnownPoints k;
    k.mapScale = mapScale;
    for (const auto& p : w.known)
        k.set(p.row, p.xMm, p.yMm);
    return k;
}

CheckReport check(const SimulatedWalk& w, const WalkModel& m)
{
    return checkTraverse(rowsOf(w), m.pairsPer100m, knownOf(w, m.mapScale));
}

/// A field walk: a compass 3 degrees off and a stride 5 % longer than stated, noise as the
/// check's defaults assume.
WalkModel fieldWalk()
{
    WalkModel m;
    m.compassOffsetDeg = 3;
    m.strideFactor = 0.95;
    m.knownPoints = 6;
    return m;
}

bool names(const Suspect& s, const Blunder& b)
{
    return s.row == b.row && fieldName(s.field) == b.field && s.suggested == b.walked;
}

QString describe(const CheckReport& r)
{
    QString s = QStringLiteral("plan rms %1 chi2 %2/%3; suspects:").arg(r.planRmsM.value_or(-1)).arg(r.planChi2).arg(r.planChi2Limit);
    for (std::size_t i = 0; i < std::min<std::size_t>(r.suspects.size(), 4); ++i) {
        const Suspect& x = r.suspects[i];
        s += QStringLiteral(" [rank %1 p %2 row %3 %4 %5->%6 %7]")
                 .arg(x.rank).arg(x.probability).arg(x.row).arg(QString::fromLatin1(fieldName(x.field)))
                 .arg(x.value).arg(x.suggested).arg(QString::fromLatin1(kindName(x.kind)));
    }
    return s;
}

}  // namespace

class BlunderCheckTest : public QObject {
    Q_OBJECT
private slots:
    /// Walks without a misreading: at low noise at most 1 % are flagged; at exactly the noise
    /// the check assumes, about the tests' significance (0.1 % each) times their number.
    void cleanWalksAreRarelyFlagged()
    {
        WalkModel low = fieldWalk();
        low.compassSigmaDeg = 1;
        low.paceSigma = 0.02;
        low.knownSigmaM = 1;
        low.altimeterSigmaM = 1;
        low.slopeSigma = 0.01;
        int flaggedLow = 0, flaggedModel = 0;
        const int walks = 300;
        WalkSimulator sim(11);
        for (int i = 0; i < walks; ++i) {
            flaggedLow += check(sim.walk(low), low).flagged();
            flaggedModel += check(sim.walk(fieldWalk()), fieldWalk()).flagged();
        }
        qInfo("clean walks flagged: %d of %d at low noise, %d of %d at the assumed noise", flaggedLow, walks,
              flaggedModel, walks);
        QVERIFY2(flaggedLow <= walks / 100, qPrintable(QString::number(flaggedLow)));
        QVERIFY2(flaggedModel <= 3 * walks / 100, qPrintable(QString::number(flaggedModel)));
    }

    /// A reversed azimuth or one with swapped digits, large enough to be found (its shift above
    /// the stretch's minimal detectable blunder): the first suspect in at least 80 % of walks,
    /// with the walked value suggested.
    void misreadAzimuthComesFirst()
    {
        WalkSimulator sim(23);
        const WalkModel m = fieldWalk();
        int tried = 0, first = 0;
        QString misses;
        while (tried < 250) {
            SimulatedWalk w = sim.walk(m);
            const int row = 1 + sim.pick(m.legs);
            const auto& r = w.rows[std::size_t(row - 1)];
            std::string digits = std::to_string(r.azimuth);
            digits.insert(0, 3 - digits.size(), '0');
            std::vector<int> swaps;
            for (const auto& s : zelt::test::digitSwaps(digits))
                if (std::stoi(s) < 360)
                    swaps.push_back(std::stoi(s));
            const bool reversed = tried % 2 == 0 || swaps.empty();
            const double typed = reversed ? (r.azimuth + 180) % 360 : swaps[std::size_t(sim.pick(int(swaps.size())))];
            const Blunder b{row, "Azimuth", double(r.azimuth), typed};
            // The shift the misreading makes, against what the stretch holding the row reveals.
            const double lengthM = r.pairs / m.pairsPer100m * 100;
            const double shift = 2 * lengthM * std::fabs(std::sin((typed - r.azimuth) * std::numbers::pi / 360));
            applyBlunder(w, b);
            const CheckReport report = check(w, m);
            const auto stretch = std::find_if(report.planStretches.begin(), report.planStretches.end(),
                                              [&](const PlanStretch& s) { return s.fromRow <= row && row < s.toRow; });
            if (stretch == report.planStretches.end() || shift <= stretch->mdbM)
                continue;
            ++tried;
            QVERIFY2(report.flagged() == !report.suspects.empty(), qPrintable(describe(report)));
            const bool alone = report.suspects.size() < 2 || report.suspects[1].rank > 1;
            if (!report.suspects.empty() && alone && names(report.suspects.front(), b))
                ++first;
            else if (misses.size() < 2000)
                misses += QStringLiteral("\nrow %1 %2->%3: ").arg(row).arg(b.walked).arg(b.typed) + describe(report);
        }
        qInfo("misread azimuth first: %d of %d", first, tried);
        QVERIFY2(first >= tried * 80 / 100, qPrintable(QString::number(first) + misses));
    }

    /// A misread altimeter reading leaves equal and opposite differences in its two stretches:
    /// the reading itself is the first suspect, with the walked value suggested.
    void misreadAltimeterIsTheSuspect()
    {
        WalkSimulator sim(37);
        const WalkModel m = fieldWalk();
        int tried = 0, first = 0;
        QString misses;
        for (; tried < 200; ++tried) {
            SimulatedWalk w = sim.walk(m);
            std::vector<int> inner;  // readings with a stretch on each side
            for (std::size_t i = 1; i + 1 < w.rows.size(); ++i)
                if (w.rows[i].altimeter)
                    inner.push_back(int(i) + 1);
            const int row = inner[std::size_t(sim.pick(int(inner.size())))];
            const double walked = *w.rows[std::size_t(row - 1)].altimeter;
            const double off = 10.0 * (3 + sim.pick(3)) * (sim.pick(2) ? 1 : -1);
            const Blunder b{row, "Altimeter", walked, walked + off};
            applyBlunder(w, b);
            const CheckReport report = check(w, m);
            QVERIFY2(report.flagged() && !report.suspects.empty(), qPrintable(describe(report)));
            if (names(report.suspects.front(), b) && report.suspects.front().kind == BlunderKind::Misread)
                ++first;
            else if (misses.size() < 2000)
                misses += QStringLiteral("\nrow %1 %2->%3: ").arg(row).arg(walked).arg(b.typed) + describe(report);
        }
        qInfo("misread altimeter first: %d of %d", first, tried);
        QVERIFY2(first >= tried * 80 / 100, qPrintable(QString::number(first) + misses));
    }

    /// One misreading drawn over every reading with the stated priors, at the noise the check
    /// assumes: of the suspects listed with a probability near p, about p are the misread one.
    void probabilitiesComeTrue()
    {
        WalkSimulator sim(53);
        const WalkModel m = fieldWalk();
        struct Bin {
            double stated = 0;
            int listed = 0, right = 0;
        };
        const double edges[] = {0, 0.1, 0.3, 0.5, 0.7, 0.9, 1.0001};
        std::vector<Bin> bins(6);
        double statedFirst = 0;
        int flagged = 0, rightFirst = 0;
        for (int i = 0; i < 400; ++i) {
            SimulatedWalk w = sim.walk(m);
            const Blunder b = zelt::test::drawBlunder(sim, w);
            applyBlunder(w, b);
            const CheckReport report = check(w, m);
            if (!report.flagged())
                continue;
            QVERIFY2(!report.suspects.empty(), qPrintable(describe(report)));
            ++flagged;
            statedFirst += report.suspects.front().probability;
            rightFirst += names(report.suspects.front(), b);
            for (const Suspect& s : report.suspects) {
                const auto k = std::size_t(std::upper_bound(std::begin(edges), std::end(edges), s.probability) - std::begin(edges) - 1);
                bins[k].stated += s.probability;
                bins[k].listed += 1;
                bins[k].right += names(s, b);
            }
        }
        QString table;
        for (std::size_t k = 0; k < bins.size(); ++k)
            table += QStringLiteral("\n  %1-%2: %3 listed, stated %4, came true %5")
                         .arg(edges[k]).arg(std::min(1.0, edges[k + 1])).arg(bins[k].listed)
                         .arg(bins[k].listed ? bins[k].stated / bins[k].listed : 0)
                         .arg(bins[k].listed ? double(bins[k].right) / bins[k].listed : 0);
        qInfo("%d flagged; first suspect stated %.3f, came true %.3f%s", flagged, statedFirst / flagged,
              double(rightFirst) / flagged, qPrintable(table));
        QVERIFY(flagged >= 150);
        QVERIFY2(std::fabs(statedFirst / flagged - double(rightFirst) / flagged) <= 0.10, qPrintable(table));
        for (const Bin& bin : bins)
            if (bin.listed >= 60)
                QVERIFY2(std::fabs(bin.stated / bin.listed - double(bin.right) / bin.listed) <= 0.10, qPrintable(table));
    }

    /// Two legs typed alike (same azimuth and length) between the same known points cannot be
    /// told apart when one was walked the other way: either reversed gives the same
    /// probability, and they share the first rank; a suspect of lower probability never shares it.
    void equalLegsTie()
    {
        WalkModel m = fieldWalk();
        m.compassSigmaDeg = m.paceSigma = m.knownSigmaM = m.altimeterSigmaM = m.slopeSigma = 0;
        m.compassOffsetDeg = 0;
        m.strideFactor = 1;
        m.knownPoints = 4;
        WalkSimulator sim(5);
        SimulatedWalk w = sim.walk(m);
        // Row 6 walked back along row 5 and typed as row 5; no known point on row 6.
        const auto& five = w.rows[4];
        std::vector<CheckRow> rows = rowsOf(w);
        zelt::document::KnownPoints known = knownOf(w, m.mapScale);
        // The known points follow the rows as walked: lay them out again.
        rows[5].azimuth = (five.azimuth + 180) % 360;
        rows[5].pairs = five.pairs;
        known.points.clear();
        double e = 0, n = 0;
        std::vector<std::pair<double, double>> at{{0, 0}};
        for (const CheckRow& r : rows) {
            const double t = r.azimuth * std::numbers::pi / 180, l = r.pairs / m.pairsPer100m * 100;
            e += std::sin(t) * l;
            n += std::cos(t) * l;
            at.emplace_back(e, n);
        }
        for (int row : {1, 21, 41, 61})
            known.set(row, at[std::size_t(row - 1)].first / 15, at[std::size_t(row - 1)].second / 15);
        rows[5].azimuth = five.azimuth;
        const CheckReport r = checkTraverse(rows, m.pairsPer100m, known);
        QVERIFY2(r.suspects.size() >= 3, qPrintable(describe(r)));
        QCOMPARE(r.suspects[0].rank, 1);
        QCOMPARE(r.suspects[1].rank, 1);
        QVERIFY2((r.suspects[0].row == 5 && r.suspects[1].row == 6) || (r.suspects[0].row == 6 && r.suspects[1].row == 5),
                 qPrintable(describe(r)));
        QCOMPARE(r.suspects[0].probability, r.suspects[1].probability);
        QVERIFY(r.suspects[2].rank == 2 && r.suspects[2].probability < r.suspects[1].probability);
    }

    /// A known point at the route's end (one past the last row) is checked with the others;
    /// a spot given three times counts once, in the check as in the fit.
    void knownPointsWhereRowsStand()
    {
        WalkModel m = fieldWalk();
        m.knownPoints = 4;  // rows 1, 21, 41 and 61, the route's end
        WalkSimulator sim(7);
        const SimulatedWalk w = sim.walk(m);
        QCOMPARE(w.known.back().row, m.legs + 1);
        const CheckReport r = check(w, m);
        QVERIFY2(r.planRmsM.has_value(), r.notes.empty() ? "" : r.notes.front().text.c_str());
        QVERIFY(!r.flagged());

        // Rows 30 and 31 walk no distance: rows 30, 31 and 32 stand on one spot.
        std::vector<CheckRow> rows = rowsOf(w);
        rows[29].pairs = rows[30].pairs = 0;
        zelt::document::KnownPoints known = knownOf(w, m.mapScale);
        known.set(30, 100, 100);
        known.set(31, 100, 100);
        known.set(32, 100, 100);
        const CheckReport same = checkTraverse(rows, m.pairsPer100m, known);
        zelt::document::KnownPoints once = known;
        once.remove(31);
        once.remove(32);
        const CheckReport single = checkTraverse(rows, m.pairsPer100m, once);
        QVERIFY(same.planRmsM && single.planRmsM);
        QCOMPARE(*same.planRmsM, *single.planRmsM);
        QCOMPARE(same.planChi2, single.planChi2);
        QCOMPARE(same.planDof, 6);

        // Three points, all on that spot: neither placed nor checked.
        zelt::document::KnownPoints spot;
        spot.set(30, 100, 100);
        spot.set(31, 100, 100);
        spot.set(32, 100, 100);
        const CheckReport none = checkTraverse(rows, m.pairsPer100m, spot);
        QVERIFY(!none.planRmsM);
        QVERIFY(!none.notes.empty());
    }

    /// The typical misreadings the suspects are drawn from, with their relative priors.
    void typicalMisreadings_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("azimuth 152") << int(CheckField::Azimuth) << 152.0
                                     << QStringLiteral("332r3 251s1 125s1 162t1 142t1 252h0.5 52h0.5");
        QTest::newRow("azimuth 45 read as 045") << int(CheckField::Azimuth) << 45.0
                                                << QStringLiteral("225r3 54s1 55t1 35t1 145h0.5");
        QTest::newRow("pairs 65.5") << int(CheckField::Pairs) << 65.5
                                    << QStringLiteral("75.5T2 55.5T2 85.5T0.5 45.5T0.5 56.5s1");
        QTest::newRow("pairs 7") << int(CheckField::Pairs) << 7.0 << QStringLiteral("17T2 27T0.5");
        QTest::newRow("procent -12") << int(CheckField::Procent) << -12.0 << QStringLiteral("12l3 -21s1");
        QTest::newRow("altimeter 400") << int(CheckField::Altimeter) << 400.0
                                       << QStringLiteral("410m0.5 390m0.5 420m0.5");
    }
    void typicalMisreadings()
    {
        QFETCH(int, field);
        QFETCH(double, value);
        QFETCH(QString, expected);
        QStringList got;
        for (const auto& t : zelt::compute::typicalMisreadings(CheckField(field), value))
            got << QString::number(t.value) + QLatin1Char("-rsTthlm"[int(t.kind)]) + QString::number(t.prior);
        QCOMPARE(got.mid(0, int(expected.count(QLatin1Char(' ')) + 1)).join(QLatin1Char(' ')), expected);
    }

    /// The quantiles the tests are set with.
    void quantiles()
    {
        QVERIFY(std::fabs(twoSidedNormalQuantile(0.001) - 3.2905) < 1e-3);
        QVERIFY(std::fabs(chi2UpperQuantileEven(2, 0.001) - 13.8155) < 1e-3);
        QVERIFY(std::fabs(chi2UpperQuantileEven(10, 0.05) - 18.307) < 1e-3);
    }
};

QTEST_APPLESS_MAIN(BlunderCheckTest)
#include "blunder_check_test.moc"

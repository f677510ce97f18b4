// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the blunder check: slopes against the altimeter and the misread leg between known points.
#include "compute/blunder_check.h"
#include "compute/plan_blunders.h"

#include <QTest>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

using namespace zelt::compute;

namespace {

enum class Blunder { None, ReversedAzimuth, SwappedAzimuth, Tally, SwappedPairs, FlippedSlope, TallyOnTwin, OddPairs };

constexpr int kRows = 49;        // a start row and 48 legs
constexpr int kBlunderRow = 19;  // 0-based; known points on every 4th row, so between rows 16 and 20
constexpr double kPairsPer100m = 64;
constexpr double kMapScale = 15000;

struct Noise {
    double compassDeg = 0, pace = 0, mapM = 0, altimeterM = 0;
};

struct Walk {
    std::vector<CheckRow> rows;
    CheckRow beforeBlunder;
    zelt::document::KnownPoints known;
};

/// A traverse walked with random compass and pace errors, altimeter readings on every 6th row,
/// and known points on every 4th, placed on the map turned, shifted and with map noise. The
/// blunder changes one typed reading after the walk; the true route stays as walked.
Walk walk(std::uint32_t seed, const Noise& noise, Blunder blunder)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const auto gauss = [&](double sigma) {
        return sigma * std::sqrt(-2 * std::log(1 - uni(rng))) * std::cos(2 * std::numbers::pi * uni(rng));
    };
    Walk w;
    w.rows.resize(kRows);
    double heading = 360 * uni(rng), x = 0, y = 0, height = 400;
    w.rows[0].altimeter = height;
    w.known.mapScale = kMapScale;
    const double turn = 2.0 * std::numbers::pi / 180;
    const auto addKnown = [&](int row) {
        const double e = std::cos(turn) * x - std::sin(turn) * y + 5000 + gauss(noise.mapM);
        const double n = std::sin(turn) * x + std::cos(turn) * y + 3000 + gauss(noise.mapM);
        w.known.set(row + 1, e * 1000 / kMapScale, n * 1000 / kMapScale);
    };
    addKnown(0);
    for (int i = 1; i < kRows; ++i) {
        CheckRow& r = w.rows[std::size_t(i)];
        heading = std::fmod(heading + 30 + 300 * uni(rng), 360);  // turns of 30 degrees or more
        r.azimuth = int(heading);
        r.pairs = std::round(40 + 40 * uni(rng));
        r.procent = int(std::round(24 * uni(rng) - 12));
        if (i == kBlunderRow || (blunder == Blunder::TallyOnTwin && i == kBlunderRow - 1)) {
            r.azimuth = blunder == Blunder::SwappedAzimuth ? 152 : r.azimuth;
            r.pairs = blunder == Blunder::SwappedPairs ? 74 : 70;
            r.procent = 12;
        }
        if (blunder == Blunder::TallyOnTwin && i == kBlunderRow)
            r.azimuth = w.rows[std::size_t(i - 1)].azimuth;
        const double a = (r.azimuth + gauss(noise.compassDeg)) * std::numbers::pi / 180;
        const double walked = r.pairs / kPairsPer100m * 100 * (1 + gauss(noise.pace));
        x += std::sin(a) * walked;
        y += std::cos(a) * walked;
        height += r.procent * walked / std::hypot(100.0, double(r.procent));
        if (i % 6 == 0)
            r.altimeter = height + gauss(noise.altimeterM);
        if (i % 4 == 0)
            addKnown(i);
    }
    CheckRow& b = w.rows[kBlunderRow];
    w.beforeBlunder = b;
    switch (blunder) {
    case Blunder::None: break;
    case Blunder::ReversedAzimuth: b.azimuth = (b.azimuth + 180) % 360; break;
    case Blunder::SwappedAzimuth: b.azimuth = 125; break;
    case Blunder::Tally:
    case Blunder::TallyOnTwin: b.pairs -= 10; break;
    case Blunder::SwappedPairs: b.pairs = 47; break;
    case Blunder::OddPairs: b.pairs = 58; break;
    case Blunder::FlippedSlope: b.procent = -b.procent; break;
    }
    return w;
}

QString describe(const CheckReport& r)
{
    QString s = QStringLiteral("plan rms %1 (tolerance %2); suspects:").arg(r.planRmsM.value_or(-1)).arg(r.planToleranceM);
    for (const Suspect& x : r.suspects)
        s += QStringLiteral(" [rank %1 row %2 %3 %4->%5 %6 rms %7]")
                 .arg(x.rank).arg(x.row).arg(QString::fromLatin1(fieldName(x.field))).arg(x.value).arg(x.suggested)
                 .arg(QString::fromLatin1(kindName(x.kind))).arg(x.rmsAfterM);
    return s;
}

}  // namespace

class BlunderCheckTest : public QObject {
    Q_OBJECT
private slots:
    /// One blunder of each kind in a noisy walk: its row is among the best suspects (rank 1 or 2)
    /// with the true reading suggested within 5 degrees or 3 pairs, legs that explain it equally
    /// well share the rank, a flipped slope flags its stretch only, and a clean walk flags nothing.
    void findsTheBlunder_data()
    {
        QTest::addColumn<int>("blunder");
        QTest::addColumn<bool>("noisy");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("kind");
        const auto row = [](const char* name, Blunder b, bool noisy, const char* field, const char* kind) {
            QTest::newRow(name) << int(b) << noisy << QString::fromLatin1(field) << QString::fromLatin1(kind);
        };
        row("exact walk", Blunder::None, false, "", "");
        row("noisy walk", Blunder::None, true, "", "");
        row("reversed azimuth", Blunder::ReversedAzimuth, true, "Azimuth", "reversed");
        row("swapped azimuth digits", Blunder::SwappedAzimuth, true, "Azimuth", "swapped digits");
        row("tally missed", Blunder::Tally, true, "Pairs", "tally");
        row("swapped pairs digits", Blunder::SwappedPairs, true, "Pairs", "swapped digits");
        row("tally on one of two equal legs", Blunder::TallyOnTwin, true, "Pairs", "tally");
        row("pairs misread without a pattern, exact walk", Blunder::OddPairs, false, "Pairs", "");
        row("flipped slope, exact readings", Blunder::FlippedSlope, false, "Procent", "reversed");
        row("flipped slope, noisy readings", Blunder::FlippedSlope, true, "Procent", "reversed");
    }
    void findsTheBlunder()
    {
        QFETCH(int, blunder);
        QFETCH(bool, noisy);
        QFETCH(QString, field);
        QFETCH(QString, kind);
        const Noise noise = noisy ? Noise{0.2, 0.005, 0.3, 0.7} : Noise{};
        // The walks are quieter than a field traverse, and so is the tolerance of the plan.
        CheckOptions options;
        options.planToleranceM = 1.5;
        options.planTolerancePerM = 0.005;
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            const Walk w = walk(seed, noise, Blunder(blunder));
            const CheckReport r = checkTraverse(w.rows, kPairsPer100m, w.known, options);
            const QString what = QStringLiteral("seed %1: ").arg(seed) + describe(r);
            QVERIFY2(r.planRmsM && std::isfinite(*r.planRmsM), qPrintable(what));
            for (const HeightStretch& s : r.stretches) {
                const bool holdsBlunder = s.fromRow <= kBlunderRow && kBlunderRow < s.toRow;
                QVERIFY2(s.flagged == (field == QLatin1String("Procent") && holdsBlunder),
                         qPrintable(what + QStringLiteral(" stretch %1-%2").arg(s.fromRow).arg(s.toRow)));
            }
            if (field.isEmpty()) {
                QVERIFY2(!r.flagged(), qPrintable(what));
                if (!noisy)
                    QVERIFY2(*r.planRmsM < 1e-3, qPrintable(what));
                continue;
            }
            QVERIFY2(r.flagged(), qPrintable(what));
            const CheckRow& before = w.beforeBlunder;
            int found = 0;
            for (const Suspect& s : r.suspects) {
                if (s.rank > 2 || QString::fromLatin1(fieldName(s.field)) != field)
                    continue;
                if (s.row == kBlunderRow + 1) {
                    const double off = s.field == CheckField::Azimuth
                                           ? std::fabs(std::remainder(s.suggested - before.azimuth, 360.0))
                                           : s.field == CheckField::Pairs ? std::fabs(s.suggested - before.pairs)
                                                                          : std::fabs(s.suggested - before.procent);
                    QVERIFY2(off <= (s.field == CheckField::Azimuth ? 5 : 3), qPrintable(what));
                    QVERIFY2(QString::fromLatin1(kindName(s.kind)) == kind, qPrintable(what));
                    QVERIFY2(s.rmsAfterM < s.rmsBeforeM, qPrintable(what));
                    ++found;
                } else if (Blunder(blunder) == Blunder::TallyOnTwin && s.row == kBlunderRow) {
                    ++found;  // its twin explains the misclosure just as well
                }
            }
            QVERIFY2(found == (Blunder(blunder) == Blunder::TallyOnTwin ? 2 : 1), qPrintable(what));
        }
    }

    /// Typical misreadings are only values the field can hold.
    void typicalMisreadings_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("azimuth 152") << int(CheckField::Azimuth) << 152.0 << QStringLiteral("332r 251s 125s");
        QTest::newRow("azimuth 45 read as 045") << int(CheckField::Azimuth) << 45.0 << QStringLiteral("225r 54s");
        QTest::newRow("azimuth -30") << int(CheckField::Azimuth) << -30.0 << QStringLiteral("150r 33s 303s");
        QTest::newRow("pairs 65.5") << int(CheckField::Pairs) << 65.5 << QStringLiteral("75.5t 55.5t 56.5s");
        QTest::newRow("pairs 7") << int(CheckField::Pairs) << 7.0 << QStringLiteral("17t");
        QTest::newRow("procent -12") << int(CheckField::Procent) << -12.0 << QStringLiteral("12r -21s");
        QTest::newRow("procent 90") << int(CheckField::Procent) << 90.0 << QStringLiteral("-90r");
    }
    void typicalMisreadings()
    {
        QFETCH(int, field);
        QFETCH(double, value);
        QFETCH(QString, expected);
        QStringList got;
        for (const auto& [v, kind] : zelt::compute::typicalMisreadings(CheckField(field), value))
            got << QString::number(v) + QLatin1Char("-rst"[int(kind)]);
        QCOMPARE(got.join(QLatin1Char(' ')), expected);
    }
};

QTEST_APPLESS_MAIN(BlunderCheckTest)
#include "blunder_check_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli check: exit status, the JSON it prints and the suspect it names.
#include "cli_fixture.h"
#include "document/known_points.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>

using namespace zelt::test;

namespace {

// A start row and twelve legs at 64 pairs per 100 m; altimeter readings on rows 1, 7 and 13
// agree with the slopes. Known points stand where rows 1, 6, 10 and 14 (the route's end) begin,
// on the route, each moved by `knownOffsetM` metres alternately east and north.
const int kAzimuth[] = {0, 40, 95, 130, 170, 210, 152, 200, 250, 300, 330, 20, 75};
const double kPairs[] = {0, 64, 80, 72, 96, 60, 88, 70, 64, 90, 76, 84, 66};
const int kProcent[] = {0, 5, -3, 8, 10, -6, 4, 0, -9, 7, 3, -4, 6};

/// Writes the table with `azimuth7` typed in row 7 and `procent3` in row 3.
QString writeWalk(const QTemporaryDir& dir, const char* name, int azimuth7, int procent3, double knownOffsetM = 0)
{
    const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
    double x = 0, y = 0, height = 500;
    zelt::document::KnownPoints known;
    known.set(1, 0, 0);
    makeTable(path, 13, [&](zelt::document::TraverseTable& t, int i) {
        const double lengthM = kPairs[i] / 64 * 100, a = kAzimuth[i] * std::numbers::pi / 180;
        x += std::sin(a) * lengthM;
        y += std::cos(a) * lengthM;
        height += kProcent[i] * lengthM / std::hypot(100.0, double(kProcent[i]));
        t.setInteger("Azimuth", i == 6 ? azimuth7 : kAzimuth[i]);
        t.setFloat("Pairs", kPairs[i]);
        t.setInteger("Procent", i == 2 ? procent3 : kProcent[i]);
        if (i % 6 == 0)
            t.setFloat("Altimeter", height);
        // (x, y) is where row i+1 ends, so where row i+2 begins.
        if (i % 4 == 0 && i > 0) {
            const double east = (i / 4) % 2 ? knownOffsetM : 0, north = (i / 4) % 2 ? 0 : knownOffsetM;
            known.set(i + 2, (x + east) / 15, (y + north) / 15);  // 1:15000, mm
        }
    });
    zelt::document::writeKnownPoints(path, known);
    return QString::fromStdString(path);
}

QJsonObject checkJson(const QString& table, int expectedStatus)
{
    const CliRun r = runCli({QStringLiteral("check"), table, QStringLiteral("--json"), QStringLiteral("--locale"),
                             QStringLiteral("de_DE")});
    [&] { QVERIFY2(r.exitCode == expectedStatus, qPrintable(r.out + r.err)); }();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    [&] { QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(r.out)); }();
    return doc.object();
}

}  // namespace

class CheckCliTest : public QObject {
    Q_OBJECT
private slots:
    /// A walk that closes gives status 0, the verdict and no suspects; a swapped azimuth gives
    /// status 4 and names its row first with its probability; a flipped slope flags its stretch
    /// only and still lists suspects. JSON numbers keep '.' under a comma locale, and the keys
    /// are those documented. The known point at the route's end keeps the plan checked.
    void statusAndJson()
    {
        QTemporaryDir dir;
        QJsonObject o = checkJson(writeWalk(dir, "clean.db", 152, -3), 0);
        QCOMPARE(o.keys(), (QStringList{QStringLiteral("flagged"), QStringLiteral("plan"), QStringLiteral("stretches"),
                                        QStringLiteral("suspects"), QStringLiteral("verdict")}));
        QCOMPARE(o.value(QStringLiteral("verdict")).toString(), QStringLiteral("nothing flagged"));
        const QJsonObject plan = o.value(QStringLiteral("plan")).toObject();
        QCOMPARE(plan.keys(), (QStringList{QStringLiteral("chi2"), QStringLiteral("chi2Limit"), QStringLiteral("dof"),
                                           QStringLiteral("flagged"), QStringLiteral("rms"), QStringLiteral("stretches"),
                                           QStringLiteral("suggestedKnownRow"), QStringLiteral("tolerance")}));
        QCOMPARE(plan.value(QStringLiteral("dof")).toInt(), 4);
        QVERIFY(plan.value(QStringLiteral("rms")).toDouble() < 1e-6);
        const QJsonArray planStretches = plan.value(QStringLiteral("stretches")).toArray();
        QCOMPARE(planStretches.size(), 3);
        QCOMPARE(planStretches.at(2).toObject().value(QStringLiteral("to")).toInt(), 14);
        QVERIFY(planStretches.at(2).toObject().value(QStringLiteral("mdb")).toDouble() > 0);
        const QJsonArray stretches = o.value(QStringLiteral("stretches")).toArray();
        QCOMPARE(stretches.size(), 2);
        QCOMPARE(stretches.at(1).toObject().keys(),
                 (QStringList{QStringLiteral("altimeterRise"), QStringLiteral("difference"), QStringLiteral("flagged"),
                              QStringLiteral("from"), QStringLiteral("mdb"), QStringLiteral("sigma"),
                              QStringLiteral("slopeRise"), QStringLiteral("to"), QStringLiteral("tolerance")}));
        QCOMPARE(stretches.at(1).toObject().value(QStringLiteral("from")).toInt(), 7);
        QVERIFY(std::fabs(stretches.at(0).toObject().value(QStringLiteral("difference")).toDouble()) < 1e-9);
        // 3.29 sigma, sigma^2 = 2 x 2^2 + sum((0.02 x walked)^2) + sum((0.03 x gain)^2).
        QVERIFY(stretches.at(0).toObject().value(QStringLiteral("tolerance")).toDouble() > 3.29 * std::sqrt(8.0));
        QVERIFY(o.value(QStringLiteral("suspects")).toArray().isEmpty());

        o = checkJson(writeWalk(dir, "swapped.db", 125, -3), 4);
        QCOMPARE(o.value(QStringLiteral("verdict")).toString(), QStringLiteral("flagged"));
        const QJsonObject first = o.value(QStringLiteral("suspects")).toArray().at(0).toObject();
        QCOMPARE(first.keys(), (QStringList{QStringLiteral("explains"), QStringLiteral("field"), QStringLiteral("kind"),
                                            QStringLiteral("probability"), QStringLiteral("rank"),
                                            QStringLiteral("rmsAfter"), QStringLiteral("rmsBefore"), QStringLiteral("row"),
                                            QStringLiteral("suggested"), QStringLiteral("value")}));
        QCOMPARE(first.value(QStringLiteral("rank")).toInt(), 1);
        QCOMPARE(first.value(QStringLiteral("row")).toInt(), 7);
        QCOMPARE(first.value(QStringLiteral("field")).toString(), QStringLiteral("Azimuth"));
        QCOMPARE(first.value(QStringLiteral("suggested")).toDouble(), 152.0);
        QCOMPARE(first.value(QStringLiteral("kind")).toString(), QStringLiteral("swapped digits"));
        QVERIFY(first.value(QStringLiteral("explains")).toBool());
        QVERIFY(first.value(QStringLiteral("probability")).toDouble() > 0.5);
        QVERIFY(first.value(QStringLiteral("rmsAfter")).toDouble() < 0.01);
        QVERIFY(first.value(QStringLiteral("rmsBefore")).toDouble() > 10);
        // Any other suspect is less likely, so it is ranked below.
        const QJsonArray suspects = o.value(QStringLiteral("suspects")).toArray();
        for (qsizetype i = 1; i < suspects.size(); ++i)
            QVERIFY(suspects.at(i).toObject().value(QStringLiteral("rank")).toInt() > 1);

        o = checkJson(writeWalk(dir, "steep.db", 152, 30), 4);
        QVERIFY(o.value(QStringLiteral("stretches")).toArray().at(0).toObject().value(QStringLiteral("flagged")).toBool());
        QVERIFY(!o.value(QStringLiteral("stretches")).toArray().at(1).toObject().value(QStringLiteral("flagged")).toBool());
        QVERIFY(!o.value(QStringLiteral("suspects")).toArray().isEmpty());

        // The error model is the user's: a poorer altimeter passes the steep slope, a bad value is refused.
        const QString steep = dir.filePath(QStringLiteral("steep.db"));
        const auto withSigma = [&](const char* metres) {
            return runCli({QStringLiteral("check"), steep, QStringLiteral("--altimeter-sigma"), QString::fromLatin1(metres)});
        };
        QCOMPARE(withSigma("20").exitCode, 0);
        QCOMPARE(withSigma("-1").exitCode, 2);
        QCOMPARE(withSigma("0").exitCode, 2);

        // A finding does not hide output that could not be written.
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("this system has no /dev/full");
        QProcess full;
        full.setStandardOutputFile(QStringLiteral("/dev/full"));
        full.start(QStringLiteral(ZELT_CLI), {QStringLiteral("check"), steep});
        QVERIFY(full.waitForFinished(120000));
        QCOMPARE(full.exitCode(), 1);
        QVERIFY(full.readAllStandardError().contains("cannot write to standard output"));
    }

    /// `fit` and `check` place the route on the same known points the same way: the plan's rms
    /// before any change is the fit's (mm on the map at 1:15000, metres on the ground).
    void checkAgreesWithFit()
    {
        QTemporaryDir dir;
        for (const double offset : {0.0, 1.5, 40.0}) {
            const QString table = writeWalk(dir, offset == 0 ? "a.db" : offset < 10 ? "b.db" : "c.db", 152, -3, offset);
            const QJsonObject o = checkJson(table, offset < 10 ? 0 : 4);
            const CliRun fit = runCli({QStringLiteral("fit"), table, QStringLiteral("--json")});
            QVERIFY2(fit.exitCode == 0, qPrintable(fit.err));
            const double fitRmsM = QJsonDocument::fromJson(fit.out.toUtf8()).object().value(QStringLiteral("rms")).toDouble() * 15;
            const double checkRmsM = o.value(QStringLiteral("plan")).toObject().value(QStringLiteral("rms")).toDouble();
            QVERIFY2(std::fabs(fitRmsM - checkRmsM) <= 1e-9 * std::max(1.0, fitRmsM),
                     qPrintable(QStringLiteral("fit %1 m, check %2 m").arg(fitRmsM).arg(checkRmsM)));
            if (offset > 0)
                QVERIFY(checkRmsM > 0.1);
        }
    }
};

QTEST_GUILESS_MAIN(CheckCliTest)
#include "check_cli_test.moc"

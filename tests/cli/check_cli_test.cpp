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
// agree with the slopes, known points on rows 1, 5, 9 and 13 lie exactly on the route.
const int kAzimuth[] = {0, 40, 95, 130, 170, 210, 152, 200, 250, 300, 330, 20, 75};
const double kPairs[] = {0, 64, 80, 72, 96, 60, 88, 70, 64, 90, 76, 84, 66};
const int kProcent[] = {0, 5, -3, 8, 10, -6, 4, 0, -9, 7, 3, -4, 6};

/// Writes the table with `azimuth7` typed in row 7 and `procent3` in row 3.
QString writeWalk(const QTemporaryDir& dir, const char* name, int azimuth7, int procent3)
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
        if (i % 4 == 0 && i > 0)
            known.set(i + 1, x / 15, y / 15);  // 1:15000, mm
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
    /// A walk that closes gives status 0 and no suspects; a swapped azimuth gives status 4 and
    /// names its row first; a flipped slope flags its stretch only. JSON numbers keep '.' under
    /// a comma locale, and the keys are those documented.
    void statusAndJson()
    {
        QTemporaryDir dir;
        QJsonObject o = checkJson(writeWalk(dir, "clean.db", 152, -3), 0);
        QCOMPARE(o.keys(), (QStringList{QStringLiteral("stretches"), QStringLiteral("suspects")}));
        const QJsonArray stretches = o.value(QStringLiteral("stretches")).toArray();
        QCOMPARE(stretches.size(), 2);
        QCOMPARE(stretches.at(1).toObject().keys(),
                 (QStringList{QStringLiteral("altimeterRise"), QStringLiteral("difference"), QStringLiteral("flagged"),
                              QStringLiteral("from"), QStringLiteral("slopeRise"), QStringLiteral("to")}));
        QCOMPARE(stretches.at(1).toObject().value(QStringLiteral("from")).toInt(), 7);
        QVERIFY(std::fabs(stretches.at(0).toObject().value(QStringLiteral("difference")).toDouble()) < 1e-9);
        QVERIFY(o.value(QStringLiteral("suspects")).toArray().isEmpty());

        o = checkJson(writeWalk(dir, "swapped.db", 125, -3), 4);
        const QJsonObject first = o.value(QStringLiteral("suspects")).toArray().at(0).toObject();
        QCOMPARE(first.keys(), (QStringList{QStringLiteral("field"), QStringLiteral("kind"), QStringLiteral("rmsAfter"),
                                            QStringLiteral("rmsBefore"), QStringLiteral("row"),
                                            QStringLiteral("suggested"), QStringLiteral("value")}));
        QCOMPARE(first.value(QStringLiteral("row")).toInt(), 7);
        QCOMPARE(first.value(QStringLiteral("field")).toString(), QStringLiteral("Azimuth"));
        QCOMPARE(first.value(QStringLiteral("suggested")).toDouble(), 152.0);
        QCOMPARE(first.value(QStringLiteral("kind")).toString(), QStringLiteral("swapped digits"));
        QVERIFY(first.value(QStringLiteral("rmsAfter")).toDouble() < 0.01);
        QVERIFY(first.value(QStringLiteral("rmsBefore")).toDouble() > 10);

        o = checkJson(writeWalk(dir, "steep.db", 152, 30), 4);
        QVERIFY(o.value(QStringLiteral("stretches")).toArray().at(0).toObject().value(QStringLiteral("flagged")).toBool());
        QVERIFY(!o.value(QStringLiteral("stretches")).toArray().at(1).toObject().value(QStringLiteral("flagged")).toBool());

        // The tolerance is the user's: a looser one passes the steep slope, a bad one is refused.
        const QString steep = dir.filePath(QStringLiteral("steep.db"));
        const auto withTolerance = [&](const char* metres) {
            return runCli({QStringLiteral("check"), steep, QStringLiteral("--height-tolerance"), QString::fromLatin1(metres)});
        };
        QCOMPARE(withTolerance("40").exitCode, 0);
        QCOMPARE(withTolerance("-1").exitCode, 2);

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
};

QTEST_GUILESS_MAIN(CheckCliTest)
#include "check_cli_test.moc"

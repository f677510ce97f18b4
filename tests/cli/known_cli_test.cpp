// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli known-points and fit: editing the points, the report and its JSON, placed exports.
#include "cli_fixture.h"
#include "document/known_points.h"
#include "export_test_util.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

// A start row, then four legs walked with the compass read 3.5 degrees low and paces 6 % long,
// on a 1:15000 map. Row n + 1 holds leg n.
const int kReadAzimuth[] = {26, 91, 156, 246};
const double kPairs[] = {64, 96, 48, 80};

struct Setup {
    QTemporaryDir dir;
    QString table = dir.filePath(QStringLiteral("walk.db"));
    QString kpt = dir.filePath(QStringLiteral("walk.kpt"));

    Setup()
    {
        makeTable(table.toStdString(), 5, [](zelt::document::TraverseTable& t, int i) {
            t.setInteger("Azimuth", i == 0 ? 0 : kReadAzimuth[i - 1]);
            t.setFloat("Pairs", i == 0 ? 0 : kPairs[i - 1]);
        });
    }
    /// The true map positions (mm) of the start and the legs' end points, start at (100, 200).
    static std::vector<std::pair<double, double>> truePositions()
    {
        std::vector<std::pair<double, double>> out{{100, 200}};
        double x = 100, y = 200;
        for (int i = 0; i < 4; ++i) {
            const double a = (kReadAzimuth[i] + 3.5) * std::numbers::pi / 180;
            const double groundM = kPairs[i] / 64 * 100 * 1.06;
            x += std::sin(a) * groundM / 15;
            y += std::cos(a) * groundM / 15;
            out.emplace_back(x, y);
        }
        return out;
    }
    CliRun run(QStringList args) const { return runCli(args); }
    QString setArg(int row) const
    {
        // Row 1 is the start row and row N's mark stands at the end of row N - 1.
        const auto p = truePositions()[std::size_t(std::max(0, row - 2))];
        return QStringLiteral("%1:%2,%3").arg(row).arg(p.first, 0, 'g', 17).arg(p.second, 0, 'g', 17);
    }
};

}  // namespace

class KnownCliTest : public QObject {
    Q_OBJECT
private slots:
    /// Points are set, listed, moved and removed; --clear empties them and removes the file.
    void editsKnownPoints()
    {
        Setup s;
        const QString cli = QStringLiteral("known-points");
        CliRun r = s.run({cli, s.table});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());
        QVERIFY(!fs::exists(s.kpt.toStdString()));

        r = s.run({cli, s.table, QStringLiteral("--set"), QStringLiteral("2:10.5,-3"), QStringLiteral("--set"),
                   QStringLiteral("4:7,8")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("2\t10.5\t-3\n4\t7\t8\n"));
        r = s.run({cli, s.table, QStringLiteral("--remove"), QStringLiteral("2"), QStringLiteral("--set"),
                   QStringLiteral("4:1;2,25"), QStringLiteral("--locale"), QStringLiteral("de_DE")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("4\t1\t2,25\n"));
        QCOMPARE(s.run({cli, s.table}).out, QStringLiteral("4\t1\t2.25\n"));

        // The route's end is one past the last row.
        QCOMPARE(s.run({cli, s.table, QStringLiteral("--set"), QStringLiteral("end:3,4")}).out,
                 QStringLiteral("4\t1\t2.25\n6\t3\t4\n"));
        QCOMPARE(s.run({cli, s.table, QStringLiteral("--remove"), QStringLiteral("end")}).exitCode, 0);

        // Refused: a row beyond the route's end, a bad pair, a row without a point. Nothing changes.
        QCOMPARE(s.run({cli, s.table, QStringLiteral("--set"), QStringLiteral("7:1,1")}).exitCode, 2);
        QCOMPARE(s.run({cli, s.table, QStringLiteral("--set"), QStringLiteral("1:1")}).exitCode, 2);
        QCOMPARE(s.run({cli, s.table, QStringLiteral("--remove"), QStringLiteral("3")}).exitCode, 2);
        QCOMPARE(s.run({cli, s.table}).out, QStringLiteral("4\t1\t2.25\n"));

        QCOMPARE(s.run({cli, s.table, QStringLiteral("--clear")}).exitCode, 0);
        QVERIFY(!fs::exists(s.kpt.toStdString()));
    }

    /// known-points and fit only read the table: no start row is added, no companion but the
    /// .kpt is written, even for a table whose first row is a leg.
    void readOnlyTheTable()
    {
        Setup s;
        const std::string table = s.dir.filePath(QStringLiteral("legs.db")).toStdString();
        makeTable(table, 2, [](zelt::document::TraverseTable& t, int i) {
            t.setInteger("Azimuth", 90);
            t.setFloat("Pairs", 64 + i);
        });
        const QByteArray db = readFile(table), inf = readFile(zelt::document::companionPath(table, ".inf"));
        const QString path = QString::fromStdString(table);
        QCOMPARE(s.run({QStringLiteral("known-points"), path, QStringLiteral("--set"), QStringLiteral("2:5,5")}).exitCode, 0);
        QCOMPARE(s.run({QStringLiteral("fit"), path}).exitCode, 0);
        QCOMPARE(readFile(table), db);
        QCOMPARE(readFile(zelt::document::companionPath(table, ".inf")), inf);
        QVERIFY(!fs::exists(zelt::document::companionPath(table, ".ing")));

        // They have no columns to show: a damaged layout beside the table stops none of them,
        // nor the route commands, and stays as it is.
        const fs::path ing = zelt::document::companionPath(table, ".ing");
        writeBytes(ing, Bytes{'n', 'o', ' ', 'l', 'a', 'y', 'o', 'u', 't'});
        const QByteArray layout = readFile(ing);
        for (const QString& command : {QStringLiteral("known-points"), QStringLiteral("fit"), QStringLiteral("route")}) {
            const CliRun r = s.run({command, path});
            QVERIFY2(r.exitCode == 0, qPrintable(command + QStringLiteral(": ") + r.err));
        }
        QCOMPARE(readFile(ing), layout);
        QCOMPARE(readFile(table), db);
    }

    /// A damaged file is reported and kept; the table still works; --clear replaces it.
    void damagedFileIsReportedNotOverwritten()
    {
        Setup s;
        writeBytes(s.kpt.toStdString(), Bytes{'j', 'u', 'n', 'k', '\n'});
        CliRun r = s.run({QStringLiteral("known-points"), s.table, QStringLiteral("--set"), QStringLiteral("1:1,1")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("walk.kpt' is damaged")), qPrintable(r.err));
        QCOMPARE(readFile(s.kpt.toStdString()), QByteArray("junk\n"));
        QCOMPARE(s.run({QStringLiteral("fit"), s.table}).exitCode, 1);
        QCOMPARE(s.run({QStringLiteral("dump"), s.table}).exitCode, 0);
        QCOMPARE(s.run({QStringLiteral("known-points"), s.table, QStringLiteral("--clear"), QStringLiteral("--set"),
                        QStringLiteral("1:1,1")}).exitCode, 0);
    }

    /// known-points --json lists the points with their map scale, read back by a JSON parser.
    void knownPointsAsJson()
    {
        Setup s;
        const CliRun r = s.run({QStringLiteral("known-points"), s.table, QStringLiteral("--set"),
                                QStringLiteral("2:10.5,-3"), QStringLiteral("--scale"), QStringLiteral("10000"),
                                QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(r.out));
        QCOMPARE(o.value(QStringLiteral("mapScale")).toDouble(), 10000.0);
        QCOMPARE(o.value(QStringLiteral("table")).toString(), s.table);
        const QJsonArray points = o.value(QStringLiteral("points")).toArray();
        QCOMPARE(points.size(), 1);
        QCOMPARE(points.at(0).toObject().value(QStringLiteral("row")).toInt(), 2);
        QCOMPARE(points.at(0).toObject().value(QStringLiteral("x")).toDouble(), 10.5);
        QCOMPARE(points.at(0).toObject().value(QStringLiteral("y")).toDouble(), -3.0);
    }

    /// fit --json gives exactly the documented keys and finds the compass and pace errors.
    void fitReportsTheErrors()
    {
        Setup s;
        QCOMPARE(s.run({QStringLiteral("fit"), s.table}).exitCode, 1);   // no known points yet
        QCOMPARE(s.run({QStringLiteral("known-points"), s.table, QStringLiteral("--set"), s.setArg(1),
                        QStringLiteral("--set"), s.setArg(3), QStringLiteral("--set"), s.setArg(4)}).exitCode, 0);
        const CliRun r = s.run({QStringLiteral("fit"), s.table, QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o.keys(), (QStringList{QStringLiteral("lengths"), QStringLiteral("pairsPer100m"), QStringLiteral("points"),
                                        QStringLiteral("residuals"), QStringLiteral("rms"), QStringLiteral("rotation"),
                                        QStringLiteral("scale"), QStringLiteral("sd"), QStringLiteral("shift")}));
        QCOMPARE(o.value(QStringLiteral("lengths")).toString(), QStringLiteral("walked"));
        QVERIFY(o.value(QStringLiteral("sd")).toObject().value(QStringLiteral("scale")).toDouble() < 1e-9);
        QVERIFY(r.out.endsWith(u'\n') && r.out.count(u'\n') == 1);  // one line
        QCOMPARE(o.value(QStringLiteral("points")).toInt(), 3);
        QVERIFY(std::fabs(o.value(QStringLiteral("scale")).toDouble() - 1.06) < 1e-9);
        QVERIFY(std::fabs(o.value(QStringLiteral("rotation")).toDouble() - 3.5) < 1e-9);
        QVERIFY(std::fabs(o.value(QStringLiteral("pairsPer100m")).toDouble() - 64 / 1.06) < 1e-9);
        const QJsonArray shift = o.value(QStringLiteral("shift")).toArray();
        QVERIFY(std::fabs(shift.at(0).toDouble() - 100) < 1e-6 && std::fabs(shift.at(1).toDouble() - 200) < 1e-6);
        const QJsonArray res = o.value(QStringLiteral("residuals")).toArray();
        QCOMPARE(res.size(), 3);
        QCOMPARE(res.at(1).toObject().value(QStringLiteral("row")).toInt(), 3);
        QVERIFY(std::fabs(res.at(1).toObject().value(QStringLiteral("dx")).toDouble()) < 1e-6);
        QVERIFY(o.value(QStringLiteral("rms")).toDouble() < 1e-6);

        const CliRun text = s.run({QStringLiteral("fit"), s.table});
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(text.out.contains(QStringLiteral("Your compass reads 3.5\u00b0 too low: add 3.5\u00b0 to every azimuth")),
                 qPrintable(text.out));
        QVERIFY2(text.out.contains(QStringLiteral("Route lengths 5.7 % too short: use 60.4 pairs per 100 m")),
                 qPrintable(text.out));
        const CliRun flat = s.run({QStringLiteral("fit"), s.table, QStringLiteral("--horizontal"), QStringLiteral("--locale"),
                                   QStringLiteral("de_DE")});
        QCOMPARE(flat.exitCode, 0);
        QVERIFY2(flat.out.contains(QStringLiteral("3 known points, map scale 1:15000; horizontal leg lengths")),
                 qPrintable(flat.out));
        QVERIFY2(flat.out.contains(QStringLiteral("use 60,4 pairs")), qPrintable(flat.out));
    }

    /// export-ocd --fit places the route; without known points it is refused and writes nothing.
    void exportWithFit()
    {
        Setup s;
        const QString map = s.dir.filePath(QStringLiteral("walk.ocd"));
        CliRun r = s.run({QStringLiteral("export-ocd"), s.table, map, QStringLiteral("--fit")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(QStringLiteral("known points")));
        QVERIFY(!fs::exists(map.toStdString()));

        QCOMPARE(s.run({QStringLiteral("known-points"), s.table, QStringLiteral("--set"), s.setArg(2),
                        QStringLiteral("--set"), s.setArg(4)}).exitCode, 0);
        r = s.run({QStringLiteral("export-ocd"), s.table, map, QStringLiteral("--fit")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("placed on 2 known points")), qPrintable(r.out));
        ZELT_VERIFY_INSPECT_CLEAN(map.toStdString());
        // Without slopes the horizontal lengths are the walked ones: the same map.
        const QString flat = s.dir.filePath(QStringLiteral("flat.ocd"));
        QCOMPARE(s.run({QStringLiteral("export-ocd"), s.table, flat, QStringLiteral("--fit"), QStringLiteral("--horizontal")})
                     .exitCode, 0);
        QCOMPARE(readFile(flat.toStdString()), readFile(map.toStdString()));
    }
};

QTEST_GUILESS_MAIN(KnownCliTest)
#include "known_cli_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli export-ocd: the dialog's choices as options, clean maps, refused maps and bad usage.
#include "cli_fixture.h"
#include "export_test_util.h"

#include <QTemporaryDir>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

struct Setup {
    QTemporaryDir dir;
    QString table = dir.filePath(QStringLiteral("way.db"));
    QString map = dir.filePath(QStringLiteral("way.ocd"));
    QString figures = dir.filePath(QStringLiteral("figures.dat"));

    explicit Setup(int rows = 30)
    {
        makeTable(table.toStdString(), rows, [](zelt::document::TraverseTable& t, int i) {
            t.setInteger("Azimuth", (i * 37) % 360);
            t.setFloat("Pairs", 20 + i % 7);
            t.setInteger("Procent", (i % 5) * 4 - 8);
            if (i % 4 == 0)
                t.setText("Povorot", "Left");
            if (i % 6 == 0)
                t.setText("Mark", "M" + std::to_string(i));
            if (i % 3 == 0)
                t.setFloat("Altimeter", 420 + i);
            t.setFloat("FillHeight", 420 + i * 0.7);
        });
        const std::string fig = "1\n-90 2 90 2\n+\n0 1 180 1\n++\n90 1 -90 1\n-\n0 1 180 1\n--\n90 1 -90 1\n";
        writeBytes(figures.toStdString(), Bytes(fig.begin(), fig.end()));
    }
    CliRun exportWith(QStringList options) const
    {
        return runCli(QStringList{QStringLiteral("export-ocd"), table, map, QStringLiteral("--figures"), figures} + options);
    }
};

}  // namespace

class ExportCliTest : public QObject {
    Q_OBJECT
private slots:
    // Each choice of the dialog writes a map the outside checker finds clean.
    void choices_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("labels");
        QTest::newRow("only way") << QStringList{} << 15;
        QTest::newRow("absolute Altimeter") << QStringList{QStringLiteral("--absolute"), QStringLiteral("Altimeter")} << 25;
        QTest::newRow("every 5") << QStringList{QStringLiteral("--points"), QStringLiteral("every5"), QStringLiteral("--field"), QStringLiteral("Recalc")} << 5;
        QTest::newRow("every 10 contours") << QStringList{QStringLiteral("--points"), QStringLiteral("every10"), QStringLiteral("--field"), QStringLiteral("FillHeight"), QStringLiteral("--contours")} << 8;
        QTest::newRow("altimeter rows") << QStringList{QStringLiteral("--points"), QStringLiteral("altimeter"), QStringLiteral("--field"), QStringLiteral("Altimeter")} << 15;
    }
    void choices()
    {
        QFETCH(QStringList, options);
        QFETCH(int, labels);
        Setup s;
        const CliRun r = s.exportWith(options);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral(" %1 labels").arg(labels)), qPrintable(r.out));
        ZELT_VERIFY_INSPECT_CLEAN(s.map.toStdString());
    }

    // Without --figures the figure file beside the program is used: the map equals one drawn with
    // that file named explicitly, and its route line holds the two "Left" figures (two steps each)
    // that a run with an empty figure file lacks.
    void figuresBesideTheProgram()
    {
        Setup s(5);
        const CliRun r = runCli({QStringLiteral("export-ocd"), s.table, s.map});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("a route line of 10 points")), qPrintable(r.out));

        const QString named = s.dir.filePath(QStringLiteral("named.ocd"));
        const CliRun n = runCli({QStringLiteral("export-ocd"), s.table, named, QStringLiteral("--figures"),
                                 QStringLiteral(ZELT_SOURCE_DIR "/data/dani.dat")});
        QVERIFY2(n.exitCode == 0, qPrintable(n.err));
        QVERIFY(readBytes(s.map.toStdString()) == readBytes(named.toStdString()));

        writeBytes(s.figures.toStdString(), Bytes{});
        const CliRun none = s.exportWith({});
        QVERIFY2(none.exitCode == 0, qPrintable(none.err));
        QVERIFY2(none.out.contains(QStringLiteral("a route line of 6 points")), qPrintable(none.out));
    }

    // A version 8 map is refused with a message and left untouched; a missing figure file stops
    // the run with the labels written and no route line.
    void failures()
    {
        Setup s(8);
        const Bytes v8 = [&] {
            zelt::test::Bytes b(48, 0);
            put16(b, 0, 0x0CAD), put16(b, 2, 2), put16(b, 4, 8);
            return b;
        }();
        writeBytes(s.map.toStdString(), v8);
        CliRun r = s.exportWith({});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("OCAD version 8")), qPrintable(r.err));
        QVERIFY(readBytes(s.map.toStdString()) == v8);

        fs::remove(s.map.toStdString());
        fs::remove(s.figures.toStdString());
        r = s.exportWith({});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("figure file")), qPrintable(r.err));
        QVERIFY(fs::file_size(s.map.toStdString()) > 29992);   // the first row's labels
    }

    // Survey values in the .inf that give no meaningful route (a ratio of 0 or a denormal, a
    // start height beyond the Altimeter range) refuse the .inf as damaged, before the template
    // is written.
    void unusableSurveyValuesWriteNoMap_data()
    {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<double>("start");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        const QStringList contours{QStringLiteral("--points"), QStringLiteral("every10"), QStringLiteral("--field"),
                                   QStringLiteral("FillHeight"), QStringLiteral("--contours")};
        const QString ratio = QStringLiteral("is damaged: pairs per 100 m must be between 1 and 1000");
        const QString start = QStringLiteral("is damaged: the start height must be between 0 and 3000 m");
        QTest::newRow("ratio 0, route") << 0.0 << 420.0 << QStringList{} << ratio;
        QTest::newRow("denormal ratio, contours") << 1e-320 << 420.0 << contours << ratio;
        QTest::newRow("start height, route") << 64.0 << 5000.0 << QStringList{} << start;
        QTest::newRow("start height, contours") << 64.0 << 1e300 << contours << start;
    }
    void unusableSurveyValuesWriteNoMap()
    {
        QFETCH(double, ratio);
        QFETCH(double, start);
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        Setup s(12);
        zelt::document::writeInf(zelt::document::companionPath(s.table.toStdString(), ".inf"), ratio, start);
        const CliRun r = s.exportWith(options);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!fs::exists(s.map.toStdString()));
    }

    // Options that do not go together are bad usage (exit status 2).
    void badUsage_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("unknown points") << QStringList{QStringLiteral("--points"), QStringLiteral("every7")};
        QTest::newRow("absolute and points") << QStringList{QStringLiteral("--absolute"), QStringLiteral("Recalc"), QStringLiteral("--points"), QStringLiteral("every5")};
        QTest::newRow("contours alone") << QStringList{QStringLiteral("--contours")};
        QTest::newRow("bad field") << QStringList{QStringLiteral("--points"), QStringLiteral("every5"), QStringLiteral("--field"), QStringLiteral("F")};
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--scale"), QStringLiteral("5000")};
    }
    void badUsage()
    {
        QFETCH(QStringList, options);
        Setup s(2);
        QCOMPARE(s.exportWith(options).exitCode, 2);
        QVERIFY(!fs::exists(s.map.toStdString()));
    }
};

QTEST_APPLESS_MAIN(ExportCliTest)
#include "export_cli_test.moc"

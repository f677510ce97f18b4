// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the known-points companion: exact round trip, damaged files, safe writing, fuzzed input.
#include "document/known_points.h"

#include "test_support.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>

using namespace zelt::document;
namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& p, const std::string& text)
{
    zelt::test::writeBytes(p, std::vector<unsigned char>(text.begin(), text.end()));
}

std::string messageOf(std::string_view text)
{
    try {
        parseKnownPoints(text);
    } catch (const KnownPointsError& e) {
        return e.what();
    }
    return {};
}

}  // namespace

class KnownPointsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    /// Written points read back bit for bit, including values with no short decimal form.
    void roundTripIsExact()
    {
        KnownPoints kp;
        kp.mapScale = 10000;
        kp.set(7, 0.1 + 0.2, -1e-300);
        kp.set(2, 123.456789012345678, -9999999.5);
        kp.set(40, std::nextafter(1.0, 2.0), 0);
        const std::string text = formatKnownPoints(kp);
        QVERIFY(text.rfind("ZELT KNOWN POINTS 2\nscale 10000\npoint 2 ", 0) == 0);
        QCOMPARE(parseKnownPoints(text), kp);
        QCOMPARE(kp.points.front().row, 2);   // kept in row order
    }

    /// Comments, blank lines, CR LF and runs of blanks are read; scale defaults to the template's.
    void readsLenientLayout()
    {
        const KnownPoints kp = parseKnownPoints("ZELT KNOWN POINTS 2\r\n# corner of the hut\r\n\r\n"
                                                "point\t3   -12.5  +40\r\n");
        QCOMPARE(kp.mapScale, 15000.0);
        QCOMPARE(int(kp.points.size()), 1);
        QCOMPARE(kp.points.front(), (KnownPoint{3, -12.5, 40}));
    }

    /// A damaged file is refused with a message that says what and where.
    void damagedTextNamesTheProblem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "" << "empty";
        QTest::newRow("foreign") << "1 2 3\n" << "does not begin";
        QTest::newRow("newer") << "ZELT KNOWN POINTS 4\n" << "newer version";
        QTest::newRow("older, last row") << "ZELT KNOWN POINTS 1\npoint 1000000000 1 2\n" << "line 2";
        QTest::newRow("comma decimal") << "ZELT KNOWN POINTS 1\npoint 1 1,5 2\n" << "line 2";
        QTest::newRow("missing y") << "ZELT KNOWN POINTS 1\npoint 1 1.5\n" << "two coordinates";
        QTest::newRow("row 0") << "ZELT KNOWN POINTS 1\n\npoint 0 1 2\n" << "line 3";
        QTest::newRow("nan") << "ZELT KNOWN POINTS 1\npoint 1 nan 2\n" << "line 2";
        QTest::newRow("huge") << "ZELT KNOWN POINTS 1\npoint 1 1e300 2\n" << "outside the map";
        QTest::newRow("duplicate row") << "ZELT KNOWN POINTS 1\npoint 4 1 2\npoint 4 3 4\n" << "two known points";
        QTest::newRow("bad scale") << "ZELT KNOWN POINTS 1\nscale 0\n" << "map scale";
        QTest::newRow("two scales") << "ZELT KNOWN POINTS 1\nscale 5000\nscale 5000\n" << "twice";
        QTest::newRow("unknown") << "ZELT KNOWN POINTS 1\nrotate 4\n" << "unknown entry";
        QTest::newRow("binary") << QStringLiteral("ZELT KNOWN POINTS 1\npoint 1 2 3") + QChar(0) << "binary";
    }
    void damagedTextNamesTheProblem()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        const std::string msg = messageOf(text.toStdString());
        QVERIFY2(msg.find(message.toStdString()) != std::string::npos, msg.c_str());
    }

    /// A file of the first layout pinned rows' end points: each point moves one row on, to the
    /// row whose mark stands there (the last row's end point becomes the route's end), and the
    /// text written for it is the current layout, which reads back unchanged.
    void olderLayoutIsConverted()
    {
        bool converted = false;
        const KnownPoints kp = parseKnownPoints("ZELT KNOWN POINTS 1\nscale 10000\npoint 1 5 6\npoint 7 -1.5 2\n",
                                                &converted);
        QVERIFY(converted);
        QCOMPARE(kp.mapScale, 10000.0);
        QCOMPARE(kp.points, (std::vector<KnownPoint>{{2, 5, 6}, {8, -1.5, 2}}));
        const std::string text = formatKnownPoints(kp);
        QCOMPARE(text, std::string("ZELT KNOWN POINTS 2\nscale 10000\npoint 2 5 6\npoint 8 -1.5 2\n"));
        QCOMPARE(parseKnownPoints(text, &converted), kp);
        QVERIFY(!converted);
    }

    /// No file reads as none; written files read back; an empty list removes the file, leaving
    /// the table as one that never had known points.
    void fileLifecycle()
    {
        const fs::path table = fs::path(m_dir.path().toStdString()) / "walk.db";
        QCOMPARE(knownPointsPath(table).filename().string(), std::string("walk.kpt"));
        QVERIFY(!readKnownPoints(table));

        KnownPoints kp;
        kp.set(1, 10, 20);
        writeKnownPoints(table, kp);
        QCOMPARE(*readKnownPoints(table), kp);
        QVERIFY(!fs::exists(knownPointsPath(table).string() + ".tmp"));

        writeKnownPoints(table, KnownPoints{});
        QVERIFY(!fs::exists(knownPointsPath(table)));
        QVERIFY(!readKnownPoints(table));
    }

    /// Anything but a regular file of sane size is refused, reading and writing, and left alone.
    void refusesOddFiles()
    {
        const fs::path dirTable = fs::path(m_dir.path().toStdString()) / "odd.db";
        fs::create_directory(knownPointsPath(dirTable));
        QVERIFY_THROWS_EXCEPTION(KnownPointsError, readKnownPoints(dirTable));
        KnownPoints kp;
        kp.set(1, 1, 1);
        QVERIFY_THROWS_EXCEPTION(KnownPointsError, writeKnownPoints(dirTable, kp));
        QVERIFY(fs::is_directory(knownPointsPath(dirTable)));

        const fs::path big = fs::path(m_dir.path().toStdString()) / "big.db";
        writeText(knownPointsPath(big), "ZELT KNOWN POINTS 1\n" + std::string(kMaxKnownPointsFileBytes, '#'));
        try {
            readKnownPoints(big);
            QFAIL("an oversized file was read");
        } catch (const KnownPointsError& e) {
            QVERIFY(std::string(e.what()).find("larger than") != std::string::npos);
        }

        const fs::path damaged = fs::path(m_dir.path().toStdString()) / "damaged.db";
        writeText(knownPointsPath(damaged), "ZELT KNOWN POINTS 1\npoint x\n");
        try {
            readKnownPoints(damaged);
            QFAIL("a damaged file was read");
        } catch (const KnownPointsError& e) {
            QVERIFY(std::string(e.what()).find("damaged.kpt' is damaged: line 2") != std::string::npos);
        }
        // A message that already ends a sentence gets no second full stop.
        writeText(knownPointsPath(damaged), "ZELT KNOWN POINTS 2\npoint 1 1e300 2\n");
        try {
            readKnownPoints(damaged);
            QFAIL("a point off the map was read");
        } catch (const KnownPointsError& e) {
            const std::string what = e.what();
            QVERIFY2(what.size() > 2 && what.compare(what.size() - 2, 2, "..") != 0 && what.back() == '.', e.what());
        }
    }

    /// Mutated files either read into valid points or fail with KnownPointsError, nothing else.
    void fuzzedInputIsReadOrRefused()
    {
        KnownPoints seed;
        for (int r = 1; r <= 6; ++r)
            seed.set(r * 3, r * 11.25, -r * 7.5);
        const std::string base = formatKnownPoints(seed);
        QRandomGenerator rng(1234);
        const char alphabet[] = "0123456789.-+e point scale#\n\r\t\0xZ";
        int refused = 0;
        for (int round = 0; round < 4000; ++round) {
            std::string text = base;
            const int edits = 1 + int(rng.bounded(6));
            for (int e = 0; e < edits && !text.empty(); ++e) {
                const std::size_t at = rng.bounded(quint32(text.size()));
                switch (rng.bounded(3)) {
                case 0: text[at] = alphabet[rng.bounded(quint32(sizeof alphabet - 1))]; break;
                case 1: text.erase(at, 1 + rng.bounded(8)); break;
                default: text.insert(at, 1, alphabet[rng.bounded(quint32(sizeof alphabet - 1))]); break;
                }
            }
            try {
                const KnownPoints kp = parseKnownPoints(text);
                for (std::size_t i = 0; i < kp.points.size(); ++i) {
                    QVERIFY(kp.points[i].row >= 1);
                    QVERIFY(std::isfinite(kp.points[i].xMm) && std::isfinite(kp.points[i].yMm));
                    if (i > 0)
                        QVERIFY(kp.points[i - 1].row < kp.points[i].row);
                }
                QVERIFY(kp.mapScale >= 1);
            } catch (const KnownPointsError&) {
                ++refused;
            }
        }
        QVERIFY(refused > 0);
    }

    /// A georeference is written in the layout that holds it and read back bit for bit, a PROJ
    /// string with its blanks included; points without one keep the layout earlier versions read.
    void georeferenceRoundTrip()
    {
        KnownPoints kp;
        kp.mapScale = 10000;
        kp.set(3, 1.5, -2.25);
        QVERIFY(formatKnownPoints(kp).rfind("ZELT KNOWN POINTS 2\n", 0) == 0);
        kp.georef = Georeference{"+proj=utm +zone=35 +ellps=krass +towgs84=28,-130,-95", 0.1 + 0.2, 5123456.789, -2.5};
        const std::string text = formatKnownPoints(kp);
        QVERIFY(text.rfind("ZELT KNOWN POINTS 3\nscale 10000\n", 0) == 0);
        QCOMPARE(parseKnownPoints(text), kp);
        // A layout-2 file names no georeference.
        QVERIFY(!parseKnownPoints("ZELT KNOWN POINTS 2\npoint 1 0 0\n").georef);
    }

    /// Georeference lines are refused where they do not belong or are incomplete.
    void damagedGeoreferenceIsRefused()
    {
        // Earlier layouts know no georeference: the line is unknown there.
        QVERIFY(messageOf("ZELT KNOWN POINTS 2\ncrs EPSG:32633\n").find("unknown entry") != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 3\ncrs EPSG:32633\n").find("origin") != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 3\norigin 1 2\n").find("crs") != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 3\ncrs \norigin 1 2\n").find("line 2") != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 3\ncrs A\ncrs B\norigin 1 2\n").find("twice") != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 3\ncrs A\norigin 1,5 2\n").find("line 3") != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 3\ncrs A\norigin 1 2\ngrivation 400\n").find("grivation")
                != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 3\ncrs A\norigin 1e10 2\n").find("origin") != std::string::npos);
        QVERIFY(messageOf("ZELT KNOWN POINTS 4\n").find("newer") != std::string::npos);
    }

    /// A table with a georeference and no points keeps its file; removing both removes it.
    void georeferenceAloneKeepsTheFile()
    {
        const fs::path table = fs::path(m_dir.path().toStdString()) / "georef.db";
        KnownPoints kp;
        kp.georef = Georeference{"EPSG:3844", 500000, 400000, 0};
        writeKnownPoints(table, kp);
        QVERIFY(fs::exists(knownPointsPath(table)));
        QCOMPARE(readKnownPoints(table).value(), kp);
        kp.georef.reset();
        writeKnownPoints(table, kp);
        QVERIFY(!fs::exists(knownPointsPath(table)));
        // A line break in the system would add lines of its own: refused, the file left as it was.
        kp.georef = Georeference{"EPSG:3844", 1, 2, 0};
        writeKnownPoints(table, kp);
        const auto before = zelt::test::readBytes(knownPointsPath(table));
        KnownPoints bad = kp;
        bad.georef->crs = "EPSG:3844\npoint 1 5 5";
        QVERIFY_THROWS_EXCEPTION(KnownPointsError, writeKnownPoints(table, bad));
        QCOMPARE(zelt::test::readBytes(knownPointsPath(table)), before);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_APPLESS_MAIN(KnownPointsTest)
#include "known_points_test.moc"

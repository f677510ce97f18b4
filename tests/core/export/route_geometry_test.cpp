// SPDX-License-Identifier: GPL-3.0-or-later
// Route geometry and the figure file: map units, moves along azimuths, figures and their errors.
#include "export/figure_file.h"
#include "export/ocad_writer.h"
#include "export/t_zelt.h"

#include "export_test_util.h"

#include <random>

using namespace zelt::test;
using namespace zelt::mapexport;
namespace fs = std::filesystem;

namespace {

struct Pt {
    int x, y;
    bool operator==(const Pt&) const = default;
};

std::vector<Pt> points(const RouteLine& l)
{
    std::vector<Pt> out;
    for (int i = 0; i < l.nItem(); ++i)
        out.push_back({l.point(i).x, l.point(i).y});
    return out;
}

fs::path writeFigures(const QTemporaryDir& dir, const std::string& text, const char* name = "dani.dat")
{
    const fs::path p = dir.filePath(QString::fromLatin1(name)).toStdString();
    writeBytes(p, Bytes(text.begin(), text.end()));
    return p;
}

}  // namespace

namespace QTest {
template<>
inline char* toString(const std::vector<Pt>& v)
{
    std::string s;
    for (const Pt& p : v)
        s += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
    return qstrdup(s.c_str());
}
}  // namespace QTest

class RouteGeometryTest : public QObject {
    Q_OBJECT
private slots:
    // Metres become 0.01 mm units at the map scale, halves rounded to the even neighbour.
    void toMapUnits()
    {
        TZelt z;
        QVERIFY_THROWS_EXCEPTION(MapRangeError, z.ToMapUnits(1.0));  // no scale read yet
        z.MapScale = 15000;
        QCOMPARE(z.ToMapUnits(100.0), 667);
        QCOMPARE(z.ToMapUnits(15.0), 100);
        QCOMPARE(z.ToMapUnits(-100.0), -667);
        z.MapScale = 10000;   // 10 units per metre: exact halves from quarter metres
        QCOMPARE(z.ToMapUnits(0.25), 2);
        QCOMPARE(z.ToMapUnits(0.75), 8);
        QCOMPARE(z.ToMapUnits(1.25), 12);
        QCOMPARE(z.ToMapUnits(-0.25), -2);
        QVERIFY_THROWS_EXCEPTION(MapRangeError, z.ToMapUnits(1e12));
    }

    // Azimuth 90 goes east, 0 north, 180 south, 270 west; every move adds a flagless point.
    void moveBy()
    {
        TZelt z;
        z.MapScale = 15000;
        RouteLine l;
        z.MoveBy(l, 100, 90);
        QCOMPARE(z.MapX, 667);
        QCOMPARE(z.MapY, 0);
        z.MoveBy(l, 100, 0);
        z.MoveBy(l, 200, 270);
        z.MoveBy(l, 100, 180);
        QCOMPARE(points(l), (std::vector<Pt>{{0, 0}, {667 * 256, 0}, {667 * 256, 667 * 256}, {-667 * 256, 667 * 256}, {-667 * 256, 0}}));
        QVERIFY(std::abs(z.CurX + 100) < 1e-9 && std::abs(z.CurY) < 1e-9);
        // A negative azimuth is the same direction as itself plus 360.
        TZelt a, b;
        a.MapScale = b.MapScale = 15000;
        RouteLine la, lb;
        a.MoveBy(la, 321, -47);
        b.MoveBy(lb, 321, 313);
        QCOMPARE(points(la), points(lb));
    }

    // A figure continues from the last point, each step turned by the leg's azimuth; a row
    // without a turn note marks its point as a corner; the note "left" is its own key.
    void insertFigure()
    {
        QTemporaryDir dir;
        TZelt z;
        z.setFigureFile(writeFigures(dir, "1\n90 1 0 1\n\n0 2\nleft\n180 1\n"));
        z.MapScale = 15000;
        RouteLine l;
        z.InsertFigure(l, "Left", 0);   // 5 m east, then 5 m north of that
        QCOMPARE(points(l), (std::vector<Pt>{{0, 0}, {33 * 256, 0}, {33 * 256, 33 * 256}}));

        RouteLine c;
        z.CurX = z.CurY = 0;
        z.InsertFigure(c, "", 90);      // corner flag, then the empty key's section
        QCOMPARE(points(c), (std::vector<Pt>{{0, 1}, {67 * 256, 0}}));

        RouteLine lower;
        z.CurX = z.CurY = 0;
        z.InsertFigure(lower, "left", 0);
        QCOMPARE(points(lower), (std::vector<Pt>{{0, 0}, {0, -33 * 256}}));
        RouteLine none;
        z.InsertFigure(none, "Right", 0);   // a key the file lacks adds nothing
        QCOMPARE(none.nItem(), 1);
    }

    // The keys of the seven turn words; anything else is its own key.
    void figureKeys()
    {
        const char* words[] = {"Left", "Right", "Center", "Left_Object", "Right_Object", "Both_Object", "Centr_Object"};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(figureKey(words[i]), std::to_string(i + 1));
        QCOMPARE(figureKey("left"), std::string("left"));
        QCOMPARE(figureKey("++"), std::string("++"));
        QCOMPARE(figureKey(""), std::string());
    }

    // The reader: CR LF lines, tabs and repeated blanks between numbers, a section repeated,
    // a key line at the end without numbers, damage reported only for the key asked for.
    void figureFileReading()
    {
        const FigureFile f = FigureFile::parse("+\r\n10 1\t-20 2.5\r\nbad\r\n1 x\r\n+\r\n+5 3 \r\nodd\r\n1 2 3\r\nend", "t");
        QCOMPARE(f.figure("+"), (std::vector<FigureStep>{{10, 1}, {-20, 2.5}, {5, 3}}));
        QCOMPARE(f.figure("end"), std::vector<FigureStep>{});
        QCOMPARE(f.figure("missing"), std::vector<FigureStep>{});
        try {
            f.figure("bad");
            QFAIL("text accepted as a number");
        } catch (const MapIoError& e) {
            QVERIFY2(std::string(e.what()).find("line 4") != std::string::npos, e.what());
        }
        try {
            f.figure("odd");
            QFAIL("odd count accepted");
        } catch (const MapIoError& e) {
            QVERIFY2(std::string(e.what()).find("odd count") != std::string::npos, e.what());
        }
        QVERIFY_THROWS_EXCEPTION(MapIoError, FigureFile::parse("k\nnan 1\n", "t").figure("k"));
        QVERIFY_THROWS_EXCEPTION(MapIoError, FigureFile::parse("k\n1,5 1\n", "t").figure("k"));
    }

    void figureKeysInTheTablesCodePage_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QByteArray>("key");   // UTF-8, as the table's turn notes are read
        QTest::addColumn<int>("steps");
        QTest::newRow("1252 file") << QByteArray("Kurve \xF6\n90 1\n") << 1252 << QByteArray("Kurve ö") << 1;
        QTest::newRow("UTF-8 file, 1252 table") << QByteArray("Kurve \xC3\xB6\n90 1\n") << 1252 << QByteArray("Kurve ö") << 1;
        QTest::newRow("866 file") << QByteArray("\xA2\xAB\n90 1 0 1\n") << 866 << QByteArray("вл") << 2;
        QTest::newRow("866 file, 1252 table") << QByteArray("\xA2\xAB\n90 1\n") << 1252 << QByteArray("вл") << 0;
        QTest::newRow("UTF-8 with BOM, 866 table") << QByteArray("\xEF\xBB\xBF\xD0\xB2\xD0\xBB\n90 1\n") << 866
                                                   << QByteArray("вл") << 1;
    }

    // A key with letters beyond ASCII matches a turn note whether the figure file is UTF-8 or
    // written in the table's code page (and not in another code page).
    void figureKeysInTheTablesCodePage()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, codePage);
        QFETCH(QByteArray, key);
        QFETCH(int, steps);
        const FigureFile f = FigureFile::parse(std::string_view(file.constData(), std::size_t(file.size())), "t", codePage);
        QCOMPARE(int(f.figure(key.toStdString()).size()), steps);
    }

    // Looked up beside the program first, then in the data folder; missing everywhere is an
    // input/output error when the first figure is asked for.
    void figureFileLookup()
    {
        QTemporaryDir a, b;
        QVERIFY_THROWS_EXCEPTION(MapIoError, FigureFile::locate({fs::path(a.path().toStdString())}));
        const fs::path inB = writeFigures(b, "1\n0 1\n");
        QCOMPARE(FigureFile::locate({fs::path(a.path().toStdString()), fs::path(b.path().toStdString())}), inB);
        const fs::path inA = writeFigures(a, "1\n0 2\n");
        QCOMPARE(FigureFile::locate({fs::path(a.path().toStdString()), fs::path(b.path().toStdString())}), inA);

        TZelt z;
        z.MapScale = 15000;
        z.setFigureSearchDirs({fs::path(b.path().toStdString()) / "nothing"});
        RouteLine l;
        QVERIFY_THROWS_EXCEPTION(MapIoError, z.InsertFigure(l, "", 0));
        QVERIFY_THROWS_EXCEPTION(MapIoError, FigureFile::load(fs::path(a.path().toStdString()) / "absent.dat"));
    }

    // The shipped figure file has every key the export asks for, and each figure ends where it
    // started, so a figure never shifts the route.
    void shippedFigures()
    {
        const FigureFile f = FigureFile::load(fs::path(ZELT_SOURCE_DIR) / "data" / "dani.dat");
        for (const char* key : {"1", "2", "3", "4", "5", "6", "7", "+", "++", "-", "--"}) {
            const auto steps = f.figure(key);
            QVERIFY2(!steps.empty(), key);
            TZelt z;
            z.MapScale = 15000;
            RouteLine l;
            for (const auto& s : steps)
                z.MoveBy(l, s.lengthUnits * 5.0, 37 + s.angleDeg);
            QVERIFY2(std::abs(z.CurX) < 1e-9 && std::abs(z.CurY) < 1e-9, key);
        }
    }

    // Bounded fuzz of the figure reader: random and mutated text gives figures or MapIoError.
    void fuzzFigureReader()
    {
        const std::string base = "1\n-90 2 90 2\n+\n-90 1 90 2 -90 1\n";
        const std::string alphabet = "0123456789 .-+e\n\r\txa";
        std::mt19937 rng(7);
        int errors = 0;
        for (int round = 0; round < 3000; ++round) {
            std::string text = base;
            for (int e = 0; e < 1 + int(rng() % 6); ++e) {
                const std::size_t at = rng() % (text.size() + 1);
                if (rng() % 2)
                    text.insert(at, 1, alphabet[rng() % alphabet.size()]);
                else if (at < text.size())
                    text.erase(at, 1);
            }
            const FigureFile f = FigureFile::parse(text, "fuzz");
            for (const char* key : {"1", "+", "", "0"}) {
                try {
                    for (const FigureStep& s : f.figure(key))
                        QVERIFY(std::isfinite(s.angleDeg) && std::isfinite(s.lengthUnits));
                } catch (const MapIoError&) {
                    ++errors;
                }
            }
        }
        QVERIFY(errors > 0);
    }
};

QTEST_APPLESS_MAIN(RouteGeometryTest)
#include "route_geometry_test.moc"

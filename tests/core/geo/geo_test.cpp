// SPDX-License-Identifier: GPL-3.0-or-later
// Coordinate systems against PROJ's own command-line tool, the map-to-grid turn against a model
// of the paper laid on the ground, refused systems and the GIS formats' names.
#include "geo/crs.h"
#include "geo/gis_export.h"
#include "compute/map_grid.h"

#include "test_support.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <numbers>

using namespace zelt::geo;
using zelt::document::Georeference;
using zelt::compute::gridToMap;
using zelt::compute::mapToGrid;

namespace {

struct System {
    const char* crs;
    bool northFirst;   // the system's own axis order, which cs2cs keeps
};

// What cs2cs makes of WGS 84 latitude/longitude in `crs`, easting first.
std::vector<EastNorth> cs2cs(const System& s, const std::vector<LonLat>& points)
{
    QByteArray input;
    for (const LonLat& p : points)
        input += QByteArray::number(p.lat, 'g', 17) + ' ' + QByteArray::number(p.lon, 'g', 17) + '\n';
    QProcess proc;
    proc.start(QStringLiteral("cs2cs"), {QStringLiteral("-f"), QStringLiteral("%.6f"), QStringLiteral("EPSG:4326"),
                                         QString::fromLatin1(s.crs)});
    proc.write(input);
    proc.closeWriteChannel();
    if (!proc.waitForFinished(60000) || proc.exitCode() != 0)
        return {};
    std::vector<EastNorth> out;
    for (const QByteArray& line : proc.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 2)
            continue;
        const double a = f[0].toDouble(), b = f[1].toDouble();
        out.push_back(s.northFirst ? EastNorth{b, a} : EastNorth{a, b});
    }
    return out;
}

double radians(double deg) { return deg * std::numbers::pi / 180; }

// What cs2cs makes of a point of `crs` in WGS 84.
LonLat cs2csBack(const System& s, EastNorth p)
{
    const double a = s.northFirst ? p.north : p.east, b = s.northFirst ? p.east : p.north;
    QProcess proc;
    proc.start(QStringLiteral("cs2cs"), {QStringLiteral("-f"), QStringLiteral("%.12f"), QString::fromLatin1(s.crs),
                                         QStringLiteral("EPSG:4326")});
    proc.write(QByteArray::number(a, 'f', 6) + ' ' + QByteArray::number(b, 'f', 6) + '\n');
    proc.closeWriteChannel();
    proc.waitForFinished(60000);
    const QList<QByteArray> f = proc.readAllStandardOutput().simplified().split(' ');
    return f.size() >= 2 ? LonLat{f[1].toDouble(), f[0].toDouble()} : LonLat{};
}

std::string refusal(const std::string& definition)
{
    try {
        Crs c(definition);
    } catch (const GeoError& e) {
        return e.what();
    }
    return {};
}

}  // namespace

class GeoTest : public QObject {
    Q_OBJECT
private slots:
    /// Three systems our users map in (a UTM zone, Romania's Stereo 70, a Pulkovo 1942
    /// Gauss-Krueger zone, the last two with northing as their first axis) give what PROJ's own
    /// tool gives, within 1 mm, both ways.
    void systemsAgreeWithCs2cs_data()
    {
        QTest::addColumn<QString>("crs");
        QTest::addColumn<bool>("northFirst");
        QTest::newRow("UTM 35N") << QStringLiteral("EPSG:32635") << false;
        QTest::newRow("Stereo 70") << QStringLiteral("EPSG:3844") << true;
        QTest::newRow("Pulkovo 1942 GK zone 5") << QStringLiteral("EPSG:28405") << true;
    }
    void systemsAgreeWithCs2cs()
    {
        QFETCH(QString, crs);
        QFETCH(bool, northFirst);
        if (QStandardPaths::findExecutable(QStringLiteral("cs2cs")).isEmpty())
            ZELT_SKIP_OUTSIDE("cs2cs (package proj-bin) is not installed");
        const std::vector<LonLat> points{{25.0, 45.5}, {26.123456789, 44.4321}, {27.9, 47.1}, {24.2, 46.05}};
        const std::string name = crs.toStdString();
        const System system{name.c_str(), northFirst};
        const std::vector<EastNorth> expected = cs2cs(system, points);
        QCOMPARE(expected.size(), points.size());
        const Crs c(name);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const EastNorth got = c.fromLonLat(points[i]);
            QVERIFY2(std::fabs(got.east - expected[i].east) < 1e-3 && std::fabs(got.north - expected[i].north) < 1e-3,
                     qPrintable(QStringLiteral("point %1: %2 %3 against %4 %5").arg(i).arg(got.east, 0, 'f', 4)
                                    .arg(got.north, 0, 'f', 4).arg(expected[i].east, 0, 'f', 4)
                                    .arg(expected[i].north, 0, 'f', 4)));
            // Back from cs2cs's coordinates, against cs2cs's own way back (a datum shift is not
            // exactly its own inverse): within 1 mm on the ground.
            const LonLat back = c.toLonLat(expected[i]);
            const LonLat theirs = cs2csBack(system, expected[i]);
            const double metresPerDegree = 111320;
            QVERIFY2(std::fabs(back.lon - theirs.lon) * metresPerDegree * std::cos(radians(theirs.lat)) < 1e-3
                         && std::fabs(back.lat - theirs.lat) * metresPerDegree < 1e-3,
                     qPrintable(QStringLiteral("%1 %2 against %3 %4").arg(back.lon, 0, 'f', 10).arg(back.lat, 0, 'f', 10)
                                    .arg(theirs.lon, 0, 'f', 10).arg(theirs.lat, 0, 'f', 10)));
        }
    }

    /// The paper laid on the ground: 1 mm up the map is mapScale / 1000 m along the azimuth of
    /// the map's up direction (the grivation, clockwise from grid north), 1 mm right is the same
    /// along that azimuth plus 90 degrees.
    void mapToGridTurnsByTheGrivation()
    {
        const double scale = 10000;
        for (const double g : {0.0, 2.5, -7.25, 90.0, 181.0}) {
            const Georeference geo{"EPSG:32635", 350000.5, 5040000.25, g};
            for (const auto& [x, y] : std::vector<std::pair<double, double>>{{0, 0}, {100, 0}, {0, 100}, {-37.5, 212.25}}) {
                const double upM = y * scale / 1000, rightM = x * scale / 1000;
                const double east = geo.originEastM + upM * std::sin(radians(g)) + rightM * std::sin(radians(g + 90));
                const double north = geo.originNorthM + upM * std::cos(radians(g)) + rightM * std::cos(radians(g + 90));
                const EastNorth got = mapToGrid(geo, scale, {x, y});
                QVERIFY(std::fabs(got.east - east) < 1e-6 && std::fabs(got.north - north) < 1e-6);
                const auto mm = gridToMap(geo, scale, got);
                QVERIFY(std::fabs(mm.x - x) < 1e-9 && std::fabs(mm.y - y) < 1e-9);
            }
        }
    }

    /// Systems that cannot hold a map are refused with a message naming what was given and why.
    void unusableSystemsAreRefused()
    {
        std::string m = refusal("EPSG:999999");
        QVERIFY2(m.find("'EPSG:999999'") != std::string::npos && m.find("unknown") != std::string::npos, m.c_str());
        m = refusal("EPSG:4326");
        QVERIFY2(m.find("not a projected") != std::string::npos, m.c_str());
        m = refusal("+proj=airy +datum=WGS84");
        QVERIFY2(m.find("no inverse") != std::string::npos, m.c_str());
        m = refusal("  ");
        QVERIFY2(m.find("No coordinate reference system") != std::string::npos, m.c_str());
        // A PROJ string without +type=crs is taken as a system.
        QCOMPARE(refusal("+proj=utm +zone=35 +datum=WGS84"), std::string());
    }

    /// A point outside the projection's domain is an error, not a wrong coordinate.
    void pointOutsideTheProjectionIsAnError()
    {
        const Crs c("EPSG:32635");
        QVERIFY_THROWS_EXCEPTION(GeoError, c.toLonLat({1e12, 1e12}));
    }

    void formatsByNameAndExtension()
    {
        QCOMPARE(gisFormat("", "a/b.GPKG").driver, std::string("GPKG"));
        QCOMPARE(gisFormat("", "x.json").driver, std::string("GeoJSON"));
        QCOMPARE(gisFormat("shapefile", "x").driver, std::string("ESRI Shapefile"));
        QVERIFY(gisFormat("", "t.gpx").lonLat);
        QVERIFY(!gisFormat("", "t.fgb").lonLat);
        QVERIFY_THROWS_EXCEPTION(GeoError, gisFormat("", "t.txt"));
        QVERIFY_THROWS_EXCEPTION(GeoError, gisFormat("MapInfo", "t.tab"));
    }
};

QTEST_APPLESS_MAIN(GeoTest)
#include "geo_test.moc"

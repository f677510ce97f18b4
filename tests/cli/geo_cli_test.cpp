// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli georef, known points in a coordinate system or latitude/longitude, and export-gis:
// every format read back with ogrinfo, coordinates checked against cs2cs and the walk itself.
#include "cli_fixture.h"
#include "document/known_points.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cmath>
#include <cstring>
#include <map>
#include <numbers>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

// The start row, 100 m east, 100 m north (64 pairs per 100 m); marks on rows 2 and 3.
struct Walk {
    QTemporaryDir dir;
    QString table = dir.filePath(QStringLiteral("walk.db"));
    QString kpt = dir.filePath(QStringLiteral("walk.kpt"));
    Walk()
    {
        makeTable(table.toStdString(), 3, [](zelt::document::TraverseTable& t, int i) {
            t.setInteger("Azimuth", i == 2 ? 0 : i == 1 ? 90 : 0);
            t.setFloat("Pairs", i == 0 ? 0 : 64);
            if (i > 0)
                t.setText("Mark", i == 1 ? "gate" : "hut");
            if (i == 2)
                t.setFloat("Altimeter", 455.5);
        });
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

CliRun run(const QStringList& args) { return runCli(args); }

bool haveTool(const char* name) { return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty(); }

struct Feature {
    QString layer;
    std::map<QString, QString> fields;
    QString geometry;
    QString field(const char* name) const
    {
        const auto it = fields.find(QString::fromLatin1(name));
        return it == fields.end() ? QString() : it->second;
    }
};

// Every feature of every layer, as ogrinfo reads them.
std::vector<Feature> ogrFeatures(const QString& file, QStringList* layers = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("ogrinfo"), {QStringLiteral("-ro"), QStringLiteral("-al"), QStringLiteral("-geom=ISO_WKT"), file});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    std::vector<Feature> out;
    QString layer;
    static const QRegularExpression field(QStringLiteral("^  (\\w+) \\(\\w+(\\(\\d+(\\.\\d+)?\\))?\\) = (.*)$"));
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n')) {
        if (line.startsWith(QStringLiteral("Layer name: "))) {
            layer = line.mid(12).trimmed();
            if (layers)
                layers->push_back(layer);
        } else if (line.startsWith(QStringLiteral("OGRFeature("))) {
            out.push_back({layer, {}, {}});
        } else if (!out.empty()) {
            const auto m = field.match(line);
            if (m.hasMatch())
                out.back().fields[m.captured(1)] = m.captured(4);
            else if (QRegularExpression(QStringLiteral("^  [A-Z]+( Z)? \\(")).match(line).hasMatch())
                out.back().geometry = line.trimmed();
        }
    }
    return out;
}

std::vector<std::pair<double, double>> coordinatesOf(const QString& wkt)
{
    std::vector<std::pair<double, double>> out;
    const QString inner = wkt.mid(wkt.indexOf(u'(')).remove(u'(').remove(u')');
    for (const QString& point : inner.split(u',')) {
        const QStringList f = point.simplified().split(u' ');
        if (f.size() >= 2)
            out.emplace_back(f[0].toDouble(), f[1].toDouble());
    }
    return out;
}

// WGS 84 longitude/latitude of UTM 35N points, by cs2cs.
std::vector<std::pair<double, double>> utmToLonLat(const std::vector<std::pair<double, double>>& points)
{
    QByteArray input;
    for (const auto& [e, n] : points)
        input += QByteArray::number(e, 'f', 4) + ' ' + QByteArray::number(n, 'f', 4) + '\n';
    QProcess p;
    p.start(QStringLiteral("cs2cs"), {QStringLiteral("-f"), QStringLiteral("%.10f"), QStringLiteral("EPSG:32635"),
                                      QStringLiteral("EPSG:4326")});
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    std::vector<std::pair<double, double>> out;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 2)
            out.emplace_back(f[1].toDouble(), f[0].toDouble());   // cs2cs writes latitude first
    }
    return out;
}

constexpr double kE0 = 350000, kN0 = 5040000;

// Where the walk lands when placed on its known points (below): the start at (E0 + 1000,
// N0 + 2000) and the legs exactly as walked.
const std::vector<std::pair<double, double>> kStations{{kE0 + 1000, kN0 + 2000}, {kE0 + 1100, kN0 + 2000},
                                                       {kE0 + 1100, kN0 + 2100}};

void georeferenceAndPin(const Walk& w)
{
    QCOMPARE(run({QStringLiteral("georef"), w.table, QStringLiteral("--crs"), QStringLiteral("EPSG:32635"),
                  QStringLiteral("--origin"), QStringLiteral("350000,5040000"), QStringLiteral("--grivation"),
                  QStringLiteral("3"), QStringLiteral("--scale"), QStringLiteral("10000")})
                 .exitCode,
             0);
    // Row 2's mark stands at the start; the route's end after the last leg.
    const CliRun r = run({QStringLiteral("known-points"), w.table, QStringLiteral("--crs"), QStringLiteral("--set"),
                          QStringLiteral("2:351000,5042000"), QStringLiteral("--set"), QStringLiteral("end:351100,5042100")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
}

// The coordinates (0.01 mm) of the last route line (symbol 517.1) of a map, as the outside map
// checker reads them; empty when it could not run.
std::vector<std::pair<double, double>> lastRouteLine(const QString& map)
{
    const fs::path tools = sharedDir("tools");
    QProcess p;
    p.start(QStringLiteral("python3"), {QString::fromStdString((tools / "ocd-inspect.py").string()), QStringLiteral("-q"),
                                        QStringLiteral("--json"), QStringLiteral("-"), map});
    if (tools.empty() || !p.waitForFinished(120000))
        return {};
    const QByteArray first = p.readAllStandardOutput().split('\n').value(0);
    std::vector<std::pair<double, double>> out;
    for (const QJsonValue& v : QJsonDocument::fromJson(first).object().value(QStringLiteral("objects")).toArray()) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("sym")).toInt() != 5171)
            continue;
        out.clear();
        for (const QJsonValue& c : o.value(QStringLiteral("coords")).toArray())
            out.emplace_back(double(c.toArray()[0].toInt() >> 8), double(c.toArray()[1].toInt() >> 8));
    }
    return out;
}

bool near(const std::pair<double, double>& a, const std::pair<double, double>& b, double eps)
{
    return std::fabs(a.first - b.first) <= eps && std::fabs(a.second - b.second) <= eps;
}

}  // namespace

class GeoCliTest : public QObject {
    Q_OBJECT
private slots:
    /// Set, print, change one value, clear: the file holds it between runs and --clear keeps
    /// the known points.
    void georefSetPrintClear()
    {
        Walk w;
        CliRun r = run({QStringLiteral("georef"), w.table});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("no georeference")));
        r = run({QStringLiteral("georef"), w.table, QStringLiteral("--crs"), QStringLiteral("EPSG:32635"),
                 QStringLiteral("--origin"), QStringLiteral("350000.5,5040000.25"), QStringLiteral("--grivation"),
                 QStringLiteral("-2.5")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.out.contains(QStringLiteral("WGS 84 / UTM zone 35N")));
        QVERIFY(readFile(w.kpt.toStdString()).startsWith("ZELT KNOWN POINTS 3\n"));
        QCOMPARE(run({QStringLiteral("georef"), w.table, QStringLiteral("--grivation"), QStringLiteral("1.25")}).exitCode, 0);
        r = run({QStringLiteral("georef"), w.table});
        QVERIFY(r.out.contains(QStringLiteral("origin\t350000.5\t5040000.25")));
        QVERIFY(r.out.contains(QStringLiteral("grivation\t1.25")));
        QVERIFY(r.out.contains(QStringLiteral("scale\t15000")));
        QCOMPARE(run({QStringLiteral("known-points"), w.table, QStringLiteral("--set"), QStringLiteral("2:10,20")}).exitCode, 0);
        QCOMPARE(run({QStringLiteral("georef"), w.table, QStringLiteral("--clear")}).exitCode, 0);
        QVERIFY(readFile(w.kpt.toStdString()).startsWith("ZELT KNOWN POINTS 2\n"));
        QCOMPARE(run({QStringLiteral("known-points"), w.table}).out, QStringLiteral("2\t10\t20\n"));
    }

    /// A system PROJ does not know, one that is not projected and one without an inverse are
    /// refused by name, and the table's file stays exactly as it was.
    void badSystemsWriteNothing_data()
    {
        QTest::addColumn<QString>("crs");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown") << QStringLiteral("EPSG:999999") << QStringLiteral("unknown to PROJ");
        QTest::newRow("geographic") << QStringLiteral("EPSG:4326") << QStringLiteral("not a projected");
        QTest::newRow("no inverse") << QStringLiteral("+proj=airy +datum=WGS84") << QStringLiteral("no inverse");
    }
    void badSystemsWriteNothing()
    {
        QFETCH(QString, crs);
        QFETCH(QString, says);
        Walk w;
        QCOMPARE(run({QStringLiteral("georef"), w.table, QStringLiteral("--crs"), QStringLiteral("EPSG:3844"),
                      QStringLiteral("--origin"), QStringLiteral("500000,400000")})
                     .exitCode,
                 0);
        const QByteArray before = readFile(w.kpt.toStdString());
        CliRun r = run({QStringLiteral("georef"), w.table, QStringLiteral("--crs"), crs});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(says) && r.err.contains(crs), qPrintable(r.err));
        QCOMPARE(readFile(w.kpt.toStdString()), before);
        // The export refuses it too, and leaves neither the file nor its temporary folder.
        Walk bare;
        const QString out = bare.path("out.gpkg");
        r = run({QStringLiteral("export-gis"), bare.table, out, QStringLiteral("--crs"), crs, QStringLiteral("--start"),
                 QStringLiteral("1,2")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
        QCOMPARE(QDir(bare.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(
                     QStringLiteral("zelt-")).size(),
                 0);
    }

    /// The map's setup gives origin, grivation and scale; the CRS comes from the user.
    void georefFromMap()
    {
        Walk w;
        const QString map = w.path("map.ocd");
        QCOMPARE(run({QStringLiteral("export-ocd"), w.table, map}).exitCode, 0);
        QFile f(map);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const double values[] = {10000, 512345.5, 423456.25, -1.75};   // scale, offsets, angle
        f.seek(19272 + 24);
        f.write(reinterpret_cast<const char*>(values), sizeof values);
        f.close();
        CliRun r = run({QStringLiteral("georef"), w.table, QStringLiteral("--from-map"), map, QStringLiteral("--crs"),
                        QStringLiteral("EPSG:3844")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("origin\t512345.5\t423456.25")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("grivation\t-1.75")));
        QVERIFY(r.out.contains(QStringLiteral("scale\t10000")));
        // Without a system the map's numbers mean nothing.
        QCOMPARE(run({QStringLiteral("georef"), w.table, QStringLiteral("--from-map"), map}).exitCode, 2);
    }

    /// A point given in latitude/longitude lands on the map where cs2cs puts it, within 1 mm on
    /// the ground; one given in the system lands where the georeference says.
    void knownPointsOnEarth()
    {
        if (!haveTool("cs2cs"))
            ZELT_SKIP_OUTSIDE("cs2cs (package proj-bin) is not installed");
        Walk w;
        const double g = 2.0, scale = 10000;
        QCOMPARE(run({QStringLiteral("georef"), w.table, QStringLiteral("--crs"), QStringLiteral("EPSG:3844"),
                      QStringLiteral("--origin"), QStringLiteral("500000,400000"), QStringLiteral("--grivation"),
                      QStringLiteral("2"), QStringLiteral("--scale"), QStringLiteral("10000")})
                     .exitCode,
                 0);
        CliRun r = run({QStringLiteral("known-points"), w.table, QStringLiteral("--latlon"), QStringLiteral("--set"),
                        QStringLiteral("2:45.5,25.0")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QProcess p;
        p.start(QStringLiteral("cs2cs"), {QStringLiteral("-f"), QStringLiteral("%.6f"), QStringLiteral("EPSG:4326"),
                                          QStringLiteral("EPSG:3844")});
        p.write("45.5 25.0\n");
        p.closeWriteChannel();
        p.waitForFinished(60000);
        const QList<QByteArray> f = p.readAllStandardOutput().simplified().split(' ');
        QVERIFY(f.size() >= 2);
        const double north = f[0].toDouble(), east = f[1].toDouble();   // Stereo 70: X north first
        // The map turned by the grivation: its up direction is g clockwise from grid north.
        const double de = (east - 500000) * 1000 / scale, dn = (north - 400000) * 1000 / scale;
        const double a = g * std::numbers::pi / 180;
        const double up = de * std::sin(a) + dn * std::cos(a), right = de * std::cos(a) - dn * std::sin(a);
        const QStringList got = r.out.trimmed().split(u'\t');
        QCOMPARE(got.size(), 3);
        QVERIFY2(std::fabs(got[1].toDouble() - right) * scale / 1000 < 1e-3
                     && std::fabs(got[2].toDouble() - up) * scale / 1000 < 1e-3,
                 qPrintable(r.out + QStringLiteral(" against %1 %2").arg(right).arg(up)));
        // Without a georeference a point on Earth has no place on the map.
        Walk bare;
        r = run({QStringLiteral("known-points"), bare.table, QStringLiteral("--crs"), QStringLiteral("--set"),
                 QStringLiteral("2:1,2")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(QStringLiteral("no georeference")));
    }

    /// Every format read back by GDAL: its layers, feature counts, attributes and where the
    /// stations lie (in the table's system, or in longitude/latitude as cs2cs gives it).
    void everyFormatReadsBack_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* n : {"walk.gpkg", "walk.geojson", "walk.gpx", "walk.kml", "walk.shp", "walk.dxf", "walk.fgb",
                              "walk.csv"})
            QTest::newRow(n) << QString::fromLatin1(n);
    }
    void everyFormatReadsBack()
    {
        QFETCH(QString, name);
        if (!haveTool("ogrinfo") || !haveTool("cs2cs"))
            ZELT_SKIP_OUTSIDE("ogrinfo (gdal-bin) or cs2cs (proj-bin) is not installed");
        Walk w;
        georeferenceAndPin(w);
        const QString out = w.path(qPrintable(name));
        const CliRun r = run({QStringLiteral("export-gis"), w.table, out});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const bool lonLat = name.endsWith(QStringLiteral(".geojson")) || name.endsWith(QStringLiteral(".gpx"))
                            || name.endsWith(QStringLiteral(".kml"));
        const auto expected = lonLat ? utmToLonLat(kStations) : kStations;
        const double eps = lonLat ? 1e-8 : 1e-3;

        std::vector<Feature> features;
        QStringList layers;
        if (name.endsWith(QStringLiteral(".shp"))) {
            for (const char* file : {"walk.shp", "walk_stations.shp", "walk_marks.shp", "walk_known_points.shp"}) {
                QVERIFY2(QFile::exists(w.path(file)), file);
                for (Feature& f : ogrFeatures(w.path(file), &layers))
                    features.push_back(std::move(f));
            }
        } else {
            features = ogrFeatures(out, &layers);
        }
        const auto count = [&](const QString& layer, const QString& tag) {
            return std::count_if(features.begin(), features.end(), [&](const Feature& f) {
                return tag.isEmpty() ? f.layer == layer : f.field("layer") == tag || f.field("Layer") == tag;
            });
        };
        // The stations: three rows, the third at the end of the walk with its altimeter height.
        std::vector<const Feature*> stations;
        if (name.endsWith(QStringLiteral(".gpx"))) {
            QCOMPARE(int(count(QStringLiteral("tracks"), {})), 1);
            QCOMPARE(int(count(QStringLiteral("waypoints"), {})), 2);
            for (const Feature& f : features)
                if (f.layer == QStringLiteral("waypoints") && f.field("name") == QStringLiteral("hut")) {
                    // The hut's mark stands where its leg begins: the end of row 2.
                    const auto at = coordinatesOf(f.geometry);
                    QVERIFY2(!at.empty() && near(at[0], expected[1], eps), qPrintable(f.geometry));
                }
            return;
        }
        const bool oneLayer = name.endsWith(QStringLiteral(".geojson")) || name.endsWith(QStringLiteral(".fgb"))
                              || name.endsWith(QStringLiteral(".csv")) || name.endsWith(QStringLiteral(".dxf"));
        if (oneLayer) {
            QCOMPARE(layers.size(), 1);
            QCOMPARE(int(count({}, QStringLiteral("route"))), 1);
            QCOMPARE(int(count({}, QStringLiteral("stations"))), 3);
            QCOMPARE(int(count({}, QStringLiteral("marks"))), 2);
            QCOMPARE(int(count({}, QStringLiteral("known_points"))), 2);
            for (const Feature& f : features)
                if (f.field("layer") == QStringLiteral("stations") || f.field("Layer") == QStringLiteral("stations"))
                    stations.push_back(&f);
        } else {
            QCOMPARE(int(count(name.endsWith(QStringLiteral(".shp")) ? QStringLiteral("walk") : QStringLiteral("route"), {})), 1);
            const QString prefix = name.endsWith(QStringLiteral(".shp")) ? QStringLiteral("walk_") : QString();
            QCOMPARE(int(count(prefix + QStringLiteral("stations"), {})), 3);
            QCOMPARE(int(count(prefix + QStringLiteral("marks"), {})), 2);
            QCOMPARE(int(count(prefix + QStringLiteral("known_points"), {})), 2);
            for (const Feature& f : features)
                if (f.layer == prefix + QStringLiteral("stations"))
                    stations.push_back(&f);
        }
        QCOMPARE(int(stations.size()), 3);
        for (std::size_t i = 0; i < 3; ++i) {
            const auto at = coordinatesOf(stations[i]->geometry);
            QVERIFY2(!at.empty() && near(at[0], expected[i], eps), qPrintable(name + u' ' + stations[i]->geometry));
            // DXF keeps no attributes of its own but the drawing's layer.
            if (!name.endsWith(QStringLiteral(".dxf"))) {
                QCOMPARE(stations[i]->field("row").toInt(), int(i + 1));
                if (i == 2) {
                    // KML shows the mark as the placemark's name.
                    QCOMPARE(stations[i]->field(name.endsWith(QStringLiteral(".kml")) ? "Name" : "mark"), QStringLiteral("hut"));
                    QCOMPARE(stations[i]->field("altimeter").toDouble(), 455.5);
                }
            }
        }
    }

    /// GPX read by a second reader: the track's points and the waypoints' names and places.
    void gpxIsPlainGpx()
    {
        if (!haveTool("cs2cs"))
            ZELT_SKIP_OUTSIDE("cs2cs (proj-bin) is not installed");
        Walk w;
        georeferenceAndPin(w);
        const CliBytesRun r = runCliBytes({QStringLiteral("export-gis"), w.table, QStringLiteral("-"),
                                           QStringLiteral("--format"), QStringLiteral("GPX")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QXmlStreamReader xml(r.out);
        std::vector<std::pair<double, double>> track;
        std::map<QString, std::pair<double, double>> waypoints;
        std::pair<double, double> at;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QStringLiteral("trkpt") || xml.name() == QStringLiteral("wpt"))
                at = {xml.attributes().value(QStringLiteral("lon")).toDouble(),
                      xml.attributes().value(QStringLiteral("lat")).toDouble()};
            if (xml.name() == QStringLiteral("trkpt"))
                track.push_back(at);
            if (xml.name() == QStringLiteral("name") && waypoints.size() < 10)
                waypoints[xml.readElementText()] = at;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        const auto expected = utmToLonLat(kStations);
        QCOMPARE(int(track.size()), 4);   // the start and three row ends (the first leg has no length)
        QVERIFY(near(track.back(), expected[2], 1e-8));
        QVERIFY(waypoints.count(QStringLiteral("gate")) && waypoints.count(QStringLiteral("hut")));
        QVERIFY(near(waypoints[QStringLiteral("hut")], expected[1], 1e-8));
    }

    /// A new map from a georeferenced table carries the georeference in its setup: scale (draft
    /// and print scales too), real-world offsets, angle, real-world coordinates on.
    void newMapCarriesTheGeoreference()
    {
        Walk w;
        georeferenceAndPin(w);
        const QString map = w.path("new.ocd");
        const CliRun r = run({QStringLiteral("export-ocd"), w.table, map});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QByteArray b = readFile(map.toStdString());
        QVERIFY(b.size() > 20620);
        const auto f64 = [&](int at) {
            double v;
            std::memcpy(&v, b.constData() + 19272 + at, 8);
            return v;
        };
        QCOMPARE(f64(24), 10000.0);
        QCOMPARE(f64(32), 350000.0);
        QCOMPARE(f64(40), 5040000.0);
        QCOMPARE(f64(48), 3.0);
        QCOMPARE(f64(556), 10000.0);
        QCOMPARE(f64(564), 10000.0);
        QCOMPARE(f64(888), 10000.0);
        QCOMPARE(int(b[19272 + 1080]), 1);
        // A table without a georeference still gets the template's setup.
        Walk bare;
        QCOMPARE(run({QStringLiteral("export-ocd"), bare.table, bare.path("plain.ocd")}).exitCode, 0);
        const QByteArray plain = readFile(bare.path("plain.ocd").toStdString());
        double scale;
        std::memcpy(&scale, plain.constData() + 19272 + 24, 8);
        QCOMPARE(scale, 15000.0);
        QCOMPARE(int(plain[19272 + 1080]), 0);
    }

    /// Into an existing map with another georeference: the user is warned, and the route placed
    /// on its known points lands where they lie on the ground in that map's own coordinates.
    void existingMapKeepsItsGeoreference()
    {
        if (sharedDir("tools").empty() || !haveTool("python3"))
            ZELT_SKIP_OUTSIDE("the outside map checker tools/ocd-inspect.py (or python3) is absent");
        Walk w;
        georeferenceAndPin(w);
        const QString same = w.path("same.ocd"), other = w.path("other.ocd");
        CliRun r = run({QStringLiteral("export-ocd"), w.table, same, QStringLiteral("--fit")});
        QVERIFY2(r.exitCode == 0 && !r.err.contains(QStringLiteral("differs")), qPrintable(r.err));
        QCOMPARE(run({QStringLiteral("export-ocd"), w.table, other}).exitCode, 0);
        {
            // The other map's origin lies 100 m east and 200 m north of the table's.
            QFile f(other);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const double offsets[] = {350100, 5040200};
            f.seek(19272 + 32);
            f.write(reinterpret_cast<const char*>(offsets), sizeof offsets);
        }
        r = run({QStringLiteral("export-ocd"), w.table, other, QStringLiteral("--fit")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("differs from the table's")), qPrintable(r.err));
        const auto a = lastRouteLine(same), b = lastRouteLine(other);
        QVERIFY(!a.empty());
        QCOMPARE(a.size(), b.size());
        // A ground shift of (-100 m, -200 m) at 1:10000 on paper turned 3 degrees: the paper's
        // right is 93 degrees from grid north, its up 3 degrees.
        const double g = 3 * std::numbers::pi / 180, de = -10, dn = -20;   // mm
        const double dx = de * std::cos(g) - dn * std::sin(g), dy = de * std::sin(g) + dn * std::cos(g);
        for (std::size_t i = 0; i < a.size(); ++i)
            QVERIFY2(near({b[i].first - a[i].first, b[i].second - a[i].second}, {dx * 100, dy * 100}, 1.01),
                     qPrintable(QStringLiteral("%1: %2 %3").arg(i).arg(b[i].first - a[i].first).arg(b[i].second - a[i].second)));
    }

    /// Waypoints named by the marks become known points where they lie; a file that is no track
    /// is refused by name and nothing is written.
    void knownPointsFromTrack()
    {
        Walk w;
        QCOMPARE(run({QStringLiteral("georef"), w.table, QStringLiteral("--crs"), QStringLiteral("EPSG:32635"),
                      QStringLiteral("--origin"), QStringLiteral("350000,5040000"), QStringLiteral("--grivation"),
                      QStringLiteral("3"), QStringLiteral("--scale"), QStringLiteral("10000")})
                     .exitCode,
                 0);
        // The walk as a GPS would have it: its marks as waypoints, the start 1 km east, 2 km north.
        const QString gpx = w.path("track.gpx");
        QCOMPARE(run({QStringLiteral("export-gis"), w.table, gpx, QStringLiteral("--start"), QStringLiteral("351000,5042000")})
                     .exitCode,
                 0);
        const QByteArray before = readFile(w.kpt.toStdString());
        const QString notTrack = w.path("notes.gpx");
        {
            QFile f(notTrack);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("these are my notes, not a track\n");
        }
        CliRun r = run({QStringLiteral("known-points"), w.table, QStringLiteral("--from-track"), notTrack});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("notes.gpx")) && r.err.contains(QStringLiteral("not a GPX")), qPrintable(r.err));
        QCOMPARE(readFile(w.kpt.toStdString()), before);

        r = run({QStringLiteral("known-points"), w.table, QStringLiteral("--from-track"), gpx});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList lines = r.out.trimmed().split(u'\n');
        QCOMPARE(lines.size(), 2);
        // Row 2 ("gate") has its mark at the start, row 3 ("hut") 100 m further along the
        // paper's right: on paper at 1:10000 turned 3 degrees.
        const double g = 3 * std::numbers::pi / 180, de = 100, dn = 200;   // mm from the origin
        const std::pair<double, double> start{de * std::cos(g) - dn * std::sin(g), de * std::sin(g) + dn * std::cos(g)};
        const std::pair<double, double> hut{start.first + 10, start.second};
        const auto at = [&](int i) {
            const QStringList f = lines[i].split(u'\t');
            return std::pair<double, double>{f.value(1).toDouble(), f.value(2).toDouble()};
        };
        QVERIFY2(lines[0].startsWith(QStringLiteral("2\t")) && near(at(0), start, 0.01), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(QStringLiteral("3\t")) && near(at(1), hut, 0.01), qPrintable(lines[1]));
    }

    /// A table without a georeference goes out from the start given, north up; GeoJSON on
    /// standard output.
    void startGivenWithoutGeoreference()
    {
        Walk w;
        const CliBytesRun r = runCliBytes({QStringLiteral("export-gis"), w.table, QStringLiteral("-"), QStringLiteral("--format"),
                                           QStringLiteral("GeoJSON"), QStringLiteral("--crs"), QStringLiteral("EPSG:32635"),
                                           QStringLiteral("--start"), QStringLiteral("350000,5040000")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonArray features = QJsonDocument::fromJson(r.out).object().value(QStringLiteral("features")).toArray();
        QCOMPARE(features.size(), 1 + 3 + 2);
        if (!haveTool("cs2cs"))
            ZELT_SKIP_OUTSIDE("cs2cs (proj-bin) is not installed");
        const auto expected = utmToLonLat({{kE0, kN0}, {kE0 + 100, kN0}, {kE0 + 100, kN0 + 100}});
        int row = 0;
        for (const QJsonValue& v : features) {
            const QJsonObject f = v.toObject();
            if (f.value(QStringLiteral("properties")).toObject().value(QStringLiteral("layer")).toString() != QStringLiteral("stations"))
                continue;
            const QJsonArray c = f.value(QStringLiteral("geometry")).toObject().value(QStringLiteral("coordinates")).toArray();
            QVERIFY(near({c[0].toDouble(), c[1].toDouble()}, expected[std::size_t(row)], 1e-8));
            ++row;
        }
        QCOMPARE(row, 3);
        // Without a start nor a georeference nothing says where the route lies.
        const CliRun none = run({QStringLiteral("export-gis"), w.table, w.path("x.gpkg")});
        QCOMPARE(none.exitCode, 1);
        QVERIFY(none.err.contains(QStringLiteral("--start")));
        QVERIFY(!QFile::exists(w.path("x.gpkg")));
        // A format that needs to seek does not go to standard output.
        QCOMPARE(run({QStringLiteral("export-gis"), w.table, QStringLiteral("-"), QStringLiteral("--format"), QStringLiteral("GPKG"),
                      QStringLiteral("--crs"), QStringLiteral("EPSG:32635"), QStringLiteral("--start"), QStringLiteral("1,2")})
                     .exitCode,
                 2);
    }
};

QTEST_GUILESS_MAIN(GeoCliTest)
#include "geo_cli_test.moc"

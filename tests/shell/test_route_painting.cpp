// SPDX-License-Identifier: GPL-3.0-or-later
// Route pictures without windows: the fast PNG writer, the pixel-set dense route line, where
// mark labels and the picture's other texts go, and the route model kept up to date in place
// after posts.
#include "compute/route_geometry.h"
#include "compute/route_placement.h"
#include "document_fixture.h"
#include "export/route_export.h"
#include "export/t_zelt.h"
#include "shell/paint/png_writer.h"
#include "shell/paint/route_known_marks.h"
#include "shell/route/route_model.h"
#include "shell/paint/route_painter.h"
#include "shell_test_support.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPalette>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

using namespace zelt::shell;
using zelt::compute::RouteRow;

namespace {

RouteScene sceneOf(const std::vector<RouteRow>& rows, std::vector<QString> marks = {})
{
    RouteScene s;
    s.route = zelt::compute::computeRoute(rows);
    marks.resize(rows.size());
    s.marks = std::move(marks);
    return s;
}

RouteRow leg(int azimuth, double lengthM)
{
    RouteRow r;
    r.azimuth = azimuth;
    r.lengthM = lengthM;
    return r;
}


/// The label objects (symbol 802.1) of an OCAD map: each text with its anchor, map units.
std::map<std::string, QPointF> mapLabels(const std::filesystem::path& map)
{
    std::ifstream in(map, std::ios::binary);
    const std::vector<char> b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto i32 = [&](std::size_t at) { std::int32_t v; std::memcpy(&v, b.data() + at, 4); return v; };
    const auto i16 = [&](std::size_t at) { std::int16_t v; std::memcpy(&v, b.data() + at, 2); return v; };
    std::map<std::string, QPointF> out;
    for (std::int32_t blk = i32(12); blk != 0; blk = i32(std::size_t(blk)))
        for (std::size_t k = 0; k < 256; ++k) {
            const std::size_t e = std::size_t(blk) + 4 + 24 * k;
            const auto pos = std::size_t(i32(e + 16));
            if (i16(e + 22) != 8021 || pos == 0)
                continue;
            const auto items = std::size_t(i16(pos + 4));
            out[std::string(b.data() + pos + 32 + 8 * items)] = QPointF(i32(pos + 32) >> 8, i32(pos + 36) >> 8);
        }
    return out;
}

/// The texts of an SVG picture at their baseline points, through the group's transform.
std::map<QString, QPointF> svgTexts(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString svg = QString::fromUtf8(file.readAll());
    static const QRegularExpression token(QStringLiteral(
        R"re(transform="matrix\(([^)]*)\)"|<text [^>]*\bx="([-0-9.e]+)" y="([-0-9.e]+)"[^>]*>([^<]*)</text>)re"));
    QTransform t;
    std::map<QString, QPointF> out;
    for (auto it = token.globalMatch(svg); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength(1)) {
            const QStringList v = m.captured(1).split(QLatin1Char(','));
            if (v.size() == 6)
                t = QTransform(v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble(), v[4].toDouble(),
                               v[5].toDouble());
        } else {
            out[m.captured(4)] = t.map(QPointF(m.captured(2).toDouble(), m.captured(3).toDouble()));
        }
    }
    return out;
}

// A paint device that draws nothing and keeps, in device pixels, each text's box and colour and
// each polyline with its pen's colour.
class Recorder : public QPaintDevice, public QPaintEngine {
public:
    Recorder(QSize size, int dpi) : QPaintEngine(AllFeatures), m_size(size), m_dpi(dpi) {}
    struct Text {
        QString text;
        QRectF box;
        QColor colour;
    };
    std::vector<Text> texts;
    std::vector<std::pair<QPolygonF, QColor>> lines;

    QPaintEngine* paintEngine() const override { return const_cast<Recorder*>(this); }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    Type type() const override { return User; }
    void drawTextItem(const QPointF& p, const QTextItem& t) override
    {
        const QRectF box(p.x(), p.y() - t.ascent(), t.width(), t.ascent() + t.descent());
        texts.push_back({t.text(), painter()->combinedTransform().mapRect(box), painter()->pen().color()});
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        if (mode == PolylineMode)
            lines.emplace_back(painter()->combinedTransform().map(QPolygonF(QList<QPointF>(points, points + count))),
                               painter()->pen().color());
    }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        const bool dpi = m == PdmDpiX || m == PdmDpiY || m == PdmPhysicalDpiX || m == PdmPhysicalDpiY;
        return m == PdmWidth ? m_size.width() : m == PdmHeight ? m_size.height() : dpi ? m_dpi : m == PdmDepth ? 32 : 1;
    }

private:
    QSize m_size;
    int m_dpi;
};

}  // namespace

class TestRoutePainting : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { zelt::test::failOnQtWarnings(); }
    // The written file reads back through Qt's own reader pixel for pixel, whatever the size
    // (one pixel, odd widths, a wide noisy image that fills several compressed chunks), and a
    // device that refuses bytes gives false.
    void pngReadsBackExactly()
    {
        QRandomGenerator random(7);
        for (const QSize size : {QSize(1, 1), QSize(17, 5), QSize(301, 203), QSize(1200, 700)}) {
            QImage image(size, QImage::Format_RGB32);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    image.setPixel(x, y, (x + y) % 5 ? qRgb(255, 255, 255) : qRgb(int(random.bounded(256)), x % 256, y % 256));
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(writeFastPng(image, buffer));
            QImage back;
            QVERIFY(back.loadFromData(buffer.data(), "PNG"));
            QCOMPARE(back.size(), size);
            QCOMPARE(back.convertToFormat(QImage::Format_RGB32), image);
        }
        // Alpha is dropped: a translucent image is written as its opaque colours.
        QImage translucent(4, 4, QImage::Format_ARGB32);
        translucent.fill(qRgba(10, 20, 30, 128));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(writeFastPng(translucent, buffer));
        QImage back;
        QVERIFY(back.loadFromData(buffer.data(), "PNG"));
        QVERIFY(!back.hasAlphaChannel());

        // Bands of two images (as a picture painted in parts) join into one picture; bands that
        // do not fit together are refused.
        QImage upper(40, 7, QImage::Format_RGB32), lower(40, 5, QImage::Format_RGB32);
        upper.fill(qRgb(255, 255, 255));
        lower.fill(qRgb(0, 114, 178));
        upper.setPixel(3, 6, qRgb(1, 2, 3));
        QBuffer joined;
        joined.open(QIODevice::WriteOnly);
        QVERIFY(writeFastPng({PngBand::compress(upper, 0, 4, false), PngBand::compress(upper, 4, 7, false),
                              PngBand::compress(lower, 0, 5, true)},
                             joined));
        QImage whole;
        QVERIFY(whole.loadFromData(joined.data(), "PNG"));
        QCOMPARE(whole.size(), QSize(40, 12));
        QCOMPARE(whole.pixel(3, 6), qRgb(1, 2, 3));
        QCOMPARE(whole.pixel(0, 7), qRgb(0, 114, 178));
        QCOMPARE(whole.pixel(39, 11), qRgb(0, 114, 178));
        QBuffer refused;
        refused.open(QIODevice::WriteOnly);
        QVERIFY(!writeFastPng({PngBand::compress(upper, 0, 7, false)}, refused));   // no last band
        QVERIFY(!writeFastPng({PngBand::compress(upper, 0, 7, false), PngBand::compress(QImage(41, 2, QImage::Format_RGB32), 0, 2, true)},
                              refused));   // widths differ
        QVERIFY(refused.data().isEmpty());

        QBuffer closed;   // not open: every write fails
        const zelt::test::ExpectedWarning notOpen(QStringLiteral("QIODevice::write (QBuffer): device not open"));
        QVERIFY(!writeFastPng(QImage(8, 8, QImage::Format_RGB32), closed));
        QVERIFY(!writeFastPng(QImage(), buffer));
    }

    // A dense route (thousands of legs) is set pixel by pixel into the plan: every pixel the
    // legs cross is route-coloured, nothing off the route is, and a view zoomed far in (legs
    // running far outside the picture) draws the part that crosses it.
    void denseLineIsDrawnWherePointsAre()
    {
        // 3000 legs of 100 m east and west along one line, with a zero-length leg after each.
        std::vector<RouteRow> rows;
        for (int i = 0; i < 6000; ++i)
            rows.push_back(i % 2 ? leg(0, 0.0) : leg(i % 4 == 0 ? 90 : 270, 100.0));
        const RouteScene scene = sceneOf(rows);
        RouteColours colours = RouteColours::forPaper();
        const QRectF area(0, 0, 400, 300);
        QImage image(area.size().toSize(), QImage::Format_RGB32);
        PlanView view;
        view.scale = 3.0;   // 100 m = 300 px
        view.centre = QPointF(50, 0);
        {
            QPainter p(&image);
            paintPlan(p, area, scene, view, colours);
        }
        const QPointF a = view.toDevice(area, 0, 0), b = view.toDevice(area, 100, 0);
        const int y = int(std::lround(a.y()));
        int onLine = 0;
        for (int x = int(a.x()) + 12; x < int(b.x()) - 12; ++x)   // clear of the start triangle
            onLine += image.pixelColor(x, y) == colours.route;
        QCOMPARE(onLine, int(b.x()) - 12 - (int(a.x()) + 12));
        QVERIFY(image.pixelColor(int(a.x()) + 150, y - 40) != colours.route);
        QVERIFY(image.pixelColor(int(a.x()) + 150, y + 40) != colours.route);

        // Zoomed in 1000 times on the middle of the strip: the line still crosses the picture.
        view.scale = 3000.0;
        QImage zoomed(area.size().toSize(), QImage::Format_RGB32);
        {
            QPainter p(&zoomed);
            paintPlan(p, area, scene, view, colours);
        }
        const int mid = int(std::lround(view.toDevice(area, 50, 0).y()));
        QCOMPARE(zoomed.pixelColor(100, mid), colours.route);
        QCOMPARE(zoomed.pixelColor(300, mid), colours.route);

        // A large picture is set in two bands of rows: a line running north across the seam
        // has every pixel of its column set on both sides of it.
        std::vector<RouteRow> north;
        for (int i = 0; i < 6000; ++i)
            north.push_back(i % 2 ? leg(0, 0.0) : leg(i % 4 == 0 ? 0 : 180, 100.0));
        const RouteScene tall = sceneOf(north);
        const QRectF big(0, 0, 900, 700);
        QImage large(big.size().toSize(), QImage::Format_RGB32);
        PlanView upright;
        upright.scale = 6.0;   // 100 m = 600 px
        upright.centre = QPointF(0, 50);
        {
            QPainter p(&large);
            paintPlan(p, big, tall, upright, colours);
        }
        const int column = int(std::lround(upright.toDevice(big, 0, 0).x()));
        const int from = int(std::lround(upright.toDevice(big, 0, 100).y())) + 2;
        const int to = int(std::lround(upright.toDevice(big, 0, 0).y())) - 14;   // above the start triangle
        QVERIFY(from < 350 && to > 350);
        for (int y = from; y <= to; ++y)
            QVERIFY2(large.pixelColor(column, y) == colours.route, qPrintable(QString::number(y)));
    }

    // Under a dark palette the plan is drawn on the palette's base with its text colour, and the
    // route switches to a light blue that stands out from the dark ground.
    void darkPaletteIsFollowed()
    {
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x24));
        dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
        const RouteColours c = RouteColours::fromPalette(dark);
        const RouteScene scene = sceneOf({leg(0, 100), leg(90, 100)}, {QStringLiteral("gate"), {}});
        const QRectF area(0, 0, 300, 240);
        QImage image(area.size().toSize(), QImage::Format_RGB32);
        {
            QPainter p(&image);
            paintPlan(p, area, scene, fitView(scene.route, area), c);
        }
        QCOMPARE(image.pixelColor(3, 3), dark.color(QPalette::Base));
        int text = 0, route = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                text += image.pixelColor(x, y) == c.text;
                route += image.pixelColor(x, y) == c.route;
            }
        QVERIFY(text > 20);    // scale bar, north arrow, the mark's label
        QVERIFY(route > 50);
        QVERIFY(c.route.lightnessF() > 0.5);
    }

    // Labels stay inside the plan (none cut at the right edge), never overlap one another or
    // the north arrow and scale bar, and a crowded route keeps the earlier rows' labels.
    void markLabelsFitAndDoNotOverlap()
    {
        std::vector<RouteRow> rows;
        std::vector<QString> marks;
        for (int i = 0; i < 400; ++i) {
            rows.push_back(leg((i * 37) % 360, 20.0 + i % 13));
            marks.push_back(QStringLiteral("road bend %1").arg(i));
        }
        RouteScene scene = sceneOf(rows, marks);
        auto known = std::make_shared<KnownPointMarks>();
        for (const std::size_t row : {std::size_t(0), std::size_t(5), std::size_t(40)}) {
            const auto& at = scene.route.points[scene.route.rowMarkPoint(row)];
            known->marks.push_back({int(row) + 1, at.xM, at.yM, 0, 0});
        }
        scene.knownPoints = known;
        const QRectF area(10, 20, 360, 260);
        const PlanView view = fitView(scene.route, area);
        const QFontMetricsF fm{QFont()};
        const std::vector<MarkLabel> labels = markLabels(scene, view, area, fm);
        QVERIFY(labels.size() > 3);
        QVERIFY(labels.size() < 200);
        const QRectF arrow(area.right() - 34, area.top() + 6, 30, 50);
        for (std::size_t i = 0; i < labels.size(); ++i) {
            QVERIFY2(area.contains(labels[i].box), qPrintable(QStringLiteral("label of row %1").arg(labels[i].row)));
            QVERIFY(!labels[i].box.intersects(arrow));
            for (const KnownPointMark& k : known->marks) {
                const QPointF at = view.toDevice(area, k.xM, k.yM);
                QVERIFY(!labels[i].box.intersects(QRectF(at - QPointF(5, 5), QSizeF(10, 10))));
            }
            QVERIFY(labels[i].box.width() >= fm.horizontalAdvance(marks[labels[i].row]) - 0.01);
            for (std::size_t j = 0; j < i; ++j)
                QVERIFY(!labels[i].box.intersects(labels[j].box));
        }
        QCOMPARE(labels.front().row, std::size_t(0));   // a known row keeps its label beside its square

        // A mark at the right edge (row 2's, where the first leg ends) gets its label on its left.
        const RouteScene edge = sceneOf({leg(90, 100), leg(0, 0)}, {QString(), QStringLiteral("gate")});
        const PlanView edgeView = fitView(edge.route, area, 4);
        const std::vector<MarkLabel> one = markLabels(edge, edgeView, area, fm);
        QCOMPARE(one.size(), std::size_t(1));
        QVERIFY(one[0].box.right() < edgeView.toDevice(area, 100, 0).x());
    }

    // Known points sit where their rows' legs begin. Placed on points that an exact similarity of
    // the route gives, they show no residual; a point moved on the map shows an arrow towards
    // where it was moved (in the plan's unfitted frame), and only there the arrow is long.
    void knownPointsAndResidualArrows()
    {
        std::vector<RouteRow> rows;
        for (int i = 0; i < 30; ++i)
            rows.push_back(leg((i * 41) % 360, 40.0 + i));
        const zelt::compute::Route route = zelt::compute::computeRoute(rows);
        const double scale = 1.06, turn = 3.5 * M_PI / 180.0, mapScale = 10000;
        const double a = scale * std::cos(turn), b = scale * std::sin(turn);
        zelt::document::KnownPoints known;
        known.mapScale = mapScale;
        for (const int row : {3, 11, 19, 27}) {
            const auto& mark = route.points[route.rowMarkPoint(std::size_t(row) - 1)];
            const auto mm = zelt::compute::groundToMapMm(mark.xM, mark.yM, mapScale);
            known.set(row, a * mm.x - b * mm.y + 120.0, b * mm.x + a * mm.y - 45.0);
        }
        known.set(99, 0, 0);   // beyond the route: left out
        KnownPointMarks exact = knownPointMarks(route, known, 64.0);
        QVERIFY(exact.fitted);
        QCOMPARE(exact.marks.size(), std::size_t(4));
        QCOMPARE(exact.marks[1].row, 11);
        QCOMPARE(exact.marks[1].xM, route.points[route.rowPoints[9]].xM);   // row 11's leg begins there
        for (const KnownPointMark& m : exact.marks)
            QVERIFY(std::hypot(m.towardsKnownXM, m.towardsKnownYM) < 1e-6);
        QVERIFY(exact.rmsM < 1e-6);
        QCOMPARE(residualExaggeration(exact, 1.0), 1.0);

        // Row 19's known point moved 2 mm east on the map (20 m on the ground at 1:10000).
        const zelt::document::KnownPoint* p19 = known.find(19);
        known.set(19, p19->xMm + 2.0, p19->yMm);
        const KnownPointMarks moved = knownPointMarks(route, known, 64.0);
        QVERIFY(moved.fitted && moved.rmsM > 1);
        const KnownPointMark& m = moved.marks[2];
        QCOMPARE(m.row, 19);
        // East on the map is, in the unfitted frame, east turned back by the compass error.
        const double ex = std::cos(-turn), ey = std::sin(-turn);
        const double length = std::hypot(m.towardsKnownXM, m.towardsKnownYM);
        QVERIFY((m.towardsKnownXM * ex + m.towardsKnownYM * ey) / length > 0.99);
        // The plan shows the route unscaled: every ground residual is the fitted scale times its
        // arrow in the plan, the same factor for all.
        const double fittedScale = m.residualM / length;
        QVERIFY(fittedScale > 0.9 && fittedScale < 1.2);
        for (const KnownPointMark& other : moved.marks)
            QVERIFY(std::fabs(other.residualM - fittedScale * std::hypot(other.towardsKnownXM, other.towardsKnownYM)) <
                    1e-9 * (1 + other.residualM));
        for (const KnownPointMark& other : moved.marks)
            QVERIFY(std::hypot(other.towardsKnownXM, other.towardsKnownYM) <= length + 1e-9);
        // Arrows of some metres on a plan of 0.5 px per metre are drawn many times longer.
        const double factor = residualExaggeration(moved, 0.5);
        QVERIFY(factor >= 2 && length * 0.5 * factor <= 48.0 + 1e-9);

        // Two rows at one place with different known positions (row 2's mark and the end of a
        // route whose last leg is empty): no fit, the reason is kept.
        zelt::document::KnownPoints clash;
        clash.set(2, 0, 0);
        clash.set(3, 10, 10);
        const zelt::compute::Route still = zelt::compute::computeRoute(std::vector<RouteRow>{leg(0, 10), leg(0, 0)});
        const KnownPointMarks refused = knownPointMarks(still, clash, 64.0);
        QVERIFY(!refused.fitted);
        QVERIFY(!refused.problem.isEmpty());
        QCOMPARE(refused.marks.size(), std::size_t(2));
    }

    // Posts on a document's table reach the route in place: after edits of lengths, azimuths,
    // turn notes and heights (one row at a time and several at once) the route equals one
    // computed from the table afresh, and a height alone leaves the line as it was.
    void modelFollowsPostsInPlace()
    {
        zelt::test::DocumentFixture f;
        auto& t = f.doc->table;
        for (int i = 0; i < 60; ++i) {
            t.append();
            t.setInteger("Azimuth", (i * 53) % 360);
            t.setFloat("Pairs", 10 + i % 7);
            if (i % 4 == 0)
                t.setFloat("Altimeter", 400 + i);
            t.post();
        }
        const zelt::compute::FigureShapes shapes{{"1", {{90, 1}, {0, 1}}}, {"2", {{-90, 2}}}};
        RouteModel model(*f.doc);
        model.setFigureLookup(zelt::compute::lookupIn(shapes));
        model.flush();
        auto expectFresh = [&] {
            model.flush();
            const auto fresh = zelt::compute::computeRoute(zelt::compute::routeRowsOf(t, f.doc->pairsPer100m),
                                                           zelt::compute::lookupIn(shapes));
            const auto& got = model.scene().route;
            QCOMPARE(got.points.size(), fresh.points.size());
            QCOMPARE(got.rowPoints, fresh.rowPoints);
            for (std::size_t k = 0; k < fresh.points.size(); ++k)
                QVERIFY(std::fabs(got.points[k].xM - fresh.points[k].xM) < 1e-6 &&
                        std::fabs(got.points[k].yM - fresh.points[k].yM) < 1e-6 &&
                        std::fabs(got.points[k].distanceM - fresh.points[k].distanceM) < 1e-6);
            QCOMPARE(got.profile.altimeter.size(), fresh.profile.altimeter.size());
            for (std::size_t k = 0; k < fresh.profile.altimeter.size(); ++k)
                QVERIFY(std::fabs(got.profile.altimeter[k].distanceM - fresh.profile.altimeter[k].distanceM) < 1e-6);
        };
        auto edit = [&](int row, auto&& change) {
            t.setRecNo(row + 1);
            t.edit();
            change();
            t.post();
        };
        edit(3, [&] { t.setFloat("Pairs", 40); });
        expectFresh();
        edit(10, [&] { t.setText("Povorot", "Left"); });
        expectFresh();
        edit(10, [&] { t.setText("Povorot", "Right"); });
        edit(2, [&] { t.setInteger("Azimuth", 5); });
        expectFresh();
        for (int row = 20; row < 40; ++row)   // more rows at once than are replaced in place
            edit(row, [&] { t.setFloat("Pairs", 25); });
        expectFresh();

        QSignalSpy moved(&model, &RouteModel::routeChanged);
        QSignalSpy heights(&model, &RouteModel::heightsChanged);
        const std::uint64_t version = model.scene().version;
        edit(5, [&] { t.setFloat("Altimeter", 512); });
        model.flush();
        QCOMPARE(moved.count(), 0);
        QCOMPARE(heights.count(), 1);
        QCOMPARE(model.scene().version, version);   // the plan's cached line stays valid
        expectFresh();
    }

    // The picture and the map put every mark at one place: the fitted map's labels, carried back
    // through the placement, and the marks of an SVG of the route view's scene (what the dock,
    // Print Route and zelt-cli plot paint) are one north-up similarity apart, to a pixel. A
    // label drawn at its row's end point instead would stand a leg off.
    void pictureAndFittedMapAgreeOnMarks()
    {
        zelt::test::DocumentFixture f;
        auto& t = f.doc->table;
        const double pairs = f.doc->pairsPer100m;   // 100 m a leg
        const struct { int azimuth; double legs; const char* mark; } rows[] = {
            {90, 1, "A"}, {0, 1, "B"}, {90, 1, "C"}, {180, 1, "D"}, {90, 1, "E"}, {90, 3, ""}, {0, 0.5, ""}};
        for (const auto& r : rows) {
            t.append();
            t.setInteger("Azimuth", r.azimuth);
            t.setFloat("Pairs", r.legs * pairs);
            if (*r.mark)
                t.setText("Mark", r.mark);
            t.post();
        }
        // Known points on unmarked rows and the route's end (row 8), 3 % long, turned 2 degrees.
        const zelt::compute::Placement truth{1.03 * std::cos(0.035), 1.03 * std::sin(0.035), 120, 80};
        const auto ends = zelt::compute::rowEndPointsM(*f.doc);
        zelt::document::KnownPoints known;
        for (const int row : {6, 7, 8}) {
            const auto g = zelt::compute::rowMarkPointM(ends, row);
            const auto p = truth.apply(zelt::compute::groundToMapMm(g.eastM, g.northM, known.mapScale));
            known.set(row, p.x, p.y);
        }
        f.doc->knownPoints.replace(known);

        const std::filesystem::path figures = f.dir.filePath(QStringLiteral("dani.dat")).toStdString();
        std::ofstream(figures) << "1\n90 1 0 1\n+\n0 0\n++\n0 0\n-\n0 0\n--\n0 0\n";
        zelt::mapexport::TZelt zelt;
        zelt.setFigureFile(figures);
        const std::filesystem::path map = f.dir.filePath(QStringLiteral("fitted.ocd")).toStdString();
        const auto result = zelt::mapexport::ExportRoute(*f.doc, zelt, map, {}, {}, &known);
        QVERIFY(result.fit);
        const auto labels = mapLabels(map);
        QCOMPARE(labels.size(), std::size_t(5));

        RouteModel model(*f.doc);
        model.flush();
        QVERIFY(model.scene().knownPoints && model.scene().knownPoints->fitted);
        const QString svg = f.dir.filePath(QStringLiteral("view.svg"));
        QString error;
        QVERIFY2(writeRoutePicture(svg, QSize(1200, 800), model.scene(), false, QString(), &error), qPrintable(error));
        const auto texts = svgTexts(svg);

        // Each map label back on the unfitted route (mm, 0.8 mm below its anchor), beside the
        // picture's text of the same mark.
        const zelt::compute::Placement& fit = result.fit->placement;
        const double det = fit.a * fit.a + fit.b * fit.b;
        std::vector<QPointF> onMap, inPicture;
        for (const auto& [text, at] : labels) {
            const double x = at.x() / 100.0 - fit.tx, y = (at.y() - 80) / 100.0 - fit.ty;
            onMap.emplace_back((fit.a * x + fit.b * y) / det, (-fit.b * x + fit.a * y) / det);
            const auto it = texts.find(QString::fromStdString(text));
            QVERIFY2(it != texts.end(), text.c_str());
            inPicture.push_back(it->second);
        }
        // Least squares for picture = k (x, -y) + (tx, ty); every residual under a pixel.
        const double n = double(onMap.size());
        QPointF mc, pc;
        for (std::size_t i = 0; i < onMap.size(); ++i) {
            mc += QPointF(onMap[i].x(), -onMap[i].y()) / n;
            pc += inPicture[i] / n;
        }
        double num = 0, den = 0;
        for (std::size_t i = 0; i < onMap.size(); ++i) {
            const QPointF m = QPointF(onMap[i].x(), -onMap[i].y()) - mc, p = inPicture[i] - pc;
            num += m.x() * p.x() + m.y() * p.y();
            den += m.x() * m.x() + m.y() * m.y();
        }
        const double k = num / den;
        QVERIFY(k > 0);
        for (std::size_t i = 0; i < onMap.size(); ++i) {
            const QPointF expected = (QPointF(onMap[i].x(), -onMap[i].y()) - mc) * k + pc;
            const QPointF off = inPicture[i] - expected;
            QVERIFY2(std::hypot(off.x(), off.y()) < 1.0,
                     qPrintable(QStringLiteral("label %1 is %2 px off").arg(i).arg(std::hypot(off.x(), off.y()))));
        }
    }
    void picturesKeepTextsClear_data()
    {
        QTest::addColumn<int>("kind");   // 0 spiral with known points, 1 flat, 2 dense
        QTest::addColumn<int>("rows");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("dpi");    // 1200: painted as Print Route paints, in 96-dpi units
        for (const int h : {16, 19, 23})
            QTest::addRow("%d px high", h) << 0 << 40 << QSize(300, h) << 96;
        QTest::newRow("known points") << 0 << 40 << QSize(900, 640) << 96;
        QTest::newRow("narrow") << 0 << 40 << QSize(420, 500) << 96;
        QTest::newRow("flat, 300 m") << 1 << 12 << QSize(640, 480) << 96;
        QTest::newRow("10000 rows") << 2 << 10000 << QSize(1600, 1000) << 96;
        QTest::newRow("printed") << 0 << 40 << QSize(794, 1123) << 1200;
    }

    // Pictures 16 to 23 pixels high are written (without caption and profile). Where texts fit,
    // each lies inside the picture (the last distance label too), none touches another or the
    // start triangle, the known points' note keeps off the route and names the point past the
    // end, a flat profile labels its height among two levels, and printed text keeps its size.
    void picturesKeepTextsClear()
    {
        QFETCH(int, kind);
        QFETCH(int, rows);
        QFETCH(QSize, size);
        QFETCH(int, dpi);
        std::vector<RouteRow> legs;
        std::vector<QString> marks;
        for (int i = 0; i < rows; ++i) {
            legs.push_back(kind == 2 ? leg((i * 37 + (i * i) % 91) % 360, 30.0 + i % 17)
                                     : leg((i * 29) % 360, kind == 1 ? 25.0 : 10.0 + 2.5 * i));
            legs.back().fillHeight = kind == 1 ? 420.0 : 420.0 + 30 * std::sin(i / 5.0);
            marks.push_back(QStringLiteral("mark %1").arg(i + 1));
        }
        RouteScene s = sceneOf(legs, marks);
        zelt::document::KnownPoints known;
        known.set(1, 100, 200);
        known.set(30, 160, 330);
        known.set(47, 0, 0);   // past the route's end
        if (kind == 0)
            s.knownPoints = std::make_shared<const KnownPointMarks>(knownPointMarks(s.route, known, 64.0));
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("r.png"));
        QString error;
        QVERIFY2(writeRoutePicture(png, size, s, true, QStringLiteral("r.db"), &error), qPrintable(error));
        QCOMPARE(QImage(png).size(), size);
        if (size.height() < 100)
            return;

        const double k = dpi / 96.0;
        Recorder device(size * k, dpi);
        {
            QPainter p(&device);
            p.scale(k, k);
            p.setFont(QFont(p.font().family(), 9));
            paintRoutePicture(p, QRectF(QPointF(), QSizeF(size)), s, RouteColours::forPaper(), true,
                              QStringLiteral("r.db"));
        }
        const RouteColours paper = RouteColours::forPaper();
        QRectF note;
        QString noteText;
        for (std::size_t i = 0; i < device.texts.size(); ++i) {
            const auto& [text, box, colour] = device.texts[i];
            QVERIFY2(box.height() < 20 * k && QRectF(QPointF(), QSizeF(size) * k).contains(box.adjusted(1, 1, -1, -1)),
                     qPrintable(text));
            for (std::size_t j = 0; j < i; ++j)
                QVERIFY2(!box.adjusted(-k, 0, k, 0).intersects(device.texts[j].box.adjusted(0, 1, 0, -1)),
                         qPrintable(text + QStringLiteral(" on ") + device.texts[j].text));
            if (colour == paper.known) {
                note |= box;
                noteText += text + u' ';
            }
        }
        for (const auto& [line, colour] : device.lines) {
            QPainterPath path;
            path.addPolygon(line);
            if (line.size() == 4 && line.front() == line.back())   // the start triangle
                for (const auto& t : device.texts)
                    QVERIFY2(!line.intersects(QPolygonF(t.box)), qPrintable(t.text));
            QVERIFY(colour != paper.route || !QPainterPathStroker().createStroke(path).intersects(note));
        }
        QVERIFY2(kind != 0 || (noteText.startsWith(QLatin1String("Known points:")) && noteText.contains(u"47")),
                 qPrintable(noteText));
        QStringList levels;
        for (const auto& t : device.texts)
            if (t.text.size() == 3 && t.text.startsWith(u'4'))
                levels << t.text;
        QVERIFY2(kind != 1 || (levels.size() >= 2 && levels.contains(QStringLiteral("420"))),
                 qPrintable(levels.join(u' ')));
    }
};

QTEST_MAIN(TestRoutePainting)
#include "test_route_painting.moc"

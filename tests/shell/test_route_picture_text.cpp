// SPDX-License-Identifier: GPL-3.0-or-later
// Where the route picture puts its texts: recorded from a paint device that keeps every text's
// box, for pictures of every kind and size, files low enough to squeeze out parts, and print.
#include "compute/route_geometry.h"
#include "shell/paint/route_known_marks.h"
#include "shell/paint/route_painter.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace zelt::shell;
using zelt::compute::RouteRow;

namespace {

// A paint device that draws nothing and keeps each text's box and each polyline, in device pixels.
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
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        const QRectF box(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent());
        texts.push_back({item.text(), painter()->combinedTransform().mapRect(box), painter()->pen().color()});
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
        switch (m) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return m_dpi;
        case PdmDepth: return 32;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 1;
        }
    }

private:
    QSize m_size;
    int m_dpi;
};

// Whether the segment a-b passes through `r` (Liang-Barsky clipping).
bool segmentCrosses(QPointF a, QPointF b, const QRectF& r)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    for (const auto& [p, q] : {std::pair(-dx, a.x() - r.left()), std::pair(dx, r.right() - a.x()),
                               std::pair(-dy, a.y() - r.top()), std::pair(dy, r.bottom() - a.y())}) {
        if (p == 0) {
            if (q < 0)
                return false;
        } else if (p < 0) {
            t0 = std::max(t0, q / p);
        } else {
            t1 = std::min(t1, q / p);
        }
    }
    return t0 <= t1;
}

enum Scene { Spiral, Flat, Dense };

RouteScene sceneOf(Scene kind, int rows)
{
    std::vector<RouteRow> legs;
    RouteScene s;
    for (int i = 0; i < rows; ++i) {
        RouteRow r;
        // A spiral of growing legs (2.3 km walked for 40 rows), a random-looking dense walk, or
        // 300 m on the flat, whose last distance label stands at the profile's right edge.
        r.azimuth = kind == Dense ? (i * 37 + (i * i) % 91) % 360 : (i * 29) % 360;
        r.lengthM = kind == Dense ? 30.0 + i % 17 : kind == Flat ? 25.0 : 10.0 + 2.5 * i - (i == rows - 1 ? 15 : 0);
        r.fillHeight = kind == Flat ? 420.0 : 420.0 + 30 * std::sin(i / 5.0);
        legs.push_back(r);
        s.marks.push_back(QStringLiteral("mark %1").arg(i + 1));
    }
    s.route = zelt::compute::computeRoute(legs);
    s.startHeight = 420;
    if (kind == Spiral) {
        zelt::document::KnownPoints known;
        known.set(1, 100, 200);
        known.set(30, 160, 330);
        known.set(rows + 7, 0, 0);   // past the route's end
        s.knownPoints = std::make_shared<const KnownPointMarks>(knownPointMarks(s.route, known, 64.0));
    }
    return s;
}

}  // namespace

class TestRoutePictureText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void textsKeepClear_data()
    {
        QTest::addColumn<int>("scene");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("dpi");   // 1200: painted as Print Route paints, scaled to 96-dpi units
        QTest::newRow("16 px high") << int(Spiral) << 40 << QSize(300, 16) << 96;
        QTest::newRow("19 px high") << int(Spiral) << 40 << QSize(300, 19) << 96;
        QTest::newRow("23 px high") << int(Spiral) << 40 << QSize(300, 23) << 96;
        QTest::newRow("known points") << int(Spiral) << 40 << QSize(900, 640) << 96;
        QTest::newRow("narrow") << int(Spiral) << 40 << QSize(420, 500) << 96;
        QTest::newRow("flat profile") << int(Flat) << 12 << QSize(640, 480) << 96;
        QTest::newRow("10000 rows") << int(Dense) << 10000 << QSize(1600, 1000) << 96;
        QTest::newRow("printed") << int(Spiral) << 40 << QSize(794, 1123) << 1200;
    }

    // Every picture is drawn, however low (16 to 23 pixels leave out the caption and profile);
    // where its texts fit, each lies inside the picture (the last distance too), none touches
    // another or the start triangle, the known points' note keeps off the route and tells of the
    // point past the end, a flat profile has its height labelled among two levels, and printed
    // text keeps its size on a 1200-dpi page.
    void textsKeepClear()
    {
        QFETCH(int, scene);
        QFETCH(int, rows);
        QFETCH(QSize, size);
        QFETCH(int, dpi);
        const RouteScene s = sceneOf(Scene(scene), rows);
        if (dpi == 96) {
            const QString png = m_dir.filePath(QStringLiteral("r.png"));
            QString error;
            QVERIFY2(writeRoutePicture(png, size, s, true, QStringLiteral("r.db"), &error), qPrintable(error));
            QCOMPARE(QImage(png).size(), size);
        }
        if (size.height() < 100)
            return;

        const double k = dpi / 96.0;
        Recorder device(size * k, dpi);
        {
            QPainter p(&device);
            p.scale(k, k);
            QFont font = p.font();
            font.setPointSize(9);
            p.setFont(font);
            paintRoutePicture(p, QRectF(QPointF(0, 0), QSizeF(size)), s, RouteColours::forPaper(), true,
                              QStringLiteral("r.db  \u2014  1.2.2026"));
        }
        const auto& texts = device.texts;
        QVERIFY(texts.size() > 10);
        const QRectF picture(QPointF(0, 0), QSizeF(size) * k);
        QRectF note;
        QString noteText;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const QRectF box = texts[i].box;
            QVERIFY2(box.height() < 20 * k, qPrintable(texts[i].text));
            QVERIFY2(picture.adjusted(-0.5, -0.5, 0.5, 0.5).contains(box), qPrintable(texts[i].text));
            for (std::size_t j = 0; j < i; ++j)
                QVERIFY2(!box.adjusted(-k, 0, k, 0).intersects(texts[j].box.adjusted(0, 1, 0, -1)),
                         qPrintable(texts[i].text + QStringLiteral(" on ") + texts[j].text));
            if (texts[i].colour == RouteColours::forPaper().known) {
                note |= box;
                noteText += texts[i].text + u' ';
            }
        }
        const QColor route = RouteColours::forPaper().route;
        for (const auto& [line, colour] : device.lines) {
            if (line.size() == 4 && line.front() == line.back())   // the start triangle
                for (const auto& t : texts)
                    QVERIFY2(!line.intersects(QPolygonF(t.box)), qPrintable(t.text));
            for (qsizetype i = 1; colour == route && !note.isEmpty() && i < line.size(); ++i)
                QVERIFY(!segmentCrosses(line[i - 1], line[i], note));
        }
        if (scene == Spiral) {
            QVERIFY2(noteText.startsWith(QLatin1String("Known points:")) && noteText.contains(QLatin1String("47")) &&
                         noteText.contains(QLatin1String("past")),
                     qPrintable(noteText));
        }
        if (scene == Flat) {
            static const QRegularExpression level(QStringLiteral("^4\\d\\d$"));
            QStringList levels;
            for (const auto& t : texts)
                if (level.match(t.text).hasMatch())
                    levels << t.text;
            QVERIFY2(levels.size() >= 2 && levels.contains(QStringLiteral("420")), qPrintable(levels.join(u' ')));
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRoutePictureText)
#include "test_route_picture_text.moc"
